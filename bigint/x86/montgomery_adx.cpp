/// Montgomery multiplication on mulx and the adcx/adox carry chains, and the
/// run-time choice of this kernel.
#include "bigint/x86/montgomery_adx.h"

#include "bigint/limbs/montgomery_reduction.h"
#include "bigint/limbs/tuning.h"
#include "bigint/limbs/window_power.h"
#include "bigint/x86/kernels.h"
#include "bigint/x86/tuning.h"

#if LARGEPRIME_ADX_KERNEL
#include <cpuid.h>
#endif

namespace limbs {

#if !LARGEPRIME_ADX_KERNEL

bool AdxAvailable() { return false; }

std::unique_ptr<const ModularKernel> x86::MakeAdxKernel(const LimbVector& /*modulus*/) {
  return nullptr;
}

#else

namespace {

// The functions that run these instructions are compiled for them; nothing
// else in the program is.
#define LARGEPRIME_ADX_TARGET __attribute__((target("bmi2,adx")))

// One limb of a row: limb `offset` of r gets the low half of a[offset] b, the
// high half of the limb before's product (register `in`) on the adcx chain,
// and its own value on the adox chain; the high half goes to register `out`.
#define LARGEPRIME_ROW_STEP(offset, in, out) \
  "mulx " offset "(%[a]), %[low], %[" out    \
  "]\n\t"                                    \
  "adcx %[" in                               \
  "], %[low]\n\t"                            \
  "adox " offset                             \
  "(%[r]), %[low]\n\t"                       \
  "mov %[low], " offset "(%[r])\n\t"

// Limb k of a block: the even ones take the high half from `carry` and leave
// theirs in `high`, the odd ones the other way round.
#define LARGEPRIME_STEP_EVEN(offset) LARGEPRIME_ROW_STEP(offset, "carry", "high")
#define LARGEPRIME_STEP_ODD(offset) LARGEPRIME_ROW_STEP(offset, "high", "carry")
#define LARGEPRIME_STEPS_2(o0, o1) LARGEPRIME_STEP_EVEN(o0) LARGEPRIME_STEP_ODD(o1)
#define LARGEPRIME_STEPS_4(o0, o1, o2, o3) LARGEPRIME_STEPS_2(o0, o1) LARGEPRIME_STEPS_2(o2, o3)
#define LARGEPRIME_ADVANCE(bytes) \
  "lea " bytes                    \
  "(%[a]), %[a]\n\t"              \
  "lea " bytes "(%[r]), %[r]\n\t"
#define LARGEPRIME_HIGH_TO_CARRY "mov %[high], %[carry]\n\t"

// The limbs of a row before its whole blocks of eight, one to seven of them,
// leaving the high half in `carry` and the pointers past them.
#define LARGEPRIME_ROW_LEAD_1 \
  LARGEPRIME_STEP_EVEN("0") LARGEPRIME_HIGH_TO_CARRY LARGEPRIME_ADVANCE("8")
#define LARGEPRIME_ROW_LEAD_2 LARGEPRIME_STEPS_2("0", "8") LARGEPRIME_ADVANCE("16")
#define LARGEPRIME_ROW_LEAD_3  \
  LARGEPRIME_STEPS_2("0", "8") \
  LARGEPRIME_STEP_EVEN("16") LARGEPRIME_HIGH_TO_CARRY LARGEPRIME_ADVANCE("24")
#define LARGEPRIME_ROW_LEAD_4 LARGEPRIME_STEPS_4("0", "8", "16", "24") LARGEPRIME_ADVANCE("32")
#define LARGEPRIME_ROW_LEAD_5              \
  LARGEPRIME_STEPS_4("0", "8", "16", "24") \
  LARGEPRIME_STEP_EVEN("32") LARGEPRIME_HIGH_TO_CARRY LARGEPRIME_ADVANCE("40")
#define LARGEPRIME_ROW_LEAD_6 \
  LARGEPRIME_STEPS_4("0", "8", "16", "24") LARGEPRIME_STEPS_2("32", "40") LARGEPRIME_ADVANCE("48")
#define LARGEPRIME_ROW_LEAD_7              \
  LARGEPRIME_STEPS_4("0", "8", "16", "24") \
  LARGEPRIME_STEPS_2("32", "40")           \
  LARGEPRIME_STEP_EVEN("48") LARGEPRIME_HIGH_TO_CARRY LARGEPRIME_ADVANCE("56")

// The lead limbs, then the blocks of eight; the loop counts with lea and
// jrcxz, which leave both flags alone, and the chains' last carries join the
// high half in `carry` at the end.
#define LARGEPRIME_ROW_BODY(lead) \
  lead "jmp 3f\n"                                               \
  "1:\n\t" LARGEPRIME_STEPS_4("0", "8", "16", "24")              \
      LARGEPRIME_STEPS_4("32", "40", "48", "56") LARGEPRIME_ADVANCE("64") \
  "lea -1(%[blocks]), %[blocks]\n"                              \
  "3:\n\t"                                                      \
  "jrcxz 2f\n\t"                                                \
  "jmp 1b\n"                                                    \
  "2:\n\t"                                                      \
  "adcx %[zero], %[carry]\n\t"                                  \
  "adox %[zero], %[carry]\n\t"

#define LARGEPRIME_ROW(lead)                                                                     \
  __asm__ volatile("xor %k[zero], %k[zero]\n\t" /* clears CF and OF */ LARGEPRIME_ROW_BODY(lead) \
                   : [r] "+&r"(r), [a] "+&r"(a), [blocks] "+&c"(blocks), [carry] "+&r"(carry),   \
                     [low] "=&r"(low), [high] "=&r"(high), [zero] "=&r"(zero)                    \
                   : "d"(b)                                                                      \
                   : "cc", "memory")

// r[0..n) += a[0..n) b + carry, n >= 1; returns the limb carried out. The sum
// fits in n + 1 limbs as a, r < beta^n and b, carry < beta. Each limb adds the
// low half of its product and the high half of the one below on the adcx
// chain and its old value on the adox chain, so the two sums run side by side.
LARGEPRIME_ADX_TARGET inline Limb AddRow(Limb* r, const Limb* a, uint32_t n, Limb b, Limb carry) {
  uint64_t blocks = n / 8;
  uint64_t low, high, zero;
  switch (n % 8) {
    case 0: LARGEPRIME_ROW(""); break;
    case 1: LARGEPRIME_ROW(LARGEPRIME_ROW_LEAD_1); break;
    case 2: LARGEPRIME_ROW(LARGEPRIME_ROW_LEAD_2); break;
    case 3: LARGEPRIME_ROW(LARGEPRIME_ROW_LEAD_3); break;
    case 4: LARGEPRIME_ROW(LARGEPRIME_ROW_LEAD_4); break;
    case 5: LARGEPRIME_ROW(LARGEPRIME_ROW_LEAD_5); break;
    case 6: LARGEPRIME_ROW(LARGEPRIME_ROW_LEAD_6); break;
    default: LARGEPRIME_ROW(LARGEPRIME_ROW_LEAD_7); break;
  }
  return carry;
}

// Every row of a word-by-word reduction in one piece, for n >= 2 limbs: row i
// adds q m with q = t[i] (-m^-1) mod beta to t[i..i+n) and parks the limb it
// carries out in the cleared t[i]. The next row's t[i+1] is final once this
// row's second limb is summed, so its q is formed from the register then,
// not reloaded from memory after the store: that takes the store forwarding
// off the chain from one row to the next. Each row runs its first two limbs,
// then the lead limbs, then the blocks of eight; between rows neither chain is
// live, so imul and cmp may touch the flags there.
#define LARGEPRIME_REDUCE(lead) \
  __asm__ volatile(                                                                     \
      "mov (%[t]), %[q]\n\t"                                                             \
      "imul %[inverse], %[q]\n"                                                          \
      "4:\n\t"                                                                           \
      "mov %[m], %[a]\n\t"                                                               \
      "mov %[t], %[r]\n\t"                                                               \
      "mov %[blockCount], %[blocks]\n\t"                                                 \
      "xor %k[carry], %k[carry]\n\t"                                                     \
      "xor %k[zero], %k[zero]\n\t" /* clears CF and OF */                                \
      LARGEPRIME_STEP_EVEN("0") LARGEPRIME_STEP_ODD("8") "mov %[low], %[next]\n\t"        \
      LARGEPRIME_ADVANCE("16") LARGEPRIME_ROW_BODY(lead)                                  \
      "mov %[carry], (%[t])\n\t"                                                         \
      "lea 8(%[t]), %[t]\n\t"                                                            \
      "mov %[next], %[q]\n\t"                                                            \
      "imul %[inverse], %[q]\n\t"                                                        \
      "cmp %[end], %[t]\n\t"                                                             \
      "jne 4b\n\t"                                                                       \
      : [t] "+&r"(t), [r] "=&r"(r), [a] "=&r"(a), [blocks] "=&c"(blocks),                 \
        [carry] "=&r"(carry), [low] "=&r"(low), [high] "=&r"(high), [zero] "=&r"(zero),   \
        [next] "=&r"(next), [q] "=&d"(q)                                                  \
      : [m] "rm"(m), [inverse] "rm"(negativeInverse), [blockCount] "rm"(blockCount),      \
        [end] "rm"(end)                                                                   \
      : "cc", "memory")

// The reduction's rows for one fixed length, every limb of a row unrolled past
// its first two (`steps`, at their offsets from t[i] and m): no pointer moves
// and no branch inside a row, only the one from row to row.
#define LARGEPRIME_REDUCE_UNROLLED(steps)                                         \
  __asm__ volatile(                                                               \
      "xor %k[zero], %k[zero]\n\t"                                                \
      "mov (%[r]), %[q]\n\t"                                                      \
      "imul %[inverse], %[q]\n"                                                   \
      "4:\n\t"                                                                    \
      "xor %k[carry], %k[carry]\n\t" /* clears CF and OF */                       \
      LARGEPRIME_STEP_EVEN("0") LARGEPRIME_STEP_ODD("8")                          \
          LARGEPRIME_KEEP_NEXT steps LARGEPRIME_REDUCE_ROW_END                    \
      : [r] "+&r"(t), [carry] "=&r"(carry), [low] "=&r"(low), [high] "=&r"(high), \
        [zero] "=&r"(zero), [next] "=&r"(next), [q] "=&d"(q)                      \
      : [a] "r"(m), [inverse] "rm"(negativeInverse), [end] "rm"(end)              \
      : "cc", "memory")
// t[i+1] once summed with the row's second limb: the next row's quotient.
#define LARGEPRIME_KEEP_NEXT "mov %[low], %[next]\n\t"
// The chains' last carries join the high half in `carry`, parked in the
// cleared t[i]; then the next row's quotient, and on to it.
#define LARGEPRIME_REDUCE_ROW_END \
  "adcx %[zero], %[carry]\n\t"    \
  "adox %[zero], %[carry]\n\t"    \
  "mov %[carry], (%[r])\n\t"      \
  "lea 8(%[r]), %[r]\n\t"         \
  "mov %[next], %[q]\n\t"         \
  "imul %[inverse], %[q]\n\t"     \
  "cmp %[end], %[r]\n\t"          \
  "jne 4b\n\t"

#define LARGEPRIME_STEPS_8(o0, o1, o2, o3, o4, o5, o6, o7) \
  LARGEPRIME_STEPS_4(o0, o1, o2, o3) LARGEPRIME_STEPS_4(o4, o5, o6, o7)
// Limbs 2 to 15 of a row of 16.
#define LARGEPRIME_STEPS_2_TO_15                                     \
  LARGEPRIME_STEPS_8("16", "24", "32", "40", "48", "56", "64", "72") \
  LARGEPRIME_STEPS_4("80", "88", "96", "104") LARGEPRIME_STEPS_2("112", "120")

// As ReduceRows for n = 16, the moduli of 1024 bits.
LARGEPRIME_ADX_TARGET inline void ReduceRows16(Limb* t, const Limb* m, Limb negativeInverse) {
  const Limb* const end = t + 16;
  uint64_t carry, low, high, zero, next, q;
  LARGEPRIME_REDUCE_UNROLLED(LARGEPRIME_STEPS_2_TO_15);
}

// The rows of a reduction of a multiple of 8 limbs run in tiles: eight rows
// at a time pass over an eight-limb window of t held in registers, so each
// limb of t is loaded and stored once per eight rows instead of once per row.
// A row's piece across one window ends with its carry (high half plus both
// flags, below beta) saved for its piece across the next window. Each piece starts with
// both flags cleared, so the pieces of one window's eight rows overlap,
// each a step behind the one before on the window's registers. The
// reduction takes 8 to 10 % less time than with rows over memory at 24 and
// 32 limbs and 15 to 18 % from 40 to 88, but the rows alone only 3 % at 16,
// where the first window's chain of quotients weighs more (docs/tuning.md).
//
// One step of row r (quotient q_r in rdx) in window w (%[m] at m[8w]): the
// low half of m[8w + k - r] q_r plus the high half before it (register `in`)
// on the adcx chain is added to limb k of the window on the adox chain; the
// high half goes to `out`.
#define LARGEPRIME_TILE_STEP(k, r, in, out)      \
  "mulx 8*(" #k "-" #r ")(%[m]), %[low], %[" out \
  "]\n\t"                                        \
  "adcx %[" in                                   \
  "], %[low]\n\t"                                \
  "adox %[low], %[w" #k "]\n\t"
#define LARGEPRIME_TILE_EVEN(k, r) LARGEPRIME_TILE_STEP(k, r, "carry", "high")
#define LARGEPRIME_TILE_ODD(k, r) LARGEPRIME_TILE_STEP(k, r, "high", "carry")
#define LARGEPRIME_TILE_2(a, b, r) LARGEPRIME_TILE_EVEN(a, r) LARGEPRIME_TILE_ODD(b, r)
#define LARGEPRIME_TILE_4(a, b, c, d, r) LARGEPRIME_TILE_2(a, b, r) LARGEPRIME_TILE_2(c, d, r)
#define LARGEPRIME_TILE_8(r) LARGEPRIME_TILE_4(0, 1, 2, 3, r) LARGEPRIME_TILE_4(4, 5, 6, 7, r)
// Both chains' last carries join the high half; the sum stays below beta.
#define LARGEPRIME_TILE_CLOSE(reg) \
  "adcx %[zero], %[" reg           \
  "]\n\t"                          \
  "adox %[zero], %[" reg "]\n\t"
// Limbs 0 to 6 of a window, all that the last window of a group holds.
#define LARGEPRIME_TILE_WINDOW(op) op(0) op(1) op(2) op(3) op(4) op(5) op(6)
#define LARGEPRIME_TILE_LOAD(k) "mov 8*" #k "(%[t]), %[w" #k "]\n\t"
#define LARGEPRIME_TILE_STORE(k) "mov %[w" #k "], 8*" #k "(%[t])\n\t"
#define LARGEPRIME_TILE_SAVE(r, reg) "mov %[" reg "], 8*" #r "+%[carries]\n\t"

// The first window of a group of rows: row r's quotient is formed from limb r
// of the window once rows 0 to r-1 have passed it, and the row covers limbs
// r to 7, its high half ending in `last`.
#define LARGEPRIME_TILE_FIRST_ROW(r, steps, last) \
  "mov %[w" #r                                    \
  "], %%rdx\n\t"                                  \
  "imul %[inverse], %%rdx\n\t"                    \
  "mov %%rdx, 8*" #r                              \
  "+%[quotients]\n\t"                             \
  "xor %k[carry], %k[carry]\n\t" steps            \
  LARGEPRIME_TILE_CLOSE(last) LARGEPRIME_TILE_SAVE(r, last)
#define LARGEPRIME_TILE_FIRST_ROWS_0_TO_3                                                        \
  LARGEPRIME_TILE_FIRST_ROW(0, LARGEPRIME_TILE_8(0), "carry")                                    \
  LARGEPRIME_TILE_FIRST_ROW(                                                                     \
      1, LARGEPRIME_TILE_4(1, 2, 3, 4, 1) LARGEPRIME_TILE_2(5, 6, 1) LARGEPRIME_TILE_EVEN(7, 1), \
      "high")                                                                                    \
  LARGEPRIME_TILE_FIRST_ROW(2, LARGEPRIME_TILE_4(2, 3, 4, 5, 2) LARGEPRIME_TILE_2(6, 7, 2),      \
                            "carry")                                                             \
  LARGEPRIME_TILE_FIRST_ROW(3, LARGEPRIME_TILE_4(3, 4, 5, 6, 3) LARGEPRIME_TILE_EVEN(7, 3), "high")
#define LARGEPRIME_TILE_FIRST_ROWS_4_TO_7                                                     \
  LARGEPRIME_TILE_FIRST_ROW(4, LARGEPRIME_TILE_4(4, 5, 6, 7, 4), "carry")                     \
  LARGEPRIME_TILE_FIRST_ROW(5, LARGEPRIME_TILE_2(5, 6, 5) LARGEPRIME_TILE_EVEN(7, 5), "high") \
  LARGEPRIME_TILE_FIRST_ROW(6, LARGEPRIME_TILE_2(6, 7, 6), "carry")                           \
  LARGEPRIME_TILE_FIRST_ROW(7, LARGEPRIME_TILE_EVEN(7, 7), "high")

// Row r's piece across a later window starts from its saved quotient and
// carry, with both flags cleared by the xor.
#define LARGEPRIME_TILE_RESUME(r) \
  "mov 8*" #r                     \
  "+%[quotients], %%rdx\n\t"      \
  "xor %k[low], %k[low]\n\t"      \
  "mov 8*" #r "+%[carries], %[carry]\n\t"
// A whole window: every row covers limbs 0 to 7.
#define LARGEPRIME_TILE_FULL_ROW(r) \
  LARGEPRIME_TILE_RESUME(r)         \
  LARGEPRIME_TILE_8(r) LARGEPRIME_TILE_CLOSE("carry") LARGEPRIME_TILE_SAVE(r, "carry")
#define LARGEPRIME_TILE_FULL_ROWS \
  LARGEPRIME_TILE_FULL_ROW(0)     \
  LARGEPRIME_TILE_FULL_ROW(1)     \
  LARGEPRIME_TILE_FULL_ROW(2)     \
  LARGEPRIME_TILE_FULL_ROW(3)     \
  LARGEPRIME_TILE_FULL_ROW(4)     \
  LARGEPRIME_TILE_FULL_ROW(5) LARGEPRIME_TILE_FULL_ROW(6) LARGEPRIME_TILE_FULL_ROW(7)

// The last window, limbs n to n+6 of the group: row r covers limbs 0 to r-1,
// and its final carry is parked in the cleared limb r of the group, 8n bytes
// below the window (row 0 has no limb here and parks its saved carry).
#define LARGEPRIME_TILE_PARK(r, reg) "mov %[" reg "], 8*" #r "-%c[span](%[t])\n\t"
#define LARGEPRIME_TILE_LAST_ROW(r, steps, last) \
  LARGEPRIME_TILE_RESUME(r) steps LARGEPRIME_TILE_CLOSE(last) LARGEPRIME_TILE_PARK(r, last)
#define LARGEPRIME_TILE_LAST_ROWS_0_TO_3                                                         \
  "mov %[carries], %[carry]\n\t" LARGEPRIME_TILE_PARK(0, "carry")                                \
      LARGEPRIME_TILE_LAST_ROW(1, LARGEPRIME_TILE_EVEN(0, 1), "high")                            \
          LARGEPRIME_TILE_LAST_ROW(2, LARGEPRIME_TILE_2(0, 1, 2), "carry")                       \
              LARGEPRIME_TILE_LAST_ROW(3, LARGEPRIME_TILE_2(0, 1, 3) LARGEPRIME_TILE_EVEN(2, 3), \
                                       "high")
#define LARGEPRIME_TILE_LAST_ROWS_4_TO_7                                                           \
  LARGEPRIME_TILE_LAST_ROW(4, LARGEPRIME_TILE_4(0, 1, 2, 3, 4), "carry")                           \
  LARGEPRIME_TILE_LAST_ROW(5, LARGEPRIME_TILE_4(0, 1, 2, 3, 5) LARGEPRIME_TILE_EVEN(4, 5), "high") \
  LARGEPRIME_TILE_LAST_ROW(6, LARGEPRIME_TILE_4(0, 1, 2, 3, 6) LARGEPRIME_TILE_2(4, 5, 6),         \
                           "carry")                                                                \
  LARGEPRIME_TILE_LAST_ROW(                                                                        \
      7, LARGEPRIME_TILE_4(0, 1, 2, 3, 7) LARGEPRIME_TILE_2(4, 5, 7) LARGEPRIME_TILE_EVEN(6, 7),   \
      "high")

constexpr Limb kZeroLimb = 0;

// As ReduceRows for n = Limbs, a multiple of 8: for each group of eight rows,
// the first window, the full windows 1 to n/8 - 1 in a loop, the last window.
// The assembly takes 13 registers and rdx, all that a build with a frame
// pointer (the sanitizers') leaves, so the saved quotients and carries must be
// addressed from the stack or frame pointer: kept out of AddressSanitizer's
// instrumentation (and out of instrumented callers), which could move them to
// a separate frame needing a register of its own.
template <uint32_t Limbs>
LARGEPRIME_ADX_TARGET __attribute__((noinline, no_sanitize("address"))) void ReduceRowsInTiles(
    Limb* t, const Limb* m, Limb negativeInverse) {
  static_assert(Limbs % 8 == 0 && Limbs >= 16, "whole windows, at least one full one");
  const Limb* const lastFullWindow = m + Limbs - 8;
  const Limb* const end = t + Limbs;
  Limb quotients[8], carries[8];
  const Limb* window;
  uint64_t w0, w1, w2, w3, w4, w5, w6, w7, low, high, carry;
  __asm__ volatile(
      "6:\n\t"
      "mov %[base], %[m]\n\t" LARGEPRIME_TILE_WINDOW(LARGEPRIME_TILE_LOAD)
          LARGEPRIME_TILE_LOAD(7) LARGEPRIME_TILE_FIRST_ROWS_0_TO_3 LARGEPRIME_TILE_FIRST_ROWS_4_TO_7
      "7:\n\t"
      "lea 64(%[t]), %[t]\n\t"
      "lea 64(%[m]), %[m]\n\t" LARGEPRIME_TILE_WINDOW(LARGEPRIME_TILE_LOAD)
          LARGEPRIME_TILE_LOAD(7) LARGEPRIME_TILE_FULL_ROWS LARGEPRIME_TILE_WINDOW(
              LARGEPRIME_TILE_STORE) LARGEPRIME_TILE_STORE(7)
      "cmp %[lastFullWindow], %[m]\n\t"
      "jne 7b\n\t"
      "lea 64(%[t]), %[t]\n\t"
      "lea 64(%[m]), %[m]\n\t" LARGEPRIME_TILE_WINDOW(LARGEPRIME_TILE_LOAD)
          LARGEPRIME_TILE_LAST_ROWS_0_TO_3 LARGEPRIME_TILE_LAST_ROWS_4_TO_7
              LARGEPRIME_TILE_WINDOW(LARGEPRIME_TILE_STORE)
      "lea 64-%c[span](%[t]), %[t]\n\t"
      "cmp %[end], %[t]\n\t"
      "jne 6b\n\t"
      : [t] "+&r"(t), [m] "=&r"(window), [w0] "=&r"(w0), [w1] "=&r"(w1), [w2] "=&r"(w2),
        [w3] "=&r"(w3), [w4] "=&r"(w4), [w5] "=&r"(w5), [w6] "=&r"(w6), [w7] "=&r"(w7),
        [low] "=&r"(low), [high] "=&r"(high), [carry] "=&r"(carry), [quotients] "=m"(quotients),
        [carries] "=m"(carries)
      : [base] "m"(m), [lastFullWindow] "m"(lastFullWindow), [end] "m"(end),
        [inverse] "m"(negativeInverse), [zero] "m"(kZeroLimb), [span] "i"(8 * Limbs)
      : "rdx", "cc", "memory");
}

// t[i] = the limb carried out of t[i..i+n) += q m, q = t[i] (-m^-1) mod beta,
// for i = 0 .. n - 1 in turn, n >= 2.
LARGEPRIME_ADX_TARGET inline void ReduceRows(Limb* t, const Limb* m, uint32_t n,
                                             Limb negativeInverse) {
  if (n == 16) return ReduceRows16(t, m, negativeInverse);
  // Every multiple of 8 limbs from 24 below the reduction by products, the
  // moduli of 2048, 3072 and 4096 bits first. (A switch here measured 8 %
  // slower on PowModAdx at 3072 bits, by the code's layout.)
  if (n == 32) return ReduceRowsInTiles<32>(t, m, negativeInverse);
  if (n == 48) return ReduceRowsInTiles<48>(t, m, negativeInverse);
  if (n == 64) return ReduceRowsInTiles<64>(t, m, negativeInverse);
  if (n == 24) return ReduceRowsInTiles<24>(t, m, negativeInverse);
  if (n == 40) return ReduceRowsInTiles<40>(t, m, negativeInverse);
  if (n == 56) return ReduceRowsInTiles<56>(t, m, negativeInverse);
  if (n == 72) return ReduceRowsInTiles<72>(t, m, negativeInverse);
  if (n == 80) return ReduceRowsInTiles<80>(t, m, negativeInverse);
  if (n == 88) return ReduceRowsInTiles<88>(t, m, negativeInverse);
  const uint64_t blockCount = (n - 2) / 8;
  const Limb* const end = t + n;
  Limb *r, *next;
  const Limb* a;
  uint64_t blocks, carry, low, high, zero, q;
  switch ((n - 2) % 8) {
    case 0: LARGEPRIME_REDUCE(""); break;
    case 1: LARGEPRIME_REDUCE(LARGEPRIME_ROW_LEAD_1); break;
    case 2: LARGEPRIME_REDUCE(LARGEPRIME_ROW_LEAD_2); break;
    case 3: LARGEPRIME_REDUCE(LARGEPRIME_ROW_LEAD_3); break;
    case 4: LARGEPRIME_REDUCE(LARGEPRIME_ROW_LEAD_4); break;
    case 5: LARGEPRIME_REDUCE(LARGEPRIME_ROW_LEAD_5); break;
    case 6: LARGEPRIME_REDUCE(LARGEPRIME_ROW_LEAD_6); break;
    default: LARGEPRIME_REDUCE(LARGEPRIME_ROW_LEAD_7); break;
  }
}

// r[0..2n) = 2 r + a[i]^2 at limb 2i for every i, for the cross products r of
// a square (below beta^(2n) / 2, so nothing carries out), n >= 1: the doubling
// shifts each limb left through the adcx chain (x + x + CF), the squares join
// on the adox chain.
LARGEPRIME_ADX_TARGET inline void DoubleAndAddDiagonal(Limb* r, const Limb* a, uint64_t n) {
  uint64_t low, high, x, y, zero;
  __asm__ volatile(
      "xor %k[zero], %k[zero]\n"  // clears CF and OF
      "1:\n\t"
      "mov (%[a]), %%rdx\n\t"
      "mulx %%rdx, %[low], %[high]\n\t"
      "mov (%[r]), %[x]\n\t"
      "adcx %[x], %[x]\n\t"
      "mov 8(%[r]), %[y]\n\t"
      "adcx %[y], %[y]\n\t"
      "adox %[low], %[x]\n\t"
      "adox %[high], %[y]\n\t"
      "mov %[x], (%[r])\n\t"
      "mov %[y], 8(%[r])\n\t"
      "lea 8(%[a]), %[a]\n\t"
      "lea 16(%[r]), %[r]\n\t"
      "lea -1(%[n]), %[n]\n\t"
      "jrcxz 2f\n\t"
      "jmp 1b\n"
      "2:\n\t"
      : [r] "+&r"(r), [a] "+&r"(a), [n] "+&c"(n), [low] "=&r"(low), [high] "=&r"(high),
        [x] "=&r"(x), [y] "=&r"(y), [zero] "=&r"(zero)
      :
      : "rdx", "cc", "memory");
}

// The first k limbs of a row at their offsets, k = 1 .. 15: a row of odd
// length leaves its high half in `high`, one of even length in `carry`.
#define LARGEPRIME_FIRST_1 LARGEPRIME_STEP_EVEN("0")
#define LARGEPRIME_FIRST_2 LARGEPRIME_FIRST_1 LARGEPRIME_STEP_ODD("8")
#define LARGEPRIME_FIRST_3 LARGEPRIME_FIRST_2 LARGEPRIME_STEP_EVEN("16")
#define LARGEPRIME_FIRST_4 LARGEPRIME_FIRST_3 LARGEPRIME_STEP_ODD("24")
#define LARGEPRIME_FIRST_5 LARGEPRIME_FIRST_4 LARGEPRIME_STEP_EVEN("32")
#define LARGEPRIME_FIRST_6 LARGEPRIME_FIRST_5 LARGEPRIME_STEP_ODD("40")
#define LARGEPRIME_FIRST_7 LARGEPRIME_FIRST_6 LARGEPRIME_STEP_EVEN("48")
#define LARGEPRIME_FIRST_8 LARGEPRIME_FIRST_7 LARGEPRIME_STEP_ODD("56")
#define LARGEPRIME_FIRST_9 LARGEPRIME_FIRST_8 LARGEPRIME_STEP_EVEN("64")
#define LARGEPRIME_FIRST_10 LARGEPRIME_FIRST_9 LARGEPRIME_STEP_ODD("72")
#define LARGEPRIME_FIRST_11 LARGEPRIME_FIRST_10 LARGEPRIME_STEP_EVEN("80")
#define LARGEPRIME_FIRST_12 LARGEPRIME_FIRST_11 LARGEPRIME_STEP_ODD("88")
#define LARGEPRIME_FIRST_13 LARGEPRIME_FIRST_12 LARGEPRIME_STEP_EVEN("96")
#define LARGEPRIME_FIRST_14 LARGEPRIME_FIRST_13 LARGEPRIME_STEP_ODD("104")
#define LARGEPRIME_FIRST_15 LARGEPRIME_FIRST_14 LARGEPRIME_STEP_EVEN("112")

// Row i of the cross products of a 16-limb square, of `length` = 15 - i
// limbs: r[2i+1..i+16) += a[i] a[i+1..16) with [a] at a + i + 1 and [r] at
// r + 2i + 1, the limb carried out (from register `out`) stored at r[i+16],
// and both pointers moved on to row i + 1.
#define LARGEPRIME_TRIANGLE_ROW(length, bytes, out)     \
  "mov -8(%[a]), %%rdx\n\t"                             \
  "xor %k[carry], %k[carry]\n\t" /* clears CF and OF */ \
      LARGEPRIME_FIRST_##length                         \
      LARGEPRIME_TRIANGLE_ROW_END(bytes, "%[" out "]")
#define LARGEPRIME_TRIANGLE_ROW_END(bytes, out) \
  "adcx %[zero], " out                          \
  "\n\t"                                        \
  "adox %[zero], " out                          \
  "\n\t"                                        \
  "mov " out ", " bytes                         \
  "(%[r])\n\t"                                  \
  "lea 8(%[a]), %[a]\n\t"                       \
  "lea 16(%[r]), %[r]\n\t"
#define LARGEPRIME_TRIANGLE_16                \
  LARGEPRIME_TRIANGLE_ROW(15, "120", "high")  \
  LARGEPRIME_TRIANGLE_ROW(14, "112", "carry") \
  LARGEPRIME_TRIANGLE_ROW(13, "104", "high")  \
  LARGEPRIME_TRIANGLE_ROW(12, "96", "carry")  \
  LARGEPRIME_TRIANGLE_ROW(11, "88", "high")   \
  LARGEPRIME_TRIANGLE_ROW(10, "80", "carry")  \
  LARGEPRIME_TRIANGLE_ROW(9, "72", "high")    \
  LARGEPRIME_TRIANGLE_ROW(8, "64", "carry")   \
  LARGEPRIME_TRIANGLE_ROW(7, "56", "high")    \
  LARGEPRIME_TRIANGLE_ROW(6, "48", "carry")   \
  LARGEPRIME_TRIANGLE_ROW(5, "40", "high")    \
  LARGEPRIME_TRIANGLE_ROW(4, "32", "carry")   \
  LARGEPRIME_TRIANGLE_ROW(3, "24", "high")    \
  LARGEPRIME_TRIANGLE_ROW(2, "16", "carry")   \
  LARGEPRIME_TRIANGLE_ROW(1, "8", "high")

// r[0..32) = the sum of a[i] a[j] beta^(i+j) over i < j < 16: every row of
// the triangle unrolled in one piece, with no branch.
LARGEPRIME_ADX_TARGET void CrossProducts16(Limb* r, const Limb* a) {
  for (uint32_t i = 0; i < 16; ++i) r[i] = 0;
  r[31] = 0;
  Limb* rows = r + 1;
  const Limb* multiplicands = a + 1;
  uint64_t carry, low, high, zero;
  __asm__ volatile("xor %k[zero], %k[zero]\n\t" LARGEPRIME_TRIANGLE_16
                   : [r] "+&r"(rows), [a] "+&r"(multiplicands), [carry] "=&r"(carry),
                     [low] "=&r"(low), [high] "=&r"(high), [zero] "=&r"(zero)
                   :
                   : "rdx", "cc", "memory");
}

// r[0..16+nb) = a[0..16) b[0..nb), nb >= 1, all rows in one piece of
// assembly: each row adds a b[i] at limb i, unrolled, and stores the limb it
// carries out at limb 16 + i, which no row has reached yet.
LARGEPRIME_ADX_TARGET void Multiply16(Limb* r, const Limb* a, const Limb* b, uint32_t nb) {
  for (uint32_t i = 0; i < 16; ++i) r[i] = 0;
  const Limb* const end = b + nb;
  uint64_t carry, low, high, zero;
  __asm__ volatile(
      "xor %k[zero], %k[zero]\n"
      "1:\n\t"
      "mov (%[b]), %%rdx\n\t"
      "xor %k[carry], %k[carry]\n\t"  // clears CF and OF
      LARGEPRIME_STEPS_2("0", "8") LARGEPRIME_STEPS_2_TO_15
      "adcx %[zero], %[carry]\n\t"
      "adox %[zero], %[carry]\n\t"
      "mov %[carry], 128(%[r])\n\t"
      "lea 8(%[r]), %[r]\n\t"
      "lea 8(%[b]), %[b]\n\t"
      "cmp %[end], %[b]\n\t"
      "jne 1b\n\t"
      : [r] "+&r"(r), [b] "+&r"(b), [carry] "=&r"(carry), [low] "=&r"(low), [high] "=&r"(high),
        [zero] "=&r"(zero)
      : [a] "r"(a), [end] "rm"(end)
      : "rdx", "cc", "memory");
}

// One row of kRowLimbs limbs, every limb unrolled, each limb's step labelled
// (100 + its index) so that a shorter row of L limbs can enter at step
// kRowLimbs - L with its pointers moved back by as many limbs: every row then
// ends at the same last step, which leaves the high half in `carry`, and its
// limb carried out lands kRowLimbs limbs past the moved pointer.
#define LARGEPRIME_ENTRY_PAIR(even, evenOffset, odd, oddOffset) \
#even ":\n\t" LARGEPRIME_STEP_EVEN(#evenOffset) #odd ":\n\t" LARGEPRIME_STEP_ODD(#oddOffset)
#define LARGEPRIME_UNROLLED_ROW             \
  LARGEPRIME_ENTRY_PAIR(100, 0, 101, 8)     \
  LARGEPRIME_ENTRY_PAIR(102, 16, 103, 24)   \
  LARGEPRIME_ENTRY_PAIR(104, 32, 105, 40)   \
  LARGEPRIME_ENTRY_PAIR(106, 48, 107, 56)   \
  LARGEPRIME_ENTRY_PAIR(108, 64, 109, 72)   \
  LARGEPRIME_ENTRY_PAIR(110, 80, 111, 88)   \
  LARGEPRIME_ENTRY_PAIR(112, 96, 113, 104)  \
  LARGEPRIME_ENTRY_PAIR(114, 112, 115, 120) \
  LARGEPRIME_ENTRY_PAIR(116, 128, 117, 136) \
  LARGEPRIME_ENTRY_PAIR(118, 144, 119, 152) \
  LARGEPRIME_ENTRY_PAIR(120, 160, 121, 168) \
  LARGEPRIME_ENTRY_PAIR(122, 176, 123, 184) \
  LARGEPRIME_ENTRY_PAIR(124, 192, 125, 200) \
  LARGEPRIME_ENTRY_PAIR(126, 208, 127, 216) \
  LARGEPRIME_ENTRY_PAIR(128, 224, 129, 232) \
  LARGEPRIME_ENTRY_PAIR(130, 240, 131, 248) \
  LARGEPRIME_ENTRY_PAIR(132, 256, 133, 264) \
  LARGEPRIME_ENTRY_PAIR(134, 272, 135, 280) \
  LARGEPRIME_ENTRY_PAIR(136, 288, 137, 296) \
  LARGEPRIME_ENTRY_PAIR(138, 304, 139, 312) \
  LARGEPRIME_ENTRY_PAIR(140, 320, 141, 328) \
  LARGEPRIME_ENTRY_PAIR(142, 336, 143, 344) \
  LARGEPRIME_ENTRY_PAIR(144, 352, 145, 360) \
  LARGEPRIME_ENTRY_PAIR(146, 368, 147, 376) \
  LARGEPRIME_ENTRY_PAIR(148, 384, 149, 392) \
  LARGEPRIME_ENTRY_PAIR(150, 400, 151, 408) \
  LARGEPRIME_ENTRY_PAIR(152, 416, 153, 424) \
  LARGEPRIME_ENTRY_PAIR(154, 432, 155, 440) \
  LARGEPRIME_ENTRY_PAIR(156, 448, 157, 456) \
  LARGEPRIME_ENTRY_PAIR(158, 464, 159, 472) \
  LARGEPRIME_ENTRY_PAIR(160, 480, 161, 488) \
  LARGEPRIME_ENTRY_PAIR(162, 496, 163, 504)
// The last step (odd) leaves the high half in `carry`; the row's limb carried
// out goes kRowLimbs limbs past the moved pointer into r.
#define LARGEPRIME_STORE_ROW_CARRY "mov %[carry], 512(%[r])\n\t"
constexpr uint32_t kRowLimbs = 64;

// The entry steps' addresses as offsets from the table (label 9), position
// independent, as a compiler's own jump tables. It sits in the code after the
// rows, jumped over, as the Windows assembler has no section stack to put it in
// the read-only data from inside a function.
#define LARGEPRIME_ENTRY_OFFSETS_8(s0, s1, s2, s3, s4, s5, s6, s7)                        \
  ".long " #s0 "b - 9b, " #s1 "b - 9b, " #s2 "b - 9b, " #s3 "b - 9b, " #s4 "b - 9b, " #s5 \
  "b - 9b, " #s6 "b - 9b, " #s7 "b - 9b\n\t"
#define LARGEPRIME_ENTRY_TABLE                                                               \
  "jmp 8f\n\t"                                                                               \
  ".p2align 2\n"                                                                             \
  "9:\n\t" LARGEPRIME_ENTRY_OFFSETS_8(100, 101, 102, 103, 104, 105, 106, 107)                \
      LARGEPRIME_ENTRY_OFFSETS_8(108, 109, 110, 111, 112, 113, 114, 115)                     \
          LARGEPRIME_ENTRY_OFFSETS_8(116, 117, 118, 119, 120, 121, 122, 123)                 \
              LARGEPRIME_ENTRY_OFFSETS_8(124, 125, 126, 127, 128, 129, 130, 131)             \
                  LARGEPRIME_ENTRY_OFFSETS_8(132, 133, 134, 135, 136, 137, 138, 139)         \
                      LARGEPRIME_ENTRY_OFFSETS_8(140, 141, 142, 143, 144, 145, 146, 147)     \
                          LARGEPRIME_ENTRY_OFFSETS_8(148, 149, 150, 151, 152, 153, 154, 155) \
                              LARGEPRIME_ENTRY_OFFSETS_8(156, 157, 158, 159, 160, 161, 162,  \
                                                         163) "8:\n\t"

// A row enters with both registers that may carry the high half in cleared
// (whichever its first step reads), which also clears CF and OF; the jump is
// marked as one through a table, like a compiler's switch under
// -fcf-protection. It ends with the chains' last carries joined to the high
// half.
#define LARGEPRIME_ENTER_ROW(target)                       \
  "xor %k[carry], %k[carry]\n\t"                           \
  "xor %k[high], %k[high]\n\t"                             \
  "notrack jmp *%[" target "]\n\t" LARGEPRIME_UNROLLED_ROW \
  "adcx %[zero], %[carry]\n\t"                             \
  "adox %[zero], %[carry]\n\t"

// r[0..na+nb) = r[0..na) + a[0..na) b[0..nb), 1 <= na <= kRowLimbs, nb >= 1,
// all rows in one piece of assembly: row i adds a b[i] at limb i on the
// unrolled row, entered at the same step each time (so the jump is always
// predicted), and stores the limb it carries out at limb na + i, which no row
// has reached yet.
LARGEPRIME_ADX_TARGET void AddRows(Limb* r, const Limb* a, uint32_t na, const Limb* b,
                                   uint32_t nb) {
  const Limb* const end = b + nb;
  uint64_t skipped = kRowLimbs - na;
  uint64_t target, carry, low, high, zero;
  __asm__ volatile(
      "lea 9f(%%rip), %[target]\n\t"
      "movslq (%[target], %[skipped], 4), %[low]\n\t"
      "add %[low], %[target]\n\t"
      "shl $3, %[skipped]\n\t"
      "sub %[skipped], %[a]\n\t"
      "sub %[skipped], %[r]\n\t"
      "xor %k[zero], %k[zero]\n"
      "1:\n\t"
      "mov (%[b]), %%rdx\n\t" LARGEPRIME_ENTER_ROW("target") LARGEPRIME_STORE_ROW_CARRY
      "lea 8(%[r]), %[r]\n\t"
      "lea 8(%[b]), %[b]\n\t"
      "cmp %[end], %[b]\n\t"
      "jne 1b\n\t" LARGEPRIME_ENTRY_TABLE
      : [r] "+&r"(r), [a] "+&r"(a), [b] "+&r"(b), [skipped] "+&r"(skipped), [target] "=&r"(target),
        [carry] "=&r"(carry), [low] "=&r"(low), [high] "=&r"(high), [zero] "=&r"(zero)
      : [end] "rm"(end)
      : "rdx", "cc", "memory");
}

// r[1..2n-1) = r[1..n) + the sum of a[i] a[j] beta^(i+j) over i < j < n, 2 <=
// n <= kRowLimbs + 1, if that fits (below beta^(2n-1)): row i adds a[i]
// a[i+1..n) at limb 2i + 1 and stores its carry at limb n + i, which no row
// has reached yet; r[0] and r[2n-1] are left alone. Its n - 1 - i limbs
// enter the unrolled row one step later than the row before, so the moved
// pointer into a stays put (at a + n - kRowLimbs) and the one into r moves by
// one limb a row.
LARGEPRIME_ADX_TARGET void TriangleRows(Limb* r, const Limb* a, uint32_t n) {
  uint64_t skipped = kRowLimbs + 1 - n;  // by row 0
  // Bytes from the moved pointers up to a and r (-8 for n = kRowLimbs + 1).
  const int64_t back = 8 * (int64_t{kRowLimbs} - n);
  const Limb* multiplicands = a;
  Limb* rows = r;
  const Limb* row = a;
  uint64_t table, carry, low, high, zero;
  __asm__ volatile(
      "lea 9f(%%rip), %[table]\n\t"
      "sub %[back], %[a]\n\t"
      "sub %[back], %[r]\n\t"
      "xor %k[zero], %k[zero]\n"
      "1:\n\t"
      "mov (%[multiplicands]), %%rdx\n\t"
      "movslq (%[table], %[skipped], 4), %[low]\n\t"
      "add %[table], %[low]\n\t" LARGEPRIME_ENTER_ROW("low") LARGEPRIME_STORE_ROW_CARRY
      "lea 8(%[multiplicands]), %[multiplicands]\n\t"
      "lea 8(%[r]), %[r]\n\t"
      "add $1, %[skipped]\n\t"
      "cmp %[limbs], %[skipped]\n\t"
      "jne 1b\n\t" LARGEPRIME_ENTRY_TABLE
      : [r] "+&r"(rows), [a] "+&r"(row), [multiplicands] "+&r"(multiplicands),
        [skipped] "+&r"(skipped), [table] "=&r"(table), [carry] "=&r"(carry), [low] "=&r"(low),
        [high] "=&r"(high), [zero] "=&r"(zero)
      : [back] "r"(back), [limbs] "i"(kRowLimbs)
      : "rdx", "cc", "memory");
}

// r[0..na+nb) = a[0..na) b[0..nb), 1 <= na <= kRowLimbs, nb >= 1.
LARGEPRIME_ADX_TARGET void MultiplyRows(Limb* r, const Limb* a, uint32_t na, const Limb* b,
                                        uint32_t nb) {
  for (uint32_t i = 0; i < na; ++i) r[i] = 0;
  AddRows(r, a, na, b, nb);
}

// r[0..2n) = the sum of a[i] a[j] beta^(i+j) over i < j < n, 2 <= n <=
// kRowLimbs + 1. From kAdxSquareSplitLimbs on, with a = a1 beta^h + a0, h =
// floor(n / 2): the triangle of a0, then a0 a1 added at limb h as rows of one
// length (each entering the unrolled row at the same step), then the triangle
// of a1 added at limb 2h. The rows of a1's triangle start where a0 a1 ends,
// and those of a0 a1 where a0's triangle ends (its top limb 2h - 1 is clear),
// so every row's carry still lands on a limb no row has reached.
static_assert(x86::kAdxSquareSplitLimbs >= 4, "each half of a split square needs two limbs");
LARGEPRIME_ADX_TARGET void CrossProducts(Limb* r, const Limb* a, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) r[i] = 0;
  r[2 * n - 1] = 0;
  if (n < x86::kAdxSquareSplitLimbs) return TriangleRows(r, a, n);
  const uint32_t h = n / 2;
  TriangleRows(r, a, h);
  AddRows(r + h, a + h, n - h, a, h);
  TriangleRows(r + 2 * h, a + h, n - h);
}

}  // namespace

