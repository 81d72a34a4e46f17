/// Process entry point of largeprime.
#include "primesearch/entry.h"

int main(int argc, char** argv) { return LargePrimeMain(argc, argv); }
