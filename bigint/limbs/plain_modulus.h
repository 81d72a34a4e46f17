/// Multiplication modulo any modulus, odd or even, on plain residues: the
/// product, then its remainder by long division.
#pragma once

#include <cstdint>

#include "bigint/limbs/limbs.h"

namespace limbs {

/// Arithmetic modulo any m > 1 of n limbs on plain residues: the product, then
/// its remainder by Algorithm D. A multiplier as bigint/limbs/window_power.h
/// describes it.
class PlainModulus {
 public:
  /// modulus: above 1, without leading zero limbs.
  explicit PlainModulus(LimbVector modulus);

  uint32_t Size() const { return size_; }
  uint32_t PlainSize() const { return size_; }
  /// Residues represent themselves: r = a.
  void Enter(Limb* r, const Limb* a);
  void Leave(Limb* r, const Limb* a);
  /// r = a b mod m; r may be a or b.
  void Multiply(Limb* r, const Limb* a, const Limb* b);
  /// r = a^2 mod m; r may be a.
  void Square(Limb* r, const Limb* a);

 private:
  uint32_t size_;
  Divisor divisor_;
  LimbVector product_;  // 2n limbs
};

}  // namespace limbs
