/// Tests of the vector Montgomery multiplier against GMP: chains of squarings
/// and multiplications between Enter and Leave, at every size where the
/// digit or vector count changes, on moduli whose digits are all ones or
/// mostly zero; and the plain radix-2^52 products beneath the long moduli.
/// Skipped where the processor lacks the instructions.
#include "bigint/x86/montgomery_ifma.h"

#include <gmp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bigint/x86/radix52_products.h"
#include "bigint/x86/radix52_wrapped.h"
#include "bigint/x86/tuning.h"
#include "tests/support/bigint_support.h"

#if LARGEPRIME_IFMA_KERNEL

namespace {

using limbs::Limb;
using limbs::LimbVector;

Mpz FromLimbs(const LimbVector& x) {
  Mpz value;
  mpz_import(value.get(), x.size(), -1, sizeof(Limb), 0, 0, x.data());
  return value;
}

// x in exactly n limbs (x < 2^(64 n)).
LimbVector ToLimbs(const Mpz& x, size_t n) {
  LimbVector limbs(n);
  size_t count = 0;
  mpz_export(limbs.data(), &count, -1, sizeof(Limb), 0, 0, x.get());
  return limbs;
}

Mpz RandomBelow(gmp_randstate_t state, const Mpz& bound) {
  Mpz value;
  mpz_urandomm(value.get(), state, bound.get());
  return value;
}

// Sizes in bits at which the digit count k (least with 4 m < 2^(52 k)) or the
// number of 8-digit vectors changes, with one bit either side, from one vector
// to two past the largest kernel that keeps its accumulators in registers (20
// vectors), where the products by Karatsuba's method take over; at one vector
// count of those, a modulus whose top bit ends each of the eight lanes of its
// top vector; the sizes the program uses most; 53142 and 53143 bits, where
// the lanes of the kernels summing k steps would overflow; and 65536 bits.
std::vector<uint32_t> BoundarySizes() {
  std::vector<uint32_t> sizes = {64,    1024,  2048,  3072,  4096, 8192,
                                 16384, 32768, 53142, 53143, 65536};
  for (uint32_t vectors = 1; vectors <= 22; ++vectors) {
    const uint32_t largest = 52 * 8 * vectors - 2;  // the largest size with 8 v digits
    for (uint32_t bits = largest - 1; bits <= largest + 3; ++bits) sizes.push_back(bits);
  }
  for (uint32_t lane = 1; lane <= 8; ++lane) sizes.push_back(52 * (8 * 26 + lane));
  return sizes;
}

class IfmaMultiplierTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!limbs::IfmaAvailable()) GTEST_SKIP() << "the processor has no AVX-512 IFMA";
  }
};

// Enter, a run of squarings and multiplications (some in place, some into a
// fresh representative), and Leave, against the same steps modulo m in GMP:
// every intermediate representative is below 2 m but not reduced, so the chain
// checks that products of such values stay correct.
TEST_F(IfmaMultiplierTest, ChainsMatchGmp) {
  gmp_randstate_t state;
  gmp_randinit_default(state);
  gmp_randseed_ui(state, kTestSeed);
  for (const uint32_t bits : BoundarySizes()) {
    for (const auto& [shape, m] : EdgeModuli(state, bits)) {
      const size_t n = (bits + 63) / 64;
      Mpz mMinusOne;
      mpz_sub_ui(mMinusOne.get(), m.get(), 1);
      const std::pair<const char*, Mpz> bases[] = {{"0", Mpz("0")},
                                                   {"1", Mpz("1")},
                                                   {"m - 1", mMinusOne},
                                                   {"random", RandomBelow(state, m)}};
      const limbs::IfmaModulus modulus(ToLimbs(m, n));
      limbs::IfmaMultiplier multiplier(modulus);
      ASSERT_EQ(multiplier.PlainSize(), n);
      for (const auto& [label, base] : bases) {
        SCOPED_TRACE(testing::Message() << "seed " << kTestSeed << ", " << bits << "-bit " << shape
                                        << " modulus, base " << label);
        const Mpz other = RandomBelow(state, m);
        std::vector<Limb> x(multiplier.Size());
        std::vector<Limb> y(multiplier.Size());
        std::vector<Limb> product(multiplier.Size());
        multiplier.Enter(x.data(), ToLimbs(base, n).data());
        multiplier.Enter(y.data(), ToLimbs(other, n).data());
        LimbVector roundTrip(n);
        multiplier.Leave(roundTrip.data(), x.data());
        EXPECT_EQ(FromLimbs(roundTrip), base) << "Enter then Leave";
        Mpz expected(base);
        for (int step = 0; step < 6; ++step) {
          multiplier.Square(x.data(), x.data());
          mpz_mul(expected.get(), expected.get(), expected.get());
          multiplier.Multiply(product.data(), x.data(), y.data());
          multiplier.Multiply(x.data(), product.data(), x.data());
          mpz_mul(expected.get(), expected.get(), expected.get());
          mpz_mul(expected.get(), expected.get(), other.get());
          mpz_mod(expected.get(), expected.get(), m.get());
        }
        LimbVector result(n);
        multiplier.Leave(result.data(), x.data());
        EXPECT_EQ(FromLimbs(result), expected);
      }
    }
  }
  gmp_randclear(state);
}

