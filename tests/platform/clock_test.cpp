/// Tests of the platform clocks: scripted sources answer while installed, the
/// system clocks answer otherwise, and the system clocks behave as the search
/// needs (a counter whose low bits vary, a millisecond count that moves forward).
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <thread>

#include "tests/support/output_capture.h"

namespace {

TEST(ClockTest, ScriptedSourcesAnswerWhileInstalled) {
  {
    const ScriptedTicks ticks({10, 20, 0xFFFFFFFF});
    ScriptedCounter counter({0x123456789ABCDEF0, 7});
    EXPECT_EQ(platform::TickCount(), 10u);
    EXPECT_EQ(platform::TickCount(), 20u);
    EXPECT_EQ(platform::TickCount(), 0xFFFFFFFFu);
    EXPECT_EQ(platform::TickCount(), 0xFFFFFFFFu);
    EXPECT_EQ(platform::PerformanceCounter(), 0x123456789ABCDEF0u);
    EXPECT_EQ(platform::PerformanceCounter(), 7u);
  }
  // Removed again: each reading falls between two readings of the system clock.
  const uint32_t ticksBefore = platform::detail::SystemTickCount();
  const uint32_t ticks = platform::TickCount();
  const uint32_t ticksAfter = platform::detail::SystemTickCount();
  EXPECT_LE(ticks - ticksBefore, ticksAfter - ticksBefore);
  const uint64_t counterBefore = platform::detail::SystemPerformanceCounter();
  const uint64_t counter = platform::PerformanceCounter();
  const uint64_t counterAfter = platform::detail::SystemPerformanceCounter();
  EXPECT_LE(counter - counterBefore, counterAfter - counterBefore);
}

TEST(ClockTest, PerformanceCounterLowBitsVary) {
  std::set<uint32_t> lowBits;
  for (int i = 0; i < 16; ++i) {
    lowBits.insert(static_cast<uint32_t>(platform::PerformanceCounter()) & 0xF);
  }
  EXPECT_GT(lowBits.size(), 1u);
}

TEST(ClockTest, TickCountMovesForwardInMilliseconds) {
  const uint32_t start = platform::TickCount();
  uint32_t previous = start;
  for (int i = 0; i < 10; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    const uint32_t now = platform::TickCount();
    EXPECT_LT(now - previous, 1000u) << "went backwards or jumped";
    previous = now;
  }
  EXPECT_GE(previous - start, 30u);
}

}  // namespace
