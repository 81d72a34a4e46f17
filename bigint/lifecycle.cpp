/// BigInt storage: construction, copying, growth, normalisation and assignment.
#include <utility>

#include "bigint/bigint.h"

BigInt::BigInt() : length(0), digits(nullptr) {}

BigInt::BigInt(uint32_t v) : length(0), digits(nullptr) {
  Resize(2);
  digits[0] = v & kDigitMask;
  digits[1] = v >> kDigitBits;
}

BigInt::BigInt(const BigInt& b) : length(0), digits(nullptr) {
  Resize(b.length);
  for (uint32_t i = 0; i < length; ++i) digits[i] = b.digits[i];
}

BigInt::BigInt(BigInt&& b) noexcept : length(b.length), digits(b.digits) {
  b.length = 0;
  b.digits = nullptr;
}

BigInt::~BigInt() { Resize(0); }

void BigInt::Resize(uint32_t n) {
  uint32_t* grown = n > 0 ? new uint32_t[n] : nullptr;
  const uint32_t kept = n < length ? n : length;
  for (uint32_t i = 0; i < kept; ++i) grown[i] = digits[i];
  for (uint32_t i = kept; i < n; ++i) grown[i] = 0;
  delete[] digits;
  digits = grown;
  length = n;
}

void BigInt::Normalize() {
  // The length is read afresh on every pass: a digit added at the top is visited too.
  for (uint32_t i = 0; i < length; ++i) {
    if (digits[i] > kDigitMask) {
      if (i >= length - 1) Resize(i + 2);
      digits[i + 1] += digits[i] >> kDigitBits;
      digits[i] &= kDigitMask;
    }
  }
}

BigInt& BigInt::operator=(uint32_t v) {
  for (uint32_t i = 0; i < length; ++i) digits[i] = 0;
  if (length == 0) Resize(1);
  digits[0] = v;
  Normalize();
  return *this;
}

// Copy and swap: the copy is made before the old array is released, so a = a
// is harmless.
BigInt& BigInt::operator=(const BigInt& b) { return *this = BigInt(b); }

BigInt& BigInt::operator=(BigInt&& b) noexcept {
  if (&b == this) return *this;
  std::swap(length, b.length);
  std::swap(digits, b.digits);
  b.Resize(0);
  return *this;
}
