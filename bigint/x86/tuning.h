/// The tuned numbers of the x86 kernels: the sizes each serves and where its
/// variants take over. Measured by the command named beside each on a release
/// build (`cmake --workflow --preset bench`); the tables are in docs/tuning.md.
#pragma once

#include <cstdint>

namespace limbs::x86 {

/// The vector kernel serves moduli from this many bits, where it starts to beat
/// the portable Montgomery arithmetic.
/// build/bench/bench/powmod_bench --benchmark_filter='PowModVector|PowModPortable'
constexpr uint32_t kIfmaMinModulusBits = 384;

/// Up to this many vectors each count has its own interleaved vector kernel
/// with the accumulators in registers.
/// build/bench/bench/product_bench --benchmark_filter='VectorProduct'
constexpr uint32_t kIfmaMaxRegisterVectors = 20;

/// Vector counts from which the vector square beats the product of a number
/// with itself; below, a step is bound by the chain from one quotient digit
/// to the next, not by the multiply-adds the square saves.
/// build/bench/bench/product_bench --benchmark_filter='Vector(Product|Square)'
constexpr uint32_t kIfmaMinSquareVectors = 9;

/// From this many vectors on, a vector Montgomery product is formed in full by
/// the products below and reduced by two more (the quotient, then its multiple
/// of the modulus) instead of interleaving product and reduction step by step.
/// build/bench/bench/product_bench --benchmark_filter='VectorMontgomery'
constexpr uint32_t kIfmaReduceByProductsVectors = 21;

/// Karatsuba's method from this many vectors for the plain products (squares)
/// of radix-2^52 numbers: one step against the classical kernel on equal sizes.
/// build/bench/bench/product_bench --benchmark_filter='Vector(Classical|Karatsuba)'
constexpr uint32_t kIfmaKaratsubaMultiplyVectors = 14;
constexpr uint32_t kIfmaKaratsubaSquareVectors = 17;

/// The low half of a radix-2^52 product splits from this many vectors on (the
/// low halves of the two cross products and the full product of the low
/// parts); below, the classical kernel forms the lower columns only.
/// build/bench/bench/product_bench --benchmark_filter='VectorMultiplyLow'
constexpr uint32_t kIfmaMultiplyLowSplitVectors = 17;

}  // namespace limbs::x86
