/// Montgomery multiplication on mulx and the adcx/adox carry chains, and the
/// run-time choice of this kernel.
#include "bigint/x86/montgomery_adx.h"

#include "bigint/limbs/montgomery_reduction.h"
#include "bigint/limbs/tuning.h"
#include "bigint/limbs/window_power.h"
#include "bigint/x86/kernels.h"
#include "bigint/x86/tuning.h"

#if LARGEPRIME_ADX_KERNEL
#include <cpuid.h>
#endif

namespace limbs {

#if !LARGEPRIME_ADX_KERNEL

bool AdxAvailable() { return false; }

std::unique_ptr<const ModularKernel> x86::MakeAdxKernel(const LimbVector& /*modulus*/) {
  return nullptr;
}

#else

namespace {

// The functions that run these instructions are compiled for them; nothing
// else in the program is.
#define LARGEPRIME_ADX_TARGET __attribute__((target("bmi2,adx")))

// One limb of a row: limb `offset` of r gets the low half of a[offset] b, the
// high half of the limb before's product (register `in`) on the adcx chain,
// and its own value on the adox chain; the high half goes to register `out`.
#define LARGEPRIME_ROW_STEP(offset, in, out) \
  "mulx " offset "(%[a]), %[low], %[" out    \
  "]\n\t"                                    \
  "adcx %[" in                               \
  "], %[low]\n\t"                            \
  "adox " offset                             \
  "(%[r]), %[low]\n\t"                       \
  "mov %[low], " offset "(%[r])\n\t"

// The limbs of a row before its whole blocks of four, one to three of them,
// leaving the high half in `carry` and the pointers past them.
#define LARGEPRIME_ROW_LEAD_1               \
  LARGEPRIME_ROW_STEP("0", "carry", "high") \
  "mov %[high], %[carry]\n\t"               \
  "lea 8(%[a]), %[a]\n\t"                   \
  "lea 8(%[r]), %[r]\n\t"
#define LARGEPRIME_ROW_LEAD_2 \
  LARGEPRIME_ROW_STEP("0", "carry", "high") LARGEPRIME_ROW_STEP("8", "high", "carry") \
  "lea 16(%[a]), %[a]\n\t"                                                       \
  "lea 16(%[r]), %[r]\n\t"
#define LARGEPRIME_ROW_LEAD_3 \
  LARGEPRIME_ROW_STEP("0", "carry", "high") LARGEPRIME_ROW_STEP("8", "high", "carry") \
  LARGEPRIME_ROW_STEP("16", "carry", "high") "mov %[high], %[carry]\n\t"         \
  "lea 24(%[a]), %[a]\n\t"                                                       \
  "lea 24(%[r]), %[r]\n\t"

// The lead limbs, then the blocks of four; the loop counts with lea and
// jrcxz, which leave both flags alone, and the chains' last carries join the
// high half at the end.
#define LARGEPRIME_ROW(lead) \
  __asm__ volatile(                                                                          \
      "xor %k[zero], %k[zero]\n\t" /* clears CF and OF */                                    \
      lead "jrcxz 2f\n"                                                                      \
      "1:\n\t" LARGEPRIME_ROW_STEP("0", "carry", "high") LARGEPRIME_ROW_STEP("8", "high", "carry") \
          LARGEPRIME_ROW_STEP("16", "carry", "high") LARGEPRIME_ROW_STEP("24", "high", "carry") \
      "lea 32(%[a]), %[a]\n\t"                                                               \
      "lea 32(%[r]), %[r]\n\t"                                                               \
      "lea -1(%[blocks]), %[blocks]\n\t"                                                     \
      "jrcxz 2f\n\t"                                                                         \
      "jmp 1b\n"                                                                             \
      "2:\n\t"                                                                               \
      "adcx %[zero], %[carry]\n\t"                                                           \
      "adox %[zero], %[carry]\n\t"                                                           \
      : [r] "+&r"(r), [a] "+&r"(a), [blocks] "+&c"(blocks), [carry] "+&r"(carry),            \
        [low] "=&r"(low), [high] "=&r"(high), [zero] "=&r"(zero)                             \
      : "d"(b)                                                                               \
      : "cc", "memory")

// r[0..n) += a[0..n) b + carry, n >= 1; returns the limb carried out. The sum
// fits in n + 1 limbs as a, r < beta^n and b, carry < beta. Each limb adds the
// low half of its product and the high half of the one below on the adcx
// chain and its old value on the adox chain, so the two sums run side by side.
LARGEPRIME_ADX_TARGET inline Limb AddRow(Limb* r, const Limb* a, uint32_t n, Limb b, Limb carry) {
  uint64_t blocks = n / 4;
  uint64_t low, high, zero;
  switch (n % 4) {
    case 0: LARGEPRIME_ROW(""); break;
    case 1: LARGEPRIME_ROW(LARGEPRIME_ROW_LEAD_1); break;
    case 2: LARGEPRIME_ROW(LARGEPRIME_ROW_LEAD_2); break;
    default: LARGEPRIME_ROW(LARGEPRIME_ROW_LEAD_3); break;
  }
  return carry;
}

// r[0..2n) = 2 r + a[i]^2 at limb 2i for every i, for the cross products r of
// a square (below beta^(2n) / 2, so nothing carries out), n >= 1: the doubling
// shifts each limb left through the adcx chain (x + x + CF), the squares join
// on the adox chain.
LARGEPRIME_ADX_TARGET inline void DoubleAndAddDiagonal(Limb* r, const Limb* a, uint64_t n) {
  uint64_t low, high, x, y, zero;
  __asm__ volatile(
      "xor %k[zero], %k[zero]\n"  // clears CF and OF
      "1:\n\t"
      "mov (%[a]), %%rdx\n\t"
      "mulx %%rdx, %[low], %[high]\n\t"
      "mov (%[r]), %[x]\n\t"
      "adcx %[x], %[x]\n\t"
      "mov 8(%[r]), %[y]\n\t"
      "adcx %[y], %[y]\n\t"
      "adox %[low], %[x]\n\t"
      "adox %[high], %[y]\n\t"
      "mov %[x], (%[r])\n\t"
      "mov %[y], 8(%[r])\n\t"
      "lea 8(%[a]), %[a]\n\t"
      "lea 16(%[r]), %[r]\n\t"
      "lea -1(%[n]), %[n]\n\t"
      "jrcxz 2f\n\t"
      "jmp 1b\n"
      "2:\n\t"
      : [r] "+&r"(r), [a] "+&r"(a), [n] "+&c"(n), [low] "=&r"(low), [high] "=&r"(high),
        [x] "=&r"(x), [y] "=&r"(y), [zero] "=&r"(zero)
      :
      : "rdx", "cc", "memory");
}

}  // namespace

// Asked of cpuid leaf 7 (structured extended features: BMI2 is bit 8 of EBX,
// ADX bit 19), as not every compiler's __builtin_cpu_supports knows "adx".
bool AdxAvailable() {
  static const bool kSupported = [] {
    uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) return false;
    constexpr uint32_t kBmi2 = 1u << 8;
    constexpr uint32_t kAdx = 1u << 19;
    return (ebx & (kBmi2 | kAdx)) == (kBmi2 | kAdx);
  }();
  return kSupported;
}

