/// The command line and the order of the program's stages.
#include "cli/entry.h"

#include <cstdio>

#include "primesearch/find_prime.h"
#include "primesearch/small_prime_table.h"

namespace {

const char kUsage[] =
    "Large prime number generator\n"
    "Syntax: %s <number of bytes>\n"
    "For example, to get a 1024-bit prime, specify 128 bytes\n"
    "NOTE: A 32-byte prime generally takes 1-20 seconds (about 5 average) on a 2 GHz mahcine.\n"
    "Finding a large prime can be very slow!\n";

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Output is buffered: a failed write may only show when the stream is flushed.
int ExitStatusForOutput(FileTraceSink& out) {
  if (out.Succeeded()) return 0;
  std::fputs("largeprime: could not write standard output\n", stderr);
  return 1;
}

}  // namespace

uint16_t ByteCountFromArgument(const char* argument) {
  const char* p = argument;
  while (IsSpace(*p)) ++p;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  // Unsigned arithmetic wraps exactly as a 32-bit conversion without an overflow
  // check does, and the low 16 bits do not depend on anything above bit 31.
  uint32_t value = 0;
  for (; IsDigit(*p); ++p) value = value * 10u + static_cast<uint32_t>(*p - '0');
  if (negative) value = 0u - value;
  return static_cast<uint16_t>(value);
}

void RunLargePrime(int32_t argc, const char* const* argv, TraceSink& out) {
  const uint16_t byteCount = argc == 2 ? ByteCountFromArgument(argv[1]) : 0;
  if (byteCount == 0) {
    out.Format(kUsage, argc > 0 && argv[0] != nullptr ? argv[0] : "largeprime");
  } else {
    BuildSmallPrimeTable();
    FindPrime(byteCount, out);
  }
}

int LargePrimeMain(int32_t argc, const char* const* argv) {
  FileTraceSink out(stdout);
  RunLargePrime(argc, argv, out);
  return ExitStatusForOutput(out);
}