// x in radix 2^52, `size` digits.
std::vector<uint64_t> ToRadix52(const Mpz& x, uint32_t size) {
  std::vector<uint64_t> digits(size);
  Mpz rest(x);
  for (uint64_t& digit : digits) {
    digit = mpz_getlimbn(rest.get(), 0) & ((uint64_t{1} << 52) - 1);
    mpz_fdiv_q_2exp(rest.get(), rest.get(), 52);
  }
  return digits;
}

Mpz FromRadix52(const std::vector<uint64_t>& digits) {
  Mpz value;
  for (size_t i = digits.size(); i-- > 0;) {
    mpz_mul_2exp(value.get(), value.get(), 52);
    mpz_add_ui(value.get(), value.get(), digits[i]);
  }
  return value;
}

// The kernel's contract at the extremes of its inputs, which chains from
// plain values rarely reach: for representatives a, b up to 2 m - 1 (all ones
// in the digits where m's are, carries running through every lane), a b / R
// mod m in normalised digits, below 2 m; and the same of the square of each.
TEST_F(IfmaMultiplierTest, ProductsOfTheLargestRepresentatives) {
  gmp_randstate_t state;
  gmp_randinit_default(state);
  gmp_randseed_ui(state, kTestSeed + 1);
  for (const uint32_t bits : BoundarySizes()) {
    for (const auto& [shape, m] : EdgeModuli(state, bits)) {
      const limbs::IfmaModulus modulus(ToLimbs(m, (bits + 63) / 64));
      limbs::IfmaMultiplier multiplier(modulus);
      Mpz twiceM;
      mpz_mul_2exp(twiceM.get(), m.get(), 1);
      Mpz largest;
      mpz_sub_ui(largest.get(), twiceM.get(), 1);
      Mpz inverseR = PowerOfTwo(52 * modulus.Digits());
      ASSERT_NE(mpz_invert(inverseR.get(), inverseR.get(), m.get()), 0);
      // The representative in `product` is a b / R mod m, below 2 m.
      const Mpz& modulusValue = m;  // a structured binding cannot be captured
      const auto expectProduct = [&](const std::vector<uint64_t>& product, const Mpz& a,
                                     const Mpz& b) {
        for (const uint64_t digit : product) ASSERT_LT(digit, uint64_t{1} << 52);
        const Mpz value = FromRadix52(product);
        EXPECT_LT(mpz_cmp(value.get(), twiceM.get()), 0);
        Mpz expected;
        mpz_mul(expected.get(), a.get(), b.get());
        mpz_mul(expected.get(), expected.get(), inverseR.get());
        Mpz difference;
        mpz_sub(difference.get(), value.get(), expected.get());
        EXPECT_EQ(mpz_divisible_p(difference.get(), modulusValue.get()), 1);
      };
      const Mpz operands[] = {largest, m, Mpz("1"), RandomBelow(state, twiceM)};
      for (const Mpz& a : operands) {
        const std::vector<uint64_t> aDigits = ToRadix52(a, modulus.Size());
        {
          SCOPED_TRACE(testing::Message() << "seed " << kTestSeed + 1 << ", " << bits << "-bit "
                                          << shape << " modulus, square of " << a.Decimal());
          std::vector<uint64_t> square(modulus.Size());
          multiplier.Square(square.data(), aDigits.data());
          expectProduct(square, a, a);
        }
        for (const Mpz& b : operands) {
          SCOPED_TRACE(testing::Message()
                       << "seed " << kTestSeed + 1 << ", " << bits << "-bit " << shape
                       << " modulus, a = " << a.Decimal() << ", b = " << b.Decimal());
          std::vector<uint64_t> product(modulus.Size());
          multiplier.Multiply(product.data(), aDigits.data(), ToRadix52(b, modulus.Size()).data());
          expectProduct(product, a, b);
        }
      }
    }
  }
  gmp_randclear(state);
}

