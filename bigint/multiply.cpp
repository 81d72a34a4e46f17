/// BigInt multiplication by shift-and-add over the bits of the right operand.
#include "bigint/bigint.h"

BigInt& BigInt::operator*=(BigInt b) {
  BigInt multiplicand(*this);
  *this = 0u;
  // b is this call's own copy: it serves as the multiplier and is consumed.
  while (b.IsNonZero()) {
    if (b.LowBits(1) != 0) *this += multiplicand;
    b >>= 1;
    multiplicand <<= 1;
  }
  return *this;
}

BigInt BigInt::operator*(BigInt b) const {
  BigInt product(*this);
  product *= b;
  return product;
}
