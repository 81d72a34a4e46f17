/// Tests of the search driver: its whole trace for scripted random pieces,
/// compared line by line with a search computed independently with GMP, and the
/// elapsed seconds for scripted tick readings.
#include "primesearch/find_prime.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "primesearch/small_prime_table.h"
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
                uint32_t endTick, uint32_t expectedSeconds, uint32_t tablePrimes = 1000) {
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
  SearchOptions options;
  options.smallPrimes.count = std::min(options.smallPrimes.count, tablePrimes);
  FindPrime(byteCount, sink, options);
  trace.lines = SplitLines(sink.Text());
  return trace;
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
