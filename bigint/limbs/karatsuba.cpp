/// Subquadratic products on limbs: Karatsuba's multiplication and squaring, and
/// the entry points that choose between them, Toom-Cook 3-way and 4-way and the
/// classical algorithm by the operands' sizes.
#include <algorithm>

#include "bigint/limbs/limbs.h"
#include "bigint/limbs/tuning.h"

namespace limbs {

const ProductBasecase kPortableBasecase = {&Multiply,
                                           &Square,
                                           kKaratsubaMultiplyThreshold,
                                           kKaratsubaSquareThreshold,
                                           kToom3MultiplyThreshold,
                                           kToom3SquareThreshold,
                                           kToom4MultiplyThreshold,
                                           kToom4SquareThreshold};

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

// Completes a Karatsuba step of an n-limb result r = a b split at h: r[0..2h)
// holds L = a0 b0, r[2h..n) holds H = a1 b1 (at least h limbs), and d (2h limbs)
// is |a0 - a1| |b0 - b1|. Adds beta^h (L + H - d), or + d when addDifference.
// With L = L1 beta^h + L0 and H = H1 beta^h + H0 the sum L1 + H0 lands on
// both limb h and limb 2h, so it is formed once. The result fits in n limbs, so
// carries out of the top cancel against borrows and are dropped.
void CombineHalves(Limb* r, uint32_t n, uint32_t h, const Limb* d, bool addDifference) {
  Limb* const middle = r + h;    // L1, then L0 + L1 + H0
  Limb* const high = r + 2 * h;  // H0, then L1 + H0 + H1
  Limb* const top = r + 3 * h;   // H1
  const uint32_t topLimbs = n - 3 * h;
  const Limb sharedCarry = AddLimbs(high, middle, high, h);
  const Limb middleCarry = AddLimbs(middle, high, r, h);
  Limb highCarry = AddLimbs(high, high, top, topLimbs);
  highCarry = PropagateCarry(high + topLimbs, h - topLimbs, highCarry);
  PropagateCarry(top, topLimbs, highCarry + sharedCarry);
  PropagateCarry(high, n - 2 * h, middleCarry + sharedCarry);
  if (addDifference) {
    PropagateCarry(top, topLimbs, AddLimbs(middle, middle, d, 2 * h));
  } else {
    PropagateBorrow(top, topLimbs, SubtractLimbs(middle, middle, d, 2 * h));
  }
}

// r = a b for nb <= ceil(na / 2): a is cut into pieces of nb limbs (the last one
// shorter), and each piece's product with b is added in at the piece's place.
void MultiplyByPieces(Limb* r, const Limb* a, uint32_t na, const Limb* b, uint32_t nb,
                      Limb* scratch, const ProductBasecase& basecase) {
  Limb* piece = scratch;  // nb + nb limbs
  FastMultiply(r, a, nb, b, nb, piece + 2 * nb, basecase);
  for (uint32_t start = nb; start < na; start += nb) {
    const uint32_t length = na - start < nb ? na - start : nb;
    FastMultiply(piece, b, nb, a + start, length, piece + 2 * nb, basecase);
    // r holds the product of the pieces below up to limb start + nb; the new
    // product's top limbs extend it. The sum fits, so nothing carries out.
    const Limb carry = AddLimbs(r + start, r + start, piece, nb);
    for (uint32_t i = 0; i < length; ++i) r[start + nb + i] = piece[nb + i];
    PropagateCarry(r + start + nb, length, carry);
  }
}

}  // namespace

// A Karatsuba step needs 4h limbs for the differences and their product, and
// its sub-products, of at most h = ceil(n / 2) limbs, need their own beyond
// them; MultiplyByPieces (nb <= h) needs 2h plus that of h. A Toom-3 step needs
// six evaluations of k + 1 limbs and four values of 2k + 2 limbs, k = ceil(n / 3),
// then that of k + 1 limbs (a square needs three evaluations fewer); a Toom-4
// step ten evaluations of k + 1 limbs and six values of 2k + 2, k = ceil(n / 4),
// then that of k + 1 limbs.
uint32_t ProductScratchLimbs(uint32_t n) {
  if (n < std::min(kKaratsubaMultiplyThreshold, kKaratsubaSquareThreshold)) return 0;
  const uint32_t h = (n + 1) / 2;
  uint32_t need = 4 * h + ProductScratchLimbs(h);
  if (n >= std::min(kToom3MultiplyThreshold, kToom3SquareThreshold)) {
    const uint32_t k = (n + 2) / 3;
    need = std::max(need, 6 * (k + 1) + 4 * (2 * k + 2) + ProductScratchLimbs(k + 1));
  }
  if (n >= std::min(kToom4MultiplyThreshold, kToom4SquareThreshold)) {
    const uint32_t k = (n + 3) / 4;
    need = std::max(need, 10 * (k + 1) + 6 * (2 * k + 2) + ProductScratchLimbs(k + 1));
  }
  return need;
}

