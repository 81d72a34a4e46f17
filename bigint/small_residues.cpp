/// The residues of a BigInt by many small moduli, on the limb kernels.
#include "bigint/small_residues.h"

#include "bigint/limb_conversion.h"

void SmallResidues(const BigInt& n, const uint32_t* moduli, size_t count, uint32_t* residues) {
  const limbs::LimbVector value = limbs::ToLimbs(n);
  limbs::ResiduesBySmallModuli(residues, value.data(), static_cast<uint32_t>(value.size()), moduli,
                               count);
}
