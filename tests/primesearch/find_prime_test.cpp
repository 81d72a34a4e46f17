/// Tests of the search driver: its whole trace for scripted random pieces,
/// compared line by line with a search computed independently with GMP, and the
/// elapsed seconds for scripted tick readings.
#include "primesearch/find_prime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bigint/prepared_modulus.h"
#include "platform/clock.h"
#include "primesearch/small_prime_table.h"
#include "tests/support/bigint_support.h"
#include "tests/support/output_capture.h"
#include "tests/support/search_oracle.h"

namespace {

struct Trace {
  std::vector<std::string> lines;
  std::vector<std::string> expected;
  oracle::SearchOutcome outcome;
};

// A sink that moves the clock on when the search writes its statistics, so the
// search's closing reading sees the end of the run.
class ClockAtStatistics : public StringTraceSink {
 public:
  ClockAtStatistics(ManualTicks& clock, uint32_t endTick) : clock_(clock), endTick_(endTick) {}

 protected:
  void Write(const char* text, size_t size) override {
    StringTraceSink::Write(text, size);
    if (std::string(text, size).rfind("Tested ", 0) == 0) clock_.Set(endTick_);
  }

 private:
  ManualTicks& clock_;
  uint32_t endTick_;
};

// Runs a search whose random pieces are scripted and whose clock reads
// `startTick` until the statistics line and `endTick` after it, so no progress
// line falls due. The expected trace is built from the same pieces by the
// oracle. A shorter table than the built one can be passed in.
Trace RunSearch(uint16_t byteCount, const std::vector<uint32_t>& pieces, uint32_t startTick,
                uint32_t endTick, uint32_t expectedSeconds, uint32_t tablePrimes = 1000,
                SearchOptions options = {}) {
  Trace trace;
  Mpz first = oracle::FromPieces(pieces);
  mpz_setbit(first.get(), 0);
  trace.outcome = oracle::Search(first, tablePrimes);
  trace.expected = oracle::PieceLines(pieces);
  trace.expected.insert(trace.expected.end(), trace.outcome.lines.begin(),
                        trace.outcome.lines.end());
  trace.expected.push_back("Process took " + std::to_string(expectedSeconds) + " seconds.");

  ScriptedCounter counter(std::vector<uint64_t>(pieces.begin(), pieces.end()));
  ManualTicks clock(startTick);
  ClockAtStatistics sink(clock, endTick);
  options.smallPrimes.count = std::min(options.smallPrimes.count, tablePrimes);
  FindPrime(byteCount, sink, options);
  trace.lines = SplitLines(sink.Text());
  return trace;
}

// The random pieces of a byteCount-byte start, from a fixed seed.
std::vector<uint32_t> RandomPieces(uint32_t seed, uint16_t byteCount) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> pieces(2u * byteCount);
  for (uint32_t& piece : pieces) piece = rng() & 0xF;
  return pieces;
}

void ExpectTraceAsComputed(const Trace& trace) {
  EXPECT_TRUE(oracle::SameLines(trace.lines, trace.expected));
}

}  // namespace

TEST(FindPrimeTest, SearchFromFiftyNineEndsAtFirstPrimeAboveTable) {
  BuildSmallPrimeTable();
  const Trace trace = RunSearch(1, {3, 10}, 123456, 123456 + 1999, 1);
  ExpectTraceAsComputed(trace);

  ASSERT_GE(trace.lines.size(), 10u);
  EXPECT_EQ(trace.lines[2], "Testing for prime:");
  EXPECT_EQ(trace.lines[3], "59");
  EXPECT_EQ(trace.lines[4], "It's evenly divisible by 59");
  EXPECT_EQ(trace.lines[5], "Testing for prime:");
  EXPECT_EQ(trace.lines[6], "+2");
  EXPECT_EQ(trace.lines[7], "It's evenly divisible by 61");
  EXPECT_EQ(trace.lines[9], "+4");
  const size_t n = trace.lines.size();
  EXPECT_EQ(trace.lines[n - 4], "7927");
  EXPECT_EQ(trace.lines[n - 3], "Appears prime");
  EXPECT_EQ(trace.lines[n - 2],
            "Tested 3935 numbers before finding a prime. Resorted to Lehman method 1 times.");
  EXPECT_EQ(trace.lines[n - 1], "Process took 1 seconds.");
}

