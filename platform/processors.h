/// How many processors this process may run on.
#pragma once

#include <cstdint>

namespace platform {

/// The processors in the process's CPU affinity mask where the system has one
/// (so `taskset -c 0` gives 1), else the hardware's thread count; at least 1.
uint32_t ProcessorCount();

}  // namespace platform
