/// Tests of the command line and of the built executable: the byte count read
/// from an argument, the usage text, the exit status when standard output fails,
/// and whole searches of the real program checked against GMP.
#include "cli/entry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "primesearch/small_prime_table.h"
#include "tests/support/bigint_support.h"
#include "tests/support/output_capture.h"
#include "tests/support/process.h"
#include "tests/support/search_oracle.h"

namespace {

const char kPiecePrefix[] = "Random number component generated: ";
const char kWriteFailure[] = "largeprime: could not write standard output\n";

std::string UsageText(const std::string& programName) {
  const std::string syntax = "Syntax: " + programName + " <number of bytes>\n";
  return "Large prime number generator\n" + syntax +
         "For example, to get a 1024-bit prime, specify 128 bytes\n"
         "NOTE: A 32-byte prime generally takes 1-20 seconds (about 5 average) on a 2 GHz "
         "mahcine.\n"
         "Finding a large prime can be very slow!\n";
}

bool IsDecimal(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(),
                                      [](unsigned char c) { return std::isdigit(c) != 0; });
}

bool HasPrefix(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

bool IsProgressLine(const std::string& line) {
  const std::string suffix = " bits remaining in PowMod.";
  if (line.size() <= suffix.size() ||
      line.compare(line.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return false;
  }
  const std::string count = line.substr(0, line.size() - suffix.size());
  return IsDecimal(count[0] == '-' ? count.substr(1) : count);
}

// Runs the real program for one argument and checks its whole output: the
// pieces it printed determine the search, which GMP then repeats.
void CheckRealSearch(const std::string& argument, uint16_t byteCount) {
  const ProcessResult result = RunLargePrimeProcess({argument});
  EXPECT_EQ(result.exitStatus, 0);
  EXPECT_EQ(result.err, "");

  // Progress lines depend on the machine's speed; everything else does not.
  std::vector<std::string> lines;
  for (const std::string& line : SplitLines(result.out)) {
    if (!IsProgressLine(line)) lines.push_back(line);
  }
  const size_t pieceCount = 2u * byteCount;
  const auto pieceLines = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
    return HasPrefix(line, kPiecePrefix);
  });
  EXPECT_EQ(static_cast<size_t>(pieceLines), pieceCount);
  ASSERT_GE(lines.size(), pieceCount + 7);

  std::vector<uint32_t> pieces;
  for (size_t i = 0; i < pieceCount; ++i) {
    ASSERT_TRUE(HasPrefix(lines[i], kPiecePrefix)) << lines[i];
    const std::string piece = lines[i].substr(sizeof kPiecePrefix - 1);
    ASSERT_TRUE(IsDecimal(piece) && std::stoul(piece) < 16) << lines[i];
    pieces.push_back(static_cast<uint32_t>(std::stoul(piece)));
  }

  // The tail: the number, "Appears prime", the statistics and the time.
  const size_t n = lines.size();
  const std::string timeLine = lines[n - 1];
  ASSERT_TRUE(HasPrefix(timeLine, "Process took ")) << timeLine;
  const std::string seconds = timeLine.substr(13, timeLine.size() - 13 - 9);
  EXPECT_TRUE(IsDecimal(seconds) && timeLine.substr(timeLine.size() - 9) == " seconds.")
      << timeLine;
  EXPECT_TRUE(HasPrefix(lines[n - 2], "Tested ")) << lines[n - 2];
  EXPECT_EQ(lines[n - 3], "Appears prime");
  ASSERT_TRUE(IsDecimal(lines[n - 4])) << lines[n - 4];
  const Mpz accepted(lines[n - 4].c_str());
  EXPECT_GT(mpz_probab_prime_p(accepted.get(), 30), 0) << lines[n - 4];

  // The first candidate plus the last offset is the accepted number.
  ASSERT_EQ(lines[pieceCount], "Testing for prime:");
  ASSERT_TRUE(IsDecimal(lines[pieceCount + 1])) << lines[pieceCount + 1];
  Mpz reached(lines[pieceCount + 1].c_str());
  const auto lastOffset = std::find_if(
      lines.rbegin(), lines.rend(), [](const std::string& line) { return HasPrefix(line, "+"); });
  if (lastOffset != lines.rend()) {
    mpz_add_ui(reached.get(), reached.get(), std::stoul(lastOffset->substr(1)));
  }
  EXPECT_TRUE(reached == accepted) << "first candidate plus last offset is " << reached.Decimal();

  // The whole trace, as GMP would search from the same odd start.
  Mpz first = oracle::FromPieces(pieces);
  mpz_setbit(first.get(), 0);
  std::vector<std::string> expected = oracle::PieceLines(pieces);
  const oracle::SearchOutcome outcome = oracle::Search(first);
  expected.insert(expected.end(), outcome.lines.begin(), outcome.lines.end());
  expected.push_back(timeLine);
  EXPECT_TRUE(oracle::SameLines(lines, expected));
}

}  // namespace

TEST(EntryTest, ByteCountIsTheLowSixteenBitsOfTheNumberRead) {
  struct Row {
    const char* argument;
    const char* numberRead;  // the signed decimal number the leading text spells
  };
  const Row rows[] = {
      {"1", "1"},
      {"65535", "65535"},
      {"65536", "0"},
      {"65537", "65537"},
      {"4294967297", "4294967297"},
      {"-1", "-1"},
      {"-65536", "-65536"},
      {"  -65535", "-65535"},
      {" +8", "8"},
      {"\t\n\v\f\r 7", "7"},
      {"12abc", "12"},
      {"12 34", "12"},
      {"1e3", "1"},
      {"0x10", "0"},
      {"007", "7"},
      {"+-3", "0"},
      {"- 5", "0"},
      {"-", "0"},
      {"", "0"},
      {"abc", "0"},
      {"2147483648", "2147483648"},
      {"99999999999", "99999999999"},
      {"-99999999999", "-99999999999"},
      {"123456789012345678901234567890", "123456789012345678901234567890"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string("argument \"") + row.argument + "\"");
    // Floor division gives the two's-complement low bits for negative numbers too.
    const Mpz number(row.numberRead);
    const unsigned long expected = mpz_fdiv_ui(number.get(), 65536);
    EXPECT_EQ(ByteCountFromArgument(row.argument), expected);
  }
}

