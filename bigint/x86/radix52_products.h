/// Plain products and squares of numbers in radix 2^52 on AVX-512 IFMA vectors:
/// classical kernels with the sums in registers, and Karatsuba's method over
/// them. They serve the vector Montgomery multiplication of long moduli, whose
/// reduction is done by products too. Internal to bigint/x86/.
#pragma once

#include <cstdint>

#include "bigint/x86/montgomery_ifma.h"

#if LARGEPRIME_IFMA_KERNEL

namespace limbs::radix52 {

// Operands are n whole vectors of 8 normalised digits (below 2^52), value =
// sum of digit[i] 2^(52 i); products are 2n vectors of normalised digits.

/// The classical kernels serve up to this many vectors (Karatsuba's method
/// starts at most one above).
constexpr uint32_t kMaxClassicalVectors = 16;

/// r[0..8 n) = the normalised digits of the value of the lanes x[0..8 n),
/// taken as signed 64-bit integers below 2^62 in magnitude, modulo
/// 2^(52 8 n); returns the carry out of the top, floor(value / 2^(52 8 n)),
/// which is negative for a negative value. r may be x.
int64_t NormalizeDigits(uint64_t* r, const uint64_t* x, uint32_t vectors);

/// r[0..8 n) = x + y lane by lane, or x - y where subtract (lanes as signed
/// 64-bit integers), unnormalised, for x of n vectors and y of yVectors <= n,
/// zero above. r may be x or y.
void AddLanes(uint64_t* r, const uint64_t* x, uint32_t vectors, const uint64_t* y,
              uint32_t yVectors, bool subtract);

/// Scratch words that Multiply and Square need for n-vector operands.
uint32_t ProductScratchWords(uint32_t vectors);

/// r[0..16 n) = a[0..8 n) b[0..8 n), n >= 1, by the classical kernel or
/// Karatsuba's method according to n; r overlaps neither a, b nor scratch.
void Multiply(uint64_t* r, const uint64_t* a, const uint64_t* b, uint32_t vectors,
              uint64_t* scratch);
/// r[0..16 n) = a a, each cross product taken once, as Multiply.
void Square(uint64_t* r, const uint64_t* a, uint32_t vectors, uint64_t* scratch);

/// Scratch words that MultiplyLow needs for n-vector operands.
uint32_t MultiplyLowScratchWords(uint32_t vectors);
/// r[0..8 n) = a b mod 2^(52 8 n), the low half of the product, at about the
/// cost of its lower columns; as Multiply.
void MultiplyLow(uint64_t* r, const uint64_t* a, const uint64_t* b, uint32_t vectors,
                 uint64_t* scratch);

/// The classical kernels alone, for n <= kMaxClassicalVectors.
void MultiplyClassical(uint64_t* r, const uint64_t* a, const uint64_t* b, uint32_t vectors);
void SquareClassical(uint64_t* r, const uint64_t* a, uint32_t vectors);

/// One step of Karatsuba's method, its three half-size products formed by
/// Multiply (Square), n >= 2: for the measurements behind the thresholds.
void KaratsubaMultiply(uint64_t* r, const uint64_t* a, const uint64_t* b, uint32_t vectors,
                       uint64_t* scratch);
void KaratsubaSquare(uint64_t* r, const uint64_t* a, uint32_t vectors, uint64_t* scratch);

}  // namespace limbs::radix52

#endif  // LARGEPRIME_IFMA_KERNEL
