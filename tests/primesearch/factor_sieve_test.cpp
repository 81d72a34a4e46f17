/// Tests of the known-factor sieve: its primes and its smallest factors against
/// GMP across sizes, bounds and window boundaries, and the check of a Lehman
/// base modulo a factor against the full exponentiation by GMP.
#include "primesearch/factor_sieve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/bigint_support.h"
#include "tests/support/search_oracle.h"

namespace {

// The primes in (low, high], from GMP.
std::vector<uint32_t> GmpPrimesBetween(uint32_t low, uint32_t high) {
  std::vector<uint32_t> primes;
  Mpz p;
  mpz_set_ui(p.get(), low);
  for (;;) {
    mpz_nextprime(p.get(), p.get());
    if (mpz_cmp_ui(p.get(), high) > 0) return primes;
    primes.push_back(static_cast<uint32_t>(mpz_get_ui(p.get())));
  }
}

// A random odd number of `bits` bits (top bit set), from GMP's generator.
Mpz RandomOdd(gmp_randstate_t state, uint32_t bits) {
  Mpz n;
  mpz_urandomb(n.get(), state, bits);
  mpz_setbit(n.get(), bits - 1);
  mpz_setbit(n.get(), 0);
  return n;
}

// The smallest of `primes` (ascending) dividing first + 2k for every k in
// [begin, end), 0 for none. p divides first + 2k exactly when
// k = -(first mod p) * 2^-1 (mod p), with 2^-1 = (p + 1) / 2 and first mod p
// from GMP; the primes are taken largest first so the smallest one stays.
std::vector<uint32_t> ExpectedFactors(const Mpz& first, const std::vector<uint32_t>& primes,
                                      uint64_t begin, uint64_t end) {
  std::vector<uint32_t> factors(static_cast<size_t>(end - begin), 0);
  for (auto p = primes.rbegin(); p != primes.rend(); ++p) {
    const uint64_t minusFirst = (*p - mpz_fdiv_ui(first.get(), *p)) % *p;
    const uint64_t residueClass = minusFirst * ((*p + 1) / 2) % *p;
    const uint64_t beginClass = begin % *p;
    uint64_t k = begin + (residueClass + *p - beginClass) % *p;
    for (; k < end; k += *p) factors[static_cast<size_t>(k - begin)] = *p;
  }
  return factors;
}

// Asks the sieve for every index of [begin, end) in increasing order and compares
// with the oracle; a reported factor must also divide the candidate by GMP.
::testing::AssertionResult FactorsMatch(FactorSieve& sieve, const Mpz& first,
                                        const std::vector<uint32_t>& primes, uint64_t begin,
                                        uint64_t end) {
  const std::vector<uint32_t> expected = ExpectedFactors(first, primes, begin, end);
  Mpz candidate;
  for (uint64_t k = begin; k < end; ++k) {
    const uint32_t factor = sieve.SmallestFactor(k);
    if (factor != expected[static_cast<size_t>(k - begin)]) {
      return ::testing::AssertionFailure() << "index " << k << ": got " << factor << ", expected "
                                           << expected[static_cast<size_t>(k - begin)];
    }
    if (factor != 0) {
      // first + 2k, built from 32-bit halves: GMP's unsigned long has 32 bits on
      // 32-bit platforms, and 2k goes beyond that.
      mpz_set_ui(candidate.get(), static_cast<uint32_t>(k >> 31));
      mpz_mul_2exp(candidate.get(), candidate.get(), 32);
      mpz_add_ui(candidate.get(), candidate.get(), static_cast<uint32_t>(2 * k));
      mpz_add(candidate.get(), candidate.get(), first.get());
      if (mpz_divisible_ui_p(candidate.get(), factor) == 0) {
        return ::testing::AssertionFailure()
               << "index " << k << ": " << factor << " does not divide";
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// The Lehman exponent (n - 1) / 2.
Mpz HalfOfNMinusOne(const Mpz& n) {
  Mpz exponent;
  mpz_sub_ui(exponent.get(), n.get(), 1);
  mpz_fdiv_q_2exp(exponent.get(), exponent.get(), 1);
  return exponent;
}

// base^((n-1)/2) mod m by GMP, with the full exponent.
Mpz FullPower(uint32_t base, const Mpz& n, const Mpz& m) {
  Mpz b;
  Mpz result;
  mpz_set_ui(b.get(), base);
  mpz_powm(result.get(), b.get(), HalfOfNMinusOne(n).get(), m.get());
  return result;
}

bool IsOneOrMinusOne(const Mpz& r, const Mpz& m) {
  Mpz minusOne;
  mpz_sub_ui(minusOne.get(), m.get(), 1);
  return mpz_cmp_ui(r.get(), 1) == 0 || r == minusOne;
}

struct CheckCounts {
  uint32_t conclusive = 0;
  uint32_t inconclusive = 0;
};

// For every Lehman base: the check on (n, p) must answer exactly whether the full
// power base^((n-1)/2) mod p is neither 1 nor p - 1, and when it answers yes, the
// Lehman result mod n must be neither 1 nor n - 1. p must be a prime dividing n.
void ExpectCheckExact(const Mpz& n, uint32_t p, CheckCounts* counts) {
  const BigInt nBig = FromMpz(n, DigitsNeeded(n) + 1);
  const uint32_t e = LehmanExponentModulo(nBig, p);
  Mpz pMinusOne;
  mpz_set_ui(pMinusOne.get(), p - 1);
  Mpz expectedE;
  mpz_fdiv_r(expectedE.get(), HalfOfNMinusOne(n).get(), pMinusOne.get());
  ASSERT_EQ(mpz_cmp_ui(expectedE.get(), e), 0) << "exponent mod p - 1";
  Mpz pMpz;
  mpz_set_ui(pMpz.get(), p);
  for (const uint32_t base : oracle::kLehmanBases) {
    SCOPED_TRACE("base " + std::to_string(base));
    const bool proved = FactorProvesComposite(base, p, e);
    EXPECT_EQ(proved, !IsOneOrMinusOne(FullPower(base, n, pMpz), pMpz));
    if (proved) {
      EXPECT_FALSE(IsOneOrMinusOne(FullPower(base, n, n), n));
    }
    ++(proved ? counts->conclusive : counts->inconclusive);
  }
}

// The least prime q = start (mod step) at or above `from`.
Mpz PrimeInClass(const Mpz& from, uint32_t start, uint32_t step) {
  Mpz q;
  mpz_fdiv_q_ui(q.get(), from.get(), step);
  mpz_mul_ui(q.get(), q.get(), step);
  mpz_add_ui(q.get(), q.get(), start);
  while (mpz_probab_prime_p(q.get(), 30) == 0) mpz_add_ui(q.get(), q.get(), step);
  return q;
}

}  // namespace

TEST(FactorSieveTest, SievingPrimesAreThePrimesAboveTheTable) {
  EXPECT_EQ(oracle::FirstPrimes(1000).back(), kLargestTablePrime);
  // Bounds at, just below and just above primes (7927 and 100003 are prime).
  for (const uint32_t bound : {0u, 7919u, 7926u, 7927u, 7928u, 100002u, 100003u, 1u << 20}) {
    SCOPED_TRACE("bound " + std::to_string(bound));
    EXPECT_EQ(SievingPrimes(bound), GmpPrimesBetween(kLargestTablePrime, bound));
  }
  // A larger bound is clamped to the cap: pi(2^26) = 3957809 (published), the
  // last prime from GMP.
  const std::vector<uint32_t> capped = SievingPrimes(UINT32_MAX);
  EXPECT_EQ(capped.size(), 3957809u - 1000u);
  Mpz lastPrime;
  mpz_set_ui(lastPrime.get(), kMaxSieveBound);
  while (mpz_probab_prime_p(lastPrime.get(), 30) == 0)
    mpz_sub_ui(lastPrime.get(), lastPrime.get(), 1);
  EXPECT_EQ(mpz_cmp_ui(lastPrime.get(), capped.back()), 0);
  // The sieve at the cap lists as many, run by run on two threads.
  const FactorSieve sieve(BigInt(12345u), UINT32_MAX, 1000, 2);
  EXPECT_EQ(sieve.PrimeCount(), capped.size());
}

TEST(FactorSieveTest, SmallestFactorsMatchGmpAcrossSizesAndWindows) {
  struct Row {
    const char* label;
    uint32_t bits;  // 0: `first` below is used
    uint32_t first;
    uint32_t bound;
    uint32_t window;
    uint64_t count;  // indices asked from 0
    uint32_t threads = 1;
    std::optional<uint32_t> firstStage = std::nullopt;  // none: the bound by size
  };
  const Row rows[] = {
      // Every sieving prime is itself a candidate, smallest factor itself.
      {"from 1, one window", 0, 1, 100003, kDefaultSieveWindow, 60000},
      {"from 1, windows of 1000", 0, 1, 100003, 1000, 60000},
      {"from 7921, windows of 1", 0, 7921, 30011, 1, 3000},
      {"from 7921, window length 0 taken as 1", 0, 7921, 30011, 0, 300},
      {"from 7921, windows of 7927", 0, 7921, 30011, 7927, 40000},
      {"32 bits", 32, 0, 100000, 5000, 40000},
      {"64 bits", 64, 0, 1u << 17, 999, 20000},
      {"100 bits", 100, 0, 1u << 17, kDefaultSieveWindow, 40000},
      {"256 bits", 256, 0, 1u << 17, 20000, 50000},
      {"1000 bits", 1000, 0, 1u << 17, 3001, 20000},
      {"1000 bits, residues on three threads", 1000, 0, 1u << 17, 3001, 20000, 3},
      {"4100 bits", 4100, 0, 1u << 17, kDefaultSieveWindow, 20000},
      {"4100 bits, residues on two threads", 4100, 0, 1u << 17, kDefaultSieveWindow, 20000, 2},
      {"more threads than residue blocks", 64, 0, 9000, 100, 5000, 8},
      // Bounds past one run of the construction: the threads list the primes
      // and their residues run by run, and the runs join in order.
      {"several runs on two threads", 4100, 0, 6 * kSieveChunkOdds + 12345, kDefaultSieveWindow,
       20000, 2},
      {"several runs on three threads", 1000, 0, 4 * kSieveChunkOdds + 1, 7001, 20000, 3},
      {"several runs on one thread", 256, 0, 4 * kSieveChunkOdds - 1, 3001, 20000},
      {"bound below the first sieving prime", 256, 0, 7926, 100, 500},
      // The larger primes listed in the background and joined, in two stages
      // split inside a run, at a prime, or with nothing in the first.
      {"second stage from 2^15", 1000, 0, 4 * kSieveChunkOdds + 1, 7001, 20000, 2, 1u << 15},
      {"second stage from a prime", 4100, 0, 100003, 3001, 20000, 1, 30011},
      {"everything in the second stage", 64, 0, 1u << 17, 999, 20000, 3, 0},
      {"first stage beyond the bound", 256, 0, 50000, 4096, 20000, 2, 1u << 20},
  };
  GmpRandom random;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    Mpz first;
    if (row.bits == 0) {
      mpz_set_ui(first.get(), row.first);
    } else {
      first = RandomOdd(random.get(), row.bits);
    }
    const std::vector<uint32_t> primes = GmpPrimesBetween(kLargestTablePrime, row.bound);
    // Leading zero digits must not matter.
    FactorSieve sieve(FromMpz(first, DigitsNeeded(first) + 2), row.bound, row.window, row.threads,
                      row.firstStage);
    sieve.AwaitComplete();
    EXPECT_EQ(sieve.PrimeCount(), primes.size());
    EXPECT_TRUE(FactorsMatch(sieve, first, primes, 0, row.count));
  }
}

// While the larger primes are listed in the background, a window is sieved
// with the first stage's primes only: a nonzero answer is already the smallest
// factor, and 0 may hide a larger one. Once they join, the window already
// sieved, those before it and those after it answer exactly, whether they
// joined at a question or by AwaitComplete, and after the sieve moved.
TEST(FactorSieveTest, LargerPrimesJoinAWindowAlreadySieved) {
  GmpRandom random;
  const uint32_t bound = 1u << 20;
  const uint32_t firstStage = 1u << 14;
  const uint32_t window = 5000;
  const Mpz first = RandomOdd(random.get(), 2000);
  const std::vector<uint32_t> primes = GmpPrimesBetween(kLargestTablePrime, bound);
  const std::vector<uint32_t> expected = ExpectedFactors(first, primes, 0, 3 * window);
  for (const bool await : {false, true}) {
    SCOPED_TRACE(await ? "joined by AwaitComplete" : "joined at a question");
    FactorSieve moved(FromMpz(first, DigitsNeeded(first)), bound, window, 2, firstStage);
    FactorSieve sieve(std::move(moved));  // as a search hands its sieve on
    for (uint64_t k = window; k < 2 * window; ++k) {
      const uint32_t factor = sieve.SmallestFactor(k);
      const uint32_t exact = expected[static_cast<size_t>(k)];
      ASSERT_TRUE(factor == exact || (factor == 0 && exact > firstStage))
          << "index " << k << ": got " << factor << ", expected " << exact;
    }
    if (await) {
      sieve.AwaitComplete();
    } else {
      // The same window is asked until the rest has joined at a question.
      while (sieve.PrimeCount() != primes.size()) sieve.SmallestFactor(window);
    }
    EXPECT_EQ(sieve.PrimeCount(), primes.size());
    EXPECT_TRUE(FactorsMatch(sieve, first, primes, window, 3 * window));
    EXPECT_TRUE(FactorsMatch(sieve, first, primes, 0, window));
  }
}

// A sieve dropped while its larger primes are still listed stops their threads
// and frees everything (the sanitizers check the rest).
TEST(FactorSieveTest, ASieveMayGoBeforeItsLargerPrimesJoin) {
  GmpRandom random;
  for (const uint32_t threads : {1u, 3u}) {
    const Mpz first = RandomOdd(random.get(), 2048);
    FactorSieve sieve(FromMpz(first, DigitsNeeded(first)), kMaxSieveBound, kDefaultSieveWindow,
                      threads, 1u << 16);
    EXPECT_LT(sieve.PrimeCount(), 10000u);
  }
}

TEST(FactorSieveTest, JumpsForwardAndBackStillMatchGmp) {
  GmpRandom random;
  const Mpz first = RandomOdd(random.get(), 300);
  const uint32_t bound = 50000;
  const uint32_t window = 4096;
  const std::vector<uint32_t> primes = GmpPrimesBetween(kLargestTablePrime, bound);
  // Window starts whose candidate a sieving prime divides: an offset moved there
  // must land on the start itself, not one period later.
  std::vector<uint64_t> divisible;
  for (uint64_t start = window; divisible.size() < 4; start += window) {
    if (ExpectedFactors(first, primes, start, start + 1)[0] != 0) divisible.push_back(start);
  }
  FactorSieve sieve(FromMpz(first, DigitsNeeded(first)), bound, window);
  struct Range {
    uint64_t begin;
    uint64_t end;
  };
  // Far ahead (whole windows skipped), back, back again, forward over skipped
  // windows, back to the start, into the middle of a window, and beyond 2^32.
  const Range ranges[] = {
      {1000000, 1010000},
      {divisible[2], divisible[2] + 100},
      {divisible[0], divisible[0] + 100},
      {divisible[3], divisible[3] + 100},
      {0, 5000},
      {70001, 75000},
      {(uint64_t{1} << 40) + 5, (uint64_t{1} << 40) + 9000},
  };
  for (const Range range : ranges) {
    SCOPED_TRACE("indices from " + std::to_string(range.begin));
    EXPECT_TRUE(FactorsMatch(sieve, first, primes, range.begin, range.end));
  }
}

TEST(FactorSieveTest, CheckIsExactOnConstructedNumbers) {
  // p | n with n = p q, q prime, constructed so that (n-1)/2 mod (p-1) is 0
  // (every base gives 1 mod p), (p-1)/2 (every base gives its Legendre symbol,
  // +-1), or anything; and n = p itself, with and without p being a base.
  struct Row {
    const char* label;
    uint32_t p;
    uint32_t qResidue;         // q = qResidue mod 2 (p - 1); 0: any prime q
    uint32_t qBits;            // 0: n = p
    uint32_t conclusiveBases;  // expected number of bases the check decides
  };
  const uint32_t p1 = 7927;
  const uint32_t p2 = 7933;
  const Row rows[] = {
      {"q = p mod 2(p-1): powers are 1 mod p", p1, p1, 200, 0},
      {"q = 1 mod 2(p-1): powers are +-1 mod p", p2, 1, 300, 0},
      {"q = p mod 2(p-1), p = 25013 a base", 25013, 25013, 200, 1},
      {"any q, p = 25013 a base", 25013, 0, 256, 7},
      {"any q", p1, 0, 512, 7},
      {"any q, large p", 1048573, 0, 1024, 7},
      {"n = p", p1, 0, 0, 0},
      {"n = p = 25013, base 4 divides", 25013, 0, 0, 1},
      {"n = p = 25981, base 2 divides", 25981, 0, 0, 1},
  };
  GmpRandom random;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    Mpz n;
    mpz_set_ui(n.get(), row.p);
    if (row.qBits != 0) {
      const uint32_t step = 2 * (row.p - 1);
      Mpz q = RandomOdd(random.get(), row.qBits);
      if (row.qResidue != 0) {
        q = PrimeInClass(q, row.qResidue, step);
      } else {
        mpz_nextprime(q.get(), q.get());
      }
      mpz_mul(n.get(), n.get(), q.get());
    }
    CheckCounts counts;
    ExpectCheckExact(n, row.p, &counts);
    // "any q" rows: every base has order at least 481 mod these p, so a random q
    // makes a base +-1 mod p with chance below 1 %; the seed is fixed.
    EXPECT_EQ(counts.conclusive, row.conclusiveBases);
  }
}

TEST(FactorSieveTest, CheckIsExactOnRandomCandidatesWithASievedFactor) {
  // Random odd numbers without a factor up to 7919 whose sieve finds a factor:
  // the check must agree with the full power mod p on every base, and a proof
  // must hold for the Lehman result mod n.
  GmpRandom random;
  const uint32_t bound = 1u << 18;
  const std::vector<uint32_t> tablePrimes = oracle::FirstPrimes(1000);
  CheckCounts counts;
  uint32_t numbers = 0;
  for (const uint32_t bits : {40u, 64u, 200u, 512u, 1024u}) {
    SCOPED_TRACE(std::to_string(bits) + " bits");
    for (uint32_t start = 0; start < 4; ++start) {
      const Mpz first = RandomOdd(random.get(), bits);
      FactorSieve sieve(FromMpz(first, DigitsNeeded(first)), bound);
      Mpz n;
      for (uint64_t k = 0; k < 400; ++k) {
        const uint32_t p = sieve.SmallestFactor(k);
        if (p == 0) continue;
        mpz_add_ui(n.get(), first.get(), static_cast<unsigned long>(2 * k));
        const bool hasTableFactor =
            std::any_of(tablePrimes.begin(), tablePrimes.end(),
                        [&](uint32_t t) { return mpz_divisible_ui_p(n.get(), t) != 0; });
        if (hasTableFactor) continue;
        ++numbers;
        ExpectCheckExact(n, p, &counts);
      }
    }
  }
  EXPECT_GT(numbers, 100u) << "too few candidates with a sieved factor were checked";
}
