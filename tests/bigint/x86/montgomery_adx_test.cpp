/// Tests of the mulx/adcx/adox kernel against GMP: the classical product and
/// square on operands of every row length of the unrolled row and past it, with
/// limbs all ones, one or zero, and the Montgomery multiplier's products and
/// squares of m - 1, 1, 0 and random values across the sizes where its forms
/// change, and the subquadratic products on its basecase around Karatsuba's
/// method, Toom-3 and Toom-4.
/// Skipped where the processor lacks the instructions.
#include "bigint/x86/montgomery_adx.h"

#include <gmp.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bigint/limbs/montgomery_reduction.h"
#include "bigint/limbs/tuning.h"
#include "bigint/x86/tuning.h"
#include "tests/support/bigint_support.h"

#if LARGEPRIME_ADX_KERNEL

namespace {

using limbs::Limb;
using limbs::LimbVector;

Mpz FromLimbs(const LimbVector& x) {
  Mpz value;
  mpz_import(value.get(), x.size(), -1, sizeof(Limb), 0, 0, x.data());
  return value;
}

// x in exactly n limbs (x < 2^(64 n)).
// x mod m: a representative's value.
Mpz Mod(const Mpz& x, const Mpz& m) {
  Mpz r;
  mpz_mod(r.get(), x.get(), m.get());
  return r;
}

LimbVector ToLimbs(const Mpz& x, size_t n) {
  LimbVector limbs(n);
  size_t count = 0;
  mpz_export(limbs.data(), &count, -1, sizeof(Limb), 0, 0, x.get());
  return limbs;
}

class AdxTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!limbs::AdxAvailable()) GTEST_SKIP() << "the processor has no BMI2 and ADX";
  }
};

// Operands of n limbs whose products carry through every limb (all ones), or
// hardly at all (1, a single top bit, zero), and a random one.
std::vector<std::pair<std::string, LimbVector>> ExtremeOperands(std::mt19937_64& rng, uint32_t n) {
  LimbVector random(n);
  for (Limb& limb : random) limb = rng();
  LimbVector one(n), top(n);
  one[0] = 1;
  top[n - 1] = Limb{1} << 63;
  return {{"all ones", LimbVector(n, limbs::kLimbMax)},
          {"one", one},
          {"top bit", top},
          {"zero", LimbVector(n)},
          {"random", random}};
}

// Every row length of the unrolled row (1 to 64 limbs, where a shorter row
// enters it later), the lengths past it where the row loop takes over, and
// the row loop's remainders, on both sides of each operand length, so that
// each of the operands gives the rows, and neither: the product's and the
// square's limbs as GMP gives them.
TEST_F(AdxTest, ClassicalProductsMatchGmp) {
  std::mt19937_64 rng(kTestSeed);
  std::vector<uint32_t> lengths;
  for (uint32_t n = 1; n <= 33; ++n) lengths.push_back(n);
  for (uint32_t n = 46; n <= 49; ++n) lengths.push_back(n);
  for (uint32_t n = 62; n <= 67; ++n) lengths.push_back(n);
  lengths.push_back(75);
  const uint32_t otherLengths[] = {1, 2, 3, 7, 8, 9, 15, 16, 17, 24, 31, 32, 47, 64, 65, 66, 75};
  for (const uint32_t na : lengths) {
    for (const uint32_t nb : otherLengths) {
      for (const auto& [aLabel, a] : ExtremeOperands(rng, na)) {
        for (const auto& [bLabel, b] : ExtremeOperands(rng, nb)) {
          SCOPED_TRACE(testing::Message() << "seed " << kTestSeed << ", " << aLabel << " of " << na
                                          << " limbs times " << bLabel << " of " << nb);
          LimbVector product(na + nb);
          limbs::AdxMultiply(product.data(), a.data(), na, b.data(), nb);
          Mpz expected;
          mpz_mul(expected.get(), FromLimbs(a).get(), FromLimbs(b).get());
          EXPECT_EQ(FromLimbs(product), expected);
        }
        if (nb == 1) {
          SCOPED_TRACE(testing::Message() << "seed " << kTestSeed << ", square of " << aLabel
                                          << " of " << na << " limbs");
          LimbVector square(2 * na);
          limbs::AdxSquare(square.data(), a.data(), na);
          Mpz expected;
          mpz_mul(expected.get(), FromLimbs(a).get(), FromLimbs(a).get());
          EXPECT_EQ(FromLimbs(square), expected);
        }
      }
    }
  }
}

