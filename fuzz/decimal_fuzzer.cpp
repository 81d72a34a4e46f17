/// libFuzzer target for decimal text: the input is a value's digits (two bytes
/// each, least significant first, so leading zero digits come from trailing zero
/// bytes). ToDecimalString, its copies and DecimalText are checked against GMP's
/// decimal text and the block size of 5 * length + 1 bytes.
#include <gmp.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bigint/bigint.h"
#include "bigint/charstring.h"
#include "tests/support/bigint_support.h"

namespace {

// Long enough for a few hundred decimal places, short enough to stay fast.
constexpr size_t kMaxDigits = 512;

[[noreturn]] void Fail(const char* what, const BigInt& value, const std::string& expected,
                       const char* actual) {
  std::fprintf(stderr, "decimal text: %s\n  value (length %u):", what, value.Length());
  for (uint32_t i = value.Length(); i-- > 0;) std::fprintf(stderr, " %04x", value.Digits()[i]);
  std::fprintf(stderr, "\n  expected: %s\n  actual:   %s\n", expected.c_str(),
               actual == nullptr ? "(null)" : actual);
  std::abort();
}

// The block must hold the expected text, its terminator, and zero bytes to the end.
void CheckBlock(const char* what, const CharString& text, const BigInt& value,
                const std::string& expected) {
  const char* block = text.Text();
  if (block == nullptr || text.Size() != 5 * value.Length() + 1) {
    Fail(what, value, expected, block);
  }
  const void* end = std::memchr(block, '\0', text.Size());
  if (end == nullptr) Fail("text not terminated inside its block", value, expected, nullptr);
  if (std::string(block, static_cast<const char*>(end)) != expected) {
    Fail(what, value, expected, block);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const size_t length = size / 2 < kMaxDigits ? size / 2 : kMaxDigits;
  BigInt value;
  value.Resize(static_cast<uint32_t>(length));
  for (size_t i = 0; i < length; ++i) {
    value.Digits()[i] = static_cast<uint32_t>(data[2 * i]) | static_cast<uint32_t>(data[2 * i + 1])
                                                                 << 8;
  }

  const CharString text = value.ToDecimalString();
  const char* cached = value.DecimalText();
  if (length == 0) {
    if (text.Text() != nullptr || text.Size() != 0 || cached != nullptr) {
      Fail("the empty value must give the empty text", value, "", text.Text());
    }
    return 0;
  }

  const std::string expected = Mpz(value).Decimal();
  CheckBlock("ToDecimalString", text, value, expected);
  const CharString copy(text);  // NOLINT(performance-unnecessary-copy-initialization): under test
  CheckBlock("a copy of the text", copy, value, expected);
  CharString assigned;
  assigned = text;
  CheckBlock("an assigned copy of the text", assigned, value, expected);
  if (cached == nullptr || expected != cached) Fail("DecimalText", value, expected, cached);
  return 0;
}