// Asked of cpuid leaf 7 (structured extended features: BMI2 is bit 8 of EBX,
// ADX bit 19), as not every compiler's __builtin_cpu_supports knows "adx".
bool AdxAvailable() {
  static const bool kSupported = [] {
    uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) return false;
    constexpr uint32_t kBmi2 = 1u << 8;
    constexpr uint32_t kAdx = 1u << 19;
    return (ebx & (kBmi2 | kAdx)) == (kBmi2 | kAdx);
  }();
  return kSupported;
}

std::unique_ptr<const ModularKernel> x86::MakeAdxKernel(const LimbVector& modulus) {
  if (!AdxAvailable()) return nullptr;
  return std::make_unique<MultiplierKernel<MontgomeryModulus, AdxMultiplier> >(
      "adx", MontgomeryModulus(modulus));
}

// The 16-limb rows where an operand has 16 limbs (the leaves of products of
// 128 limbs; their rows have no entry jump), else rows of the longer operand
// where it fits the unrolled row, else of the shorter; the row loop beyond it.
LARGEPRIME_ADX_TARGET void AdxMultiply(Limb* r, const Limb* a, uint32_t na, const Limb* b,
                                       uint32_t nb) {
  if (na == 16) return Multiply16(r, a, b, nb);
  if (nb == 16) return Multiply16(r, b, a, na);
  if (na <= kRowLimbs && (na >= nb || nb > kRowLimbs)) return MultiplyRows(r, a, na, b, nb);
  if (nb <= kRowLimbs) return MultiplyRows(r, b, nb, a, na);
  for (uint32_t i = 0; i < na; ++i) r[i] = 0;
  for (uint32_t i = 0; i < nb; ++i) r[na + i] = AddRow(r + i, a, na, b[i], 0);
}

