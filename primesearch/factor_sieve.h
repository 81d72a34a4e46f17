/// The known-factor sieve: for each odd candidate of a search, the smallest
/// prime above the small-prime table that divides it, and the check that turns
/// such a prime factor into a certain composite verdict for a Lehman base
/// without the full exponentiation.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "bigint/bigint.h"
#include "primesearch/tuning.h"

/// The largest prime of the small-prime table (its 1000th prime); the sieve
/// takes the primes above it.
constexpr uint32_t kLargestTablePrime = 7919;

/// The primes p with kLargestTablePrime < p <= bound, ascending (none for a
/// bound below 7927), by a segmented sieve of Eratosthenes over the odd
/// numbers. The bound is clamped to kMaxSieveBound.
std::vector<uint32_t> SievingPrimes(uint32_t bound);

/// The bound of the primes a sieve lists before its construction returns, for
/// a first candidate of candidateBits bits (HighestBit() + 1): the larger
/// primes are listed, with their residues, on threads of the sieve's own while
/// the search goes on. kMaxSieveBound where the whole construction costs less
/// than one exponentiation.
uint32_t FirstStageSieveBound(uint32_t candidateBits);

/// The sieve over the candidates first + 2k, k = 0, 1, 2, ... by the primes in
/// (kLargestTablePrime, bound]. The residue of `first` by every prime is taken
/// once; the candidates are then sieved a window of windowLength indices at a
/// time, each window when it is first asked for. The construction lists the
/// primes up to a first-stage bound and returns; the primes above it follow on
/// background threads and join the sieve at the first question after they are
/// all listed (the window already sieved is marked again with them). Until
/// then an answer may be 0 where a larger prime divides; a nonzero answer is
/// always the smallest sieving prime dividing the candidate. Not thread-safe:
/// one thread asks.
class FactorSieve {
 public:
  /// first: any value and length (a search passes odd ones). bound: clamped to
  /// kMaxSieveBound; below 7927 no prime sieves and every answer is 0.
  /// windowLength: clamped to [1, kMaxSieveBound]. threads: how many threads
  /// share the listing of the primes and the residues of `first` by them (the
  /// caller's among them for the first stage; as many of the sieve's own for
  /// the rest). firstStageBound: the primes listed before the construction
  /// returns; by default FirstStageSieveBound of first's size.
  FactorSieve(const BigInt& first, uint32_t bound, uint32_t windowLength = kDefaultSieveWindow,
              uint32_t threads = 1, std::optional<uint32_t> firstStageBound = std::nullopt);
  FactorSieve(FactorSieve&&) noexcept;
  FactorSieve& operator=(FactorSieve&&) noexcept;
  /// Stops the listing of the larger primes, if it still runs, after the runs
  /// under way.
  ~FactorSieve();

  /// The smallest sieving prime that divides first + 2 index (also when the
  /// candidate is that prime itself); 0 when none does, or when only primes
  /// not yet listed do. Any index may be asked in any order; asking in
  /// increasing order sieves each window once and divides nothing after the
  /// construction, but where the larger primes join.
  uint32_t SmallestFactor(uint64_t index);

  /// Waits until every prime up to the bound is listed and joins them to the
  /// sieve: from then on every answer is exact.
  void AwaitComplete();

  /// The primes that sieve so far: all of them after AwaitComplete.
  uint32_t PrimeCount() const { return primeCount_; }

 private:
  // The sieving primes of one run of odd numbers, ascending, and their
  // offsets: offsets[j] is the least k >= offsetsBase_ with
  // primes[j] | first + 2k, minus offsetsBase_; always below primes[j].
  struct PrimeRun {
    uint32_t* primes = nullptr;
    uint32_t* offsets = nullptr;
    uint32_t count = 0;
  };
  // The primes of one range of odd numbers and their residues, listed run by
  // run by several threads.
  class Stage;

  void JoinRest();
  void SieveWindowAt(uint64_t start);
  // Marks the multiples of the runs' primes in the window at offsets_ 0, largest
  // prime first, where no smaller prime has marked the candidate.
  void MarkWindow(const PrimeRun* begin, const PrimeRun* end, uint32_t keepBelow);
  void MoveOffsetsTo(uint64_t start, PrimeRun* begin, PrimeRun* end, uint64_t from);

  // Both stages' runs, ascending; the second stage's once it has joined.
  std::vector<PrimeRun> runs_;
  std::unique_ptr<Stage> first_;
  std::unique_ptr<Stage> rest_;    // still being listed, or empty
  std::unique_ptr<Stage> joined_;  // the rest once joined
  uint32_t restFrom_ = 0;          // the first odd number of the rest
  uint32_t primeCount_ = 0;
  uint64_t offsetsBase_ = 0;
  // The smallest factors of the candidates windowStart_ .. windowStart_ + window - 1.
  std::vector<uint32_t> factors_;
  uint64_t windowStart_ = 0;
  bool windowSieved_ = false;
};

/// e = ((n - 1) / 2) mod (p - 1), the Lehman exponent reduced modulo the order
/// of the multiplicative group mod p. Requires n odd and p >= 3.
uint32_t LehmanExponentModulo(const BigInt& n, uint32_t p);

/// For a prime p dividing the odd n and e = ((n - 1) / 2) mod (p - 1): true when
/// base^((n-1)/2) mod p is neither 1 nor p - 1, which proves the Lehman result
/// r = base^((n-1)/2) mod n neither 1 nor n - 1 (r = 1 or r = n - 1 would give
/// 1 or -1 mod p). By Fermat, base^((n-1)/2) = base^e mod p when p does not
/// divide base; when p divides base the power is 0 mod p (the exponent
/// (n-1)/2 >= (p-1)/2 is positive) and the answer is true. False means "not
/// known": the full exponentiation decides. Requires p an odd prime below 2^32.
bool FactorProvesComposite(uint32_t base, uint32_t p, uint32_t e);

/// The sieve bound for a search whose first candidate has candidateBits bits
/// (HighestBit() + 1) and whose exponentiations run on the named kernel: 0 (no
/// sieve) below 320 bits, then growing with the size up to kMaxSieveBound, by
/// the cost model of that kernel's sieve bound rows.
uint32_t FactorSieveBound(uint32_t candidateBits, std::string_view kernelName);
