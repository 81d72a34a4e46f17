/// The first 1000 primes with their squares, used for trial division.
#pragma once

#include <cstdint>

struct SmallPrime {
  uint32_t prime;
  uint32_t square;
};

constexpr uint32_t kSmallPrimeTableSize = 1000;

/// Entries 0 to smallPrimeCount - 1 are valid, in ascending order.
extern SmallPrime SmallPrimeTable[kSmallPrimeTableSize];
extern uint32_t smallPrimeCount;

/// A read-only run of table entries, in ascending order.
struct SmallPrimeList {
  const SmallPrime* entries;
  uint32_t count;
};

/// The entries that BuildSmallPrimeTable filled. The search reads the table only
/// through such a view; nothing writes the table after it is built.
SmallPrimeList BuiltSmallPrimes();

/// Fills the table with 2, 3, 5, ..., 7919 by trial division of the odd numbers
/// from 7 upward by the primes already found.
void BuildSmallPrimeTable();