TEST(FindPrimeTest, FirstCandidateOneIsPassedOver) {
  BuildSmallPrimeTable();
  // The tick counter wraps during the search: 1000 ms before the wrap, 1000 after.
  const Trace trace = RunSearch(1, {0, 0}, 0xFFFFFC18u, 0x000003E8u, 2);
  ExpectTraceAsComputed(trace);

  ASSERT_GE(trace.lines.size(), 7u);
  EXPECT_EQ(trace.lines[2], "Testing for prime:");
  EXPECT_EQ(trace.lines[3], "1");
  EXPECT_EQ(trace.lines[4], "Testing for prime:");
  EXPECT_EQ(trace.lines[5], "+2");
  EXPECT_EQ(trace.lines[6], "It's evenly divisible by 3");
  const size_t n = trace.lines.size();
  EXPECT_EQ(trace.lines[n - 4], "7927");
  EXPECT_EQ(trace.lines[n - 2],
            "Tested 3964 numbers before finding a prime. Resorted to Lehman method 1 times.");
  EXPECT_EQ(trace.lines[n - 1], "Process took 2 seconds.");
}

TEST(FindPrimeTest, ShortSearchesMatchTheIndependentTrace) {
  struct Row {
    const char* label;
    uint16_t byteCount;
    std::vector<uint32_t> pieces;
    uint32_t tablePrimes;
    int lehmanRuns;
  };
  const std::vector<Row> rows = {
      {"7927 passes at once", 2, {0x1, 0xE, 0xF, 0x7}, 1000, 1},
      // 25012 is made odd; 25013 is a prime equal to a Lehman base, so the
      // search goes on past a composite verdict.
      {"past a prime equal to a base", 2, {0x6, 0x1, 0xB, 0x4}, 1000, 2},
      // With only 2, 3 and 5 in the table, 49 reaches the Lehman method.
      {"three table entries", 1, {0x3, 0x1}, 3, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    BuildSmallPrimeTable();
    const Trace trace = RunSearch(row.byteCount, row.pieces, 5000, 5000, 0, row.tablePrimes);
    EXPECT_EQ(trace.outcome.lehmanRuns, row.lehmanRuns) << "the case no longer covers its path";
    ExpectTraceAsComputed(trace);
  }
}

TEST(FindPrimeTest, ElapsedSecondsUseWrappingMilliseconds) {
  struct Row {
    const char* label;
    uint32_t start;
    uint32_t end;
    uint32_t seconds;
  };
  const Row rows[] = {
      {"no time at all", 5000, 5000, 0},
      {"999 ms", 5000, 5999, 0},
      {"1000 ms", 5000, 6000, 1},
      {"1999 ms", 5000, 6999, 1},
      {"wrap after 1000 ms, 2500 ms in all", 0xFFFFFC18u, 0x000003E8u + 500, 2},
      {"wrap by 1 ms", 0xFFFFFFFFu, 0, 0},
      {"the longest span", 0, 0xFFFFFFFFu, 4294967},
  };
  BuildSmallPrimeTable();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const Trace trace = RunSearch(2, {0x1, 0xE, 0xF, 0x7}, row.start, row.end, row.seconds);
    ASSERT_FALSE(trace.lines.empty());
    EXPECT_EQ(trace.lines.back(), "Process took " + std::to_string(row.seconds) + " seconds.");
  }
}

