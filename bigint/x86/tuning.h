/// The tuned numbers of the x86 kernels: the sizes each serves and where its
/// variants take over. Measured by the command named beside each on a release
/// build (`cmake --workflow --preset bench`); the tables are in docs/tuning.md.
#pragma once

#include <cstdint>

namespace limbs::x86 {

/// The vector kernel serves moduli from this many bits, where it starts to beat
/// the portable Montgomery arithmetic.
/// build/bench/powmod_bench --benchmark_filter='PowModVector|PowModPortable'
constexpr uint32_t kIfmaMinModulusBits = 384;

/// Up to this many vectors each count has its own interleaved vector kernel
/// with the accumulators in registers.
/// build/bench/product_bench --benchmark_filter='VectorProduct'
constexpr uint32_t kIfmaMaxRegisterVectors = 20;

/// Vector counts from which the vector square beats the product of a number
/// with itself; below, a step is bound by the chain from one quotient digit
/// to the next, not by the multiply-adds the square saves.
/// build/bench/product_bench --benchmark_filter='Vector(Product|Square)'
constexpr uint32_t kIfmaMinSquareVectors = 9;

/// Karatsuba's method from this many limbs for the products (squares) of the
/// scalar kernel (mulx, adcx/adox): its classical ones are faster than the
/// portable ones, so they hold out longer (never below the portable thresholds).
/// build/bench/powmod_bench --benchmark_filter='PowModAdx'
constexpr uint32_t kAdxKaratsubaMultiplyLimbs = 32;
constexpr uint32_t kAdxKaratsubaSquareLimbs = 48;

/// Toom-3 from this many limbs for the squares of the scalar kernel (its
/// products take Toom-3 at the portable threshold): one Toom-3 step against one
/// Karatsuba step on its basecase.
/// build/bench/product_bench --benchmark_filter='BM_Adx(Toom3Square|KaratsubaSquareLong)'
constexpr uint32_t kAdxToom3SquareLimbs = 320;

/// Toom-4 from this many limbs for the products (squares) of the scalar
/// kernel: one Toom-4 step against one Toom-3 step on its basecase, interleaved
/// in one process; from 200 to 304 limbs the products are within 2 % either
/// way except at 256 (0.90) and 304 (0.93), squares behind up to 384 limbs.
/// build/bench/product_bench --benchmark_filter='BM_(AdxToom(3|4)|GmpMultiplyLong)/'
/// build/bench/product_bench --benchmark_filter='BM_(AdxToom(3|4)Square|GmpSquareLong)/'
constexpr uint32_t kAdxToom4MultiplyLimbs = 248;
constexpr uint32_t kAdxToom4SquareLimbs = 400;

/// From this many limbs a classical square on the scalar kernel forms its cross
/// products as two triangles of the halves and their product, whose rows all
/// have one length: the rows of one triangle of this size, each of another
/// length, ran slower than the row loop.
/// build/bench/product_bench --benchmark_filter='AdxSquare/'
constexpr uint32_t kAdxSquareSplitLimbs = 48;

/// The batch kernel (up to eight exponentiations at once, one per lane) serves
/// moduli of these sizes; beyond them eight at once take longer than eight on
/// the vector kernel.
/// build/bench/powmod_bench --benchmark_filter='PowMod(Batch8|Vector)'
constexpr uint32_t kIfmaBatchMinModulusBits = 384;
constexpr uint32_t kIfmaBatchMaxModulusBits = 16384;

/// The batch kernel costs the same for one exponentiation as for eight, so it
/// runs from as many as it takes to beat them one by one on the vector kernel:
/// more than 8 times its time per exponentiation over the vector kernel's.
/// build/bench/powmod_bench --benchmark_filter='PowMod(Batch8|Vector)'
constexpr uint32_t IfmaBatchMinLanes(uint32_t modulusBits) {
  if (modulusBits <= 768) return 2;
  if (modulusBits <= 1536) return 3;
  if (modulusBits <= 2560) return 4;
  if (modulusBits <= 3584) return 6;
  if (modulusBits <= 5120) return 7;
  return 8;
}

/// The batch kernel's fixed window for exponents of `bits` bits: a window of w
/// bits costs about bits / w products and 2^w - 2 for its table. Measured about
/// even between 5 and 6 bits at 1024 bits; 7 bits loses at 4096 and 8192, where
/// its table of eight-lane entries outgrows the cache.
/// build/bench/powmod_bench --benchmark_filter='PowModBatch8'
constexpr int32_t BatchWindowBits(int32_t bits) {
  if (bits > 1344) return 6;
  if (bits > 480) return 5;
  return 4;
}

/// The AVX2 batch kernel's radix 2^r: a smaller digit takes more of them, a
/// larger one overflows a lane's column sum at fewer digits (the bound is
/// checked in bigint/x86/batch_avx2.cpp).
/// build/bench/powmod_bench --benchmark_filter='PowMod(Batch8Avx2|Adx)'
constexpr uint32_t kAvx2BatchDigitBits = 28;

/// The AVX2 batch kernel serves moduli of these sizes: below, a search with
/// batches lost to one without; above, adx's Karatsuba products win.
/// build/bench/search_bench --kernel=adx --sizes=32,48 --batches=on|off
constexpr uint32_t kAvx2BatchMinModulusBits = 384;
constexpr uint32_t kAvx2BatchMaxModulusBits = 7136;

/// The AVX2 batch kernel costs the same for one exponentiation as for eight,
/// so it runs from as many as it takes to beat them one by one on the scalar
/// kernel: more than 8 times its time per exponentiation over that kernel's.
/// Above 1792 bits up to 2560 a search with batches lost to one without in
/// every run (docs/tuning.md): 0, never. Beside the mulx/adx kernel it never
/// runs above 1792 bits: adx's reduction in windows of registers brings an
/// exponentiation there to within 5 % of the batch's time per lane (0.95 at
/// 3072 bits, 0.97 at 4096, 1.02 at 6144), and a 512-byte search on one worker
/// with batches took 0.55 of GMP's against 0.48 without (medians of five
/// starts). Beside the portable kernel the counts above 2560 bits stand. The
/// counts beside adx hold on AMD's processors; on Intel's the batch does not
/// pay beside adx at all (Avx2BatchPaysBesideAdx).
/// build/bench/powmod_bench --benchmark_filter='PowMod(Batch8Avx2|Adx)'
/// build/bench/search_bench --kernel=adx --sizes=256,512 --starts=5 --batches=on|off
constexpr uint32_t Avx2BatchMinLanes(uint32_t modulusBits, bool besideAdx) {
  if (modulusBits <= 768) return 6;
  if (modulusBits > 1792 && (besideAdx || modulusBits <= 2560)) return 0;
  if (modulusBits <= 3072) return 7;
  return 8;
}

/// From this many vectors on, a vector Montgomery product is formed in full by
/// the products below and reduced by two more (the quotient, then its multiple
/// of the modulus) instead of interleaving product and reduction step by step.
/// build/bench/product_bench --benchmark_filter='VectorMontgomery'
constexpr uint32_t kIfmaReduceByProductsVectors = 21;

/// Karatsuba's method from this many vectors for the plain products (squares)
/// of radix-2^52 numbers: one step against the classical kernel on equal sizes.
/// build/bench/product_bench --benchmark_filter='Vector(Classical|Karatsuba)'
constexpr uint32_t kIfmaKaratsubaMultiplyVectors = 14;
constexpr uint32_t kIfmaKaratsubaSquareVectors = 17;

/// The low half of a radix-2^52 product splits from this many vectors on (the
/// low halves of the two cross products and the full product of the low
/// parts); below, the classical kernel forms the lower columns only.
/// build/bench/product_bench --benchmark_filter='VectorMultiplyLow'
constexpr uint32_t kIfmaMultiplyLowSplitVectors = 17;

/// A product modulo 2^(52 8 n) - 1 of even n vectors splits into products
/// modulo 2^(52 4 n) - 1 and 2^(52 4 n) + 1 from halves of this many vectors
/// on; below, it is the full product, folded.
/// build/bench/product_bench --benchmark_filter='Vector(Product|Square)ByProducts'
constexpr uint32_t kIfmaCyclicSplitVectors = 8;

}  // namespace limbs::x86
