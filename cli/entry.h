/// The command line: one argument, the size of the wanted prime in bytes.
#pragma once

#include <cstdint>

#include "primesearch/trace_sink.h"

/// The byte count named by an argument: the text read as a 32-bit signed decimal
/// number the way the C library's atol reads it on a 32-bit platform (leading
/// white space, one optional sign, digits up to the first non-digit, wrapping
/// without an overflow check), keeping the low 16 bits.
uint16_t ByteCountFromArgument(const char* argument);

/// Runs the program for its command line, writing to `out`: the usage text for
/// anything but one argument with a nonzero byte count, otherwise the whole
/// search.
void RunLargePrime(int32_t argc, const char* const* argv, TraceSink& out);

/// The process: RunLargePrime on standard output. Returns the exit status: 0,
/// or 1 (with a line on standard error) when standard output could not be
/// written.
int LargePrimeMain(int32_t argc, const char* const* argv);
