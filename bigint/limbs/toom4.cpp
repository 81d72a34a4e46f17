/// Toom-Cook 4-way multiplication and squaring on limbs: seven products of a
/// quarter of the size instead of Toom-3's five of a third.
#include "bigint/limbs/limbs.h"

namespace limbs {

namespace {

// The values of a = a0 + a1 x + a2 x^2 + a3 x^3 (x = beta^k; a0, a1 and a2 of k
// limbs, a3 of 1 to k) at 1, -1, 2, -2 and 1/2 (the last as 8 a(1/2)), k + 1
// limbs each; the values at -1 and -2 as magnitudes with their signs.
struct Evaluations {
  Evaluations(Limb* at, uint32_t k)
      : one(at),
        minusOne(at + (k + 1)),
        two(at + 2 * (k + 1)),
        minusTwo(at + 3 * (k + 1)),
        half(at + 4 * (k + 1)) {}
  Limb* one;
  Limb* minusOne;
  Limb* two;
  Limb* minusTwo;
  Limb* half;
  bool minusOneNegative = false;
  bool minusTwoNegative = false;
};
constexpr uint32_t kEvaluationCount = 5;
// The five products of the evaluations and room for one more value.
constexpr uint32_t kValueCount = 6;

// r[0..k] = x[0..k) + y[0..ny), ny <= k.
void AddPadded(Limb* r, const Limb* x, const Limb* y, uint32_t ny, uint32_t k) {
  const Limb carry = AddLimbs(r, x, y, ny);
  for (uint32_t i = ny; i < k; ++i) r[i] = x[i];
  r[k] = PropagateCarry(r + ny, k - ny, carry);
}

// r[0..k] = (y[0..ny) << s) + x[0..nx) for ny <= k + 1 and nx <= k, the sum
// below beta^(k+1): a step of Horner's rule. r may be y.
void ShiftAndAdd(Limb* r, const Limb* y, uint32_t ny, uint32_t s, const Limb* x, uint32_t nx,
                 uint32_t k) {
  const Limb out = ShiftLeft(r, y, ny, s);
  for (uint32_t i = ny; i <= k; ++i) r[i] = 0;
  if (ny <= k) r[ny] = out;
  r[k] += PropagateCarry(r + nx, k - nx, AddLimbs(r, r, x, nx));
}

// x + y into sum and |x - y| into y, n limbs each; returns whether x < y.
bool SumAndDistance(Limb* sum, const Limb* x, Limb* y, uint32_t n) {
  AddLimbs(sum, x, y, n);
  const bool below = CompareLimbs(x, y, n) < 0;
  if (below) {
    SubtractLimbs(y, y, x, n);
  } else {
    SubtractLimbs(y, x, y, n);
  }
  return below;
}

void Evaluate(Evaluations& e, const Limb* a, uint32_t na, uint32_t k) {
  const Limb* a1 = a + k;
  const Limb* a2 = a + 2 * k;
  const Limb* a3 = a + 3 * k;
  const uint32_t n3 = na - 3 * k;
  // a(1) and a(-1) from a0 + a2 (in e.two for now) and a1 + a3.
  e.two[k] = AddLimbs(e.two, a, a2, k);
  AddPadded(e.minusOne, a1, a3, n3, k);
  e.minusOneNegative = SumAndDistance(e.one, e.two, e.minusOne, k + 1);
  // a(2) and a(-2) from a0 + 4 a2 (in e.half for now) and 2 (a1 + 4 a3).
  ShiftAndAdd(e.half, a2, k, 2, a, k, k);
  ShiftAndAdd(e.minusTwo, a3, n3, 2, a1, k, k);
  ShiftLeft(e.minusTwo, e.minusTwo, k + 1, 1);
  e.minusTwoNegative = SumAndDistance(e.two, e.half, e.minusTwo, k + 1);
  // 8 a(1/2) = 2 (2 (2 a0 + a1) + a2) + a3.
  ShiftAndAdd(e.half, a, k, 1, a1, k, k);
  ShiftAndAdd(e.half, e.half, k + 1, 1, a2, k, k);
  ShiftAndAdd(e.half, e.half, k + 1, 1, a3, n3, k);
}

// r[0..n) -= x[0..nx) << s, nx < n, through t (nx + 1 limbs).
void SubtractShiftedFrom(Limb* r, uint32_t n, const Limb* x, uint32_t nx, uint32_t s, Limb* t) {
  t[nx] = ShiftLeft(t, x, nx, s);
  SubtractFrom(r, n, t, nx + 1);
}

// Completes the product r[0..n) of a(x) b(x) = c0 + c1 x + ... + c6 x^6 at
// x = beta^k from c0 (in r[0..2k)), c6 (in r[6k..n)) and the products of the
// evaluations in w, wide = 2k + 2 limbs each: v1 = ab(1), |v-1| = |ab(-1)|,
// v2 = ab(2), |v-2| = |ab(-2)| and vh = 64 ab(1/2), followed by room for one
// more. With the even and odd parts at 1 and 2,
//   E1 = (v1 + v-1) / 2 = c0 + c2 + c4 + c6,   O1 = (v1 - v-1) / 2 = c1 + c3 + c5,
//   E2 = (v2 + v-2) / 2 = c0 + 4 c2 + 16 c4 + 64 c6,
//   O2 = (v2 - v-2) / 4 = c1 + 4 c3 + 16 c5,
// the even coefficients follow from S = E1 - c0 - c6 = c2 + c4 and
// T = (E2 - c0 - 64 c6) / 4 = c2 + 4 c4: c4 = (T - S) / 3, c2 = S - c4. Then
// U = (vh - c6 - 64 c0 - 4 (4 c2 + c4)) / 2 = 16 c1 + 4 c3 + c5, and
//   c3 = (17 O1 - O2 - U) / 9,   c5 = (O2 - O1 - 3 c3) / 15,   c1 = O1 - c3 - c5.
// Every intermediate value is nonnegative; the divisions by 3 and 15 are exact
// (the system's determinant is 3^4 5 up to powers of 2). The sequence follows
// the approach of M. Bodrato, "Towards Optimal Toom-Cook Multiplication for
// Univariate and Multivariate Polynomials in Characteristic 2 and 0", WAIFI
// 2007: few passes, each a shift, an addition or an exact division.
void Interpolate(Limb* r, uint32_t n, uint32_t k, Limb* w, bool minusOneNegative,
                 bool minusTwoNegative) {
  const uint32_t wide = 2 * k + 2;
  const Limb* c0 = r;
  const Limb* c6 = r + 6 * k;
  const uint32_t n6 = n - 6 * k;
  Limb* v1 = w;
  Limb* minusOne = w + wide;
  Limb* v2 = w + 2 * wide;
  Limb* minusTwo = w + 3 * wide;
  Limb* u = w + 4 * wide;  // vh, then U
  Limb* even1 = w + 5 * wide;
  // 2 E1 and 2 O1 (v-1 = -|v-1| swaps the sum and the difference), then 2 E2
  // and 4 O2 in the room v1 leaves.
  Limb* odd1 = minusOne;
  AddOrSubtract(even1, v1, minusOne, wide, minusOneNegative);
  AddOrSubtract(odd1, v1, minusOne, wide, !minusOneNegative);
  Limb* even2 = v1;
  Limb* odd2 = minusTwo;
  AddOrSubtract(even2, v2, minusTwo, wide, minusTwoNegative);
  AddOrSubtract(odd2, v2, minusTwo, wide, !minusTwoNegative);
  Limb* t = v2;  // free from here on
  ShiftRight(even1, even1, wide, 1);
  ShiftRight(odd1, odd1, wide, 1);
  ShiftRight(odd2, odd2, wide, 2);

  // The even coefficients: c2 in even1, c4 in even2.
  SubtractFrom(even1, wide, c0, 2 * k);
  SubtractFrom(even1, wide, c6, n6);
  SubtractShiftedFrom(even2, wide, c0, 2 * k, 1, t);
  SubtractShiftedFrom(even2, wide, c6, n6, 7, t);
  ShiftRight(even2, even2, wide, 3);
  SubtractLimbs(even2, even2, even1, wide);
  DivideExactly(even2, even2, wide, 3);
  SubtractLimbs(even1, even1, even2, wide);
  const Limb* c2 = even1;
  const Limb* c4 = even2;

  // The odd ones: c3 in t, c5 in odd2, c1 in odd1.
  SubtractFrom(u, wide, c6, n6);
  SubtractShiftedFrom(u, wide, c0, 2 * k, 6, t);
  ShiftLeft(t, c2, wide, 2);
  AddLimbs(t, t, c4, wide);
  ShiftLeft(t, t, wide, 2);
  SubtractLimbs(u, u, t, wide);
  ShiftRight(u, u, wide, 1);
  ShiftLeft(t, odd1, wide, 4);
  AddLimbs(t, t, odd1, wide);
  SubtractLimbs(t, t, odd2, wide);
  SubtractLimbs(t, t, u, wide);
  DivideExactly(t, t, wide, 3);
  DivideExactly(t, t, wide, 3);
  const Limb* c3 = t;
  SubtractLimbs(odd2, odd2, odd1, wide);
  ShiftLeft(u, c3, wide, 1);
  AddLimbs(u, u, c3, wide);
  SubtractLimbs(odd2, odd2, u, wide);
  DivideExactly(odd2, odd2, wide, 15);
  SubtractLimbs(odd1, odd1, c3, wide);
  SubtractLimbs(odd1, odd1, odd2, wide);

  for (uint32_t i = 2 * k; i < 6 * k; ++i) r[i] = 0;
  AddInto(r + k, n - k, odd1, wide);
  AddInto(r + 2 * k, n - 2 * k, c2, wide);
  AddInto(r + 3 * k, n - 3 * k, c3, wide);
  AddInto(r + 4 * k, n - 4 * k, c4, wide);
  AddInto(r + 5 * k, n - 5 * k, odd2, wide);
}

}  // namespace

// Toom-Cook 4-way (Knuth, TAOCP vol. 2, 4.3.3 A) at the points 0, 1, -1, 2,
// -2, 1/2 and infinity: seven products of k + 1 limbs or fewer, k = ceil(na / 4).
void Toom4Multiply(Limb* r, const Limb* a, uint32_t na, const Limb* b, uint32_t nb, Limb* scratch,
                   const ProductBasecase& basecase) {
  const uint32_t k = (na + 3) / 4;
  const uint32_t m = k + 1;
  const uint32_t wide = 2 * m;
  Evaluations ea(scratch, k);
  Evaluations eb(scratch + kEvaluationCount * m, k);
  Limb* w = scratch + 2 * kEvaluationCount * m;
  Limb* next = w + kValueCount * wide;
  Evaluate(ea, a, na, k);
  Evaluate(eb, b, nb, k);
  FastMultiply(w, ea.one, m, eb.one, m, next, basecase);
  FastMultiply(w + wide, ea.minusOne, m, eb.minusOne, m, next, basecase);
  FastMultiply(w + 2 * wide, ea.two, m, eb.two, m, next, basecase);
  FastMultiply(w + 3 * wide, ea.minusTwo, m, eb.minusTwo, m, next, basecase);
  FastMultiply(w + 4 * wide, ea.half, m, eb.half, m, next, basecase);
  FastMultiply(r, a, k, b, k, next, basecase);
  FastMultiply(r + 6 * k, a + 3 * k, na - 3 * k, b + 3 * k, nb - 3 * k, next, basecase);
  Interpolate(r, na + nb, k, w, ea.minusOneNegative != eb.minusOneNegative,
              ea.minusTwoNegative != eb.minusTwoNegative);
}

void Toom4Square(Limb* r, const Limb* a, uint32_t n, Limb* scratch,
                 const ProductBasecase& basecase) {
  const uint32_t k = (n + 3) / 4;
  const uint32_t m = k + 1;
  const uint32_t wide = 2 * m;
  Evaluations e(scratch, k);
  Limb* w = scratch + kEvaluationCount * m;
  Limb* next = w + kValueCount * wide;
  Evaluate(e, a, n, k);
  FastSquare(w, e.one, m, next, basecase);
  FastSquare(w + wide, e.minusOne, m, next, basecase);
  FastSquare(w + 2 * wide, e.two, m, next, basecase);
  FastSquare(w + 3 * wide, e.minusTwo, m, next, basecase);
  FastSquare(w + 4 * wide, e.half, m, next, basecase);
  FastSquare(r, a, k, next, basecase);
  FastSquare(r + 6 * k, a + 3 * k, n - 3 * k, next, basecase);
  Interpolate(r, 2 * n, k, w, false, false);
}

}  // namespace limbs
