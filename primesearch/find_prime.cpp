/// The search loop: trial division by the small primes, then the Lehman method.
#include "primesearch/find_prime.h"

#include <vector>

#include "bigint/bigint.h"
#include "platform/clock.h"
#include "primesearch/lehman.h"
#include "primesearch/random_candidate.h"
#include "primesearch/small_prime_table.h"

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

}  // namespace

void FindPrime(uint16_t byteCount, TraceSink& sink, const SearchOptions& options) {
  const uint32_t startTime = platform::TickCount();
  int32_t numbersTested = 0;
  int32_t lehmanRuns = 0;
  int32_t offset = 0;
  BigInt candidate = RandomBigInt(byteCount, sink) | 1u;
  SmallPrimeRemainders remainders(options.smallPrimes, candidate);

  bool accepted = false;
  while (!accepted) {
    ++numbersTested;
    sink.Line("Testing for prime:");
    if (offset == 0) {
      sink.Line(candidate.ToDecimalString().Text());
    } else {
      sink.Format("+%d\n", static_cast<int>(offset));
    }
    const uint32_t factor = remainders.FirstFactor();
    if (factor != 0) {
      sink.Format("It's evenly divisible by %d\n", static_cast<int>(factor));
    } else if (candidate > 1u) {
      // 1 has no small factor and passes every Lehman base, but is not a prime:
      // it is passed over like a rejected candidate.
      sink.Line("No small prime factors; trying Lehman method");
      ++lehmanRuns;
      accepted = LehmanTest(candidate, sink);
    }
    candidate += BigInt(kCandidateStep);
    remainders.Advance();
    offset += kCandidateStep;
  }

  sink.Format("Tested %d numbers before finding a prime. Resorted to Lehman method %d times.\n",
              static_cast<int>(numbersTested), static_cast<int>(lehmanRuns));
  const uint32_t elapsedSeconds = (platform::TickCount() - startTime) / kMillisecondsPerSecond;
  sink.Format("Process took %d seconds.\n", static_cast<int>(elapsedSeconds));
}
