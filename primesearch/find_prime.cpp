/// The search loop: trial division by the small primes, then the Lehman method,
/// run in place or ahead of the trace on worker threads.
#include "primesearch/find_prime.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bigint/bigint.h"
#include "bigint/prepared_modulus.h"
#include "platform/clock.h"
#include "platform/processors.h"
#include "primesearch/factor_sieve.h"
#include "primesearch/lehman.h"
#include "primesearch/lehman_workers.h"
#include "primesearch/random_candidate.h"
#include "primesearch/tuning.h"

namespace {

constexpr uint32_t kMillisecondsPerSecond = 1000;
constexpr uint32_t kCandidateStep = 2;

// The candidate's remainder by every table prime. One division per prime for the
// first candidate; after that each step of the candidate adds the step to every
// remainder (mod the prime), so trial division costs no division at all.
class SmallPrimeRemainders {
 public:
  SmallPrimeRemainders(const SmallPrimeList& primes, const BigInt& candidate)
      : primes_(primes), remainders_(primes.count) {
    for (uint32_t j = 0; j < primes_.count; ++j)
      remainders_[j] = candidate % primes_.entries[j].prime;
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

// The kernel the search's exponentiations run on, by name: the first
// candidate's. The search's tuning follows it; it changes only the speed.
std::string KernelOf(const BigInt& first, const SearchOptions& options) {
  return PreparedModulus(first, options.kernel).KernelName();
}

uint32_t SieveBound(const BigInt& first, std::string_view kernel, const SearchOptions& options) {
  if (options.sieveBound != SearchOptions::kSieveBoundBySize) return options.sieveBound;
  return FactorSieveBound(static_cast<uint32_t>(first.HighestBit()) + 1, kernel);
}

uint32_t WorkerCount(uint16_t byteCount, std::string_view kernel, const SearchOptions& options) {
  if (options.workers != 0) return options.workers;
  return byteCount >= SearchTuningFor(kernel).minBytesForWorkers ? platform::ProcessorCount() : 1;
}

// The Lehman method for the trace, one candidate after another, either in place
// or from a pool of workers that runs ahead. Test is called for each candidate
// that needs the method, in order: it writes the candidate's lines and answers
// whether n is accepted.
class LehmanRunner {
 public:
  LehmanRunner(LehmanCandidates candidates, uint32_t workerCount, TraceSink& sink)
      : candidates_(std::move(candidates)), sink_(sink) {
    if (workerCount > 1) {
      workers_.emplace(workerCount, sink);
      lookAhead_ = kLookAheadPerWorker * workerCount;
    }
  }

  bool Test(const CandidateWalk& walk) {
    const BigInt& n = walk.Candidate();
    if (!workers_)
      return LehmanTest(
          LehmanCandidate(n, candidates_.KnownFactor(walk.Index()), candidates_.Kernel()), sink_);
    while (workers_->Outstanding() < lookAhead_) workers_->Submit(candidates_.Next());
    const uint64_t ticket = nextTicket_++;
    const bool accepted =
        WriteLehmanRun(sink_, n, [&](uint32_t i) { return workers_->Await(ticket, i); });
    workers_->Release(ticket);
    return accepted;
  }

 private:
  LehmanCandidates candidates_;
  TraceSink& sink_;
  std::optional<LehmanWorkers> workers_;
  uint64_t lookAhead_ = 0;
  uint64_t nextTicket_ = 0;
};

}  // namespace

void FindPrime(uint16_t byteCount, TraceSink& sink, const SearchOptions& options) {
  const uint32_t startTime = platform::TickCount();
  int32_t numbersTested = 0;
  int32_t lehmanRuns = 0;
  const BigInt first = RandomBigInt(byteCount, sink) | 1u;
  if (sink.Failed()) return;
  CandidateWalk walk(options.smallPrimes, first);
  const std::string kernel = KernelOf(first, options);
  const uint32_t workers = WorkerCount(byteCount, kernel, options);
  LehmanRunner lehman(LehmanCandidates(options.smallPrimes, first,
                                       SieveBound(first, kernel, options), workers, kernel),
                      workers, sink);

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
