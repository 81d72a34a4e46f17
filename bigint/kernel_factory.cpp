/// The kernel factory: every kernel the program has, and the choice among them.
#include "bigint/kernel_factory.h"

#include <cstring>

#include "bigint/limbs/montgomery.h"
#include "bigint/limbs/plain_modulus.h"
#include "bigint/limbs/window_power.h"
#include "bigint/x86/kernels.h"
#include "bigint/x86/tuning.h"

namespace limbs {

namespace {

using PlainKernel = MultiplierKernel<LimbVector, PlainModulus>;
using PortableKernel = MultiplierKernel<MontgomeryModulus, MontgomeryMultiplier>;

bool IsOdd(const LimbVector& modulus) { return (modulus[0] & 1) != 0; }

}  // namespace

std::vector<KernelKind> AllKernelKinds() {
  return {KernelKind::kPlain, KernelKind::kPortable, KernelKind::kVector, KernelKind::kAdx};
}

const char* KernelName(KernelKind kind) {
  switch (kind) {
    case KernelKind::kPlain: return "plain";
    case KernelKind::kPortable: return "portable";
    case KernelKind::kVector: return "vector";
    case KernelKind::kAdx: return "adx";
  }
  return "unknown";
}

std::optional<KernelKind> KernelNamed(std::string_view name) {
  for (const KernelKind kind : AllKernelKinds()) {
    if (name == KernelName(kind)) return kind;
  }
  return std::nullopt;
}

std::unique_ptr<const ModularKernel> MakeKernel(KernelKind kind, const LimbVector& modulus) {
  if (kind == KernelKind::kPlain) return std::make_unique<PlainKernel>("plain", modulus);
  if (!IsOdd(modulus)) return nullptr;
  switch (kind) {
    case KernelKind::kPortable:
      return std::make_unique<PortableKernel>("portable", MontgomeryModulus(modulus));
    case KernelKind::kVector: return x86::MakeIfmaKernel(modulus);
    case KernelKind::kAdx: return x86::MakeAdxKernel(modulus);
    case KernelKind::kPlain: break;
  }
  return nullptr;
}

// Each processor kernel declines the sizes where it is not the fastest, so the
// first that accepts wins.
std::unique_ptr<const ModularKernel> ChooseKernel(const LimbVector& modulus) {
  if (!IsOdd(modulus)) return MakeKernel(KernelKind::kPlain, modulus);
  if (auto vector = MakeKernel(KernelKind::kVector, modulus)) return vector;
  if (auto adx = MakeKernel(KernelKind::kAdx, modulus)) return adx;
  return MakeKernel(KernelKind::kPortable, modulus);
}

std::optional<PreparedModulus> PrepareWithKernel(const BigInt& modulus, KernelKind kind) {
  PreparedModulus prepared(modulus, KernelName(kind));
  const char* chosen = prepared.KernelName();
  if (std::strcmp(chosen, KernelName(kind)) != 0 && std::strcmp(chosen, "none") != 0) {
    return std::nullopt;
  }
  return prepared;
}

std::vector<BatchKernelKind> AllBatchKernelKinds() {
  return {BatchKernelKind::kVector, BatchKernelKind::kAvx2};
}

const char* BatchKernelName(BatchKernelKind kind) {
  switch (kind) {
    case BatchKernelKind::kVector: return "vector batch";
    case BatchKernelKind::kAvx2: return "avx2 batch";
  }
  return "unknown";
}

std::unique_ptr<const BatchKernel> MakeBatchKernel(BatchKernelKind kind,
                                                   const std::vector<LimbVector>& moduli) {
  switch (kind) {
    case BatchKernelKind::kVector: return x86::MakeIfmaBatchKernel(moduli);
    case BatchKernelKind::kAvx2: return x86::MakeAvx2BatchKernel(moduli);
  }
  return nullptr;
}

namespace {

bool BatchKernelServes(BatchKernelKind kind, const LimbVector& modulus) {
  switch (kind) {
    case BatchKernelKind::kVector: return x86::IfmaBatchServes(modulus);
    case BatchKernelKind::kAvx2: return x86::Avx2BatchServes(modulus);
  }
  return false;
}

// The batch kernel beside a single kernel, and the fewest lanes at a size
// (0: none) with which it beats that kernel one by one. Moduli on the vector
// kernel batch on vectors of the same radix; those on the scalar kernels on
// AVX2, measured against adx (the portable kernel is slower still), beside adx
// only on the processors where it pays there.
struct BatchChoice {
  BatchKernelKind kind;
  uint32_t minLanes;
};

std::optional<BatchChoice> BatchBeside(KernelKind single, const LimbVector& modulus) {
  const auto bits = static_cast<uint32_t>(kLimbBits * modulus.size());
  switch (single) {
    case KernelKind::kVector:
      return BatchChoice{BatchKernelKind::kVector, x86::IfmaBatchMinLanes(bits)};
    case KernelKind::kAdx:
      return BatchChoice{BatchKernelKind::kAvx2,
                         x86::Avx2BatchPaysBesideAdx() ? x86::Avx2BatchMinLanes(bits, true) : 0};
    case KernelKind::kPortable:
      return BatchChoice{BatchKernelKind::kAvx2, x86::Avx2BatchMinLanes(bits, false)};
    case KernelKind::kPlain: break;
  }
  return std::nullopt;
}

}  // namespace

// Asked before every Lehman run's first base, so it checks what the batch
// kernel serves without preparing one (eight divisions for R^2 mod m).
uint32_t BatchMinLanes(const LimbVector& modulus, KernelKind single) {
  const auto choice = BatchBeside(single, modulus);
  if (!choice || choice->minLanes == 0 || !BatchKernelServes(choice->kind, modulus)) {
    return 0;
  }
  return choice->minLanes;
}

std::unique_ptr<const BatchKernel> ChooseBatchKernel(const std::vector<LimbVector>& moduli,
                                                     KernelKind single) {
  if (moduli.empty()) return nullptr;
  const auto choice = BatchBeside(single, moduli[0]);
  if (!choice || choice->minLanes == 0 || moduli.size() < choice->minLanes) return nullptr;
  return MakeBatchKernel(choice->kind, moduli);
}

}  // namespace limbs
