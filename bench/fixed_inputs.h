/// The fixed inputs that the benchmarks and powmod_timer share, so that their
/// figures are for the same numbers in every run and on every platform: the
/// operands of one exponentiation per size and the random pieces of a search's
/// start. They are raw outputs of std::mt19937, whose sequence the C++ standard
/// fixes.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "bigint/bigint.h"

namespace fixed_inputs {

constexpr uint32_t kSeed = 20261209;

/// The operands of one exponentiation.
struct PowModOperands {
  BigInt base;
  BigInt exponent;
  BigInt modulus;
};

inline BigInt RandomDigits(std::mt19937& rng, uint32_t digitCount) {
  BigInt value;
  value.Resize(digitCount);
  for (uint32_t i = 0; i < digitCount; ++i) value.Digits()[i] = rng() & BigInt::kDigitMask;
  return value;
}

/// For bits a multiple of 16: an odd modulus with its top bit set, a base below
/// half the modulus and an exponent of the modulus's size, drawn from a seed
/// that depends only on the size and, for batches, the lane (lane 0 gives the
/// single exponentiation's operands).
inline PowModOperands MakePowModOperands(uint32_t bits, uint32_t lane = 0) {
  constexpr uint32_t kTopBit = BigInt::kDigitBase >> 1;
  std::mt19937 rng(kSeed + bits + 65537 * lane);
  const uint32_t digitCount = bits / BigInt::kDigitBits;
  PowModOperands operands{RandomDigits(rng, digitCount), RandomDigits(rng, digitCount),
                          RandomDigits(rng, digitCount)};
  operands.modulus.Digits()[0] |= 1;
  operands.modulus.Digits()[digitCount - 1] |= kTopBit;
  operands.exponent.Digits()[digitCount - 1] |= kTopBit;
  operands.base.Digits()[digitCount - 1] &= kTopBit - 1;
  return operands;
}

/// The 2 * byteCount random pieces of start startIndex of a search of byteCount
/// bytes, most significant first, as FindPrime reads them from the counter.
inline std::vector<uint32_t> StartPieces(uint32_t byteCount, uint32_t startIndex) {
  constexpr uint32_t kPieceMask = 0xF;
  std::seed_seq seed{kSeed, byteCount, startIndex};
  std::mt19937 rng(seed);
  std::vector<uint32_t> pieces(2 * byteCount);
  for (uint32_t& piece : pieces) piece = rng() & kPieceMask;
  return pieces;
}

}  // namespace fixed_inputs