std::unique_ptr<const ModularKernel> x86::MakeAdxKernel(const LimbVector& modulus) {
  if (!AdxAvailable()) return nullptr;
  return std::make_unique<MultiplierKernel<MontgomeryModulus, AdxMultiplier> >(
      "adx", MontgomeryModulus(modulus));
}

LARGEPRIME_ADX_TARGET void AdxMultiply(Limb* r, const Limb* a, uint32_t na, const Limb* b,
                                       uint32_t nb) {
  for (uint32_t i = 0; i < na; ++i) r[i] = 0;
  for (uint32_t i = 0; i < nb; ++i) r[na + i] = AddRow(r + i, a, na, b[i], 0);
}

// Row i adds a[i] a[i+1..n) at limb 2i + 1; its carry lands on limb n + i,
// which no row has reached yet.
LARGEPRIME_ADX_TARGET void AdxSquare(Limb* r, const Limb* a, uint32_t n) {
  for (uint32_t i = 0; i < 2 * n; ++i) r[i] = 0;
  for (uint32_t i = 0; i + 1 < n; ++i)
    r[n + i] = AddRow(r + 2 * i + 1, a + i + 1, n - 1 - i, a[i], 0);
  DoubleAndAddDiagonal(r, a, n);
}

// Row i clears limb i of t with q = t[i] (-m^-1) mod beta; the limb it carries
// out belongs at limb n + i, and is parked in the cleared limb i, so no carry
// runs along t. The parked limbs are added at the end: t + q m < 2 m R, so
// the sum is below 2 m with its carry bit, and one conditional subtraction
// finishes it.
LARGEPRIME_ADX_TARGET void AdxReduce(Limb* r, Limb* t, const Limb* m, uint32_t n,
                                     Limb negativeInverse) {
  for (uint32_t i = 0; i < n; ++i) t[i] = AddRow(t + i, m, n, t[i] * negativeInverse, 0);
  SubtractModulusIfAbove(r, m, n, AddLimbs(r, t + n, t, n));
}

