/// The trace sinks.
#include "primesearch/trace_sink.h"

#include <cstring>
#include <vector>

void TraceSink::Line(const char* text) {
  if (Failed()) return;
  Write(text, std::strlen(text));
  Write("\n", 1);
}

void TraceSink::Format(const char* format, ...) {
  if (Failed()) return;
  // The lines of the trace are short: one pass into a local buffer, a second
  // into a sized one only for a longer line.
  char buffer[128];
  std::va_list arguments;
  va_start(arguments, format);
  std::va_list again;
  va_copy(again, arguments);
  const int size = std::vsnprintf(buffer, sizeof buffer, format, arguments);
  va_end(arguments);
  if (size >= 0 && static_cast<size_t>(size) < sizeof buffer) {
    Write(buffer, static_cast<size_t>(size));
  } else if (size >= 0) {
    std::vector<char> longer(static_cast<size_t>(size) + 1);
    std::vsnprintf(longer.data(), longer.size(), format, again);
    Write(longer.data(), static_cast<size_t>(size));
  }
  va_end(again);
}

// A buffered stream shows a failed write when it passes its buffer on: in the
// call that fills the buffer, or in a flush.
void FileTraceSink::Write(const char* text, size_t size) {
  if (std::fwrite(text, 1, size, stream_) != size || std::ferror(stream_) != 0) MarkFailed();
}

void FileTraceSink::Flush() {
  if (!Failed() && std::fflush(stream_) != 0) MarkFailed();
}

bool FileTraceSink::Succeeded() {
  Flush();
  return !Failed() && std::ferror(stream_) == 0;
}
