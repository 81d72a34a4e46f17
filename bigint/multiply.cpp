/// BigInt multiplication on wide limbs: the classical algorithm for short
/// operands, Karatsuba's and Toom-Cook 3-way and 4-way for long ones, with a dedicated
/// squaring when both operands are equal.
#include "bigint/bigint.h"
#include "bigint/limb_conversion.h"

// Both operands are read into limbs before a is written, so b may be a itself.
BigInt& BigInt::operator*=(const BigInt& b) {
  const limbs::LimbVector x = limbs::ToLimbs(*this);
  const limbs::LimbVector y = limbs::ToLimbs(b);
  const auto nx = static_cast<uint32_t>(x.size());
  const auto ny = static_cast<uint32_t>(y.size());
  limbs::LimbVector product(nx + ny);
  if (nx != 0 && ny != 0) {
    limbs::LimbVector scratch(limbs::ProductScratchLimbs(nx > ny ? nx : ny));
    if (x == y) {
      limbs::FastSquare(product.data(), x.data(), nx, scratch.data());
    } else {
      limbs::FastMultiply(product.data(), x.data(), nx, y.data(), ny, scratch.data());
    }
  }
  // The product keeps a's length (at least one digit) and grows only as far as
  // its value needs.
  uint32_t productLength = length > 1 ? length : 1;
  const uint32_t needed = limbs::DigitsNeeded(product.data(), nx + ny);
  if (needed > productLength) productLength = needed;
  if (productLength != length) Resize(productLength);
  limbs::StoreLimbs(product.data(), nx + ny, this);
  return *this;
}

BigInt BigInt::operator*(const BigInt& b) const {
  BigInt product(*this);
  product *= b;
  return product;
}
