/// Tests of BigInt multiplication (a *= b, a * b): fixed cases with exact digit
/// arrays, aliasing, and differential checks against GMP on random operands of
/// every size class of the product kernels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

#include "bigint/bigint.h"
#include "bigint/limb_conversion.h"
#include "bigint/limbs/limbs.h"
#include "bigint/limbs/tuning.h"
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
}

// Products and squares against GMP on operands whose lengths in limbs straddle
// every threshold of the product kernels: just below, at, just above, and far
// above (several levels of recursion, odd halves), also very unbalanced ones
// that are cut into pieces. Each row runs on each Fill, with and without
// leading zero digits; a square is checked as a *= a, as a * a and as a * b
// with b an equal value of another length.
struct ProductSizes {
  const char* label;
  uint32_t aLimbs;
  uint32_t bLimbs;  // 0: a square
};

std::vector<ProductSizes> SizesAroundThresholds() {
  const uint32_t t = limbs::kKaratsubaMultiplyThreshold;
  const uint32_t s = limbs::kKaratsubaSquareThreshold;
  const uint32_t t3 = limbs::kToom3MultiplyThreshold;
  const uint32_t s3 = limbs::kToom3SquareThreshold;
  const uint32_t t4 = limbs::kToom4MultiplyThreshold;
  const uint32_t s4 = limbs::kToom4SquareThreshold;
  // A Toom-4 step on a of 4j limbs (or 4j - 2) and b of 3j + 1, the shortest b
  // it takes, with b still at or above the threshold.
  const uint32_t j = t4 / 3 + 1;
  return {
      {"short operands", 3, 2},
      {"just below the product threshold", t - 1, t - 1},
      {"at the product threshold", t, t},
      {"just above the product threshold", t + 1, t + 1},
      {"two levels, odd halves", 2 * t + 1, 2 * t + 1},
      {"far above the product threshold", 9 * t + 5, 9 * t + 3},
      {"shorter operand below the threshold", 4 * t, t - 1},
      {"top half of b a single limb", 2 * t, t + 1},
      {"just too unbalanced to split", 2 * t + 1, t + 1},
      {"pieces with a short last one", 7 * t + 5, t},
      {"unbalanced halves cut into pieces", 5 * t, 3 * t},
      {"longer operand second", t + 2, 3 * t},
      {"just below the square threshold", s - 1, 0},
      {"at the square threshold", s, 0},
      {"just above the square threshold", s + 1, 0},
      {"square two levels, odd halves", 2 * s + 1, 0},
      {"square far above the threshold", 9 * s + 5, 0},
      {"just below the Toom-3 product threshold", t3 - 1, t3 - 1},
      {"at the Toom-3 product threshold", t3, t3},
      {"Toom-3, the shorter operand at the threshold", t3 + 2, t3},
      {"just above the Toom-3 product threshold", t3 + 1, t3 + 1},
      {"Toom-3 with a short top third of b", 3 * t3, 2 * t3 + 1},
      {"far above the Toom-3 product threshold", 3 * t3 + 7, 3 * t3 + 7},
      {"just below the Toom-3 square threshold", s3 - 1, 0},
      {"at the Toom-3 square threshold", s3, 0},
      {"just above the Toom-3 square threshold", s3 + 1, 0},
      {"square far above the Toom-3 threshold", 3 * s3 + 8, 0},
      {"just below the Toom-4 product threshold", t4 - 1, t4 - 1},
      {"at the Toom-4 product threshold", t4, t4},
      {"just above the Toom-4 product threshold", t4 + 1, t4 + 1},
      {"Toom-4 with a one-limb top quarter of b", 4 * j, 3 * j + 1},
      {"Toom-4 on an odd length, b unbalanced", 4 * j - 2, 3 * j + 1},
      {"far above the Toom-4 product threshold, nested", 4 * t4 + 5, 4 * t4 + 5},
      {"just below the Toom-4 square threshold", s4 - 1, 0},
      {"at the Toom-4 square threshold", s4, 0},
      {"just above the Toom-4 square threshold", s4 + 1, 0},
      {"square far above the Toom-4 threshold, nested", 4 * s4 + 3, 0},
  };
}

// How the digits of an operand are drawn: uniform mixed with 0 and 0xFFFF; all
// 0xFFFF (the largest carries); or whole limbs of 0, 0x5555..., 0xAAAA... or
// 0xFFFF..., whose sums, differences and thirds in the kernels meet runs of
// equal limbs, carries and borrows across whole limbs, and zero limbs.
enum class Fill { kMixed, kAllOnes, kPatternedLimbs };

// A value of exactly `limbCount` limbs (its top digit nonzero, at a random place
// in the top limb) stored in `leadingZeros` more digits than it needs.
BigInt ValueOfLimbs(std::mt19937& rng, uint32_t limbCount, Fill fill, uint32_t leadingZeros) {
  const uint32_t perLimb = limbs::kDigitsPerLimb;
  const uint32_t significant = limbCount * perLimb - rng() % perLimb;
  const uint32_t patterns[] = {0, 0x5555, 0xAAAA, BigInt::kDigitMask};
  BigInt value;
  value.Resize(significant + leadingZeros);
  uint32_t pattern = 0;
  for (uint32_t i = 0; i < significant; ++i) {
    if (i % perLimb == 0) pattern = patterns[rng() % 4];
    uint32_t digit = BigInt::kDigitMask;
    if (fill == Fill::kPatternedLimbs) digit = pattern;
    if (fill == Fill::kMixed && rng() % 4 != 0) {
      digit = rng() % 8 == 0 ? 0 : rng() & BigInt::kDigitMask;
    }
    value.Digits()[i] = digit;
  }
  if (value.Digits()[significant - 1] == 0) value.Digits()[significant - 1] = 1;
  return value;
}

