/// Clock readings on Windows: the system tick count and the performance counter.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/clock.h"

namespace platform::detail {

uint32_t SystemTickCount() { return static_cast<uint32_t>(GetTickCount()); }

uint64_t SystemPerformanceCounter() {
  LARGE_INTEGER reading{};
  QueryPerformanceCounter(&reading);
  return static_cast<uint64_t>(reading.QuadPart);
}

}  // namespace platform::detail
