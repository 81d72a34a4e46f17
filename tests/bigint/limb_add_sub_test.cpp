/// Tests of the limb-array addition and subtraction under the products: every
/// length up to past two unrolled passes and a few long ones, with carries and
/// borrows that run through every limb, the result written over either operand,
/// and the limb past the result left alone. GMP gives the expected values.
#include <gmp.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bigint/limbs/limbs.h"
#include "tests/support/bigint_support.h"

namespace {

using limbs::Limb;
using limbs::LimbVector;

Mpz FromLimbs(const Limb* x, uint32_t n) {
  Mpz value;
  mpz_import(value.get(), n, -1, sizeof(Limb), 0, 0, x);
  return value;
}

enum class Operation { kAdd, kSubtract };
enum class Output { kSeparate, kOverA, kOverB };

// The operand pairs whose carry or borrow crosses every limb, none, or some.
std::vector<std::pair<std::string, std::pair<LimbVector, LimbVector>>> OperandPairs(
    std::mt19937_64& rng, uint32_t n) {
  LimbVector random1(n), random2(n), one(n);
  for (Limb& limb : random1) limb = static_cast<Limb>(rng());
  for (Limb& limb : random2) limb = static_cast<Limb>(rng());
  if (n > 0) one[0] = 1;
  const LimbVector ones(n, limbs::kLimbMax), zero(n);
  return {{"ones and one", {ones, one}},   {"one and ones", {one, ones}},
          {"zero and one", {zero, one}},   {"ones and ones", {ones, ones}},
          {"zero and zero", {zero, zero}}, {"random", {random1, random2}}};
}

// a + b or a - b in n limbs, and the carry or borrow out, checked against
// GMP's value of the same operation taken apart at the limb boundary.
void ExpectMatchesGmp(Operation operation, Output output, const LimbVector& a,
                      const LimbVector& b) {
  const auto n = static_cast<uint32_t>(a.size());
  const Limb guard = 0x5A5A5A5A;
  LimbVector left = a, right = b, separate(n + 1, guard);
  left.push_back(guard);
  right.push_back(guard);
  Limb* r = output == Output::kOverA   ? left.data()
            : output == Output::kOverB ? right.data()
                                       : separate.data();
  const Limb out = operation == Operation::kAdd
                       ? limbs::AddLimbs(r, left.data(), right.data(), n)
                       : limbs::SubtractLimbs(r, left.data(), right.data(), n);

  // The exact result is out * beta^n + r for a sum and r - out * beta^n for a
  // difference.
  Mpz expected, actual, outValue;
  if (operation == Operation::kAdd) {
    mpz_add(expected.get(), FromLimbs(a.data(), n).get(), FromLimbs(b.data(), n).get());
  } else {
    mpz_sub(expected.get(), FromLimbs(a.data(), n).get(), FromLimbs(b.data(), n).get());
  }
  mpz_set_ui(outValue.get(), static_cast<unsigned long>(out));
  mpz_mul_2exp(outValue.get(), outValue.get(), limbs::kLimbBits * n);
  if (operation == Operation::kAdd) {
    mpz_add(actual.get(), FromLimbs(r, n).get(), outValue.get());
  } else {
    mpz_sub(actual.get(), FromLimbs(r, n).get(), outValue.get());
  }
  EXPECT_LE(out, Limb{1});
  EXPECT_EQ(actual, expected);
  EXPECT_EQ(r[n], guard);
}

TEST(LimbAddSubTest, SumsAndDifferencesMatchGmpAtEveryLength) {
  std::vector<uint32_t> lengths;
  for (uint32_t n = 0; n <= 20; ++n) lengths.push_back(n);
  for (const uint32_t n : {31u, 64u, 67u, 200u}) lengths.push_back(n);
  std::mt19937_64 rng(kTestSeed);
  for (const uint32_t n : lengths) {
    for (const auto& [label, operands] : OperandPairs(rng, n)) {
      for (const Operation operation : {Operation::kAdd, Operation::kSubtract}) {
        for (const Output output : {Output::kSeparate, Output::kOverA, Output::kOverB}) {
          SCOPED_TRACE(testing::Message()
                       << "seed " << kTestSeed << ", " << label << " of " << n << " limbs, "
                       << (operation == Operation::kAdd ? "sum" : "difference") << " written "
                       << (output == Output::kSeparate ? "apart"
                           : output == Output::kOverA  ? "over a"
                                                       : "over b"));
          ExpectMatchesGmp(operation, output, operands.first, operands.second);
        }
      }
    }
  }
}

}  // namespace
