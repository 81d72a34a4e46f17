/// Modular exponentiation by left-to-right sliding windows, written once for
/// every kernel's multiplier.
#pragma once

#include <cstdint>
#include <utility>

#include "bigint/limbs/limbs.h"
#include "bigint/limbs/modular_kernel.h"
#include "bigint/limbs/tuning.h"
#include "bigint/powmod_observer.h"

namespace limbs {

// A multiplier does the arithmetic modulo one modulus for one exponentiation,
// on representatives of its own form (Montgomery's x R mod m, radix 2^52
// digits, or the plain residue), with its own scratch space:
//   uint32_t Size() const;       words of a representative
//   uint32_t PlainSize() const;  limbs of a plain value below m
//   void Enter(Limb* r, const Limb* a);  r represents the plain a < m
//   void Leave(Limb* r, const Limb* a);  r = the plain value a represents, < m
//   void Multiply(Limb* r, const Limb* a, const Limb* b);  r may be a or b
//   void Square(Limb* r, const Limb* a);                   r may be a

/// Counts the exponent bits still to be processed and tells the observer, if
/// any, after every kBitsPerCheckpoint-th bit and after the last one. BitDone
/// answers false once the observer has asked to stop.
class Checkpoints {
 public:
  Checkpoints(PowModObserver* observer, int32_t topBit)
      : observer_(observer), topBit_(topBit), bitsRemaining_(topBit) {}

  bool BitDone() {
    --bitsRemaining_;
    if (observer_ == nullptr) return true;
    if ((topBit_ - bitsRemaining_) % PowModObserver::kBitsPerCheckpoint == 0 ||
        bitsRemaining_ < 0) {
      return observer_->Checkpoint(bitsRemaining_);
    }
    return true;
  }

 private:
  PowModObserver* observer_;
  int32_t topBit_;
  int32_t bitsRemaining_;
};

inline uint32_t ExponentBit(const Limb* exponent, int32_t i) {
  const auto index = static_cast<uint32_t>(i);
  return (exponent[index / kLimbBits] >> (index % kLimbBits)) & 1;
}

// result = base^exponent in the multiplier's representation, for an exponent
// whose highest set bit is topBit. Left-to-right sliding-window
// exponentiation (HAC 14.85): the bits are scanned from the top; a zero bit
// costs one squaring, and a window of up to w bits that ends on a set bit
// costs one squaring per bit and one multiplication by a precomputed odd
// power. Nothing is allocated after the table of odd powers.
template <class Multiplier>
void SlidingWindowPower(Multiplier& multiplier, const Limb* base, const Limb* exponent,
                        int32_t topBit, Checkpoints& checkpoints, Limb* result) {
  const uint32_t n = multiplier.Size();
  const int32_t width = WindowBits(topBit + 1, n * static_cast<uint32_t>(sizeof(Limb)));

  // oddPowers holds base^1, base^3, ..., base^(2^width - 1), n words each.
  const uint32_t powerCount = 1u << (width - 1);
  LimbVector oddPowers(powerCount * n);
  for (uint32_t i = 0; i < n; ++i) oddPowers[i] = base[i];
  if (powerCount > 1) {
    LimbVector baseSquared(n);
    multiplier.Square(baseSquared.data(), base);
    for (uint32_t k = 1; k < powerCount; ++k) {
      multiplier.Multiply(&oddPowers[k * n], &oddPowers[(k - 1) * n], baseSquared.data());
    }
  }

  bool started = false;  // the top bit is set, so the first step is a window
  for (int32_t i = topBit; i >= 0;) {
    if (ExponentBit(exponent, i) == 0) {
      multiplier.Square(result, result);
      if (!checkpoints.BitDone()) return;
      --i;
      continue;
    }
    // The window runs from bit i down to bit j, the lowest set bit within reach.
    int32_t j = i - width + 1 > 0 ? i - width + 1 : 0;
    while (ExponentBit(exponent, j) == 0) ++j;
    uint32_t window = 0;
    for (int32_t k = i; k >= j; --k) {
      window = (window << 1) | ExponentBit(exponent, k);
      if (started) multiplier.Square(result, result);
      if (!checkpoints.BitDone()) return;
    }
    const Limb* power = &oddPowers[(window >> 1) * n];
    if (started) {
      multiplier.Multiply(result, result, power);
    } else {
      for (uint32_t w = 0; w < n; ++w) result[w] = power[w];
      started = true;
    }
    i = j - 1;
  }
}

/// result (PlainSize() limbs) = base^exponent mod m for base < m: into the
/// multiplier's representation, the sliding-window power, and back.
template <class Multiplier>
void ModularPower(Multiplier& multiplier, const Limb* base, const Limb* exponent, int32_t topBit,
                  PowModObserver* observer, Limb* result) {
  Checkpoints checkpoints(observer, topBit);
  LimbVector representative(multiplier.Size());
  LimbVector power(multiplier.Size());
  multiplier.Enter(representative.data(), base);
  SlidingWindowPower(multiplier, representative.data(), exponent, topBit, checkpoints,
                     power.data());
  multiplier.Leave(result, power.data());
}

/// A kernel made of a modulus type prepared once and a multiplier type built
/// from it for each exponentiation (explicit Multiplier(const Modulus&)).
template <class Modulus, class Multiplier>
class MultiplierKernel final : public ModularKernel {
 public:
  MultiplierKernel(const char* name, Modulus modulus) : name_(name), modulus_(std::move(modulus)) {}

  const char* Name() const override { return name_; }

  void Power(Limb* result, const Limb* base, const Limb* exponent, int32_t topBit,
             PowModObserver* observer) const override {
    Multiplier multiplier(modulus_);
    ModularPower(multiplier, base, exponent, topBit, observer, result);
  }

 private:
  const char* name_;
  Modulus modulus_;
};

}  // namespace limbs
