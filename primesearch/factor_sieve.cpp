/// The known-factor sieve: the sieving primes, the residues of the first
/// candidate, the windowed sieve, the check of a Lehman base modulo a factor,
/// and the sieve bound per candidate size.
#include "primesearch/factor_sieve.h"

#include <algorithm>
#include <atomic>
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

// The odd primes above the table up to a bound, listed a run of odd numbers at
// a time by a segmented sieve of Eratosthenes: index i stands for the odd
// number 2i + 1. Runs may be listed on several threads at once.
class SegmentedSieve {
 public:
  // bound: above kLargestTablePrime, at most kMaxSieveBound.
  explicit SegmentedSieve(uint32_t bound)
      : basePrimes_(OddPrimesUpTo(SquareRootCeiling(bound))),
        pattern_(kPatternOdds),
        endIndex_((bound - 1) / 2 + 1) {
    for (const uint32_t q : kPatternPrimes) {
      for (uint32_t i = q / 2; i < kPatternOdds; i += q) pattern_[i] = 1;
    }
  }

  // The index of the first odd number above the table, and one past the last
  // one at or below the bound.
  static uint32_t FirstIndex() { return (kLargestTablePrime + 1) / 2; }
  uint32_t EndIndex() const { return endIndex_; }

  // Appends the primes among the odd numbers of indices [begin, end), ascending;
  // begin >= FirstIndex().
  void AppendPrimes(uint32_t begin, uint32_t end, std::vector<uint32_t>* primes) const {
    primes->reserve(primes->size() + PrimeCountAbove(2 * begin + 1, 2 * end + 1));
    std::vector<uint8_t> composite(kSieveSegmentOdds);
    std::vector<uint32_t> found(kSieveSegmentOdds);
    for (uint32_t low = begin; low < end; low += kSieveSegmentOdds) {
      const uint32_t count = std::min(kSieveSegmentOdds, end - low);
      CopyPattern(low, count, composite.data());
      const uint64_t lowValue = 2 * static_cast<uint64_t>(low) + 1;
      for (const uint32_t q : basePrimes_) {
        if (q <= kPatternPrimes[kPatternPrimeCount - 1]) continue;
        // The first odd multiple of q at or above both q^2 and the segment.
        uint64_t m = std::max(static_cast<uint64_t>(q) * q, (lowValue + q - 1) / q * q);
        if (m % 2 == 0) m += q;
        for (uint64_t i = m / 2 - low; i < count; i += q) composite[static_cast<size_t>(i)] = 1;
      }
      // Every odd number is written and only a prime moves the end on: no branch
      // to mispredict on the one number in eight or so that is prime.
      uint32_t primeCount = 0;
      for (uint32_t i = 0; i < count; ++i) {
        found[primeCount] = 2 * (low + i) + 1;
        primeCount += composite[i] == 0 ? 1u : 0u;
      }
      primes->insert(primes->end(), found.begin(), found.begin() + primeCount);
    }
  }

 private:
  // The odd multiples of 3, 5, 7, 11 and 13 repeat every 3 5 7 11 13 odd
  // numbers, so each segment starts as a copy of that pattern and the sieve
  // marks the multiples of the larger primes only: the small primes would
  // otherwise take most of the marking.
  static constexpr uint32_t kPatternPrimeCount = 5;
  static constexpr uint32_t kPatternPrimes[kPatternPrimeCount] = {3, 5, 7, 11, 13};
  static constexpr uint32_t kPatternOdds = 3 * 5 * 7 * 11 * 13;

  // flags[0..count) = the pattern's flags of the odd numbers from index low on.
  void CopyPattern(uint32_t low, uint32_t count, uint8_t* flags) const {
    uint32_t phase = low % kPatternOdds;
    for (uint32_t done = 0; done < count;) {
      const uint32_t piece = std::min(count - done, kPatternOdds - phase);
      std::copy(pattern_.begin() + phase, pattern_.begin() + phase + piece, flags + done);
      done += piece;
      phase = 0;
    }
  }

  // At least the number of primes in [low, high) for 17 <= low < high:
  // x / ln x < pi(x) < 1.25506 x / ln x for x >= 17 (Rosser and Schoenfeld,
  // 1962), so one allocation serves instead of the doublings of a growing list.
  static size_t PrimeCountAbove(uint64_t low, uint64_t high) {
    const auto x = static_cast<double>(high);
    const auto y = static_cast<double>(low);
    return static_cast<size_t>(std::max(0.0, 1.25506 * x / std::log(x) - y / std::log(y))) + 1;
  }

