/// Independent expectations for the prime search, computed with GMP and plain
/// loops: the first primes, the number made from random pieces, the lines of the
/// Lehman method, and the whole trace of a search from a given first candidate.
/// Header-only; shared by the tests of the application and of the executable.
#pragma once

#include <gmp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/bigint_support.h"

namespace oracle {

/// The Lehman bases in the order they are tried (published with the method).
constexpr uint32_t kLehmanBases[] = {89, 5179, 25981, 25439, 25013, 25667, 27397};

/// The first `count` primes, from GMP's prime sieve.
inline std::vector<uint32_t> FirstPrimes(uint32_t count) {
  std::vector<uint32_t> primes;
  Mpz p;
  while (primes.size() < count) {
    mpz_nextprime(p.get(), p.get());
    primes.push_back(static_cast<uint32_t>(mpz_get_ui(p.get())));
  }
  return primes;
}

/// The number whose hexadecimal digits, most significant first, are the pieces.
inline Mpz FromPieces(const std::vector<uint32_t>& pieces) {
  Mpz value;
  for (uint32_t piece : pieces) {
    mpz_mul_2exp(value.get(), value.get(), 4);
    mpz_add_ui(value.get(), value.get(), piece);
  }
  return value;
}

/// The line printed for each random piece.
inline std::vector<std::string> PieceLines(const std::vector<uint32_t>& pieces) {
  std::vector<std::string> lines;
  lines.reserve(pieces.size());
  for (uint32_t piece : pieces) {
    lines.push_back("Random number component generated: " + std::to_string(piece));
  }
  return lines;
}

struct LehmanOutcome {
  std::vector<std::string> lines;
  bool accepted = false;
};

/// The Lehman method on n >= 1: base^((n-1)/2) mod n for each base in order;
/// n - 1 is recognised before 1, and the first other result ends the test.
inline LehmanOutcome Lehman(const Mpz& n) {
  LehmanOutcome outcome;
  Mpz minusOne;
  Mpz exponent;
  mpz_sub_ui(minusOne.get(), n.get(), 1);
  mpz_fdiv_q_2exp(exponent.get(), minusOne.get(), 1);
  const size_t exponentBits = mpz_sgn(exponent.get()) == 0 ? 0 : mpz_sizeinbase(exponent.get(), 2);
  for (uint32_t i = 0; i < std::size(kLehmanBases); ++i) {
    Mpz result;
    if (exponentBits == 0) {
      // A zero power is 1 without any reduction (GMP would reduce it mod 1).
      mpz_set_ui(result.get(), 1);
    } else {
      Mpz base;
      mpz_set_ui(base.get(), kLehmanBases[i]);
      mpz_powm(result.get(), base.get(), exponent.get(), n.get());
    }
    const std::string prefix = "Lehman result " + std::to_string(i);
    if (result == minusOne) {
      outcome.lines.push_back(prefix + " suggests prime (-1)");
    } else if (mpz_cmp_ui(result.get(), 1) == 0) {
      outcome.lines.push_back(prefix + " suggests prime (1)");
    } else {
      outcome.lines.push_back(prefix + " indicates composite");
      return outcome;
    }
  }
  outcome.lines.push_back(n.Decimal());
  outcome.lines.emplace_back("Appears prime");
  outcome.accepted = true;
  return outcome;
}

struct SearchOutcome {
  /// From the first "Testing for prime:" to the "Tested ..." line included.
  std::vector<std::string> lines;
  Mpz accepted;
  int tested = 0;
  int lehmanRuns = 0;
};

/// A search from the odd number `first`: trial division by the first
/// `tablePrimes` primes, then the Lehman method; 1 is passed over.
inline SearchOutcome Search(const Mpz& first, uint32_t tablePrimes = 1000) {
  const std::vector<uint32_t> primes = FirstPrimes(tablePrimes);
  SearchOutcome outcome;
  Mpz candidate(first);
  for (long offset = 0;; offset += 2) {
    ++outcome.tested;
    outcome.lines.emplace_back("Testing for prime:");
    outcome.lines.push_back(offset == 0 ? candidate.Decimal() : "+" + std::to_string(offset));
    const auto factor = std::find_if(primes.begin(), primes.end(), [&](uint32_t p) {
      return mpz_divisible_ui_p(candidate.get(), p) != 0;
    });
    if (factor != primes.end()) {
      outcome.lines.push_back("It's evenly divisible by " + std::to_string(*factor));
    } else if (mpz_cmp_ui(candidate.get(), 1) > 0) {
      outcome.lines.emplace_back("No small prime factors; trying Lehman method");
      ++outcome.lehmanRuns;
      const LehmanOutcome lehman = Lehman(candidate);
      outcome.lines.insert(outcome.lines.end(), lehman.lines.begin(), lehman.lines.end());
      if (lehman.accepted) {
        outcome.accepted = candidate;
        break;
      }
    }
    mpz_add_ui(candidate.get(), candidate.get(), 2);
  }
  outcome.lines.push_back("Tested " + std::to_string(outcome.tested) +
                          " numbers before finding a prime. Resorted to Lehman method " +
                          std::to_string(outcome.lehmanRuns) + " times.");
  return outcome;
}

/// Line-by-line comparison that names the first difference instead of printing
/// two traces of thousands of lines.
inline ::testing::AssertionResult SameLines(const std::vector<std::string>& actual,
                                            const std::vector<std::string>& expected) {
  const size_t common = std::min(actual.size(), expected.size());
  for (size_t i = 0; i < common; ++i) {
    if (actual[i] != expected[i]) {
      return ::testing::AssertionFailure() << "line " << i + 1 << ": got \"" << actual[i]
                                           << "\", expected \"" << expected[i] << "\"";
    }
  }
  if (actual.size() != expected.size()) {
    return ::testing::AssertionFailure()
           << "got " << actual.size() << " lines, expected " << expected.size()
           << "; first extra line: \""
           << (actual.size() > common ? actual[common] : expected[common]) << "\"";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace oracle