// The subquadratic products on this kernel's basecase, three limbs either
// side of the Karatsuba, Toom-3 and Toom-4 thresholds (from the leaves' widest
// classical products to their first split), with operands of equal length and with the
// shorter one just long enough for a Toom-3 step, in exactly the scratch that
// ProductScratchLimbs counts (so that a shortfall shows under the sanitizers).
TEST_F(AdxTest, SubquadraticProductsMatchGmpAroundThresholds) {
  std::mt19937_64 rng(kTestSeed + 2);
  std::vector<std::pair<uint32_t, uint32_t>> lengths;
  for (const uint32_t boundary :
       {limbs::x86::kAdxKaratsubaMultiplyLimbs, limbs::x86::kAdxKaratsubaSquareLimbs,
        limbs::kToom3MultiplyThreshold, limbs::x86::kAdxToom3SquareLimbs,
        limbs::x86::kAdxToom4MultiplyLimbs, limbs::x86::kAdxToom4SquareLimbs}) {
    for (uint32_t n = boundary - 3; n <= boundary + 3; ++n) {
      lengths.emplace_back(n, n);
      lengths.emplace_back(n + n / 2 - 1, n);
    }
  }
  // Toom-4 on a of 4j and 4j - 1 limbs and the shortest b it takes, 3j + 1
  // limbs, at the threshold.
  const uint32_t j = limbs::x86::kAdxToom4MultiplyLimbs / 3 + 1;
  lengths.emplace_back(4 * j, 3 * j + 1);
  lengths.emplace_back(4 * j - 1, 3 * j + 1);
  for (const auto& [na, nb] : lengths) {
    LimbVector scratch(limbs::ProductScratchLimbs(na));
    for (const auto& [aLabel, a] : ExtremeOperands(rng, na)) {
      for (const auto& [bLabel, b] : ExtremeOperands(rng, nb)) {
        SCOPED_TRACE(testing::Message() << "seed " << kTestSeed + 2 << ", " << aLabel << " of "
                                        << na << " limbs times " << bLabel << " of " << nb);
        LimbVector product(na + nb);
        limbs::FastMultiply(product.data(), a.data(), na, b.data(), nb, scratch.data(),
                            limbs::kAdxBasecase);
        Mpz expected;
        mpz_mul(expected.get(), FromLimbs(a).get(), FromLimbs(b).get());
        EXPECT_EQ(FromLimbs(product), expected);
      }
      if (na == nb) {
        SCOPED_TRACE(testing::Message() << "seed " << kTestSeed + 2 << ", square of " << aLabel
                                        << " of " << na << " limbs");
        LimbVector square(2 * na);
        limbs::FastSquare(square.data(), a.data(), na, scratch.data(), limbs::kAdxBasecase);
        Mpz expected;
        mpz_mul(expected.get(), FromLimbs(a).get(), FromLimbs(a).get());
        EXPECT_EQ(FromLimbs(square), expected);
      }
    }
  }
}

// Modulus sizes in limbs: every row length up to two blocks of the row loop
// past its first two limbs, and three limbs either side of where the
// multiplier changes its form (Karatsuba's products and squares, the reduction
// by products).
std::vector<uint32_t> MultiplierSizes() {
  std::vector<uint32_t> sizes;
  for (uint32_t n = 1; n <= 18; ++n) sizes.push_back(n);
  for (const uint32_t boundary :
       {limbs::x86::kAdxKaratsubaMultiplyLimbs, limbs::x86::kAdxKaratsubaSquareLimbs,
        limbs::kMontgomeryReduceByProductsThreshold}) {
    for (uint32_t n = boundary - 3; n <= boundary + 3; ++n) sizes.push_back(n);
  }
  return sizes;
}

