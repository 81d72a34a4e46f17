/// The Lehman method: a probabilistic primality test with seven fixed bases.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "bigint/bigint.h"
#include "bigint/prepared_modulus.h"
#include "primesearch/trace_sink.h"

constexpr uint32_t kLehmanBaseCount = 7;
extern const uint32_t LehmanBases[kLehmanBaseCount];

/// What base^((n-1)/2) mod n is: n - 1, 1, or anything else (n composite).
enum class LehmanResult { kMinusOne, kOne, kComposite };

/// A candidate n >= 1 with what every base needs: n - 1, the exponent (n-1)/2
/// and n prepared as a modulus once, and optionally a known prime factor.
/// Result is const and may run for several bases on several threads at once.
class LehmanCandidate {
 public:
  /// knownFactor: 0, or a prime p >= 3 that divides n (n itself included).
  /// kernel: the arithmetic kernel by name, as PreparedModulus takes it; empty
  /// for the fastest.
  explicit LehmanCandidate(const BigInt& n, uint32_t knownFactor = 0, std::string_view kernel = {});

  const BigInt& N() const { return n_; }
  /// The result for base i. A known factor that proves the result composite
  /// settles it at once; otherwise the exponentiation does, and its observer,
  /// when given, hears the checkpoints. If the observer stops the work, the
  /// answer means nothing.
  LehmanResult Result(uint32_t i, PowModObserver* observer) const;
  /// Whether the known factor settles base i without an exponentiation.
  bool SettledByFactor(uint32_t i) const;
  /// The fewest candidates of this one's size whose exponentiations pay to run
  /// side by side in ResultsTogether; 0 where they never do.
  uint32_t MinTogether() const;

  /// Base i's results of several candidates, as Result would give them, with
  /// the exponentiations run side by side where that pays. The observer hears
  /// the first candidate's checkpoints; when the candidates' n have one bit
  /// length and run side by side, those are every candidate's checkpoints.
  static std::vector<LehmanResult> ResultsTogether(
      const std::vector<const LehmanCandidate*>& candidates, uint32_t i, PowModObserver* observer);
  /// The results of bases first, first + 1, ... up to the last, as Result
  /// would give them, with the exponentiations run side by side where that
  /// pays. The observer hears base first's checkpoints, which side by side are
  /// every base's.
  std::vector<LehmanResult> ResultsFrom(uint32_t first, PowModObserver* observer) const;

 private:
  LehmanResult Classify(const BigInt& power) const;

  BigInt n_;
  BigInt minusOne_;
  BigInt exponent_;
  PreparedModulus modulus_;
  uint32_t knownFactor_;
  uint32_t exponentModFactor_;  // (n-1)/2 mod (p-1) for the known factor p
};

/// Writes one candidate's Lehman lines, however its results are computed. The
/// sink is flushed first, so a reader sees the trace up to here before the
/// exponentiations start; then comes base i's line for each result that
/// resultOf(i) gives, in table order, up to the first composite one, and on
/// acceptance n in decimal and "Appears prime". Answers whether n is accepted;
/// once the sink has failed it asks for no more results and answers false.
bool WriteLehmanRun(TraceSink& sink, const BigInt& n,
                    const std::function<LehmanResult(uint32_t)>& resultOf);

/// Accepts n when base^((n-1)/2) mod n is 1 or n - 1 for every base, tried in
/// table order; the first other result shows n composite. Writes one line per
/// base tried and, on acceptance, n and "Appears prime"; long exponentiations
/// add their progress lines, by the rule of ProgressClock. Requires n >= 1.
bool LehmanTest(const BigInt& n, TraceSink& sink);
/// The same for a prepared candidate.
bool LehmanTest(const LehmanCandidate& candidate, TraceSink& sink);
