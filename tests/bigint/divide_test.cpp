/// Tests of BigInt division and remainder (a / b, a % b, a / v, a /= v, a % v):
/// fixed cases with exact digit arrays, and a differential check of values and
/// result lengths against GMP.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "bigint/bigint.h"
#include "tests/support/bigint_support.h"

namespace {

using Words = std::vector<uint32_t>;

struct DivideCase {
  const char* label;
  Words a;
  Words b;
  Words quotient;
  Words remainder;
};

TEST(DivideTest, FixedCases) {
  const DivideCase cases[] = {
      {"100 / 7", {100, 0}, {7, 0}, {14, 0}, {2, 0}},
      {"a < b", {3, 0}, {5, 0}, {0, 0}, {3, 0}},
      {"b < a < 2b: only quotient bit 0", {10, 0}, {7, 0}, {1, 0}, {3, 0}},
      {"a == b", {5, 0}, {5, 0}, {1, 0}, {0, 0}},
      {"a == b, a with leading zeros", {5, 0, 0, 0}, {5, 0}, {1, 0}, {0, 0}},
      {"a == b, b with leading zeros", {5}, {5, 0, 0}, {1, 0}, {0, 0}},
      {"65536 / 1: exact hit after one digit step", {0, 1}, {1, 0}, {0, 1}, {0, 0}},
      {"exact hit after two digit steps", {0, 0, 7}, {7, 0}, {0, 0, 1}, {0, 0}},
      {"exact hit, dividend with leading zeros", {0, 7, 0, 0, 0}, {7}, {0, 1}, {0, 0}},
      // a == 2b is not reached by whole-digit steps: the general lengths apply.
      {"a == 2b is no exact hit", {14, 0, 0, 0, 0}, {7, 0}, {2, 0}, {0, 0, 0, 0, 0}},
      {"0 / b", {0, 0, 0}, {9, 0}, {0, 0}, {0, 0, 0}},
      {"empty / b", {}, {9, 0}, {0, 0}, {}},
      {"zero divisor gives zero of its length",
       {1, 2, 3},
       {0, 0, 0, 0},
       {0, 0, 0, 0},
       {0, 0, 0, 0}},
      {"empty divisor", {1, 2}, {}, {}, {}},
      {"divisor with zero low digits", {7, 0}, {0, 0, 1}, {0, 0, 0}, {7, 0}},
      {"3 / 5 held in three digits", {3, 0}, {5, 0, 0}, {0, 0, 0}, {3, 0}},
      {"1000 / 10", {1000, 0}, {10, 0}, {100, 0}, {0, 0}},
      {"65536^2 / 65537", {0, 0, 1}, {1, 1}, {0xFFFF, 0, 0}, {1, 0, 0}},
      {"(65536^3 - 1) / 65535", {0xFFFF, 0xFFFF, 0xFFFF}, {0xFFFF}, {1, 1, 1, 0}, {0, 0, 0}},
      {"divisor just above half", {0xFFFF, 0xFFFF}, {0x8000, 0x8000}, {1, 0, 0}, {0x7FFF, 0x7FFF}},
  };
  for (const DivideCase& c : cases) {
    SCOPED_TRACE(c.label);
    const BigInt a = MakeBigInt(c.a);
    const BigInt b = MakeBigInt(c.b);
    EXPECT_EQ(WordsOf(a / b), c.quotient);
    EXPECT_EQ(WordsOf(a % b), c.remainder);
    EXPECT_EQ(WordsOf(a), c.a);
    EXPECT_EQ(WordsOf(b), c.b);
  }
}

struct ValueCase {
  const char* label;
  Words a;
  uint32_t v;
  Words quotient;
  uint32_t remainder;
};

TEST(DivideTest, ByThirtyTwoBitValue) {
  const ValueCase cases[] = {
      {"100 / 7", {100, 0}, 7, {14, 0}, 2},
      {"65536^2 / 2", {0, 0, 1}, 2, {0, 0x8000, 0}, 0},
      {"65536^2 / 65537 uses all 32 bits of v", {0, 0, 1}, 65537, {0xFFFF, 0, 0}, 1},
      {"1000 / 10", {1000, 0}, 10, {100, 0}, 0},
      {"by 65536: remainder is the lowest digit",
       {0xABCD, 0x1234, 5},
       65536,
       {0x1234, 5, 0, 0},
       0xABCD},
      {"v above 65536: the full remainder", {0x5678, 0x1234, 9}, 100000, {0xF1E1, 5, 0, 0}, 25560},
      {"largest v", {0xFFFF, 0xFFFE, 0xFFFF}, 0xFFFFFFFF, {0xFFFF, 0, 0}, 0xFFFFFFFE},
      {"by zero", {1, 2, 3}, 0, {0, 0}, 0},
      {"empty dividend", {}, 7, {0, 0}, 0},
      {"one-digit dividend", {9}, 10, {0, 0}, 9},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.label);
    const BigInt a = MakeBigInt(c.a);
    EXPECT_EQ(WordsOf(a / c.v), c.quotient);
    EXPECT_EQ(a % c.v, c.remainder);
    EXPECT_EQ(WordsOf(a), c.a);

    BigInt target = MakeBigInt(c.a);
    target /= c.v;
    EXPECT_EQ(WordsOf(target), c.quotient);
  }
}

