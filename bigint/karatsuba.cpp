/// Subquadratic products on limbs: Karatsuba's multiplication and squaring, and
/// the entry points that choose between them and the classical algorithm by the
/// operands' sizes.
#include "bigint/limbs.h"

namespace limbs {

namespace {

// r[0..n) = |a[0..n) - b[0..nb)| for nb <= n; returns whether a < b.
bool AbsoluteDifference(Limb* r, const Limb* a, uint32_t n, const Limb* b, uint32_t nb) {
  const bool below = SignificantLimbs(a + nb, n - nb) == 0 && CompareLimbs(a, b, nb) < 0;
  if (below) {
    SubtractLimbs(r, b, a, nb);
    for (uint32_t i = nb; i < n; ++i) r[i] = 0;
  } else {
    SubtractLimb(r + nb, a + nb, n - nb, SubtractLimbs(r, a, b, nb));
  }
  return below;
}

// r[0..n) += x[0..nx) for nx <= n; the sum must fit in n limbs.
void AddInto(Limb* r, uint32_t n, const Limb* x, uint32_t nx) {
  AddLimb(r + nx, r + nx, n - nx, AddLimbs(r, r, x, nx));
}

// r = a b for nb <= ceil(na / 2): a is cut into pieces of nb limbs (the last one
// shorter), and each piece's product with b is added in at the piece's place.
void MultiplyByPieces(Limb* r, const Limb* a, uint32_t na, const Limb* b, uint32_t nb,
                      Limb* scratch) {
  Limb* piece = scratch;  // nb + nb limbs
  FastMultiply(r, a, nb, b, nb, piece + 2 * nb);
  for (uint32_t start = nb; start < na; start += nb) {
    const uint32_t length = na - start < nb ? na - start : nb;
    FastMultiply(piece, b, nb, a + start, length, piece + 2 * nb);
    // r holds the product of the pieces below up to limb start + nb; the new
    // product's top limbs extend it. The sum fits, so nothing carries out.
    const Limb carry = AddLimbs(r + start, r + start, piece, nb);
    AddLimb(r + start + nb, piece + nb, length, carry);
  }
}

}  // namespace

// One step needs 4h + 1 limbs for the difference product and the middle sum, and
// its sub-products, of at most h = ceil(n / 2) limbs, need as much again for
// their own operands. MultiplyByPieces (nb <= h) needs 2h plus that of h.
uint32_t ProductScratchLimbs(uint32_t n) {
  const uint32_t threshold = kKaratsubaMultiplyThreshold < kKaratsubaSquareThreshold
                                 ? kKaratsubaMultiplyThreshold
                                 : kKaratsubaSquareThreshold;
  uint32_t total = 0;
  for (; n >= threshold; n = (n + 1) / 2) total += 4 * ((n + 1) / 2) + 1;
  return total;
}

void FastMultiply(Limb* r, const Limb* a, uint32_t na, const Limb* b, uint32_t nb, Limb* scratch) {
  if (na < nb) {
    FastMultiply(r, b, nb, a, na, scratch);
  } else if (nb < kKaratsubaMultiplyThreshold) {
    Multiply(r, a, na, b, nb);
  } else if (nb <= (na + 1) / 2) {
    MultiplyByPieces(r, a, na, b, nb, scratch);
  } else {
    KaratsubaMultiply(r, a, na, b, nb, scratch);
  }
}

void FastSquare(Limb* r, const Limb* a, uint32_t n, Limb* scratch) {
  if (n < kKaratsubaSquareThreshold) {
    Square(r, a, n);
  } else {
    KaratsubaSquare(r, a, n, scratch);
  }
}

// Karatsuba's method in its subtractive form (Knuth, TAOCP vol. 2, 4.3.3,
// equation (2)): with a = a1 beta^h + a0 and b = b1 beta^h + b0,
//   a b = a0 b0 + beta^h (a0 b0 + a1 b1 - (a0 - a1)(b0 - b1)) + beta^(2h) a1 b1.
// The middle term equals a0 b1 + a1 b0, so it is nonnegative and below
// 2 beta^(2h): 2h + 1 limbs. The differences are taken as magnitudes with a sign,
// so every product has operands of at most h limbs.
void KaratsubaMultiply(Limb* r, const Limb* a, uint32_t na, const Limb* b, uint32_t nb,
                       Limb* scratch) {
  const uint32_t h = (na + 1) / 2;
  const uint32_t highLimbs = (na - h) + (nb - h);  // of a1 b1
  Limb* difference = scratch;                      // (a0 - a1)(b0 - b1): 2h limbs
  Limb* middle = scratch + 2 * h;    // first |a0 - a1| and |b0 - b1|, then the middle term
  Limb* next = scratch + 4 * h + 1;  // the sub-products' scratch
  const bool negative = AbsoluteDifference(middle, a, h, a + h, na - h) !=
                        AbsoluteDifference(middle + h, b, h, b + h, nb - h);
  FastMultiply(difference, middle, h, middle + h, h, next);
  FastMultiply(r, a, h, b, h, next);
  FastMultiply(r + 2 * h, a + h, na - h, b + h, nb - h, next);

  // middle = a0 b0 + a1 b1 - (a0 - a1)(b0 - b1), then added in at limb h.
  Limb top = AddLimb(middle + highLimbs, r + highLimbs, 2 * h - highLimbs,
                     AddLimbs(middle, r, r + 2 * h, highLimbs));
  if (negative) {
    top += AddLimbs(middle, middle, difference, 2 * h);
  } else {
    top -= SubtractLimbs(middle, middle, difference, 2 * h);
  }
  middle[2 * h] = top;
  // The product fits in na + nb limbs, so a middle term reaching past them has a
  // zero top limb.
  const uint32_t above = na + nb - h;
  AddInto(r + h, above, middle, 2 * h + 1 < above ? 2 * h + 1 : above);
}

// As KaratsubaMultiply with b = a: a a = a0^2 + beta^h (a0^2 + a1^2 - (a0 - a1)^2)
// + beta^(2h) a1^2.
void KaratsubaSquare(Limb* r, const Limb* a, uint32_t n, Limb* scratch) {
  const uint32_t h = (n + 1) / 2;
  const uint32_t highLimbs = 2 * (n - h);
  Limb* difference = scratch;
  Limb* middle = scratch + 2 * h;
  Limb* next = scratch + 4 * h + 1;
  AbsoluteDifference(middle, a, h, a + h, n - h);
  FastSquare(difference, middle, h, next);
  FastSquare(r, a, h, next);
  FastSquare(r + 2 * h, a + h, n - h, next);

  Limb top = AddLimb(middle + highLimbs, r + highLimbs, 2 * h - highLimbs,
                     AddLimbs(middle, r, r + 2 * h, highLimbs));
  top -= SubtractLimbs(middle, middle, difference, 2 * h);
  middle[2 * h] = top;
  const uint32_t above = 2 * n - h;
  AddInto(r + h, above, middle, 2 * h + 1 < above ? 2 * h + 1 : above);
}

}  // namespace limbs
