/// Products of radix-2^52 numbers modulo 2^(52 h) - 1 and 2^(52 h) + 1, and
/// from them the high half of a product whose low half is known: the vector
/// Montgomery reduction's multiple of the modulus at about two thirds of the
/// cost of the full product. Internal to bigint/x86/.
#pragma once

#include <cstdint>

#include "bigint/x86/montgomery_ifma.h"

#if LARGEPRIME_IFMA_KERNEL

namespace limbs::radix52 {

// Numbers are normalised digits below 2^52, value = sum of digit[i] 2^(52 i);
// operands of products are whole vectors of 8 digits. A residue modulo
// 2^(52 h) - 1 may be 2^(52 h) - 1 itself, standing for 0; one modulo
// 2^(52 h) + 1 takes h + 1 digits and lies in [0, 2^(52 h)].

/// Scratch words that MultiplyCyclic needs for n-vector operands.
uint32_t MultiplyCyclicScratchWords(uint32_t vectors);
/// r[0..8 n) = a b mod (2^(52 8 n) - 1) for a, b of n vectors. For even n with
/// halves of at least kIfmaCyclicSplitVectors, from the residues modulo
/// 2^(52 4 n) -+ 1: two products of half the size. r overlaps nothing.
void MultiplyCyclic(uint64_t* r, const uint64_t* a, const uint64_t* b, uint32_t vectors,
                    uint64_t* scratch);

/// Digits of the residues of a fixed m of n vectors that HighHalf multiplies
/// by: m modulo 2^(52 h) - 1 takes h of them and modulo 2^(52 h) + 1 h + 1, for
/// h = 8 ceil(n / 2) or a little more, whole vectors that keep halving.
uint32_t HighHalfFoldDigits(uint32_t vectors);
/// cyclic[0..h) = m mod (2^(52 h) - 1), negacyclic[0..h] = m mod (2^(52 h) + 1)
/// for m of n vectors and h = HighHalfFoldDigits(n).
void FoldForHighHalf(uint64_t* cyclic, uint64_t* negacyclic, const uint64_t* m, uint32_t vectors);

/// Scratch words that HighHalf needs for n-vector operands.
uint32_t HighHalfScratchWords(uint32_t vectors);
/// high[0..8 n) = floor(q m / 2^(52 8 n)) for q and m of n vectors, given
/// low = q m mod 2^(52 8 n), 8 n digits, and m's residues from
/// FoldForHighHalf. high overlaps nothing.
void HighHalf(uint64_t* high, const uint64_t* q, const uint64_t* low, uint32_t vectors,
              const uint64_t* mCyclic, const uint64_t* mNegacyclic, uint64_t* scratch);

}  // namespace limbs::radix52

#endif  // LARGEPRIME_IFMA_KERNEL
