/// Clock readings on POSIX systems, both from the monotonic clock.
#include <time.h>  // NOLINT(modernize-deprecated-headers): POSIX clock_gettime

#include "platform/clock.h"

namespace platform::detail {
namespace {

uint64_t MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

}  // namespace

uint32_t SystemTickCount() { return static_cast<uint32_t>(MonotonicNanoseconds() / 1000000u); }

uint64_t SystemPerformanceCounter() { return MonotonicNanoseconds(); }

}  // namespace platform::detail
