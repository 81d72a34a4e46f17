/// Whole-search benchmark: the program's own FindPrime, on one worker and on
/// many, against the same search written with GMP, all from the same fixed
/// starting numbers, timed side by side.
///
///   search_bench [--sizes=32,64,128,256,512] [--starts=5] [--repeat=1] [--wall]
///                [--workers=0] [--kernel=NAME] [--batches=on|off] [--sieve=BOUND]
///                [--csv=FILE]
///
/// For every size (in bytes) and start index the starting number comes from a
/// fixed seed, so every run and every choice of sizes sees the same numbers. Our
/// search is the real FindPrime with the random pieces of the start scripted and
/// its trace sent to /dev/null, once with one worker and once with --workers (0:
/// the program's own choice); the GMP search is the plain one: trial division by
/// the same table primes in ascending order (mpz_tdiv_ui), then the seven Lehman
/// bases (mpz_powm) up to the first failing one. All must accept the same number
/// after the same counts, or the program stops with status 1. Each row also
/// shows the share of Lehman runs whose first base a known factor proves
/// composite. Times are the process's CPU time, which a busy machine disturbs
/// less than wall time but which adds up every thread's; --wall measures wall
/// time, the measure for the many-worker search. --csv also writes one line per
/// start (bytes,start,tested,lehman,ours_1_ms,ours_n_ms,gmp_ms,clock), which
/// scripts/plot_bench.py reads. n/exp compares the many-worker search with the
/// exponentiations its trace needs: one per Lehman run that no known factor
/// settles, plus six for the accepted number, each timed once at that size,
/// divided by the workers under --wall (CPU time adds up every thread's).
/// --kernel runs our searches and that exponentiation on the named kernel
/// ("vector", "adx", "portable") where this processor has it, with that
/// kernel's tuning of the search.
/// --batches=off keeps our searches from running Lehman exponentiations side by
/// side; the "drop" columns give the exponentiations each of our searches ran
/// beyond those its trace used (the in-place search without batches runs
/// exactly those), as a share of them. --sieve sets our searches' sieve bound
/// (0: no sieve) in place of the one they choose by size.
#include <gmp.h>
#include <time.h>  // NOLINT(modernize-deprecated-headers): POSIX clock_gettime

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bench/fixed_inputs.h"
#include "bigint/prepared_modulus.h"
#include "platform/clock.h"
#include "platform/processors.h"
#include "primesearch/factor_sieve.h"
#include "primesearch/find_prime.h"
#include "primesearch/lehman.h"
#include "primesearch/small_prime_table.h"
#include "primesearch/trace_sink.h"
#include "primesearch/tuning.h"
#include "tests/support/bigint_support.h"

