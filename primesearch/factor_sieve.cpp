/// The known-factor sieve: the sieving primes, the residues of the first
/// candidate, the windowed sieve, the check of a Lehman base modulo a factor,
/// and the sieve bound per candidate size.
#include "primesearch/factor_sieve.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
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

  // At least one more than the primes among the odd numbers of indices
  // [begin, end), for begin >= FirstIndex(): by x / ln x < pi(x) <
  // 1.25506 x / ln x for x >= 17 (Rosser and Schoenfeld, 1962), with room for
  // rounding.
  static size_t MaxPrimes(uint32_t begin, uint32_t end) {
    const double x = 2.0 * end + 1;
    const double y = 2.0 * begin;
    return static_cast<size_t>(std::max(0.0, 1.25506 * x / std::log(x) - y / std::log(y))) + 3;
  }

  // primes[0..count) = the primes among the odd numbers of indices
  // [begin, end), ascending, for begin >= FirstIndex(); returns count. primes
  // has room for MaxPrimes(begin, end); composite, for kSieveSegmentOdds flags.
  uint32_t ListPrimes(uint32_t begin, uint32_t end, uint8_t* composite, uint32_t* primes) const {
    uint32_t primeCount = 0;
    for (uint32_t low = begin; low < end; low += kSieveSegmentOdds) {
      const uint32_t count = std::min(kSieveSegmentOdds, end - low);
      CopyPattern(low, count, composite);
      const uint64_t lowValue = 2 * static_cast<uint64_t>(low) + 1;
      for (const uint32_t q : basePrimes_) {
        if (q <= kPatternPrimes[kPatternPrimeCount - 1]) continue;
        // The first odd multiple of q at or above both q^2 and the segment.
        uint64_t m = std::max(static_cast<uint64_t>(q) * q, (lowValue + q - 1) / q * q);
        if (m % 2 == 0) m += q;
        for (uint64_t i = m / 2 - low; i < count; i += q) composite[static_cast<size_t>(i)] = 1;
      }
      // Every odd number is written at the end of the list and only a prime
      // moves the end on: no branch to mispredict on the one number in eight or
      // so that is prime. The last write lands one past the last prime.
      for (uint32_t i = 0; i < count; ++i) {
        primes[primeCount] = 2 * (low + i) + 1;
        primeCount += composite[i] == 0 ? 1u : 0u;
      }
    }
    return primeCount;
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
      const uint8_t* from = pattern_.data() + phase;
      std::copy(from, from + piece, flags + done);
      done += piece;
      phase = 0;
    }
  }

  std::vector<uint32_t> basePrimes_;
  std::vector<uint8_t> pattern_;  // index i: 2i + 1 has a factor from kPatternPrimes
  uint32_t endIndex_;
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

// primes[0..count) = the sieving primes among the odd numbers of indices
// [begin, end) and offsets[0..count) = the index of each one's first multiple,
// from first's residue by it; returns count. Room as for ListPrimes.
uint32_t ListRun(const BigInt& first, const SegmentedSieve& sieve, uint32_t begin, uint32_t end,
                 uint8_t* composite, uint32_t* primes, uint32_t* offsets) {
  const uint32_t count = sieve.ListPrimes(begin, end, composite, primes);
  SmallResidues(first, primes, count, offsets);
  for (uint32_t i = 0; i < count; ++i) offsets[i] = FirstMultipleIndex(offsets[i], primes[i]);
  return count;
}

// The construction's runs of odd numbers: kRunsPerThread or more per thread,
// so that the last ones even out the threads' shares, each of one segment at
// least and of at most kSieveChunkOdds odd numbers.
class Runs {
 public:
  Runs(const SegmentedSieve& sieve, uint32_t threads) : end_(sieve.EndIndex()) {
    const uint32_t odds = end_ - SegmentedSieve::FirstIndex();
    const uint64_t runs = uint64_t{kRunsPerThread} * std::max(threads, 1u);
    length_ = static_cast<uint32_t>(
        std::clamp<uint64_t>((odds + runs - 1) / runs, kSieveSegmentOdds, kSieveChunkOdds));
    count_ = (odds + length_ - 1) / length_;
  }

