/// BigInt comparisons and bit queries. Operands are compared as numbers: a digit
/// beyond an operand's length counts as 0.
#include "bigint/bigint.h"

bool BigInt::IsNonZero() const {
  for (uint32_t i = 0; i < length; ++i) {
    if (digits[i] != 0) return true;
  }
  return false;
}

uint32_t BigInt::LowBits(uint32_t mask) const { return length == 0 ? 0 : digits[0] & mask; }

int32_t BigInt::HighestBit() const {
  for (uint32_t i = length; i-- > 0;) {
    if (digits[i] == 0) continue;
    auto bit = static_cast<int32_t>(kDigitBits * i + kDigitBits - 1);
    while ((digits[i] & (1u << (static_cast<uint32_t>(bit) % kDigitBits))) == 0) --bit;
    return bit;
  }
  return 0;
}

// One scan from the top word down: -1, 0 or 1 as a is below, equal to or above b.
int32_t BigInt::Compare(const BigInt& b) const {
  const uint32_t top = length > b.length ? length : b.length;
  for (uint32_t i = top; i-- > 0;) {
    const uint32_t mine = i < length ? digits[i] : 0;
    const uint32_t theirs = i < b.length ? b.digits[i] : 0;
    if (mine != theirs) return mine < theirs ? -1 : 1;
  }
  return 0;
}

bool BigInt::operator<(const BigInt& b) const { return Compare(b) < 0; }
bool BigInt::operator<=(const BigInt& b) const { return Compare(b) <= 0; }
bool BigInt::operator==(const BigInt& b) const { return Compare(b) == 0; }
bool BigInt::operator>(const BigInt& b) const { return !(*this <= b); }
bool BigInt::operator>=(const BigInt& b) const { return !(*this < b); }

bool BigInt::operator==(uint32_t v) const {
  if (length == 0) return v == 0;
  if (length == 1) return digits[0] == v;
  if (digits[0] != (v & kDigitMask) || (digits[1] & kDigitMask) != (v >> kDigitBits)) return false;
  for (uint32_t i = 2; i < length; ++i) {
    if (digits[i] != 0) return false;
  }
  return true;
}

bool BigInt::operator<=(uint32_t v) const {
  uint32_t top = length;
  while (top > 0 && digits[top - 1] == 0) --top;
  if (top == 0) return true;
  if (top > 2) return false;
  const uint32_t value = top == 2 ? (digits[1] << kDigitBits) | digits[0] : digits[0];
  return v >= value;
}

bool BigInt::operator>(uint32_t v) const { return !(*this <= v); }
