/// Conversion between base-65536 digits and wide limbs.
#include "bigint/limb_conversion.h"

namespace limbs {

uint32_t SignificantDigits(const BigInt& x) {
  uint32_t n = x.Length();
  while (n > 0 && x.Digits()[n - 1] == 0) --n;
  return n;
}

LimbVector ToLimbs(const BigInt& x) {
  const uint32_t digitCount = SignificantDigits(x);
  LimbVector result((digitCount + kDigitsPerLimb - 1) / kDigitsPerLimb);
  for (uint32_t d = 0; d < digitCount; ++d) {
    result[d / kDigitsPerLimb] |= static_cast<Limb>(x.Digits()[d])
                                  << (BigInt::kDigitBits * (d % kDigitsPerLimb));
  }
  return result;
}

uint32_t DigitsNeeded(const Limb* x, uint32_t n) {
  n = SignificantLimbs(x, n);
  if (n == 0) return 0;
  uint32_t digits = (n - 1) * kDigitsPerLimb;
  for (Limb top = x[n - 1]; top != 0; top >>= BigInt::kDigitBits) ++digits;
  return digits;
}

void StoreLimbs(const Limb* x, uint32_t n, BigInt* target) {
  uint32_t* digits = target->Digits();
  for (uint32_t d = 0; d < target->Length(); ++d) {
    const uint32_t i = d / kDigitsPerLimb;
    const Limb limb = i < n ? x[i] : 0;
    digits[d] = static_cast<uint32_t>(limb >> (BigInt::kDigitBits * (d % kDigitsPerLimb))) &
                BigInt::kDigitMask;
  }
}

BigInt ToBigInt(const LimbVector& x, uint32_t length) {
  BigInt result;
  result.Resize(length);
  StoreLimbs(x.data(), static_cast<uint32_t>(x.size()), &result);
  return result;
}

}  // namespace limbs
