/// BigInt division and remainder: Knuth's Algorithm D on limbs (a single-limb
/// divisor takes short division), with result lengths fixed by the values of the
/// quotient and the remainder; a % v by short division over the digits.
#include "bigint/bigint.h"
#include "bigint/limb_conversion.h"

namespace {

using limbs::Limb;
using limbs::LimbVector;

// True when q = 65536^k for some k >= 0, given that q needs `digits` digits (>= 1).
bool IsPowerOfDigitBase(const LimbVector& q, uint32_t digits) {
  const uint32_t top = digits - 1;
  const uint32_t topLimb = top / limbs::kDigitsPerLimb;
  for (uint32_t i = 0; i < topLimb; ++i) {
    if (q[i] != 0) return false;
  }
  return q[topLimb] == Limb{1} << (BigInt::kDigitBits * (top % limbs::kDigitsPerLimb));
}

}  // namespace

// The lengths follow from q = a / b and r = a % b, with Lb = b's length and
// nb = b's significant digits:
// - q = 0 (a < b): q has length Lb, r = a has a's length;
// - r = 0 and q = 65536^k (a is b shifted by whole digits): q has length
//   max(2, k + 1), r is the two-digit 0;
// - otherwise q has length max(Lb, nb + digits of q), r has a's length.
void BigInt::Divide(const BigInt& b, BigInt* quotient, BigInt* remainder) const {
  const LimbVector v = limbs::ToLimbs(b);
  if (v.empty()) {
    *quotient = b;
    *remainder = b;
    return;
  }
  const LimbVector u = limbs::ToLimbs(*this);
  const auto nu = static_cast<uint32_t>(u.size());
  const auto nv = static_cast<uint32_t>(v.size());
  LimbVector q(nu >= nv ? nu - nv + 1 : 0);
  LimbVector r(nv);
  limbs::Divisor(v.data(), nv, nu).Divide(q.data(), r.data(), u.data(), nu);

  const uint32_t quotientDigits = limbs::DigitsNeeded(q.data(), static_cast<uint32_t>(q.size()));
  const bool remainderIsZero = limbs::SignificantLimbs(r.data(), nv) == 0;
  uint32_t quotientLength = b.length;
  uint32_t remainderLength = length;
  if (quotientDigits != 0 && remainderIsZero && IsPowerOfDigitBase(q, quotientDigits)) {
    quotientLength = quotientDigits > 2 ? quotientDigits : 2;
    remainderLength = 2;
  } else if (quotientDigits != 0) {
    const uint32_t scaled = limbs::SignificantDigits(b) + quotientDigits;
    if (scaled > quotientLength) quotientLength = scaled;
  }
  *quotient = limbs::ToBigInt(q, quotientLength);
  *remainder = limbs::ToBigInt(r, remainderLength);
}

BigInt BigInt::operator/(const BigInt& b) const {
  BigInt quotient;
  BigInt remainder;
  Divide(b, &quotient, &remainder);
  return quotient;
}

BigInt BigInt::operator%(const BigInt& b) const {
  BigInt quotient;
  BigInt remainder;
  Divide(b, &quotient, &remainder);
  return remainder;
}

BigInt BigInt::operator/(uint32_t v) const { return *this / BigInt(v); }

BigInt& BigInt::operator/=(uint32_t v) { return *this = *this / v; }

// Short division from the top digit down: the running remainder stays below v,
// so (remainder << 16) | digit fits in 48 bits.
uint32_t BigInt::operator%(uint32_t v) const {
  if (v == 0) return 0;
  uint64_t remainder = 0;
  for (uint32_t i = length; i-- > 0;) remainder = ((remainder << kDigitBits) | digits[i]) % v;
  return static_cast<uint32_t>(remainder);
}