void FastMultiply(Limb* r, const Limb* a, uint32_t na, const Limb* b, uint32_t nb, Limb* scratch,
                  const ProductBasecase& basecase) {
  if (na < nb) {
    FastMultiply(r, b, nb, a, na, scratch, basecase);
  } else if (nb < basecase.karatsubaMultiplyThreshold) {
    basecase.multiply(r, a, na, b, nb);
  } else if (nb <= (na + 1) / 2) {
    MultiplyByPieces(r, a, na, b, nb, scratch, basecase);
  } else if (nb >= basecase.toom4MultiplyThreshold && nb > 3 * ((na + 3) / 4)) {
    Toom4Multiply(r, a, na, b, nb, scratch, basecase);
  } else if (nb >= basecase.toom3MultiplyThreshold && nb > 2 * ((na + 2) / 3)) {
    Toom3Multiply(r, a, na, b, nb, scratch, basecase);
  } else {
    KaratsubaMultiply(r, a, na, b, nb, scratch, basecase);
  }
}

void FastSquare(Limb* r, const Limb* a, uint32_t n, Limb* scratch,
                const ProductBasecase& basecase) {
  if (n < basecase.karatsubaSquareThreshold) {
    basecase.square(r, a, n);
  } else if (n >= basecase.toom4SquareThreshold) {
    Toom4Square(r, a, n, scratch, basecase);
  } else if (n >= basecase.toom3SquareThreshold) {
    Toom3Square(r, a, n, scratch, basecase);
  } else {
    KaratsubaSquare(r, a, n, scratch, basecase);
  }
}

// Karatsuba's method in its subtractive form (Knuth, TAOCP vol. 2, 4.3.3,
// equation (2)): with a = a1 beta^h + a0 and b = b1 beta^h + b0,
//   a b = a0 b0 + beta^h (a0 b0 + a1 b1 - (a0 - a1)(b0 - b1)) + beta^(2h) a1 b1.
// The differences are taken as magnitudes with a sign, so every product has
// operands of at most h limbs.
void KaratsubaMultiply(Limb* r, const Limb* a, uint32_t na, const Limb* b, uint32_t nb,
                       Limb* scratch, const ProductBasecase& basecase) {
  const uint32_t h = (na + 1) / 2;
  Limb* difference = scratch;       // |a0 - a1| |b0 - b1|: 2h limbs
  Limb* factors = scratch + 2 * h;  // |a0 - a1| and |b0 - b1|
  Limb* next = scratch + 4 * h;     // the sub-products' scratch
  const bool negative = AbsoluteDifference(factors, a, h, a + h, na - h) !=
                        AbsoluteDifference(factors + h, b, h, b + h, nb - h);
  FastMultiply(difference, factors, h, factors + h, h, next, basecase);
  FastMultiply(r, a, h, b, h, next, basecase);
  FastMultiply(r + 2 * h, a + h, na - h, b + h, nb - h, next, basecase);

  CombineHalves(r, na + nb, h, difference, negative);
}

// As KaratsubaMultiply with b = a: a a = a0^2 + beta^h (a0^2 + a1^2 - (a0 - a1)^2)
// + beta^(2h) a1^2.
void KaratsubaSquare(Limb* r, const Limb* a, uint32_t n, Limb* scratch,
                     const ProductBasecase& basecase) {
  const uint32_t h = (n + 1) / 2;
  Limb* difference = scratch;
  Limb* factor = scratch + 2 * h;
  Limb* next = scratch + 3 * h;
  AbsoluteDifference(factor, a, h, a + h, n - h);
  FastSquare(difference, factor, h, next, basecase);
  FastSquare(r, a, h, next, basecase);
  FastSquare(r + 2 * h, a + h, n - h, next, basecase);

  CombineHalves(r, 2 * n, h, difference, false);
}

}  // namespace limbs
