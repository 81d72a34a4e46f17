/// The known-factor sieve: the sieving primes, the residues of the first
/// candidate, the windowed sieve, the check of a Lehman base modulo a factor,
/// and the sieve bound per candidate size.
#include "primesearch/factor_sieve.h"

#include <algorithm>
#include <cmath>
#include <thread>

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

// ---- Residues of the first candidate -------------------------------------------

// The residues are taken by Horner's rule over 32-bit chunks, most significant
// first: s = s * 2^32 + chunk mod p, with Montgomery's reduction in place of a
// division (P. L. Montgomery, "Modular multiplication without trial division",
// 1985; HAC 14.32). Redc(T) = T / 2^32 mod p for T + q p < 2^64, and
// Redc(s * (2^64 mod p)) = s * 2^32 mod p. With p < 2^30 every s stays below
// 2^33: T < 2^33 * 2^30, q p < 2^62, so Redc(T) < 3 * 2^30 and s + chunk < 2^33.
constexpr uint32_t kChunkBits = 32;
static_assert(kMaxSieveBound < (1u << 30), "the residue arithmetic needs primes below 2^30");

// n as 32-bit chunks, most significant first, without leading zero chunks.
std::vector<uint32_t> ChunksOf(const BigInt& n) {
  const uint32_t* digits = n.Digits();
  const uint32_t length = n.Length();
  std::vector<uint32_t> chunks((length + 1) / 2);
  for (uint32_t i = 0; i < length; ++i) {
    chunks[chunks.size() - 1 - i / 2] |= digits[i] << (i % 2 * BigInt::kDigitBits);
  }
  const auto firstNonZero =
      std::find_if(chunks.begin(), chunks.end(), [](uint32_t c) { return c != 0; });
  chunks.erase(chunks.begin(), firstNonZero);
  return chunks;
}

// -p^-1 mod 2^32 for odd p, by Newton's iteration x = x (2 - p x), which doubles
// the correct low bits from the 3 that x = p has (p * p = 1 mod 8).
uint32_t NegativeInverse(uint32_t p) {
  uint32_t x = p;
  for (int step = 0; step < 4; ++step) x *= 2 - p * x;
  return 0 - x;
}

struct MontgomeryPrime {
  uint64_t p = 1;
  uint32_t negativeInverse = 0;
  uint64_t shiftFactor = 0;  // 2^64 mod p

  MontgomeryPrime() = default;
  explicit MontgomeryPrime(uint32_t prime) : p(prime), negativeInverse(NegativeInverse(prime)) {
    const uint64_t chunkBase = (uint64_t{1} << kChunkBits) % p;
    shiftFactor = chunkBase * chunkBase % p;
  }

  uint64_t Redc(uint64_t t) const {
    const uint32_t q = static_cast<uint32_t>(t) * negativeInverse;
    return (t + q * p) >> kChunkBits;
  }
};

// residues[j] = n mod primes[j] for j < count <= kResidueBlock, n given by its chunks.
void BlockResidues(const std::vector<uint32_t>& chunks, const uint32_t* primes, uint32_t count,
                   uint32_t* residues) {
  MontgomeryPrime moduli[kResidueBlock];
  uint64_t s[kResidueBlock] = {};
  // The tail block repeats its last prime, so the loop below keeps its fixed width.
  for (uint32_t j = 0; j < kResidueBlock; ++j)
    moduli[j] = MontgomeryPrime(primes[std::min(j, count - 1)]);
  for (const uint32_t chunk : chunks) {
    for (uint32_t j = 0; j < kResidueBlock; ++j) {
      s[j] = moduli[j].Redc(s[j] * moduli[j].shiftFactor) + chunk;
    }
  }
  for (uint32_t j = 0; j < count; ++j) residues[j] = static_cast<uint32_t>(s[j] % moduli[j].p);
}

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
  const std::vector<uint32_t> chunks = ChunksOf(first);
  // The primes split into one run per thread, whole residue blocks each; the
  // calling thread takes the first run.
  const uint32_t primeCount = PrimeCount();
  const uint32_t runs = std::max(1u, std::min(threads, primeCount / kResidueBlock));
  const uint32_t blocksPerRun = (primeCount / kResidueBlock + runs - 1) / runs;
  std::vector<std::thread> helpers;
  for (uint32_t run = 1; run < runs; ++run) {
    const uint32_t begin = std::min(primeCount, run * blocksPerRun * kResidueBlock);
    const uint32_t end =
        run + 1 == runs ? primeCount : std::min(primeCount, begin + blocksPerRun * kResidueBlock);
    helpers.emplace_back([this, &chunks, begin, end] { FirstMultiples(chunks, begin, end); });
  }
  FirstMultiples(chunks, 0,
                 runs == 1 ? primeCount : std::min(primeCount, blocksPerRun * kResidueBlock));
  for (std::thread& helper : helpers) helper.join();
}

// offsets_[begin..end): the index of each prime's first multiple among the
// candidates, from first's residue by the prime.
void FactorSieve::FirstMultiples(const std::vector<uint32_t>& chunks, uint32_t begin,
                                 uint32_t end) {
  for (uint32_t j = begin; j < end; j += kResidueBlock) {
    const uint32_t count = std::min(kResidueBlock, end - j);
    BlockResidues(chunks, &primes_[j], count, &offsets_[j]);
    for (uint32_t i = j; i < j + count; ++i)
      offsets_[i] = FirstMultipleIndex(offsets_[i], primes_[i]);
  }
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
uint32_t FactorSieveBound(uint32_t candidateBits) {
  for (const SieveBoundRow& row : kSieveBoundRows) {
    if (candidateBits >= row.fromBits) return row.bound;
  }
  return 0;
}
