/// Addition and subtraction of equal-length limb arrays on the x86 carry flag.
#include <immintrin.h>

#include "bigint/limbs/limbs.h"

namespace limbs {

// With 64-bit limbs the loops are written in assembly: compilers keep the
// carry of the add-with-carry intrinsics in the flags only within a run of
// straight-line steps, and save and reload it around every loop branch. Here
// the loop control is `lea` and `dec`, which leave the carry flag alone, so one
// chain of adc (sbb) runs from the lowest limb to the highest, eight limbs a
// pass after the n mod 8 leading ones. Each limb is loaded before it is stored
// at the same index, so r may equal a or b. The carry out comes back through a
// flag output operand.
#if defined(__x86_64__) && !defined(LARGEPRIME_NARROW_LIMBS)
static_assert(sizeof(Limb) == 8, "the x86-64 loops below move 64-bit limbs");

// One step of the chain: the limb at byte offset `offset` past index i.
#define LARGEPRIME_CARRY_STEP(op, offset)               \
  "mov " offset "(%[a],%[i],8), %[t]\n\t" op " " offset \
  "(%[b],%[i],8), %[t]\n\t"                             \
  "mov %[t], " offset "(%[r],%[i],8)\n\t"
#define LARGEPRIME_CARRY_STEPS_4(op, o0, o1, o2, o3) \
  LARGEPRIME_CARRY_STEP(op, o0)                      \
  LARGEPRIME_CARRY_STEP(op, o1) LARGEPRIME_CARRY_STEP(op, o2) LARGEPRIME_CARRY_STEP(op, o3)
#define LARGEPRIME_CARRY_PASS(op)                    \
  LARGEPRIME_CARRY_STEPS_4(op, "0", "8", "16", "24") \
  LARGEPRIME_CARRY_STEPS_4(op, "32", "40", "48", "56")

// The whole chain with `op` (adc or sbb): the n mod 8 leading limbs one at a
// time, then the passes of eight. The xor and the test leave the carry clear.
#define LARGEPRIME_CARRY_CHAIN(op) \
  "xor %k[i], %k[i]\n\t"                                                  \
  "test %[rest], %[rest]\n\t"                                             \
  "jz 2f\n"                                                               \
  "1:\n\t" LARGEPRIME_CARRY_STEP(op, "0")                                 \
  "lea 1(%[i]), %[i]\n\t"                                                 \
  "dec %[rest]\n\t"                                                       \
  "jnz 1b\n"                                                              \
  "2:\n\t"                                                                \
  "jrcxz 4f\n"                                                            \
  "3:\n\t" LARGEPRIME_CARRY_PASS(op)                                      \
  "lea 8(%[i]), %[i]\n\t"                                                 \
  "dec %[blocks]\n\t"                                                     \
  "jnz 3b\n"                                                              \
  "4:\n\t"

Limb AddLimbs(Limb* r, const Limb* a, const Limb* b, uint32_t n) {
  uint64_t rest = n % 8;
  uint64_t blocks = n / 8;
  uint64_t i;
  uint64_t t;
  bool carry;
  __asm__(LARGEPRIME_CARRY_CHAIN("adc")
          : "=@ccc"(carry), [i] "=&r"(i), [t] "=&r"(t), [rest] "+r"(rest), [blocks] "+c"(blocks)
          : [r] "r"(r), [a] "r"(a), [b] "r"(b)
          : "memory");
  return carry;
}

Limb SubtractLimbs(Limb* r, const Limb* a, const Limb* b, uint32_t n) {
  uint64_t rest = n % 8;
  uint64_t blocks = n / 8;
  uint64_t i;
  uint64_t t;
  bool borrow;
  __asm__(LARGEPRIME_CARRY_CHAIN("sbb")
          : "=@ccc"(borrow), [i] "=&r"(i), [t] "=&r"(t), [rest] "+r"(rest), [blocks] "+c"(blocks)
          : [r] "r"(r), [a] "r"(a), [b] "r"(b)
          : "memory");
  return borrow;
}

#undef LARGEPRIME_CARRY_CHAIN
#undef LARGEPRIME_CARRY_PASS
#undef LARGEPRIME_CARRY_STEPS_4
#undef LARGEPRIME_CARRY_STEP

#else

namespace {

// The add-with-carry and subtract-with-borrow instructions belong to the base
// instruction set, so every x86 processor has them; compilers reach them
// through these intrinsics and keep the carry in the flags from one step to the
// next (docs/tuning.md has the gain over the portable form). The results go
// through a local of the intrinsic's own type, which the compiler keeps in a
// register.
inline unsigned char AddWithCarry(unsigned char carry, uint32_t a, uint32_t b, uint32_t* sum) {
  unsigned int result;
  carry = _addcarry_u32(carry, a, b, &result);
  *sum = result;
  return carry;
}

inline unsigned char SubtractWithBorrow(unsigned char borrow, uint32_t a, uint32_t b,
                                        uint32_t* difference) {
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

#endif

}  // namespace limbs
