/// Google Benchmark cases for one modular exponentiation at 512 to 32768 bits:
/// BigInt::PowMod against GMP's mpz_powm on the same operands.
#include <benchmark/benchmark.h>
#include <gmp.h>

#include <cstdint>
#include <random>

#include "bigint/bigint.h"
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

void BM_PowModOurs(benchmark::State& state) {
  const Operands operands = MakeOperands(static_cast<uint32_t>(state.range(0)));
  BigInt result;
  for (auto _ : state) {
    result = operands.base.PowMod(operands.exponent, operands.modulus, 0);
    benchmark::DoNotOptimize(result.Digits());
  }
  // The timed result must be the right one.
  Mpz base(operands.base), exponent(operands.exponent), modulus(operands.modulus), expected;
  mpz_powm(expected.get(), base.get(), exponent.get(), modulus.get());
  Mpz ours(result);
  if (mpz_cmp(ours.get(), expected.get()) != 0) state.SkipWithError("PowMod differs from mpz_powm");
}

void BM_PowModGmp(benchmark::State& state) {
  const Operands operands = MakeOperands(static_cast<uint32_t>(state.range(0)));
  Mpz base(operands.base), exponent(operands.exponent), modulus(operands.modulus), result;
  for (auto _ : state) {
    mpz_powm(result.get(), base.get(), exponent.get(), modulus.get());
    benchmark::DoNotOptimize(result.get());
  }
}

// Each size runs ours, then GMP's, so the two figures of one size sit side by side.
// The sizes double from 512 bits to 32768 bits, the modulus of a 4096-byte search.
void RegisterSizes() {
  for (int64_t bits = 512; bits <= 32768; bits *= 2) {
    benchmark::RegisterBenchmark("BM_PowModOurs", BM_PowModOurs)
        ->Arg(bits)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_PowModGmp", BM_PowModGmp)
        ->Arg(bits)
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RegisterSizes();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
