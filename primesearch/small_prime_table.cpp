/// The small-prime table and its one-time build.
#include "primesearch/small_prime_table.h"

#include <cstdio>

SmallPrime SmallPrimeTable[kSmallPrimeTableSize];
uint32_t smallPrimeCount = 0;

namespace {

void Store(uint32_t prime) {
  SmallPrimeTable[smallPrimeCount] = SmallPrime{prime, prime * prime};
  ++smallPrimeCount;
}

}  // namespace

SmallPrimeList BuiltSmallPrimes() { return SmallPrimeList{SmallPrimeTable, smallPrimeCount}; }

void BuildSmallPrimeTable() {
  smallPrimeCount = 0;
  Store(2);
  Store(3);
  Store(5);
  // Each odd c is tried against the known primes up to the first whose square
  // reaches c, comparing squares instead of taking a square root.
  for (uint32_t c = 7; smallPrimeCount < kSmallPrimeTableSize; c += 2) {
    uint32_t k = 0;
    for (;; ++k) {
      if (k == smallPrimeCount) {
        // Unreachable from the three seeds: some known square always reaches c.
        std::puts("error");
        return;
      }
      if (SmallPrimeTable[k].square >= c || c % SmallPrimeTable[k].prime == 0) break;
    }
    // A walk that ends at a square equal to c has found c = p * p: not prime.
    if (SmallPrimeTable[k].square > c) Store(c);
  }
}
