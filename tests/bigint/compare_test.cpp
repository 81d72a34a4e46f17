/// Tests of BigInt comparisons and bit queries: hand-picked operands of unequal
/// lengths, with leading zeros and empty, and a differential check against GMP.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/bigint_support.h"

namespace {

using Words = std::vector<uint32_t>;

// Every relation of a against b, given the sign of a - b.
void ExpectRelations(const BigInt& a, const BigInt& b, int sign) {
  EXPECT_EQ(a < b, sign < 0);
  EXPECT_EQ(a <= b, sign <= 0);
  EXPECT_EQ(a == b, sign == 0);
  EXPECT_EQ(a > b, sign > 0);
  EXPECT_EQ(a >= b, sign >= 0);
}

// The relations with a 32-bit value, given the sign of a - v.
void ExpectRelations(const BigInt& a, uint32_t v, int sign) {
  EXPECT_EQ(a == v, sign == 0);
  EXPECT_EQ(a <= v, sign <= 0);
  EXPECT_EQ(a > v, sign > 0);
}

TEST(CompareTest, BigIntRelationsIgnoreLeadingZeros) {
  const struct {
    Words a;
    Words b;
    int sign;  // of a - b
  } rows[] = {
      {{5, 0, 0}, {5}, 0},
      {{}, {0, 0, 0}, 0},
      {{}, {}, 0},
      {{7, 8, 9}, {7, 8, 9}, 0},
      {{1, 2}, {0xFFFF, 1}, 1},
      {{7, 8, 9}, {6, 8, 9}, 1},
      {{0, 0, 1}, {0xFFFF, 0xFFFF}, 1},
      {{1}, {}, 1},
      {{0, 0, 0, 1}, {0xFFFF, 0xFFFF, 0xFFFF}, 1},
      {{0xFFFF, 0xFFFF, 0, 0}, {0, 0, 1}, -1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.a) + " vs " + ::testing::PrintToString(row.b));
    const BigInt a = MakeBigInt(row.a);
    const BigInt b = MakeBigInt(row.b);
    ExpectRelations(a, b, row.sign);
    ExpectRelations(b, a, -row.sign);
    ExpectRelations(a, a, 0);
  }
}

TEST(CompareTest, ValueRelationsReadTwoDigitsAndRequireZerosAbove) {
  const struct {
    Words a;
    uint32_t v;
    int sign;  // of a - v
  } rows[] = {
      {{0}, 0x10000, -1},
      {{0, 1}, 0x10000, 0},
      {{0, 1, 1}, 0x10000, 1},
      {{1, 0, 7}, 1, 1},
      {{1, 0, 0, 0}, 1, 0},
      {{0xFFFF, 0xFFFF, 0}, 0xFFFFFFFF, 0},
      {{0, 0, 1}, 0xFFFFFFFF, 1},
      {{}, 0, 0},
      {{}, 1, -1},
      {{0, 0, 0}, 0, 0},
      {{0xFFFF}, 0xFFFF, 0},
      {{0xFFFF}, 0x1FFFF, -1},
      {{5}, 4, 1},
      {{2, 1}, 0x10001, 1},
      {{2, 1}, 0x10003, -1},
      {{0x1234, 0, 0, 0}, 0x1233, 1},
      {{0x1234, 0, 0, 0}, 0x1235, -1},
      {{0x1234, 0, 0, 0}, 0x1234, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.a) + " vs " + std::to_string(row.v));
    ExpectRelations(MakeBigInt(row.a), row.v, row.sign);
  }
}

TEST(CompareTest, BitQueries) {
  const struct {
    Words a;
    bool nonZero;
    uint32_t word0;  // what LowBits sees
    int32_t highestBit;
  } rows[] = {
      {{}, false, 0, 0},
      {{0, 0}, false, 0, 0},
      {{1, 0, 0}, true, 1, 0},
      {{2}, true, 2, 1},
      {{3}, true, 3, 1},
      {{0x8000}, true, 0x8000, 15},
      {{0, 1}, true, 0, 16},
      {{0xFFFF, 0x8000}, true, 0xFFFF, 31},
      {{0, 0, 1}, true, 0, 32},
      {{0, 0, 0, 0, 0x10, 0}, true, 0, 68},
      {{0x1235, 7}, true, 0x1235, 18},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.a));
    const BigInt a = MakeBigInt(row.a);
    EXPECT_EQ(a.IsNonZero(), row.nonZero);
    EXPECT_EQ(a.LowBits(1), row.word0 & 1);
    EXPECT_EQ(a.LowBits(0xF0), row.word0 & 0xF0);
    EXPECT_EQ(a.LowBits(0xFFFFFFFF), row.word0);
    EXPECT_EQ(a.HighestBit(), row.highestBit);
  }
}

TEST(CompareTest, MatchesGmpOnRandomOperands) {
  std::mt19937 rng(kTestSeed);
  SCOPED_TRACE("seed " + std::to_string(kTestSeed));
  for (int round = 0; round < 3000; ++round) {
    const BigInt a = RandomOperand(rng, 80);
    BigInt b = RandomOperand(rng, 80);
    if (round % 4 == 0) {  // equal values of different lengths
      b = a;
      b.Resize(a.Length() + static_cast<uint32_t>(rng()) % 3);
    }
    const Mpz ma(a), mb(b);
    const Words wordsA = WordsOf(a), wordsB = WordsOf(b);
    SCOPED_TRACE("a = " + ma.Decimal() + ", b = " + mb.Decimal());
    const int sign = mpz_cmp(ma.get(), mb.get());
    ExpectRelations(a, b, sign < 0 ? -1 : sign > 0 ? 1 : 0);

    // A value near a's low 32 bits makes equality with v likely for short a.
    const uint32_t low32 = a.LowBits(0xFFFF) | (a.Length() > 1 ? a.Digits()[1] << 16 : 0);
    const auto v = static_cast<uint32_t>(round % 2 == 0 ? rng() : low32 + rng() % 3 - 1);
    const int valueSign = mpz_cmp_ui(ma.get(), v);
    ExpectRelations(a, v, valueSign < 0 ? -1 : valueSign > 0 ? 1 : 0);

    EXPECT_EQ(a.IsNonZero(), mpz_sgn(ma.get()) != 0);
    EXPECT_EQ(a.LowBits(1), mpz_odd_p(ma.get()) ? 1u : 0u);
    const int32_t highest =
        mpz_sgn(ma.get()) == 0 ? 0 : static_cast<int32_t>(mpz_sizeinbase(ma.get(), 2)) - 1;
    EXPECT_EQ(a.HighestBit(), highest);
    EXPECT_EQ(WordsOf(a), wordsA);
    EXPECT_EQ(WordsOf(b), wordsB);
    if (HasFailure()) break;
  }
}

}  // namespace
