/// Differential tests of the word-level multiplication, division, modular
/// exponentiation and decimal conversion against the literal bit-serial versions
/// in tests/reference (value and length of every result), and of PowMod against
/// GMP's mpz_powm at sizes where the bit-serial version is too slow.
#include "tests/reference/reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bigint/bigint.h"
#include "tests/support/bigint_support.h"

namespace {

using Words = std::vector<uint32_t>;

uint32_t Uniform(std::mt19937& rng, uint32_t low, uint32_t high) {
  return std::uniform_int_distribution<uint32_t>(low, high)(rng);
}

// Operands of up to 130 digits, most of them short: the bit-serial reference
// costs a pass over the digits per bit, so long operands are kept few.
BigInt MixedOperand(std::mt19937& rng) {
  const uint32_t tier = Uniform(rng, 0, 99);
  const uint32_t maxLength = tier < 70 ? 10 : tier < 92 ? 40 : 130;
  return RandomOperand(rng, maxLength);
}

// value with 0 to 3 leading zero digits (or, for zero, possibly no digits).
BigInt WithLeadingZeros(std::mt19937& rng, const Mpz& value) {
  const uint32_t needed = DigitsNeeded(value);
  uint32_t length = needed + Uniform(rng, 0, 3);
  if (needed == 0 && rng() % 4 == 0) length = 0;
  return FromMpz(value, length);
}

std::string Describe(const BigInt& value) {
  return Mpz(value).Decimal() + " (length " + std::to_string(value.Length()) + ")";
}

// The same value with the same length: the words are compared one for one.
void ExpectSameNumber(const BigInt& actual, const BigInt& expected) {
  EXPECT_EQ(WordsOf(actual), WordsOf(expected))
      << "actual " << Describe(actual) << ", expected " << Describe(expected);
}

// ---- Multiplication ----------------------------------------------------------

void CheckProduct(const BigInt& a, const BigInt& b) {
  SCOPED_TRACE(Describe(a) + " * " + Describe(b));
  const BigInt expected = reference::Multiply(a, b);
  ExpectSameNumber(a * b, expected);
  BigInt target(a);
  target *= b;
  ExpectSameNumber(target, expected);
}

TEST(ReferenceTest, MultiplicationMatchesOnRandomOperands) {
  std::mt19937 rng(kTestSeed);
  SCOPED_TRACE(testing::Message() << "seed " << kTestSeed);
  for (int i = 0; i < 12000; ++i) CheckProduct(MixedOperand(rng), MixedOperand(rng));
}

TEST(ReferenceTest, SquaringThroughAliasingMatches) {
  std::mt19937 rng(kTestSeed + 1);
  SCOPED_TRACE(testing::Message() << "seed " << kTestSeed + 1);
  for (int i = 0; i < 3000; ++i) {
    const BigInt a = MixedOperand(rng);
    SCOPED_TRACE(Describe(a));
    const BigInt expected = reference::Multiply(a, a);
    BigInt target(a);
    target *= target;
    ExpectSameNumber(target, expected);
    ExpectSameNumber(a * a, expected);
    // Equal values of different lengths take the squaring too.
    BigInt longer(a);
    longer.Resize(a.Length() + 1);
    ExpectSameNumber(a * longer, expected);
  }
}

TEST(ReferenceTest, MultiplicationEdgeOperandsMatch) {
  const Words operands[] = {
      {},
      {0},
      {0, 0, 0},
      {1},
      {1, 0, 0, 0, 0},
      {0xFFFF},
      {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF},
      {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF},
      {0, 0, 0, 0, 1},
      {0, 0, 0, 0, 0, 0, 0, 0, 1, 0},
      {0x8000, 0, 0, 0x8000},
      {1, 0, 0, 0, 0, 0, 0, 0, 0xFFFF},
  };
  for (const Words& a : operands) {
    for (const Words& b : operands) CheckProduct(MakeBigInt(a), MakeBigInt(b));
  }
}

// ---- Division ------------------------------------------------------------------

void CheckDivision(const BigInt& a, const BigInt& b) {
  SCOPED_TRACE(Describe(a) + " / " + Describe(b));
  BigInt expectedQuotient;
  BigInt expectedRemainder;
  reference::LongDivide(a, b, &expectedQuotient, &expectedRemainder);
  ExpectSameNumber(a / b, expectedQuotient);
  ExpectSameNumber(a % b, expectedRemainder);
}

// Dividends built from the divisor so that every regime occurs: quotients of
// one digit to many, zero remainders, exact whole-digit multiples (a == b *
// 65536^k), a == b, a just below b.
BigInt DividendFor(std::mt19937& rng, const BigInt& b) {
  const Mpz divisor(b);
  Mpz dividend;
  switch (rng() % 6) {
    case 0: return MixedOperand(rng);
    case 1: {  // q * b + r with a random r < b
      Mpz remainder(RandomOperand(rng, 10));
      if (mpz_sgn(divisor.get()) != 0) mpz_mod(remainder.get(), remainder.get(), divisor.get());
      mpz_mul(dividend.get(), divisor.get(), Mpz(MixedOperand(rng)).get());
      mpz_add(dividend.get(), dividend.get(), remainder.get());
      break;
    }
    case 2:  // q * b
      mpz_mul(dividend.get(), divisor.get(), Mpz(RandomOperand(rng, 12)).get());
      break;
    case 3:  // b * 65536^k or b * 2^k
      mpz_mul_2exp(dividend.get(), divisor.get(),
                   rng() % 2 == 0 ? BigInt::kDigitBits * Uniform(rng, 0, 8) : Uniform(rng, 0, 130));
      break;
    case 4:  // b - 1, b, b + 1
      mpz_add_ui(dividend.get(), divisor.get(), 1);
      mpz_sub_ui(dividend.get(), dividend.get(), Uniform(rng, 0, 2));
      if (mpz_sgn(dividend.get()) < 0) mpz_set_ui(dividend.get(), 0);
      break;
    default:  // b * 65536^k - small
      mpz_mul_2exp(dividend.get(), divisor.get(), BigInt::kDigitBits * Uniform(rng, 1, 6));
      mpz_sub_ui(dividend.get(), dividend.get(), Uniform(rng, 0, 3));
      if (mpz_sgn(dividend.get()) < 0) mpz_set_ui(dividend.get(), 0);
      break;
  }
  return WithLeadingZeros(rng, dividend);
}

TEST(ReferenceTest, DivisionMatchesOnRandomOperands) {
  std::mt19937 rng(kTestSeed + 2);
  SCOPED_TRACE(testing::Message() << "seed " << kTestSeed + 2);
  for (int i = 0; i < 12000; ++i) {
    const BigInt b = rng() % 8 == 0 ? RandomOperand(rng, 3) : MixedOperand(rng);
    CheckDivision(DividendFor(rng, b), b);
  }
}

// Operands that push Algorithm D into its rare corrections: a quotient-limb
// estimate two too large and the add-back step (Knuth, TAOCP vol. 2, 4.3.1,
// exercise 21), for 64-bit and for 32-bit limbs. Each limb is given as digits.
TEST(ReferenceTest, DivisionCorrectionStepsMatch) {
  struct Case {
    const char* label;
    Words a;
    Words b;
  };
  const Case cases[] = {
      {"add-back, 64-bit limbs",
       {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0x8000, 0xFFFF, 0xFFFF, 0xFFFF, 0x7FFF},
       {5, 0, 0, 0, 2, 0, 0, 0x8000, 0, 0, 0, 0x8000}},
      {"add-back, 32-bit limbs",
       {0, 0, 0, 0, 1, 0x8000, 0xFFFF, 0x7FFF},
       {5, 0, 2, 0x8000, 0, 0x8000}},
      {"add-back, 32-bit limbs, second form", {3, 0, 0, 0, 0, 0x8000}, {1, 0, 0, 0, 0, 0x2000}},
      {"estimate two too large, 32-bit limbs",
       {0, 0, 0, 0, 0, 0x8000, 0xFFFF, 0x7FFF},
       {1, 0, 0, 0, 0, 0x8000}},
      {"top limbs equal",
       {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0, 0x8000},
       {0xFFFF, 0xFFFF, 0, 0x8000}},
      {"top limbs equal, 64-bit limbs",
       {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0, 0x8000},
       {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0, 0, 0, 0x8000}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const BigInt a = MakeBigInt(c.a);
    const BigInt b = MakeBigInt(c.b);
    CheckDivision(a, b);
    // The same with the quotient times b shifted into place and a remainder
    // just below b, and with b's top digit halved (a different normalisation).
    BigInt bigger(a);
    bigger <<= 1;
    CheckDivision(bigger, b);
    CheckDivision(a, b >> 1);
    Mpz check;
    mpz_tdiv_q(check.get(), Mpz(a).get(), Mpz(b).get());
    EXPECT_EQ(Mpz(a / b), check);
  }
}

TEST(ReferenceTest, DivisionByValueMatches) {
  std::mt19937 rng(kTestSeed + 3);
  SCOPED_TRACE(testing::Message() << "seed " << kTestSeed + 3);
  const uint32_t fixedDivisors[] = {0,      1,      2,       3,       10,        7919,
                                    0x8000, 0xFFFF, 0x10000, 0x10001, 0xFFFFFFFF};
  for (int i = 0; i < 6000; ++i) {
    const BigInt a = MixedOperand(rng);
    uint32_t v = 0;
    switch (rng() % 3) {
      case 0: v = fixedDivisors[rng() % std::size(fixedDivisors)]; break;
      case 1: v = Uniform(rng, 1, 0xFFFF); break;
      default: v = static_cast<uint32_t>(rng()); break;
    }
    SCOPED_TRACE(Describe(a) + " by " + std::to_string(v));
    const BigInt expected = reference::QuotientBy(a, v);
    ExpectSameNumber(a / v, expected);
    BigInt target(a);
    target /= v;
    ExpectSameNumber(target, expected);
    EXPECT_EQ(a % v, reference::RemainderBy(a, v));
  }
}

// ---- Decimal text ----------------------------------------------------------------

void ExpectSameText(const BigInt& value, const CharString& expected) {
  const CharString actual = value.ToDecimalString();
  EXPECT_EQ(actual.Size(), expected.Size());
  ASSERT_EQ(actual.Text() == nullptr, expected.Text() == nullptr);
  if (expected.Text() != nullptr) {
    EXPECT_STREQ(actual.Text(), expected.Text());
  }
}

TEST(ReferenceTest, DecimalTextMatches) {
  std::mt19937 rng(kTestSeed + 4);
  SCOPED_TRACE(testing::Message() << "seed " << kTestSeed + 4);
  // The bit-serial conversion is quadratic in the digits: short values against
  // it, long ones against GMP.
  for (int i = 0; i < 3000; ++i) {
    const BigInt value = RandomOperand(rng, 12);
    SCOPED_TRACE(Describe(value));
    ExpectSameText(value, reference::ToDecimalString(value));
  }
  for (int i = 0; i < 400; ++i) {
    const BigInt value = RandomOperand(rng, 130);
    SCOPED_TRACE(Describe(value));
    const CharString text = value.ToDecimalString();
    EXPECT_EQ(text.Size(), value.Length() == 0 ? 0 : 5 * value.Length() + 1);
    if (value.Length() != 0) {
      EXPECT_EQ(std::string(text.Text()), Mpz(value).Decimal());
    }
  }
  // Chunk boundaries: 10^k - 1, 10^k and 10^k + 1 around the chunk sizes.
  for (uint32_t k : {1u, 8u, 9u, 10u, 18u, 19u, 20u, 27u, 38u, 57u}) {
    Mpz power;
    mpz_ui_pow_ui(power.get(), 10, k);
    for (int delta = -1; delta <= 1; ++delta) {
      Mpz value(power);
      if (delta < 0) mpz_sub_ui(value.get(), value.get(), 1);
      if (delta > 0) mpz_add_ui(value.get(), value.get(), 1);
      const BigInt x = FromMpz(value, DigitsNeeded(value) + 1);
      SCOPED_TRACE(Describe(x));
      ExpectSameText(x, reference::ToDecimalString(x));
    }
  }
}

// ---- Modular exponentiation ------------------------------------------------------

uint32_t PowModLength(const BigInt& modulus) { return std::max(modulus.Length(), 2u); }

void CheckPowModAgainstReference(const BigInt& base, const BigInt& exponent,
                                 const BigInt& modulus) {
  SCOPED_TRACE(Describe(base) + " ^ " + Describe(exponent) + " mod " + Describe(modulus));
  const BigInt expected = reference::PowMod(base, exponent, modulus);
  const BigInt actual = base.PowMod(exponent, modulus, 0);
  EXPECT_EQ(Mpz(actual), Mpz(expected));
  EXPECT_EQ(actual.Length(), PowModLength(modulus));
}

TEST(ReferenceTest, PowModMatchesOnSmallOperands) {
  std::mt19937 rng(kTestSeed + 5);
  SCOPED_TRACE(testing::Message() << "seed " << kTestSeed + 5);
  for (int i = 0; i < 3000; ++i) {
    const BigInt base = RandomOperand(rng, 6);
    const BigInt exponent = RandomOperand(rng, 2);
    BigInt modulus = RandomOperand(rng, 5);
    if (rng() % 2 == 0) modulus |= 1u;  // odd moduli take the Montgomery path
    CheckPowModAgainstReference(base, exponent, modulus);
  }
}

TEST(ReferenceTest, PowModSpecialCasesMatch) {
  const Words bases[] = {{}, {0, 0}, {1}, {2, 0}, {7, 0, 0}, {0xFFFF, 0xFFFF, 0xFFFF}, {0, 0, 1}};
  const Words exponents[] = {{}, {0, 0, 0}, {1}, {2, 0}, {5, 0}, {0xFFFF}, {0, 1}, {1, 0, 0, 0}};
  const Words moduli[] = {{},           {0, 0, 0}, {1},      {1, 0, 0, 0},
                          {2},          {3, 0},    {7, 0},   {0, 1},
                          {0, 0, 1, 0}, {1, 0, 1}, {0xFFFF}, {0xFFFE, 0xFFFF}};
  for (const Words& base : bases) {
    for (const Words& exponent : exponents) {
      for (const Words& modulus : moduli) {
        CheckPowModAgainstReference(MakeBigInt(base), MakeBigInt(exponent), MakeBigInt(modulus));
      }
    }
  }
  // Exponent 0 gives the unreduced 1 in the documented length.
  const BigInt one = BigInt(5).PowMod(BigInt(0), MakeBigInt({1, 0, 0, 0}), 0);
  EXPECT_EQ(WordsOf(one), (Words{1, 0, 0, 0}));
  EXPECT_EQ(WordsOf(BigInt(5).PowMod(BigInt(0), BigInt(), 0)), (Words{1, 0}));
  EXPECT_EQ(WordsOf(BigInt(5).PowMod(BigInt(3), MakeBigInt({0, 0, 0}), 0)), (Words{0, 0, 0}));
}

// A random value of exactly `bits` bits (top bit set).
Mpz RandomBits(std::mt19937& rng, uint32_t bits) {
  Mpz value;
  for (uint32_t i = 0; i < bits; i += 16) {
    mpz_mul_2exp(value.get(), value.get(), 16);
    mpz_add_ui(value.get(), value.get(), rng() & 0xFFFF);
  }
  mpz_fdiv_r_2exp(value.get(), value.get(), bits);
  mpz_setbit(value.get(), bits - 1);
  return value;
}

TEST(ReferenceTest, PowModMatchesGmpUpTo2048Bits) {
  std::mt19937 rng(kTestSeed + 6);
  SCOPED_TRACE(testing::Message() << "seed " << kTestSeed + 6);
  const uint32_t sizes[] = {17, 64, 65, 127, 128, 200, 512, 1024, 1025, 1500, 2048};
  for (int i = 0; i < 150; ++i) {
    const uint32_t modulusBits =
        i < 33 ? sizes[static_cast<size_t>(i) % std::size(sizes)] : Uniform(rng, 2, 2048);
    Mpz m = RandomBits(rng, modulusBits);
    if (i % 3 == 0) {
      mpz_clrbit(m.get(), 0);  // even modulus: the plain path
    } else {
      mpz_setbit(m.get(), 0);
    }
    const Mpz base = RandomBits(rng, Uniform(rng, 1, modulusBits + 40));
    const Mpz exponent = RandomBits(rng, Uniform(rng, 1, i % 4 == 0 ? 2048 : modulusBits));
    SCOPED_TRACE(testing::Message() << "modulus bits " << modulusBits << ", case " << i);

    const BigInt modulus = WithLeadingZeros(rng, m);
    const BigInt result =
        WithLeadingZeros(rng, base).PowMod(WithLeadingZeros(rng, exponent), modulus, 0);
    Mpz expected;
    mpz_powm(expected.get(), base.get(), exponent.get(), m.get());
    EXPECT_EQ(Mpz(result), expected);
    EXPECT_EQ(result.Length(), PowModLength(modulus));
  }
}

// The Lehman method's use: base^((n-1)/2) mod n is 1 or n - 1 for a prime n.
TEST(ReferenceTest, PowModGivesEulerCriterionForPrimes) {
  std::mt19937 rng(kTestSeed + 7);
  for (uint32_t bits : {512u, 1024u, 2048u}) {
    Mpz n = RandomBits(rng, bits);
    mpz_nextprime(n.get(), n.get());
    Mpz exponent;
    mpz_sub_ui(exponent.get(), n.get(), 1);
    mpz_fdiv_q_2exp(exponent.get(), exponent.get(), 1);
    const BigInt modulus = FromMpz(n, DigitsNeeded(n));
    const BigInt result = BigInt(89).PowMod(FromMpz(exponent, DigitsNeeded(exponent)), modulus, 0);
    Mpz nMinusOne;
    mpz_sub_ui(nMinusOne.get(), n.get(), 1);
    const Mpz value(result);
    EXPECT_TRUE(mpz_cmp_ui(value.get(), 1) == 0 || value == nMinusOne) << bits << " bits";
  }
}

}  // namespace
