/// Tests of the residues by many small moduli against GMP: numbers of every
/// size class from one byte to the largest, moduli from 1 to 2^32 - 1 and every
/// sieving prime up to the sieve's cap, and numbers that many of the moduli
/// divide (remainders 0 and m - 1, where rounding down the tree could slip).
#include "bigint/small_residues.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/bigint_support.h"

namespace {

// The primes in (low, high], by the sieve of Eratosthenes over the odd numbers.
std::vector<uint32_t> PrimesBetween(uint32_t low, uint32_t high) {
  std::vector<uint8_t> composite(high / 2 + 1, 0);
  std::vector<uint32_t> primes;
  if (low < 2 && high >= 2) primes.push_back(2);
  for (uint64_t q = 3; q <= high; q += 2) {
    if (composite[static_cast<size_t>(q / 2)] != 0) continue;
    if (q > low) primes.push_back(static_cast<uint32_t>(q));
    for (uint64_t m = q * q; m <= high; m += 2 * q) composite[static_cast<size_t>(m / 2)] = 1;
  }
  return primes;
}

// The moduli of most tests: the first primes above the small-prime table, the
// primes just below the sieve's cap 2^26, and the extremes of the range with
// repeats among them.
std::vector<uint32_t> MixedModuli() {
  std::vector<uint32_t> moduli = PrimesBetween(7919, 40000);
  const std::vector<uint32_t> high = PrimesBetween((1u << 26) - (1u << 16), 1u << 26);
  moduli.insert(moduli.end(), high.begin(), high.end());
  for (const uint32_t m :
       {1u, 2u, 3u, 3u, 65536u, 65537u, 1u << 31, 4294967291u, UINT32_MAX, UINT32_MAX, 7927u}) {
    moduli.push_back(m);
  }
  return moduli;
}

// A random number of exactly `bytes` bytes (top bit set).
Mpz RandomOfBytes(GmpRandom& random, uint32_t bytes) {
  Mpz n;
  mpz_urandomb(n.get(), random.get(), 8 * bytes);
  mpz_setbit(n.get(), 8 * bytes - 1);
  return n;
}

::testing::AssertionResult ResiduesMatchGmp(const Mpz& n, const std::vector<uint32_t>& moduli) {
  std::vector<uint32_t> residues(moduli.size(), UINT32_MAX);
  // One leading zero digit: the length of a value is not its size.
  SmallResidues(FromMpz(n, DigitsNeeded(n) + 1), moduli.data(), moduli.size(), residues.data());
  for (size_t i = 0; i < moduli.size(); ++i) {
    const auto expected = static_cast<uint32_t>(mpz_fdiv_ui(n.get(), moduli[i]));
    if (residues[i] != expected) {
      return ::testing::AssertionFailure() << "modulus " << moduli[i] << " (index " << i
                                           << "): got " << residues[i] << ", expected " << expected;
    }
  }
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST(SmallResiduesTest, MatchGmpForNumbersFromOneByteToTheLargest) {
  const std::vector<uint32_t> moduli = MixedModuli();
  GmpRandom random;
  // Each side of one and two limbs of either width, of the size where the
  // remainder tree takes over, of a group of moduli, and up to 65535 bytes.
  for (const uint32_t bytes :
       {1u,  3u,  4u,   5u,   8u,   9u,   15u,  16u,  17u,   31u,   32u,   33u,    63u,
        64u, 65u, 127u, 128u, 129u, 255u, 256u, 257u, 1000u, 1024u, 4096u, 16385u, 65535u}) {
    SCOPED_TRACE(std::to_string(bytes) + " bytes");
    EXPECT_TRUE(ResiduesMatchGmp(RandomOfBytes(random, bytes), moduli));
  }
  Mpz allOnes;
  mpz_setbit(allOnes.get(), 8 * 65535);
  mpz_sub_ui(allOnes.get(), allOnes.get(), 1);
  EXPECT_TRUE(ResiduesMatchGmp(allOnes, moduli)) << "2^524280 - 1";
  EXPECT_TRUE(ResiduesMatchGmp(Mpz(), moduli)) << "0";
  std::vector<uint32_t> none;
  SmallResidues(BigInt(5), none.data(), 0, none.data());
}

TEST(SmallResiduesTest, NumbersThatRunsOfTheModuliDivide) {
  // n = r * (product of a run of the moduli), and n - 1: the residues by that
  // run are 0 and m - 1, the fractions at the ends of [0, 1) where a value
  // truncated down the tree must still round to the right remainder.
  const std::vector<uint32_t> moduli = MixedModuli();
  GmpRandom random;
  struct Run {
    size_t begin;
    size_t length;
    uint32_t cofactorBytes;
  };
  for (const Run& run : {Run{0, 1, 1}, Run{5, 2, 40}, Run{100, 3, 200}, Run{1000, 100, 8},
                         Run{1000, 1000, 300}, Run{3000, 3800, 1}, Run{0, moduli.size(), 2}}) {
    SCOPED_TRACE("run of " + std::to_string(run.length) + " from " + std::to_string(run.begin));
    ASSERT_LE(run.begin + run.length, moduli.size());
    Mpz n = RandomOfBytes(random, run.cofactorBytes);
    for (size_t i = run.begin; i < run.begin + run.length; ++i)
      mpz_mul_ui(n.get(), n.get(), moduli[i]);
    EXPECT_TRUE(ResiduesMatchGmp(n, moduli));
    mpz_sub_ui(n.get(), n.get(), 1);
    EXPECT_TRUE(ResiduesMatchGmp(n, moduli)) << "minus 1";
  }
}

TEST(SmallResiduesTest, EverySievingPrimeUpToTheCap) {
  const std::vector<uint32_t> primes = PrimesBetween(7919, 1u << 26);
  GmpRandom random;
  EXPECT_TRUE(ResiduesMatchGmp(RandomOfBytes(random, 1024), primes));
}