// For each operand pair among m - 1, 1, 0, a random value and the
// representatives above m (m itself, beta^n - 1): Multiply gives a
// representative of a b / R mod m, also into one of its operands, and Square
// the same as Multiply of a value with itself; Leave gives the value below m, so
// Enter and Leave are each other's inverse.
TEST_F(AdxTest, MultiplierMatchesGmp) {
  gmp_randstate_t state;
  gmp_randinit_default(state);
  gmp_randseed_ui(state, kTestSeed + 1);
  for (const uint32_t n : MultiplierSizes()) {
    for (const auto& [shape, m] : EdgeModuli(state, 64 * n)) {
      const limbs::MontgomeryModulus modulus(ToLimbs(m, n));
      limbs::AdxMultiplier multiplier(modulus);
      Mpz inverseR = PowerOfTwo(64 * n);
      ASSERT_NE(mpz_invert(inverseR.get(), inverseR.get(), m.get()), 0);
      Mpz mMinusOne, random, largest = PowerOfTwo(64 * n);
      mpz_sub_ui(mMinusOne.get(), m.get(), 1);
      mpz_urandomm(random.get(), state, m.get());
      mpz_sub_ui(largest.get(), largest.get(), 1);
      const std::pair<const char*, Mpz> operands[] = {
          {"m - 1", mMinusOne}, {"1", Mpz("1")}, {"0", Mpz("0")},
          {"random", random},   {"m", m},        {"beta^n - 1", largest}};
      for (const auto& [aLabel, a] : operands) {
        const LimbVector aLimbs = ToLimbs(a, n);
        LimbVector left(n);
        if (mpz_cmp(a.get(), m.get()) < 0) {
          LimbVector entered(n);
          multiplier.Enter(entered.data(), aLimbs.data());
          multiplier.Leave(left.data(), entered.data());
          EXPECT_EQ(FromLimbs(left), a) << n << "-limb " << shape << " modulus, Enter then Leave";
        }
        Mpz leftExpected;
        mpz_mul(leftExpected.get(), a.get(), inverseR.get());
        mpz_mod(leftExpected.get(), leftExpected.get(), m.get());
        multiplier.Leave(left.data(), aLimbs.data());
        EXPECT_EQ(FromLimbs(left), leftExpected)
            << n << "-limb " << shape << " modulus, Leave " << aLabel;
        for (const auto& [bLabel, b] : operands) {
          SCOPED_TRACE(testing::Message()
                       << "seed " << kTestSeed + 1 << ", " << n << "-limb " << shape
                       << " modulus, a = " << aLabel << ", b = " << bLabel);
          Mpz expected;
          mpz_mul(expected.get(), a.get(), b.get());
          mpz_mul(expected.get(), expected.get(), inverseR.get());
          mpz_mod(expected.get(), expected.get(), m.get());
          LimbVector product(n);
          multiplier.Multiply(product.data(), aLimbs.data(), ToLimbs(b, n).data());
          EXPECT_EQ(Mod(FromLimbs(product), m), expected);
          LimbVector inPlace = aLimbs;
          multiplier.Multiply(inPlace.data(), inPlace.data(), ToLimbs(b, n).data());
          EXPECT_EQ(Mod(FromLimbs(inPlace), m), expected) << "into the first operand";
          if (&a == &b) {
            LimbVector square = aLimbs;
            multiplier.Square(square.data(), square.data());
            EXPECT_EQ(Mod(FromLimbs(square), m), expected) << "square in place";
          }
        }
      }
    }
  }
  gmp_randclear(state);
}

