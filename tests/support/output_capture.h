/// Captures what the code under test writes to standard output, and scripts the
/// platform clocks.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

/// Redirects standard output (the C stream and file descriptor 1) into a
/// temporary file from construction until Finish() or destruction.
class OutputCapture {
 public:
  OutputCapture();
  ~OutputCapture();
  OutputCapture(const OutputCapture&) = delete;
  OutputCapture& operator=(const OutputCapture&) = delete;

  /// Stops capturing and returns everything written meanwhile.
  std::string Finish();

 private:
  int savedStdout_ = -1;
  std::FILE* file_ = nullptr;
  std::string text_;
};

/// Splits text into lines at '\n'; a final unterminated piece is a line too.
std::vector<std::string> SplitLines(const std::string& text);

/// Scripts the tick counter for its lifetime: each reading returns the next value
/// of the script; once the script is used up the last value repeats. Restores the
/// real clock on destruction.
class ScriptedTicks {
 public:
  explicit ScriptedTicks(std::vector<uint32_t> readings);
  ~ScriptedTicks();
  ScriptedTicks(const ScriptedTicks&) = delete;
  ScriptedTicks& operator=(const ScriptedTicks&) = delete;
};

/// Sets the tick counter by hand for its lifetime: every reading returns the
/// value last set. Restores the real clock on destruction.
class ManualTicks {
 public:
  explicit ManualTicks(uint32_t now);
  ~ManualTicks();
  ManualTicks(const ManualTicks&) = delete;
  ManualTicks& operator=(const ManualTicks&) = delete;
  void Set(uint32_t now) { *now_ = now; }

 private:
  std::shared_ptr<uint32_t> now_;
};

/// Scripts the high-resolution counter in the same way.
class ScriptedCounter {
 public:
  explicit ScriptedCounter(std::vector<uint64_t> readings);
  ~ScriptedCounter();
  ScriptedCounter(const ScriptedCounter&) = delete;
  ScriptedCounter& operator=(const ScriptedCounter&) = delete;
};
