/// Tests of the progress lines of an exponentiation: which checkpoints print,
/// with what count, for scripted tick readings, including a wrap of the counter.
#include "primesearch/progress_clock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "bigint/prepared_modulus.h"
#include "tests/support/bigint_support.h"
#include "tests/support/output_capture.h"

namespace {

// The exponent 2^69 + 11 has 70 bits: its checkpoints come after bits 32 and
// 64 and after the last, with 37, 5 and -1 bits to go.
const char kFirstReport[] = "37 bits remaining in PowMod.";
const char kSecondReport[] = "5 bits remaining in PowMod.";
const char kLastReport[] = "-1 bits remaining in PowMod.";

std::vector<std::string> LinesFor(const std::vector<uint32_t>& readings, const BigInt& exponent,
                                  const BigInt& modulus) {
  const ScriptedTicks ticks(readings);
  StringTraceSink sink;
  ProgressClock progress(sink);
  PreparedModulus(modulus).Power(BigInt(3), exponent, &progress);
  return SplitLines(sink.Text());
}

std::vector<std::string> LinesFor(const std::vector<uint32_t>& readings) {
  BigInt exponent(1);
  exponent <<= 69;
  exponent += BigInt(11);
  return LinesFor(readings, exponent, BigInt(1000));
}

TEST(ProgressClockTest, ScriptedClocks) {
  struct Row {
    const char* label;
    std::vector<uint32_t> readings;  // the last one repeats
    std::vector<std::string> lines;
  };
  const Row rows[] = {
      {"exactly the interval is not more than it", {0, 1000, 1000, 1000}, {}},
      {"just below the interval", {5000, 5999, 6000, 6000}, {}},
      // start 0; the first checkpoint at 1001 reports and the restart reads 5000;
      // the second at 6000 (exactly 1000 after the restart) stays silent; the last
      // at 6001 reports.
      {"restart from a fresh reading",
       {0, 1001, 5000, 6000, 6001, 9999},
       {kFirstReport, kLastReport}},
      {"every checkpoint slow",
       {0, 2000, 2000, 4000, 4000, 6000, 6000},
       {kFirstReport, kSecondReport, kLastReport}},
      // start + interval wraps to 744: a reading 128 ms later is above it but
      // must not report.
      {"no early report before the counter wraps", {0xFFFFFF00u, 0xFFFFFF80u}, {}},
      {"no early report after the counter wraps", {0xFFFFFF00u, 0x10u, 0x20u, 0x30u}, {}},
      // start + interval is just below 2^32: a reading 2048 ms later, after the
      // wrap, is below it but must report.
      {"report across the wrap",
       {0xFFFFFC00u, 0x400u, 0x400u, 0x500u, 0x7E9u},
       {kFirstReport, kLastReport}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    EXPECT_EQ(LinesFor(row.readings), row.lines);
  }
}

// The lines due for a clock script (its last reading repeating), by the rule: a
// reading when the clock starts and one at each checkpoint; a checkpoint more
// than the interval after the start prints the bits left minus one and restarts
// the clock from a fresh reading.
std::vector<std::string> ExpectedLines(const std::vector<uint32_t>& ticks, const BigInt& exponent) {
  size_t taken = 0;
  auto read = [&] { return ticks[std::min(taken++, ticks.size() - 1)]; };
  std::vector<std::string> lines;
  uint32_t start = read();
  if (!exponent.IsNonZero()) return lines;
  const int32_t topBit = exponent.HighestBit();
  for (int32_t done = 1; done <= topBit + 1; ++done) {
    if (done % PowModObserver::kBitsPerCheckpoint != 0 && done != topBit + 1) continue;
    if (read() - start > ProgressClock::kIntervalMs) {
      lines.push_back(std::to_string(topBit - done) + " bits remaining in PowMod.");
      start = read();
    }
  }
  return lines;
}

TEST(ProgressClockTest, RandomClocksFollowTheRule) {
  std::mt19937 rng(kTestSeed + 8);
  SCOPED_TRACE(testing::Message() << "seed " << kTestSeed + 8);
  const std::vector<uint32_t> moduli[] = {
      {0xFFF1, 0x7}, {0x1000, 0x7}, {}, {1}, {0xFFFF, 0xFFFF, 0xFFFF}};
  for (int i = 0; i < 60; ++i) {
    const BigInt exponent = RandomOperand(rng, 9);
    const BigInt modulus = MakeBigInt(moduli[static_cast<size_t>(i) % std::size(moduli)]);
    // A start, then steps of random size; some scripts wrap around 2^32.
    std::vector<uint32_t> ticks;
    uint32_t now = rng() % 2 == 0 ? static_cast<uint32_t>(rng()) % 5000
                                  : 0xFFFFFFFFu - static_cast<uint32_t>(rng()) % 3000;
    for (int k = 0; k < 30; ++k, now += static_cast<uint32_t>(rng()) % 1500) ticks.push_back(now);
    SCOPED_TRACE(testing::Message() << "case " << i << ": exponent " << Mpz(exponent).Decimal());
    EXPECT_EQ(LinesFor(ticks, exponent, modulus), ExpectedLines(ticks, exponent));
  }
}

}  // namespace