namespace {

// The classical products above as the basecase of the subquadratic ones. The
// scratch sizes are counted on the portable thresholds, so these may not be
// lower.
const ProductBasecase kAdxBasecase = {&AdxMultiply, &AdxSquare, x86::kAdxKaratsubaMultiplyLimbs,
                                      x86::kAdxKaratsubaSquareLimbs};
static_assert(x86::kAdxKaratsubaMultiplyLimbs >= kKaratsubaMultiplyThreshold &&
                  x86::kAdxKaratsubaSquareLimbs >= kKaratsubaSquareThreshold,
              "the scratch of the subquadratic products would not suffice");

}  // namespace

AdxMultiplier::AdxMultiplier(const MontgomeryModulus& modulus)
    : modulus_(modulus), one_(modulus.Size()), product_(2 * modulus.Size()) {
  one_[0] = 1;
  const uint32_t n = modulus.Size();
  if (n >= x86::kAdxFullProductLimbs) {
    const uint32_t reduction =
        n >= kMontgomeryReduceByProductsThreshold ? ReduceByProductsScratchLimbs(n) : 0;
    const uint32_t product = ProductScratchLimbs(n);
    scratch_.resize(reduction > product ? reduction : product);
  }
}

void AdxMultiplier::Reduce(Limb* r) {
  const uint32_t n = Size();
  if (n >= kMontgomeryReduceByProductsThreshold) {
    ReduceByProducts(r, product_.data(), modulus_.Modulus(), n, modulus_.ByProducts(),
                     scratch_.data(), kAdxBasecase);
  } else {
    AdxReduce(r, product_.data(), modulus_.Modulus(), n, modulus_.NegativeInverse());
  }
}

// Row i adds a b[i], then q m with q = t[0] (-m^-1) mod beta, to the running
// sum t, which starts at limb i of product_: limb i is then zero and is
// dropped, which divides by beta. t stays below 2 m, n limbs and one bit,
// kept in topBit.
LARGEPRIME_ADX_TARGET void AdxMultiplier::Multiply(Limb* r, const Limb* a, const Limb* b) {
  const uint32_t n = Size();
  if (!scratch_.empty()) {
    FastMultiply(product_.data(), a, n, b, n, scratch_.data(), kAdxBasecase);
    Reduce(r);
    return;
  }
  const Limb* m = modulus_.Modulus();
  const Limb negativeInverse = modulus_.NegativeInverse();
  Limb* t = product_.data();
  for (uint32_t i = 0; i < n; ++i) t[i] = 0;
  Limb topBit = 0;
  for (uint32_t i = 0; i < n; ++i, ++t) {
    const Limb productCarry = AddRow(t, a, n, b[i], 0);
    const Limb reductionCarry = AddRow(t, m, n, t[0] * negativeInverse, 0);
    const WideLimb top = static_cast<WideLimb>(productCarry) + reductionCarry + topBit;
    t[n] = LowLimb(top);
    topBit = HighLimb(top);
  }
  for (uint32_t i = 0; i < n; ++i) r[i] = t[i];
  SubtractModulusIfAbove(r, m, n, topBit);
}

LARGEPRIME_ADX_TARGET void AdxMultiplier::Square(Limb* r, const Limb* a) {
  if (!scratch_.empty()) {
    FastSquare(product_.data(), a, Size(), scratch_.data(), kAdxBasecase);
  } else {
    AdxSquare(product_.data(), a, Size());
  }
  Reduce(r);
}

void AdxMultiplier::Enter(Limb* r, const Limb* a) { Multiply(r, a, modulus_.RSquared()); }

void AdxMultiplier::Leave(Limb* r, const Limb* a) { Multiply(r, a, one_.data()); }

#endif  // LARGEPRIME_ADX_KERNEL

}  // namespace limbs
