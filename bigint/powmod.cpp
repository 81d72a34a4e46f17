/// Modular exponentiation by right-to-left square-and-multiply, with an
/// optional progress report on standard output.
#include <cstdio>

#include "bigint/bigint.h"
#include "platform/clock.h"

BigInt BigInt::PowMod(BigInt exponent, const BigInt& modulus, uint32_t progressIntervalMs) const {
  BigInt accumulator(1);
  BigInt runningBase(*this);
  // Index of the exponent's top bit still to be processed; -1 once all are done.
  int32_t bitsRemaining = exponent.HighestBit();
  uint32_t start = platform::TickCount();
  while (exponent > 0u) {
    if (exponent.LowBits(1) != 0) accumulator = (accumulator * runningBase) % modulus;
    exponent = exponent >> 1;
    runningBase = (runningBase * runningBase) % modulus;
    --bitsRemaining;
    // Elapsed time by wrap-around subtraction, so a wrap of the tick counter
    // neither triggers an early report nor silences the reports.
    if (progressIntervalMs != 0 && platform::TickCount() - start > progressIntervalMs) {
      std::printf("%d bits remaining in PowMod.\n", static_cast<int>(bitsRemaining));
      start = platform::TickCount();
    }
  }
  return accumulator;
}
