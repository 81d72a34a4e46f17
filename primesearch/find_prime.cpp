/// The search loop: trial division by the small primes, then the Lehman method,
/// run in place or ahead of the trace on worker threads.
#include "primesearch/find_prime.h"

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bigint/bigint.h"
#include "bigint/power_batch.h"
#include "bigint/prepared_modulus.h"
#include "bigint/small_residues.h"
#include "platform/clock.h"
#include "platform/processors.h"
#include "primesearch/factor_sieve.h"
#include "primesearch/lehman.h"
#include "primesearch/lehman_workers.h"
#include "primesearch/progress_clock.h"
#include "primesearch/random_candidate.h"
#include "primesearch/tuning.h"

namespace {

constexpr uint32_t kMillisecondsPerSecond = 1000;
constexpr uint32_t kCandidateStep = 2;

// The candidate's remainder by every table prime. For the first candidate all of
// them come at once from SmallResidues, which divides by products of many primes;
// after that each step of the candidate adds the step to every remainder (mod
// the prime), so trial division costs no division at all.
class SmallPrimeRemainders {
 public:
  SmallPrimeRemainders(const SmallPrimeList& primes, const BigInt& candidate)
      : primes_(primes), remainders_(primes.count) {
    std::vector<uint32_t> moduli(primes_.count);
    for (uint32_t j = 0; j < primes_.count; ++j) moduli[j] = primes_.entries[j].prime;
    SmallResidues(candidate, moduli.data(), moduli.size(), remainders_.data());
  }

  // The first table prime, in ascending order, that divides the candidate; 0 when none does.
  uint32_t FirstFactor() const {
    for (uint32_t j = 0; j < primes_.count; ++j) {
      if (remainders_[j] == 0) return primes_.entries[j].prime;
    }
    return 0;
  }

  // Follows the candidate to candidate + kCandidateStep. Every prime is at least
  // the step, so one subtraction brings each sum back below its prime.
  void Advance() {
    for (uint32_t j = 0; j < primes_.count; ++j) {
      const uint32_t prime = primes_.entries[j].prime;
      remainders_[j] += kCandidateStep;
      if (remainders_[j] >= prime) remainders_[j] -= prime;
    }
  }

 private:
  SmallPrimeList primes_;
  std::vector<uint32_t> remainders_;
};

// The candidates in order: the number, its place in the search and its
// remainders by the table primes.
class CandidateWalk {
 public:
  CandidateWalk(const SmallPrimeList& primes, const BigInt& first)
      : candidate_(first), remainders_(primes, first) {}

  const BigInt& Candidate() const { return candidate_; }
  // 0 for the first candidate, then 1, 2, ...: the offset is twice the index.
  uint64_t Index() const { return index_; }
  uint32_t FirstSmallFactor() const { return remainders_.FirstFactor(); }
  // 1 has no small factor and passes every Lehman base, but is not a prime: it
  // is passed over like a rejected candidate.
  bool NeedsLehman() const { return FirstSmallFactor() == 0 && candidate_ > 1u; }

  void Advance() {
    candidate_ += BigInt(kCandidateStep);
    remainders_.Advance();
    ++index_;
  }

 private:
  BigInt candidate_;
  SmallPrimeRemainders remainders_;
  uint64_t index_ = 0;
};

// Lehman candidates as the trace will meet them, each with the smallest prime
// factor above the table that the sieve knows (0 for none).
class LehmanCandidates {
 public:
  LehmanCandidates(const SmallPrimeList& primes, const BigInt& first, uint32_t sieveBound,
                   uint32_t threads, std::string kernel)
      : walk_(primes, first), kernel_(std::move(kernel)) {
    if (sieveBound != 0) sieve_.emplace(first, sieveBound, kDefaultSieveWindow, threads);
  }

  // The next Lehman candidate after the last one Next gave, for looking ahead.
  std::unique_ptr<const LehmanCandidate> Next() {
    while (!walk_.NeedsLehman()) walk_.Advance();
    auto candidate = std::make_unique<const LehmanCandidate>(walk_.Candidate(),
                                                             KnownFactor(walk_.Index()), kernel_);
    walk_.Advance();
    return candidate;
  }

  // The sieve's factor of the candidate at this index, 0 for none.
  uint32_t KnownFactor(uint64_t index) { return sieve_ ? sieve_->SmallestFactor(index) : 0; }
  const std::string& Kernel() const { return kernel_; }

