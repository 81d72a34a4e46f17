/// The interface between an exponentiation's caller and the arithmetic it runs
/// on: every kernel, portable or for one processor, offers it, and the kernel
/// factory (bigint/kernel_factory.h) hands one out per modulus.
#pragma once

#include <cstdint>

#include "bigint/limbs/limbs.h"
#include "bigint/powmod_observer.h"

namespace limbs {

/// What one modulus m > 1 needs for exponentiations, prepared once and never
/// changed afterwards, so that threads may share it. Each Power keeps its
/// working space to itself.
class ModularKernel {
 public:
  virtual ~ModularKernel() = default;
  ModularKernel(const ModularKernel&) = delete;
  ModularKernel& operator=(const ModularKernel&) = delete;

  /// The kernel's name, as the factory knows it.
  virtual const char* Name() const = 0;

  /// result[0..n) = base^exponent mod m, n the modulus's limbs, for base < m
  /// (n limbs) and an exponent whose highest set bit is bit topBit >= 0 of
  /// exponent[]. The observer, when given, hears every checkpoint; when it
  /// asks to stop, Power returns at once and result means nothing.
  virtual void Power(Limb* result, const Limb* base, const Limb* exponent, int32_t topBit,
                     PowModObserver* observer) const = 0;

 protected:
  ModularKernel() = default;
};

}  // namespace limbs