// The cross products of 16 limbs as one triangle, on the unrolled row where
// each row fits it, else row i adds a[i] a[i+1..n) at limb 2i + 1 through the
// row loop, its carry landing on limb n + i, which no row has reached yet;
// then doubled, with the squares.
LARGEPRIME_ADX_TARGET void AdxSquare(Limb* r, const Limb* a, uint32_t n) {
  if (n == 1) {
    r[0] = r[1] = 0;
  } else if (n == 16) {
    CrossProducts16(r, a);
  } else if (n <= kRowLimbs + 1) {
    CrossProducts(r, a, n);
  } else {
    for (uint32_t i = 0; i < 2 * n; ++i) r[i] = 0;
    for (uint32_t i = 0; i + 1 < n; ++i)
      r[n + i] = AddRow(r + 2 * i + 1, a + i + 1, n - 1 - i, a[i], 0);
  }
  DoubleAndAddDiagonal(r, a, n);
}

// Row i clears limb i of t with q = t[i] (-m^-1) mod beta; the limb it carries
// out belongs at limb n + i, and is parked in the cleared limb i, so no carry
// runs along t. The parked limbs are added at the end: t + q m < (beta^n + m) R,
// so the sum is below beta^n + m with its carry bit, and m comes off only when
// that bit is set. No comparison with m: its outcome is a coin toss for the
// branch predictor, and the next product takes any value below beta^n.
LARGEPRIME_ADX_TARGET void AdxReduce(Limb* r, Limb* t, const Limb* m, uint32_t n,
                                     Limb negativeInverse) {
  if (n == 1) {
    t[0] = AddRow(t, m, 1, t[0] * negativeInverse, 0);
  } else {
    ReduceRows(t, m, n, negativeInverse);
  }
  if (AddLimbs(r, t + n, t, n) != 0) SubtractLimbs(r, r, m, n);
}

