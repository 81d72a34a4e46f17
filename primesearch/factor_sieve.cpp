/// The known-factor sieve: the sieving primes, the residues of the first
/// candidate, the windowed sieve, the check of a Lehman base modulo a factor,
/// and the sieve bound per candidate size.
#include "primesearch/factor_sieve.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "bigint/small_residues.h"

namespace {

// ---- The sieving primes ------------------------------------------------------

// Odd numbers per segment of the prime sieve (32 KB of flags).
constexpr uint32_t kSegmentOdds = 1u << 15;

// The odd primes up to limit, by the plain sieve of Eratosthenes over the odd
// numbers (flag i stands for 2i + 1).
std::vector<uint32_t> OddPrimesUpTo(uint32_t limit) {
  std::vector<uint8_t> composite(limit / 2 + 1, 0);
  std::vector<uint32_t> primes;
  for (uint32_t i = 1; 2 * i + 1 <= limit; ++i) {
    if (composite[i] != 0) continue;
    const uint32_t q = 2 * i + 1;
    primes.push_back(q);
    for (uint64_t m = static_cast<uint64_t>(q) * q; m <= limit; m += 2 * q)
      composite[static_cast<size_t>(m / 2)] = 1;
  }
  return primes;
}

// The least r with r * r > n.
uint32_t SquareRootCeiling(uint32_t n) {
  uint32_t r = 1;
  while (static_cast<uint64_t>(r) * r <= n) ++r;
  return r;
}

// ---- First multiples ------------------------------------------------------------

// The least k >= 0 with p | first + 2k, for r = first mod p and odd p: k = -r / 2 mod p.
uint32_t FirstMultipleIndex(uint32_t residue, uint32_t p) {
  const uint32_t t = residue == 0 ? 0 : p - residue;
  return t % 2 == 0 ? t / 2 : (t + p) / 2;
}

// ---- The check -------------------------------------------------------------------

// base^e mod p by square and multiply, for base < p < 2^32.
uint32_t PowModPrime(uint32_t base, uint32_t e, uint32_t p) {
  uint64_t result = 1;
  uint64_t power = base;
  for (; e != 0; e >>= 1) {
    if ((e & 1) != 0) result = result * power % p;
    power = power * power % p;
  }
  return static_cast<uint32_t>(result);
}

}  // namespace

std::vector<uint32_t> SievingPrimes(uint32_t bound) {
  bound = std::min(bound, kMaxSieveBound);
  std::vector<uint32_t> primes;
  if (bound <= kLargestTablePrime) return primes;
  const std::vector<uint32_t> basePrimes = OddPrimesUpTo(SquareRootCeiling(bound));
  // Segment flag i stands for the odd number 2 (low + i) + 1.
  std::vector<uint8_t> composite(kSegmentOdds);
  const uint32_t lastIndex = (bound - 1) / 2;
  // pi(x) < 1.25506 x / ln x for x > 1 (Rosser and Schoenfeld, 1962): one
  // allocation instead of the doublings of a growing list.
  primes.reserve(static_cast<size_t>(1.25506 * bound / std::log(static_cast<double>(bound))));
  for (uint32_t low = (kLargestTablePrime + 1) / 2; low <= lastIndex; low += kSegmentOdds) {
    const uint32_t count = std::min(kSegmentOdds, lastIndex - low + 1);
    std::fill(composite.begin(), composite.end(), 0);
    const uint64_t lowValue = 2 * static_cast<uint64_t>(low) + 1;
    for (const uint32_t q : basePrimes) {
      // The first odd multiple of q at or above both q^2 and the segment.
      uint64_t m = std::max(static_cast<uint64_t>(q) * q, (lowValue + q - 1) / q * q);
      if (m % 2 == 0) m += q;
      for (uint64_t i = m / 2 - low; i < count; i += q) composite[static_cast<size_t>(i)] = 1;
    }
    for (uint32_t i = 0; i < count; ++i) {
      if (composite[i] == 0) primes.push_back(2 * (low + i) + 1);
    }
  }
  return primes;
}

FactorSieve::FactorSieve(const BigInt& first, uint32_t bound, uint32_t windowLength,
                         uint32_t threads)
    : primes_(SievingPrimes(bound)),
      offsets_(primes_.size()),
      factors_(std::clamp(windowLength, 1u, kMaxSieveBound)) {
  // The primes split into one run per thread; the calling thread takes the first.
  const uint32_t primeCount = PrimeCount();
  const uint32_t runs = std::max(1u, std::min(threads, primeCount));
  const auto runStart = [&](uint32_t run) {
    return static_cast<uint32_t>(uint64_t{primeCount} * run / runs);
  };
  std::vector<std::thread> helpers;
  for (uint32_t run = 1; run < runs; ++run) {
    helpers.emplace_back([this, &first, begin = runStart(run), end = runStart(run + 1)] {
      FirstMultiples(first, begin, end);
    });
  }
  FirstMultiples(first, 0, runStart(1));
  for (std::thread& helper : helpers) helper.join();
}

