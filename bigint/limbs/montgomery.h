/// Montgomery arithmetic for odd moduli in portable C++: the constants of a
/// modulus and the multiplier of one exponentiation.
#pragma once

#include <cstdint>

#include "bigint/limbs/limbs.h"
#include "bigint/limbs/montgomery_reduction.h"

namespace limbs {

/// The constants of Montgomery arithmetic modulo an odd m > 1 of n limbs, with
/// R = beta^n (P. L. Montgomery, 1985; HAC 14.32 and 14.36): computed once per
/// modulus and never changed, so one modulus serves any number of
/// MontgomeryMultipliers, also on several threads at once.
class MontgomeryModulus {
 public:
  /// modulus: odd, above 1, without leading zero limbs.
  explicit MontgomeryModulus(LimbVector modulus);

  uint32_t Size() const { return static_cast<uint32_t>(modulus_.size()); }
  const Limb* Modulus() const { return modulus_.data(); }
  /// -m^-1 mod beta.
  Limb NegativeInverse() const { return negativeInverse_; }
  /// R^2 mod m, n limbs.
  const Limb* RSquared() const { return rSquared_.data(); }
  /// The constants of the reduction by products, for moduli of
  /// kMontgomeryReduceByProductsThreshold limbs and more (empty below).
  const ReductionConstants& ByProducts() const { return byProducts_; }

 private:
  LimbVector modulus_;
  Limb negativeInverse_;
  LimbVector rSquared_;
  ReductionConstants byProducts_;
};

/// Multiplication on Montgomery representatives x R mod m, for one
/// exponentiation: the modulus's constants plus this multiplier's own scratch
/// space. A product a b / R mod m interleaves the columns of a b with those of
/// the multiple q m that makes the sum divisible by R, column by column from the
/// lowest (the "finely integrated product scanning" form of Koc, Acar and
/// Kaliski, 1996), without division. From kMontgomeryFullProductThreshold
/// limbs on (bigint/limbs/tuning.h) the product is instead formed in
/// full by the subquadratic kernels and then reduced. All operands are n-limb
/// values below m.
class MontgomeryMultiplier {
 public:
  /// The modulus must outlive the multiplier.
  explicit MontgomeryMultiplier(const MontgomeryModulus& modulus);

  /// Limbs of a representative.
  uint32_t Size() const { return modulus_.Size(); }
  /// Limbs of a plain value below m.
  uint32_t PlainSize() const { return modulus_.Size(); }
  /// r = a R mod m.
  void Enter(Limb* r, const Limb* a);
  /// r = a / R mod m, the value that a represents.
  void Leave(Limb* r, const Limb* a);
  /// r = a b / R mod m; r may be a or b.
  void Multiply(Limb* r, const Limb* a, const Limb* b);
  /// r = a^2 / R mod m, summing each cross product a[i] a[j] once; r may be a.
  void Square(Limb* r, const Limb* a);

 private:
  void ReduceProduct(Limb* r);

  const MontgomeryModulus& modulus_;
  LimbVector one_;       // the plain value 1, n limbs
  LimbVector quotient_;  // q: q m + a b = 0 mod R
  LimbVector product_;   // a b in full, 2n limbs, for long moduli only
  LimbVector scratch_;   // for the full product and its reduction
};

}  // namespace limbs