// The scratch sizes are counted on the portable thresholds, so these may not
// be lower.
const ProductBasecase kAdxBasecase = {&AdxMultiply,
                                      &AdxSquare,
                                      x86::kAdxKaratsubaMultiplyLimbs,
                                      x86::kAdxKaratsubaSquareLimbs,
                                      kToom3MultiplyThreshold,
                                      x86::kAdxToom3SquareLimbs,
                                      x86::kAdxToom4MultiplyLimbs,
                                      x86::kAdxToom4SquareLimbs};
static_assert(x86::kAdxKaratsubaMultiplyLimbs >= kKaratsubaMultiplyThreshold &&
                  x86::kAdxKaratsubaSquareLimbs >= kKaratsubaSquareThreshold &&
                  x86::kAdxToom3SquareLimbs >= kToom3SquareThreshold &&
                  x86::kAdxToom4MultiplyLimbs >= kToom4MultiplyThreshold &&
                  x86::kAdxToom4SquareLimbs >= kToom4SquareThreshold,
              "the scratch of the subquadratic products would not suffice");

AdxMultiplier::AdxMultiplier(const MontgomeryModulus& modulus)
    : modulus_(modulus), one_(modulus.Size()), product_(2 * modulus.Size()) {
  one_[0] = 1;
  const uint32_t n = modulus.Size();
  const uint32_t reduction =
      n >= kMontgomeryReduceByProductsThreshold ? ReduceByProductsScratchLimbs(n) : 0;
  const uint32_t product = ProductScratchLimbs(n);
  scratch_.resize(reduction > product ? reduction : product);
}