 private:
  CandidateWalk walk_;
  std::optional<FactorSieve> sieve_;
  std::string kernel_;
};

// Whether a search whose first candidate is `modulus`, prepared on the kernel
// its exponentiations run on, runs first bases side by side: only with a batch
// kernel that pays beside that kernel at this size. Without one, looking ahead
// would walk the candidates a second time for nothing.
bool BatchesPay(const PreparedModulus& modulus, const SearchOptions& options) {
  return options.batches && PowerBatchMinJobs(modulus) != 0;
}

// The sieve bound of a search from `first`, prepared as `modulus` on the
// kernel the search's exponentiations run on (see SearchSieveBound).
uint32_t SieveBoundFor(const BigInt& first, const PreparedModulus& modulus,
                       const SearchOptions& options) {
  if (options.sieveBound != SearchOptions::kSieveBoundBySize) return options.sieveBound;
  const auto bits = static_cast<uint32_t>(first.HighestBit()) + 1;
  if (BatchesPay(modulus, options)) {
    for (const BatchSieveBoundRow& row : kBatchSieveBoundRows) {
      if (bits >= row.fromBits && bits < row.toBits) return row.bound;
    }
  }
  return FactorSieveBound(bits, modulus.KernelName());
}

uint32_t WorkerCount(uint16_t byteCount, std::string_view kernel, const SearchOptions& options) {
  if (options.workers != 0) return options.workers;
  return byteCount >= SearchTuningFor(kernel).minBytesForWorkers ? platform::ProcessorCount() : 1;
}

// A Lehman candidate met ahead of the trace, with its first base's result once
// an exponentiation side by side with other candidates' gave it.
struct Upcoming {
  std::unique_ptr<const LehmanCandidate> candidate;
  std::optional<LehmanResult> first;
};

// The Lehman method for the trace, one candidate after another, either in place
// or from a pool of workers that runs ahead. Test is called for each candidate
// that needs the method, in order: it writes the candidate's lines and answers
// whether n is accepted. In place, the first bases of the next few candidates
// may run side by side with the current one's, where that pays.
class LehmanRunner {
 public:
  LehmanRunner(LehmanCandidates candidates, uint32_t workerCount, bool batches,
               const SearchOptions& options, TraceSink& sink)
      : candidates_(std::move(candidates)),
        sink_(sink),
        batches_(batches),
        exponentiations_(options.exponentiations) {
    if (workerCount > 1) {
      workers_.emplace(workerCount, sink, batches_, exponentiations_);
      lookAhead_ = kLookAheadPerWorker * workerCount;
      batchLookAhead_ = kBatchLookAheadPerWorker * workerCount;
    }
  }

  bool Test(const CandidateWalk& walk) {
    const BigInt& n = walk.Candidate();
    if (workers_) return TestOnWorkers(n);
    if (!batches_)
      return TestInPlace(
          LehmanCandidate(n, candidates_.KnownFactor(walk.Index()), candidates_.Kernel()));
    if (ahead_.empty()) ahead_.push_back({candidates_.Next(), std::nullopt});
    Upcoming current = std::move(ahead_.front());
    ahead_.pop_front();
    // The batch runs where the first result is asked for: after the flush that
    // shows the run's start, and never once the sink has failed.
    std::vector<LehmanResult> rest;  // bases 1, 2, ... once run side by side
    return WriteLehmanRun(sink_, n, [&](uint32_t i) {
      if (i == 0 && !current.first && !current.candidate->SettledByFactor(0))
        FirstTogether(current);
      if (i == 0 && current.first) return *current.first;
      if (i == 1 && RestTogetherPays(*current.candidate)) {
        Count(kLehmanBaseCount - 1);
        ProgressClock progress(sink_);
        rest = current.candidate->ResultsFrom(1, &progress);
      }
      return i >= 1 && !rest.empty() ? rest[i - 1] : PowerInPlace(*current.candidate, i);
    });
  }

 private:
  bool TestOnWorkers(const BigInt& n) {
    // Batches need more candidates queued to fill them.
    while (workers_->Outstanding() < (workers_->Batching() ? batchLookAhead_ : lookAhead_))
      workers_->Submit(candidates_.Next());
    const uint64_t ticket = nextTicket_++;
    const bool accepted =
        WriteLehmanRun(sink_, n, [&](uint32_t i) { return workers_->Await(ticket, i); });
    workers_->Release(ticket);
    return accepted;
  }

  bool TestInPlace(const LehmanCandidate& candidate) {
    return WriteLehmanRun(sink_, candidate.N(),
                          [&](uint32_t i) { return PowerInPlace(candidate, i); });
  }

  // Base i's result, its exponentiation's progress lines going to the trace.
  LehmanResult PowerInPlace(const LehmanCandidate& candidate, uint32_t i) {
    if (!candidate.SettledByFactor(i)) Count(1);
    ProgressClock progress(sink_);
    return candidate.Result(i, &progress);
  }

