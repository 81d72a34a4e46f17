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
/// interleaved 3827 ns against 3815 ns in full at 64 limbs, 4771 against 4704
/// at 72; word by word 5714 ns against 6023 ns by products at 80 limbs, 7986
/// against 7963 at 96, 10588 against 10261 at 112. 32-bit limbs: interleaved
/// 2882 ns against 2873 ns in full at 64 limbs, 6286 against 5991 at 96; word
/// by word 15531 ns against 16177 ns by products at 160 limbs, 21382 against
/// 21380 at 192, 28547 against 27482 at 224.
#if defined(__SIZEOF_INT128__) && !defined(LARGEPRIME_NARROW_LIMBS)
constexpr uint32_t kMontgomeryFullProductThreshold = 64;
constexpr uint32_t kMontgomeryReduceByProductsThreshold = 96;
#else
constexpr uint32_t kMontgomeryFullProductThreshold = 96;
constexpr uint32_t kMontgomeryReduceByProductsThreshold = 192;
#endif

/// Operands of at least this many limbs have their low half product formed
/// from a full product of their low parts (MultiplyLow); below it the low
/// columns are summed directly. Karatsuba's threshold serves: on the
/// development machine, low half products of 64 to 512 limbs with the switch
/// at 24, 32, 48 or 64 limbs differ by under 4% (4356 to 4508 ns at 128 limbs),
/// and so do splits at n/4, n/3, 3n/10 and 2n/5.
constexpr uint32_t kMultiplyLowThreshold = kKaratsubaMultiplyThreshold;

/// r[0..n) = a b mod beta^n for n-limb a and b: the low half of the product,
/// at about the cost of the full product's lower columns. r must not overlap a,
/// b or scratch, which holds MultiplyLowScratchLimbs(n) limbs.
void MultiplyLow(Limb* r, const Limb* a, const Limb* b, uint32_t n, Limb* scratch);
uint32_t MultiplyLowScratchLimbs(uint32_t n);

/// r[0..n) = t / R mod m for t[0..2n) < m R, odd m, R = beta^n, word by word:
/// the multiple q m that clears the low n limbs of t + q m is found one limb of
/// q at a time, column by column from the lowest (HAC 14.32 in product-scanning
/// order). negativeInverse = -m^-1 mod beta. r may overlap neither t nor m.
void ReduceWordByWord(Limb* r, const Limb* t, const Limb* m, uint32_t n, Limb negativeInverse);

/// What ReduceByProducts needs besides the modulus m (odd, n limbs), computed
/// once per modulus: -m^-1 mod R, and m modulo beta^h - 1 and beta^h + 1 with
/// h = ceil(n / 2).
struct ReductionConstants {
  LimbVector inverse;     // -m^-1 mod R: n limbs
  LimbVector cyclic;      // m mod (beta^h - 1): h limbs
  LimbVector negacyclic;  // m mod (beta^h + 1), in [0, beta^h]: h + 1 limbs
};
/// negativeInverse = -m^-1 mod beta.
ReductionConstants MakeReductionConstants(const Limb* m, uint32_t n, Limb negativeInverse);

/// As ReduceWordByWord, by products: q = (t mod R)(-m^-1 mod R) mod R at once,
/// as a low half product, then (t + q m) / R, where the high half of q m comes
/// from q m modulo beta^(2h) - 1 = (beta^h - 1)(beta^h + 1), two products of
/// h limbs. scratch holds ReduceByProductsScratchLimbs(n) limbs.
void ReduceByProducts(Limb* r, const Limb* t, const Limb* m, uint32_t n,
                      const ReductionConstants& constants, Limb* scratch);
uint32_t ReduceByProductsScratchLimbs(uint32_t n);

}  // namespace limbs