void AdxMultiplier::Reduce(Limb* r) {
  const uint32_t n = Size();
  if (n >= kMontgomeryReduceByProductsThreshold) {
    ReduceByProducts(r, product_.data(), modulus_.Modulus(), n, modulus_.ByProducts(),
                     scratch_.data(), kAdxBasecase);
  } else {
    AdxReduce(r, product_.data(), modulus_.Modulus(), n, modulus_.NegativeInverse());
  }
}

void AdxMultiplier::Multiply(Limb* r, const Limb* a, const Limb* b) {
  FastMultiply(product_.data(), a, Size(), b, Size(), scratch_.data(), kAdxBasecase);
  Reduce(r);
}

void AdxMultiplier::Square(Limb* r, const Limb* a) {
  FastSquare(product_.data(), a, Size(), scratch_.data(), kAdxBasecase);
  Reduce(r);
}

void AdxMultiplier::Enter(Limb* r, const Limb* a) { Multiply(r, a, modulus_.RSquared()); }

// a / R < 1 + m for a below beta^n, so the product is at most m, and m itself
// stands for 0.
void AdxMultiplier::Leave(Limb* r, const Limb* a) {
  Multiply(r, a, one_.data());
  SubtractModulusIfAbove(r, modulus_.Modulus(), Size(), 0);
}

#endif  // LARGEPRIME_ADX_KERNEL

}  // namespace limbs
