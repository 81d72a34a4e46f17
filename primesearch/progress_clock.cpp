/// The progress clock of an exponentiation.
#include "primesearch/progress_clock.h"

#include "platform/clock.h"

ProgressClock::ProgressClock(TraceSink& sink, uint32_t intervalMs)
    : sink_(sink), intervalMs_(intervalMs), start_(platform::TickCount()) {}

bool ProgressClock::Checkpoint(int32_t bitsRemaining) {
  if (sink_.Failed()) return false;
  // Elapsed time by wrap-around subtraction, so a wrap of the tick counter
  // neither triggers an early line nor silences the lines.
  if (platform::TickCount() - start_ <= intervalMs_) return true;
  sink_.Format("%d bits remaining in PowMod.\n", static_cast<int>(bitsRemaining));
  sink_.Flush();  // a reader of a pipe or file sees the progress as it is made
  start_ = platform::TickCount();
  return !sink_.Failed();
}