  uint32_t Count() const { return count_; }
  // The odd numbers of run r: indices [Begin(r), End(r)).
  uint32_t Begin(uint32_t r) const { return SegmentedSieve::FirstIndex() + r * length_; }
  uint32_t End(uint32_t r) const { return std::min(end_, Begin(r) + length_); }

 private:
  static constexpr uint32_t kRunsPerThread = 4;

  uint32_t end_;
  uint32_t length_;
  uint32_t count_;
};

// n values, left uninitialised: the pages of the room a list does not fill
// are never touched.
std::unique_ptr<uint32_t[]> UninitialisedValues(size_t n) {
  return std::unique_ptr<uint32_t[]>(new uint32_t[n]);  // NOLINT(modernize-make-unique)
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
  std::vector<uint8_t> composite(kSieveSegmentOdds);
  primes.resize(SegmentedSieve::MaxPrimes(sieve.FirstIndex(), sieve.EndIndex()));
  primes.resize(
      sieve.ListPrimes(sieve.FirstIndex(), sieve.EndIndex(), composite.data(), primes.data()));
  return primes;
}

FactorSieve::FactorSieve(const BigInt& first, uint32_t bound, uint32_t windowLength,
                         uint32_t threads)
    : factors_(std::clamp(windowLength, 1u, kMaxSieveBound)) {
  bound = std::min(bound, kMaxSieveBound);
  if (bound <= kLargestTablePrime) return;
  const SegmentedSieve sieve(bound);
  // The odd numbers split into runs, which the threads take in turn, each run
  // listing its primes and then their first multiples: both the listing and
  // the residues run on every thread, and a thread slowed by other work takes
  // fewer runs.
  const Runs runs(sieve, threads);
  runs_.resize(runs.Count());
  size_t room = 0;
  for (uint32_t r = 0; r < runs.Count(); ++r) {
    runs_[r].start = room;
    room += SegmentedSieve::MaxPrimes(runs.Begin(r), runs.End(r));
  }
  values_ = UninitialisedValues(2 * room);
  primes_ = values_.get();
  offsets_ = values_.get() + room;
  std::atomic<uint32_t> nextRun{0};
  const auto work = [&] {
    std::vector<uint8_t> composite(kSieveSegmentOdds);
    for (uint32_t r = nextRun++; r < runs.Count(); r = nextRun++) {
      PrimeRun& run = runs_[r];
      run.count = ListRun(first, sieve, runs.Begin(r), runs.End(r), composite.data(),
                          primes_ + run.start, offsets_ + run.start);
    }
  };
  {
    // The calling thread works too; the helpers are joined before the runs are
    // read, also when the calling thread's share throws.
    JoinedThreads helpers;
    for (uint32_t t = 1; t < std::min(threads, runs.Count()); ++t) helpers.Start(work);
    work();
  }
  for (const PrimeRun& run : runs_) primeCount_ += run.count;
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
  for (auto run = runs_.rbegin(); run != runs_.rend(); ++run) {
    for (uint32_t j = run->count; j-- > 0;) {
      const uint32_t p = primes_[run->start + j];
      uint32_t& offset = offsets_[run->start + j];
      uint32_t k = offset;
      for (; k < window; k += p) factors_[k] = p;
      offset = k - window;
    }
  }
  offsetsBase_ = start + window;
  windowStart_ = start;
  windowSieved_ = true;
}

// Re-expresses every offset relative to start, for a window that does not follow
// the last one: one division per prime.
void FactorSieve::MoveOffsetsTo(uint64_t start) {
  if (start == offsetsBase_) return;
  for (const PrimeRun& run : runs_) {
    for (uint32_t j = 0; j < run.count; ++j) {
      const uint32_t p = primes_[run.start + j];
      uint32_t& offset = offsets_[run.start + j];
      if (start > offsetsBase_) {
        const auto d = static_cast<uint32_t>((start - offsetsBase_) % p);
        offset = offset >= d ? offset - d : offset + p - d;
      } else {
        const auto d = static_cast<uint32_t>((offsetsBase_ - start) % p);
        offset = offset + d >= p ? offset + d - p : offset + d;
      }
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