// How the Lehman runs are done never shows: one worker or several, with factors
// from a sieve or without, first bases side by side or one at a time, from
// fixed starts across sizes the trace equals the one computed with GMP. At 3
// bytes every candidate is below 2^24, so sieved candidates include primes below
// the bound, each its own known factor. From 64 bytes on, batches pay where the
// processor has a kernel for them; the start 2^512 - 1 has the candidates grow
// by a bit right away, inside the first batch's look-ahead. The search runs on
// the kernel chosen by size and on the scalar kernels, whose moduli batch on
// another kernel (beside the portable one wherever the processor has AVX2).
TEST(FindPrimeTest, WorkersSieveAndBatchesLeaveTheTraceAsComputed) {
  BuildSmallPrimeTable();
  std::mt19937 rng(kTestSeed + 12);
  std::vector<std::vector<uint32_t>> starts;
  for (const uint16_t byteCount : {uint16_t{3}, uint16_t{8}, uint16_t{16}, uint16_t{32},
                                   uint16_t{48}, uint16_t{64}, uint16_t{128}}) {
    std::vector<uint32_t> pieces(2u * byteCount);
    for (uint32_t& piece : pieces) piece = rng() & 0xF;
    starts.push_back(pieces);
  }
  starts.emplace_back(2u * 64, 0xFu);
  for (const std::vector<uint32_t>& pieces : starts) {
    const auto byteCount = static_cast<uint16_t>(pieces.size() / 2);
    Mpz first = oracle::FromPieces(pieces);
    mpz_setbit(first.get(), 0);
    const oracle::SearchOutcome outcome = oracle::Search(first);
    std::vector<std::string> expected = oracle::PieceLines(pieces);
    expected.insert(expected.end(), outcome.lines.begin(), outcome.lines.end());
    expected.emplace_back("Process took 0 seconds.");
    for (const char* kernel : {"", "adx", "portable"}) {
      for (const uint32_t workers : {1u, 2u, 4u}) {
        for (const uint32_t sieveBound : {0u, 1u << 16, 1u << 20}) {
          for (const bool batches : {false, true}) {
            SCOPED_TRACE(testing::Message()
                         << byteCount << " bytes from " << pieces[0] << ", " << workers
                         << " worker(s), sieve bound " << sieveBound << ", batches " << batches
                         << ", kernel '" << kernel << "'");
            SearchOptions options;
            options.workers = workers;
            options.sieveBound = sieveBound;
            options.batches = batches;
            options.kernel = kernel;
            ScriptedCounter counter(std::vector<uint64_t>(pieces.begin(), pieces.end()));
            ManualTicks clock(1000);
            StringTraceSink sink;
            FindPrime(byteCount, sink, options);
            EXPECT_TRUE(oracle::SameLines(SplitLines(sink.Text()), expected));
          }
        }
      }
    }
  }
}

// Every arithmetic kernel this processor has gives the computed trace, with its
// own tuning of the search (sieve bound and workers by size): one fixed start
// per kernel, at a size every odd-modulus kernel serves.
TEST(FindPrimeTest, EveryKernelGivesTheComputedTrace) {
  BuildSmallPrimeTable();
  constexpr uint16_t kByteCount = 64;
  const std::vector<uint32_t> pieces = RandomPieces(kTestSeed + 13, kByteCount);
  Mpz first = oracle::FromPieces(pieces);
  mpz_setbit(first.get(), 0);
  const BigInt firstValue = FromMpz(first, DigitsNeeded(first));
  for (const char* kernel : {"portable", "adx", "vector"}) {
    if (std::string(PreparedModulus(firstValue, kernel).KernelName()) != kernel) continue;
    SCOPED_TRACE(kernel);
    SearchOptions options;
    options.kernel = kernel;
    ExpectTraceAsComputed(RunSearch(kByteCount, pieces, 1000, 1000, 0, 1000, options));
  }
}

