/// The tuned numbers of the portable limb kernels: where each algorithm takes
/// over from the one below it. Each is measured by the command named beside it
/// on a release build (`cmake --workflow --preset bench`); the tables behind
/// the values are in docs/tuning.md.
#pragma once

#include <cstdint>

#include "bigint/limbs/limbs.h"

namespace limbs {

// Wide limbs carry twice the bits per product, so every threshold counted in
// limbs is about half its narrow-limb value.
constexpr bool kWideLimbs = kLimbBits == 64;

/// Karatsuba's method from this many limbs for products (squares): one step
/// against the classical algorithm on equal sizes.
/// build/bench/product_bench --benchmark_filter='Karatsuba|Classical'
constexpr uint32_t kKaratsubaMultiplyThreshold = kWideLimbs ? 24 : 40;
constexpr uint32_t kKaratsubaSquareThreshold = kWideLimbs ? 48 : 80;

/// Toom-Cook 3-way from this many limbs for products (squares): one step
/// against one Karatsuba step on equal sizes.
/// build/bench/product_bench --benchmark_filter='Toom3|Karatsuba'
constexpr uint32_t kToom3MultiplyThreshold = kWideLimbs ? 160 : 320;
constexpr uint32_t kToom3SquareThreshold = kWideLimbs ? 208 : 512;

/// Toom-Cook 4-way from this many limbs for products (squares): one step
/// against one Toom-3 step on equal sizes, interleaved in one process (the
/// harness is described in docs/tuning.md). The 32-bit limbs' values, twice
/// the 64-bit ones, held on a native i686 build: products gain 2 to 4 % a step
/// from 352 limbs, too little to show in an exponentiation, and squares gain
/// from 640.
/// build/bench/product_bench --benchmark_filter='Toom(3|4)'
constexpr uint32_t kToom4MultiplyThreshold = kWideLimbs ? 224 : 448;
constexpr uint32_t kToom4SquareThreshold = kWideLimbs ? 256 : 640;

/// From this many limbs of the modulus on, a Montgomery product is formed in
/// full by the subquadratic products and then reduced, instead of interleaving
/// product and reduction column by column.
/// build/bench/product_bench --benchmark_filter='Montgomery'
constexpr uint32_t kMontgomeryFullProductThreshold = kWideLimbs ? 64 : 96;
/// From this many limbs of the modulus on, the reduction of a full product is
/// by products (low half, then two wrapped products) rather than word by word.
/// build/bench/product_bench --benchmark_filter='Reduce'
constexpr uint32_t kMontgomeryReduceByProductsThreshold = kWideLimbs ? 96 : 192;

/// The low half product sums its columns directly below this many limbs, and
/// splits above: the switch point and the split are flat over a wide range, so
/// Karatsuba's threshold serves.
/// build/bench/product_bench --benchmark_filter='MultiplyLow'
constexpr uint32_t kMultiplyLowThreshold = kKaratsubaMultiplyThreshold;

/// A product modulo beta^n - 1 splits into two of half the size from halves
/// of this many limbs on.
/// build/bench/product_bench --benchmark_filter='Reduce'
constexpr uint32_t kCyclicSplitLimbs = 16;

/// The sliding window's width for an exponent of `bits` bits and table entries
/// of `entryBytes` bytes (one value of the modulus's size). A window of w bits
/// costs about bits / (w + 1) multiplications plus 2^(w-1) for its table of
/// odd powers (HAC 14.85); w + 1 costs fewer from bits = 2^(w-1) (w + 1)
/// (w + 2): 6, 24, 80, 240, 672, 1792, 4608, 11520, 28160. The count of
/// squarings does not depend on w, so neither does the best width depend on
/// what a kernel's square costs beside its product. The table stays within
/// kMaxWindowTableBytes per exponentiation, which bounds the width from
/// 2^17-bit moduli on: the count's best width would save 1 % of the
/// multiplications there and 4 % at the largest moduli, for 8 to 32 times the
/// memory.
/// build/bench/powmod_bench (every kernel, and --long)
constexpr uint32_t kMaxWindowTableBytes = 4u << 20;
constexpr int32_t WindowBits(int32_t bits, uint32_t entryBytes) {
  int32_t width = 1;
  while (bits >= (int32_t{1} << (width - 1)) * (width + 1) * (width + 2) &&
         (uint64_t{1} << width) * entryBytes <= kMaxWindowTableBytes)
    ++width;
  return width;
}

/// Residues by many small moduli: below this many limbs of the number, each
/// residue on its own by Horner's rule; from there on by the remainder tree.
/// build/bench/sieve_bench --prepare --sizes=256,512,768,1024
constexpr uint32_t kRemainderTreeThreshold = kWideLimbs ? 96 : 192;
/// The remainder tree takes its moduli in groups whose product has at most
/// this many limbs, as many moduli as 32-bit words fit (flat from 48 to 128
/// wide limbs at 1024 to 4096 bytes).
/// build/bench/sieve_bench --prepare
constexpr uint32_t kRemainderTreeGroupLimbs = kWideLimbs ? 64 : 128;
/// Going down the remainder tree, the limbs of a fraction are summed column by
/// column (only those wanted) below this many limbs of the other factor, and
/// taken from a whole subquadratic product from there on.
/// build/bench/sieve_bench --prepare
constexpr uint32_t kRemainderTreeMiddleProductLimbs = kWideLimbs ? 48 : 96;

}  // namespace limbs
