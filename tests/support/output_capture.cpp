/// Output capture and scripted clocks for tests.
#include "tests/support/output_capture.h"

#include <unistd.h>

#include <stdexcept>
#include <utility>

#include "platform/clock.h"

OutputCapture::OutputCapture() {
  std::fflush(stdout);
  file_ = std::tmpfile();
  if (file_ == nullptr) throw std::runtime_error("no temporary file for output capture");
  savedStdout_ = dup(STDOUT_FILENO);
  dup2(fileno(file_), STDOUT_FILENO);
}

OutputCapture::~OutputCapture() { Finish(); }

std::string OutputCapture::Finish() {
  if (savedStdout_ < 0) return text_;
  std::fflush(stdout);
  dup2(savedStdout_, STDOUT_FILENO);
  close(savedStdout_);
  savedStdout_ = -1;
  std::rewind(file_);
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file_)) > 0) text_.append(buffer, got);
  std::fclose(file_);
  file_ = nullptr;
  return text_;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

namespace {

template <typename T>
std::function<T()> Script(std::vector<T> readings, const std::shared_ptr<size_t>& taken) {
  return [readings = std::move(readings), taken]() {
    const size_t i = *taken < readings.size() ? *taken : readings.size() - 1;
    ++*taken;
    return readings.empty() ? T{} : readings[i];
  };
}

}  // namespace

ScriptedTicks::ScriptedTicks(std::vector<uint32_t> readings) {
  platform::SetTickCountSource(Script(std::move(readings), std::make_shared<size_t>(0)));
}

ScriptedTicks::~ScriptedTicks() { platform::SetTickCountSource(nullptr); }

ManualTicks::ManualTicks(uint32_t now) : now_(std::make_shared<uint32_t>(now)) {
  platform::SetTickCountSource([now = now_] { return *now; });
}

ManualTicks::~ManualTicks() { platform::SetTickCountSource(nullptr); }

ScriptedCounter::ScriptedCounter(std::vector<uint64_t> readings) {
  platform::SetPerformanceCounterSource(Script(std::move(readings), std::make_shared<size_t>(0)));
}

ScriptedCounter::~ScriptedCounter() { platform::SetPerformanceCounterSource(nullptr); }
