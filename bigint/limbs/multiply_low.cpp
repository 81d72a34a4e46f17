/// The low half of a product: a b mod beta^n, for the quotient of Montgomery's
/// reduction by products.
#include "bigint/limbs/column_sum.h"
#include "bigint/limbs/limbs.h"
#include "bigint/limbs/tuning.h"

namespace limbs {

// Split at l = n - h with h = floor(n / 3): a b mod beta^n = a0 b0 +
// beta^l (a1 b0 + a0 b1) mod beta^n, where only the low h limbs of the two cross
// products count. An unbalanced split costs less than halves when the full
// product is Karatsuba's: about 0.8 of a full product rather than 1.
void MultiplyLow(Limb* r, const Limb* a, const Limb* b, uint32_t n, Limb* scratch,
                 const ProductBasecase& basecase) {
  if (n < kMultiplyLowThreshold) {
    ColumnSum sum;
    for (uint32_t k = 0; k < n; ++k) {
      sum.AddProducts(a, b + k, k + 1);
      r[k] = sum.Low();
      sum.NextColumn();
    }
    return;
  }
  const uint32_t h = n / 3;
  const uint32_t l = n - h;
  Limb* full = scratch;           // a0 b0: 2l limbs
  Limb* cross = scratch + 2 * l;  // h limbs
  Limb* next = cross + h;
  FastMultiply(full, a, l, b, l, next, basecase);
  for (uint32_t i = 0; i < n; ++i) r[i] = full[i];
  MultiplyLow(cross, a + l, b, h, next, basecase);
  AddLimbs(r + l, r + l, cross, h);
  MultiplyLow(cross, a, b + l, h, next, basecase);
  AddLimbs(r + l, r + l, cross, h);
}

uint32_t MultiplyLowScratchLimbs(uint32_t n) {
  if (n < kMultiplyLowThreshold) return 0;
  const uint32_t h = n / 3;
  const uint32_t l = n - h;
  const uint32_t product = ProductScratchLimbs(l);
  const uint32_t low = MultiplyLowScratchLimbs(h);
  return 2 * l + h + (product > low ? product : low);
}

}  // namespace limbs
