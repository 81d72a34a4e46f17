/// The prime search: a random odd start, then every following odd number.
#pragma once

#include <cstdint>

#include "primesearch/small_prime_table.h"
#include "primesearch/trace_sink.h"

/// How a search runs; the program uses the defaults.
struct SearchOptions {
  /// The primes of the trial division, smallest first.
  SmallPrimeList smallPrimes = BuiltSmallPrimes();
};

/// Searches from a random odd number of byteCount bytes upward until the Lehman
/// method accepts a candidate, narrating every step to the sink. The default
/// options need the small prime table built.
void FindPrime(uint16_t byteCount, TraceSink& sink, const SearchOptions& options = {});
