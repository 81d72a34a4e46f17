/// The prime search: a random odd start, then every following odd number.
#pragma once

#include <cstdint>

/// Searches from a random odd number of byteCount bytes upward until the Lehman
/// method accepts a candidate, narrating every step on standard output. The small
/// prime table must have been built.
void FindPrime(uint16_t byteCount);