// With a clock that runs two seconds per reading, progress lines fall due at
// every checkpoint, yet only the exponentiation the trace waits for may write
// them, with its own bit counts, even when it runs side by side with others:
// each lies inside a Lehman run, before the result it leads to, counts the bits
// of an exponent (n-1)/2 whose checkpoints come every 32 bits from its top bit,
// and without them the trace is the computed one, whichever batch kernel runs
// them. Run under ThreadSanitizer by the tsan workflow.
TEST(FindPrimeTest, ProgressLinesComeOnlyFromTheAwaitedExponentiation) {
  BuildSmallPrimeTable();
  std::atomic<uint32_t> now{0};
  platform::SetTickCountSource([&now] { return now.fetch_add(2000); });
  for (const uint16_t byteCount : {uint16_t{48}, uint16_t{64}}) {
    const std::vector<uint32_t> pieces = RandomPieces(kTestSeed + 13, byteCount);
    Mpz first = oracle::FromPieces(pieces);
    mpz_setbit(first.get(), 0);
    std::vector<std::string> expected = oracle::PieceLines(pieces);
    const oracle::SearchOutcome outcome = oracle::Search(first);
    expected.insert(expected.end(), outcome.lines.begin(), outcome.lines.end());
    // Every candidate has the first one's length: the exponent's top bit.
    const auto topBit = static_cast<int32_t>(mpz_sizeinbase(first.get(), 2)) - 2;
    // Batches on the kernel chosen by size and, for moduli on the scalar
    // kernels, on another.
    const std::pair<bool, const char*> kRuns[] = {
        {false, ""}, {true, ""}, {true, "adx"}, {true, "portable"}};
    for (const uint32_t workers : {1u, 2u, 4u}) {
      for (const auto& [batches, kernel] : kRuns) {
        SCOPED_TRACE(testing::Message()
                     << byteCount << " bytes, " << workers << " worker(s), batches " << batches
                     << ", kernel '" << kernel << "'");
        SearchOptions options;
        options.workers = workers;
        options.batches = batches;
        options.kernel = kernel;
        ScriptedCounter counter(std::vector<uint64_t>(pieces.begin(), pieces.end()));
        StringTraceSink sink;
        FindPrime(byteCount, sink, options);
        std::vector<std::string> lines = SplitLines(sink.Text());
        ASSERT_FALSE(lines.empty());
        lines.pop_back();  // the elapsed seconds depend on the readings taken

        std::vector<std::string> withoutProgress;
        bool insideRun = false;
        size_t progressLines = 0;
        for (const std::string& line : lines) {
          if (line.find(" bits remaining in PowMod.") != std::string::npos) {
            const int bitsRemaining = std::stoi(line);
            EXPECT_TRUE(insideRun)
                << "progress outside a Lehman run, after \"" << withoutProgress.back() << "\"";
            EXPECT_TRUE(bitsRemaining == -1 ||
                        (bitsRemaining >= 0 && (topBit - bitsRemaining) % 32 == 0))
                << line;
            ++progressLines;
            continue;
          }
          withoutProgress.push_back(line);
          if (line == "No small prime factors; trying Lehman method") insideRun = true;
          if (line.find("indicates composite") != std::string::npos || line == "Appears prime")
            insideRun = false;
        }
        // With workers the awaited result may be ready before its first checkpoint.
        if (workers == 1) {
          EXPECT_GT(progressLines, 0u);
        }
        EXPECT_TRUE(oracle::SameLines(withoutProgress, expected));
      }
    }
  }
  platform::SetTickCountSource(nullptr);
}

namespace {

// Records where the text stood at every flush.
class FlushRecordingSink : public StringTraceSink {
 public:
  void Flush() override { flushes_.push_back(Text().size()); }
  bool FlushedAt(size_t offset) const {
    return std::find(flushes_.begin(), flushes_.end(), offset) != flushes_.end();
  }

 private:
  std::vector<size_t> flushes_;
};

}  // namespace

// A reader of a pipe sees each Lehman run announced as it starts and each
// progress line as it is made: the sink is flushed right after those lines,
// before anything else is written, in place and with workers. The clock runs
// two seconds per reading, so progress lines fall due at every checkpoint.
TEST(FindPrimeTest, TheTraceIsFlushedAtEachLehmanRunAndProgressLine) {
  BuildSmallPrimeTable();
  const std::vector<uint32_t> pieces = RandomPieces(kTestSeed + 14, 48);
  std::atomic<uint32_t> now{0};
  platform::SetTickCountSource([&now] { return now.fetch_add(2000); });
  for (const uint32_t workers : {1u, 2u}) {
    SCOPED_TRACE(testing::Message() << workers << " worker(s)");
    SearchOptions options;
    options.workers = workers;
    ScriptedCounter counter(std::vector<uint64_t>(pieces.begin(), pieces.end()));
    FlushRecordingSink sink;
    FindPrime(48, sink, options);
    size_t end = 0;
    size_t flushedLines = 0;
    for (const std::string& line : SplitLines(sink.Text())) {
      end += line.size() + 1;
      if (line == "No small prime factors; trying Lehman method" ||
          line.find(" bits remaining in PowMod.") != std::string::npos) {
        EXPECT_TRUE(sink.FlushedAt(end)) << "no flush after \"" << line << "\" at " << end;
        ++flushedLines;
      }
    }
    EXPECT_GT(flushedLines, 1u) << "the case no longer covers its lines";
  }
  platform::SetTickCountSource(nullptr);
}

