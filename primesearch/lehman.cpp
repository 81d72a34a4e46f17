/// The Lehman method.
#include "primesearch/lehman.h"

#include "bigint/power_batch.h"
#include "primesearch/factor_sieve.h"
#include "primesearch/progress_clock.h"

const uint32_t LehmanBases[kLehmanBaseCount] = {89, 5179, 25981, 25439, 25013, 25667, 27397};

LehmanCandidate::LehmanCandidate(const BigInt& n, uint32_t knownFactor, std::string_view kernel)
    : n_(n),
      minusOne_(n - 1u),
      exponent_(minusOne_ >> 1),  // (n - 1) / 2
      modulus_(n, kernel),
      knownFactor_(knownFactor),
      exponentModFactor_(knownFactor != 0 ? LehmanExponentModulo(n, knownFactor) : 0) {}

bool LehmanCandidate::SettledByFactor(uint32_t i) const {
  return knownFactor_ != 0 &&
         FactorProvesComposite(LehmanBases[i], knownFactor_, exponentModFactor_);
}

uint32_t LehmanCandidate::MinTogether() const { return PowerBatchMinJobs(modulus_); }

LehmanResult LehmanCandidate::Classify(const BigInt& power) const {
  if (power == minusOne_) return LehmanResult::kMinusOne;
  if (power == 1u) return LehmanResult::kOne;
  return LehmanResult::kComposite;
}

LehmanResult LehmanCandidate::Result(uint32_t i, PowModObserver* observer) const {
  if (SettledByFactor(i)) return LehmanResult::kComposite;
  return Classify(modulus_.Power(BigInt(LehmanBases[i]), exponent_, observer));
}

std::vector<LehmanResult> LehmanCandidate::ResultsTogether(
    const std::vector<const LehmanCandidate*>& candidates, uint32_t i, PowModObserver* observer) {
  const BigInt base(LehmanBases[i]);
  std::vector<PowerJob> jobs;
  jobs.reserve(candidates.size());
  for (const LehmanCandidate* candidate : candidates)
    jobs.push_back({candidate->modulus_, base, candidate->exponent_});
  const std::vector<BigInt> powers = PowerBatch(jobs, observer, 0);
  std::vector<LehmanResult> results;
  results.reserve(candidates.size());
  for (size_t c = 0; c < candidates.size(); ++c) {
    const bool settled = candidates[c]->SettledByFactor(i);
    results.push_back(settled ? LehmanResult::kComposite : candidates[c]->Classify(powers[c]));
  }
  return results;
}

std::vector<LehmanResult> LehmanCandidate::ResultsFrom(uint32_t first,
                                                       PowModObserver* observer) const {
  std::vector<BigInt> bases;
  bases.reserve(kLehmanBaseCount - first);
  for (uint32_t i = first; i < kLehmanBaseCount; ++i) bases.emplace_back(LehmanBases[i]);
  std::vector<PowerJob> jobs;
  jobs.reserve(bases.size());
  for (const BigInt& base : bases) jobs.push_back({modulus_, base, exponent_});
  const std::vector<BigInt> powers = PowerBatch(jobs, observer, 0);
  std::vector<LehmanResult> results;
  results.reserve(bases.size());
  for (uint32_t i = first; i < kLehmanBaseCount; ++i) {
    results.push_back(SettledByFactor(i) ? LehmanResult::kComposite : Classify(powers[i - first]));
  }
  return results;
}

namespace {

void WriteLehmanResult(TraceSink& sink, uint32_t i, LehmanResult result) {
  const int index = static_cast<int>(i);
  switch (result) {
    case LehmanResult::kMinusOne:
      sink.Format("Lehman result %d suggests prime (-1)\n", index);
      break;
    case LehmanResult::kOne: sink.Format("Lehman result %d suggests prime (1)\n", index); break;
    case LehmanResult::kComposite:
      sink.Format("Lehman result %d indicates composite\n", index);
      break;
  }
}

}  // namespace

bool WriteLehmanRun(TraceSink& sink, const BigInt& n,
                    const std::function<LehmanResult(uint32_t)>& resultOf) {
  sink.Flush();
  for (uint32_t i = 0; i < kLehmanBaseCount; ++i) {
    if (sink.Failed()) return false;
    const LehmanResult result = resultOf(i);
    // A failure during the exponentiation stopped it: the result means nothing.
    if (sink.Failed()) return false;
    WriteLehmanResult(sink, i, result);
    if (result == LehmanResult::kComposite) return false;
  }
  sink.Line(n.ToDecimalString().Text());
  sink.Line("Appears prime");
  return true;
}

bool LehmanTest(const BigInt& n, TraceSink& sink) { return LehmanTest(LehmanCandidate(n), sink); }

bool LehmanTest(const LehmanCandidate& candidate, TraceSink& sink) {
  return WriteLehmanRun(sink, candidate.N(), [&](uint32_t i) {
    ProgressClock progress(sink);
    return candidate.Result(i, &progress);
  });
}
