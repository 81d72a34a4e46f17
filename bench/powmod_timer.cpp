/// A timing tool that needs neither GMP nor Google Benchmark, so the same source
/// builds for every platform the program runs on, Windows included, and two
/// builds can be compared on one machine.
///
///   powmod_timer [--bits=2048,8192] [--runs=5] [--kernel=NAME]
///   powmod_timer --trace=BYTES [--start=0] [--kernel=NAME]
///
/// The first form times one modular exponentiation per size, best of the runs,
/// on a random odd modulus with its top bit set, a base below it and an exponent
/// of the modulus's size, all drawn from a seed that depends on the size alone
/// (those of powmod_bench). Each row gives the size, the kernel the factory
/// chooses for that modulus (or the one named), the milliseconds and a digest of
/// the result, so that builds which should compute the same number can be seen
/// to do so. The second form runs the program's whole search from a fixed start
/// (the random pieces of search_bench's start of that index) with the clocks
/// stopped, and prints its trace: the same on every platform and processor,
/// and on every kernel (with --kernel, the search's exponentiations run on the
/// one named, and its batches on the batch kernel that goes with it).
#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bench/fixed_inputs.h"
#include "bigint/bigint.h"
#include "bigint/kernel_factory.h"
#include "bigint/limb_conversion.h"
#include "bigint/prepared_modulus.h"
#include "platform/clock.h"
#include "primesearch/find_prime.h"
#include "primesearch/small_prime_table.h"
#include "primesearch/trace_sink.h"

