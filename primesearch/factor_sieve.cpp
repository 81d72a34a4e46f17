/// The known-factor sieve: the sieving primes, the residues of the first
/// candidate (the smaller primes' before the search starts, the larger ones'
/// beside it), the windowed sieve, the check of a Lehman base modulo a factor,
/// and the sieve bound per candidate size.
#include "primesearch/factor_sieve.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <thread>
#include <utility>

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
        endIndex_(IndexPast(bound)) {
    for (const uint32_t q : kPatternPrimes) {
      for (uint32_t i = q / 2; i < kPatternOdds; i += q) pattern_[i] = 1;
    }
  }

  // The index of the first odd number above the table, and one past the last
  // one at or below the bound.
  static uint32_t FirstIndex() { return (kLargestTablePrime + 1) / 2; }
  uint32_t EndIndex() const { return endIndex_; }
  // One past the index of the last odd number at or below value.
  static uint32_t IndexPast(uint32_t value) { return value / 2 + value % 2; }

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
  ~JoinedThreads() { JoinAll(); }

  void JoinAll() {
    for (std::thread& thread : threads_) thread.join();
    threads_.clear();
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

// A stage's runs of odd numbers, indices [begin, end): kRunsPerThread or more
// per thread, so that the last ones even out the threads' shares, each of one
// segment at least and of at most kSieveChunkOdds odd numbers.
class RunLayout {
 public:
  RunLayout(uint32_t begin, uint32_t end, uint32_t threads) : begin_(begin), end_(end) {
    const uint32_t odds = end_ - begin_;
    const uint64_t runs = uint64_t{kRunsPerThread} * std::max(threads, 1u);
    length_ = static_cast<uint32_t>(
        std::clamp<uint64_t>((odds + runs - 1) / runs, kSieveSegmentOdds, kSieveChunkOdds));
    count_ = (odds + length_ - 1) / length_;
  }

  uint32_t Count() const { return count_; }
  // The odd numbers of run r: indices [Begin(r), End(r)).
  uint32_t Begin(uint32_t r) const { return begin_ + r * length_; }
  uint32_t End(uint32_t r) const { return std::min(end_, Begin(r) + length_); }

 private:
  static constexpr uint32_t kRunsPerThread = 4;

  uint32_t begin_;
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

uint32_t FirstStageSieveBound(uint32_t candidateBits) {
  for (const SieveBoundRow& row : kSieveFirstStageRows) {
    if (candidateBits >= row.fromBits) return row.bound;
  }
  return kMaxSieveBound;
}

// The primes of one range of odd numbers with the residues of `first` by them,
// in place in one block with room for every run: the threads take the runs in
// turn, each listing a run's primes and then their first multiples, so both
// the listing and the residues run on every thread, and a thread slowed by
// other work takes fewer runs.
class FactorSieve::Stage {
 public:
  // The odd numbers of indices [begin, end) of the sieve up to bound.
  Stage(BigInt first, uint32_t bound, uint32_t begin, uint32_t end, uint32_t threads)
      : first_(std::move(first)),
        sieve_(bound),
        layout_(begin, end, threads),
        runs_(layout_.Count()) {
    size_t room = 0;
    std::vector<size_t> starts(runs_.size());
    for (uint32_t r = 0; r < layout_.Count(); ++r) {
      starts[r] = room;
      room += SegmentedSieve::MaxPrimes(layout_.Begin(r), layout_.End(r));
    }
    values_ = UninitialisedValues(2 * room);
    for (uint32_t r = 0; r < layout_.Count(); ++r) {
      runs_[r].primes = values_.get() + starts[r];
      runs_[r].offsets = values_.get() + room + starts[r];
    }
  }
  Stage(const Stage&) = delete;
  Stage& operator=(const Stage&) = delete;
  // Threads still listing stop after the run they are on.
  ~Stage() { stop_.store(true, std::memory_order_relaxed); }

  // Lists every run on the calling thread and threads - 1 helpers, which are
  // joined before it returns, also when the calling thread's share throws.
  void ListHere(uint32_t threads) {
    JoinedThreads helpers;
    for (uint32_t t = 1; t < std::min(threads, layout_.Count()); ++t)
      helpers.Start([this] { ListRuns(); });
    ListRuns();
  }

  // Lists the runs on `threads` threads of the stage's own and returns at once.
  void ListInBackground(uint32_t threads) {
    for (uint32_t t = 0; t < std::min(std::max(threads, 1u), layout_.Count()); ++t)
      threads_.Start([this] { ListRuns(); });
  }

  // True once every run is listed; what the runs hold is then visible to the
  // caller.
  bool Listed() const { return listed_.load(std::memory_order_acquire) == layout_.Count(); }

  // Waits for the threads of ListInBackground; every run is listed after it.
  void Join() { threads_.JoinAll(); }

  const std::vector<PrimeRun>& Runs() const { return runs_; }

  uint32_t PrimeCount() const {
    uint32_t count = 0;
    for (const PrimeRun& run : runs_) count += run.count;
    return count;
  }

 private:
  void ListRuns() {
    std::vector<uint8_t> composite(kSieveSegmentOdds);
    for (uint32_t r = next_++; r < layout_.Count() && !stop_.load(std::memory_order_relaxed);
         r = next_++) {
      PrimeRun& run = runs_[r];
      run.count = ListRun(first_, sieve_, layout_.Begin(r), layout_.End(r), composite.data(),
                          run.primes, run.offsets);
      listed_.fetch_add(1, std::memory_order_acq_rel);
    }
  }

  const BigInt first_;
  const SegmentedSieve sieve_;
  const RunLayout layout_;
  std::vector<PrimeRun> runs_;
  std::unique_ptr<uint32_t[]> values_;  // the room of the primes, then that of the offsets
  std::atomic<uint32_t> next_{0};
  std::atomic<uint32_t> listed_{0};
  std::atomic<bool> stop_{false};
  // Last, so that the threads are joined before anything they use goes.
  JoinedThreads threads_;
};

FactorSieve::FactorSieve(const BigInt& first, uint32_t bound, uint32_t windowLength,
                         uint32_t threads, std::optional<uint32_t> firstStageBound)
    : factors_(std::clamp(windowLength, 1u, kMaxSieveBound)) {
  bound = std::min(bound, kMaxSieveBound);
  if (bound <= kLargestTablePrime) return;
  const uint32_t firstBound = std::min(bound, firstStageBound.value_or(FirstStageSieveBound(
                                                  static_cast<uint32_t>(first.HighestBit() + 1))));
  const uint32_t split =
      std::max(SegmentedSieve::FirstIndex(), SegmentedSieve::IndexPast(firstBound));
  const uint32_t end = SegmentedSieve::IndexPast(bound);
  first_ = std::make_unique<Stage>(first, bound, SegmentedSieve::FirstIndex(), split, threads);
  first_->ListHere(threads);
  runs_ = first_->Runs();
  primeCount_ = first_->PrimeCount();
  if (split < end) {
    restFrom_ = 2 * split + 1;
    rest_ = std::make_unique<Stage>(first, bound, split, end, threads);
    rest_->ListInBackground(threads);
  }
}

FactorSieve::FactorSieve(FactorSieve&&) noexcept = default;
FactorSieve& FactorSieve::operator=(FactorSieve&&) noexcept = default;
FactorSieve::~FactorSieve() = default;

uint32_t FactorSieve::SmallestFactor(uint64_t index) {
  if (rest_ && rest_->Listed()) JoinRest();
  const uint64_t start = index - index % factors_.size();
  if (!windowSieved_ || start != windowStart_) SieveWindowAt(start);
  return factors_[static_cast<size_t>(index - start)];
}

void FactorSieve::AwaitComplete() {
  if (rest_) JoinRest();
}

// The larger primes join the sieve: their offsets, from the first candidate,
// move to where the sieve stands, and a window already sieved gets their marks
// too, so the answers from here on are as if they had been there from the
// start.
void FactorSieve::JoinRest() {
  rest_->Join();
  const size_t firstNew = runs_.size();
  runs_.insert(runs_.end(), rest_->Runs().begin(), rest_->Runs().end());
  primeCount_ += rest_->PrimeCount();
  PrimeRun* const begin = runs_.data() + firstNew;
  PrimeRun* const end = runs_.data() + runs_.size();
  if (windowSieved_) {
    MoveOffsetsTo(windowStart_, begin, end, 0);
    MarkWindow(begin, end, restFrom_);
  } else {
    MoveOffsetsTo(offsetsBase_, begin, end, 0);
  }
  // The block stays with the first stage's: the runs point into it.
  joined_ = std::move(rest_);
}

// Marks every multiple in the window with its prime, largest prime first, so the
// smallest prime dividing a candidate is the one written last.
void FactorSieve::SieveWindowAt(uint64_t start) {
  PrimeRun* const begin = runs_.data();
  PrimeRun* const end = runs_.data() + runs_.size();
  MoveOffsetsTo(start, begin, end, offsetsBase_);
  std::fill(factors_.begin(), factors_.end(), 0);
  MarkWindow(begin, end, 0);
  offsetsBase_ = start + factors_.size();
  windowStart_ = start;
  windowSieved_ = true;
}

// A mark of keepBelow or above is overwritten: a prime of these runs that is
// smaller. Each offset is left at its next multiple past the window, ready for
// the window that follows.
void FactorSieve::MarkWindow(const PrimeRun* begin, const PrimeRun* end, uint32_t keepBelow) {
  const auto window = static_cast<uint32_t>(factors_.size());
  for (const PrimeRun* run = end; run-- != begin;) {
    for (uint32_t j = run->count; j-- > 0;) {
      const uint32_t p = run->primes[j];
      uint32_t k = run->offsets[j];
      for (; k < window; k += p) {
        if (factors_[k] == 0 || factors_[k] >= keepBelow) factors_[k] = p;
      }
      run->offsets[j] = k - window;
    }
  }
}

// Re-expresses the runs' offsets, relative to from, relative to start: one
// division per prime below the distance.
void FactorSieve::MoveOffsetsTo(uint64_t start, PrimeRun* begin, PrimeRun* end, uint64_t from) {
  if (start == from) return;
  const uint64_t distance = start > from ? start - from : from - start;
  for (PrimeRun* run = begin; run != end; ++run) {
    for (uint32_t j = 0; j < run->count; ++j) {
      const uint32_t p = run->primes[j];
      uint32_t& offset = run->offsets[j];
      const auto d = static_cast<uint32_t>(distance < p ? distance : distance % p);
      if (start > from) {
        offset = offset >= d ? offset - d : offset + p - d;
      } else {
        offset = offset + d >= p ? offset + d - p : offset + d;
      }
    }
  }
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
