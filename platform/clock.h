/// The process's two clocks: a wrapping millisecond tick counter for elapsed time
/// and progress reports, and a fast-moving high-resolution counter whose low bits
/// serve as random pieces. Tests replace either with scripted readings.
#pragma once

#include <cstdint>
#include <functional>

namespace platform {

/// Milliseconds since an arbitrary start; wraps around at 2^32, so callers
/// compare readings with wrap-around unsigned subtraction.
uint32_t TickCount();

/// A 64-bit counter that advances many times between two successive calls
/// (nanoseconds where the system offers them), so its low bits vary from reading
/// to reading.
uint64_t PerformanceCounter();

/// Test seam: while a source is installed it answers every reading instead of
/// the real clock. An empty function restores the real clock.
void SetTickCountSource(std::function<uint32_t()> source);
void SetPerformanceCounterSource(std::function<uint64_t()> source);

namespace detail {
// The operating system's own readings, one implementation per platform.
uint32_t SystemTickCount();
uint64_t SystemPerformanceCounter();
}  // namespace detail

}  // namespace platform
