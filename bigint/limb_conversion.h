/// Moving values between BigInt's base-65536 digits and the wide limbs of the
/// kernels in bigint/limbs/limbs.h. Internal to the bigint library.
#pragma once

#include <cstdint>

#include "bigint/bigint.h"
#include "bigint/limbs/limbs.h"

namespace limbs {

constexpr uint32_t kDigitsPerLimb = kLimbBits / BigInt::kDigitBits;

/// Number of significant digits of x (0 for zero of any length).
uint32_t SignificantDigits(const BigInt& x);
/// x's value as limbs, without leading zero limbs (zero is the empty vector).
LimbVector ToLimbs(const BigInt& x);
/// Number of base-65536 digits the value x[0..n) needs (0 for zero).
uint32_t DigitsNeeded(const Limb* x, uint32_t n);
/// Writes the value x[0..n) into all Length() digits of target; the value must
/// fit in that many digits.
void StoreLimbs(const Limb* x, uint32_t n, BigInt* target);
/// The value x as a BigInt of the given length (at least DigitsNeeded).
BigInt ToBigInt(const LimbVector& x, uint32_t length);

}  // namespace limbs
