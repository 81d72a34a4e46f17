/// Google Benchmark cases for one modular exponentiation from 512 to 49152 bits
/// (to 131072 with --long): BigInt::PowMod on each Montgomery kernel (vector,
/// mulx/adx, portable), against GMP's mpz_powm on the same operands; and eight
/// at once on the batch kernel, per exponentiation.
#include <benchmark/benchmark.h>
#include <gmp.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string_view>
#include <utility>
#include <vector>

#include "bench/fixed_inputs.h"
#include "bigint/bigint.h"
#include "bigint/kernel_factory.h"
#include "bigint/limb_conversion.h"
#include "bigint/power_batch.h"
#include "tests/support/bigint_support.h"

namespace {

// Every case and every run sees the same numbers of its size.
using Operands = fixed_inputs::PowModOperands;
using fixed_inputs::MakePowModOperands;

// One exponentiation on the named kernel, through the kernel factory; skipped
// where this build or processor lacks it or the size is outside its range.
void PowModOn(benchmark::State& state, limbs::KernelKind kind) {
  const Operands operands = MakePowModOperands(static_cast<uint32_t>(state.range(0)));
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
void BM_PowModAdx(benchmark::State& state) { PowModOn(state, limbs::KernelKind::kAdx); }
void BM_PowModPortable(benchmark::State& state) { PowModOn(state, limbs::KernelKind::kPortable); }

void BM_PowModGmp(benchmark::State& state) {
  const Operands operands = MakePowModOperands(static_cast<uint32_t>(state.range(0)));
  Mpz base(operands.base), exponent(operands.exponent), modulus(operands.modulus), result;
  for (auto _ : state) {
    mpz_powm(result.get(), base.get(), exponent.get(), modulus.get());
    benchmark::DoNotOptimize(result.get());
  }
}

// Eight exponentiations at once, with eight different moduli of the size,
// through PowerBatch on the named batch kernel. "per_powmod" is the CPU time of
// one iteration divided by eight, beside the time of one PowMod above.
void PowModBatch8(benchmark::State& state, limbs::BatchKernelKind kind) {
  const auto bits = static_cast<uint32_t>(state.range(0));
  std::vector<Operands> operands;
  std::vector<PreparedModulus> prepared;
  for (uint32_t lane = 0; lane < kPowerBatchSize; ++lane) {
    operands.push_back(MakePowModOperands(bits, lane));
    prepared.emplace_back(operands.back().modulus);
  }
  std::vector<PowerJob> jobs;
  for (uint32_t lane = 0; lane < kPowerBatchSize; ++lane) {
    jobs.push_back({prepared[lane], operands[lane].base, operands[lane].exponent});
  }
  if (!limbs::PowerBatchOn(limbs::BatchPath::kBatchKernel, jobs, nullptr, 0, kind)) {
    state.SkipWithError("no batch kernel for this size or processor");
    return;
  }
  std::vector<BigInt> results;
  for (auto _ : state) {
    results = *limbs::PowerBatchOn(limbs::BatchPath::kBatchKernel, jobs, nullptr, 0, kind);
    benchmark::DoNotOptimize(results.data());
  }
  state.counters["per_powmod"] =
      benchmark::Counter(static_cast<double>(state.iterations() * kPowerBatchSize),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  for (uint32_t lane = 0; lane < kPowerBatchSize; ++lane) {
    Mpz base(operands[lane].base), exponent(operands[lane].exponent),
        modulus(operands[lane].modulus), expected;
    mpz_powm(expected.get(), base.get(), exponent.get(), modulus.get());
    if (!(Mpz(results[lane]) == expected)) state.SkipWithError("a lane differs from mpz_powm");
  }
}

void BM_PowModBatch8(benchmark::State& state) {
  PowModBatch8(state, limbs::BatchKernelKind::kVector);
}
void BM_PowModBatch8Avx2(benchmark::State& state) {
  PowModBatch8(state, limbs::BatchKernelKind::kAvx2);
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

// Each size runs ours on every kernel, then GMP's, so the figures of one size sit
// side by side. The sizes reach 49152 bits, beyond the modulus of a 4096-byte
// search; --long adds 65536 and 131072 bits, which take minutes.
int main(int argc, char** argv) {
  std::vector<int64_t> sizes = {512, 1024, 2048, 3072, 4096, 6144, 8192, 16384, 32768, 49152};
  if (TakeLongFlag(argc, argv)) sizes.insert(sizes.end(), {65536, 131072});
  for (const int64_t bits : sizes) {
    for (const auto& [name, function] :
         {std::pair{"BM_PowModVector", &BM_PowModVector}, std::pair{"BM_PowModAdx", &BM_PowModAdx},
          std::pair{"BM_PowModPortable", &BM_PowModPortable},
          std::pair{"BM_PowModBatch8", &BM_PowModBatch8},
          std::pair{"BM_PowModBatch8Avx2", &BM_PowModBatch8Avx2},
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
