/// BuildSmallPrimeTable and FindPrime replaced by recorders (see search_stub.h),
/// with an empty table view for the search options.
#include "fuzz/search_stub.h"

#include "primesearch/find_prime.h"
#include "primesearch/small_prime_table.h"

StubbedSearchCalls& StubbedSearch() {
  static StubbedSearchCalls calls;
  return calls;
}

void ResetStubbedSearch() { StubbedSearch() = StubbedSearchCalls(); }

void BuildSmallPrimeTable() { ++StubbedSearch().tableBuilds; }

SmallPrimeList BuiltSmallPrimes() { return SmallPrimeList{nullptr, 0}; }

void FindPrime(uint16_t byteCount, TraceSink& /*sink*/, const SearchOptions& /*options*/) {
  ++StubbedSearch().searches;
  StubbedSearch().lastByteCount = byteCount;
  StubbedSearch().tableBuildsBeforeSearch = StubbedSearch().tableBuilds;
}
