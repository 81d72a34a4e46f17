/// The Lehman method: a probabilistic primality test with seven fixed bases.
#pragma once

#include <cstdint>

#include "bigint/bigint.h"

constexpr uint32_t kLehmanBaseCount = 7;
extern const uint32_t LehmanBases[kLehmanBaseCount];

/// Accepts n when base^((n-1)/2) mod n is 1 or n - 1 for every base, tried in
/// table order; the first other result shows n composite. Prints one line per base
/// tried and, on acceptance, n and "Appears prime". Requires n >= 1.
bool LehmanTest(const BigInt& n);
