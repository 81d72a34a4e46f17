/// Tests of BigInt storage: construction, copies, Resize, Normalize and the two
/// assignments, each checked word by word including the length.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/bigint_support.h"

namespace {

using Words = std::vector<uint32_t>;

// Words and length, plus the rule that the array is null exactly for length 0.
void ExpectWords(const BigInt& value, const Words& expected) {
  EXPECT_EQ(WordsOf(value), expected);
  EXPECT_EQ(value.Digits() == nullptr, value.Length() == 0);
}

TEST(LifecycleTest, ConstructionGivesExactWords) {
  const BigInt withLeadingZeros = MakeBigInt({5, 0, 0});
  const BigInt empty;
  const struct {
    const char* label;
    BigInt value;
    Words words;
  } rows[] = {
      {"default", BigInt(), {}},
      {"from 0", BigInt(0u), {0, 0}},
      {"from 1", BigInt(1u), {1, 0}},
      {"from 0x10000", BigInt(0x10000u), {0, 1}},
      {"from 0xFFFFFFFF", BigInt(0xFFFFFFFFu), {0xFFFF, 0xFFFF}},
      {"copy keeps leading zeros", BigInt(withLeadingZeros), {5, 0, 0}},
      {"copy of empty", BigInt(empty), {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.label);
    ExpectWords(row.value, row.words);
  }
}

TEST(LifecycleTest, CopyOwnsItsArray) {
  BigInt original = MakeBigInt({1, 2, 3});
  BigInt copy(original);
  ASSERT_NE(copy.Digits(), original.Digits());
  copy.Digits()[0] = 9;
  ExpectWords(original, {1, 2, 3});
}

TEST(LifecycleTest, ResizeKeepsLowDigitsAndZeroFills) {
  const struct {
    Words start;
    uint32_t n;
    Words expected;
  } rows[] = {
      {{1, 2}, 5, {1, 2, 0, 0, 0}}, {{1, 2, 3}, 1, {1}}, {{1, 2, 3}, 0, {}},
      {{}, 3, {0, 0, 0}},           {{7, 8}, 2, {7, 8}}, {{}, 0, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.start) + " to " + std::to_string(row.n));
    BigInt value = MakeBigInt(row.start);
    value.Resize(row.n);
    ExpectWords(value, row.expected);
  }
}

TEST(LifecycleTest, NormalizeCarriesAndGrowsAtMostOnce) {
  const struct {
    Words start;
    Words expected;
  } rows[] = {
      {{0x10000}, {0, 1}},
      {{0xFFFFFFFF}, {0xFFFF, 0xFFFF}},
      {{0x10000, 0xFFFF}, {0, 0, 1}},
      {{0xFFFFFFFF, 0xFFFF, 0xFFFF}, {0xFFFF, 0xFFFE, 0, 1}},
      {{0x20000, 3, 0}, {0, 5, 0}},
      {{0xFFFF, 0xFFFF}, {0xFFFF, 0xFFFF}},
      {{0, 0x1FFFE}, {0, 0xFFFE, 1}},
      {{}, {}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.start));
    BigInt value = MakeBigInt(row.start);
    value.Normalize();
    ExpectWords(value, row.expected);
  }
}

TEST(LifecycleTest, AssignSmallValueKeepsLengthAndAddsDigitsOnlyWhenNeeded) {
  const struct {
    Words start;
    uint32_t v;
    Words expected;
  } rows[] = {
      {{}, 0x10000, {0, 1}},
      {{1, 2, 3, 4, 5}, 7, {7, 0, 0, 0, 0}},
      {{9}, 0xFFFFFFFF, {0xFFFF, 0xFFFF}},
      {{1, 2, 3}, 0xFFFFFFFF, {0xFFFF, 0xFFFF, 0}},
      {{}, 0, {0}},
      {{5}, 0xFFFF, {0xFFFF}},
      {{0xFFFF, 0xFFFF}, 0, {0, 0}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.start) + " = " + std::to_string(row.v));
    BigInt value = MakeBigInt(row.start);
    EXPECT_EQ(&(value = row.v), &value);
    ExpectWords(value, row.expected);
  }
}

TEST(LifecycleTest, AssignBigIntTakesExactLength) {
  const struct {
    Words target;
    Words source;
  } rows[] = {
      {{1, 2, 3, 4}, {9}}, {{1, 2}, {}},     {{}, {}},
      {{}, {0, 0, 7}},     {{1}, {3, 0, 0}}, {{4, 5}, {6, 7}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(::testing::PrintToString(row.target) + " = " +
                 ::testing::PrintToString(row.source));
    BigInt target = MakeBigInt(row.target);
    const BigInt source = MakeBigInt(row.source);
    EXPECT_EQ(&(target = source), &target);
    ExpectWords(target, row.source);
    ExpectWords(source, row.source);
    if (source.Length() > 0) {
      EXPECT_NE(target.Digits(), source.Digits());
    }
  }
}

TEST(LifecycleTest, SelfAssignmentLeavesValueUnchanged) {
  for (const Words& words : {Words{1, 0, 3}, Words{}, Words{0}}) {
    SCOPED_TRACE(::testing::PrintToString(words));
    BigInt value = MakeBigInt(words);
    const BigInt& alias = value;
    value = alias;
    ExpectWords(value, words);
  }
}

}  // namespace
