/// BigInt shifts by any number of bits, and bitwise OR. A shift moves whole
/// digits first, one digit per step, then the residual bits.
#include "bigint/bigint.h"

// Word i takes word i + 1; the top word becomes 0.
void BigInt::ShiftDigitsDown() {
  for (uint32_t i = 1; i < length; ++i) digits[i - 1] = digits[i];
  digits[length - 1] = 0;
}

// Word i takes word i - 1, growing first when the top digit would be lost;
// word 0 becomes 0.
void BigInt::ShiftDigitsUp() {
  if (TopWord() != 0) Resize(length + 1);
  for (uint32_t i = length - 1; i > 0; --i) digits[i] = digits[i - 1];
  digits[0] = 0;
}

BigInt& BigInt::operator>>=(uint32_t n) {
  if (length == 0) return *this;
  for (uint32_t step = 0; step < n / kDigitBits; ++step) ShiftDigitsDown();
  const uint32_t r = n % kDigitBits;
  if (r == 0) return *this;
  for (uint32_t i = 0; i + 1 < length; ++i) {
    digits[i] = ((digits[i + 1] << (kDigitBits - r)) & kDigitMask) | (digits[i] >> r);
  }
  digits[length - 1] >>= r;
  return *this;
}

BigInt& BigInt::operator<<=(uint32_t n) {
  if (length == 0) return *this;
  for (uint32_t step = 0; step < n / kDigitBits; ++step) ShiftDigitsUp();
  const uint32_t r = n % kDigitBits;
  if (r == 0) return *this;
  if ((TopWord() << r) > kDigitMask) Resize(length + 1);
  for (uint32_t i = length - 1; i > 0; --i) {
    digits[i] = ((digits[i] << r) | (digits[i - 1] >> (kDigitBits - r))) & kDigitMask;
  }
  digits[0] = (digits[0] << r) & kDigitMask;
  return *this;
}

BigInt BigInt::operator>>(uint32_t n) const {
  BigInt shifted(*this);
  shifted >>= n;
  return shifted;
}

BigInt BigInt::operator<<(uint32_t n) const {
  BigInt shifted(*this);
  shifted <<= n;
  return shifted;
}

BigInt& BigInt::operator|=(const BigInt& b) {
  if (length < b.length) Resize(b.length);
  for (uint32_t i = 0; i < b.length; ++i) digits[i] |= b.digits[i];
  return *this;
}

BigInt& BigInt::operator|=(uint32_t v) {
  if (length < 2) Resize(2);
  digits[0] |= v & kDigitMask;
  digits[1] |= v >> kDigitBits;
  return *this;
}

BigInt BigInt::operator|(uint32_t v) const {
  BigInt result(*this);
  result |= v;
  return result;
}
