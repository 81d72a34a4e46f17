/// Montgomery reduction of a full product, word by word or by products, with
/// the low half product, the inverse modulo R and the products modulo
/// beta^h - 1 and beta^h + 1 that the latter uses.
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

namespace {

// ---- Arithmetic modulo beta^h - 1 and beta^h + 1 ------------------------------

// A product modulo beta^n - 1 is split into two of half the size from halves of
// this many limbs on. Measured by one Montgomery square with the reduction by
// products on the development machine (least of 30 runs): 64-bit limbs, 12798
// ns unsplit against 12006 from 16 limbs (12237 from 32, 13002 from 64) at 128
// limbs, 118776 against 110554 at 512 limbs; 32-bit limbs, 105442 against
// 97445 ns at 512 limbs.
constexpr uint32_t kCyclicSplitLimbs = 16;

// r[0..h) = x[0..nx) mod (beta^h - 1) for nx <= 2h: beta^h = 1, so the high
// part adds to the low one and its carry comes back in at the bottom. The sum
// is at most 2 beta^h - 2, so the carry's return carries no further. The value
// beta^h - 1 may stand for 0.
void FoldCyclic(Limb* r, const Limb* x, uint32_t nx, uint32_t h) {
  const uint32_t high = nx > h ? nx - h : 0;
  Limb carry = AddLimbs(r, x, x + h, high);
  for (uint32_t i = high; i < h; ++i) r[i] = i < nx ? x[i] : 0;
  carry = PropagateCarry(r + high, h - high, carry);
  PropagateCarry(r, h, carry);
}

// r[0..h] = x[0..nx) mod (beta^h + 1) in [0, beta^h], for nx <= 2h: beta^h = -1,
// so the high part is subtracted from the low one, and a negative difference
// gains beta^h + 1.
void FoldNegacyclic(Limb* r, const Limb* x, uint32_t nx, uint32_t h) {
  const uint32_t high = nx > h ? nx - h : 0;
  Limb borrow = SubtractLimbs(r, x, x + h, high);
  for (uint32_t i = high; i < h; ++i) r[i] = i < nx ? x[i] : 0;
  borrow = PropagateBorrow(r + high, h - high, borrow);
  r[h] = borrow != 0 ? PropagateCarry(r, h, 1) : 0;
}

// r[0..h] = a b mod (beta^h + 1) for a, b in [0, beta^h] (h + 1 limbs each).
// beta^h itself is -1: its product with x is -x, which is beta^h + 1 - x, the
// complement of x plus 2, for x in [1, beta^h).
void MultiplyNegacyclic(Limb* r, const Limb* a, const Limb* b, uint32_t h, Limb* scratch) {
  if (a[h] == 0 && b[h] == 0) {
    FastMultiply(scratch, a, h, b, h, scratch + 2 * h);
    FoldNegacyclic(r, scratch, 2 * h, h);
    return;
  }
  for (uint32_t i = 0; i <= h; ++i) r[i] = 0;
  if (a[h] != 0 && b[h] != 0) {
    r[0] = 1;
    return;
  }
  const Limb* x = a[h] != 0 ? b : a;
  if (SignificantLimbs(x, h) == 0) return;
  for (uint32_t i = 0; i < h; ++i) r[i] = ~x[i];
  r[h] = PropagateCarry(r, h, 2);
}

// w[0..2h) = the W modulo beta^(2h) - 1 = (beta^h - 1)(beta^h + 1) with
// W = w1 modulo beta^h - 1 (h limbs, overwritten) and W = w2 modulo beta^h + 1
// (h + 1 limbs), by the Chinese remainder theorem (the factors are coprime, as
// beta^h - 1 is odd): W = w2 + (beta^h + 1) y with y = (w1 - w2) / 2 modulo
// beta^h - 1, since beta^h + 1 = 2 there. w may hold beta^(2h) - 1 for 0.
void CombineResidues(Limb* w, Limb* w1, const Limb* w2, uint32_t h) {
  // y, where w2 = beta^h counts as 1. A negative difference gains beta^h - 1:
  // it wraps, then loses 1. An odd y gains beta^h - 1 before halving: its half
  // gains beta^h / 2.
  const Limb borrow = w2[h] != 0 ? PropagateBorrow(w1, h, 1) : SubtractLimbs(w1, w1, w2, h);
  if (borrow != 0) PropagateBorrow(w1, h, 1);
  const bool odd = (w1[0] & 1) != 0;
  ShiftRight(w1, w1, h, 1);
  if (odd) w1[h - 1] |= Limb{1} << (kLimbBits - 1);

  // w2 + y + y beta^h, the carry coming back in at the bottom; the sum is below
  // beta^(2h) + beta^h, so its return carries no further.
  for (uint32_t i = 0; i < h; ++i) w[i] = w[h + i] = w1[i];
  Limb carry = AddLimbs(w, w, w2, h);
  carry = PropagateCarry(w + h, h, carry + w2[h]);
  PropagateCarry(w, 2 * h, carry);
}

// r[0..n) = a b mod (beta^n - 1) for n-limb a and b. For even n with halves of
// at least kCyclicSplitLimbs, from the residues modulo beta^h - 1 (recursively)
// and beta^h + 1, h = n / 2: two products of h limbs instead of one of n.
void MultiplyCyclic(Limb* r, const Limb* a, const Limb* b, uint32_t n, Limb* scratch) {
  if (n % 2 != 0 || n / 2 < kCyclicSplitLimbs) {
    FastMultiply(scratch, a, n, b, n, scratch + 2 * n);
    FoldCyclic(r, scratch, 2 * n, n);
    return;
  }
  const uint32_t h = n / 2;
  Limb* aCyclic = scratch;                  // h limbs
  Limb* bCyclic = aCyclic + h;              // h limbs
  Limb* aNegacyclic = bCyclic + h;          // h + 1 limbs
  Limb* bNegacyclic = aNegacyclic + h + 1;  // h + 1 limbs
  Limb* w1 = bNegacyclic + h + 1;           // h limbs
  Limb* w2 = w1 + h;                        // h + 1 limbs
  Limb* next = w2 + h + 1;
  FoldCyclic(aCyclic, a, n, h);
  FoldCyclic(bCyclic, b, n, h);
  FoldNegacyclic(aNegacyclic, a, n, h);
  FoldNegacyclic(bNegacyclic, b, n, h);
  MultiplyCyclic(w1, aCyclic, bCyclic, h, next);
  MultiplyNegacyclic(w2, aNegacyclic, bNegacyclic, h, next);
  CombineResidues(r, w1, w2, h);
}

uint32_t MultiplyCyclicScratchLimbs(uint32_t n) {
  if (n % 2 != 0 || n / 2 < kCyclicSplitLimbs) return 2 * n + ProductScratchLimbs(n);
  const uint32_t h = n / 2;
  const uint32_t cyclic = MultiplyCyclicScratchLimbs(h);
  const uint32_t negacyclic = 2 * h + ProductScratchLimbs(h);
  return 6 * h + 3 + (cyclic > negacyclic ? cyclic : negacyclic);
}

// The high half floor(q m / beta^n) of the product of n-limb q and m, given its
// low half (q m mod beta^n): from W = q m mod (beta^N - 1), N = 2h >= n, the
// high half times beta^n is W minus the low half modulo beta^N - 1, and beta^n
// is the inverse of beta^(N - n) there, a rotation by N - n limbs. The high
// half is below beta^n - 1, so that residue fixes it. W comes from its residues
// modulo beta^h - 1 and beta^h + 1, m's prepared with the modulus.
void HighHalf(Limb* high, const Limb* q, const Limb* low, uint32_t n,
              const ReductionConstants& constants, Limb* scratch) {
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
  MultiplyCyclic(w1, qCyclic, constants.cyclic.data(), h, next);
  MultiplyNegacyclic(w2, qNegacyclic, constants.negacyclic.data(), h, next);
  CombineResidues(w, w1, w2, h);

  // W - low modulo beta^(2h) - 1, with beta^(2h) - 1 itself made 0.
  const Limb borrow = PropagateBorrow(w + n, wide - n, SubtractLimbs(w, w, low, n));
  if (borrow != 0) PropagateBorrow(w, wide, 1);
  bool allOnes = true;
  for (uint32_t i = 0; i < wide && allOnes; ++i) allOnes = w[i] == kLimbMax;
  if (allOnes) {
    for (uint32_t i = 0; i < wide; ++i) w[i] = 0;
  }
  // Times beta^(2h - n): a rotation up by that many limbs.
  const uint32_t shift = wide - n;
  for (uint32_t i = 0; i < n; ++i) high[i] = w[(i + wide - shift) % wide];
}

}  // namespace

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

// q m = -t mod R, so its low half is the complement of t's low half plus 1
// (mod R), and the low halves of t and q m add up to 0 when t mod R is 0 and to
// R otherwise: only the high half of q m is needed, plus that carry.
void ReduceByProducts(Limb* r, const Limb* t, const Limb* m, uint32_t n,
                      const ReductionConstants& constants, Limb* scratch) {
  Limb* q = scratch;     // n limbs
  Limb* low = q + n;     // n limbs
  Limb* high = low + n;  // n limbs
  Limb* next = high + n;
  MultiplyLow(q, t, constants.inverse.data(), n, next);
  for (uint32_t i = 0; i < n; ++i) low[i] = ~t[i];
  PropagateCarry(low, n, 1);
  HighHalf(high, q, low, n, constants, next);
  Limb carry = AddLimbs(r, t + n, high, n);
  carry += PropagateCarry(r, n, SignificantLimbs(t, n) != 0 ? 1 : 0);
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
  return 3 * n + (highHalf > low ? highHalf : low);
}

}  // namespace limbs