// The normalisation beneath every linear step, against GMP: lanes taken as
// signed 64-bit integers give normalised digits of their value modulo
// 2^(52 8 n) and the carry out of the top, floor(value / 2^(52 8 n)), in place
// and not. The rows aim at both of its paths: sums that land in [0, 2^52) at
// once, and those that need the ripple (a carry through every digit, a borrow
// through every digit, lanes of exactly 2^52, carries out of the top either
// way).
TEST_F(IfmaMultiplierTest, NormalizedDigitsMatchGmp) {
  namespace radix52 = limbs::radix52;
  constexpr uint64_t kDigitMask = (uint64_t{1} << 52) - 1;
  std::mt19937_64 rng(kTestSeed + 4);
  for (const uint32_t vectors : {1u, 2u, 5u}) {
    const uint32_t digits = 8 * vectors;
    const auto lanes = [&](auto lane) {
      std::vector<uint64_t> x(digits);
      for (uint32_t i = 0; i < digits; ++i) x[i] = static_cast<uint64_t>(lane(i));
      return x;
    };
    const auto last = static_cast<int64_t>(digits - 1);
    const std::pair<const char*, std::vector<uint64_t>> rows[] = {
        {"zero", lanes([](int64_t) { return int64_t{0}; })},
        {"digits", lanes([&](int64_t) { return static_cast<int64_t>(rng() & kDigitMask); })},
        {"wide lanes either sign",
         lanes([&](int64_t) { return static_cast<int64_t>(rng()) >> 3; })},
        {"carry through every digit", lanes([](int64_t i) {
           return static_cast<int64_t>(i == 0 ? kDigitMask + 1 : kDigitMask);
         })},
        {"borrow through every digit", lanes([](int64_t i) { return i == 0 ? int64_t{-1} : 0; })},
        {"every lane 2^52", lanes([](int64_t) { return int64_t{1} << 52; })},
        {"negative top", lanes([&](int64_t i) { return i == last ? int64_t{-5} : int64_t{7}; })},
        {"carry out of the top", lanes([&](int64_t i) {
           return i == last ? static_cast<int64_t>(3 * kDigitMask)
                            : static_cast<int64_t>(kDigitMask);
         })},
    };
    const Mpz modulus = PowerOfTwo(52 * digits);
    for (const auto& [label, x] : rows) {
      SCOPED_TRACE(testing::Message()
                   << "seed " << kTestSeed + 4 << ", " << vectors << " vectors, " << label);
      Mpz value;
      for (uint32_t i = digits; i-- > 0;) {
        mpz_mul_2exp(value.get(), value.get(), 52);
        const auto lane = static_cast<int64_t>(x[i]);
        if (lane < 0) {
          mpz_sub_ui(value.get(), value.get(), static_cast<unsigned long>(-lane));
        } else {
          mpz_add_ui(value.get(), value.get(), static_cast<unsigned long>(lane));
        }
      }
      Mpz expectedCarry, expectedDigits;
      mpz_fdiv_qr(expectedCarry.get(), expectedDigits.get(), value.get(), modulus.get());
      std::vector<uint64_t> r(digits);
      std::vector<uint64_t> inPlace(x);
      const int64_t carry = radix52::NormalizeDigits(r.data(), x.data(), vectors);
      EXPECT_EQ(radix52::NormalizeDigits(inPlace.data(), inPlace.data(), vectors), carry);
      EXPECT_EQ(inPlace, r);
      for (const uint64_t digit : r) ASSERT_LE(digit, kDigitMask);
      EXPECT_EQ(FromRadix52(r), expectedDigits);
      EXPECT_EQ(mpz_get_si(expectedCarry.get()), carry);
    }
  }
}

