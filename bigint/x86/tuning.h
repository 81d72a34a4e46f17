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

/// Up to this many vectors each count has its own vector kernel with the
/// accumulators in registers; larger moduli share one that keeps them in memory.
/// build/bench/bench/product_bench --benchmark_filter='VectorProduct'
constexpr uint32_t kIfmaMaxRegisterVectors = 20;

/// Vector counts from which the vector square beats the product of a number
/// with itself; below, a step is bound by the chain from one quotient digit
/// to the next, not by the multiply-adds the square saves.
/// build/bench/bench/product_bench --benchmark_filter='Vector(Product|Square)'
constexpr uint32_t kIfmaMinSquareVectors = 9;

/// From this many limbs of the modulus on, the scalar kernel (mulx, adcx/adox)
/// forms a product in full by the subquadratic products and then reduces it,
/// instead of interleaving the rows of product and reduction.
/// build/bench/bench/powmod_bench --benchmark_filter='PowModAdx|PowModPortable'
constexpr uint32_t kAdxFullProductLimbs = 64;

/// Karatsuba's method from this many limbs for the products (squares) that the
/// scalar kernel forms in full: its classical ones are faster than the portable
/// ones, so they hold out longer (never below the portable thresholds).
/// build/bench/bench/powmod_bench --benchmark_filter='PowModAdx'
constexpr uint32_t kAdxKaratsubaMultiplyLimbs = 32;
constexpr uint32_t kAdxKaratsubaSquareLimbs = 48;

}  // namespace limbs::x86
