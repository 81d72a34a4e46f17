/// Google Benchmark cases for one modular exponentiation from 512 to 49152 bits
/// (to 131072 with --long):
/// BigInt::PowMod on the vector Montgomery kernel and on the portable
/// arithmetic, against GMP's mpz_powm on the same operands.
#include <benchmark/benchmark.h>
#include <gmp.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string_view>
#include <utility>
#include <vector>

#include "bigint/bigint.h"
#include "bigint/kernel_factory.h"
#include "bigint/limb_conversion.h"
#include "tests/support/bigint_support.h"

namespace {

constexpr uint32_t kSeed = 20261209;
constexpr uint32_t kTopBit = BigInt::kDigitBase >> 1;

// The operands of one size: an odd modulus with its top bit set, a base below
// half the modulus and an exponent of the modulus's size, drawn from a seed that
// depends only on the size, so every case and every run sees the same numbers.
struct Operands {
  BigInt base;
  BigInt exponent;
  BigInt modulus;
};

BigInt RandomDigits(std::mt19937& rng, uint32_t digitCount) {
  BigInt value;
  value.Resize(digitCount);
  for (uint32_t i = 0; i < digitCount; ++i) value.Digits()[i] = rng() & BigInt::kDigitMask;
  return value;
}

Operands MakeOperands(uint32_t bits) {
  std::mt19937 rng(kSeed + bits);
  const uint32_t digitCount = bits / BigInt::kDigitBits;
  Operands operands{RandomDigits(rng, digitCount), RandomDigits(rng, digitCount),
                    RandomDigits(rng, digitCount)};
  operands.modulus.Digits()[0] |= 1;
  operands.modulus.Digits()[digitCount - 1] |= kTopBit;
  operands.exponent.Digits()[digitCount - 1] |= kTopBit;
  operands.base.Digits()[digitCount - 1] &= kTopBit - 1;
  return operands;
}

// One exponentiation on the named kernel, through the kernel factory; skipped
// where this build or processor lacks it or the size is outside its range.
void PowModOn(benchmark::State& state, limbs::KernelKind kind) {
  const Operands operands = MakeOperands(static_cast<uint32_t>(state.range(0)));
  const std::optional<PreparedModulus> prepared = limbs::PrepareWithKernel(operands.modulus, kind);
  if (!prepared) {
    state.SkipWithError("no such kernel for this size or processor");
    return;
  }
  BigInt result;
  for (auto _ : state) {
    result = prepared->Power(operands.base, operands.exponent);
    benchmark::DoNotOptimize(result.Digits());
  }
  // The timed result must be the right one.
  Mpz base(operands.base), exponent(operands.exponent), modulus(operands.modulus), expected;
  mpz_powm(expected.get(), base.get(), exponent.get(), modulus.get());
  Mpz ours(result);
  if (mpz_cmp(ours.get(), expected.get()) != 0) state.SkipWithError("PowMod differs from mpz_powm");
}

void BM_PowModVector(benchmark::State& state) { PowModOn(state, limbs::KernelKind::kVector); }
void BM_PowModPortable(benchmark::State& state) { PowModOn(state, limbs::KernelKind::kPortable); }

void BM_PowModGmp(benchmark::State& state) {
  const Operands operands = MakeOperands(static_cast<uint32_t>(state.range(0)));
  Mpz base(operands.base), exponent(operands.exponent), modulus(operands.modulus), result;
  for (auto _ : state) {
    mpz_powm(result.get(), base.get(), exponent.get(), modulus.get());
    benchmark::DoNotOptimize(result.get());
  }
}

// Whether the command line asks for the long sizes (--long, taken out of argv
// before Google Benchmark reads it).
bool TakeLongFlag(int& argc, char** argv) {
  bool found = false;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--long") {
      found = true;
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  return found;
}

}  // namespace

// Each size runs ours on both paths, then GMP's, so the figures of one size sit
// side by side. The sizes reach 49152 bits, beyond the modulus of a 4096-byte
// search; --long adds 65536 and 131072 bits, which take minutes.
int main(int argc, char** argv) {
  std::vector<int64_t> sizes = {512, 1024, 2048, 3072, 4096, 6144, 8192, 16384, 32768, 49152};
  if (TakeLongFlag(argc, argv)) sizes.insert(sizes.end(), {65536, 131072});
  for (const int64_t bits : sizes) {
    for (const auto& [name, function] : {std::pair{"BM_PowModVector", &BM_PowModVector},
                                         std::pair{"BM_PowModPortable", &BM_PowModPortable},
                                         std::pair{"BM_PowModGmp", &BM_PowModGmp}}) {
      benchmark::RegisterBenchmark(name, function)->Arg(bits)->Unit(benchmark::kMillisecond);
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
