/// Addition and subtraction of equal-length limb arrays in portable C++, where
/// the processor folder offers no carry-flag form.
#include "bigint/limbs/limbs.h"

namespace limbs {

Limb AddLimbs(Limb* r, const Limb* a, const Limb* b, uint32_t n) {
  Limb carry = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const WideLimb sum = static_cast<WideLimb>(a[i]) + b[i] + carry;
    r[i] = LowLimb(sum);
    carry = HighLimb(sum);
  }
  return carry;
}

// a - b - borrow as a wide value: a borrow out makes it wrap, setting the low
// bit of its high limb.
Limb SubtractLimbs(Limb* r, const Limb* a, const Limb* b, uint32_t n) {
  Limb borrow = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const WideLimb difference = static_cast<WideLimb>(a[i]) - b[i] - borrow;
    r[i] = LowLimb(difference);
    borrow = HighLimb(difference) & 1;
  }
  return borrow;
}

}  // namespace limbs
