/// The cost model of the known-factor sieve: what it costs to prepare and run
/// the sieve at each bound, what one Lehman exponentiation costs at each size,
/// and how many Lehman runs the sieve proves composite, combined into the
/// expected net saving of one search and the best bound per size.
///
///   sieve_bench [--sizes=16,32,...,2048] [--bounds=14,15,...,26] [--kernel=NAME]
///   sieve_bench --prepare [--sizes=1024,2048,4096] [--threads=2] [--kernel=NAME]
///
/// --kernel: the exponentiations run on the named kernel ("vector", "adx",
/// "portable") where this processor has it, and the chosen bounds are that
/// kernel's; without it, on the kernel a search would get.
///
/// Sizes in bytes (candidates with their top bit set), bounds as powers of two.
/// Times are the process's CPU time, each the mean of runs adding up to at least
/// 0.2 s (a single run when one takes longer). Per size and bound:
///   saving = runs * share * powmod - prepare - windows * window
/// with runs = table-free composites per search (measured share of odd numbers
/// without a factor up to 7919, times ln(n) / 2 odd numbers per prime, less
/// the prime), share = measured share of those whose first base the sieve
/// proves composite, powmod = 89^((n-1)/2) mod n, prepare = the sieve's
/// construction, window = the sieving of one window, windows = windows the
/// ln(n) / 2 candidates of a search span. The best bound per size stands
/// beside the one FactorSieveBound chooses. Last, the share proved at the
/// chosen bound, measured on numbers of each size.
///
/// With --prepare, only the start-up cost per size: the sieve's construction at
/// the bound FactorSieveBound chooses, on the given number of threads, beside
/// one exponentiation 89^((n-1)/2) mod n, in wall-clock time and in CPU time
/// (the construction's divided by its threads): "wait" until the constructor
/// returns with the first stage's primes, which the search waits for, and
/// "done" until the larger primes have joined; medians of five or more.
#include <time.h>  // NOLINT(modernize-deprecated-headers): POSIX clock_gettime

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bigint/bigint.h"
#include "bigint/prepared_modulus.h"
#include "primesearch/factor_sieve.h"
#include "primesearch/lehman.h"
#include "primesearch/small_prime_table.h"

