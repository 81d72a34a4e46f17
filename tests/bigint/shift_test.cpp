/// Tests of BigInt shifts and OR: growth and length of each form, leading zero
/// digits, empty operands, and a differential check against GMP.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/bigint_support.h"

namespace {

using Words = std::vector<uint32_t>;

struct ShiftRow {
  Words a;
  uint32_t n;
  Words expected;
};

std::string Label(const Words& a, const char* op, uint32_t n) {
  return ::testing::PrintToString(a) + op + std::to_string(n);
}

TEST(ShiftTest, LeftShiftGrowsOnlyAsFarAsTheValueNeeds) {
  const ShiftRow rows[] = {
      {{}, 5, {}},
      {{}, 32, {}},
      {{1, 2}, 0, {1, 2}},
      {{0x8000}, 1, {0, 1}},
      {{0x4000}, 1, {0x8000}},
      {{0xF000}, 4, {0, 0xF}},
      {{0xF000, 0}, 4, {0, 0xF}},
      {{0x0FFF, 0}, 4, {0xFFF0, 0}},
      {{1}, 16, {0, 1}},
      {{1, 0}, 16, {0, 1}},
      {{0xFFFF}, 20, {0, 0xFFF0, 0xF}},
      {{0xFFFF, 0}, 17, {0, 0xFFFE, 1}},
      {{0}, 40, {0}},
      {{0, 0, 0}, 17, {0, 0, 0}},
      {{1, 0, 0, 0}, 33, {0, 0, 2, 0}},
      {{0xFFFF, 0xFFFF}, 32, {0, 0, 0xFFFF, 0xFFFF}},
      {{5}, 80, {0, 0, 0, 0, 0, 5}},
      {{0x1234, 0x5678}, 15, {0, 0x091A, 0x2B3C}},
  };
  for (const ShiftRow& row : rows) {
    SCOPED_TRACE(Label(row.a, " << ", row.n));
    BigInt a = MakeBigInt(row.a);
    EXPECT_EQ(WordsOf(a << row.n), row.expected);
    EXPECT_EQ(WordsOf(a), row.a);
    EXPECT_EQ(&(a <<= row.n), &a);
    EXPECT_EQ(WordsOf(a), row.expected);
  }
}

TEST(ShiftTest, RightShiftKeepsLength) {
  const ShiftRow rows[] = {
      {{}, 3, {}},
      {{1, 2}, 0, {1, 2}},
      {{1, 1}, 1, {0x8000, 0}},
      {{5}, 16, {0}},
      {{0xFFFF}, 15, {1}},
      {{1, 2, 3}, 100, {0, 0, 0}},
      {{0, 0, 1}, 1, {0, 0x8000, 0}},
      {{0x1234, 0x5678, 0x9ABC}, 16, {0x5678, 0x9ABC, 0}},
      {{0x1234, 0x5678, 0x9ABC}, 20, {0xC567, 0x09AB, 0}},
      {{0x1234, 0x5678, 0x9ABC}, 47, {1, 0, 0}},
  };
  for (const ShiftRow& row : rows) {
    SCOPED_TRACE(Label(row.a, " >> ", row.n));
    BigInt a = MakeBigInt(row.a);
    EXPECT_EQ(WordsOf(a >> row.n), row.expected);
    EXPECT_EQ(WordsOf(a), row.a);
    EXPECT_EQ(&(a >>= row.n), &a);
    EXPECT_EQ(WordsOf(a), row.expected);
  }
}

TEST(ShiftTest, LargeCounts) {
  BigInt a = MakeBigInt({1, 2, 3});
  a >>= 16 * 1000 + 3;
  EXPECT_EQ(WordsOf(a), (Words{0, 0, 0}));

  BigInt b = MakeBigInt({0x8000});
  b <<= 16 * 300 + 1;  // 2^(15 + 4801) = 65536^301
  Words expected(302, 0);
  expected[301] = 1;
  EXPECT_EQ(WordsOf(b), expected);
  b >>= 16 * 301;
  expected.assign(302, 0);
  expected[0] = 1;
  EXPECT_EQ(WordsOf(b), expected);
}

TEST(ShiftTest, OrWithBigIntGrowsToLongerOperand) {
  const struct {
    Words a;
    Words b;
    Words expected;
  } rows[] = {
      {{0x10}, {1, 2, 3}, {0x11, 2, 3}},
      {{1, 2, 3}, {}, {1, 2, 3}},
      {{}, {}, {}},
      {{}, {0, 0}, {0, 0}},
      {{0xF0F0, 0, 0, 0}, {0x0F0F, 1}, {0xFFFF, 1, 0, 0}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.a) + " | " + ::testing::PrintToString(row.b));
    BigInt a = MakeBigInt(row.a);
    const BigInt b = MakeBigInt(row.b);
    EXPECT_EQ(&(a |= b), &a);
    EXPECT_EQ(WordsOf(a), row.expected);
    EXPECT_EQ(WordsOf(b), row.b);
  }
  BigInt self = MakeBigInt({5, 0, 9});
  const BigInt& alias = self;
  self |= alias;
  EXPECT_EQ(WordsOf(self), (Words{5, 0, 9}));
}

