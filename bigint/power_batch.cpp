/// Several exponentiations at once: the jobs that need a kernel run on the
/// batch kernel the factory chooses for their moduli, or one by one on each
/// modulus's own kernel; the others are settled by Power at once.
#include "bigint/power_batch.h"

#include <algorithm>
#include <optional>

#include "bigint/kernel_factory.h"
#include "bigint/limb_conversion.h"
#include "bigint/prepared_modulus_access.h"

namespace limbs {

static_assert(kPowerBatchSize == kMaxBatchLanes, "a group fills the batch kernel's lanes");

namespace {

// Passes the checkpoints on to the caller's observer and remembers whether it
// asked to stop.
class StopRecorder final : public PowModObserver {
 public:
  explicit StopRecorder(PowModObserver& observer) : observer_(observer) {}

  bool Checkpoint(int32_t bitsRemaining) override {
    if (!observer_.Checkpoint(bitsRemaining)) stopped_ = true;
    return !stopped_;
  }
  bool Stopped() const { return stopped_; }

 private:
  PowModObserver& observer_;
  bool stopped_ = false;
};

enum class Outcome { kDone, kStopped, kNoKernel };

// The kernel a job's modulus is prepared on; the batch kernel that pays beside
// one depends on it.
std::optional<KernelKind> SingleKernelOf(const PreparedModulus& modulus) {
  const ModularKernel* kernel = PreparedModulusAccess::Kernel(modulus);
  if (kernel == nullptr) return std::nullopt;
  return KernelNamed(kernel->Name());
}

// One group of jobs, [first, last) of the batch, with the observer (or null)
// that job `observed` reports to.
class Group {
 public:
  Group(const std::vector<PowerJob>& jobs, uint32_t first, uint32_t last, uint32_t observed,
        StopRecorder* recorder, std::vector<BigInt>& results)
      : jobs_(jobs), observed_(observed), recorder_(recorder), results_(results) {
    for (uint32_t i = first; i < last; ++i) {
      // Power settles the moduli 0 and 1 and exponent 0 without a kernel.
      if (PreparedModulusAccess::Kernel(jobs[i].modulus) != nullptr &&
          jobs[i].exponent.IsNonZero()) {
        kernelJobs_.push_back(i);
      } else {
        otherJobs_.push_back(i);
      }
    }
  }

  Outcome Run(BatchPath path, BatchKernelKind batchKind) {
    if (RunOneByOne(otherJobs_) == Outcome::kStopped) return Outcome::kStopped;
    if (kernelJobs_.empty()) return Outcome::kDone;
    std::vector<LimbVector> moduli;
    for (const uint32_t i : kernelJobs_)
      moduli.push_back(PreparedModulusAccess::Modulus(jobs_[i].modulus));
    std::unique_ptr<const BatchKernel> kernel;
    if (path == BatchPath::kChosen) {
      // Moduli prepared on different kernels run one by one.
      const std::optional<KernelKind> single = SingleKernelOf(jobs_[kernelJobs_[0]].modulus);
      if (single && std::all_of(kernelJobs_.begin(), kernelJobs_.end(), [&](uint32_t i) {
            return SingleKernelOf(jobs_[i].modulus) == single;
          }))
        kernel = ChooseBatchKernel(moduli, *single);
    }
    if (path == BatchPath::kBatchKernel) {
      kernel = MakeBatchKernel(batchKind, moduli);
      if (kernel == nullptr) return Outcome::kNoKernel;
    }
    return kernel != nullptr ? RunOnBatchKernel(*kernel, moduli) : RunOneByOne(kernelJobs_);
  }

 private:
  PowModObserver* ObserverOf(uint32_t job) const { return job == observed_ ? recorder_ : nullptr; }
  bool Stopped() const { return recorder_ != nullptr && recorder_->Stopped(); }

  // The observed job first: it is the one its caller waits on.
  Outcome RunOneByOne(std::vector<uint32_t> order) {
    std::stable_partition(order.begin(), order.end(), [&](uint32_t i) { return i == observed_; });
    for (const uint32_t i : order) {
      results_[i] = jobs_[i].modulus.Power(jobs_[i].base, jobs_[i].exponent, ObserverOf(i));
      if (Stopped()) return Outcome::kStopped;
    }
    return Outcome::kDone;
  }

  Outcome RunOnBatchKernel(const BatchKernel& kernel, const std::vector<LimbVector>& moduli) {
    const auto count = static_cast<uint32_t>(kernelJobs_.size());
    std::vector<LimbVector> bases(count);
    std::vector<LimbVector> exponents(count);
    std::vector<LimbVector> powers(count);
    std::vector<BatchLane> lanes(count);
    uint32_t observedLane = kMaxBatchLanes;
    for (uint32_t l = 0; l < count; ++l) {
      const PowerJob& job = jobs_[kernelJobs_[l]];
      bases[l] = Remainder(ToLimbs(job.base), moduli[l]);
      exponents[l] = ToLimbs(job.exponent);
      powers[l].resize(moduli[l].size());
      lanes[l] = {bases[l].data(), exponents[l].data(), job.exponent.HighestBit(),
                  powers[l].data()};
      if (kernelJobs_[l] == observed_) observedLane = l;
    }
    kernel.Power(lanes.data(), observedLane, recorder_);
    if (Stopped()) return Outcome::kStopped;
    for (uint32_t l = 0; l < count; ++l) {
      StoreLimbs(powers[l].data(), static_cast<uint32_t>(powers[l].size()),
                 &results_[kernelJobs_[l]]);
    }
    return Outcome::kDone;
  }

  const std::vector<PowerJob>& jobs_;
  uint32_t observed_;
  StopRecorder* recorder_;
  std::vector<BigInt>& results_;
  std::vector<uint32_t> kernelJobs_;
  std::vector<uint32_t> otherJobs_;
};

}  // namespace

std::optional<std::vector<BigInt>> PowerBatchOn(BatchPath path, const std::vector<PowerJob>& jobs,
                                                PowModObserver* observer, uint32_t observedJob,
                                                BatchKernelKind batchKind) {
  const auto count = static_cast<uint32_t>(jobs.size());
  std::vector<BigInt> results(count);
  for (uint32_t i = 0; i < count; ++i) {
    results[i].Resize(PreparedModulusAccess::ResultLength(jobs[i].modulus));
  }
  std::optional<StopRecorder> recorder;
  if (observer != nullptr) recorder.emplace(*observer);
  for (uint32_t first = 0; first < count; first += kPowerBatchSize) {
    Group group(jobs, first, std::min(first + kPowerBatchSize, count), observedJob,
                recorder ? &*recorder : nullptr, results);
    const Outcome outcome = group.Run(path, batchKind);
    if (outcome == Outcome::kNoKernel) return std::nullopt;
    if (outcome == Outcome::kStopped) break;
  }
  return results;
}

}  // namespace limbs

std::vector<BigInt> PowerBatch(const std::vector<PowerJob>& jobs, PowModObserver* observer,
                               uint32_t observedJob) {
  return *limbs::PowerBatchOn(limbs::BatchPath::kChosen, jobs, observer, observedJob);
}

uint32_t PowerBatchMinJobs(const PreparedModulus& modulus) {
  const std::optional<limbs::KernelKind> single = limbs::SingleKernelOf(modulus);
  if (!single) return 0;
  return limbs::BatchMinLanes(limbs::PreparedModulusAccess::Modulus(modulus), *single);
}
