/// A stand-in for the prime search, linked into the command line fuzzer in place
/// of the real small-prime table and search, so that a run ends at once; it
/// records how it was called.
#pragma once

#include <cstdint>

struct StubbedSearchCalls {
  uint32_t tableBuilds = 0;
  uint32_t searches = 0;
  uint16_t lastByteCount = 0;
  uint32_t tableBuildsBeforeSearch = 0;  // at the last search
};

/// The calls since the last reset.
StubbedSearchCalls& StubbedSearch();
void ResetStubbedSearch();