void CheckProduct(const BigInt& a, const BigInt& b) {
  Mpz expected;
  mpz_mul(expected.get(), Mpz(a).get(), Mpz(b).get());
  const Words aBefore = WordsOf(a);
  const Words bBefore = WordsOf(b);

  const BigInt product = a * b;
  EXPECT_EQ(Mpz(product), expected);
  EXPECT_EQ(product.Length(), ExpectedProductLength(a.Length(), expected));
  EXPECT_EQ(WordsOf(a), aBefore);
  EXPECT_EQ(WordsOf(b), bBefore);

  BigInt target(a);
  target *= b;
  EXPECT_EQ(WordsOf(target), WordsOf(product));
}

TEST(MultiplyTest, MatchesGmpAroundEveryThreshold) {
  std::mt19937 rng(kTestSeed);
  for (const ProductSizes& sizes : SizesAroundThresholds()) {
    for (int variant = 0; variant < 5; ++variant) {
      const Fill fill = variant < 2   ? Fill::kMixed
                        : variant < 4 ? Fill::kPatternedLimbs
                                      : Fill::kAllOnes;
      const uint32_t leadingZeros = variant % 2 == 1 ? 1 + static_cast<uint32_t>(rng()) % 9 : 0;
      SCOPED_TRACE(testing::Message()
                   << "seed " << kTestSeed << ", " << sizes.label << " (" << sizes.aLimbs << " x "
                   << sizes.bLimbs << " limbs), variant " << variant);
      const BigInt a = ValueOfLimbs(rng, sizes.aLimbs, fill, leadingZeros);
      if (sizes.bLimbs != 0) {
        CheckProduct(a, ValueOfLimbs(rng, sizes.bLimbs, fill, leadingZeros / 2));
        continue;
      }
      BigInt sameValue(a);
      sameValue.Resize(a.Length() + 3);
      CheckProduct(a, sameValue);
      CheckProduct(a, a);
      BigInt squared(a);
      squared *= squared;
      EXPECT_EQ(WordsOf(squared), WordsOf(a * a));
    }
  }
}

// Short operands of random lengths, with length 0, all-zero values and leading
// zero digits.
TEST(MultiplyTest, MatchesGmpOnShortRandomOperands) {
  std::mt19937 rng(kTestSeed);
  for (int i = 0; i < 200; ++i) {
    const BigInt a = RandomOperand(rng, 40);
    const BigInt b = RandomOperand(rng, 40);
    SCOPED_TRACE(testing::Message()
                 << "seed " << kTestSeed << " case " << i << ": " << Mpz(a).Decimal() << " (length "
                 << a.Length() << ") * " << Mpz(b).Decimal() << " (length " << b.Length() << ")");
    CheckProduct(a, b);
    CheckProduct(a, a);
  }
}

// The exact division by divisors of beta - 1: q d divided by d gives q back for
// the quotients 0, 1, the largest (beta^n - 1) / d and random ones, also in
// place; and for any dividend a, the result times d is a modulo beta^n.
TEST(MultiplyTest, ExactDivisionUndoesMultiplication) {
  std::mt19937 rng(kTestSeed);
  auto randomLimb = [&rng] {
    limbs::Limb limb = 0;
    for (uint32_t i = 0; i < limbs::kLimbBits; i += 32)
      limb = (limb << 16 << 16) | static_cast<limbs::Limb>(rng());
    return limb;
  };
  for (const limbs::Limb d : {limbs::Limb{3}, limbs::Limb{5}, limbs::Limb{15}}) {
    for (const uint32_t n : {1u, 2u, 9u}) {
      limbs::LimbVector random(n);
      for (limbs::Limb& limb : random) limb = randomLimb();
      limbs::LimbVector one(n), largest(n, limbs::kLimbMax / d), randomQuotient = random;
      one[0] = 1;
      randomQuotient[n - 1] /= 2 * d;  // so that q d fits in n limbs
      // (beta^n - 1) / d repeats the limb (beta - 1) / d.
      const std::pair<const char*, limbs::LimbVector> quotients[] = {{"zero", limbs::LimbVector(n)},
                                                                     {"one", one},
                                                                     {"the largest", largest},
                                                                     {"random", randomQuotient}};
      for (const auto& [label, q] : quotients) {
        SCOPED_TRACE(testing::Message() << "seed " << kTestSeed << ", quotient " << label << " of "
                                        << n << " limbs, d = " << d);
        limbs::LimbVector product(n), quotient(n);
        EXPECT_EQ(limbs::MultiplyByLimb(product.data(), q.data(), n, d), 0u);
        limbs::DivideExactly(quotient.data(), product.data(), n, d);
        EXPECT_EQ(quotient, q);
        limbs::DivideExactly(product.data(), product.data(), n, d);
        EXPECT_EQ(product, q) << "in place";
      }
      SCOPED_TRACE(testing::Message()
                   << "seed " << kTestSeed << ", any dividend of " << n << " limbs, d = " << d);
      limbs::LimbVector quotient(n), back(n);
      limbs::DivideExactly(quotient.data(), random.data(), n, d);
      limbs::MultiplyByLimb(back.data(), quotient.data(), n, d);
      EXPECT_EQ(back, random);
    }
  }
}

}  // namespace
