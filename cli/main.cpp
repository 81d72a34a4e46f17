/// Process entry point of largeprime.
#include "cli/entry.h"

int main(int argc, char** argv) { return LargePrimeMain(argc, argv); }
