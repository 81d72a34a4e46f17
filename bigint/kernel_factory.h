/// The one place that chooses the arithmetic for a modulus. Internal to the
/// bigint library; tests and benchmarks ask for each kernel by name, here or
/// through PreparedModulus.
#pragma once

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "bigint/bigint.h"
#include "bigint/limbs/batch_kernel.h"
#include "bigint/limbs/limbs.h"
#include "bigint/limbs/modular_kernel.h"
#include "bigint/power_batch.h"
#include "bigint/prepared_modulus.h"

namespace limbs {

/// The kernels there are. kPlain serves every modulus above 1, even ones too;
/// the others serve odd moduli only.
enum class KernelKind {
  kPlain,     // product, then long division
  kPortable,  // Montgomery arithmetic in portable C++
  kVector,    // Montgomery arithmetic on AVX-512 IFMA vectors (bigint/x86/)
  kAdx,       // Montgomery arithmetic on mulx and adcx/adox (bigint/x86/)
};

/// Every kind, in the order above.
std::vector<KernelKind> AllKernelKinds();
const char* KernelName(KernelKind kind);
/// The kind of that name, if there is one.
std::optional<KernelKind> KernelNamed(std::string_view name);

/// The kernel for a modulus above 1 without leading zero limbs: plain for an
/// even one, and for an odd one the fastest this processor has at its size.
std::unique_ptr<const ModularKernel> ChooseKernel(const LimbVector& modulus);

/// The named kernel for that modulus, or null where this build or processor
/// lacks it or the modulus is outside the sizes it serves (even, for a
/// Montgomery kernel).
std::unique_ptr<const ModularKernel> MakeKernel(KernelKind kind, const LimbVector& modulus);

/// A prepared modulus whose exponentiations run on the named kernel; nullopt
/// where MakeKernel gives none. Moduli 0 and 1 need no kernel and are prepared
/// as usual. For tests and benchmarks.
std::optional<PreparedModulus> PrepareWithKernel(const BigInt& modulus, KernelKind kind);

/// The batch kernels there are: each runs up to kMaxBatchLanes exponentiations
/// at once, one modulus per lane.
enum class BatchKernelKind {
  kVector,  // radix 2^52 on AVX-512 IFMA vectors, beside the vector kernel
  kAvx2,    // a small radix on AVX2 vectors, beside the scalar kernels
};

/// Every batch kind, in the order above.
std::vector<BatchKernelKind> AllBatchKernelKinds();
const char* BatchKernelName(BatchKernelKind kind);

/// A batch kernel for these moduli (odd, above 1, without leading zero limbs),
/// each prepared on the kernel `single`, where this processor has one that
/// pays for their number and size against `single` one by one; null otherwise,
/// and the batch runs one by one on each modulus's own kernel.
std::unique_ptr<const BatchKernel> ChooseBatchKernel(const std::vector<LimbVector>& moduli,
                                                     KernelKind single);

/// The fewest moduli of this one's size, prepared on `single`, for which
/// ChooseBatchKernel gives a batch kernel; 0 where it gives none whatever
/// their number.
uint32_t BatchMinLanes(const LimbVector& modulus, KernelKind single);

/// The named batch kernel for 1 to kMaxBatchLanes such moduli, or null where
/// this build or processor lacks it or the moduli are outside what it serves.
std::unique_ptr<const BatchKernel> MakeBatchKernel(BatchKernelKind kind,
                                                   const std::vector<LimbVector>& moduli);

/// How PowerBatchOn runs the jobs that need a kernel: as PowerBatch chooses,
/// on the named batch kernel whatever their number, or one by one.
enum class BatchPath { kChosen, kBatchKernel, kOneByOne };

/// PowerBatch on the given path; nullopt where kBatchKernel is asked for and
/// MakeBatchKernel(batchKind) gives none for the jobs' moduli. For tests and
/// benchmarks.
std::optional<std::vector<BigInt>> PowerBatchOn(
    BatchPath path, const std::vector<PowerJob>& jobs, PowModObserver* observer,
    uint32_t observedJob, BatchKernelKind batchKind = BatchKernelKind::kVector);

}  // namespace limbs
