/// Montgomery arithmetic for odd moduli: column by column below the full
/// product threshold, the full product then its reduction above.
#include "bigint/limbs/montgomery.h"

#include <utility>

#include "bigint/limbs/column_sum.h"
#include "bigint/limbs/tuning.h"

namespace limbs {

MontgomeryModulus::MontgomeryModulus(LimbVector modulus)
    : modulus_(std::move(modulus)), negativeInverse_(0 - InverseModWordBase(modulus_[0])) {
  // R^2 mod m = beta^(2n) mod m, by one division.
  const uint32_t n = Size();
  LimbVector beta2n(2 * n + 1);
  beta2n[2 * n] = 1;
  rSquared_ = Remainder(beta2n, modulus_);
  if (n >= kMontgomeryReduceByProductsThreshold) {
    byProducts_ = MakeReductionConstants(modulus_.data(), n, negativeInverse_);
  }
}

MontgomeryMultiplier::MontgomeryMultiplier(const MontgomeryModulus& modulus)
    : modulus_(modulus), one_(modulus.Size()), quotient_(modulus.Size()) {
  one_[0] = 1;
  const uint32_t n = modulus.Size();
  if (n >= kMontgomeryFullProductThreshold) {
    product_.resize(2 * n);
    const uint32_t reduction =
        n >= kMontgomeryReduceByProductsThreshold ? ReduceByProductsScratchLimbs(n) : 0;
    const uint32_t product = ProductScratchLimbs(n);
    scratch_.resize(reduction > product ? reduction : product);
  }
}

// Long moduli: the product in full, then reduced.
void MontgomeryMultiplier::ReduceProduct(Limb* r) {
  const uint32_t n = Size();
  if (n >= kMontgomeryReduceByProductsThreshold) {
    ReduceByProducts(r, product_.data(), modulus_.Modulus(), n, modulus_.ByProducts(),
                     scratch_.data());
  } else {
    ReduceWordByWord(r, product_.data(), modulus_.Modulus(), n, modulus_.NegativeInverse());
  }
}

// Column k of a b + q m sums a[j] b[k-j] and q[j] m[k-j]. In the low n columns
// q[k] is chosen, once the rest of column k is summed, so that the column ends
// in a zero limb (q[k] = sum * (-m^-1) mod beta); those limbs are dropped, which
// divides by R. The high n columns are the result: below 2 m with their
// carry, as a b + q m < 2 m R, so one conditional subtraction finishes it.
// Column k reads a and b only at indices above k - n, so r may be a or b.
void MontgomeryMultiplier::Multiply(Limb* r, const Limb* a, const Limb* b) {
  const uint32_t n = Size();
  if (!product_.empty()) {
    FastMultiply(product_.data(), a, n, b, n, scratch_.data());
    ReduceProduct(r);
    return;
  }
  const Limb* m = modulus_.Modulus();
  const Limb negativeInverse = modulus_.NegativeInverse();
  Limb* q = quotient_.data();
  ColumnSum sum;
  for (uint32_t k = 0; k < n; ++k) {
    sum.AddProducts(a, b + k, k + 1);
    sum.AddProducts(q, m + k, k);
    q[k] = sum.Low() * negativeInverse;
    sum.Add(q[k], m[0]);
    sum.NextColumn();
  }
  for (uint32_t k = n; k < 2 * n; ++k) {
    const uint32_t first = k - n + 1;
    sum.AddProducts(a + first, b + n - 1, 2 * n - 1 - k);
    sum.AddProducts(q + first, m + n - 1, 2 * n - 1 - k);
    r[k - n] = sum.Low();
    sum.NextColumn();
  }
  SubtractModulusIfAbove(r, modulus_.Modulus(), n, sum.Low());
}

// As Multiply with b = a, but each cross product of a column summed once and
// doubled.
void MontgomeryMultiplier::Square(Limb* r, const Limb* a) {
  const uint32_t n = Size();
  if (!product_.empty()) {
    FastSquare(product_.data(), a, n, scratch_.data());
    ReduceProduct(r);
    return;
  }
  const Limb* m = modulus_.Modulus();
  const Limb negativeInverse = modulus_.NegativeInverse();
  Limb* q = quotient_.data();
  ColumnSum sum;
  for (uint32_t k = 0; k < 2 * n; ++k) {
    sum.AddSquareColumn(a, n, k);
    if (k < n) {
      sum.AddProducts(q, m + k, k);
      q[k] = sum.Low() * negativeInverse;
      sum.Add(q[k], m[0]);
    } else {
      sum.AddProducts(q + (k - n + 1), m + n - 1, 2 * n - 1 - k);
      r[k - n] = sum.Low();
    }
    sum.NextColumn();
  }
  SubtractModulusIfAbove(r, modulus_.Modulus(), n, sum.Low());
}

void MontgomeryMultiplier::Enter(Limb* r, const Limb* a) { Multiply(r, a, modulus_.RSquared()); }

void MontgomeryMultiplier::Leave(Limb* r, const Limb* a) { Multiply(r, a, one_.data()); }

}  // namespace limbs
