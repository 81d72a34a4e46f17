/// Tests of BigInt::PowMod and PreparedModulus: fixed results, arguments left
/// untouched, differential checks against GMP on every Montgomery kernel this
/// processor has (asked of the kernel factory by name) at the boundaries of
/// each kernel's forms, and the checkpoints an observer hears.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "bigint/bigint.h"
#include "bigint/kernel_factory.h"
#include "bigint/limb_conversion.h"
#include "bigint/limbs/limbs.h"
#include "bigint/limbs/tuning.h"
#include "bigint/prepared_modulus.h"
#include "bigint/x86/tuning.h"
#include "tests/support/bigint_support.h"

namespace {

using Words = std::vector<uint32_t>;

struct RecordingObserver : PowModObserver {
  bool Checkpoint(int32_t bitsRemaining) override {
    heard.push_back(bitsRemaining);
    return heard.size() != stopAfter;
  }
  size_t stopAfter = 0;  // 0: never stop
  std::vector<int32_t> heard;
};

struct PowModCase {
  const char* label;
  Words base;
  Words exponent;
  Words modulus;
  uint32_t result;
};

TEST(PowModTest, FixedCases) {
  const PowModCase cases[] = {
      {"3^5 mod 7", {3, 0}, {5, 0}, {7, 0}, 5},
      {"exponent 1 gives base % modulus", {100, 0}, {1, 0}, {7, 0}, 2},
      {"base larger than modulus", {1000, 0}, {3, 0}, {13, 0}, 12},
      {"base a multiple of the modulus", {0, 0, 7}, {9, 0}, {7, 0}, 0},
      {"modulus 1", {5, 0}, {3, 0}, {1, 0}, 0},
      {"modulus 0", {5, 0}, {3, 0}, {0, 0}, 0},
      {"empty modulus", {5, 0}, {2, 0}, {}, 0},
      {"base 0", {0}, {5, 0}, {7, 0}, 0},
      {"empty base", {}, {5, 0}, {7, 0}, 0},
      {"exponent with leading zeros", {2, 0}, {10, 0, 0, 0}, {1000, 0}, 24},
      {"Fermat: 2^(p-1) mod p", {2}, {0, 1}, {1, 1}, 1},
      {"-1 squared", {0, 1}, {2, 0}, {1, 1}, 1},
  };
  for (const PowModCase& c : cases) {
    SCOPED_TRACE(c.label);
    const BigInt base = MakeBigInt(c.base);
    const BigInt exponent = MakeBigInt(c.exponent);
    const BigInt modulus = MakeBigInt(c.modulus);
    const BigInt result = base.PowMod(exponent, modulus, 0);
    EXPECT_EQ(Mpz(result), Mpz(std::to_string(c.result).c_str()));
    EXPECT_EQ(WordsOf(base), c.base);
    EXPECT_EQ(WordsOf(exponent), c.exponent) << "the caller's exponent changed";
    EXPECT_EQ(WordsOf(modulus), c.modulus);
  }
}

TEST(PowModTest, ExponentZeroGivesUnreducedTwoDigitOne) {
  const Words moduli[] = {{7, 0}, {1, 0}, {1}, {0, 0}, {}};
  const Words exponents[] = {{0, 0}, {0}, {}};
  for (const Words& modulus : moduli) {
    for (const Words& exponent : exponents) {
      SCOPED_TRACE(testing::Message() << "modulus length " << modulus.size() << ", exponent length "
                                      << exponent.size());
      RecordingObserver observer;
      const BigInt result = MakeBigInt({0x1234, 0x5678})
                                .PowMod(MakeBigInt(exponent), MakeBigInt(modulus), 1000, &observer);
      EXPECT_EQ(WordsOf(result), (Words{1, 0}));
      EXPECT_TRUE(observer.heard.empty()) << "a zero exponent has no checkpoint";
    }
  }
}

// A random modulus of 1 to maxDigits digits with a nonzero top digit and the
// requested parity.
BigInt RandomModulus(std::mt19937& rng, uint32_t maxDigits, bool odd) {
  Words words(1 + rng() % maxDigits);
  for (uint32_t& word : words) word = rng() & BigInt::kDigitMask;
  if (words.back() == 0) words.back() = 1 + static_cast<uint32_t>(rng()) % BigInt::kDigitMask;
  words[0] = odd ? (words[0] | 1) : (words[0] & ~1u);
  if (words.size() == 1 && words[0] == 0) words[0] = 2;
  return MakeBigInt(words);
}

// Long moduli: lengths in limbs that straddle the thresholds between the forms
// of a Montgomery product (interleaved; full product reduced word by word; full
// product reduced by products), and the moduli of 4096 to 32768 bits that
// searches of 512 to 4096 bytes meet. Moduli of random digits, of all-ones
// digits (beta^n - 1), with a top limb of 1, and of two halves m1 beta^h + m0
// with m1 = m0 + 1 or m1 = beta^h - 1 - m0, which make m = -1 modulo
// beta^h + 1 and 0 modulo beta^h - 1, the edge values of the residues the
// reduction by products works with; bases random, 0, 1 and m - 1.
// Exponents are short, to keep the test fast under the sanitizers, except one
// of full size at 4096 bits.
struct LongModulus {
  const char* label;
  uint32_t limbCount;
  enum Kind { kRandom, kAllOnes, kTopLimbOne, kHalvesOneApart, kHalvesComplementary } kind;
};

BigInt ModulusOfLimbs(std::mt19937& rng, const LongModulus& shape) {
  const uint32_t digitCount = shape.limbCount * limbs::kDigitsPerLimb;
  Words words(digitCount, BigInt::kDigitMask);
  if (shape.kind != LongModulus::kAllOnes) {
    for (uint32_t& word : words) word = rng() & BigInt::kDigitMask;
    words.back() |= 0x8000;
    words[0] |= 1;
  }
  if (shape.kind == LongModulus::kTopLimbOne) {
    std::fill(words.end() - limbs::kDigitsPerLimb, words.end(), 0);
    words[digitCount - limbs::kDigitsPerLimb] = 1;
  }
  // Even limb counts: the high half from the low one.
  const uint32_t half = digitCount / 2;
  if (shape.kind == LongModulus::kHalvesOneApart) {
    words[half - 1] |= 0x8000;
    words[1] = 0x1234;  // so that m0 + 1 does not carry out of the half
    uint32_t carry = 1;
    for (uint32_t i = 0; i < half; ++i) {
      words[half + i] = (words[i] + carry) & BigInt::kDigitMask;
      carry = words[half + i] == 0 ? carry : 0;
    }
  }
  if (shape.kind == LongModulus::kHalvesComplementary) {
    words[half - 1] &= 0x7FFF;
    for (uint32_t i = 0; i < half; ++i) words[half + i] = words[i] ^ BigInt::kDigitMask;
  }
  return MakeBigInt(words);
}

// A named kernel serves where it can; elsewhere the modulus gets the kernel
// the factory would choose, and KernelName says which ran. Values never
// depend on the kernel.
TEST(PowModTest, NamedKernelOrTheFactorysChoice) {
  std::mt19937 rng(kTestSeed + 4);
  const BigInt odd = RandomModulus(rng, 64, true);
  const BigInt even = RandomModulus(rng, 64, false);
  const char* chosen = PreparedModulus(odd).KernelName();
  const struct {
    const BigInt& modulus;
    const char* asked;
    std::string expected;
  } cases[] = {
      {odd, "portable", "portable"}, {odd, "plain", "plain"},      {odd, "no such kernel", chosen},
      {even, "portable", "plain"},   {BigInt(1), "plain", "none"}, {BigInt(0), "vector", "none"},
  };
  const BigInt base = RandomOperand(rng, 70);
  const BigInt exponent = RandomOperand(rng, 8);
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "asked " << c.asked << " for " << Mpz(c.modulus).Decimal());
    const PreparedModulus prepared(c.modulus, c.asked);
    EXPECT_EQ(prepared.KernelName(), c.expected);
    EXPECT_EQ(WordsOf(prepared.Power(base, exponent)),
              WordsOf(base.PowMod(exponent, c.modulus, 0)));
  }
}

