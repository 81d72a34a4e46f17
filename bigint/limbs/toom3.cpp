/// Toom-Cook 3-way multiplication and squaring on limbs: five products of a
/// third of the size instead of Karatsuba's three of half the size.
#include "bigint/limbs/limbs.h"
#include "bigint/limbs/tuning.h"

namespace limbs {

namespace {

// The values of a = a0 + a1 x + a2 x^2 (x = beta^k; a0 and a1 of k limbs, a2 of
// na - 2k) at 1, -1 and 2, k + 1 limbs each; returns whether a(-1) < 0, storing
// its magnitude.
struct Evaluations {
  Limb* one;
  Limb* minusOne;
  Limb* two;
};

bool Evaluate(const Evaluations& e, const Limb* a, uint32_t na, uint32_t k) {
  const Limb* a1 = a + k;
  const Limb* a2 = a + 2 * k;
  const uint32_t n2 = na - 2 * k;
  // a0 + a2, then a(1) = (a0 + a2) + a1 and a(-1) = (a0 + a2) - a1.
  Limb* outer = e.two;
  const Limb carry = AddLimbs(outer, a, a2, n2);
  for (uint32_t i = n2; i < k; ++i) outer[i] = a[i];
  outer[k] = PropagateCarry(outer + n2, k - n2, carry);
  e.one[k] = outer[k] + AddLimbs(e.one, outer, a1, k);
  const bool negative = outer[k] == 0 && CompareLimbs(outer, a1, k) < 0;
  if (negative) {
    SubtractLimbs(e.minusOne, a1, outer, k);
    e.minusOne[k] = 0;
  } else {
    e.minusOne[k] = outer[k] - SubtractLimbs(e.minusOne, outer, a1, k);
  }
  // a(2) = a0 + 2 (a1 + 2 a2), below 7 beta^k.
  Limb* two = e.two;
  for (uint32_t i = 0; i < k; ++i) two[i] = i < n2 ? a2[i] : 0;
  two[k] = ShiftLeft(two, two, k, 1);
  two[k] += AddLimbs(two, two, a1, k);
  ShiftLeft(two, two, k + 1, 1);
  two[k] += AddLimbs(two, two, a, k);
  return negative;
}

}  // namespace

// Toom-Cook 3-way (Knuth, TAOCP vol. 2, 4.3.3 A; the points 0, 1, -1, 2 and
// infinity, as in M. Bodrato, "Towards Optimal Toom-Cook Multiplication", WAIFI
// 2007): with a(x) b(x) = c0 + c1 x + c2 x^2 + c3 x^3 + c4 x^4 at x = beta^k,
// c0 = a0 b0 and c4 = a2 b2, and from v1 = ab(1), v-1 = ab(-1), v2 = ab(2):
//   Q = (v1 - v-1) / 2 = c1 + c3,     P = (v1 + v-1) / 2 = c0 + c2 + c4,
//   c2 = P - c0 - c4,                 T = (v2 - v-1) / 3 = c1 + c2 + 3 c3 + 5 c4,
//   c3 = (T - Q - c2 - 5 c4) / 2,     c1 = Q - c3,
// every intermediate value nonnegative.
void Toom3Multiply(Limb* r, const Limb* a, uint32_t na, const Limb* b, uint32_t nb, Limb* scratch,
                   const ProductBasecase& basecase) {
  const uint32_t k = (na + 2) / 3;
  const uint32_t wide = 2 * k + 2;  // a product of two evaluations
  const Evaluations ea{scratch, scratch + (k + 1), scratch + 2 * (k + 1)};
  const Evaluations eb{scratch + 3 * (k + 1), scratch + 4 * (k + 1), scratch + 5 * (k + 1)};
  Limb* v1 = scratch + 6 * (k + 1);
  Limb* vMinus1 = v1 + wide;
  Limb* v2 = vMinus1 + wide;
  Limb* sum = v2 + wide;
  Limb* next = sum + wide;
  const bool negative = Evaluate(ea, a, na, k) != Evaluate(eb, b, nb, k);
  FastMultiply(v1, ea.one, k + 1, eb.one, k + 1, next, basecase);
  FastMultiply(vMinus1, ea.minusOne, k + 1, eb.minusOne, k + 1, next, basecase);
  FastMultiply(v2, ea.two, k + 1, eb.two, k + 1, next, basecase);
  FastMultiply(r, a, k, b, k, next, basecase);
  const uint32_t n4 = na + nb - 4 * k;
  Limb* c4 = r + 4 * k;
  FastMultiply(c4, a + 2 * k, na - 2 * k, b + 2 * k, nb - 2 * k, next, basecase);
  for (uint32_t i = 2 * k; i < 4 * k; ++i) r[i] = 0;

  // The sum and the difference of v1 and v-1 (vMinus1 holds its magnitude),
  // halved: P and Q.
  AddOrSubtract(sum, v1, vMinus1, wide, negative);
  AddOrSubtract(v2, v2, vMinus1, wide, !negative);  // v2 - v-1
  AddOrSubtract(vMinus1, v1, vMinus1, wide, !negative);
  ShiftRight(sum, sum, wide, 1);
  ShiftRight(vMinus1, vMinus1, wide, 1);
  Limb* p = sum;
  Limb* q = vMinus1;
  DivideExactly(v2, v2, wide, 3);  // T

  SubtractFrom(p, wide, r, 2 * k);  // c2
  SubtractFrom(p, wide, c4, n4);
  SubtractFrom(v2, wide, q, wide);
  SubtractFrom(v2, wide, p, wide);
  v1[n4] = MultiplyByLimb(v1, c4, n4, 5);
  SubtractFrom(v2, wide, v1, n4 + 1);
  ShiftRight(v2, v2, wide, 1);      // c3
  SubtractFrom(q, wide, v2, wide);  // c1

  const uint32_t n = na + nb;
  AddInto(r + k, n - k, q, wide);
  AddInto(r + 2 * k, n - 2 * k, p, wide);
  AddInto(r + 3 * k, n - 3 * k, v2, wide);
}

void Toom3Square(Limb* r, const Limb* a, uint32_t n, Limb* scratch,
                 const ProductBasecase& basecase) {
  const uint32_t k = (n + 2) / 3;
  const uint32_t wide = 2 * k + 2;
  const Evaluations e{scratch, scratch + (k + 1), scratch + 2 * (k + 1)};
  Limb* v1 = scratch + 3 * (k + 1);
  Limb* vMinus1 = v1 + wide;
  Limb* v2 = vMinus1 + wide;
  Limb* sum = v2 + wide;
  Limb* next = sum + wide;
  Evaluate(e, a, n, k);
  FastSquare(v1, e.one, k + 1, next, basecase);
  FastSquare(vMinus1, e.minusOne, k + 1, next, basecase);
  FastSquare(v2, e.two, k + 1, next, basecase);
  FastSquare(r, a, k, next, basecase);
  const uint32_t n4 = 2 * n - 4 * k;
  Limb* c4 = r + 4 * k;
  FastSquare(c4, a + 2 * k, n - 2 * k, next, basecase);
  for (uint32_t i = 2 * k; i < 4 * k; ++i) r[i] = 0;

  AddLimbs(sum, v1, vMinus1, wide);
  SubtractLimbs(v2, v2, vMinus1, wide);
  SubtractLimbs(vMinus1, v1, vMinus1, wide);
  ShiftRight(sum, sum, wide, 1);
  ShiftRight(vMinus1, vMinus1, wide, 1);
  Limb* p = sum;
  Limb* q = vMinus1;
  DivideExactly(v2, v2, wide, 3);

  SubtractFrom(p, wide, r, 2 * k);
  SubtractFrom(p, wide, c4, n4);
  SubtractFrom(v2, wide, q, wide);
  SubtractFrom(v2, wide, p, wide);
  v1[n4] = MultiplyByLimb(v1, c4, n4, 5);
  SubtractFrom(v2, wide, v1, n4 + 1);
  ShiftRight(v2, v2, wide, 1);
  SubtractFrom(q, wide, v2, wide);

  AddInto(r + k, 2 * n - k, q, wide);
  AddInto(r + 2 * k, 2 * n - 2 * k, p, wide);
  AddInto(r + 3 * k, 2 * n - 3 * k, v2, wide);
}

}  // namespace limbs
