/// Tests of the small-prime table: its contents against GMP's primes, its
/// squares, and a silent, repeatable build.
#include "primesearch/small_prime_table.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/output_capture.h"
#include "tests/support/search_oracle.h"

namespace {

std::vector<SmallPrime> TableContents() {
  return std::vector<SmallPrime>(SmallPrimeTable, SmallPrimeTable + smallPrimeCount);
}

}  // namespace

TEST(SmallPrimeTableTest, HoldsTheFirstThousandPrimesWithTheirSquares) {
  OutputCapture capture;
  BuildSmallPrimeTable();
  EXPECT_EQ(capture.Finish(), "");

  ASSERT_EQ(smallPrimeCount, 1000u);
  const std::vector<uint32_t> primes = oracle::FirstPrimes(1000);
  for (uint32_t i = 0; i < smallPrimeCount; ++i) {
    SCOPED_TRACE("entry " + std::to_string(i));
    ASSERT_EQ(SmallPrimeTable[i].prime, primes[i]);
    const uint64_t square = static_cast<uint64_t>(primes[i]) * primes[i];
    ASSERT_EQ(SmallPrimeTable[i].square, square);
  }
  // Published facts: the 1000th prime and its square; 54 primes below 256.
  EXPECT_EQ(SmallPrimeTable[999].prime, 7919u);
  EXPECT_EQ(SmallPrimeTable[999].square, 62710561u);
  uint32_t below256 = 0;
  while (below256 < smallPrimeCount && SmallPrimeTable[below256].prime < 256) ++below256;
  EXPECT_EQ(below256, 54u);
}

TEST(SmallPrimeTableTest, RebuildingOverAStaleTableGivesTheSameTable) {
  BuildSmallPrimeTable();
  const std::vector<SmallPrime> first = TableContents();
  ASSERT_EQ(first.size(), 1000u);

  // Scribble over the table but leave the count full: the build must not trust
  // what an earlier build left behind.
  for (SmallPrime& entry : SmallPrimeTable) entry = SmallPrime{4u, 16u};
  OutputCapture capture;
  BuildSmallPrimeTable();
  EXPECT_EQ(capture.Finish(), "");

  const std::vector<SmallPrime> second = TableContents();
  ASSERT_EQ(second.size(), first.size());
  for (size_t i = 0; i < first.size(); ++i) {
    SCOPED_TRACE("entry " + std::to_string(i));
    ASSERT_EQ(second[i].prime, first[i].prime);
    ASSERT_EQ(second[i].square, first[i].square);
  }
}