namespace {

// A sink whose reader goes away: every write and flush after the first line
// that `isLast` picks fails.
class ReaderLeavesSink : public StringTraceSink {
 public:
  explicit ReaderLeavesSink(std::function<bool(const std::string&)> isLast)
      : isLast_(std::move(isLast)) {}

  void Flush() override {
    if (gone_) MarkFailed();
  }

 protected:
  void Write(const char* text, size_t size) override {
    if (gone_) {
      MarkFailed();
      return;
    }
    StringTraceSink::Write(text, size);
    line_.append(text, size);
    for (size_t end = line_.find('\n'); end != std::string::npos; end = line_.find('\n')) {
      gone_ = gone_ || isLast_(line_.substr(0, end));
      line_.erase(0, end + 1);
    }
  }

 private:
  std::function<bool(const std::string&)> isLast_;
  std::string line_;
  bool gone_ = false;
};

bool IsProgressLine(const std::string& line) {
  return line.find(" bits remaining in PowMod.") != std::string::npos;
}

}  // namespace

// The first failed write or flush ends the search at once, wherever it falls:
// in the random pieces, at the flush that starts a Lehman run, or at a progress
// line inside an exponentiation; in place and with workers, where first bases
// run side by side at this size (16384 bits) and one at a time elsewhere. A
// 2048-byte search, or a batch of its exponentiations, that ran on would take
// far longer than any test. The clock runs two seconds
// per reading, so the first checkpoint of an exponentiation writes a line.
TEST(FindPrimeTest, AFailedWriteEndsTheSearchAtOnce) {
  BuildSmallPrimeTable();
  constexpr uint16_t kBytes = 2048;
  const std::vector<uint32_t> pieces = RandomPieces(kTestSeed + 15, kBytes);
  struct Row {
    const char* label;
    std::function<bool(const std::string&)> isKind;
    uint32_t occurrence;  // the reader leaves after this line of the kind
  };
  const Row rows[] = {
      {"in the random pieces",
       [](const std::string& line) { return line.rfind("Random number component", 0) == 0; }, 10},
      {"at the start of a Lehman run",
       [](const std::string& line) {
         return line == "No small prime factors; trying Lehman method";
       },
       1},
      {"at a progress line", IsProgressLine, 1},
  };
  std::atomic<uint32_t> now{0};
  platform::SetTickCountSource([&now] { return now.fetch_add(2000); });
  for (const Row& row : rows) {
    for (const uint32_t workers : {1u, 2u, 4u}) {
      SCOPED_TRACE(testing::Message() << row.label << ", " << workers << " worker(s)");
      SearchOptions options;
      options.workers = workers;
      options.sieveBound = 0;
      ScriptedCounter counter(std::vector<uint64_t>(pieces.begin(), pieces.end()));
      uint32_t seen = 0;
      ReaderLeavesSink sink(
          [&](const std::string& line) { return row.isKind(line) && ++seen == row.occurrence; });
      FindPrime(kBytes, sink, options);
      EXPECT_TRUE(sink.Failed());
      EXPECT_EQ(seen, row.occurrence) << "the case no longer covers its path";
      ASSERT_FALSE(sink.Text().empty());
      EXPECT_EQ(sink.Text().back(), '\n') << "the trace ends inside a line";
    }
  }
  platform::SetTickCountSource(nullptr);
}
