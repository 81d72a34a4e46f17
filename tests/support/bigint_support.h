/// Helpers for tests of BigInt: building values word by word, reading them back,
/// and converting to and from GMP integers, the independent oracle.
#pragma once

#include <gmp.h>

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "bigint/bigint.h"

/// A value holding exactly these words, least significant first (not normalised:
/// tests of Normalize need words above one digit).
BigInt MakeBigInt(const std::vector<uint32_t>& words);
/// The words of a value, least significant first.
std::vector<uint32_t> WordsOf(const BigInt& value);

/// RAII wrapper for an mpz_t.
class Mpz {
 public:
  Mpz();
  explicit Mpz(const BigInt& value);
  explicit Mpz(const char* decimal);
  Mpz(const Mpz& other);
  Mpz& operator=(const Mpz& other);
  ~Mpz();
  mpz_ptr get() { return value_; }
  mpz_srcptr get() const { return value_; }
  std::string Decimal() const;

 private:
  mpz_t value_;
};

/// A BigInt of the given length (length >= the digits the value needs).
BigInt FromMpz(const Mpz& value, uint32_t length);
/// The number of base-65536 digits the value needs (0 for zero).
uint32_t DigitsNeeded(const Mpz& value);
bool operator==(const Mpz& a, const Mpz& b);

/// Random operands for differential tests: a random length in [0, maxLength],
/// whose top digits are zero with some probability, so leading zero digits,
/// length 0 and all-zero values all occur.
BigInt RandomOperand(std::mt19937& rng, uint32_t maxLength);

/// 2^bits.
Mpz PowerOfTwo(uint32_t bits);
/// Odd moduli of the given size (at least 3 bits) that reach the edges of the
/// Montgomery kernels: all ones (every limb full, the largest m for its R), a
/// sparse one (top bit, one bit in the middle, bit 0) and a random one, each
/// with its name.
std::vector<std::pair<std::string, Mpz>> EdgeModuli(gmp_randstate_t state, uint32_t bits);

/// The seed of every random test, fixed and printed so a failure can be replayed.
constexpr uint32_t kTestSeed = 20261209;

/// GMP's Mersenne-twister generator seeded with kTestSeed, cleared when it goes.
class GmpRandom {
 public:
  GmpRandom() {
    gmp_randinit_mt(state_);
    gmp_randseed_ui(state_, kTestSeed);
  }
  ~GmpRandom() { gmp_randclear(state_); }
  GmpRandom(const GmpRandom&) = delete;
  GmpRandom& operator=(const GmpRandom&) = delete;
  gmp_randstate_t& get() { return state_; }

 private:
  gmp_randstate_t state_;
};
