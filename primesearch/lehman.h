/// The Lehman method: a probabilistic primality test with seven fixed bases.
#pragma once

#include <cstdint>

#include "bigint/bigint.h"
#include "bigint/prepared_modulus.h"
#include "primesearch/trace_sink.h"

constexpr uint32_t kLehmanBaseCount = 7;
extern const uint32_t LehmanBases[kLehmanBaseCount];

/// Accepts n when base^((n-1)/2) mod n is 1 or n - 1 for every base, tried in
/// table order; the first other result shows n composite. Writes one line per
/// base tried and, on acceptance, n and "Appears prime"; long exponentiations
/// add their progress lines. Requires n >= 1. The sink is flushed first, so a
/// reader sees the trace up to here before the exponentiations start.
bool LehmanTest(const BigInt& n, TraceSink& sink);
/// The same, with n already prepared as a modulus (`modulus` is n).
bool LehmanTest(const BigInt& n, const PreparedModulus& modulus, TraceSink& sink);
