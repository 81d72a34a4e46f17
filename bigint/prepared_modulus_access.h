/// What the bigint library itself sees of a PreparedModulus beyond its public
/// interface. Internal to the bigint library.
#pragma once

#include <cstdint>

#include "bigint/bigint.h"
#include "bigint/limbs/limbs.h"
#include "bigint/limbs/modular_kernel.h"
#include "bigint/prepared_modulus.h"

namespace limbs {

struct PreparedModulusAccess {
  /// The modulus's limbs, without leading zero limbs.
  static const LimbVector& Modulus(const PreparedModulus& prepared);
  /// The length of every Power result.
  static uint32_t ResultLength(const PreparedModulus& prepared);
  /// The modulus's kernel; null for the moduli 0 and 1, which need none.
  static const ModularKernel* Kernel(const PreparedModulus& prepared);
};

}  // namespace limbs
