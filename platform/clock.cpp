/// Routes every clock reading either to the operating system or to a source
/// installed by a test.
#include "platform/clock.h"

#include <utility>

namespace platform {
namespace {

std::function<uint32_t()>& TickCountSource() {
  static std::function<uint32_t()> source;
  return source;
}

std::function<uint64_t()>& PerformanceCounterSource() {
  static std::function<uint64_t()> source;
  return source;
}

}  // namespace

uint32_t TickCount() {
  const auto& source = TickCountSource();
  return source ? source() : detail::SystemTickCount();
}

uint64_t PerformanceCounter() {
  const auto& source = PerformanceCounterSource();
  return source ? source() : detail::SystemPerformanceCounter();
}

void SetTickCountSource(std::function<uint32_t()> source) { TickCountSource() = std::move(source); }

void SetPerformanceCounterSource(std::function<uint64_t()> source) {
  PerformanceCounterSource() = std::move(source);
}

}  // namespace platform
