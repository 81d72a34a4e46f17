/// BigInt addition and subtraction. Addition adds digit by digit and then
/// normalises; subtraction borrows for each digit from the nearest nonzero digit
/// above it. Neither ever shortens its left operand.
#include "bigint/bigint.h"

// Each digit of b is read just before its place is written, so b may be this
// value (a += a doubles every digit).
BigInt& BigInt::operator+=(const BigInt& b) {
  if (b.length > length) Resize(b.length);
  for (uint32_t i = 0; i < b.length; ++i) digits[i] += b.digits[i];
  Normalize();
  return *this;
}

// Makes word i one base larger by taking one unit from the nearest nonzero word
// above it; the zero words passed over become kDigitMask. When no word above is
// nonzero the unit comes from beyond the top, so a subtraction that goes below
// zero wraps around modulo kDigitBase^length instead of leaving a word above one
// digit.
void BigInt::BorrowInto(uint32_t i) {
  for (uint32_t j = i + 1; j < length; ++j) {
    if (digits[j] != 0) {
      --digits[j];
      break;
    }
    digits[j] = kDigitMask;
  }
  digits[i] += kDigitBase;
}

BigInt& BigInt::operator-=(const BigInt& b) {
  for (uint32_t i = 0; i < length && i < b.length; ++i) {
    const uint32_t subtrahend = b.digits[i];  // read first: b may be this value
    if (digits[i] < subtrahend) BorrowInto(i);
    digits[i] -= subtrahend;
  }
  return *this;
}

BigInt& BigInt::operator-=(uint32_t v) {
  const BigInt subtrahend(v);
  return *this -= subtrahend;
}

BigInt BigInt::operator-(uint32_t v) const {
  BigInt difference(*this);
  difference -= v;
  return difference;
}
