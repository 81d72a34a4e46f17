/// Montgomery reduction of a full product: word by word, or by the low half
/// product and two products modulo beta^h - 1 and beta^h + 1.
#include "bigint/limbs/montgomery_reduction.h"

#include "bigint/limbs/column_sum.h"

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

// The high half floor(q m / beta^n) of the product of n-limb q and m, where q
// m = -t mod beta^n: its low half is beta^n - (t mod beta^n), or 0 when t mod
// beta^n is (lowNonzero false). From W = q m mod (beta^N - 1), N = 2h >= n, the
// high half times beta^n is W minus the low half modulo beta^N - 1, and beta^n
// is the inverse of beta^(N - n) there, a rotation by N - n limbs. The high
// half is below beta^n - 1, so that residue fixes it. W comes from its residues
// modulo beta^h - 1 and beta^h + 1, m's prepared with the modulus. Returns the
// high half's n limbs: in `high`, or, when N = n and no rotation is needed,
// in the scratch.
const Limb* HighHalf(Limb* high, const Limb* q, const Limb* t, bool lowNonzero, uint32_t n,
                     const ReductionConstants& constants, Limb* scratch,
                     const ProductBasecase& basecase) {
  const uint32_t h = (n + 1) / 2;
  const uint32_t wide = 2 * h;
  Limb* qCyclic = scratch;          // h limbs
  Limb* qNegacyclic = qCyclic + h;  // h + 1 limbs
  Limb* w1 = qNegacyclic + h + 1;   // h limbs, then y
  Limb* w2 = w1 + h;                // h + 1 limbs
  Limb* w = w2 + h + 1;             // 2h limbs
  Limb* next = w + wide;
  FoldCyclic(qCyclic, q, n, h);
  FoldNegacyclic(qNegacyclic, q, n, h);
  MultiplyCyclic(w1, qCyclic, constants.cyclic.data(), h, next, basecase);
  MultiplyNegacyclic(w2, qNegacyclic, constants.negacyclic.data(), h, next, basecase);
  CombineResidues(w, w1, w2, h);

  // W - (beta^n - t mod beta^n) = W + (t mod beta^n) - beta^n modulo
  // beta^(2h) - 1: the carry out of limb n - 1 pays for the beta^n, or 1 is
  // borrowed from limb n (from limb 0 past the top, where beta^(2h) is 1).
  // beta^(2h) - 1 itself is then made 0.
  if (lowNonzero && AddLimbs(w, w, t, n) == 0) {
    if (PropagateBorrow(w + n, wide - n, 1) != 0) PropagateBorrow(w, wide, 1);
  }
  bool allOnes = true;
  for (uint32_t i = 0; i < wide && allOnes; ++i) allOnes = w[i] == kLimbMax;
  if (allOnes) {
    for (uint32_t i = 0; i < wide; ++i) w[i] = 0;
  }
  // Times beta^(2h - n): a rotation up by that many limbs, of which the high
  // half takes the lowest n.
  const uint32_t shift = wide - n;
  if (shift == 0) return w;
  for (uint32_t i = 0; i < shift; ++i) high[i] = w[n + i];
  for (uint32_t i = shift; i < n; ++i) high[i] = w[i - shift];
  return high;
}

}  // namespace

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

ReductionConstants MakeReductionConstants(const Limb* m, uint32_t n, Limb negativeInverse) {
  // -m^-1 mod R is the q with 1 + q m = 0 mod R: the low columns of the
  // reduction of t = 1.
  const uint32_t h = (n + 1) / 2;
  ReductionConstants constants{LimbVector(n), LimbVector(h), LimbVector(h + 1)};
  LimbVector one(n);
  one[0] = 1;
  ColumnSum sum;
  ClearLowColumns(constants.inverse.data(), one.data(), m, n, negativeInverse, sum);
  FoldCyclic(constants.cyclic.data(), m, n, h);
  FoldNegacyclic(constants.negacyclic.data(), m, n, h);
  return constants;
}

// q m = -t mod R, so the low halves of t and q m add up to 0 when t mod R is 0
// and to R otherwise: only the high half of q m is needed, plus that carry.
void ReduceByProducts(Limb* r, const Limb* t, const Limb* m, uint32_t n,
                      const ReductionConstants& constants, Limb* scratch,
                      const ProductBasecase& basecase) {
  Limb* q = scratch;   // n limbs
  Limb* high = q + n;  // n limbs
  Limb* next = high + n;
  MultiplyLow(q, t, constants.inverse.data(), n, next, basecase);
  const bool lowNonzero = SignificantLimbs(t, n) != 0;
  const Limb* qmHigh = HighHalf(high, q, t, lowNonzero, n, constants, next, basecase);
  Limb carry = AddLimbs(r, t + n, qmHigh, n);
  carry += PropagateCarry(r, n, lowNonzero ? 1 : 0);
  SubtractModulusIfAbove(r, m, n, carry);
}

// HighHalf: 6h + 2 limbs of its own, then its two products modulo beta^h - 1
// and beta^h + 1.
uint32_t ReduceByProductsScratchLimbs(uint32_t n) {
  const uint32_t h = (n + 1) / 2;
  const uint32_t cyclic = MultiplyCyclicScratchLimbs(h);
  const uint32_t negacyclic = 2 * h + ProductScratchLimbs(h);
  const uint32_t highHalf = 6 * h + 2 + (cyclic > negacyclic ? cyclic : negacyclic);
  const uint32_t low = MultiplyLowScratchLimbs(n);
  return 2 * n + (highHalf > low ? highHalf : low);
}

}  // namespace limbs