TEST(ShiftTest, OrWithValueGivesAtLeastTwoDigits) {
  const struct {
    Words a;
    uint32_t v;
    Words expected;
  } rows[] = {
      {{0x10, 0}, 0x10005, {0x15, 1}}, {{}, 0, {0, 0}},
      {{}, 0x12345, {0x2345, 1}},      {{7}, 0x10000, {7, 1}},
      {{2, 0, 0}, 1, {3, 0, 0}},       {{0xFFFF, 0xFFFF, 5}, 0xFFFFFFFF, {0xFFFF, 0xFFFF, 5}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Label(row.a, " | ", row.v));
    BigInt a = MakeBigInt(row.a);
    EXPECT_EQ(WordsOf(a | row.v), row.expected);
    EXPECT_EQ(WordsOf(a), row.a);
    EXPECT_EQ(&(a |= row.v), &a);
    EXPECT_EQ(WordsOf(a), row.expected);
  }
}

TEST(ShiftTest, MatchesGmpOnRandomOperands) {
  std::mt19937 rng(kTestSeed);
  SCOPED_TRACE("seed " + std::to_string(kTestSeed));
  for (int round = 0; round < 3000; ++round) {
    const BigInt a = RandomOperand(rng, 80);
    const BigInt b = RandomOperand(rng, 80);
    // Counts around whole digits are the rare paths; mix them with arbitrary ones.
    static constexpr uint32_t kResidues[] = {0, 1, 15};
    const auto n = static_cast<uint32_t>(round % 3 == 0 ? 16 * (rng() % 8) + kResidues[rng() % 3]
                                                        : rng() % 300);
    const auto v = static_cast<uint32_t>(rng());
    const Mpz ma(a), mb(b);
    const Words wordsA = WordsOf(a), wordsB = WordsOf(b);
    SCOPED_TRACE("a = " + ma.Decimal() + ", b = " + mb.Decimal() + ", n = " + std::to_string(n) +
                 ", v = " + std::to_string(v));

    Mpz expected;
    const BigInt left = a << n;
    mpz_mul_2exp(expected.get(), ma.get(), n);
    EXPECT_TRUE(Mpz(left) == expected);
    const uint32_t grown = std::max(a.Length(), DigitsNeeded(expected));
    EXPECT_EQ(left.Length(), a.Length() == 0 ? 0 : grown);

    const BigInt right = a >> n;
    mpz_fdiv_q_2exp(expected.get(), ma.get(), n);
    EXPECT_TRUE(Mpz(right) == expected);
    EXPECT_EQ(right.Length(), a.Length());

    BigInt ored = a;
    ored |= b;
    mpz_ior(expected.get(), ma.get(), mb.get());
    EXPECT_TRUE(Mpz(ored) == expected);
    EXPECT_EQ(ored.Length(), std::max(a.Length(), b.Length()));

    const BigInt oredValue = a | v;
    mpz_set_ui(expected.get(), v);
    mpz_ior(expected.get(), ma.get(), expected.get());
    EXPECT_TRUE(Mpz(oredValue) == expected);
    EXPECT_EQ(oredValue.Length(), std::max(a.Length(), 2u));

    EXPECT_EQ(WordsOf(a), wordsA);
    EXPECT_EQ(WordsOf(b), wordsB);
    if (HasFailure()) break;
  }
}

}  // namespace