// offsets_[begin..end): the index of each prime's first multiple among the
// candidates, from first's residue by the prime.
void FactorSieve::FirstMultiples(const BigInt& first, uint32_t begin, uint32_t end) {
  SmallResidues(first, primes_.data() + begin, end - begin, offsets_.data() + begin);
  for (uint32_t i = begin; i < end; ++i) offsets_[i] = FirstMultipleIndex(offsets_[i], primes_[i]);
}

uint32_t FactorSieve::SmallestFactor(uint64_t index) {
  const uint64_t start = index - index % factors_.size();
  if (!windowSieved_ || start != windowStart_) SieveWindowAt(start);
  return factors_[static_cast<size_t>(index - start)];
}

// Marks every multiple in the window with its prime, largest prime first, so the
// smallest prime dividing a candidate is the one written last. Each offset is
// left at its next multiple past the window, ready for the window that follows.
void FactorSieve::SieveWindowAt(uint64_t start) {
  MoveOffsetsTo(start);
  std::fill(factors_.begin(), factors_.end(), 0);
  const auto window = static_cast<uint32_t>(factors_.size());
  for (size_t j = primes_.size(); j-- > 0;) {
    const uint32_t p = primes_[j];
    uint32_t k = offsets_[j];
    for (; k < window; k += p) factors_[k] = p;
    offsets_[j] = k - window;
  }
  offsetsBase_ = start + window;
  windowStart_ = start;
  windowSieved_ = true;
}

// Re-expresses every offset relative to start, for a window that does not follow
// the last one: one division per prime.
void FactorSieve::MoveOffsetsTo(uint64_t start) {
  if (start == offsetsBase_) return;
  for (size_t j = 0; j < primes_.size(); ++j) {
    const uint32_t p = primes_[j];
    const uint32_t offset = offsets_[j];
    if (start > offsetsBase_) {
      const auto d = static_cast<uint32_t>((start - offsetsBase_) % p);
      offsets_[j] = offset >= d ? offset - d : offset + p - d;
    } else {
      const auto d = static_cast<uint32_t>((offsetsBase_ - start) % p);
      offsets_[j] = offset + d >= p ? offset + d - p : offset + d;
    }
  }
  offsetsBase_ = start;
}

uint32_t LehmanExponentModulo(const BigInt& n, uint32_t p) { return ((n - 1u) >> 1) % (p - 1); }

bool FactorProvesComposite(uint32_t base, uint32_t p, uint32_t e) {
  const uint32_t residue = base % p;
  if (residue == 0) return true;
  const uint32_t power = PowModPrime(residue, e, p);
  return power != 1 && power != p - 1;
}

// The bound that maximises the expected saving of one search,
//   runs * share * powmod - prepare - windows * window,
// measured by bench/sieve_bench.cpp (bench preset, g++ 12.2 -O3, 2-vCPU AMD
// EPYC Zen 4 virtual machine, quiet, CPU time, 2026-12-09, with the vector
// Montgomery kernel). runs: Lehman runs on composites per search (12.5 % of
// odd numbers have no factor up to 7919, ln(n) / 2 odd numbers per prime);
// share: the share of those the sieve proves at the first base (measured at
// 256 bytes); powmod: 89^((n-1)/2) mod n; prepare: the sieve's construction;
// window: sieving 2^14 candidates.
//
//   bound  share  window ms
//   2^14   0.074    0.004
//   2^16   0.191    0.019
//   2^18   0.279    0.054
//   2^20   0.349    0.109
//   2^22   0.407    0.316
//   2^24   0.458    1.015
//   2^26   0.501    3.820
//
//   bytes  powmod ms   runs  best  prepare ms  saving ms
//      32      0.024   10.2  none      -           -     (2^14: -0.008)
//      48      0.025   15.7  2^14      0.023       0.001
//      64      0.046   21.3  2^15      0.063       0.063
//      96      0.083   32.5  2^16      0.190       0.305
//     128      0.155   43.6  2^16      0.255       1.02
//     192      0.394   66.0  2^18      1.60        5.59
//     256      0.794   88.3  2^19      3.82        18.3
//     384      2.30   132.9  2^21      18.1        97.9  (2^20, taken: 97.2)
//     512      5.04   177.6  2^22      44.6        320   (2^21, taken: 317)
//     768     16.0    266.9  2^23      128         1727
//    1024     37.6    356.2  2^25      601         5832  (2^24, taken: 5832)
//    1536    173      534.7  2^26      1532        44894
//    2048    389      713.3  2^26      1995        136848
//
// Near the best bound the saving is flat; where two bounds come within 2 %,
// the smaller one is taken (less memory, and a faster exponentiation moves
// every best bound down). Each row starts halfway between two measured sizes.
uint32_t FactorSieveBound(uint32_t candidateBits) {
  struct Row {
    uint32_t fromBits;
    uint32_t bound;
  };
  static constexpr Row kRows[] = {
      {10240, 1u << 26}, {7168, 1u << 24}, {5120, 1u << 23}, {3584, 1u << 21}, {2560, 1u << 20},
      {1792, 1u << 19},  {1280, 1u << 18}, {640, 1u << 16},  {448, 1u << 15},  {320, 1u << 14},
  };
  for (const Row& row : kRows) {
    if (candidateBits >= row.fromBits) return row.bound;
  }
  return 0;
}
