/// The processor count on POSIX systems: the affinity mask on Linux.
#include <sched.h>

#include <thread>

#include "platform/processors.h"

namespace platform {

uint32_t ProcessorCount() {
#if defined(__linux__)
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
    const int count = CPU_COUNT(&allowed);
    if (count > 0) return static_cast<uint32_t>(count);
  }
#endif
  const unsigned hardware = std::thread::hardware_concurrency();
  return hardware > 0 ? hardware : 1;
}

}  // namespace platform
