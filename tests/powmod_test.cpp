/// Tests of BigInt::PowMod: fixed results, arguments left untouched, a
/// differential check against GMP, and the progress line driven by a scripted
/// tick counter.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bigint/bigint.h"
#include "tests/support/bigint_support.h"
#include "tests/support/output_capture.h"

namespace {

using Words = std::vector<uint32_t>;

struct PowModCase {
  const char* label;
  Words base;
  Words exponent;
  Words modulus;
  uint32_t result;
};

TEST(PowModTest, FixedCases) {
  const PowModCase cases[] = {
      {"3^5 mod 7", {3, 0}, {5, 0}, {7, 0}, 5},
      {"exponent 1 gives base % modulus", {100, 0}, {1, 0}, {7, 0}, 2},
      {"base larger than modulus", {1000, 0}, {3, 0}, {13, 0}, 12},
      {"base a multiple of the modulus", {0, 0, 7}, {9, 0}, {7, 0}, 0},
      {"modulus 1", {5, 0}, {3, 0}, {1, 0}, 0},
      {"modulus 0", {5, 0}, {3, 0}, {0, 0}, 0},
      {"empty modulus", {5, 0}, {2, 0}, {}, 0},
      {"base 0", {0}, {5, 0}, {7, 0}, 0},
      {"empty base", {}, {5, 0}, {7, 0}, 0},
      {"exponent with leading zeros", {2, 0}, {10, 0, 0, 0}, {1000, 0}, 24},
      {"Fermat: 2^(p-1) mod p", {2}, {0, 1}, {1, 1}, 1},
      {"-1 squared", {0, 1}, {2, 0}, {1, 1}, 1},
  };
  for (const PowModCase& c : cases) {
    SCOPED_TRACE(c.label);
    const BigInt base = MakeBigInt(c.base);
    const BigInt exponent = MakeBigInt(c.exponent);
    const BigInt modulus = MakeBigInt(c.modulus);
    const BigInt result = base.PowMod(exponent, modulus, 0);
    EXPECT_EQ(Mpz(result), Mpz(std::to_string(c.result).c_str()));
    EXPECT_EQ(WordsOf(base), c.base);
    EXPECT_EQ(WordsOf(exponent), c.exponent) << "the caller's exponent changed";
    EXPECT_EQ(WordsOf(modulus), c.modulus);
  }
}

TEST(PowModTest, ExponentZeroGivesUnreducedTwoDigitOne) {
  const Words moduli[] = {{7, 0}, {1, 0}, {1}, {0, 0}, {}};
  const Words exponents[] = {{0, 0}, {0}, {}};
  for (const Words& modulus : moduli) {
    for (const Words& exponent : exponents) {
      SCOPED_TRACE(testing::Message() << "modulus length " << modulus.size() << ", exponent length "
                                      << exponent.size());
      const ScriptedTicks ticks({0, 5000, 10000});
      OutputCapture capture;
      const BigInt result =
          MakeBigInt({0x1234, 0x5678}).PowMod(MakeBigInt(exponent), MakeBigInt(modulus), 1000);
      EXPECT_EQ(capture.Finish(), "");
      EXPECT_EQ(WordsOf(result), (Words{1, 0}));
      EXPECT_EQ(ticks.ReadingsTaken(), 1u) << "the clock was read in the loop";
    }
  }
}

// A random modulus of 1 to maxDigits digits with a nonzero top digit and the
// requested parity.
BigInt RandomModulus(std::mt19937& rng, uint32_t maxDigits, bool odd) {
  Words words(1 + rng() % maxDigits);
  for (uint32_t& word : words) word = rng() & BigInt::kDigitMask;
  if (words.back() == 0) words.back() = 1 + rng() % BigInt::kDigitMask;
  words[0] = odd ? (words[0] | 1) : (words[0] & ~1u);
  if (words.size() == 1 && words[0] == 0) words[0] = 2;
  return MakeBigInt(words);
}

TEST(PowModTest, MatchesGmpOnRandomOperands) {
  std::mt19937 rng(kTestSeed);
  for (int i = 0; i < 40; ++i) {
    const BigInt modulus = RandomModulus(rng, 16, i % 2 == 0);
    const BigInt base = RandomOperand(rng, 18);
    const BigInt exponent = RandomOperand(rng, 16);
    SCOPED_TRACE(testing::Message()
                 << "seed " << kTestSeed << " case " << i << ": " << Mpz(base).Decimal() << " ^ "
                 << Mpz(exponent).Decimal() << " mod " << Mpz(modulus).Decimal());
    Mpz expected;
    mpz_powm(expected.get(), Mpz(base).get(), Mpz(exponent).get(), Mpz(modulus).get());
    const BigInt result = base.PowMod(exponent, modulus, 0);
    // Exponent 0 leaves 1 unreduced, also for modulus 1; GMP reduces it.
    if (!exponent.IsNonZero()) mpz_set_ui(expected.get(), 1);
    EXPECT_EQ(Mpz(result), expected);
  }
}

// The tick counter is read once at the start and, with a nonzero interval, after
// every 32nd exponent bit and after the last one.
std::vector<std::string> RunWithTicks(const std::vector<uint32_t>& readings, uint32_t interval,
                                      size_t* readingsTaken) {
  const ScriptedTicks ticks(readings);
  OutputCapture capture;
  // The exponent 2^69 + 11 has 70 bits: the clock is checked after bits 32 and 64
  // and after the last, when 37, 5 and -1 bits remain to go after the next one.
  BigInt exponent(1);
  exponent <<= 69;
  exponent += BigInt(11);
  const BigInt result = BigInt(3).PowMod(exponent, BigInt(1000), interval);
  const std::string text = capture.Finish();
  Mpz expected;
  mpz_powm(expected.get(), Mpz("3").get(), Mpz(exponent).get(), Mpz("1000").get());
  EXPECT_EQ(Mpz(result), expected);
  *readingsTaken = ticks.ReadingsTaken();
  return SplitLines(text);
}

const char kFirstReport[] = "37 bits remaining in PowMod.";
const char kSecondReport[] = "5 bits remaining in PowMod.";
const char kLastReport[] = "-1 bits remaining in PowMod.";

TEST(PowModTest, IntervalZeroNeverReportsNorReadsTheClockInTheLoop) {
  size_t taken = 0;
  EXPECT_TRUE(RunWithTicks({0, 100000, 200000, 300000}, 0, &taken).empty());
  EXPECT_EQ(taken, 1u);
}

TEST(PowModTest, ReportsOnlyWhenMoreThanTheIntervalHasPassed) {
  size_t taken = 0;
  EXPECT_TRUE(RunWithTicks({0, 1000, 1000, 1000}, 1000, &taken).empty())
      << "exactly the interval must not report";
  EXPECT_EQ(taken, 4u) << "one reading at the start and one per checkpoint";

  EXPECT_TRUE(RunWithTicks({5000, 5999, 6000, 6000}, 1000, &taken).empty());
  EXPECT_EQ(taken, 4u);
}

TEST(PowModTest, ReportShowsTheCounterAndRestartsFromAFreshReading) {
  size_t taken = 0;
  // start 0; the first checkpoint at 1001 reports and the restart reads 5000; the
  // second at 6000 (exactly 1000 after the restart, but 4999 after the compared
  // reading) stays silent; the last at 6001 reports -1.
  const std::vector<std::string> lines =
      RunWithTicks({0, 1001, 5000, 6000, 6001, 9999}, 1000, &taken);
  EXPECT_EQ(lines, (std::vector<std::string>{kFirstReport, kLastReport}));
  EXPECT_EQ(taken, 6u);
}

TEST(PowModTest, ReportsEveryCheckpointWhenEachIsSlow) {
  size_t taken = 0;
  const std::vector<std::string> lines =
      RunWithTicks({0, 2000, 2000, 4000, 4000, 6000, 6000}, 1000, &taken);
  EXPECT_EQ(lines, (std::vector<std::string>{kFirstReport, kSecondReport, kLastReport}));
  EXPECT_EQ(taken, 7u);
}

TEST(PowModTest, TickCounterWrapAround) {
  struct WrapCase {
    const char* label;
    std::vector<uint32_t> readings;
    std::vector<std::string> lines;
  };
  const WrapCase cases[] = {
      // start + interval wraps to 744: a reading 128 ms later is above it but
      // must not report.
      {"no early report before the counter wraps",
       {0xFFFFFF00u, 0xFFFFFF80u, 0xFFFFFF80u, 0xFFFFFF80u},
       {}},
      {"no early report after the counter wraps", {0xFFFFFF00u, 0x10u, 0x20u, 0x30u}, {}},
      // start + interval is just below 2^32: a reading 2048 ms later, after the
      // wrap, is below it but must report.
      {"report across the wrap",
       {0xFFFFFC00u, 0x400u, 0x400u, 0x500u, 0x7E9u},
       {kFirstReport, kLastReport}},
  };
  for (const WrapCase& c : cases) {
    SCOPED_TRACE(c.label);
    size_t taken = 0;
    EXPECT_EQ(RunWithTicks(c.readings, 1000, &taken), c.lines);
  }
}

}  // namespace
