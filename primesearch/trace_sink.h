/// The one object through which the search's narration reaches its reader.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>

/// Takes the trace line by line: plain lines in the manner of puts (the text and
/// a newline) and formatted ones in the manner of printf (the format carries its
/// own newline). Subclasses decide where the text goes, and report a write or
/// flush that fails. From the first failure on, nobody can read the trace: the
/// sink drops everything after it, and the search stops as soon as it sees it.
class TraceSink {
 public:
  virtual ~TraceSink() = default;

  /// The text followed by a newline.
  void Line(const char* text);
  /// printf-style output; any newline is part of the format.
#if defined(__GNUC__)
  __attribute__((format(printf, 2, 3)))
#endif
  void
  Format(const char* format, ...);

  /// Hands everything written so far on to the reader (a pipe sees it now).
  virtual void Flush() {}

  /// Whether a write or flush has failed. Any thread may ask.
  bool Failed() const { return failed_.load(); }

 protected:
  TraceSink() = default;

  virtual void Write(const char* text, size_t size) = 0;
  void MarkFailed() { failed_.store(true); }

 private:
  std::atomic<bool> failed_{false};
};

/// A sink on a C stream, buffered as the stream is.
class FileTraceSink : public TraceSink {
 public:
  explicit FileTraceSink(std::FILE* stream) : stream_(stream) {}

  void Flush() override;
  /// Flushes, then answers whether every write so far reached the stream.
  bool Succeeded();

 protected:
  void Write(const char* text, size_t size) override;

 private:
  std::FILE* stream_;
};

/// A sink that keeps the text in memory.
class StringTraceSink : public TraceSink {
 public:
  const std::string& Text() const { return text_; }

 protected:
  void Write(const char* text, size_t size) override { text_.append(text, size); }

 private:
  std::string text_;
};
