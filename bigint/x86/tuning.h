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

/// The batch kernel (eight exponentiations at once, one per lane) serves moduli
/// from this many bits.
/// build/bench/powmod_bench --benchmark_filter='PowMod(Batch8|Vector)'
constexpr uint32_t kIfmaBatchMinModulusBits = 384;

/// The batch kernel runs from this many exponentiations of one size; fewer
/// run one by one on the single-number kernels.
/// build/bench/powmod_bench --benchmark_filter='PowMod(Batch|Vector)'
constexpr uint32_t kIfmaBatchMinLanes = 3;

/// The batch kernel's fixed window for exponents of `bits` bits: a window of w
/// bits costs bits / w products and a table of 2^w entries.
/// build/bench/powmod_bench --benchmark_filter='PowModBatch8'
constexpr int32_t BatchWindowBits(int32_t bits) {
  if (bits > 1536) return 6;
  if (bits > 384) return 5;
  return 4;
}

}  // namespace limbs::x86
