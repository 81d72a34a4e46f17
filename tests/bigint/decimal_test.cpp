/// Tests of BigInt's decimal text (ToDecimalString, DecimalText): block sizes,
/// zero and the empty value, the cached text, and a check against GMP.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bigint/bigint.h"
#include "tests/support/bigint_support.h"

namespace {

using Words = std::vector<uint32_t>;

// The text up to its terminator, which must lie inside the block.
std::string TextOf(const CharString& s) {
  if (s.Text() == nullptr) return "<null>";
  const void* end = std::memchr(s.Text(), '\0', s.Size());
  if (end == nullptr) return "<unterminated>";
  return std::string(s.Text(), static_cast<const char*>(end));
}

struct DecimalCase {
  const char* label;
  Words digits;
  const char* text;
};

TEST(DecimalTest, FixedCases) {
  const DecimalCase cases[] = {
      {"1 in one digit: the text moves to the front", {1}, "1"},
      {"65535 fills the block exactly", {0xFFFF}, "65535"},
      {"65536", {0, 1}, "65536"},
      {"1 with leading zero digits", {1, 0, 0, 0}, "1"},
      {"zero in one digit", {0}, "0"},
      {"zero in three digits", {0, 0, 0}, "0"},
      {"2^64 - 1 fills all twenty places",
       {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF},
       "18446744073709551615"},
      {"2^32", {0, 0, 1}, "4294967296"},
      {"10^10", {0xE400, 0x540B, 0x2}, "10000000000"},
  };
  for (const DecimalCase& c : cases) {
    SCOPED_TRACE(c.label);
    const BigInt value = MakeBigInt(c.digits);
    const CharString text = value.ToDecimalString();
    EXPECT_EQ(TextOf(text), c.text);
    EXPECT_EQ(text.Size(), 5 * c.digits.size() + 1);
    EXPECT_STREQ(value.DecimalText(), c.text);
    EXPECT_EQ(WordsOf(value), c.digits);
  }
}

TEST(DecimalTest, EmptyValueGivesEmptyString) {
  const BigInt empty;
  const CharString text = empty.ToDecimalString();
  EXPECT_EQ(text.Text(), nullptr);
  EXPECT_EQ(text.Size(), 0u);

  EXPECT_STREQ(BigInt(7).DecimalText(), "7");
  EXPECT_EQ(empty.DecimalText(), nullptr);
}

TEST(DecimalTest, DecimalTextReturnsTheLatestConversion) {
  const std::string first = BigInt(123456).DecimalText();
  EXPECT_EQ(first, "123456");
  const char* second = MakeBigInt({0, 0, 0, 1}).DecimalText();
  EXPECT_STREQ(second, "281474976710656");
  EXPECT_STREQ(BigInt(9).DecimalText(), "9");
}

TEST(DecimalTest, MatchesGmpOnRandomValues) {
  std::mt19937 rng(kTestSeed);
  // Conversion costs grow with the cube of the length, so most values are small:
  // one of 2048 bits, a few of 1024 bits (the size of a 128-byte prime), the rest
  // up to 384 bits.
  for (int i = 0; i < 200; ++i) {
    const bool large = i % 25 == 0;
    Words digits(i == 0 ? 128 : large ? 64 : 1 + rng() % 24);
    for (uint32_t& digit : digits) digit = rng() & BigInt::kDigitMask;
    if (rng() % 4 == 0) digits.back() = BigInt::kDigitMask;
    BigInt value = MakeBigInt(digits);
    const std::string expected = Mpz(value).Decimal();
    SCOPED_TRACE(testing::Message() << "seed " << kTestSeed << " case " << i << ": " << expected);

    const CharString text = value.ToDecimalString();
    EXPECT_EQ(TextOf(text), expected);
    EXPECT_EQ(text.Size(), 5 * value.Length() + 1);

    // Leading zero digits change the block, not the text.
    if (large) continue;
    value.Resize(value.Length() + 1 + static_cast<uint32_t>(rng()) % 3);
    const CharString padded = value.ToDecimalString();
    EXPECT_EQ(TextOf(padded), expected);
    EXPECT_EQ(padded.Size(), 5 * value.Length() + 1);
  }
}

}  // namespace
