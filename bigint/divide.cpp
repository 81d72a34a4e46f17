/// BigInt division and remainder by binary long division: the divisor is scaled
/// up to the dividend by whole digits, backed off bit by bit, and then subtracted
/// wherever it fits, one quotient bit at a time.
#include "bigint/bigint.h"

// Computes the quotient and the remainder of this value by b (see the header for
// their lengths).
void BigInt::LongDivide(const BigInt& b, BigInt* quotient, BigInt* remainder) const {
  if (b == 0u) {
    *quotient = b;
    *remainder = b;
    return;
  }

  BigInt scaled(b);
  uint32_t shift = 0;
  while (scaled < *this) {
    scaled <<= kDigitBits;
    shift += kDigitBits;
  }
  if (scaled == *this) {
    *quotient = BigInt(1) << shift;
    *remainder = BigInt(0);
    return;
  }
  // Only removes zero bits that the whole-digit steps brought in.
  while (scaled > *this && shift != 0) {
    scaled >>= 1;
    --shift;
  }

  *remainder = *this;
  BigInt shiftedDivisor(scaled);
  BigInt& result = scaled;  // the scaled divisor's storage, and length, become the quotient
  result = 0u;
  BigInt bitMask = BigInt(1) << shift;
  for (uint32_t step = 0; step < shift; ++step) {
    if (*remainder >= shiftedDivisor) {
      result |= bitMask;
      *remainder -= shiftedDivisor;
    }
    shiftedDivisor >>= 1;
    bitMask >>= 1;
  }
  if (*remainder >= shiftedDivisor) {
    result.digits[0] |= 1;
    *remainder -= shiftedDivisor;
  }
  *quotient = result;
}

BigInt BigInt::operator/(const BigInt& b) const {
  BigInt quotient;
  BigInt remainder;
  LongDivide(b, &quotient, &remainder);
  return quotient;
}

BigInt BigInt::operator%(const BigInt& b) const {
  BigInt quotient;
  BigInt remainder;
  LongDivide(b, &quotient, &remainder);
  return remainder;
}

BigInt BigInt::operator/(uint32_t v) const { return *this / BigInt(v); }

BigInt& BigInt::operator/=(uint32_t v) { return *this = *this / v; }

uint32_t BigInt::operator%(uint32_t v) const {
  const BigInt remainder = *this % BigInt(v);
  // The remainder is below v, so its two low digits hold all of it.
  uint32_t value = 0;
  if (remainder.length > 1) value = remainder.digits[1] << kDigitBits;
  if (remainder.length > 0) value |= remainder.digits[0];
  return value;
}
