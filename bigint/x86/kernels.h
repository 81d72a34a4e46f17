/// The kernels for x86 processors, as the kernel factory sees them. Each maker
/// answers null where this build or this processor cannot run its kernel, or
/// where the modulus lies outside the sizes the kernel serves, so the factory
/// needs to know nothing of instruction sets.
#pragma once

#include <memory>
#include <vector>

#include "bigint/limbs/batch_kernel.h"
#include "bigint/limbs/limbs.h"
#include "bigint/limbs/modular_kernel.h"

namespace limbs::x86 {

/// Montgomery arithmetic in radix 2^52 on 512-bit vectors (AVX-512 IFMA), for
/// an odd modulus without leading zero limbs.
std::unique_ptr<const ModularKernel> MakeIfmaKernel(const LimbVector& modulus);

/// Montgomery arithmetic on 64-bit limbs with mulx and the adcx/adox carry
/// chains (BMI2, ADX), for an odd modulus without leading zero limbs.
std::unique_ptr<const ModularKernel> MakeAdxKernel(const LimbVector& modulus);

/// Montgomery arithmetic in radix 2^52 on 512-bit vectors (AVX-512 IFMA), one
/// modulus per 64-bit lane, for 1 to kMaxBatchLanes odd moduli without leading
/// zero limbs that share the kernel's digit count (bigint/x86/batch_ifma.cpp).
std::unique_ptr<const BatchKernel> MakeIfmaBatchKernel(const std::vector<LimbVector>& moduli);
/// Whether MakeIfmaBatchKernel gives a kernel for moduli of this one's digit
/// count, without the work of preparing one.
bool IfmaBatchServes(const LimbVector& modulus);

/// Montgomery arithmetic in a small radix on 256-bit vectors (AVX2), one
/// modulus per 64-bit lane, for 1 to kMaxBatchLanes odd moduli without leading
/// zero limbs that share the kernel's digit count (bigint/x86/batch_avx2.cpp).
std::unique_ptr<const BatchKernel> MakeAvx2BatchKernel(const std::vector<LimbVector>& moduli);
/// Whether MakeAvx2BatchKernel gives a kernel for moduli of this one's digit
/// count, without the work of preparing one.
bool Avx2BatchServes(const LimbVector& modulus);
/// Whether the AVX2 batch kernel beats the mulx/adx kernel one by one on this
/// processor at all: on AMD's it does; on Intel's, where the mulx/adx kernel
/// runs closer to the AVX2 multiplier's rate, it does not (docs/tuning.md).
bool Avx2BatchPaysBesideAdx();

}  // namespace limbs::x86
