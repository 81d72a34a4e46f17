/// libFuzzer target for the command line: arbitrary bytes become the program's
/// arguments (split at NUL bytes). The byte count read from each argument must
/// equal the 32-bit wrapping conversion computed here independently, and the
/// program, linked against a stubbed search, must run the search exactly when it
/// has one argument with a nonzero count, and succeed.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/entry.h"
#include "fuzz/search_stub.h"

namespace {

[[noreturn]] void Fail(const char* what, const std::string& argument) {
  std::fprintf(stderr, "command line: %s for the argument \"", what);
  for (const char c : argument) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isprint(byte) != 0 && byte != '\\' && byte != '"') {
      std::fputc(byte, stderr);
    } else {
      std::fprintf(stderr, "\\x%02x", byte);
    }
  }
  std::fprintf(stderr, "\"\n");
  std::abort();
}

// The count as a 32-bit C library's atol gives it, reduced to 16 bits: the
// digits are accumulated in 64 bits (exact modulo 2^64, hence modulo 2^32), the
// sign applied, and the result truncated to 32 and then 16 bits.
uint16_t ExpectedByteCount(const std::string& argument) {
  size_t p = 0;
  while (p < argument.size() && std::isspace(static_cast<unsigned char>(argument[p])) != 0) ++p;
  bool negative = false;
  if (p < argument.size() && (argument[p] == '+' || argument[p] == '-')) {
    negative = argument[p] == '-';
    ++p;
  }
  uint64_t magnitude = 0;
  for (; p < argument.size() && argument[p] >= '0' && argument[p] <= '9'; ++p) {
    magnitude = magnitude * 10 + static_cast<uint64_t>(argument[p] - '0');
  }
  const uint64_t value = negative ? ~magnitude + 1 : magnitude;
  const auto atol32 = static_cast<int32_t>(static_cast<uint32_t>(value));
  return static_cast<uint16_t>(atol32);
}

// The digits of the number in the argument, leading zeros excluded, as strtoll
// would read them; when there are few enough, strtoll's exact value gives a second
// opinion on the count.
size_t SignificantDigitCount(const std::string& argument) {
  size_t p = argument.find_first_of("0123456789");
  if (p == std::string::npos) return 0;
  while (p < argument.size() && argument[p] == '0') ++p;
  size_t count = 0;
  while (p + count < argument.size() && argument[p + count] >= '0' && argument[p + count] <= '9') {
    ++count;
  }
  return count;
}

void CheckByteCount(const std::string& argument) {
  const uint16_t expected = ExpectedByteCount(argument);
  if (ByteCountFromArgument(argument.c_str()) != expected) {
    Fail("ByteCountFromArgument differs from the 32-bit conversion", argument);
  }
  if (SignificantDigitCount(argument) <= 18) {
    const auto exact = static_cast<uint16_t>(std::strtoll(argument.c_str(), nullptr, 10));
    if (exact != expected) Fail("the 32-bit conversion differs from strtoll", argument);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Arguments are the pieces between NUL bytes; a final NUL only ends the last
  // one, so an empty input means no argument at all.
  std::vector<std::string> arguments;
  std::string piece;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\0') {
      arguments.push_back(piece);
      piece.clear();
    } else {
      piece.push_back(static_cast<char>(data[i]));
    }
  }
  if (size > 0 && data[size - 1] != '\0') arguments.push_back(piece);

  std::vector<const char*> argv = {"largeprime"};
  for (const std::string& argument : arguments) {
    CheckByteCount(argument);
    argv.push_back(argument.c_str());
  }
  argv.push_back(nullptr);

  ResetStubbedSearch();
  const auto argc = static_cast<int32_t>(argv.size() - 1);
  StringTraceSink out;
  RunLargePrime(argc, argv.data(), out);
  const std::string first = arguments.empty() ? std::string() : arguments[0];

  const uint16_t byteCount = argc == 2 ? ExpectedByteCount(first) : 0;
  const StubbedSearchCalls& calls = StubbedSearch();
  if (byteCount == 0) {
    if (calls.tableBuilds != 0 || calls.searches != 0) Fail("a search ran for a usage case", first);
    if (out.Text().rfind("Large prime number generator\n", 0) != 0) Fail("no usage text", first);
  } else if (calls.tableBuilds != 1 || calls.searches != 1 || calls.lastByteCount != byteCount ||
             calls.tableBuildsBeforeSearch != 1) {
    Fail("the search did not run once, after the table, with the byte count", first);
  } else if (!out.Text().empty()) {
    Fail("the entry point wrote beside the search", first);
  }
  return 0;
}