  // Runs the current candidate's first base side by side with those of the
  // next candidates of its bit length that need one, met within the
  // look-ahead, when there are enough of them for that to pay. One bit length
  // gives every candidate the current one's checkpoints, so the progress lines
  // are the current candidate's own, as the trace waits for it.
  void FirstTogether(Upcoming& current) {
    const uint32_t least = current.candidate->MinTogether();
    if (least == 0) return;
    const int64_t bits = current.candidate->N().HighestBit();
    std::vector<Upcoming*> members{&current};
    for (size_t k = 0; k < kBatchLookAhead && members.size() < kPowerBatchSize; ++k) {
      if (k == ahead_.size()) ahead_.push_back({candidates_.Next(), std::nullopt});
      Upcoming& next = ahead_[k];  // a deque keeps references across push_back
      if (next.candidate->N().HighestBit() != bits) break;
      if (!next.candidate->SettledByFactor(0)) members.push_back(&next);
    }
    if (members.size() < least) return;
    std::vector<const LehmanCandidate*> candidates;
    candidates.reserve(members.size());
    for (const Upcoming* member : members) candidates.push_back(member->candidate.get());
    Count(members.size());
    ProgressClock progress(sink_);
    const std::vector<LehmanResult> results =
        LehmanCandidate::ResultsTogether(candidates, 0, &progress);
    if (sink_.Failed()) return;  // the work stopped: the results mean nothing
    for (size_t m = 0; m < members.size(); ++m) members[m]->first = results[m];
  }

  // Whether the bases after the first, all needing their exponentiation, are
  // enough to run side by side. Only a candidate that passed its first base
  // asks, and nearly every such one is prime and needs them all.
  static bool RestTogetherPays(const LehmanCandidate& candidate) {
    for (uint32_t i = 1; i < kLehmanBaseCount; ++i) {
      if (candidate.SettledByFactor(i)) return false;
    }
    const uint32_t least = candidate.MinTogether();
    return least != 0 && least <= kLehmanBaseCount - 1;
  }

  void Count(uint64_t exponentiations) {
    if (exponentiations_ != nullptr) *exponentiations_ += exponentiations;
  }

  LehmanCandidates candidates_;
  TraceSink& sink_;
  bool batches_;
  uint64_t* exponentiations_;
  std::deque<Upcoming> ahead_;  // in place: candidates met ahead of the trace
  std::optional<LehmanWorkers> workers_;
  uint64_t lookAhead_ = 0;
  uint64_t batchLookAhead_ = 0;
  uint64_t nextTicket_ = 0;
};

}  // namespace

uint32_t SearchSieveBound(const BigInt& first, const SearchOptions& options) {
  return SieveBoundFor(first, PreparedModulus(first, options.kernel), options);
}

void FindPrime(uint16_t byteCount, TraceSink& sink, const SearchOptions& options) {
  const uint32_t startTime = platform::TickCount();
  int32_t numbersTested = 0;
  int32_t lehmanRuns = 0;
  const BigInt first = RandomBigInt(byteCount, sink) | 1u;
  if (sink.Failed()) return;
  CandidateWalk walk(options.smallPrimes, first);
  // The search's tuning follows the kernel its exponentiations run on, the
  // first candidate's; it changes only the speed.
  const PreparedModulus firstModulus(first, options.kernel);
  const std::string kernel = firstModulus.KernelName();
  const uint32_t workers = WorkerCount(byteCount, kernel, options);
  LehmanRunner lehman(
      LehmanCandidates(options.smallPrimes, first, SieveBoundFor(first, firstModulus, options),
                       workers, kernel),
      workers, BatchesPay(firstModulus, options), options, sink);

  bool accepted = false;
  while (!accepted && !sink.Failed()) {
    ++numbersTested;
    sink.Line("Testing for prime:");
    if (walk.Index() == 0) {
      sink.Line(walk.Candidate().ToDecimalString().Text());
    } else {
      sink.Format("+%d\n", static_cast<int>(walk.Index() * kCandidateStep));
    }
    const uint32_t factor = walk.FirstSmallFactor();
    if (factor != 0) {
      sink.Format("It's evenly divisible by %d\n", static_cast<int>(factor));
    } else if (walk.NeedsLehman()) {
      sink.Line("No small prime factors; trying Lehman method");
      ++lehmanRuns;
      accepted = lehman.Test(walk);
    }
    walk.Advance();
  }

  if (sink.Failed()) return;
  sink.Format("Tested %d numbers before finding a prime. Resorted to Lehman method %d times.\n",
              static_cast<int>(numbersTested), static_cast<int>(lehmanRuns));
  const uint32_t elapsedSeconds = (platform::TickCount() - startTime) / kMillisecondsPerSecond;
  sink.Format("Process took %d seconds.\n", static_cast<int>(elapsedSeconds));
}