// The Montgomery kernels (odd moduli); the plain one is tested through the
// even moduli of the other tests.
const limbs::KernelKind kMontgomeryKernels[] = {
    limbs::KernelKind::kPortable, limbs::KernelKind::kVector, limbs::KernelKind::kAdx};

std::string KernelTestName(const testing::TestParamInfo<limbs::KernelKind>& info) {
  std::string name = limbs::KernelName(info.param);
  name[0] = static_cast<char>(name[0] - 'a' + 'A');
  return name;
}

// Runs each test on one kernel, skipped where this build or processor lacks
// it; moduli outside the sizes a kernel serves are passed over.
class PowModKernelTest : public testing::TestWithParam<limbs::KernelKind> {
 protected:
  void SetUp() override {
    const limbs::LimbVector probe(1024 / limbs::kLimbBits, limbs::kLimbMax);
    if (limbs::MakeKernel(GetParam(), probe) == nullptr)
      GTEST_SKIP() << "this processor has no " << limbs::KernelName(GetParam()) << " kernel";
  }
  std::optional<PreparedModulus> Prepare(const BigInt& modulus) const {
    return limbs::PrepareWithKernel(modulus, GetParam());
  }

  // Powers modulo the edge moduli of `bits` bits, drawn from a state seeded with `seed` (all ones,
  // sparse, random), each with one leading zero digit: bases 0, 1, m - 1 and random, a random
  // 64-bit exponent; values and lengths as GMP and the length rule give them.
  void ExpectEdgeModuliMatchGmp(gmp_randstate_t state, uint32_t seed, uint32_t bits) const {
    for (const auto& [shape, edgeModulus] : EdgeModuli(state, bits)) {
      const Mpz* m = &edgeModulus;
      const uint32_t length = DigitsNeeded(*m) + 1;  // one leading zero digit
      const BigInt modulus = FromMpz(*m, length);
      const std::optional<PreparedModulus> prepared = Prepare(modulus);
      if (!prepared) continue;
      Mpz mMinusOne;
      mpz_sub_ui(mMinusOne.get(), m->get(), 1);
      Mpz randomBase;
      mpz_urandomm(randomBase.get(), state, m->get());
      const std::pair<const char*, Mpz> bases[] = {
          {"0", Mpz("0")}, {"1", Mpz("1")}, {"m - 1", mMinusOne}, {"random", randomBase}};
      for (const auto& [label, base] : bases) {
        SCOPED_TRACE(testing::Message() << "seed " << seed << ", " << bits << "-bit " << shape
                                        << " modulus, base " << label);
        Mpz exponent;
        mpz_urandomb(exponent.get(), state, 64);
        mpz_setbit(exponent.get(), 63);
        Mpz expected;
        mpz_powm(expected.get(), base.get(), exponent.get(), m->get());
        const BigInt result =
            prepared->Power(FromMpz(base, DigitsNeeded(base)), FromMpz(exponent, 4));
        EXPECT_EQ(Mpz(result), expected);
        EXPECT_EQ(result.Length(), length);
      }
    }
  }
};

