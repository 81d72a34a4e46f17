/// The prime search: a random odd start, then every following odd number.
#pragma once

#include <cstdint>
#include <string>

#include "bigint/bigint.h"
#include "primesearch/small_prime_table.h"
#include "primesearch/trace_sink.h"

/// How a search runs; the program uses the defaults. No option changes the
/// trace: only how fast it comes.
struct SearchOptions {
  /// The primes of the trial division, smallest first.
  SmallPrimeList smallPrimes = BuiltSmallPrimes();
  /// Threads that run the Lehman method ahead of the trace. 0: one per
  /// processor the process may run on, for searches large enough to gain from
  /// them, else none. 1: the trace's own thread does all the work.
  uint32_t workers = 0;
  /// Prime factors above the table up to this bound, found by a sieve, may
  /// settle Lehman results without their exponentiation. 0: no sieve.
  /// kSieveBoundBySize: the bound that pays best at the search's size (see
  /// SearchSieveBound).
  uint32_t sieveBound = kSieveBoundBySize;
  static constexpr uint32_t kSieveBoundBySize = ~0u;
  /// Whether the first Lehman exponentiations of upcoming candidates may run
  /// side by side, where the processor has a kernel for that at this size.
  bool batches = true;
  /// Where given, counts every Lehman exponentiation the search ran or began,
  /// whether the trace used its result or not: for measuring the work dropped.
  uint64_t* exponentiations = nullptr;
  /// The arithmetic kernel of the exponentiations, by name ("vector", "adx",
  /// "portable"), where this build and processor have it and it serves the
  /// candidates' size; empty: the fastest there is. The sieve bound and the
  /// workers chosen by size follow the kernel the search runs on.
  std::string kernel;
};

/// Searches from a random odd number of byteCount bytes upward until the Lehman
/// method accepts a candidate, narrating every step to the sink. Stops as soon
/// as it finds the sink failed: the work still queued is dropped, and running
/// exponentiations end at their next checkpoint. The default options need the
/// small prime table built.
void FindPrime(uint16_t byteCount, TraceSink& sink, const SearchOptions& options = {});

/// The sieve bound of a search from `first` with these options: the options'
/// own, or the one that pays best at first's size on the kernel the search runs
/// on, smaller where its first bases run side by side.
uint32_t SearchSieveBound(const BigInt& first, const SearchOptions& options);
