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
  std::vector<uint8_t> composite(kSieveSegmentOdds);
  const uint32_t lastIndex = (bound - 1) / 2;
  // pi(x) < 1.25506 x / ln x for x > 1 (Rosser and Schoenfeld, 1962): one
  // allocation instead of the doublings of a growing list.
  primes.reserve(static_cast<size_t>(1.25506 * bound / std::log(static_cast<double>(bound))));
  for (uint32_t low = (kLargestTablePrime + 1) / 2; low <= lastIndex; low += kSieveSegmentOdds) {
    const uint32_t count = std::min(kSieveSegmentOdds, lastIndex - low + 1);
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

// The first row whose size the candidate reaches names its bound.
uint32_t FactorSieveBound(uint32_t candidateBits, std::string_view kernelName) {
  const KernelSearchTuning& tuning = SearchTuningFor(kernelName);
  for (uint32_t i = 0; i < tuning.sieveBoundRowCount; ++i) {
    if (candidateBits >= tuning.sieveBoundRows[i].fromBits) return tuning.sieveBoundRows[i].bound;
  }
  return 0;
}
