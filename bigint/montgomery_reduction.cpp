/// Montgomery reduction of a full product, word by word or by products, and
/// the low half product and the inverse modulo R that the latter needs.
#include "bigint/montgomery_reduction.h"

#include "bigint/column_sum.h"

namespace limbs {

namespace {

// The low n columns of t + q m, choosing q[k] once the rest of column k is
// summed so that the column ends in a zero limb. Leaves the carry into column n
// in sum.
void ClearLowColumns(Limb* q, const Limb* t, const Limb* m, uint32_t n, Limb negativeInverse,
                     ColumnSum& sum) {
  for (uint32_t k = 0; k < n; ++k) {
    sum.AddLimb(t[k]);
    sum.AddProducts(q, m + k, k);
    q[k] = sum.Low() * negativeInverse;
    sum.Add(q[k], m[0]);
    sum.NextColumn();
  }
}

// r < 2m, with carry the limb above r: one subtraction of m at most brings it
// below m (HAC 14.32, step 3).
void SubtractModulusIfAbove(Limb* r, const Limb* m, uint32_t n, Limb carry) {
  if (carry != 0 || CompareLimbs(r, m, n) >= 0) SubtractLimbs(r, r, m, n);
}

}  // namespace

// Split at l = n - h with h = floor(n / 3): a b mod beta^n = a0 b0 +
// beta^l (a1 b0 + a0 b1) mod beta^n, where only the low h limbs of the two cross
// products count. An unbalanced split costs less than halves when the full
// product is Karatsuba's: about 0.8 of a full product rather than 1.
void MultiplyLow(Limb* r, const Limb* a, const Limb* b, uint32_t n, Limb* scratch) {
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
  FastMultiply(full, a, l, b, l, next);
  for (uint32_t i = 0; i < n; ++i) r[i] = full[i];
  MultiplyLow(cross, a + l, b, h, next);
  AddLimbs(r + l, r + l, cross, h);
  MultiplyLow(cross, a, b + l, h, next);
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

LimbVector NegativeInverseModR(const Limb* m, uint32_t n, Limb negativeInverse) {
  LimbVector one(n);
  one[0] = 1;
  LimbVector q(n);
  ColumnSum sum;
  ClearLowColumns(q.data(), one.data(), m, n, negativeInverse, sum);
  return q;
}

// The high n columns of t + q m are the result. Column k reads q only at
// indices above k - n, so q can live in r, written at index k - n.
void ReduceWordByWord(Limb* r, const Limb* t, const Limb* m, uint32_t n, Limb negativeInverse) {
  Limb* q = r;
  ColumnSum sum;
  ClearLowColumns(q, t, m, n, negativeInverse, sum);
  for (uint32_t k = n; k < 2 * n; ++k) {
    const uint32_t first = k - n + 1;
    sum.AddLimb(t[k]);
    sum.AddProducts(q + first, m + n - 1, 2 * n - 1 - k);
    r[k - n] = sum.Low();
    sum.NextColumn();
  }
  SubtractModulusIfAbove(r, m, n, sum.Low());
}

// q m = -t mod R, so the low halves of t and q m add up to 0 when t mod R is 0
// and to R otherwise: only the high half of q m is needed, plus that carry.
void ReduceByProducts(Limb* r, const Limb* t, const Limb* m, const Limb* inverse, uint32_t n,
                      Limb* scratch) {
  Limb* q = scratch;             // n limbs
  Limb* multiple = scratch + n;  // q m: 2n limbs
  Limb* next = scratch + 3 * n;
  MultiplyLow(q, t, inverse, n, next);
  FastMultiply(multiple, q, n, m, n, next);
  Limb carry = AddLimbs(r, t + n, multiple + n, n);
  carry += PropagateCarry(r, n, SignificantLimbs(t, n) != 0 ? 1 : 0);
  SubtractModulusIfAbove(r, m, n, carry);
}

uint32_t ReduceByProductsScratchLimbs(uint32_t n) {
  const uint32_t product = ProductScratchLimbs(n);
  const uint32_t low = MultiplyLowScratchLimbs(n);
  return 3 * n + (product > low ? product : low);
}

}  // namespace limbs