TEST_P(PowModKernelTest, MatchesGmpOnLongModuli) {
  const uint32_t full = limbs::kMontgomeryFullProductThreshold;
  const uint32_t byProducts = limbs::kMontgomeryReduceByProductsThreshold;
  // The least n whose low half product's full part, n - n / 3 limbs, is Toom-3's:
  // from there the split moves to a length with more factors of two.
  const uint32_t lowSplit = (3 * limbs::kToom3MultiplyThreshold - 1) / 2;
  const uint32_t bitsPerLimb = limbs::kLimbBits;
  const LongModulus shapes[] = {
      {"just below the full-product threshold", full - 1, LongModulus::kRandom},
      {"at the full-product threshold", full, LongModulus::kRandom},
      {"just above the full-product threshold", full + 1, LongModulus::kTopLimbOne},
      {"4096 bits", 4096 / bitsPerLimb, LongModulus::kRandom},
      {"8192 bits", 8192 / bitsPerLimb, LongModulus::kRandom},
      {"8192 bits, all ones", 8192 / bitsPerLimb, LongModulus::kAllOnes},
      {"8192 bits, halves one apart", 8192 / bitsPerLimb, LongModulus::kHalvesOneApart},
      {"8192 bits, complementary halves", 8192 / bitsPerLimb, LongModulus::kHalvesComplementary},
      {"just below the reduction-by-products threshold", byProducts - 1, LongModulus::kRandom},
      {"at the reduction-by-products threshold", byProducts, LongModulus::kTopLimbOne},
      {"just above the reduction-by-products threshold", byProducts + 1, LongModulus::kRandom},
      {"the low half's full product just below Toom-3", lowSplit - 1, LongModulus::kRandom},
      {"the low half's full product at Toom-3", lowSplit, LongModulus::kAllOnes},
      {"the low half split off a multiple of 32", lowSplit + 61, LongModulus::kRandom},
      {"16384 bits", 16384 / bitsPerLimb, LongModulus::kRandom},
      {"32768 bits", 32768 / bitsPerLimb, LongModulus::kRandom},
      {"32768 bits, all ones", 32768 / bitsPerLimb, LongModulus::kAllOnes},
      {"32768 bits, halves one apart", 32768 / bitsPerLimb, LongModulus::kHalvesOneApart},
  };
  std::mt19937 rng(kTestSeed + 3);
  for (const LongModulus& shape : shapes) {
    const BigInt modulus = ModulusOfLimbs(rng, shape);
    const std::optional<PreparedModulus> prepared = Prepare(modulus);
    if (!prepared) continue;
    BigInt minusOne = modulus - 1u;
    const BigInt bases[] = {RandomOperand(rng, modulus.Length() + 3), BigInt(0), BigInt(1),
                            minusOne};
    for (const BigInt& base : bases) {
      BigInt exponent = RandomOperand(rng, 4);
      exponent |= 0x10001u;  // odd and at least 17 bits: squarings and multiplications
      if (shape.limbCount * bitsPerLimb == 4096 && &base == &bases[0]) exponent = minusOne;
      SCOPED_TRACE(testing::Message() << "seed " << kTestSeed + 3 << ", " << shape.label << " ("
                                      << shape.limbCount << " limbs), base " << (&base - bases)
                                      << ", exponent of " << exponent.HighestBit() + 1 << " bits");
      Mpz expected;
      mpz_powm(expected.get(), Mpz(base).get(), Mpz(exponent).get(), Mpz(modulus).get());
      const BigInt result = prepared->Power(base, exponent);
      EXPECT_EQ(Mpz(result), expected);
      EXPECT_EQ(result.Length(), modulus.Length());
    }
  }
}

