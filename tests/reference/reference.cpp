/// The literal bit-serial arithmetic of BigInt, as the test oracle.
#include "tests/reference/reference.h"

namespace reference {

BigInt Multiply(BigInt a, BigInt b) {
  BigInt multiplicand(a);
  a = 0u;
  // b is this call's own copy: it serves as the multiplier and is consumed.
  while (b.IsNonZero()) {
    if (b.LowBits(1) != 0) a += multiplicand;
    b >>= 1;
    multiplicand <<= 1;
  }
  return a;
}

void LongDivide(const BigInt& a, const BigInt& b, BigInt* quotient, BigInt* remainder) {
  if (b == 0u) {
    *quotient = b;
    *remainder = b;
    return;
  }

  BigInt scaled(b);
  uint32_t shift = 0;
  while (scaled < a) {
    scaled <<= BigInt::kDigitBits;
    shift += BigInt::kDigitBits;
  }
  if (scaled == a) {
    *quotient = BigInt(1) << shift;
    *remainder = BigInt(0);
    return;
  }
  // Only removes zero bits that the whole-digit steps brought in.
  while (scaled > a && shift != 0) {
    scaled >>= 1;
    --shift;
  }

  *remainder = a;
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
    result.Digits()[0] |= 1;
    *remainder -= shiftedDivisor;
  }
  *quotient = result;
}

BigInt Quotient(const BigInt& a, const BigInt& b) {
  BigInt quotient;
  BigInt remainder;
  LongDivide(a, b, &quotient, &remainder);
  return quotient;
}

BigInt Remainder(const BigInt& a, const BigInt& b) {
  BigInt quotient;
  BigInt remainder;
  LongDivide(a, b, &quotient, &remainder);
  return remainder;
}

BigInt QuotientBy(const BigInt& a, uint32_t v) { return Quotient(a, BigInt(v)); }

uint32_t RemainderBy(const BigInt& a, uint32_t v) {
  const BigInt remainder = Remainder(a, BigInt(v));
  // The remainder is below v, so its two low digits hold all of it.
  uint32_t value = 0;
  if (remainder.Length() > 1) value = remainder.Digits()[1] << BigInt::kDigitBits;
  if (remainder.Length() > 0) value |= remainder.Digits()[0];
  return value;
}

BigInt PowMod(const BigInt& base, BigInt exponent, const BigInt& modulus) {
  BigInt accumulator(1);
  BigInt runningBase(base);
  while (exponent > 0u) {
    if (exponent.LowBits(1) != 0)
      accumulator = Remainder(Multiply(accumulator, runningBase), modulus);
    exponent = exponent >> 1;
    runningBase = Remainder(Multiply(runningBase, runningBase), modulus);
  }
  return accumulator;
}

namespace {
// 65536^L < 10^(5L): five decimal places per base-65536 digit always suffice.
constexpr uint32_t kDecimalPlacesPerDigit = 5;
}  // namespace

CharString ToDecimalString(const BigInt& x) {
  CharString work;
  if (x.Length() == 0) return work;

  const uint32_t places = kDecimalPlacesPerDigit * x.Length();
  work.Allocate(places + 1);
  // Digits come out least significant first, written from the last place down.
  uint32_t first = places;
  BigInt rest(x);
  while (rest > 0u) {
    --first;
    work[first] = static_cast<char>('0' + RemainderBy(rest, 10));
    rest = QuotientBy(rest, 10);
  }
  if (first == places) work[--first] = '0';  // zero reads as a single 0
  if (first > 0) {
    for (uint32_t i = first; i < places; ++i) work[i - first] = work[i];
    work[places - first] = '\0';
  }
  return work;
}

}  // namespace reference
