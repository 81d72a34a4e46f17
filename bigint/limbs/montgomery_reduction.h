/// Montgomery reduction of a full product, for moduli long enough that the
/// product is cheaper formed on its own (by Karatsuba's method) than
/// interleaved with the reduction: word by word, or by two more products.
/// Internal to the bigint library.
#pragma once

#include <cstdint>

#include "bigint/limbs/limbs.h"

namespace limbs {

/// r[0..n) = a b mod beta^n for n-limb a and b: the low half of the product,
/// at about the cost of the full product's lower columns. r must not overlap a,
/// b or scratch, which holds MultiplyLowScratchLimbs(n) limbs.
void MultiplyLow(Limb* r, const Limb* a, const Limb* b, uint32_t n, Limb* scratch,
                 const ProductBasecase& basecase = kPortableBasecase);
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
/// h limbs, all products on the given basecase. scratch holds
/// ReduceByProductsScratchLimbs(n) limbs.
void ReduceByProducts(Limb* r, const Limb* t, const Limb* m, uint32_t n,
                      const ReductionConstants& constants, Limb* scratch,
                      const ProductBasecase& basecase = kPortableBasecase);
uint32_t ReduceByProductsScratchLimbs(uint32_t n);

}  // namespace limbs
