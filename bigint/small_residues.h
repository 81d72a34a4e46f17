/// The residues of one number by many small moduli at once, such as the primes
/// of a sieve.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bigint/bigint.h"

/// residues[i] = n mod moduli[i] for i < count, every modulus in [1, 2^32), in
/// any order. The moduli are multiplied together in groups; n is divided once
/// by each group's product (long division, the bulk of the cost, which grows
/// with n's size per modulus, but several times slower than residue by
/// residue), and the remainders by the group's moduli follow from that
/// quotient by products alone. Calls on disjoint ranges of moduli may run on
/// several threads at once.
void SmallResidues(const BigInt& n, const uint32_t* moduli, size_t count, uint32_t* residues);