  std::vector<uint32_t> basePrimes_;
  std::vector<uint8_t> pattern_;  // index i: 2i + 1 has a factor from kPatternPrimes
  uint32_t endIndex_;
};

// The sieving primes of one run of odd numbers and the index of each one's
// first multiple among the candidates.
struct PrimeChunk {
  std::vector<uint32_t> primes;
  std::vector<uint32_t> offsets;
};

// Threads that are joined when the object goes, so no exit from the scope that
// started them leaves one running.
class JoinedThreads {
 public:
  JoinedThreads() = default;
  JoinedThreads(const JoinedThreads&) = delete;
  JoinedThreads& operator=(const JoinedThreads&) = delete;
  ~JoinedThreads() {
    for (std::thread& thread : threads_) thread.join();
  }

  template <class Work>
  void Start(const Work& work) {
    threads_.emplace_back(work);
  }

 private:
  std::vector<std::thread> threads_;
};

// ---- First multiples ------------------------------------------------------------

// The least k >= 0 with p | first + 2k, for r = first mod p and odd p: k = -r / 2 mod p.
uint32_t FirstMultipleIndex(uint32_t residue, uint32_t p) {
  const uint32_t t = residue == 0 ? 0 : p - residue;
  return t % 2 == 0 ? t / 2 : (t + p) / 2;
}

// Lists the sieving primes among the odd numbers of indices [begin, end) into
// chunk, with the index of each one's first multiple from first's residue by it.
void ListChunk(const BigInt& first, const SegmentedSieve& sieve, uint32_t begin, uint32_t end,
               PrimeChunk* chunk) {
  sieve.AppendPrimes(begin, end, &chunk->primes);
  const size_t count = chunk->primes.size();
  chunk->offsets.resize(count);
  SmallResidues(first, chunk->primes.data(), count, chunk->offsets.data());
  for (size_t i = 0; i < count; ++i) {
    chunk->offsets[i] = FirstMultipleIndex(chunk->offsets[i], chunk->primes[i]);
  }
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
  const SegmentedSieve sieve(bound);
  sieve.AppendPrimes(sieve.FirstIndex(), sieve.EndIndex(), &primes);
  return primes;
}

FactorSieve::FactorSieve(const BigInt& first, uint32_t bound, uint32_t windowLength,
                         uint32_t threads)
    : factors_(std::clamp(windowLength, 1u, kMaxSieveBound)) {
  bound = std::min(bound, kMaxSieveBound);
  if (bound <= kLargestTablePrime) return;
  const SegmentedSieve sieve(bound);
  // The odd numbers split into chunks, which the threads take in turn, each
  // chunk listing its primes and then their first multiples: both the listing
  // and the residues run on every thread, and a thread slowed by other work
  // takes fewer chunks.
  const uint32_t chunkCount =
      (sieve.EndIndex() - sieve.FirstIndex() + kSieveChunkOdds - 1) / kSieveChunkOdds;
  std::vector<PrimeChunk> chunks(chunkCount);
  std::atomic<uint32_t> nextChunk{0};
  const auto work = [&] {
    for (uint32_t c = nextChunk++; c < chunkCount; c = nextChunk++) {
      const uint32_t begin = sieve.FirstIndex() + c * kSieveChunkOdds;
      const uint32_t end = std::min(sieve.EndIndex(), begin + kSieveChunkOdds);
      ListChunk(first, sieve, begin, end, &chunks[c]);
    }
  };
  {
    // The calling thread works too; the helpers are joined before the chunks
    // are read, also when the calling thread's share throws.
    JoinedThreads helpers;
    for (uint32_t t = 1; t < std::min(threads, chunkCount); ++t) helpers.Start(work);
    work();
  }
  size_t primeCount = 0;
  for (const PrimeChunk& chunk : chunks) primeCount += chunk.primes.size();
  primes_.reserve(primeCount);
  offsets_.reserve(primeCount);
  for (const PrimeChunk& chunk : chunks) {
    primes_.insert(primes_.end(), chunk.primes.begin(), chunk.primes.end());
    offsets_.insert(offsets_.end(), chunk.offsets.begin(), chunk.offsets.end());
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