namespace {

constexpr uint32_t kSeed = 20261209;
constexpr double kMinimumMs = 200;
// Odd candidates walked per start, and starts, for the measured shares; the
// shares for every bound are measured at one size, where primes are rare among
// the table-free numbers.
constexpr uint32_t kShareCandidates = 1u << 16;
constexpr uint32_t kShareStarts = 4;
constexpr uint32_t kShareBytes = 256;

struct Options {
  bool prepareOnly = false;
  uint32_t threads = 2;
  std::vector<uint32_t> sizes{16,  24,  32,  48,  64,   96,   128, 192,
                              256, 384, 512, 768, 1024, 1536, 2048};
  std::vector<uint32_t> boundBits{14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26};
  std::string kernel;  // empty: the kernel a search would get
};

double WallMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double CpuMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Mean milliseconds of one run of work, on the given clock.
double MillisecondsPerRun(const std::function<void()>& work, double (*clock)() = CpuMilliseconds) {
  uint32_t runs = 0;
  const double begin = clock();
  double elapsed = 0;
  do {
    work();
    ++runs;
    elapsed = clock() - begin;
  } while (elapsed < kMinimumMs);
  return elapsed / runs;
}

// A random odd number of exactly byteCount bytes (top bit set).
BigInt RandomOdd(std::mt19937& rng, uint32_t byteCount) {
  const uint32_t digitCount = byteCount / 2;
  BigInt value;
  value.Resize(digitCount);
  for (uint32_t i = 0; i < digitCount; ++i) value.Digits()[i] = rng() & BigInt::kDigitMask;
  value.Digits()[0] |= 1;
  value.Digits()[digitCount - 1] |= BigInt::kDigitBase >> 1;
  return value;
}

double LnOf(uint32_t byteCount) { return 8.0 * byteCount * std::log(2.0); }

// ---- Shares ----------------------------------------------------------------

struct Shares {
  double tableFree = 0;             // of odd numbers: no factor up to 7919
  std::vector<double> factorFound;  // of those: a sieving prime up to 2^bits divides
  std::vector<double> proved;       // of those: ... and the first base is proved
};

// Walks kShareStarts runs of consecutive odd candidates of byteCount bytes,
// tracking their remainders by the table primes as the search does, and asks the
// sieve at the largest bound for each table-free one.
Shares MeasureShares(uint32_t byteCount, const std::vector<uint32_t>& boundBits) {
  const uint32_t largest = 1u << *std::max_element(boundBits.begin(), boundBits.end());
  std::mt19937 rng(kSeed + byteCount);
  uint64_t candidates = 0;
  uint64_t tableFree = 0;
  std::vector<uint64_t> found(boundBits.size());
  std::vector<uint64_t> proved(boundBits.size());
  for (uint32_t start = 0; start < kShareStarts; ++start) {
    BigInt candidate = RandomOdd(rng, byteCount);
    FactorSieve sieve(candidate, largest);
    sieve.AwaitComplete();
    std::vector<uint32_t> remainders(smallPrimeCount);
    for (uint32_t j = 0; j < smallPrimeCount; ++j)
      remainders[j] = candidate % SmallPrimeTable[j].prime;
    for (uint32_t k = 0; k < kShareCandidates; ++k, candidate += BigInt(2)) {
      ++candidates;
      const bool free = std::find(remainders.begin(), remainders.end(), 0u) == remainders.end();
      for (uint32_t j = 0; j < smallPrimeCount; ++j) {
        remainders[j] += 2;
        if (remainders[j] >= SmallPrimeTable[j].prime) remainders[j] -= SmallPrimeTable[j].prime;
      }
      if (!free) continue;
      ++tableFree;
      const uint32_t p = sieve.SmallestFactor(k);
      if (p == 0) continue;
      const bool isProved =
          FactorProvesComposite(LehmanBases[0], p, LehmanExponentModulo(candidate, p));
      for (size_t b = 0; b < boundBits.size(); ++b) {
        if (p > (1u << boundBits[b])) continue;
        ++found[b];
        if (isProved) ++proved[b];
      }
    }
  }
  Shares shares;
  shares.tableFree = static_cast<double>(tableFree) / static_cast<double>(candidates);
  for (size_t b = 0; b < boundBits.size(); ++b) {
    shares.factorFound.push_back(static_cast<double>(found[b]) / static_cast<double>(tableFree));
    shares.proved.push_back(static_cast<double>(proved[b]) / static_cast<double>(tableFree));
  }
  return shares;
}

// ---- Costs -------------------------------------------------------------------

double PowModMs(uint32_t byteCount, const std::string& kernel,
                double (*clock)() = CpuMilliseconds) {
  std::mt19937 rng(kSeed + byteCount);
  const BigInt n = RandomOdd(rng, byteCount);
  const PreparedModulus modulus(n, kernel);
  const BigInt exponent = (n - 1u) >> 1;
  const BigInt base(LehmanBases[0]);
  return MillisecondsPerRun([&] { modulus.Power(base, exponent); }, clock);
}

// The bound a search of this size chooses on the kernel it would run on.
uint32_t ChosenBound(uint32_t byteCount, const std::string& kernel) {
  std::mt19937 rng(kSeed + byteCount);
  const PreparedModulus modulus(RandomOdd(rng, byteCount), kernel);
  return FactorSieveBound(8 * byteCount, modulus.KernelName());
}

double PrepareMs(uint32_t byteCount, uint32_t bound) {
  std::mt19937 rng(kSeed + byteCount);
  const BigInt first = RandomOdd(rng, byteCount);
  // The whole construction, none of it left to the background.
  return MillisecondsPerRun(
      [&] { FactorSieve sieve(first, bound, kDefaultSieveWindow, 1, bound); });
}

// One window of the default length, the sieve moving window by window.
double WindowMs(uint32_t bound) {
  std::mt19937 rng(kSeed);
  FactorSieve sieve(RandomOdd(rng, 64), bound);
  sieve.AwaitComplete();
  uint64_t index = 0;
  return MillisecondsPerRun([&] {
    sieve.SmallestFactor(index);
    index += kDefaultSieveWindow;
  });
}

uint32_t Log2(uint32_t powerOfTwo) {
  uint32_t bits = 0;
  while ((powerOfTwo >>= 1) != 0) ++bits;
  return bits;
}

std::string BoundName(uint32_t bound) {
  return bound == 0 ? "none" : "2^" + std::to_string(Log2(bound));
}

bool ParseList(const char* text, std::vector<uint32_t>* values) {
  values->clear();
  for (;;) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (end == text || value == 0 || value > UINT16_MAX) return false;
    values->push_back(static_cast<uint32_t>(value));
    if (*end == '\0') return true;
    if (*end != ',') return false;
    text = end + 1;
  }
}