// Checkpoints fall after every 32nd exponent bit and after the last, with the
// bits still to go minus one, on every path (odd, even, trivial moduli); the
// observer never changes the value, and may stop the work. Interval 0 or no
// observer: silence.
TEST(PowModTest, ObserverHearsEveryCheckpoint) {
  std::mt19937 rng(kTestSeed + 1);
  const Words moduli[] = {{0xFFF1, 0x7}, {0x1000, 0x7}, {}, {1}, {0, 0}, {0xFFFF, 0xFFFF, 0xFFFF}};
  const uint32_t exponentBits[] = {1, 2, 31, 32, 33, 64, 70, 96, 100, 129};
  for (const Words& modulusWords : moduli) {
    for (uint32_t bits : exponentBits) {
      BigInt exponent(1);
      exponent <<= bits - 1;
      exponent |= rng() & BigInt::kDigitMask;
      const BigInt modulus = MakeBigInt(modulusWords);
      SCOPED_TRACE(testing::Message() << bits << "-bit exponent, modulus " << Mpz(modulus).Decimal()
                                      << " of length " << modulus.Length());
      std::vector<int32_t> expected;
      const auto topBit = static_cast<int32_t>(bits - 1);
      for (int32_t done = 1; done <= topBit + 1; ++done) {
        if (done % PowModObserver::kBitsPerCheckpoint == 0 || done == topBit + 1)
          expected.push_back(topBit - done);
      }
      const BigInt base(0x12345);
      const BigInt silent = base.PowMod(exponent, modulus, 0);
      RecordingObserver observer;
      EXPECT_EQ(WordsOf(base.PowMod(exponent, modulus, 1000, &observer)), WordsOf(silent));
      EXPECT_EQ(observer.heard, expected);
      RecordingObserver off;
      base.PowMod(exponent, modulus, 0, &off);
      EXPECT_TRUE(off.heard.empty());
      RecordingObserver prepared;
      EXPECT_EQ(WordsOf(PreparedModulus(modulus).Power(base, exponent, &prepared)),
                WordsOf(silent));
      EXPECT_EQ(prepared.heard, expected);
      // An observer that asks to stop at the first checkpoint hears no other.
      RecordingObserver stopping;
      stopping.stopAfter = 1;
      EXPECT_EQ(base.PowMod(exponent, modulus, 1000, &stopping).Length(), silent.Length());
      EXPECT_EQ(stopping.heard, std::vector<int32_t>(expected.begin(), expected.begin() + 1));
    }
  }
}