// The lengths of a / b and a % b. A zero divisor gives zero with b's length. The
// divisor is first scaled by k whole digits, k the least with b * 65536^k >= a; if
// that lands exactly on a, the quotient is 1 << 16k from the two-digit 1 and the
// remainder the two-digit 0. Otherwise the remainder keeps a's length and the
// quotient takes the scaled divisor's length: b's length, or the digits of
// b * 65536^k if more.
struct ExpectedLengths {
  uint32_t quotient;
  uint32_t remainder;
};

ExpectedLengths LengthsOfDivision(const BigInt& a, const BigInt& b) {
  const Mpz dividend(a);
  const Mpz divisor(b);
  if (mpz_sgn(divisor.get()) == 0) return {b.Length(), b.Length()};
  Mpz scaled(divisor);
  uint32_t steps = 0;
  while (mpz_cmp(scaled.get(), dividend.get()) < 0) {
    mpz_mul_2exp(scaled.get(), scaled.get(), BigInt::kDigitBits);
    ++steps;
  }
  if (scaled == dividend) return {std::max(2u, steps + 1), 2};
  return {std::max(b.Length(), DigitsNeeded(scaled)), a.Length()};
}

void ExpectDivisionMatchesGmp(const BigInt& a, const BigInt& b) {
  SCOPED_TRACE(testing::Message() << Mpz(a).Decimal() << " (length " << a.Length() << ") / "
                                  << Mpz(b).Decimal() << " (length " << b.Length() << ")");
  const BigInt quotient = a / b;
  const BigInt remainder = a % b;
  Mpz q;
  Mpz r;
  if (mpz_sgn(Mpz(b).get()) != 0) mpz_tdiv_qr(q.get(), r.get(), Mpz(a).get(), Mpz(b).get());
  EXPECT_EQ(Mpz(quotient), q);
  EXPECT_EQ(Mpz(remainder), r);
  const ExpectedLengths lengths = LengthsOfDivision(a, b);
  EXPECT_EQ(quotient.Length(), lengths.quotient);
  EXPECT_EQ(remainder.Length(), lengths.remainder);
}

TEST(DivideTest, MatchesGmpOnRandomOperands) {
  std::mt19937 rng(kTestSeed);
  for (int i = 0; i < 2000; ++i) {
    SCOPED_TRACE(testing::Message() << "seed " << kTestSeed << " case " << i);
    const BigInt a = RandomOperand(rng, 40);
    BigInt b = RandomOperand(rng, 24);
    // Zero low digits on the divisor in a quarter of the cases.
    if (rng() % 4 == 0) b <<= BigInt::kDigitBits * (1 + static_cast<uint32_t>(rng()) % 3);
    ExpectDivisionMatchesGmp(a, b);
  }
}

TEST(DivideTest, MatchesGmpNearExactMultiples) {
  // Dividends b * 2^j, just around them, and with extra leading zero digits: whole
  // digit multiples (j a multiple of 16) take the exact-hit path, the others not.
  std::mt19937 rng(kTestSeed);
  for (int i = 0; i < 200; ++i) {
    SCOPED_TRACE(testing::Message() << "seed " << kTestSeed << " case " << i);
    BigInt b = RandomOperand(rng, 8);
    if (!b.IsNonZero()) b = BigInt(1 + static_cast<uint32_t>(rng()) % 0xFFFF);
    const uint32_t j = rng() % 4 == 0 ? static_cast<uint32_t>(rng()) % 80
                                      : BigInt::kDigitBits * (static_cast<uint32_t>(rng()) % 5);
    BigInt a = b << j;
    a.Resize(a.Length() + static_cast<uint32_t>(rng()) % 3);
    ExpectDivisionMatchesGmp(a, b);
    ExpectDivisionMatchesGmp(a, b << 1);
    BigInt above(a);
    above += BigInt(1);
    ExpectDivisionMatchesGmp(above, b);
    if (a > 1u) ExpectDivisionMatchesGmp(a - 1, b);
  }
}

TEST(DivideTest, ValueFormsMatchGmp) {
  std::mt19937 rng(kTestSeed);
  for (int i = 0; i < 1000; ++i) {
    const BigInt a = RandomOperand(rng, 40);
    uint32_t v = 0;
    switch (rng() % 4) {
      case 0: v = rng() % 16; break;
      case 1: v = 1 + rng() % BigInt::kDigitBase; break;
      case 2: v = static_cast<uint32_t>(rng()); break;
      default: v = 1u << (rng() % 32); break;
    }
    SCOPED_TRACE(testing::Message()
                 << "seed " << kTestSeed << " case " << i << ": " << Mpz(a).Decimal() << " (length "
                 << a.Length() << ") / " << v);
    const BigInt divisor(v);
    Mpz q;
    Mpz r;
    if (v != 0) mpz_tdiv_qr(q.get(), r.get(), Mpz(a).get(), Mpz(divisor).get());
    const ExpectedLengths lengths = LengthsOfDivision(a, divisor);

    const BigInt quotient = a / v;
    EXPECT_EQ(Mpz(quotient), q);
    EXPECT_EQ(quotient.Length(), lengths.quotient);

    BigInt target(a);
    target /= v;
    EXPECT_EQ(WordsOf(target), WordsOf(quotient));

    EXPECT_EQ(a % v, static_cast<uint32_t>(mpz_get_ui(r.get())));
  }
}

}  // namespace
