/// BuildSmallPrimeTable and FindPrime replaced by recorders (see search_stub.h).
#include "fuzz/search_stub.h"

#include "primesearch/find_prime.h"
#include "primesearch/small_prime_table.h"

StubbedSearchCalls& StubbedSearch() {
  static StubbedSearchCalls calls;
  return calls;
}

void ResetStubbedSearch() { StubbedSearch() = StubbedSearchCalls(); }

void BuildSmallPrimeTable() { ++StubbedSearch().tableBuilds; }

void FindPrime(uint16_t byteCount) {
  ++StubbedSearch().searches;
  StubbedSearch().lastByteCount = byteCount;
  StubbedSearch().tableBuildsBeforeSearch = StubbedSearch().tableBuilds;
}
