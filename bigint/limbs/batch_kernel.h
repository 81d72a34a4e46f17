/// The interface of a kernel that runs several exponentiations at once, each
/// modulo its own modulus. The kernel factory (bigint/kernel_factory.h) hands
/// one out for a set of moduli where the processor has one that pays.
#pragma once

#include <cstdint>

#include "bigint/limbs/limbs.h"
#include "bigint/powmod_observer.h"

namespace limbs {

/// The most exponentiations a batch kernel runs at once.
constexpr uint32_t kMaxBatchLanes = 8;

/// One exponentiation of a batch: result[0..n) = base^exponent mod m for the
/// lane's modulus m of n limbs, base < m (n limbs), and an exponent whose
/// highest set bit is bit topBit >= 0 of exponent[].
struct BatchLane {
  const Limb* base;
  const Limb* exponent;
  int32_t topBit;
  Limb* result;
};

/// What a set of up to kMaxBatchLanes moduli m > 1 needs for exponentiations
/// side by side, one per modulus, prepared once and never changed afterwards.
class BatchKernel {
 public:
  virtual ~BatchKernel() = default;
  BatchKernel(const BatchKernel&) = delete;
  BatchKernel& operator=(const BatchKernel&) = delete;

  virtual const char* Name() const = 0;
  /// The number of moduli, one lane each.
  virtual uint32_t Lanes() const = 0;

  /// Runs lanes[0..Lanes()), lane l modulo modulus l. The observer, when
  /// given, hears the checkpoints of lane observedLane's exponentiation, as
  /// ModularKernel::Power would give them; when it asks to stop, Power returns
  /// at once and no result means anything.
  virtual void Power(const BatchLane* lanes, uint32_t observedLane,
                     PowModObserver* observer) const = 0;

 protected:
  BatchKernel() = default;
};

}  // namespace limbs
