/// Progress lines of a long exponentiation, at most about once an interval.
#pragma once

#include <cstdint>

#include "bigint/powmod_observer.h"
#include "primesearch/trace_sink.h"

/// Watches one exponentiation: the clock starts when the ProgressClock is made.
/// At a checkpoint that finds more than the interval passed since the start or
/// the last line (wrap-around subtraction of tick readings), it writes
/// "<n> bits remaining in PowMod." with the checkpoint's count, flushes the sink
/// and restarts the clock from a fresh reading. At most one line per checkpoint.
/// The one rule of the progress lines: the in-place Lehman method and the
/// worker pool both apply it through this class.
class ProgressClock final : public PowModObserver {
 public:
  static constexpr uint32_t kIntervalMs = 1000;

  explicit ProgressClock(TraceSink& sink, uint32_t intervalMs = kIntervalMs);

  /// Asks to stop once the sink has failed: nobody will read the rest.
  bool Checkpoint(int32_t bitsRemaining) override;

 private:
  TraceSink& sink_;
  uint32_t intervalMs_;
  uint32_t start_;
};
