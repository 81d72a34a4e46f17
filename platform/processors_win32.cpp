/// The processor count on Windows: the process's affinity mask.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <thread>

#include "platform/processors.h"

namespace platform {

uint32_t ProcessorCount() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) != 0) {
    uint32_t count = 0;
    for (; process != 0; process &= process - 1) ++count;
    if (count > 0) return count;
  }
  const unsigned hardware = std::thread::hardware_concurrency();
  return hardware > 0 ? hardware : 1;
}

}  // namespace platform