// One prepared modulus serves any number of bases and exponents: values as GMP
// computes them, length max(modulus's length, 2).
TEST(PowModTest, PreparedModulusServesManyPowers) {
  std::mt19937 rng(kTestSeed + 2);
  for (int i = 0; i < 12; ++i) {
    const BigInt modulus = RandomModulus(rng, 40, i % 3 != 0);
    const PreparedModulus prepared(modulus);
    for (int j = 0; j < 5; ++j) {
      const BigInt base = RandomOperand(rng, 44);
      const BigInt exponent = RandomOperand(rng, 20);
      SCOPED_TRACE(testing::Message() << "case " << i << "." << j);
      Mpz expected;
      mpz_powm(expected.get(), Mpz(base).get(), Mpz(exponent).get(), Mpz(modulus).get());
      if (!exponent.IsNonZero()) mpz_set_ui(expected.get(), 1);
      const BigInt result = prepared.Power(base, exponent);
      EXPECT_EQ(Mpz(result), expected);
      EXPECT_EQ(result.Length(), std::max(modulus.Length(), 2u));
    }
  }
}

// Odd moduli of every size where the vector kernel's digit or vector count
// changes (a vector holds 8 digits of 52 bits, and R = 2^(52 k) must exceed
// 4 m), one bit either side, up to two vectors past the kernels that keep
// their accumulators in registers, where the products by Karatsuba's method
// take over; the bottom of the vector kernel's range (384 bits); and on the
// vector path only (the long-moduli test covers the portable code there)
// 53142 and 53143 bits, where lanes summed over k steps would overflow, and
// 65536 and 131072 bits: all ones (every limb full), sparse (top bit, a
// middle bit and bit 0) and random. Bases 0, 1, m - 1 and random, a random 64-bit exponent; values
// and lengths as GMP and the length rule give them.
TEST_P(PowModKernelTest, MatchesGmpAtEveryVectorBoundary) {
  gmp_randstate_t state;
  gmp_randinit_default(state);
  gmp_randseed_ui(state, kTestSeed);
  std::vector<uint32_t> sizes = {383, 384, 385};
  if (GetParam() == limbs::KernelKind::kVector) {
    sizes.insert(sizes.end(), {53142, 53143, 65536, 131072});
  }
  for (uint32_t vectors = 1; vectors <= 22; ++vectors) {
    for (uint32_t bits = 416 * vectors - 3; bits <= 416 * vectors + 1; ++bits)
      sizes.push_back(bits);
  }
  for (const uint32_t bits : sizes) ExpectEdgeModuliMatchGmp(state, kTestSeed, bits);
  gmp_randclear(state);
}

// The same at the sizes where the scalar kernel changes its form: every limb
// count up to two blocks of its row loop past the first, and three limbs either
// side of its Karatsuba thresholds, each one bit either side of the whole
// limbs.
TEST_P(PowModKernelTest, MatchesGmpAtEveryScalarBoundary) {
  gmp_randstate_t state;
  gmp_randinit_default(state);
  gmp_randseed_ui(state, kTestSeed + 4);
  std::vector<uint32_t> limbCounts;
  for (uint32_t n = 1; n <= 18; ++n) limbCounts.push_back(n);
  for (const uint32_t boundary :
       {limbs::x86::kAdxKaratsubaMultiplyLimbs, limbs::x86::kAdxKaratsubaSquareLimbs}) {
    for (uint32_t n = boundary - 3; n <= boundary + 3; ++n) limbCounts.push_back(n);
  }
  for (const uint32_t n : limbCounts) {
    const uint32_t bits = 64 * n;
    for (const uint32_t size : {bits - 1, bits, bits + 1}) {
      if (size >= 3) ExpectEdgeModuliMatchGmp(state, kTestSeed + 4, size);
    }
  }
  gmp_randclear(state);
}

INSTANTIATE_TEST_SUITE_P(Kernels, PowModKernelTest, testing::ValuesIn(kMontgomeryKernels),
                         KernelTestName);

}  // namespace
