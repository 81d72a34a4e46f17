/// Tests of BigInt addition and subtraction: carries and borrows across runs of
/// digits, operands of unequal length, aliasing, wrap-around below zero, and a
/// differential check against GMP.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/bigint_support.h"

namespace {

using Words = std::vector<uint32_t>;

std::string Label(const Words& a, const char* op, const Words& b) {
  return ::testing::PrintToString(a) + op + ::testing::PrintToString(b);
}

// value mod 65536^digits: what a subtraction keeps in a value of that length.
Mpz Wrapped(const Mpz& value, uint32_t digits) {
  Mpz wrapped;
  mpz_fdiv_r_2exp(wrapped.get(), value.get(), BigInt::kDigitBits * digits);
  return wrapped;
}

TEST(AddSubTest, AddCarriesAndGrowsAtMostOneDigit) {
  const struct {
    Words a;
    Words b;
    Words sum;
  } rows[] = {
      {{5}, {0xFFFF}, {4, 1}},
      {{0xFFFF, 0xFFFF}, {2, 0}, {1, 0, 1}},
      {{1}, {0xFFFF, 0xFFFF, 0}, {0, 0, 1}},
      {{1}, {2, 0, 0, 0}, {3, 0, 0, 0}},
      {{}, {1, 2, 0}, {1, 2, 0}},
      {{}, {}, {}},
      {{0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF}, {1}, {0, 0, 0, 0, 1}},
      {{0xFFFF, 0xFFFF, 0xFFFF}, {0xFFFF, 0xFFFF, 0xFFFF}, {0xFFFE, 0xFFFF, 0xFFFF, 1}},
      {{0xFFFF, 0, 0xFFFF}, {1, 0xFFFF, 0}, {0, 0, 0, 1}},
  };
  for (const auto& row : rows) {
    // Both orders: the value and the length rule are symmetric.
    for (const bool swapped : {false, true}) {
      const Words& left = swapped ? row.b : row.a;
      const Words& right = swapped ? row.a : row.b;
      SCOPED_TRACE(Label(left, " + ", right));
      BigInt a = MakeBigInt(left);
      const BigInt b = MakeBigInt(right);
      EXPECT_EQ(&(a += b), &a);
      EXPECT_EQ(WordsOf(a), row.sum);
      EXPECT_EQ(WordsOf(b), right);
    }
  }
}

TEST(AddSubTest, SubtractBorrowsAndKeepsLength) {
  const struct {
    Words a;
    Words b;
    Words difference;
  } rows[] = {
      {{7, 8}, {7, 8}, {0, 0}},
      {{0, 0, 1}, {1}, {0xFFFF, 0xFFFF, 0}},
      {{0, 0, 0, 1}, {1, 0, 1}, {0xFFFF, 0xFFFF, 0xFFFE, 0}},
      {{0, 5, 0, 1}, {1, 6}, {0xFFFF, 0xFFFE, 0xFFFF, 0}},
      {{5, 1}, {6, 0, 0, 0}, {0xFFFF, 0}},
      {{1, 2}, {}, {1, 2}},
      {{}, {}, {}},
      // Below zero the result wraps around modulo 65536^length.
      {{5}, {7}, {0xFFFE}},
      {{0, 0}, {1}, {0xFFFF, 0xFFFF}},
      {{1, 2}, {2, 2}, {0xFFFF, 0xFFFF}},
      {{3, 0}, {0, 0, 1}, {3, 0}},
      {{}, {1}, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(Label(row.a, " - ", row.b));
    BigInt a = MakeBigInt(row.a);
    const BigInt b = MakeBigInt(row.b);
    EXPECT_EQ(&(a -= b), &a);
    EXPECT_EQ(WordsOf(a), row.difference);
    EXPECT_EQ(WordsOf(b), row.b);
  }
}

TEST(AddSubTest, SubtractValue) {
  const struct {
    Words a;
    uint32_t v;
    Words difference;
  } rows[] = {
      {{}, 1, {}},
      {{0, 1}, 1, {0xFFFF, 0}},
      {{1}, 1, {0}},
      {{1, 0, 0}, 1, {0, 0, 0}},
      {{0, 1}, 0x10000, {0, 0}},
      {{0, 0, 0, 1}, 0x10000, {0, 0xFFFF, 0xFFFF, 0}},
      {{5, 0, 2}, 7, {0xFFFE, 0xFFFF, 1}},
      // Below zero: wraps around modulo 65536^length.
      {{3}, 5, {0xFFFE}},
      {{3}, 0x10005, {0xFFFE}},
      {{1, 0}, 0x20000, {1, 0xFFFE}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.a) + " - " + std::to_string(row.v));
    BigInt a = MakeBigInt(row.a);
    EXPECT_EQ(WordsOf(a - row.v), row.difference);
    EXPECT_EQ(WordsOf(a), row.a);
    EXPECT_EQ(&(a -= row.v), &a);
    EXPECT_EQ(WordsOf(a), row.difference);
  }
}

TEST(AddSubTest, OperandMayBeTheTarget) {
  BigInt doubled = MakeBigInt({0x8000, 0xFFFF});
  doubled += doubled;
  EXPECT_EQ(WordsOf(doubled), (Words{0, 0xFFFF, 1}));

  BigInt empty;
  empty += empty;
  EXPECT_EQ(empty.Length(), 0u);

  BigInt cleared = MakeBigInt({1, 0xFFFF, 0, 3});
  const BigInt& alias = cleared;
  cleared -= alias;
  EXPECT_EQ(WordsOf(cleared), (Words{0, 0, 0, 0}));
}

TEST(AddSubTest, MatchesGmpOnRandomOperands) {
  std::mt19937 rng(kTestSeed);
  SCOPED_TRACE("seed " + std::to_string(kTestSeed));
  for (int round = 0; round < 3000; ++round) {
    const BigInt a = RandomOperand(rng, 80);
    const BigInt b = RandomOperand(rng, 80);
    // Mostly within the 16-bit range the callers use, sometimes any 32-bit value.
    const auto v = static_cast<uint32_t>(round % 4 == 0 ? rng() : rng() % 0x10001);
    const Mpz ma(a), mb(b);
    const Words wordsB = WordsOf(b);
    SCOPED_TRACE("a = " + ma.Decimal() + ", b = " + mb.Decimal() + ", v = " + std::to_string(v));

    Mpz expected;
    BigInt sum = a;
    sum += b;
    mpz_add(expected.get(), ma.get(), mb.get());
    EXPECT_TRUE(Mpz(sum) == expected);
    EXPECT_EQ(sum.Length(), std::max({a.Length(), b.Length(), DigitsNeeded(expected)}));

    // Both orders of the subtraction: one stays within a >= b, the other wraps
    // unless the values are equal.
    for (const bool swapped : {false, true}) {
      const BigInt& left = swapped ? b : a;
      const BigInt& right = swapped ? a : b;
      BigInt difference = left;
      difference -= right;
      mpz_sub(expected.get(), Mpz(left).get(), Mpz(right).get());
      EXPECT_TRUE(Mpz(difference) == Wrapped(expected, left.Length())) << "swapped " << swapped;
      EXPECT_EQ(difference.Length(), left.Length());
    }

    const BigInt lessValue = a - v;
    mpz_sub_ui(expected.get(), ma.get(), v);
    EXPECT_TRUE(Mpz(lessValue) == Wrapped(expected, a.Length()));
    EXPECT_EQ(lessValue.Length(), a.Length());

    EXPECT_TRUE(Mpz(a) == ma);
    EXPECT_EQ(WordsOf(b), wordsB);
    if (HasFailure()) break;
  }
}

}  // namespace
