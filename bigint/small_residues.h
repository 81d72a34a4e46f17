/// The residues of one number by many small moduli at once, such as the primes
/// of a sieve.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bigint/bigint.h"

/// residues[i] = n mod moduli[i] for i < count, every modulus in [1, 2^32), in
/// any order. The cost grows with count times about the square root of n's
/// size, not with the product of the two as residue by residue: the moduli
/// are multiplied together in groups and n is reduced by each group's product
/// before it is reduced by the moduli. Calls on disjoint ranges of moduli may
/// run on several threads at once.
void SmallResidues(const BigInt& n, const uint32_t* moduli, size_t count, uint32_t* residues);