bool ParseOptions(int argc, char** argv, Options* options) {
  bool sizesGiven = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--prepare") == 0) {
      options->prepareOnly = true;
    } else if (std::strncmp(argv[i], "--threads=", 10) == 0) {
      std::vector<uint32_t> threads;
      if (!ParseList(argv[i] + 10, &threads) || threads.size() != 1) return false;
      options->threads = threads[0];
    } else if (std::strncmp(argv[i], "--sizes=", 8) == 0) {
      if (!ParseList(argv[i] + 8, &options->sizes)) return false;
      sizesGiven = true;
    } else if (std::strncmp(argv[i], "--kernel=", 9) == 0) {
      options->kernel = argv[i] + 9;
    } else if (std::strncmp(argv[i], "--bounds=", 9) == 0) {
      if (!ParseList(argv[i] + 9, &options->boundBits)) return false;
      for (const uint32_t bits : options->boundBits) {
        if (bits > 26) return false;
      }
    } else {
      return false;
    }
  }
  if (options->prepareOnly && !sizesGiven) options->sizes = {1024, 1536, 2048, 3072, 4096};
  return true;
}

// One staged construction, in wall-clock and CPU milliseconds (the CPU time of
// the construction's threads divided by their count): until the constructor
// returns, which the search waits for, and until every prime has joined.
struct StagedTimes {
  double waitWall = 0;
  double waitCpu = 0;
  double doneWall = 0;
  double doneCpu = 0;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The medians of at least five constructions adding up to kMinimumMs or more.
StagedTimes MeasureStages(const BigInt& first, uint32_t bound, uint32_t threads, uint32_t* primes) {
  std::vector<double> waitWall;
  std::vector<double> waitCpu;
  std::vector<double> doneWall;
  std::vector<double> doneCpu;
  const double begin = WallMilliseconds();
  while (waitWall.size() < 5 || WallMilliseconds() - begin < kMinimumMs) {
    const double wall0 = WallMilliseconds();
    const double cpu0 = CpuMilliseconds();
    FactorSieve sieve(first, bound, kDefaultSieveWindow, threads);
    waitWall.push_back(WallMilliseconds() - wall0);
    waitCpu.push_back((CpuMilliseconds() - cpu0) / threads);
    sieve.AwaitComplete();
    doneWall.push_back(WallMilliseconds() - wall0);
    doneCpu.push_back((CpuMilliseconds() - cpu0) / threads);
    *primes = sieve.PrimeCount();
  }
  return {Median(waitWall), Median(waitCpu), Median(doneWall), Median(doneCpu)};
}

// The sieve's construction beside one exponentiation, per size: what the
// search waits for (the first stage) and the whole construction, in
// wall-clock time and in CPU time per thread (what it takes on that many idle
// cores, when other work shares the machine), with their ratios to one
// exponentiation.
void ComparePreparation(const Options& options) {
  std::printf("%6s %6s %6s %8s %9s %9s %9s %9s %9s %9s %7s %7s %7s\n", "bytes", "bound", "first",
              "primes", "wait wall", "wait cpu", "done wall", "done cpu", "pow wall", "pow cpu",
              "wait x", "wait cx", "done cx");
  for (const uint32_t byteCount : options.sizes) {
    const uint32_t bound = ChosenBound(byteCount, options.kernel);
    std::mt19937 rng(kSeed + byteCount);
    const BigInt first = RandomOdd(rng, byteCount);
    uint32_t primes = 0;
    const StagedTimes times = MeasureStages(first, bound, options.threads, &primes);
    const double powModWall = PowModMs(byteCount, options.kernel, WallMilliseconds);
    const double powModCpu = PowModMs(byteCount, options.kernel);
    std::printf("%6u %6s %6s %8u %9.1f %9.1f %9.1f %9.1f %9.1f %9.1f %7.2f %7.2f %7.2f\n",
                byteCount, BoundName(bound).c_str(),
                BoundName(std::min(bound, FirstStageSieveBound(8 * byteCount))).c_str(), primes,
                times.waitWall, times.waitCpu, times.doneWall, times.doneCpu, powModWall, powModCpu,
                times.waitWall / powModWall, times.waitCpu / powModCpu, times.doneCpu / powModCpu);
    std::fflush(stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: %s [--sizes=16,32,...] [--bounds=14,...,26] [--kernel=NAME]\n"
                 "       %s --prepare [--sizes=1024,...] [--threads=2] [--kernel=NAME]\n",
                 argv[0], argv[0]);
    return 2;
  }
  if (options.prepareOnly) {
    ComparePreparation(options);
    return 0;
  }
  BuildSmallPrimeTable();
  const std::vector<uint32_t>& boundBits = options.boundBits;

  const Shares shares = MeasureShares(kShareBytes, boundBits);
  std::printf("table-free share of odd numbers: %.4f (%u starts of %u candidates, %u bytes)\n",
              shares.tableFree, kShareStarts, kShareCandidates, kShareBytes);
  std::printf("%6s %8s %10s %10s %10s %12s\n", "bound", "primes", "found", "proved", "1-ln7919/lnB",
              "window ms");
  std::vector<double> windowMs;
  for (size_t b = 0; b < boundBits.size(); ++b) {
    const uint32_t bound = 1u << boundBits[b];
    windowMs.push_back(WindowMs(bound));
    std::printf("  2^%-3u %8zu %10.4f %10.4f %10.4f %12.4f\n", boundBits[b],
                SievingPrimes(bound).size(), shares.factorFound[b], shares.proved[b],
                1 - std::log(7919.0) / std::log(static_cast<double>(bound)), windowMs.back());
    std::fflush(stdout);
  }

  std::printf("\nprepare ms (construction of the sieve) and expected saving ms per search\n");
  std::printf("%6s %10s %8s", "bytes", "powmod ms", "runs");
  for (const uint32_t bits : boundBits) std::printf("   prep 2^%-2u  save 2^%-2u", bits, bits);
  std::printf("  best   chosen\n");
  for (const uint32_t byteCount : options.sizes) {
    const double powModMs = PowModMs(byteCount, options.kernel);
    const double candidates = LnOf(byteCount) / 2;
    const double runs = shares.tableFree * candidates - 1;
    const double windows = std::ceil(candidates / kDefaultSieveWindow);
    std::printf("%6u %10.4f %8.1f", byteCount, powModMs, runs);
    double bestSaving = 0;
    uint32_t bestBits = 0;
    for (size_t b = 0; b < boundBits.size(); ++b) {
      const double prepareMs = PrepareMs(byteCount, 1u << boundBits[b]);
      const double saving = runs * shares.proved[b] * powModMs - prepareMs - windows * windowMs[b];
      std::printf(" %11.4f %11.4f", prepareMs, saving);
      std::fflush(stdout);
      if (saving > bestSaving) {
        bestSaving = saving;
        bestBits = boundBits[b];
      }
    }
    std::printf("  %-6s %s\n", BoundName(bestBits == 0 ? 0 : 1u << bestBits).c_str(),
                BoundName(ChosenBound(byteCount, options.kernel)).c_str());
  }

  std::printf(
      "\nshare of table-free odd numbers the sieve proves at the first base, at the\n"
      "bound FactorSieveBound chooses for their size\n%6s %8s %10s %10s\n",
      "bytes", "bound", "found", "proved");
  for (const uint32_t byteCount : options.sizes) {
    const uint32_t bound = ChosenBound(byteCount, options.kernel);
    if (bound == 0) continue;
    const Shares sized = MeasureShares(byteCount, {Log2(bound)});
    std::printf("%6u %8s %10.4f %10.4f\n", byteCount, BoundName(bound).c_str(),
                sized.factorFound[0], sized.proved[0]);
    std::fflush(stdout);
  }
  return 0;
}
