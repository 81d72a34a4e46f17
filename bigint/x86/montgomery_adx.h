/// Montgomery multiplication on 64-bit limbs with the multiply instruction of
/// BMI2 (mulx) and the two carry chains of ADX (adcx, adox): the classical
/// products, squares and word-by-word reduction built on one row step, and a
/// per-exponentiation multiplier with the interface of the portable Montgomery
/// arithmetic. The kernel factory reaches it through bigint/x86/kernels.h.
#pragma once

#include <cstdint>

#include "bigint/limbs/limbs.h"
#include "bigint/limbs/montgomery.h"

// The scalar kernel is built where its instructions can be reached through
// GCC's extended assembly and chosen at run time (__builtin_cpu_supports):
// x86-64 with GCC or Clang, and 64-bit limbs.
#if defined(__x86_64__) && defined(__GNUC__) && defined(__SIZEOF_INT128__) && \
    !defined(LARGEPRIME_NARROW_LIMBS)
#define LARGEPRIME_ADX_KERNEL 1
#else
#define LARGEPRIME_ADX_KERNEL 0
#endif

namespace limbs {

/// True when the scalar kernel is built in and the processor has BMI2 and ADX
/// (asked once per process).
bool AdxAvailable();

#if LARGEPRIME_ADX_KERNEL

// Only where AdxAvailable() answers true:

/// r[0..na+nb) = a b by the classical algorithm, one row a b[i] at a time.
/// na, nb >= 1; r must not overlap a or b.
void AdxMultiply(Limb* r, const Limb* a, uint32_t na, const Limb* b, uint32_t nb);
/// r[0..2n) = a a: each cross product a[i] a[j] (i < j) once, doubled, plus
/// the squares on the diagonal. n >= 1; r must not overlap a.
void AdxSquare(Limb* r, const Limb* a, uint32_t n);
/// r[0..n) = t / R mod m, not always below m but below beta^n, for any t[0..2n),
/// odd m, R = beta^n, one limb of the quotient at a time (HAC 14.32); t is
/// overwritten. negativeInverse = -m^-1 mod beta. r may overlap neither t nor m.
void AdxReduce(Limb* r, Limb* t, const Limb* m, uint32_t n, Limb negativeInverse);
/// The classical product and square above as the basecase of the subquadratic
/// products, with the Karatsuba thresholds of bigint/x86/tuning.h.
extern const ProductBasecase kAdxBasecase;

/// Montgomery arithmetic modulo one MontgomeryModulus for one exponentiation,
/// on representatives of x R mod m that may exceed m by a multiple of it but
/// stay below beta^n (the plain values going in and out are below m), with its
/// own scratch space. A product or square is formed in full, on this kernel's
/// classical products below the Karatsuba thresholds of bigint/x86/tuning.h and
/// on the subquadratic ones with those as their basecase above, then reduced:
/// word by word in one pass of rows, or by products from
/// kMontgomeryReduceByProductsThreshold limbs on.
class AdxMultiplier {
 public:
  /// The modulus must outlive the multiplier.
  explicit AdxMultiplier(const MontgomeryModulus& modulus);

  uint32_t Size() const { return modulus_.Size(); }
  uint32_t PlainSize() const { return modulus_.Size(); }
  /// r = a R mod m.
  void Enter(Limb* r, const Limb* a);
  /// r = a / R mod m, below m.
  void Leave(Limb* r, const Limb* a);
  /// r = a b / R mod m; r may be a or b.
  void Multiply(Limb* r, const Limb* a, const Limb* b);
  /// r = a^2 / R mod m; r may be a.
  void Square(Limb* r, const Limb* a);

 private:
  void Reduce(Limb* r);

  const MontgomeryModulus& modulus_;
  LimbVector one_;      // the plain value 1, n limbs
  LimbVector product_;  // a b in full, 2n limbs
  LimbVector scratch_;  // for the subquadratic products and the reduction by products
};

#endif  // LARGEPRIME_ADX_KERNEL

}  // namespace limbs