namespace {

constexpr uint32_t kMinBits = 2 * BigInt::kDigitBits;
constexpr uint32_t kMaxBits = 65536;

struct Options {
  std::vector<uint32_t> bits{2048, 8192};
  uint32_t runs = 5;
  std::optional<limbs::KernelKind> kernel;  // none: the factory's choice
  uint32_t traceBytes = 0;                  // 0: time exponentiations
  uint32_t start = 0;
};

// ---- Exponentiation timing ---------------------------------------------------

// FNV-1a over the digits: equal results give equal digests.
uint64_t Digest(const BigInt& x) {
  uint64_t hash = 0xCBF29CE484222325u;
  for (uint32_t i = 0; i < x.Length(); ++i) {
    hash = (hash ^ x.Digits()[i]) * 0x100000001B3u;
  }
  return hash;
}

double BestMilliseconds(const PreparedModulus& prepared,
                        const fixed_inputs::PowModOperands& operands, uint32_t runs,
                        BigInt* result) {
  double best = std::numeric_limits<double>::infinity();
  for (uint32_t r = 0; r < runs; ++r) {
    const auto begin = std::chrono::steady_clock::now();
    *result = prepared.Power(operands.base, operands.exponent);
    const std::chrono::duration<double, std::milli> elapsed =
        std::chrono::steady_clock::now() - begin;
    best = std::min(best, elapsed.count());
  }
  return best;
}

int TimeExponentiations(const Options& options) {
  std::printf("%6s %-10s %12s  %s\n", "bits", "kernel", "best ms", "result digest");
  for (const uint32_t bits : options.bits) {
    const fixed_inputs::PowModOperands operands = fixed_inputs::MakePowModOperands(bits);
    std::optional<PreparedModulus> prepared;
    std::string kernel;
    if (options.kernel) {
      prepared = limbs::PrepareWithKernel(operands.modulus, *options.kernel);
      kernel = limbs::KernelName(*options.kernel);
    } else {
      prepared.emplace(operands.modulus);
      kernel = limbs::ChooseKernel(limbs::ToLimbs(operands.modulus))->Name();
    }
    if (!prepared) {
      std::printf("%6u %-10s %12s\n", bits, kernel.c_str(), "-");
      continue;
    }
    BigInt result;
    const double ms = BestMilliseconds(*prepared, operands, options.runs, &result);
    std::printf("%6u %-10s %12.3f  %016" PRIx64 "\n", bits, kernel.c_str(), ms, Digest(result));
    std::fflush(stdout);
  }
  return 0;
}

// ---- Search from a fixed start -----------------------------------------------

// The program's search with the counter reading the start's pieces and the tick
// counter standing still, so no progress line falls due and the closing line
// reads 0 seconds: the trace depends on the start alone.
int TraceSearch(const Options& options) {
  const std::vector<uint32_t> pieces = fixed_inputs::StartPieces(options.traceBytes, options.start);
  auto readings = std::make_shared<size_t>(0);
  platform::SetPerformanceCounterSource([pieces, readings]() -> uint64_t {
    return *readings < pieces.size() ? pieces[(*readings)++] : 0;
  });
  platform::SetTickCountSource([] { return uint32_t{0}; });
  BuildSmallPrimeTable();
  FileTraceSink out(stdout);
  SearchOptions search;
  if (options.kernel) search.kernel = limbs::KernelName(*options.kernel);
  FindPrime(static_cast<uint16_t>(options.traceBytes), out, search);
  platform::SetPerformanceCounterSource(nullptr);
  platform::SetTickCountSource(nullptr);
  if (!out.Succeeded()) {
    std::fprintf(stderr, "powmod_timer: could not write the trace\n");
    return 1;
  }
  if (*readings != pieces.size()) {
    std::fprintf(stderr, "powmod_timer: the search read the counter %zu times, expected %zu\n",
                 *readings, pieces.size());
    return 1;
  }
  return 0;
}

// ---- Command line --------------------------------------------------------------

// Reads a decimal count in [low, high] at *text and moves *text past it.
bool ParseCount(const char** text, uint32_t low, uint32_t high, uint32_t* value) {
  char* end = nullptr;
  const unsigned long parsed = std::strtoul(*text, &end, 10);
  if (end == *text || parsed < low || parsed > high) return false;
  *value = static_cast<uint32_t>(parsed);
  *text = end;
  return true;
}

// Sizes are whole digits, as the operands are drawn digit by digit.
bool ParseBits(const char* text, std::vector<uint32_t>* bits) {
  bits->clear();
  for (;;) {
    uint32_t size = 0;
    if (!ParseCount(&text, kMinBits, kMaxBits, &size) || size % BigInt::kDigitBits != 0) {
      return false;
    }
    bits->push_back(size);
    if (*text == '\0') return true;
    if (*text++ != ',') return false;
  }
}

bool ParseKernel(const char* name, std::optional<limbs::KernelKind>* kernel) {
  for (const limbs::KernelKind kind : limbs::AllKernelKinds()) {
    if (std::strcmp(name, limbs::KernelName(kind)) == 0) {
      *kernel = kind;
      return true;
    }
  }
  return false;
}

// The value of an option "--name=value" when the argument is that option.
const char* OptionValue(const char* argument, const char* name) {
  const size_t length = std::strlen(name);
  return std::strncmp(argument, name, length) == 0 ? argument + length : nullptr;
}

bool ParseOption(const char* argument, Options* options) {
  if (const char* value = OptionValue(argument, "--bits=")) return ParseBits(value, &options->bits);
  if (const char* value = OptionValue(argument, "--runs=")) {
    return ParseCount(&value, 1, 1000, &options->runs) && *value == '\0';
  }
  if (const char* value = OptionValue(argument, "--kernel=")) {
    return ParseKernel(value, &options->kernel);
  }
  if (const char* value = OptionValue(argument, "--trace=")) {
    return ParseCount(&value, 1, UINT16_MAX, &options->traceBytes) && *value == '\0';
  }
  if (const char* value = OptionValue(argument, "--start=")) {
    return ParseCount(&value, 0, 1000000, &options->start) && *value == '\0';
  }
  return false;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    if (!ParseOption(argv[i], options)) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::string kernels;
    for (const limbs::KernelKind kind : limbs::AllKernelKinds()) {
      kernels += std::string(kernels.empty() ? "" : ", ") + limbs::KernelName(kind);
    }
    std::fprintf(stderr,
                 "usage: %s [--bits=2048,8192] [--runs=5] [--kernel=NAME]\n"
                 "       %s --trace=BYTES [--start=0] [--kernel=NAME]\n"
                 "  The first times one exponentiation per size (multiples of 16 bits), best\n"
                 "  of the runs, on the kernel the program chooses or the one named: %s.\n"
                 "  The second prints the trace of a search of BYTES bytes from a fixed start,\n"
                 "  on the kernel the program chooses or the one named.\n",
                 argv[0], argv[0], kernels.c_str());
    return 2;
  }
  return options.traceBytes != 0 ? TraceSearch(options) : TimeExponentiations(options);
}
