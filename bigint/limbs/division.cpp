/// Division: by a single limb, and by a prepared divisor with Knuth's
/// Algorithm D.
#include "bigint/limbs/limbs.h"

namespace limbs {

namespace {

// Step D3 of Algorithm D: estimates the quotient limb of the window w[0..n] by
// v[0..n) from the top two limbs of each, then corrects the estimate with
// v[n - 2] until it is at most one too large (Knuth, TAOCP vol. 2, 4.3.1).
// Requires w[1..n] < v and v[n - 1] >= beta / 2.
Limb EstimateQuotientLimb(const Limb* w, const Limb* v, uint32_t n) {
  const WideLimb top = (static_cast<WideLimb>(w[n]) << kLimbBits) | w[n - 1];
  WideLimb qhat = top / v[n - 1];
  WideLimb rhat = top - qhat * v[n - 1];
  // qhat * v[n - 2] is formed only once qhat < beta, and rhat is shifted only
  // while it is below beta, so neither product overflows a wide limb.
  while (qhat > kLimbMax || qhat * v[n - 2] > ((rhat << kLimbBits) | w[n - 2])) {
    --qhat;
    rhat += v[n - 1];
    if (rhat > kLimbMax) break;
  }
  return static_cast<Limb>(qhat);
}

// Steps D2 to D7 of Algorithm D on normalised operands: w[0..nu] (nu + 1 limbs,
// the top one holding what the normalising shift pushed out) divided by
// v[0..n), n >= 2, with the high bit of v[n - 1] set. Leaves the normalised
// remainder in w[0..n) and stores the quotient limbs in q unless q is null.
void DivideNormalized(Limb* q, Limb* w, uint32_t nu, const Limb* v, uint32_t n) {
  for (uint32_t j = nu - n + 1; j-- > 0;) {
    Limb qhat = EstimateQuotientLimb(w + j, v, n);
    // D4: the window w[j..j+n] loses qhat * v.
    const Limb borrow = SubtractMultiple(w + j, v, n, qhat);
    const Limb top = w[j + n];
    w[j + n] = top - borrow;
    // D5, D6: the estimate was one too large (rare); add v back once.
    if (top < borrow) {
      --qhat;
      w[j + n] += AddLimbs(w + j, w + j, v, n);
    }
    if (q != nullptr) q[j] = qhat;
  }
}

}  // namespace

// Short division, most significant limb first (Knuth, TAOCP vol. 2, 4.3.1,
// exercise 16): the running remainder stays below d, so each step divides a
// two-limb number by d into a one-limb quotient.
Limb DivideByLimb(Limb* q, const Limb* u, uint32_t n, Limb d) {
  Limb remainder = 0;
  for (uint32_t i = n; i-- > 0;) {
    const WideLimb numerator = (static_cast<WideLimb>(remainder) << kLimbBits) | u[i];
    q[i] = static_cast<Limb>(numerator / d);
    remainder = static_cast<Limb>(numerator % d);
  }
  return remainder;
}

namespace {

// Shift that brings the high bit of x (nonzero) to the top of its limb.
uint32_t LeadingZeroBits(Limb x) {
  uint32_t count = 0;
  for (Limb bit = Limb{1} << (kLimbBits - 1); (x & bit) == 0; bit >>= 1) ++count;
  return count;
}

}  // namespace

// D1: normalise the divisor once; the dividend is normalised per division.
Divisor::Divisor(const Limb* v, uint32_t n, uint32_t maxDividendLimbs)
    : normalized_(n), shift_(LeadingZeroBits(v[n - 1])), dividend_(maxDividendLimbs + 1) {
  ShiftLeft(normalized_.data(), v, n, shift_);
}

void Divisor::Divide(Limb* q, Limb* r, const Limb* u, uint32_t nu) {
  const uint32_t n = Size();
  Limb* w = dividend_.data();
  if (nu < n) {
    for (uint32_t i = 0; i < n; ++i) r[i] = i < nu ? u[i] : 0;
    return;
  }
  if (n == 1) {
    r[0] = DivideByLimb(q != nullptr ? q : w, u, nu, normalized_[0] >> shift_);
    return;
  }
  w[nu] = ShiftLeft(w, u, nu, shift_);
  DivideNormalized(q, w, nu, normalized_.data(), n);
  ShiftRight(r, w, n, shift_);
}

LimbVector Remainder(const LimbVector& u, const LimbVector& v) {
  const auto nu = static_cast<uint32_t>(u.size());
  const auto n = static_cast<uint32_t>(v.size());
  LimbVector remainder(n);
  Divisor divisor(v.data(), n, nu);
  divisor.Divide(nullptr, remainder.data(), u.data(), nu);
  return remainder;
}

}  // namespace limbs