// The reduction alone on the square of the largest representative,
// (R - 1)^2, on m R - 1, (m - 1) R, R - 1 and a random value below m R, so
// that rows carry through every limb. The result must be t / R mod m; it is compared modulo m, as
// the final subtraction decides only how far below beta^n it lands. The sizes are those with rows
// of their own and their neighbours on the general row loop; from the reduction by products on,
// that one on this kernel's products, odd and even (the high half of q m rotated or not), where
// (m - 1) R has a low half of zero and q = 0.
TEST_F(AdxTest, ReductionMatchesGmpOnLargestValues) {
  gmp_randstate_t state;
  gmp_randinit_default(state);
  gmp_randseed_ui(state, kTestSeed + 3);
  const Mpz beta = PowerOfTwo(64);
  for (const uint32_t n : {8u,
                           15u,
                           16u,
                           17u,
                           23u,
                           24u,
                           25u,
                           31u,
                           32u,
                           33u,
                           40u,
                           47u,
                           48u,
                           49u,
                           56u,
                           63u,
                           64u,
                           65u,
                           72u,
                           80u,
                           88u,
                           limbs::kMontgomeryReduceByProductsThreshold,
                           limbs::kMontgomeryReduceByProductsThreshold + 1,
                           128u}) {
    const Mpz radix = PowerOfTwo(64 * n);
    for (const auto& [shape, m] : EdgeModuli(state, 64 * n)) {
      Mpz inverseR, mR, largest, highOnly, lowOnly, random, negativeInverse, square;
      ASSERT_NE(mpz_invert(inverseR.get(), radix.get(), m.get()), 0);
      ASSERT_NE(mpz_invert(negativeInverse.get(), m.get(), beta.get()), 0);
      mpz_sub(negativeInverse.get(), beta.get(), negativeInverse.get());
      mpz_mul(mR.get(), m.get(), radix.get());
      mpz_sub_ui(largest.get(), mR.get(), 1);
      mpz_sub(highOnly.get(), mR.get(), radix.get());
      mpz_sub_ui(lowOnly.get(), radix.get(), 1);
      mpz_urandomm(random.get(), state, mR.get());
      mpz_mul(square.get(), lowOnly.get(), lowOnly.get());
      const LimbVector mLimbs = ToLimbs(m, n);
      const std::pair<const char*, Mpz> values[] = {{"(R - 1)^2", square},
                                                    {"m R - 1", largest},
                                                    {"(m - 1) R", highOnly},
                                                    {"R - 1", lowOnly},
                                                    {"random", random}};
      for (const auto& [label, t] : values) {
        SCOPED_TRACE(testing::Message() << "seed " << kTestSeed + 3 << ", " << n << "-limb "
                                        << shape << " modulus, t = " << label);
        LimbVector tLimbs = ToLimbs(t, 2 * n), r(n);
        if (n < limbs::kMontgomeryReduceByProductsThreshold) {
          limbs::AdxReduce(r.data(), tLimbs.data(), mLimbs.data(), n,
                           mpz_get_ui(negativeInverse.get()));
        } else {
          const limbs::ReductionConstants constants =
              limbs::MakeReductionConstants(mLimbs.data(), n, mpz_get_ui(negativeInverse.get()));
          LimbVector scratch(limbs::ReduceByProductsScratchLimbs(n));
          limbs::ReduceByProducts(r.data(), tLimbs.data(), mLimbs.data(), n, constants,
                                  scratch.data(), limbs::kAdxBasecase);
        }
        Mpz expected, actual;
        mpz_mul(expected.get(), t.get(), inverseR.get());
        mpz_mod(expected.get(), expected.get(), m.get());
        mpz_mod(actual.get(), FromLimbs(r).get(), m.get());
        EXPECT_EQ(actual, expected);
      }
    }
  }
  gmp_randclear(state);
}

}  // namespace

#endif  // LARGEPRIME_ADX_KERNEL
