/// Addition and subtraction of equal-length limb arrays on the x86 carry flag.
#include <immintrin.h>

#include "bigint/limbs/limbs.h"

namespace limbs {

namespace {

// The add-with-carry and subtract-with-borrow instructions belong to the base
// instruction set, so every x86 processor has them; compilers reach them
// through these intrinsics and keep the carry in the flags from one step to the
// next (docs/tuning.md has the gain over the portable form). The results go
// through a local of the intrinsic's own type, which the compiler keeps in a
// register.
#if defined(__x86_64__)
[[maybe_unused]] inline unsigned char AddWithCarry(unsigned char carry, uint64_t a, uint64_t b,
                                                   uint64_t* sum) {
  unsigned long long result;
  carry = _addcarry_u64(carry, a, b, &result);
  *sum = result;
  return carry;
}

[[maybe_unused]] inline unsigned char SubtractWithBorrow(unsigned char borrow, uint64_t a,
                                                         uint64_t b, uint64_t* difference) {
  unsigned long long result;
  borrow = _subborrow_u64(borrow, a, b, &result);
  *difference = result;
  return borrow;
}
#endif

[[maybe_unused]] inline unsigned char AddWithCarry(unsigned char carry, uint32_t a, uint32_t b,
                                                   uint32_t* sum) {
  unsigned int result;
  carry = _addcarry_u32(carry, a, b, &result);
  *sum = result;
  return carry;
}

[[maybe_unused]] inline unsigned char SubtractWithBorrow(unsigned char borrow, uint32_t a,
                                                         uint32_t b, uint32_t* difference) {
  unsigned int result;
  borrow = _subborrow_u32(borrow, a, b, &result);
  *difference = result;
  return borrow;
}

}  // namespace

// Four steps a pass, within which the carry stays in the flags.
Limb AddLimbs(Limb* r, const Limb* a, const Limb* b, uint32_t n) {
  unsigned char carry = 0;
  uint32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    carry = AddWithCarry(carry, a[i], b[i], &r[i]);
    carry = AddWithCarry(carry, a[i + 1], b[i + 1], &r[i + 1]);
    carry = AddWithCarry(carry, a[i + 2], b[i + 2], &r[i + 2]);
    carry = AddWithCarry(carry, a[i + 3], b[i + 3], &r[i + 3]);
  }
  for (; i < n; ++i) carry = AddWithCarry(carry, a[i], b[i], &r[i]);
  return carry;
}

Limb SubtractLimbs(Limb* r, const Limb* a, const Limb* b, uint32_t n) {
  unsigned char borrow = 0;
  uint32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    borrow = SubtractWithBorrow(borrow, a[i], b[i], &r[i]);
    borrow = SubtractWithBorrow(borrow, a[i + 1], b[i + 1], &r[i + 1]);
    borrow = SubtractWithBorrow(borrow, a[i + 2], b[i + 2], &r[i + 2]);
    borrow = SubtractWithBorrow(borrow, a[i + 3], b[i + 3], &r[i + 3]);
  }
  for (; i < n; ++i) borrow = SubtractWithBorrow(borrow, a[i], b[i], &r[i]);
  return borrow;
}

}  // namespace limbs