// The plain products and squares beneath the long moduli, against GMP, for
// every vector count up to past twice the larger Karatsuba threshold (so
// every split at and around each threshold meets the classical kernels and a
// Karatsuba step on both sides), and far above: operands of all-ones digits
// (every lane at its largest, carries through every digit), zero, one, a
// number whose halves are equal (Karatsuba's differences zero), and random
// ones, whose halves' differences take either sign.
TEST_F(IfmaMultiplierTest, PlainProductsMatchGmp) {
  namespace radix52 = limbs::radix52;
  const uint32_t kLargerThreshold =
      std::max(limbs::x86::kIfmaKaratsubaMultiplyVectors, limbs::x86::kIfmaKaratsubaSquareVectors);
  std::mt19937_64 rng(kTestSeed + 2);
  constexpr uint64_t kDigitMask = (uint64_t{1} << 52) - 1;
  std::vector<uint32_t> counts;
  for (uint32_t vectors = 1; vectors <= 2 * kLargerThreshold + 3; ++vectors)
    counts.push_back(vectors);
  counts.insert(counts.end(), {64, 101, 257});
  for (const uint32_t vectors : counts) {
    const uint32_t digits = 8 * vectors;
    std::vector<uint64_t> random(digits), other(digits), halves(digits);
    for (uint64_t& digit : random) digit = rng() & kDigitMask;
    for (uint64_t& digit : other) digit = rng() & kDigitMask;
    // The high part of Karatsuba's split repeats the low one.
    for (uint32_t i = 0; i < digits; ++i) halves[i] = random[i % (8 * ((vectors + 1) / 2))];
    std::vector<uint64_t> zero(digits), one(digits), allOnes(digits, kDigitMask);
    one[0] = 1;
    const std::pair<const char*, const std::vector<uint64_t>*> operands[] = {
        {"all ones", &allOnes}, {"zero", &zero},     {"one", &one},
        {"halves", &halves},    {"random", &random}, {"other", &other}};
    std::vector<uint64_t> r(2 * digits);
    std::vector<uint64_t> scratch(radix52::ProductScratchWords(vectors));
    for (const auto& [aLabel, a] : operands) {
      SCOPED_TRACE(testing::Message() << "seed " << kTestSeed + 2 << ", " << vectors
                                      << " vectors, square of " << aLabel);
      Mpz expected;
      mpz_mul(expected.get(), FromRadix52(*a).get(), FromRadix52(*a).get());
      radix52::Square(r.data(), a->data(), vectors, scratch.data());
      for (const uint64_t digit : r) ASSERT_LE(digit, kDigitMask);
      EXPECT_EQ(FromRadix52(r), expected);
      for (const auto& [bLabel, b] : operands) {
        SCOPED_TRACE(testing::Message() << "times " << bLabel);
        mpz_mul(expected.get(), FromRadix52(*a).get(), FromRadix52(*b).get());
        radix52::Multiply(r.data(), a->data(), b->data(), vectors, scratch.data());
        for (const uint64_t digit : r) ASSERT_LE(digit, kDigitMask);
        EXPECT_EQ(FromRadix52(r), expected);
      }
    }
  }
}

// The high half of q m from the product modulo 2^(52 N) - 1, against GMP: at
// vector counts on both sides of where the wrapped product first splits
// again, and above (at 101 and 158 vectors its halves are padded to keep
// splitting), with operands that take its rare paths: all-ones digits
// (a residue equal to 2^(52 h) - 1, standing for 0, and the largest high
// half, R - 2), zero, one, and 2^(52 h), whose residue modulo 2^(52 h) + 1
// is -1, the one value that needs its top digit.
TEST_F(IfmaMultiplierTest, HighHalvesMatchGmp) {
  namespace radix52 = limbs::radix52;
  constexpr uint64_t kDigitMask = (uint64_t{1} << 52) - 1;
  const uint32_t split = 4 * limbs::x86::kIfmaCyclicSplitVectors;
  std::mt19937_64 rng(kTestSeed + 3);
  for (const uint32_t vectors :
       {1u, 2u, 3u, split - 2, split - 1, split, split + 1, 2 * split, 2 * split + 1, 101u, 158u}) {
    const uint32_t digits = 8 * vectors;
    const uint32_t h = radix52::HighHalfFoldDigits(vectors);
    std::vector<uint64_t> zero(digits), one(digits), allOnes(digits, kDigitMask);
    std::vector<uint64_t> random(digits), other(digits), power(digits);
    one[0] = 1;
    for (uint64_t& digit : random) digit = rng() & kDigitMask;
    for (uint64_t& digit : other) digit = rng() & kDigitMask;
    std::vector<std::pair<const char*, const std::vector<uint64_t>*>> operands = {
        {"all ones", &allOnes},
        {"zero", &zero},
        {"one", &one},
        {"random", &random},
        {"other", &other}};
    if (h < digits) {
      power[h] = 1;
      operands.emplace_back("2^(52 h)", &power);
    }
    for (const auto& [mLabel, m] : operands) {
      std::vector<uint64_t> cyclic(h), negacyclic(h + 1);
      radix52::FoldForHighHalf(cyclic.data(), negacyclic.data(), m->data(), vectors);
      for (const auto& [qLabel, q] : operands) {
        SCOPED_TRACE(testing::Message() << "seed " << kTestSeed + 3 << ", " << vectors
                                        << " vectors, q " << qLabel << ", m " << mLabel);
        Mpz product;
        mpz_mul(product.get(), FromRadix52(*q).get(), FromRadix52(*m).get());
        Mpz expected;
        mpz_fdiv_q_2exp(expected.get(), product.get(), 52 * digits);
        mpz_fdiv_r_2exp(product.get(), product.get(), 52 * digits);
        const std::vector<uint64_t> low = ToRadix52(product, digits);
        std::vector<uint64_t> high(digits);
        std::vector<uint64_t> scratch(radix52::HighHalfScratchWords(vectors));
        radix52::HighHalf(high.data(), q->data(), low.data(), vectors, cyclic.data(),
                          negacyclic.data(), scratch.data());
        for (const uint64_t digit : high) ASSERT_LE(digit, kDigitMask);
        EXPECT_EQ(FromRadix52(high), expected);
      }
    }
  }
}

}  // namespace

#endif  // LARGEPRIME_IFMA_KERNEL
