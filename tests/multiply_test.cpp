/// Tests of BigInt multiplication (a *= b, a * b): fixed cases with exact digit
/// arrays, aliasing, and a differential check against GMP on random operands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "bigint/bigint.h"
#include "tests/support/bigint_support.h"

namespace {

using Words = std::vector<uint32_t>;

// The product is built in a: a = 0 keeps a's length (one digit when a is empty),
// and the additions only grow it to what the value needs. So the product's length
// is max(a's length, 1, digits of the product); b's length plays no part.
uint32_t ExpectedProductLength(uint32_t aLength, const Mpz& product) {
  return std::max({aLength, 1u, DigitsNeeded(product)});
}

struct MultiplyCase {
  const char* label;
  Words a;
  Words b;
  Words product;
};

TEST(MultiplyTest, FixedCasesInBothForms) {
  const MultiplyCase cases[] = {
      {"0xFFFF squared, two digits", {0xFFFF, 0}, {0xFFFF, 0}, {1, 0xFFFE}},
      {"0xFFFFFFFF squared", {0xFFFF, 0xFFFF}, {0xFFFF, 0xFFFF}, {1, 0, 0xFFFE, 0xFFFF}},
      {"3 * 5", {3, 0}, {5, 0}, {15, 0}},
      {"one digit grows to two", {0xFFFF}, {0xFFFF}, {1, 0xFFFE}},
      {"times zero keeps a's length", {1, 2, 3}, {0, 0}, {0, 0, 0}},
      {"times the empty value", {1, 2, 3}, {}, {0, 0, 0}},
      {"empty times 5", {}, {5, 0}, {0}},
      {"empty times empty", {}, {}, {0}},
      {"times 1 keeps leading zeros", {7, 0, 0, 0}, {1, 0}, {7, 0, 0, 0}},
      {"zero with digits times a large value", {0, 0, 0}, {0xFFFF, 0xFFFF}, {0, 0, 0}},
      {"carry through every digit", {0xFFFF, 0xFFFF, 0xFFFF}, {2}, {0xFFFE, 0xFFFF, 0xFFFF, 1}},
      {"multiplier's leading zeros add no length", {2}, {0, 0, 1, 0, 0}, {0, 0, 2}},
      {"multiplier a whole digit power", {0x1234}, {0, 1}, {0, 0x1234}},
      {"multiplicand's leading zeros absorb growth", {0x8000, 0, 0}, {4, 0}, {0, 2, 0}},
  };
  for (const MultiplyCase& c : cases) {
    SCOPED_TRACE(c.label);
    const BigInt a = MakeBigInt(c.a);
    const BigInt b = MakeBigInt(c.b);

    const BigInt product = a * b;
    EXPECT_EQ(WordsOf(product), c.product);
    EXPECT_EQ(WordsOf(a), c.a) << "a * b changed a";
    EXPECT_EQ(WordsOf(b), c.b) << "a * b changed b";

    BigInt target = MakeBigInt(c.a);
    target *= b;
    EXPECT_EQ(WordsOf(target), c.product);
    EXPECT_EQ(WordsOf(b), c.b) << "a *= b changed b";
  }
}

TEST(MultiplyTest, SquaringThroughAliasing) {
  BigInt a = MakeBigInt({0xFFFF, 0xFFFF});
  a *= a;
  EXPECT_EQ(WordsOf(a), (Words{1, 0, 0xFFFE, 0xFFFF}));

  std::mt19937 rng(kTestSeed);
  for (int i = 0; i < 20; ++i) {
    const BigInt value = RandomOperand(rng, 20);
    SCOPED_TRACE(Mpz(value).Decimal());
    Mpz expected;
    mpz_mul(expected.get(), Mpz(value).get(), Mpz(value).get());

    BigInt squared(value);
    squared *= squared;
    EXPECT_EQ(Mpz(squared), expected);
    EXPECT_EQ(squared.Length(), ExpectedProductLength(value.Length(), expected));

    const BigInt product = value * value;
    EXPECT_EQ(WordsOf(product), WordsOf(squared));
  }
}

TEST(MultiplyTest, MatchesGmpOnRandomOperands) {
  std::mt19937 rng(kTestSeed);
  for (int i = 0; i < 400; ++i) {
    const BigInt a = RandomOperand(rng, 40);
    const BigInt b = RandomOperand(rng, 40);
    SCOPED_TRACE(testing::Message()
                 << "seed " << kTestSeed << " case " << i << ": " << Mpz(a).Decimal() << " (length "
                 << a.Length() << ") * " << Mpz(b).Decimal() << " (length " << b.Length() << ")");
    Mpz expected;
    mpz_mul(expected.get(), Mpz(a).get(), Mpz(b).get());
    const uint32_t expectedLength = ExpectedProductLength(a.Length(), expected);

    const Words aBefore = WordsOf(a);
    const BigInt product = a * b;
    EXPECT_EQ(Mpz(product), expected);
    EXPECT_EQ(product.Length(), expectedLength);
    EXPECT_EQ(WordsOf(a), aBefore);

    BigInt target(a);
    target *= b;
    EXPECT_EQ(WordsOf(target), WordsOf(product));
  }
}

}  // namespace
