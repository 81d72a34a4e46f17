/// Tests of the random starting number: which counter bits become pieces, how
/// the pieces are assembled, the printed lines and the length of the result.
#include "primesearch/random_candidate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tests/support/bigint_support.h"
#include "tests/support/output_capture.h"
#include "tests/support/search_oracle.h"

namespace {

struct Made {
  BigInt value;
  std::vector<std::string> lines;
};

Made MakeWithReadings(uint16_t byteCount, const std::vector<uint64_t>& readings) {
  ScriptedCounter counter(readings);
  StringTraceSink sink;
  Made made{RandomBigInt(byteCount, sink), {}};
  made.lines = SplitLines(sink.Text());
  return made;
}

void ExpectNormalForm(const BigInt& value) {
  for (uint32_t word : WordsOf(value)) EXPECT_LE(word, BigInt::kDigitMask);
}

}  // namespace

TEST(RandomCandidateTest, PiecesThreeThenTenMakeFiftyEight) {
  const Made made = MakeWithReadings(1, {3, 10});
  EXPECT_EQ(WordsOf(made.value), (std::vector<uint32_t>{58, 0}));
  EXPECT_EQ(made.lines, (std::vector<std::string>{"Random number component generated: 3",
                                                  "Random number component generated: 10"}));
}

TEST(RandomCandidateTest, ScriptedReadingsGiveValueLinesAndLength) {
  struct Row {
    const char* label;
    uint16_t byteCount;
    std::vector<uint64_t> readings;
    std::vector<uint32_t> pieces;
    uint32_t length;
  };
  const std::vector<Row> rows = {
      {"only the low four bits of the low half count",
       1,
       {0x1234567F3, 0xFFFFFFF5FFFFFFFA},
       {3, 10},
       2},
      {"four bytes of ones stay below 2^32", 4, std::vector<uint64_t>(8, 0xF),
       std::vector<uint32_t>(8, 15), 2},
      {"five bytes, first piece nonzero",
       5,
       {1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       {1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       3},
      {"five bytes, second piece nonzero",
       5,
       {0, 1, 0, 0, 0, 0, 0, 0, 0, 0},
       {0, 1, 0, 0, 0, 0, 0, 0, 0, 0},
       3},
      {"five bytes, two leading zero pieces",
       5,
       {0, 0, 15, 15, 15, 15, 15, 15, 15, 15},
       {0, 0, 15, 15, 15, 15, 15, 15, 15, 15},
       2},
      {"all pieces zero", 5, std::vector<uint64_t>(10, 0), std::vector<uint32_t>(10, 0), 2},
      {"byte count zero reads nothing", 0, {7}, {}, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    const Made made = MakeWithReadings(row.byteCount, row.readings);
    EXPECT_EQ(made.lines, oracle::PieceLines(row.pieces));
    EXPECT_TRUE(Mpz(made.value) == oracle::FromPieces(row.pieces))
        << "got " << Mpz(made.value).Decimal();
    EXPECT_EQ(made.value.Length(), row.length);
    ExpectNormalForm(made.value);
  }
}

TEST(RandomCandidateTest, LongNumbersMatchTheirHexDigits) {
  SCOPED_TRACE("seed " + std::to_string(kTestSeed));
  std::mt19937_64 rng(kTestSeed);
  for (uint16_t byteCount : {uint16_t{3}, uint16_t{33}, uint16_t{128}}) {
    SCOPED_TRACE("byte count " + std::to_string(byteCount));
    std::vector<uint64_t> readings(2u * byteCount);
    std::vector<uint32_t> pieces;
    for (uint64_t& reading : readings) {
      reading = rng();
      pieces.push_back(static_cast<uint32_t>(reading) & 0xF);
    }
    // A zero first piece now and then checks that the length follows the value.
    if (byteCount == 33) readings[0] = pieces[0] = 0;

    const Made made = MakeWithReadings(byteCount, readings);
    EXPECT_EQ(made.lines, oracle::PieceLines(pieces));
    const Mpz expected = oracle::FromPieces(pieces);
    EXPECT_TRUE(Mpz(made.value) == expected);
    EXPECT_EQ(made.value.Length(), std::max(2u, DigitsNeeded(expected)));
    ExpectNormalForm(made.value);
  }
}
