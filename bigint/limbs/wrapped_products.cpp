/// Products modulo beta^h - 1 and beta^h + 1, and the recombination of their
/// residues by the Chinese remainder theorem: the high half of a product from
/// two products of half its size.
#include "bigint/limbs/limbs.h"
#include "bigint/limbs/tuning.h"

namespace limbs {

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
void MultiplyNegacyclic(Limb* r, const Limb* a, const Limb* b, uint32_t h, Limb* scratch,
                        const ProductBasecase& basecase) {
  if (a[h] == 0 && b[h] == 0) {
    FastMultiply(scratch, a, h, b, h, scratch + 2 * h, basecase);
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
void MultiplyCyclic(Limb* r, const Limb* a, const Limb* b, uint32_t n, Limb* scratch,
                    const ProductBasecase& basecase) {
  if (n % 2 != 0 || n / 2 < kCyclicSplitLimbs) {
    FastMultiply(scratch, a, n, b, n, scratch + 2 * n, basecase);
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
  MultiplyCyclic(w1, aCyclic, bCyclic, h, next, basecase);
  MultiplyNegacyclic(w2, aNegacyclic, bNegacyclic, h, next, basecase);
  CombineResidues(r, w1, w2, h);
}

uint32_t MultiplyCyclicScratchLimbs(uint32_t n) {
  if (n % 2 != 0 || n / 2 < kCyclicSplitLimbs) return 2 * n + ProductScratchLimbs(n);
  const uint32_t h = n / 2;
  const uint32_t cyclic = MultiplyCyclicScratchLimbs(h);
  const uint32_t negacyclic = 2 * h + ProductScratchLimbs(h);
  return 6 * h + 3 + (cyclic > negacyclic ? cyclic : negacyclic);
}

}  // namespace limbs
