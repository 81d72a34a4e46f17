/// The low half of a product: a b mod beta^n, for the quotient of Montgomery's
/// reduction by products.
#include "bigint/limbs/column_sum.h"
#include "bigint/limbs/limbs.h"
#include "bigint/limbs/montgomery_reduction.h"
#include "bigint/limbs/tuning.h"

namespace limbs {

namespace {

// The length l of the full product a0 b0: n - floor(n / 3), or where that
// product is Toom-3's, the length up to n - floor(n / 4) with the most factors
// of two. An unbalanced split costs less than halves when the full product is
// subquadratic (about 0.8 of a full product rather than 1 under Karatsuba's
// method, T. Mulders, "On Short Multiplications and Divisions", AAECC 11,
// 2000), and over that range the cost hardly moves in theory. Measured, a
// length with more factors of two runs 9 % faster on the low half of 256 and
// 512 limbs on the mulx/adx basecase (l = 192 and 384 instead of 171 and 342),
// but 5 % slower at 96 and 128 limbs on the portable one, where the full
// product is Karatsuba's (docs/tuning.md).
uint32_t MostFactorsOfTwo(uint32_t n) {
  const auto powerOfTwo = [](uint32_t l) { return l & (0u - l); };  // the largest dividing l
  uint32_t best = n - n / 3;
  for (uint32_t l = best + 1; l <= n - n / 4; ++l) {
    if (powerOfTwo(l) > powerOfTwo(best)) best = l;
  }
  return best;
}

uint32_t FullProductLimbs(uint32_t n, const ProductBasecase& basecase) {
  return n - n / 3 < basecase.toom3MultiplyThreshold ? n - n / 3 : MostFactorsOfTwo(n);
}

uint32_t ScratchLimbs(uint32_t n, uint32_t l) {
  const uint32_t h = n - l;
  const uint32_t product = ProductScratchLimbs(l);
  const uint32_t low = MultiplyLowScratchLimbs(h);
  return 2 * l + h + (product > low ? product : low);
}

}  // namespace

// Split at l = FullProductLimbs(n), h = n - l: a b mod beta^n = a0 b0 +
// beta^l (a1 b0 + a0 b1) mod beta^n, where only the low h limbs of the two
// cross products count.
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
  const uint32_t l = FullProductLimbs(n, basecase);
  const uint32_t h = n - l;
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

// Enough for either length FullProductLimbs chooses, whatever the basecase.
uint32_t MultiplyLowScratchLimbs(uint32_t n) {
  if (n < kMultiplyLowThreshold) return 0;
  const uint32_t third = ScratchLimbs(n, n - n / 3);
  const uint32_t twos = ScratchLimbs(n, MostFactorsOfTwo(n));
  return third > twos ? third : twos;
}

}  // namespace limbs
