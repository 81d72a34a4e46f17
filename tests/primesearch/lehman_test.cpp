/// Tests of the Lehman method: every result line and the verdict against
/// modular powers computed by GMP, on primes, on primes equal to a base, on
/// composites without small factors, on 1 and 2, with a modulus prepared once,
/// and its progress interval.
#include "primesearch/lehman.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tests/support/bigint_support.h"
#include "tests/support/output_capture.h"
#include "tests/support/search_oracle.h"

namespace {

struct Verdict {
  bool accepted;
  std::vector<std::string> lines;
};

BigInt Candidate(const Mpz& n, uint32_t extraDigits = 0) {
  return FromMpz(n, std::max(2u, DigitsNeeded(n)) + extraDigits);
}

Verdict RunLehman(const BigInt& n) {
  StringTraceSink sink;
  const bool accepted = LehmanTest(n, sink);
  return Verdict{accepted, SplitLines(sink.Text())};
}

// The same with the candidate prepared once for all the bases.
Verdict RunLehman(const LehmanCandidate& candidate) {
  StringTraceSink sink;
  const bool accepted = LehmanTest(candidate, sink);
  return Verdict{accepted, SplitLines(sink.Text())};
}

// Whether the lines agree with a pattern of known results, one character per
// base: '-' for n - 1, '1' for 1, 'x' for a composite verdict (which must be the
// last result line) and '?' for a pass whose kind is not checked.
::testing::AssertionResult MatchesPattern(const std::vector<std::string>& lines,
                                          const std::string& pattern) {
  if (lines.size() < pattern.size()) return ::testing::AssertionFailure() << "too few lines";
  for (size_t i = 0; i < pattern.size(); ++i) {
    const std::string prefix = "Lehman result " + std::to_string(i);
    std::string line;
    switch (pattern[i]) {
      case '-': line = prefix + " suggests prime (-1)"; break;
      case '1': line = prefix + " suggests prime (1)"; break;
      case 'x': line = prefix + " indicates composite"; break;
      default:
        if (lines[i].rfind(prefix + " suggests prime (", 0) != 0) {
          return ::testing::AssertionFailure() << "line " << i << " is \"" << lines[i] << "\"";
        }
        continue;
    }
    if (lines[i] != line) {
      return ::testing::AssertionFailure() << "line " << i << " is \"" << lines[i] << "\"";
    }
  }
  if (pattern.find('x') != std::string::npos && lines.size() != pattern.size()) {
    return ::testing::AssertionFailure() << "lines after the composite verdict";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST(LehmanMethodTest, ResultLinesAndVerdictMatchGmp) {
  struct Row {
    const char* n;
    const char* pattern;  // known results; empty when only GMP decides
    bool accepted;
    uint32_t extraDigits;
  };
  const std::vector<Row> rows = {
      {"7927", "--111--", true, 0},  // first prime above the table
      {"7927", "--111--", true, 3},  // same number with leading zero digits
      {"65537", "-1--111", true, 0},
      {"25013", "11--x", false, 0},    // a prime equal to the base at index 4
      {"25439", "???x", false, 0},     // ... at index 3
      {"25667", "?????x", false, 0},   // ... at index 5
      {"25981", "??x", false, 0},      // ... at index 2
      {"27397", "??????x", false, 0},  // ... at index 6
      {"62837329", "x", false, 0},     // 7927 squared: no factor below 7920
      {"1", "1111111", true, 0},       // zero exponent: every power is 1
      {"2", "-------", true, 0},       // n - 1 is 1 and is recognised first
      {"3", "", true, 0},
      {"561", "", false, 0},                                     // Carmichael number
      {"4611686014132420609", "", false, 0},                     // (2^31 - 1)^2
      {"2305843009213693951", "", true, 0},                      // 2^61 - 1
      {"170141183460469231731687303715884105727", "", true, 0},  // 2^127 - 1
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string("n = ") + row.n + ", extra digits " + std::to_string(row.extraDigits));
    const Mpz n(row.n);
    const oracle::LehmanOutcome expected = oracle::Lehman(n);
    ASSERT_EQ(expected.accepted, row.accepted) << "oracle disagrees with the known verdict";
    ASSERT_TRUE(MatchesPattern(expected.lines, row.pattern))
        << "oracle disagrees with the known results";

    const BigInt candidate = Candidate(n, row.extraDigits);
    const std::vector<uint32_t> wordsBefore = WordsOf(candidate);
    ScriptedTicks ticks({0});
    const Verdict verdict = RunLehman(candidate);
    EXPECT_EQ(verdict.accepted, row.accepted);
    EXPECT_TRUE(oracle::SameLines(verdict.lines, expected.lines));
    EXPECT_EQ(WordsOf(candidate), wordsBefore);

    const Verdict again = RunLehman(LehmanCandidate(candidate));
    EXPECT_EQ(again.accepted, row.accepted);
    EXPECT_TRUE(oracle::SameLines(again.lines, expected.lines)) << "with a prepared modulus";
  }
}

TEST(LehmanMethodTest, ProgressLinesUseAOneSecondInterval) {
  const Mpz n("7927");
  const oracle::LehmanOutcome expected = oracle::Lehman(n);
  // The 12-bit exponent 3963 is checked once, after its last bit, when the
  // counter reads -1; the first base's exponentiation takes the second reading.
  const std::string firstReport = "-1 bits remaining in PowMod.";

  struct Row {
    uint32_t secondReading;
    bool reported;
  };
  for (const Row& row : {Row{1000, false}, Row{1001, true}}) {
    SCOPED_TRACE("second reading " + std::to_string(row.secondReading));
    ScriptedTicks ticks({0, row.secondReading});
    const Verdict verdict = RunLehman(Candidate(n));
    std::vector<std::string> lines = expected.lines;
    if (row.reported) lines.insert(lines.begin(), firstReport);
    EXPECT_TRUE(verdict.accepted);
    EXPECT_TRUE(oracle::SameLines(verdict.lines, lines));
  }
}

// A known factor p settles a base only when its power mod p is neither 1 nor
// -1; otherwise the full exponentiation decides. Either way the lines are those
// computed with GMP: n = p q with q = 1 mod 2 (p - 1), so (n-1)/2 = (p-1)/2 mod
// (p - 1) and every check mod p gives +-1 (inconclusive), n = p q with a random
// prime q (mostly settled at once), and primes that are their own known factor.
TEST(LehmanMethodTest, KnownFactorsLeaveTheLinesAsComputed) {
  std::mt19937 rng(kTestSeed + 14);
  uint32_t inconclusive = 0;
  uint32_t settled = 0;
  for (const uint32_t p : {7927u, 7933u, 25013u, 65537u, 1000003u}) {
    for (int variant = 0; variant < 6; ++variant) {
      Mpz q;
      mpz_set_ui(q.get(), rng());
      mpz_mul_2exp(q.get(), q.get(), 40);
      mpz_add_ui(q.get(), q.get(), rng());
      const unsigned long step = 2ul * (p - 1);
      if (variant % 2 == 0) {
        // The least prime q = 1 mod step above the random start.
        mpz_fdiv_q_ui(q.get(), q.get(), step);
        mpz_mul_ui(q.get(), q.get(), step);
        mpz_add_ui(q.get(), q.get(), 1);
        while (mpz_probab_prime_p(q.get(), 30) == 0) mpz_add_ui(q.get(), q.get(), step);
      } else {
        mpz_nextprime(q.get(), q.get());
      }
      Mpz n;
      mpz_mul_ui(n.get(), q.get(), p);
      SCOPED_TRACE(testing::Message() << "n = " << p << " * " << q.Decimal());
      const BigInt candidate = Candidate(n);
      const LehmanCandidate withFactor(candidate, p);
      (withFactor.SettledByFactor(0) ? settled : inconclusive) += 1;
      if (variant % 2 == 0 && p != 25013) {
        EXPECT_FALSE(withFactor.SettledByFactor(0)) << "q = 1 mod 2 (p - 1) leaves base 0 open";
      }
      EXPECT_TRUE(oracle::SameLines(RunLehman(withFactor).lines, oracle::Lehman(n).lines));
    }
    SCOPED_TRACE(testing::Message() << "the prime " << p << " as its own factor");
    const Mpz prime(std::to_string(p).c_str());
    EXPECT_TRUE(oracle::SameLines(RunLehman(LehmanCandidate(Candidate(prime), p)).lines,
                                  oracle::Lehman(prime).lines));
  }
  EXPECT_GT(inconclusive, 0u);
  EXPECT_GT(settled, 0u);
}
