/// Tests of CharString: allocation, bounded indexing with its shared spare
/// character, copying up to the terminator, and assignment.
#include "bigint/charstring.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A string with exactly these bytes in a block of their count.
CharString Bytes(const std::string& bytes) {
  CharString s;
  s.Allocate(static_cast<uint32_t>(bytes.size()));
  for (uint32_t i = 0; i < s.Size(); ++i) s[i] = bytes[i];
  return s;
}

void ExpectEmpty(const CharString& s) {
  EXPECT_EQ(s.Text(), nullptr);
  EXPECT_EQ(s.Size(), 0u);
}

TEST(CharStringTest, DefaultIsEmpty) { ExpectEmpty(CharString()); }

TEST(CharStringTest, AllocateReplacesBlockWithZeros) {
  CharString s = Bytes("abcdef");
  for (const uint32_t n : {3u, 8u}) {
    s.Allocate(n);
    ASSERT_NE(s.Text(), nullptr);
    ASSERT_EQ(s.Size(), n);
    EXPECT_EQ(std::string(s.Text(), n), std::string(n, '\0'));
  }
}

TEST(CharStringTest, IndexOutsideBlockReachesSpareCharacter) {
  CharString s = Bytes(std::string("xyz\0", 4));
  CharString empty;
  EXPECT_EQ(&s[3], s.Text() + 3);
  char& spare = s[4];
  EXPECT_EQ(&s[0xFFFFFFFF], &spare);
  EXPECT_EQ(&empty[0], &spare);

  spare = '!';
  EXPECT_EQ(empty[7], '!');  // one character shared by all strings
  EXPECT_EQ(std::string(s.Text(), 4), std::string("xyz\0", 4));
  spare = '\0';
}

TEST(CharStringTest, CopyStopsAtTerminatorAndNeverLeavesBlock) {
  const CharString withTail = Bytes(std::string("ab\0cd", 5));
  const CharString copy(withTail);  // NOLINT(performance-unnecessary-copy-initialization)
  ASSERT_NE(copy.Text(), withTail.Text());
  EXPECT_EQ(copy.Size(), 5u);
  EXPECT_STREQ(copy.Text(), "ab");

  // No terminator inside the block: the copy takes the whole block and no more.
  const CharString unterminated = Bytes("xyz");
  const CharString full(unterminated);  // NOLINT(performance-unnecessary-copy-initialization)
  EXPECT_EQ(full.Size(), 3u);
  EXPECT_EQ(std::string(full.Text(), 3), "xyz");

  const CharString empty;
  ExpectEmpty(CharString(empty));
  CharString zeroBlock;
  zeroBlock.Allocate(0);
  ExpectEmpty(CharString(zeroBlock));
}

TEST(CharStringTest, AssignmentCopiesOrEmpties) {
  CharString target = Bytes(std::string("old\0", 4));
  target = Bytes(std::string("new text\0", 9));
  EXPECT_EQ(target.Size(), 9u);
  EXPECT_STREQ(target.Text(), "new text");

  target = CharString();
  ExpectEmpty(target);
  target = CharString();
  ExpectEmpty(target);

  CharString zeroBlock;
  zeroBlock.Allocate(0);
  target = zeroBlock;
  ExpectEmpty(target);

  CharString self = Bytes(std::string("same\0", 5));
  const CharString& alias = self;
  self = alias;
  EXPECT_EQ(self.Size(), 5u);
  EXPECT_STREQ(self.Text(), "same");
}

}  // namespace
