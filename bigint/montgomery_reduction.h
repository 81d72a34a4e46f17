/// Montgomery reduction of a full product, for moduli long enough that the
/// product is cheaper formed on its own (by Karatsuba's method) than
/// interleaved with the reduction: word by word, or by two more products.
/// Internal to the bigint library.
#pragma once

#include <cstdint>

#include "bigint/limbs.h"

namespace limbs {

/// From this many limbs of the modulus on, a Montgomery product is formed in
/// full (FastMultiply, FastSquare) and then reduced; below it the product and
/// the reduction are interleaved column by column. From the second threshold
/// on, the reduction is by products (ReduceByProducts) rather than word by
/// word. Chosen by timing one Montgomery square of n limbs in each form side by
/// side (least of 30 runs; the reductions alone are in bench/product_bench) on
/// the development machine (AMD EPYC, Zen 4, GCC 12 -O3). 64-bit limbs:
/// interleaved 5836 ns against 5826 ns in full at 80 limbs, 8313 against 8163
/// at 96; word by word 51118 ns against 50788 ns by products at 256 limbs,
/// 111295 against 98489 at 384. 32-bit limbs: 6109 against 5927 ns at 96
/// limbs (2882 against 2873 at 64); 36800 against 38953 ns at 256 limbs, 80224
/// against 75635 at 384.
#if defined(__SIZEOF_INT128__) && !defined(LARGEPRIME_NARROW_LIMBS)
constexpr uint32_t kMontgomeryFullProductThreshold = 80;
constexpr uint32_t kMontgomeryReduceByProductsThreshold = 256;
#else
constexpr uint32_t kMontgomeryFullProductThreshold = 96;
constexpr uint32_t kMontgomeryReduceByProductsThreshold = 384;
#endif

/// Operands of at least this many limbs have their low half product formed
/// from a full product of their low parts (MultiplyLow); below it the low
/// columns are summed directly.
constexpr uint32_t kMultiplyLowThreshold = kKaratsubaMultiplyThreshold;

/// r[0..n) = a b mod beta^n for n-limb a and b: the low half of the product,
/// at about the cost of the full product's lower columns. r must not overlap a,
/// b or scratch, which holds MultiplyLowScratchLimbs(n) limbs.
void MultiplyLow(Limb* r, const Limb* a, const Limb* b, uint32_t n, Limb* scratch);
uint32_t MultiplyLowScratchLimbs(uint32_t n);

/// -m^-1 mod R, R = beta^n, for odd m of n limbs with
/// negativeInverse = -m^-1 mod beta: the q with 1 + q m = 0 mod R, found limb
/// by limb as in ReduceWordByWord.
LimbVector NegativeInverseModR(const Limb* m, uint32_t n, Limb negativeInverse);

/// r[0..n) = t / R mod m for t[0..2n) < m R, odd m, R = beta^n, word by word:
/// the multiple q m that clears the low n limbs of t + q m is found one limb of
/// q at a time, column by column from the lowest (HAC 14.32 in product-scanning
/// order). negativeInverse = -m^-1 mod beta. r may overlap neither t nor m.
void ReduceWordByWord(Limb* r, const Limb* t, const Limb* m, uint32_t n, Limb negativeInverse);

/// As ReduceWordByWord, by two products: q = (t mod R) (-m^-1 mod R) mod R at
/// once, as a low half product, then (t + q m) / R. inverse holds -m^-1 mod R
/// (n limbs); scratch holds ReduceByProductsScratchLimbs(n) limbs.
void ReduceByProducts(Limb* r, const Limb* t, const Limb* m, const Limb* inverse, uint32_t n,
                      Limb* scratch);
uint32_t ReduceByProductsScratchLimbs(uint32_t n);

}  // namespace limbs
