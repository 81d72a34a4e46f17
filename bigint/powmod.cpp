/// Modular exponentiation on a prepared modulus: the value and length rules
/// around the kernel that the kernel factory chose for the modulus.
#include <string_view>

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
  // The named kernel where there is one for this modulus, else the factory's
  // choice.
  Context(const BigInt& modulus, std::string_view kernelName)
      : resultLength_(modulus.Length() > 2 ? modulus.Length() : 2),
        modulus_(limbs::ToLimbs(modulus)) {
    if (IsTrivial(modulus_)) return;
    if (const auto kind = limbs::KernelNamed(kernelName))
      kernel_ = limbs::MakeKernel(*kind, modulus_);
    if (kernel_ == nullptr) kernel_ = limbs::ChooseKernel(modulus_);
  }

  const char* KernelName() const { return kernel_ != nullptr ? kernel_->Name() : "none"; }

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

const LimbVector& PreparedModulusAccess::Modulus(const PreparedModulus& prepared) {
  return prepared.context_->Modulus();
}

uint32_t PreparedModulusAccess::ResultLength(const PreparedModulus& prepared) {
  return prepared.context_->ResultLength();
}

const ModularKernel* PreparedModulusAccess::Kernel(const PreparedModulus& prepared) {
  return prepared.context_->Kernel();
}

}  // namespace limbs

PreparedModulus::PreparedModulus(const BigInt& modulus)
    : context_(std::make_unique<const Context>(modulus, std::string_view())) {}

PreparedModulus::PreparedModulus(const BigInt& modulus, std::string_view kernel)
    : context_(std::make_unique<const Context>(modulus, kernel)) {}

PreparedModulus::~PreparedModulus() = default;
PreparedModulus::PreparedModulus(PreparedModulus&&) noexcept = default;
PreparedModulus& PreparedModulus::operator=(PreparedModulus&&) noexcept = default;

const char* PreparedModulus::KernelName() const { return context_->KernelName(); }

BigInt PreparedModulus::Power(const BigInt& base, const BigInt& exponent,
                              PowModObserver* observer) const {
  return context_->Power(base, exponent, observer);
}

BigInt BigInt::PowMod(const BigInt& exponent, const BigInt& modulus, uint32_t progressIntervalMs,
                      PowModObserver* observer) const {
  return PreparedModulus(modulus).Power(*this, exponent,
                                        progressIntervalMs != 0 ? observer : nullptr);
}
