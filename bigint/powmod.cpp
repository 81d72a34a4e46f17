/// Modular exponentiation on a prepared modulus: the value and length rules
/// around the kernel that the kernel factory chose for the modulus.
#include <optional>

#include "bigint/bigint.h"
#include "bigint/kernel_factory.h"
#include "bigint/limb_conversion.h"
#include "bigint/limbs/window_power.h"
#include "bigint/prepared_modulus.h"
#include "bigint/prepared_modulus_access.h"

namespace {

using limbs::Limb;
using limbs::LimbVector;

// True for the moduli 0 and 1, by which every reduction gives 0.
bool IsTrivial(const LimbVector& m) { return m.empty() || (m.size() == 1 && m[0] == 1); }

}  // namespace

// The limbs of the modulus and its kernel; the moduli 0 and 1 have none.
class PreparedModulus::Context {
 public:
  Context(const BigInt& modulus, std::unique_ptr<const limbs::ModularKernel> kernel)
      : resultLength_(modulus.Length() > 2 ? modulus.Length() : 2),
        modulus_(limbs::ToLimbs(modulus)),
        kernel_(std::move(kernel)) {}

  explicit Context(const BigInt& modulus) : Context(modulus, nullptr) {
    if (!IsTrivial(modulus_)) kernel_ = limbs::ChooseKernel(modulus_);
  }

  BigInt Power(const BigInt& base, const BigInt& exponent, PowModObserver* observer) const {
    const int32_t topBit = exponent.HighestBit();
    BigInt result;
    result.Resize(resultLength_);
    if (!exponent.IsNonZero()) {
      result.Digits()[0] = 1;  // x^0 = 1, unreduced
      return result;
    }
    if (IsTrivial(modulus_)) {
      // Every reduction by 0 or by 1 gives 0; the bits still pass the checkpoints.
      limbs::Checkpoints checkpoints(observer, topBit);
      for (int32_t i = topBit; i >= 0; --i) {
        if (!checkpoints.BitDone()) break;
      }
      return result;
    }

    const LimbVector reducedBase = limbs::Remainder(limbs::ToLimbs(base), modulus_);
    LimbVector power(modulus_.size());
    kernel_->Power(power.data(), reducedBase.data(), limbs::ToLimbs(exponent).data(), topBit,
                   observer);
    limbs::StoreLimbs(power.data(), static_cast<uint32_t>(power.size()), &result);
    return result;
  }

  uint32_t ResultLength() const { return resultLength_; }
  const LimbVector& Modulus() const { return modulus_; }
  const limbs::ModularKernel* Kernel() const { return kernel_.get(); }

 private:
  uint32_t resultLength_;
  LimbVector modulus_;
  std::unique_ptr<const limbs::ModularKernel> kernel_;
};

namespace limbs {

std::optional<PreparedModulus> PreparedModulusAccess::Prepare(const BigInt& modulus,
                                                              KernelKind kind) {
  const LimbVector limbs = ToLimbs(modulus);
  std::unique_ptr<const ModularKernel> kernel;
  if (!IsTrivial(limbs)) {
    kernel = MakeKernel(kind, limbs);
    if (kernel == nullptr) return std::nullopt;
  }
  return PreparedModulus(
      std::make_unique<const PreparedModulus::Context>(modulus, std::move(kernel)));
}

const LimbVector& PreparedModulusAccess::Modulus(const PreparedModulus& prepared) {
  return prepared.context_->Modulus();
}

uint32_t PreparedModulusAccess::ResultLength(const PreparedModulus& prepared) {
  return prepared.context_->ResultLength();
}

const ModularKernel* PreparedModulusAccess::Kernel(const PreparedModulus& prepared) {
  return prepared.context_->Kernel();
}

std::optional<PreparedModulus> PrepareWithKernel(const BigInt& modulus, KernelKind kind) {
  return PreparedModulusAccess::Prepare(modulus, kind);
}

}  // namespace limbs

PreparedModulus::PreparedModulus(const BigInt& modulus)
    : context_(std::make_unique<const Context>(modulus)) {}

PreparedModulus::PreparedModulus(std::unique_ptr<const Context> context)
    : context_(std::move(context)) {}

PreparedModulus::~PreparedModulus() = default;
PreparedModulus::PreparedModulus(PreparedModulus&&) noexcept = default;
PreparedModulus& PreparedModulus::operator=(PreparedModulus&&) noexcept = default;

BigInt PreparedModulus::Power(const BigInt& base, const BigInt& exponent,
                              PowModObserver* observer) const {
  return context_->Power(base, exponent, observer);
}

BigInt BigInt::PowMod(const BigInt& exponent, const BigInt& modulus, uint32_t progressIntervalMs,
                      PowModObserver* observer) const {
  return PreparedModulus(modulus).Power(*this, exponent,
                                        progressIntervalMs != 0 ? observer : nullptr);
}