namespace {

using fixed_inputs::kSeed;
using fixed_inputs::StartPieces;
constexpr uint32_t kBitsPerPiece = 4;

struct Options {
  std::vector<uint32_t> sizes{32, 64, 128, 256, 512};
  uint32_t starts = 5;
  uint32_t repeat = 1;
  bool wall = false;
  uint32_t workers = 0;  // of the many-worker runs; 0: the program's own choice
  std::string kernel;    // of our searches; empty: the fastest
  bool batches = true;   // exponentiations side by side, where they pay
  uint32_t sieveBound = SearchOptions::kSieveBoundBySize;
  std::string csv;  // where the per-start rows go as CSV; empty: nowhere
};

// What a search ends with; equal for both searches when they did the same work.
struct SearchResult {
  std::string prime;
  long numbersTested = 0;
  long lehmanRuns = 0;
};

double Milliseconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double MillisecondsOf(clockid_t clock, const std::function<void()>& work) {
  const double begin = Milliseconds(clock);
  work();
  return Milliseconds(clock) - begin;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// ---- The search with GMP ----------------------------------------------------

bool HasSmallPrimeFactor(mpz_ptr n) {
  const SmallPrimeList primes = BuiltSmallPrimes();
  for (uint32_t j = 0; j < primes.count; ++j) {
    if (mpz_tdiv_ui(n, primes.entries[j].prime) == 0) return true;
  }
  return false;
}

// base^((n-1)/2) mod n is 1 or n - 1 for every base, tried up to the first failure.
bool PassesLehman(mpz_ptr n, Mpz& exponent, Mpz& minusOne, Mpz& base, Mpz& result) {
  mpz_sub_ui(minusOne.get(), n, 1);
  mpz_tdiv_q_2exp(exponent.get(), minusOne.get(), 1);
  for (const uint32_t lehmanBase : LehmanBases) {
    mpz_set_ui(base.get(), lehmanBase);
    mpz_powm(result.get(), base.get(), exponent.get(), n);
    if (mpz_cmp(result.get(), minusOne.get()) != 0 && mpz_cmp_ui(result.get(), 1) != 0)
      return false;
  }
  return true;
}

SearchResult GmpSearch(const std::vector<uint32_t>& pieces) {
  Mpz candidate, exponent, minusOne, base, result;
  for (uint32_t piece : pieces) {
    mpz_mul_2exp(candidate.get(), candidate.get(), kBitsPerPiece);
    mpz_add_ui(candidate.get(), candidate.get(), piece);
  }
  mpz_setbit(candidate.get(), 0);
  SearchResult outcome;
  for (;; mpz_add_ui(candidate.get(), candidate.get(), 2)) {
    ++outcome.numbersTested;
    // 1 has no small factor but is no prime: it is passed over.
    if (HasSmallPrimeFactor(candidate.get()) || mpz_cmp_ui(candidate.get(), 1) == 0) continue;
    ++outcome.lehmanRuns;
    if (PassesLehman(candidate.get(), exponent, minusOne, base, result)) break;
  }
  std::vector<char> text(mpz_sizeinbase(candidate.get(), 10) + 2);
  outcome.prime = mpz_get_str(text.data(), 10, candidate.get());
  return outcome;
}

// The first candidate of a search from these random pieces: their number, odd.
Mpz FirstCandidateMpz(const std::vector<uint32_t>& pieces) {
  Mpz candidate;
  for (uint32_t piece : pieces) {
    mpz_mul_2exp(candidate.get(), candidate.get(), kBitsPerPiece);
    mpz_add_ui(candidate.get(), candidate.get(), piece);
  }
  mpz_setbit(candidate.get(), 0);
  return candidate;
}

BigInt FirstCandidate(const std::vector<uint32_t>& pieces) {
  const Mpz candidate = FirstCandidateMpz(pieces);
  return FromMpz(candidate, std::max(2u, DigitsNeeded(candidate)));
}

// How many of the Lehman runs have a first base that a known factor proves
// composite, with the sieve bound the search chooses for this start.
long ProvedCount(const std::vector<uint32_t>& pieces, long lehmanRuns,
                 const SearchOptions& options) {
  Mpz candidate = FirstCandidateMpz(pieces);
  const BigInt first = FromMpz(candidate, std::max(2u, DigitsNeeded(candidate)));
  const uint32_t bound = SearchSieveBound(first, options);
  std::optional<FactorSieve> sieve;
  if (bound != 0) sieve.emplace(first, bound);
  // Every prime up to the bound, as the search has them once they have joined.
  if (sieve) sieve->AwaitComplete();
  long runs = 0;
  long proved = 0;
  for (uint64_t index = 0; runs < lehmanRuns;
       ++index, mpz_add_ui(candidate.get(), candidate.get(), 2)) {
    if (HasSmallPrimeFactor(candidate.get()) || mpz_cmp_ui(candidate.get(), 1) == 0) continue;
    ++runs;
    const uint32_t p = sieve ? sieve->SmallestFactor(index) : 0;
    if (p == 0) continue;
    const BigInt n = FromMpz(candidate, std::max(2u, DigitsNeeded(candidate)));
    if (FactorProvesComposite(LehmanBases[0], p, LehmanExponentModulo(n, p))) ++proved;
  }
  return proved;
}

// One Lehman exponentiation at the accepted number's size: the first base to
// the power (p - 1) / 2 modulo p, as the search runs it; the median of three.
double LehmanPowerMs(const std::string& prime, const std::string& kernel, clockid_t clock) {
  const Mpz p(prime.c_str());
  Mpz exponent;
  mpz_sub_ui(exponent.get(), p.get(), 1);
  mpz_fdiv_q_2exp(exponent.get(), exponent.get(), 1);
  const PreparedModulus modulus(FromMpz(p, DigitsNeeded(p)), kernel);
  const BigInt base(LehmanBases[0]);
  const BigInt power = FromMpz(exponent, std::max(2u, DigitsNeeded(exponent)));
  std::vector<double> times(3);
  for (double& time : times) time = MillisecondsOf(clock, [&] { modulus.Power(base, power); });
  return Median(times);
}

// ---- Our search --------------------------------------------------------------

// Runs FindPrime with its random pieces scripted, its trace going to the sink,
// adding its Lehman exponentiations to *exponentiations when given.
// Our search's options: workers, and the kernel and sieve bound of the command
// line.
SearchOptions OurOptions(uint32_t workers, const Options& bench, bool batches) {
  SearchOptions options;
  options.workers = workers;
  options.kernel = bench.kernel;
  options.batches = batches;
  options.sieveBound = bench.sieveBound;
  return options;
}

void OurSearch(const std::vector<uint32_t>& pieces, TraceSink& sink, SearchOptions options,
               uint64_t* exponentiations = nullptr) {
  size_t readings = 0;
  platform::SetPerformanceCounterSource([&pieces, &readings]() -> uint64_t {
    return readings < pieces.size() ? pieces[readings++] : 0;
  });
  options.exponentiations = exponentiations;
  FindPrime(static_cast<uint16_t>(pieces.size() / 2), sink, options);
  platform::SetPerformanceCounterSource(nullptr);
  if (readings != pieces.size()) {
    std::fprintf(stderr, "FindPrime read the counter %zu times, expected %zu\n", readings,
                 pieces.size());
    std::exit(1);
  }
}

// The accepted number and the counts, read back from a trace.
SearchResult ResultOfTrace(const std::string& trace) {
  SearchResult outcome;
  const std::string accepted = "\nAppears prime\n";
  const size_t end = trace.rfind(accepted);
  if (end == std::string::npos) return outcome;
  const size_t begin = trace.rfind('\n', end - 1) + 1;
  outcome.prime = trace.substr(begin, end - begin);
  std::sscanf(trace.c_str() + end + accepted.size(),
              "Tested %ld numbers before finding a prime. Resorted to Lehman method %ld times.",
              &outcome.numbersTested, &outcome.lehmanRuns);
  return outcome;
}

SearchResult OurSearchResult(const std::vector<uint32_t>& pieces, const SearchOptions& options,
                             uint64_t* exponentiations) {
  StringTraceSink trace;
  OurSearch(pieces, trace, options, exponentiations);
  return ResultOfTrace(trace.Text());
}

// ---- Driver ------------------------------------------------------------------

// Reads a decimal count in [low, high] at *text and moves *text past it.
bool ParseCount(const char** text, uint32_t low, uint32_t high, uint32_t* value) {
  char* end = nullptr;
  const unsigned long parsed = std::strtoul(*text, &end, 10);
  if (end == *text || parsed < low || parsed > high) return false;
  *value = static_cast<uint32_t>(parsed);
  *text = end;
  return true;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const char* p = argv[i];
    if (std::strncmp(p, "--sizes=", 8) == 0) {
      options->sizes.clear();
      p += 8;
      for (;;) {
        uint32_t size;
        if (!ParseCount(&p, 1, UINT16_MAX, &size)) return false;
        options->sizes.push_back(size);
        if (*p == '\0') break;
        if (*p++ != ',') return false;
      }
    } else if (std::strncmp(p, "--starts=", 9) == 0) {
      p += 9;
      if (!ParseCount(&p, 1, 1000, &options->starts) || *p != '\0') return false;
    } else if (std::strncmp(p, "--repeat=", 9) == 0) {
      p += 9;
      if (!ParseCount(&p, 1, 1000, &options->repeat) || *p != '\0') return false;
    } else if (std::strncmp(p, "--workers=", 10) == 0) {
      p += 10;
      if (!ParseCount(&p, 0, 256, &options->workers) || *p != '\0') return false;
    } else if (std::strncmp(p, "--kernel=", 9) == 0) {
      options->kernel = p + 9;
    } else if (std::strncmp(p, "--csv=", 6) == 0 && p[6] != '\0') {
      options->csv = p + 6;
    } else if (std::strcmp(p, "--batches=on") == 0 || std::strcmp(p, "--batches=off") == 0) {
      options->batches = std::strcmp(p, "--batches=on") == 0;
    } else if (std::strncmp(p, "--sieve=", 8) == 0) {
      p += 8;
      if (!ParseCount(&p, 0, kMaxSieveBound, &options->sieveBound) || *p != '\0') return false;
    } else if (std::strcmp(p, "--wall") == 0) {
      options->wall = true;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr,
                 "usage: %s [--sizes=32,64,128,256,512] [--starts=5] [--repeat=1] [--wall]\n"
                 "          [--workers=0] [--kernel=NAME] [--batches=on|off] [--sieve=BOUND]\n"
                 "          [--csv=FILE]\n"
                 "  sizes in bytes; starts per size; timed runs per start and search (median\n"
                 "  kept); wall time instead of CPU time; worker threads of our second search\n"
                 "  (0: the program's own choice, every processor; the first has one); the\n"
                 "  kernel of our searches (vector, adx, portable); exponentiations side by\n"
                 "  side or not; our sieve bound (0: none; default: by size); the per-start\n"
                 "  rows also as CSV\n",
                 argv[0]);
    return 2;
  }
  std::FILE* devNull = std::fopen("/dev/null", "w");
  if (devNull == nullptr) {
    std::perror("/dev/null");
    return 1;
  }
  FileTraceSink discard(devNull);
  std::FILE* csv = options.csv.empty() ? nullptr : std::fopen(options.csv.c_str(), "w");
  if (!options.csv.empty() && csv == nullptr) {
    std::perror(options.csv.c_str());
    return 1;
  }
  if (csv != nullptr)
    std::fprintf(csv, "bytes,start,tested,lehman,ours_1_ms,ours_n_ms,gmp_ms,clock\n");
  BuildSmallPrimeTable();

  const clockid_t clock = options.wall ? CLOCK_MONOTONIC : CLOCK_PROCESS_CPUTIME_ID;
  const std::string allWorkers = options.workers == 0 ? std::to_string(platform::ProcessorCount())
                                                      : std::to_string(options.workers);
  std::printf(
      "seed %u, %u start(s) per size, median of %u timed run(s) per search, %s time; ours on 1 and "
      "on %s worker(s), batches %s\n",
      kSeed, options.starts, options.repeat, options.wall ? "wall" : "CPU (all threads)",
      allWorkers.c_str(), options.batches ? "on" : "off");
  const double costDivisor = options.wall ? std::stod(allWorkers) : 1;
  std::printf("%6s %5s %7s %6s %7s %11s %11s %11s %7s %7s %7s %7s %7s\n", "bytes", "start",
              "tested", "lehman", "proved", "ours-1 ms", "ours-n ms", "gmp ms", "1/gmp", "n/gmp",
              "n/exp", "drop-1", "drop-n");
  struct SizeSummary {
    std::vector<double> oneMs, allMs, gmpMs, oneRatios, allRatios, proved, costRatios, oneDrops,
        allDrops;
  };
  std::vector<SizeSummary> summaries(options.sizes.size());
  for (size_t s = 0; s < options.sizes.size(); ++s) {
    const uint32_t byteCount = options.sizes[s];
    for (uint32_t start = 0; start < options.starts; ++start) {
      const std::vector<uint32_t> pieces = StartPieces(byteCount, start);
      // An untimed run of each search checks that they all do the same work.
      const SearchResult gmp = GmpSearch(pieces);
      uint64_t used = 0;
      uint64_t ran[2] = {};
      // The reference keeps the sieve of the searches it is the reference of.
      SearchOptions reference = OurOptions(1, options, false);
      reference.sieveBound =
          SearchSieveBound(FirstCandidate(pieces), OurOptions(1, options, options.batches));
      OurSearchResult(pieces, reference, &used);
      const uint32_t workerCounts[2] = {1u, options.workers};
      for (uint32_t run = 0; run < 2; ++run) {
        const uint32_t workers = workerCounts[run];
        const SearchResult ours =
            OurSearchResult(pieces, OurOptions(workers, options, options.batches), &ran[run]);
        if (ours.prime != gmp.prime || ours.numbersTested != gmp.numbersTested ||
            ours.lehmanRuns != gmp.lehmanRuns) {
          std::fprintf(stderr,
                       "searches differ at %u bytes, start %u, workers %u:\n ours %s (%ld, %ld)\n "
                       "gmp  %s (%ld, %ld)\n",
                       byteCount, start, workers, ours.prime.c_str(), ours.numbersTested,
                       ours.lehmanRuns, gmp.prime.c_str(), gmp.numbersTested, gmp.lehmanRuns);
          return 1;
        }
      }
      std::vector<double> oneTimes, allTimes, gmpTimes;
      for (uint32_t r = 0; r < options.repeat; ++r) {
        oneTimes.push_back(MillisecondsOf(
            clock, [&] { OurSearch(pieces, discard, OurOptions(1, options, options.batches)); }));
        allTimes.push_back(MillisecondsOf(clock, [&] {
          OurSearch(pieces, discard, OurOptions(options.workers, options, options.batches));
        }));
        gmpTimes.push_back(MillisecondsOf(clock, [&] { GmpSearch(pieces); }));
      }
      SizeSummary& summary = summaries[s];
      summary.oneMs.push_back(Median(oneTimes));
      summary.allMs.push_back(Median(allTimes));
      summary.gmpMs.push_back(Median(gmpTimes));
      summary.oneRatios.push_back(summary.oneMs.back() / summary.gmpMs.back());
      summary.allRatios.push_back(summary.allMs.back() / summary.gmpMs.back());
      const long proved =
          ProvedCount(pieces, gmp.lehmanRuns, OurOptions(1, options, options.batches));
      summary.proved.push_back(static_cast<double>(proved) / static_cast<double>(gmp.lehmanRuns));
      const auto exponentiations = static_cast<double>(gmp.lehmanRuns - proved + 6);
      summary.costRatios.push_back(
          summary.allMs.back() * costDivisor /
          (exponentiations * LehmanPowerMs(gmp.prime, options.kernel, clock)));
      const auto dropOf = [used](uint64_t count) {
        return 100 * (static_cast<double>(count) - static_cast<double>(used)) /
               static_cast<double>(used);
      };
      summary.oneDrops.push_back(dropOf(ran[0]));
      summary.allDrops.push_back(dropOf(ran[1]));
      std::printf(
          "%6u %5u %7ld %6ld %6.0f%% %11.3f %11.3f %11.3f %7.2f %7.2f %7.2f %6.1f%% %6.1f%%\n",
          byteCount, start, gmp.numbersTested, gmp.lehmanRuns, 100 * summary.proved.back(),
          summary.oneMs.back(), summary.allMs.back(), summary.gmpMs.back(),
          summary.oneRatios.back(), summary.allRatios.back(), summary.costRatios.back(),
          summary.oneDrops.back(), summary.allDrops.back());
      std::fflush(stdout);
      if (csv != nullptr) {
        std::fprintf(csv, "%u,%u,%ld,%ld,%.3f,%.3f,%.3f,%s\n", byteCount, start, gmp.numbersTested,
                     gmp.lehmanRuns, summary.oneMs.back(), summary.allMs.back(),
                     summary.gmpMs.back(), options.wall ? "wall" : "cpu");
      }
    }
  }
  std::printf("\nmedians over the starts\n%6s %7s %11s %11s %11s %7s %7s %7s %7s %7s\n", "bytes",
              "proved", "ours-1 ms", "ours-n ms", "gmp ms", "1/gmp", "n/gmp", "n/exp", "drop-1",
              "drop-n");
  for (size_t s = 0; s < options.sizes.size(); ++s) {
    const SizeSummary& summary = summaries[s];
    std::printf("%6u %6.0f%% %11.3f %11.3f %11.3f %7.2f %7.2f %7.2f %6.1f%% %6.1f%%\n",
                options.sizes[s], 100 * Median(summary.proved), Median(summary.oneMs),
                Median(summary.allMs), Median(summary.gmpMs), Median(summary.oneRatios),
                Median(summary.allRatios), Median(summary.costRatios), Median(summary.oneDrops),
                Median(summary.allDrops));
  }
  std::fclose(devNull);
  if (csv != nullptr && std::fclose(csv) != 0) {
    std::perror(options.csv.c_str());
    return 1;
  }
  return 0;
}