TEST(EntryTest, UsageNamesTheProgramAsStarted) {
  struct Row {
    const char* label;
    std::vector<const char*> argv;  // without the terminating null
    std::string name;
  };
  const std::vector<Row> rows = {
      {"conversion characters in the name are printed as they are", {"lp%s%n%d"}, "lp%s%n%d"},
      {"a path", {"/opt/bin/largeprime", "0"}, "/opt/bin/largeprime"},
      {"no name at all", {}, "largeprime"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    std::vector<const char*> argv = row.argv;
    argv.push_back(nullptr);
    StringTraceSink out;
    RunLargePrime(static_cast<int32_t>(row.argv.size()), argv.data(), out);
    EXPECT_EQ(out.Text(), UsageText(row.name));
  }
}

TEST(EntryTest, SearchArgumentsBuildTheTableAndSearchThatManyBytes) {
  // Four scripted pieces make 7927, which passes at once, so each run is short.
  const std::vector<uint32_t> pieces = {0x1, 0xE, 0xF, 0x7};
  std::vector<std::string> expected = oracle::PieceLines(pieces);
  const oracle::SearchOutcome outcome = oracle::Search(Mpz("7927"));
  expected.insert(expected.end(), outcome.lines.begin(), outcome.lines.end());
  expected.emplace_back("Process took 0 seconds.");

  for (const char* argument : {"2", "65538", " +2", "2abc", "-65534"}) {
    SCOPED_TRACE(std::string("argument \"") + argument + "\"");
    ScriptedCounter counter(std::vector<uint64_t>(pieces.begin(), pieces.end()));
    ScriptedTicks ticks({0});
    const char* argv[] = {"largeprime", argument, nullptr};
    StringTraceSink out;
    RunLargePrime(2, argv, out);
    EXPECT_TRUE(oracle::SameLines(SplitLines(out.Text()), expected));
    EXPECT_EQ(BuiltSmallPrimes().count, 1000u);
  }
}

TEST(ProgramProcessTest, UnusableCommandLinesPrintTheUsageOnly) {
  const std::vector<std::vector<std::string>> commandLines = {
      {}, {"1", "2"}, {"0"}, {"abc"}, {""}, {"65536"}, {"-65536"}, {"0x10"},
  };
  for (const auto& arguments : commandLines) {
    std::string label = "arguments:";
    for (const std::string& argument : arguments) label += " \"" + argument + "\"";
    SCOPED_TRACE(label);
    const ProcessResult result = RunLargePrimeProcess(arguments);
    EXPECT_EQ(result.out, UsageText(LargePrimeBinary()));
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exitStatus, 0);
  }
}

TEST(ProgramProcessTest, UnwritableStandardOutputIsReported) {
  if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full on this system";
  for (const auto& arguments : {std::vector<std::string>{"8"}, std::vector<std::string>{}}) {
    SCOPED_TRACE(arguments.empty() ? "usage" : "search");
    const ProcessResult result = RunLargePrimeProcess(arguments, "/dev/full");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, kWriteFailure);
  }
}

// Nobody reads the output and SIGPIPE is ignored: the first failed write ends
// the program with the message and status 1, at any size (a 65535-byte search
// that ran on would take days).
TEST(ProgramProcessTest, AClosedPipeEndsTheProgramWithStatusOne) {
  for (const auto& arguments : {std::vector<std::string>{"2048"}, std::vector<std::string>{"65535"},
                                std::vector<std::string>{}}) {
    SCOPED_TRACE(arguments.empty() ? "usage" : arguments[0] + " bytes");
    const ProcessResult result = RunLargePrimeIntoClosedPipe(arguments);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err, kWriteFailure);
  }
}

TEST(ProgramProcessTest, RealSearchesEndWithAPrimeAsGmpFindsIt) {
  struct Row {
    const char* argument;
    uint16_t byteCount;
  };
  const Row rows[] = {
      {"1", 1}, {"2", 2}, {"8", 8}, {"16", 16}, {"65537", 1}, {"12abc", 12},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string("argument \"") + row.argument + "\"");
    CheckRealSearch(row.argument, row.byteCount);
  }
}

// The trace of a large search reaches a pipe while the program still runs, not
// only when it ends. After any announcement of a Lehman run at 2048 bytes the
// program has at least the accepted candidate's seven exponentiations of 16384
// bits ahead of it, far more than reading a pipe takes on any machine. That
// the announcement is flushed before anything later is written is checked in
// process by FindPrimeTest.TheTraceIsFlushedAtEachLehmanRunAndProgressLine,
// where no clock decides it.
TEST(ProgramProcessTest, TraceReachesAPipeBeforeTheSearchEnds) {
  const std::string announcement = "No small prime factors; trying Lehman method";
  const PipedRun run = WatchLargePrimeOutput({"2048"}, announcement, 120);
  ASSERT_TRUE(run.lineArrived);
  EXPECT_TRUE(run.stillRunning) << "the search had already ended";
  EXPECT_TRUE(HasPrefix(run.received, kPiecePrefix));
}
