/// Google Benchmark cases for the product kernels of bigint/limbs/limbs.h, the
/// measurements behind their thresholds: the classical product and square
/// against one step of Karatsuba's method (its half-size products classical
/// below the threshold) on equal sizes, with GMP's mpn_mul_n and mpn_sqr beside
/// them; the threshold is the first size from which the Karatsuba step wins.
/// Then the limb additions and subtractions under them, the low half product
/// and the two Montgomery reductions of a full product
/// (bigint/limbs/montgomery_reduction.h), the mulx/adx classical products with
/// one Karatsuba, Toom-3 and Toom-4 step on them, and the vector Montgomery product
/// and square (bigint/x86/montgomery_ifma.h) per vector count, interleaved and
/// by products, and the plain radix-2^52 products beneath the latter, where the
/// processor has them.
#include <benchmark/benchmark.h>
#include <gmp.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "bigint/limbs/limbs.h"
#include "bigint/limbs/montgomery_reduction.h"
#include "bigint/limbs/tuning.h"
#include "bigint/x86/montgomery_adx.h"
#include "bigint/x86/montgomery_ifma.h"
#include "bigint/x86/radix52_products.h"

namespace {

using limbs::Limb;
using limbs::LimbVector;

constexpr uint32_t kSeed = 20261209;

LimbVector RandomLimbs(std::mt19937_64& rng, uint32_t n) {
  LimbVector x(n);
  for (Limb& limb : x) limb = static_cast<Limb>(rng());
  return x;
}

// Operands, result and scratch for products of n limbs (scratch enough for a
// Karatsuba, Toom-3 or Toom-4 step also below its threshold).
struct ProductOperands {
  explicit ProductOperands(uint32_t n)
      : rng(kSeed + n),
        a(RandomLimbs(rng, n)),
        b(RandomLimbs(rng, n)),
        r(2 * n),
        scratch(6 * n + 256 + limbs::ProductScratchLimbs(n)) {}
  std::mt19937_64 rng;
  LimbVector a, b, r, scratch;
};

uint32_t Size(const benchmark::State& state) { return static_cast<uint32_t>(state.range(0)); }

void BM_Classical(benchmark::State& state) {
  ProductOperands x(Size(state));
  for (auto _ : state) {
    limbs::Multiply(x.r.data(), x.a.data(), Size(state), x.b.data(), Size(state));
    benchmark::DoNotOptimize(x.r.data());
  }
}

void BM_Karatsuba(benchmark::State& state) {
  ProductOperands x(Size(state));
  for (auto _ : state) {
    limbs::KaratsubaMultiply(x.r.data(), x.a.data(), Size(state), x.b.data(), Size(state),
                             x.scratch.data());
    benchmark::DoNotOptimize(x.r.data());
  }
}

void BM_Toom3(benchmark::State& state) {
  ProductOperands x(Size(state));
  for (auto _ : state) {
    limbs::Toom3Multiply(x.r.data(), x.a.data(), Size(state), x.b.data(), Size(state),
                         x.scratch.data());
    benchmark::DoNotOptimize(x.r.data());
  }
}

void BM_ClassicalSquare(benchmark::State& state) {
  ProductOperands x(Size(state));
  for (auto _ : state) {
    limbs::Square(x.r.data(), x.a.data(), Size(state));
    benchmark::DoNotOptimize(x.r.data());
  }
}

void BM_KaratsubaSquare(benchmark::State& state) {
  ProductOperands x(Size(state));
  for (auto _ : state) {
    limbs::KaratsubaSquare(x.r.data(), x.a.data(), Size(state), x.scratch.data());
    benchmark::DoNotOptimize(x.r.data());
  }
}

void BM_MultiplyLow(benchmark::State& state) {
  ProductOperands x(Size(state));
  LimbVector scratch(limbs::MultiplyLowScratchLimbs(Size(state)));
  for (auto _ : state) {
    limbs::MultiplyLow(x.r.data(), x.a.data(), x.b.data(), Size(state), scratch.data());
    benchmark::DoNotOptimize(x.r.data());
  }
}

// The carry chains that the subquadratic products add and subtract with.
void BM_AddLimbs(benchmark::State& state) {
  ProductOperands x(Size(state));
  for (auto _ : state) {
    benchmark::DoNotOptimize(limbs::AddLimbs(x.r.data(), x.a.data(), x.b.data(), Size(state)));
    benchmark::ClobberMemory();
  }
}

void BM_SubtractLimbs(benchmark::State& state) {
  ProductOperands x(Size(state));
  for (auto _ : state) {
    benchmark::DoNotOptimize(limbs::SubtractLimbs(x.r.data(), x.a.data(), x.b.data(), Size(state)));
    benchmark::ClobberMemory();
  }
}

// The two reductions of a Montgomery product in full, t = a^2 with a < m, by an
// odd modulus m = b with its top bit set.
struct ReductionOperands : ProductOperands {
  explicit ReductionOperands(uint32_t n)
      : ProductOperands(n), t(2 * n), reductionScratch(limbs::ReduceByProductsScratchLimbs(n)) {
    b[0] |= 1;
    b[n - 1] |= Limb{1} << (limbs::kLimbBits - 1);
    a[n - 1] >>= 1;
    limbs::Multiply(t.data(), a.data(), n, a.data(), n);
    negativeInverse = 0 - limbs::InverseModWordBase(b[0]);
    constants = limbs::MakeReductionConstants(b.data(), n, negativeInverse);
  }
  LimbVector t, reductionScratch;
  limbs::ReductionConstants constants;
  Limb negativeInverse;
};

void BM_ReduceWordByWord(benchmark::State& state) {
  ReductionOperands x(Size(state));
  for (auto _ : state) {
    limbs::ReduceWordByWord(x.r.data(), x.t.data(), x.b.data(), Size(state), x.negativeInverse);
    benchmark::DoNotOptimize(x.r.data());
  }
}

void BM_ReduceByProducts(benchmark::State& state) {
  ReductionOperands x(Size(state));
  for (auto _ : state) {
    limbs::ReduceByProducts(x.r.data(), x.t.data(), x.b.data(), Size(state), x.constants,
                            x.reductionScratch.data());
    benchmark::DoNotOptimize(x.r.data());
  }
}

void BM_Toom3Square(benchmark::State& state) {
  ProductOperands x(Size(state));
  for (auto _ : state) {
    limbs::Toom3Square(x.r.data(), x.a.data(), Size(state), x.scratch.data());
    benchmark::DoNotOptimize(x.r.data());
  }
}

// GMP on the same number of bits.
mp_size_t GmpLimbs(const benchmark::State& state) {
  return static_cast<mp_size_t>(Size(state) * limbs::kLimbBits / GMP_NUMB_BITS);
}

void BM_GmpMultiply(benchmark::State& state) {
  std::mt19937_64 rng(kSeed);
  const mp_size_t n = GmpLimbs(state);
  const auto limbs = static_cast<size_t>(n);
  std::vector<mp_limb_t> a(limbs), b(limbs), r(2 * limbs);
  for (size_t i = 0; i < limbs; ++i) a[i] = rng(), b[i] = rng();
  for (auto _ : state) {
    mpn_mul_n(r.data(), a.data(), b.data(), n);
    benchmark::DoNotOptimize(r.data());
  }
}

void BM_GmpSquare(benchmark::State& state) {
  std::mt19937_64 rng(kSeed);
  const mp_size_t n = GmpLimbs(state);
  const auto limbs = static_cast<size_t>(n);
  std::vector<mp_limb_t> a(limbs), r(2 * limbs);
  for (size_t i = 0; i < limbs; ++i) a[i] = rng();
  for (auto _ : state) {
    mpn_sqr(r.data(), a.data(), n);
    benchmark::DoNotOptimize(r.data());
  }
}

// GMP's low half product, product modulo beta^n - 1 and reduction by them,
// the yardsticks of the parts of a Montgomery square by products. libgmp
// exports them without declaring them in gmp.h, so they are declared here
// under names of our own bound to its symbols.
extern "C" {
void GmpMulloN(mp_ptr r, mp_srcptr a, mp_srcptr b, mp_size_t n) __asm__("__gmpn_mullo_n");
void GmpMulmodBnm1(mp_ptr r, mp_size_t rn, mp_srcptr a, mp_size_t an, mp_srcptr b, mp_size_t bn,
                   mp_ptr scratch) __asm__("__gmpn_mulmod_bnm1");
void GmpRedcN(mp_ptr r, mp_ptr t, mp_srcptr m, mp_size_t n,
              mp_srcptr inverse) __asm__("__gmpn_redc_n");
void GmpBinvert(mp_ptr r, mp_srcptr a, mp_size_t n, mp_ptr scratch) __asm__("__gmpn_binvert");
mp_size_t GmpBinvertItch(mp_size_t n) __asm__("__gmpn_binvert_itch");
}

void BM_GmpMultiplyLow(benchmark::State& state) {
  std::mt19937_64 rng(kSeed);
  const mp_size_t n = GmpLimbs(state);
  const auto limbs = static_cast<size_t>(n);
  std::vector<mp_limb_t> a(limbs), b(limbs), r(limbs);
  for (size_t i = 0; i < limbs; ++i) a[i] = rng(), b[i] = rng();
  for (auto _ : state) {
    GmpMulloN(r.data(), a.data(), b.data(), n);
    benchmark::DoNotOptimize(r.data());
  }
}

void BM_GmpMultiplyCyclic(benchmark::State& state) {
  std::mt19937_64 rng(kSeed);
  const mp_size_t n = GmpLimbs(state);
  const auto limbs = static_cast<size_t>(n);
  // Generously more scratch than GMP asks for at rn = an = bn = n.
  std::vector<mp_limb_t> a(limbs), b(limbs), r(limbs), scratch(4 * limbs + 64);
  for (size_t i = 0; i < limbs; ++i) a[i] = rng(), b[i] = rng();
  for (auto _ : state) {
    GmpMulmodBnm1(r.data(), n, a.data(), n, b.data(), n, scratch.data());
    benchmark::DoNotOptimize(r.data());
  }
}

// The value of the inverse does not change the work, so a random one serves.
void BM_GmpReduceByProducts(benchmark::State& state) {
  std::mt19937_64 rng(kSeed);
  const mp_size_t n = GmpLimbs(state);
  const auto limbs = static_cast<size_t>(n);
  std::vector<mp_limb_t> m(limbs), inverse(limbs), t(2 * limbs), work(2 * limbs), r(limbs);
  for (size_t i = 0; i < limbs; ++i) m[i] = rng(), inverse[i] = rng();
  m[0] |= 1;
  m[limbs - 1] |= mp_limb_t{1} << (GMP_NUMB_BITS - 1);
  for (size_t i = 0; i < 2 * limbs; ++i) t[i] = rng();
  t[2 * limbs - 1] >>= 1;
  for (auto _ : state) {
    std::copy(t.begin(), t.end(), work.begin());
    GmpRedcN(r.data(), work.data(), m.data(), n, inverse.data());
    benchmark::DoNotOptimize(r.data());
  }
}

#if LARGEPRIME_ADX_KERNEL
// The classical product, square and word-by-word reduction on mulx and
// adcx/adox (bigint/x86/montgomery_adx.h), where the processor has them.
bool SkipWithoutAdx(benchmark::State& state) {
  if (limbs::AdxAvailable()) return false;
  state.SkipWithError("the processor has no BMI2 and ADX");
  return true;
}

void BM_AdxClassical(benchmark::State& state) {
  if (SkipWithoutAdx(state)) return;
  ProductOperands x(Size(state));
  for (auto _ : state) {
    limbs::AdxMultiply(x.r.data(), x.a.data(), Size(state), x.b.data(), Size(state));
    benchmark::DoNotOptimize(x.r.data());
  }
}

void BM_AdxSquare(benchmark::State& state) {
  if (SkipWithoutAdx(state)) return;
  ProductOperands x(Size(state));
  for (auto _ : state) {
    limbs::AdxSquare(x.r.data(), x.a.data(), Size(state));
    benchmark::DoNotOptimize(x.r.data());
  }
}

void BM_AdxReduce(benchmark::State& state) {
  if (SkipWithoutAdx(state)) return;
  ProductOperands x(Size(state));
  x.b[0] |= 1;
  LimbVector t(2 * Size(state));
  for (auto _ : state) {
    // Reducing a product of n-limb values below beta^n R is within the bound
    // for this timing; the value itself is not checked.
    std::copy(x.r.begin(), x.r.end(), t.begin());
    limbs::AdxReduce(x.a.data(), t.data(), x.b.data(), Size(state), 1);
    benchmark::DoNotOptimize(x.a.data());
  }
}

// One Karatsuba, Toom-3 and Toom-4 step on the scalar kernel's basecase, with
// GMP's product and square of the same sizes: the measurement behind the
// Toom-3 and Toom-4 thresholds where that kernel runs.
void BM_AdxKaratsubaLong(benchmark::State& state) {
  if (SkipWithoutAdx(state)) return;
  ProductOperands x(Size(state));
  for (auto _ : state) {
    limbs::KaratsubaMultiply(x.r.data(), x.a.data(), Size(state), x.b.data(), Size(state),
                             x.scratch.data(), limbs::kAdxBasecase);
    benchmark::DoNotOptimize(x.r.data());
  }
}

void BM_AdxToom3(benchmark::State& state) {
  if (SkipWithoutAdx(state)) return;
  ProductOperands x(Size(state));
  for (auto _ : state) {
    limbs::Toom3Multiply(x.r.data(), x.a.data(), Size(state), x.b.data(), Size(state),
                         x.scratch.data(), limbs::kAdxBasecase);
    benchmark::DoNotOptimize(x.r.data());
  }
}

void BM_AdxToom4(benchmark::State& state) {
  if (SkipWithoutAdx(state)) return;
  ProductOperands x(Size(state));
  for (auto _ : state) {
    limbs::Toom4Multiply(x.r.data(), x.a.data(), Size(state), x.b.data(), Size(state),
                         x.scratch.data(), limbs::kAdxBasecase);
    benchmark::DoNotOptimize(x.r.data());
  }
}

void BM_AdxKaratsubaSquareLong(benchmark::State& state) {
  if (SkipWithoutAdx(state)) return;
  ProductOperands x(Size(state));
  for (auto _ : state) {
    limbs::KaratsubaSquare(x.r.data(), x.a.data(), Size(state), x.scratch.data(),
                           limbs::kAdxBasecase);
    benchmark::DoNotOptimize(x.r.data());
  }
}

void BM_AdxToom3Square(benchmark::State& state) {
  if (SkipWithoutAdx(state)) return;
  ProductOperands x(Size(state));
  for (auto _ : state) {
    limbs::Toom3Square(x.r.data(), x.a.data(), Size(state), x.scratch.data(), limbs::kAdxBasecase);
    benchmark::DoNotOptimize(x.r.data());
  }
}

void BM_AdxToom4Square(benchmark::State& state) {
  if (SkipWithoutAdx(state)) return;
  ProductOperands x(Size(state));
  for (auto _ : state) {
    limbs::Toom4Square(x.r.data(), x.a.data(), Size(state), x.scratch.data(), limbs::kAdxBasecase);
    benchmark::DoNotOptimize(x.r.data());
  }
}

// The three parts of a Montgomery square by products on the scalar kernel's
// basecase, each as the exponentiation chooses it: the square, the low half
// product that gives the quotient, the product modulo beta^n - 1 behind the
// high half of q m; then the whole reduction.
void BM_AdxSquareChosen(benchmark::State& state) {
  if (SkipWithoutAdx(state)) return;
  ProductOperands x(Size(state));
  for (auto _ : state) {
    limbs::FastSquare(x.r.data(), x.a.data(), Size(state), x.scratch.data(), limbs::kAdxBasecase);
    benchmark::DoNotOptimize(x.r.data());
  }
}

void BM_AdxMultiplyLow(benchmark::State& state) {
  if (SkipWithoutAdx(state)) return;
  ProductOperands x(Size(state));
  LimbVector scratch(limbs::MultiplyLowScratchLimbs(Size(state)));
  for (auto _ : state) {
    limbs::MultiplyLow(x.r.data(), x.a.data(), x.b.data(), Size(state), scratch.data(),
                       limbs::kAdxBasecase);
    benchmark::DoNotOptimize(x.r.data());
  }
}

void BM_AdxMultiplyCyclic(benchmark::State& state) {
  if (SkipWithoutAdx(state)) return;
  ProductOperands x(Size(state));
  LimbVector scratch(limbs::MultiplyCyclicScratchLimbs(Size(state)));
  for (auto _ : state) {
    limbs::MultiplyCyclic(x.r.data(), x.a.data(), x.b.data(), Size(state), scratch.data(),
                          limbs::kAdxBasecase);
    benchmark::DoNotOptimize(x.r.data());
  }
}

void BM_AdxReduceByProducts(benchmark::State& state) {
  if (SkipWithoutAdx(state)) return;
  ReductionOperands x(Size(state));
  for (auto _ : state) {
    limbs::ReduceByProducts(x.r.data(), x.t.data(), x.b.data(), Size(state), x.constants,
                            x.reductionScratch.data(), limbs::kAdxBasecase);
    benchmark::DoNotOptimize(x.r.data());
  }
}

// One Montgomery square on the adx kernel as an exponentiation runs it: a is the
// last result, so each square waits on the one before and sees new limbs.
void BM_AdxMontgomerySquare(benchmark::State& state) {
  if (SkipWithoutAdx(state)) return;
  std::mt19937_64 rng(kSeed + Size(state));
  LimbVector m = RandomLimbs(rng, Size(state));
  m.front() |= 1;
  m.back() |= Limb{1} << (limbs::kLimbBits - 1);
  const limbs::MontgomeryModulus modulus(m);
  limbs::AdxMultiplier multiplier(modulus);
  LimbVector a = RandomLimbs(rng, Size(state));
  a.back() >>= 1;
  for (auto _ : state) {
    multiplier.Square(a.data(), a.data());
    benchmark::DoNotOptimize(a.data());
  }
}

// GMP's Montgomery square as mpz_powm forms it at these sizes, from mpn_sqr and
// mpn_redc_n with the inverse of m modulo beta^n, chained as above.
void BM_GmpMontgomerySquare(benchmark::State& state) {
  std::mt19937_64 rng(kSeed + Size(state));
  const mp_size_t n = GmpLimbs(state);
  const auto limbs = static_cast<size_t>(n);
  std::vector<mp_limb_t> m(limbs), inverse(limbs), a(limbs), t(2 * limbs),
      scratch(static_cast<size_t>(GmpBinvertItch(n)));
  for (size_t i = 0; i < limbs; ++i) m[i] = rng(), a[i] = rng();
  m[0] |= 1;
  m[limbs - 1] |= mp_limb_t{1} << (GMP_NUMB_BITS - 1);
  a[limbs - 1] >>= 1;
  GmpBinvert(inverse.data(), m.data(), n, scratch.data());
  for (auto _ : state) {
    mpn_sqr(t.data(), a.data(), n);
    GmpRedcN(a.data(), t.data(), m.data(), n, inverse.data());
    benchmark::DoNotOptimize(a.data());
  }
}
#endif

#if LARGEPRIME_IFMA_KERNEL
// One vector Montgomery product of a with itself (square = false) or one
// square, for an odd modulus of 8 v digits of 52 bits less 40 bits, v the
// argument, by the given method; a is the last result, so each one waits on
// the one before, as in an exponentiation.
void VectorMontgomery(benchmark::State& state, bool square, limbs::IfmaMethod method) {
  if (!limbs::IfmaAvailable()) {
    state.SkipWithError("the processor has no AVX-512 IFMA");
    return;
  }
  const uint32_t bits = 416 * Size(state) - 40;
  std::mt19937_64 rng(kSeed + bits);
  LimbVector m = RandomLimbs(rng, (bits + 63) / 64);
  m.front() |= 1;
  m.back() &= (Limb{1} << (bits % 64)) - 1;
  m.back() |= Limb{1} << (bits % 64 - 1);
  const limbs::IfmaModulus modulus(m, method);
  limbs::IfmaMultiplier multiplier(modulus);
  std::vector<uint64_t> a(modulus.Size());
  for (uint32_t i = 0; i + 1 < modulus.Digits(); ++i) a[i] = rng() & ((uint64_t{1} << 52) - 1);
  for (auto _ : state) {
    if (square) {
      multiplier.Square(a.data(), a.data());
    } else {
      multiplier.Multiply(a.data(), a.data(), a.data());
    }
    benchmark::DoNotOptimize(a.data());
  }
}

void BM_VectorProduct(benchmark::State& state) {
  VectorMontgomery(state, false, limbs::IfmaMethod::kInterleaved);
}
void BM_VectorSquare(benchmark::State& state) {
  VectorMontgomery(state, true, limbs::IfmaMethod::kInterleaved);
}
void BM_VectorProductByProducts(benchmark::State& state) {
  VectorMontgomery(state, false, limbs::IfmaMethod::kByProducts);
}
void BM_VectorSquareByProducts(benchmark::State& state) {
  VectorMontgomery(state, true, limbs::IfmaMethod::kByProducts);
}

// Plain products and squares of v vectors of radix-2^52 digits
// (bigint/x86/radix52_products.h): the classical kernel, one Karatsuba step
// (its products by the tuned choice below it), and the tuned choice.
enum class VectorPlain { kClassical, kKaratsuba, kChosen, kLow };

void VectorPlainProduct(benchmark::State& state, bool square, VectorPlain how) {
  if (!limbs::IfmaAvailable()) {
    state.SkipWithError("the processor has no AVX-512 IFMA");
    return;
  }
  const uint32_t vectors = Size(state);
  std::mt19937_64 rng(kSeed + vectors);
  std::vector<uint64_t> a(8 * vectors), b(8 * vectors), r(16 * vectors);
  // Enough for one Karatsuba step also below its threshold.
  std::vector<uint64_t> scratch(64 * vectors + limbs::radix52::ProductScratchWords(vectors) +
                                limbs::radix52::MultiplyLowScratchWords(vectors));
  for (uint64_t& digit : a) digit = rng() & ((uint64_t{1} << 52) - 1);
  for (uint64_t& digit : b) digit = rng() & ((uint64_t{1} << 52) - 1);
  for (auto _ : state) {
    if (how == VectorPlain::kClassical) {
      if (square) {
        limbs::radix52::SquareClassical(r.data(), a.data(), vectors);
      } else {
        limbs::radix52::MultiplyClassical(r.data(), a.data(), b.data(), vectors);
      }
    } else if (how == VectorPlain::kKaratsuba) {
      if (square) {
        limbs::radix52::KaratsubaSquare(r.data(), a.data(), vectors, scratch.data());
      } else {
        limbs::radix52::KaratsubaMultiply(r.data(), a.data(), b.data(), vectors, scratch.data());
      }
    } else if (how == VectorPlain::kLow) {
      limbs::radix52::MultiplyLow(r.data(), a.data(), b.data(), vectors, scratch.data());
    } else if (square) {
      limbs::radix52::Square(r.data(), a.data(), vectors, scratch.data());
    } else {
      limbs::radix52::Multiply(r.data(), a.data(), b.data(), vectors, scratch.data());
    }
    benchmark::DoNotOptimize(r.data());
  }
}

void BM_VectorClassical(benchmark::State& state) {
  VectorPlainProduct(state, false, VectorPlain::kClassical);
}
void BM_VectorKaratsuba(benchmark::State& state) {
  VectorPlainProduct(state, false, VectorPlain::kKaratsuba);
}
void BM_VectorMultiply(benchmark::State& state) {
  VectorPlainProduct(state, false, VectorPlain::kChosen);
}
void BM_VectorMultiplyLow(benchmark::State& state) {
  VectorPlainProduct(state, false, VectorPlain::kLow);
}
void BM_VectorClassicalSquare(benchmark::State& state) {
  VectorPlainProduct(state, true, VectorPlain::kClassical);
}
void BM_VectorKaratsubaSquare(benchmark::State& state) {
  VectorPlainProduct(state, true, VectorPlain::kKaratsuba);
}
void BM_VectorSquareChosen(benchmark::State& state) {
  VectorPlainProduct(state, true, VectorPlain::kChosen);
}
#endif

// Sizes in limbs around the thresholds, then the sizes of the moduli that
// PowMod meets from 4096 to 32768 bits.
// On a shared machine the least of several repetitions (run with
// --benchmark_repetitions) is the figure least disturbed by other work.
void Sizes(benchmark::internal::Benchmark* b) {
  const uint32_t bits = limbs::kLimbBits;
  for (int64_t n = 8; n <= 96; n += 4) b->Arg(n);
  for (int64_t n = 8192 / bits; n <= 32768 / bits; n *= 2) b->Arg(n);
  b->ComputeStatistics(
      "min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

// The sizes of the moduli that PowMod meets from 8192 to 32768 bits.
void ModulusSizes(benchmark::internal::Benchmark* b) {
  for (int64_t n = 8192 / limbs::kLimbBits; n <= 32768 / limbs::kLimbBits; n *= 2) b->Arg(n);
  b->ComputeStatistics(
      "min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

// Sizes in limbs around the Toom-3 and Toom-4 thresholds.
void LongSizes(benchmark::internal::Benchmark* b) {
  for (int64_t n = 64; n <= 512; n += n < 256 ? 16 : 64) b->Arg(n);
  b->ComputeStatistics(
      "min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });
}

BENCHMARK(BM_Classical)->Apply(Sizes);
BENCHMARK(BM_Karatsuba)->Apply(Sizes);
BENCHMARK(BM_Karatsuba)->Apply(LongSizes)->Name("BM_KaratsubaLong");
BENCHMARK(BM_Toom3)->Apply(LongSizes);
BENCHMARK(BM_GmpMultiply)->Apply(Sizes);
BENCHMARK(BM_ClassicalSquare)->Apply(Sizes);
BENCHMARK(BM_KaratsubaSquare)->Apply(Sizes);
BENCHMARK(BM_KaratsubaSquare)->Apply(LongSizes)->Name("BM_KaratsubaSquareLong");
BENCHMARK(BM_Toom3Square)->Apply(LongSizes);
BENCHMARK(BM_GmpSquare)->Apply(Sizes);
BENCHMARK(BM_MultiplyLow)->Apply(Sizes);
BENCHMARK(BM_AddLimbs)->Arg(8)->Arg(16)->Arg(32)->Arg(64)->Arg(128)->Arg(256);
BENCHMARK(BM_SubtractLimbs)->Arg(8)->Arg(16)->Arg(32)->Arg(64)->Arg(128)->Arg(256);
BENCHMARK(BM_ReduceWordByWord)->Apply(Sizes);
BENCHMARK(BM_ReduceByProducts)->Apply(Sizes);
#if LARGEPRIME_ADX_KERNEL
BENCHMARK(BM_AdxClassical)->Apply(Sizes);
BENCHMARK(BM_AdxSquare)->Apply(Sizes);
BENCHMARK(BM_AdxReduce)->Apply(Sizes);
BENCHMARK(BM_AdxKaratsubaLong)->Apply(LongSizes);
BENCHMARK(BM_AdxToom3)->Apply(LongSizes);
BENCHMARK(BM_AdxToom4)->Apply(LongSizes);
BENCHMARK(BM_GmpMultiply)->Apply(LongSizes)->Name("BM_GmpMultiplyLong");
BENCHMARK(BM_AdxKaratsubaSquareLong)->Apply(LongSizes);
BENCHMARK(BM_AdxToom3Square)->Apply(LongSizes);
BENCHMARK(BM_AdxToom4Square)->Apply(LongSizes);
BENCHMARK(BM_GmpSquare)->Apply(LongSizes)->Name("BM_GmpSquareLong");
BENCHMARK(BM_AdxSquareChosen)->Apply(ModulusSizes);
BENCHMARK(BM_GmpSquare)->Apply(ModulusSizes)->Name("BM_GmpSquareChosen");
BENCHMARK(BM_AdxMultiplyLow)->Apply(ModulusSizes);
BENCHMARK(BM_GmpMultiplyLow)->Apply(ModulusSizes);
BENCHMARK(BM_AdxMultiplyCyclic)->Apply(ModulusSizes);
BENCHMARK(BM_GmpMultiplyCyclic)->Apply(ModulusSizes);
BENCHMARK(BM_AdxReduceByProducts)->Apply(ModulusSizes);
BENCHMARK(BM_GmpReduceByProducts)->Apply(ModulusSizes);
BENCHMARK(BM_AdxMontgomerySquare)->Apply(ModulusSizes);
BENCHMARK(BM_GmpMontgomerySquare)->Apply(ModulusSizes);
#endif
#if LARGEPRIME_IFMA_KERNEL
BENCHMARK(BM_VectorProduct)->DenseRange(1, 20);
BENCHMARK(BM_VectorSquare)->DenseRange(1, 20);
BENCHMARK(BM_VectorProductByProducts)->DenseRange(8, 24, 2)->Arg(40)->Arg(80)->Arg(160)->Arg(316);
BENCHMARK(BM_VectorSquareByProducts)->DenseRange(8, 24, 2)->Arg(40)->Arg(80)->Arg(160)->Arg(316);
BENCHMARK(BM_VectorClassical)->DenseRange(2, 16);
BENCHMARK(BM_VectorKaratsuba)->DenseRange(2, 17);
BENCHMARK(BM_VectorClassicalSquare)->DenseRange(2, 16);
BENCHMARK(BM_VectorKaratsubaSquare)->DenseRange(2, 17);
BENCHMARK(BM_VectorMultiply)->Arg(20)->Arg(40)->Arg(80);
BENCHMARK(BM_VectorMultiplyLow)->DenseRange(12, 20)->Arg(40)->Arg(80);
BENCHMARK(BM_VectorSquareChosen)->Arg(20)->Arg(40)->Arg(80);
#endif

}  // namespace

BENCHMARK_MAIN();
