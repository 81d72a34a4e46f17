/// Almost Montgomery multiplication in radix 2^52 with the AVX-512 52-bit
/// multiply-add instructions, the conversions between radix 2^64 and 2^52, and
/// the run-time choice between this kernel and the portable arithmetic.
#include "bigint/x86/montgomery_ifma.h"

#include <algorithm>
#include <utility>

#include "bigint/limbs/montgomery_reduction.h"
#include "bigint/limbs/window_power.h"
#include "bigint/x86/kernels.h"
#include "bigint/x86/tuning.h"

#if LARGEPRIME_IFMA_KERNEL
#include <array>

#include "bigint/x86/radix52_products.h"
#include "bigint/x86/radix52_vectors.h"
#include "bigint/x86/radix52_wrapped.h"
#endif

namespace limbs {

#if !LARGEPRIME_IFMA_KERNEL

bool IfmaAvailable() { return false; }

std::unique_ptr<const ModularKernel> x86::MakeIfmaKernel(const LimbVector& /*modulus*/) {
  return nullptr;
}

#else

namespace {

using radix52::kDigitBits;
using radix52::kDigitMask;
using radix52::kLanes;
using radix52::NormalizeAndStore;

// Up to kMaxRegisterVectors (8318 bits at 20) each count has its own kernel
// with the accumulators in registers. From kByProductsVectors on, the products
// are formed in full and reduced by products (bigint/x86/radix52_products.h).
constexpr uint32_t kMaxRegisterVectors = x86::kIfmaMaxRegisterVectors;
constexpr uint32_t kByProductsVectors = x86::kIfmaReduceByProductsVectors;

// k, the least digit count with 4 m < 2^(52 k) for every m of this many bits.
constexpr uint32_t InterleavedDigits(uint32_t modulusBits) {
  return (modulusBits + 2 + kDigitBits - 1) / kDigitBits;
}

constexpr uint32_t VectorsFor(uint32_t modulusBits) {
  return (InterleavedDigits(modulusBits) + kLanes - 1) / kLanes;
}

static_assert(VectorsFor(8192) == kMaxRegisterVectors, "8192 bits take the register kernels");
static_assert(kByProductsVectors <= kMaxRegisterVectors + 1,
              "the register kernels serve every size below the products");
// The interleaved kernels sum their lanes unnormalised over k steps of four
// terms below 2^52 each; the normalisation takes lanes below 2^63.
static_assert(4 * kLanes * kMaxRegisterVectors < (1u << (63 - kDigitBits)),
              "the lanes could overflow");

// ---- Conversion between radix 2^64 and radix 2^52 -----------------------------

// r[0..digitCount) = the digits of x[0..n) in radix 2^52; the value must fit.
void ToRadix52(uint64_t* r, uint32_t digitCount, const Limb* x, uint32_t n) {
  WideLimb pending = 0;  // bits of x not yet stored, `bits` of them
  uint32_t bits = 0;
  uint32_t next = 0;
  for (uint32_t d = 0; d < digitCount; ++d) {
    if (bits < kDigitBits && next < n) {
      pending |= static_cast<WideLimb>(x[next++]) << bits;
      bits += kLimbBits;
    }
    r[d] = static_cast<uint64_t>(pending) & kDigitMask;
    pending >>= kDigitBits;
    bits = bits > kDigitBits ? bits - kDigitBits : 0;
  }
}

// r[0..n) = the value of the normalised digits x[0..digitCount); it must fit.
void FromRadix52(Limb* r, uint32_t n, const uint64_t* x, uint32_t digitCount) {
  WideLimb pending = 0;
  uint32_t bits = 0;
  uint32_t next = 0;
  for (uint32_t i = 0; i < n; ++i) {
    while (bits < kLimbBits && next < digitCount) {
      pending |= static_cast<WideLimb>(x[next++]) << bits;
      bits += kDigitBits;
    }
    r[i] = static_cast<Limb>(pending);
    pending >>= kLimbBits;
    bits = bits > kLimbBits ? bits - kLimbBits : 0;
  }
}

// ---- The kernel ----------------------------------------------------------------

// r = (a b + q m) / R with q < R making the sum divisible by R: almost
// Montgomery multiplication by operand scanning (Gueron and Krasnov,
// "Accelerating big integer arithmetic using Intel IFMA extensions", 2016).
// For each digit b[i] the accumulator gains a b[i] + q[i] m, where
// q[i] = (acc[0] + a[0] b[i]) (-m^-1) mod 2^52 clears the lowest digit of the
// sum, and moves down one digit. The low 52 bits of each digit product go to
// its own lane and the high ones to the lane above, and lanes are left
// unnormalised until the end: each step adds four terms below 2^52 to a lane,
// so k steps stay below 2^63 for k below 512. With a, b < 2 m and 4 m < R the
// result is below 2 m.
//
// A step runs through the vectors from the lowest: the low products join the
// vector's accumulator, the high ones are summed in a fresh register, and the
// two, shifted down one lane, become the accumulator of the vector below. The
// lowest digit, from which the next q comes, is carried in a scalar register:
// the vector's lowest lane misses the carry out of the digit dropped below it,
// which the scalar adds back. The speed is bounded by the multiply-adds, about
// one 512-bit one per cycle on Zen 4.

// q and the carry out of the dropped digit for the step with digit bi, from
// the scalar lowest digit acc0.
struct StepQuotient {
  __m512i b;  // bi in every lane
  __m512i q;  // q in every lane
  uint64_t qDigit;
  uint64_t carry;
};

// a0 is the lowest digit of the operand that bi multiplies in this step.
LARGEPRIME_IFMA_TARGET inline StepQuotient Quotient(uint64_t acc0, uint64_t bi, uint64_t a0,
                                                    const IfmaModulus& modulus) {
  const uint64_t t = acc0 + ((a0 * bi) & kDigitMask);
  const uint64_t q = (t * modulus.NegativeInverse()) & kDigitMask;
  return {_mm512_set1_epi64(static_cast<int64_t>(bi)), _mm512_set1_epi64(static_cast<int64_t>(q)),
          q, (t + ((modulus.Modulus()[0] * q) & kDigitMask)) >> kDigitBits};
}

// The low and high 52 bits of the product of two digits.
inline uint64_t LowProduct(uint64_t x, uint64_t y) { return (x * y) & kDigitMask; }
inline uint64_t HighProduct(uint64_t x, uint64_t y) {
  return static_cast<uint64_t>((static_cast<WideLimb>(x) * y) >> kDigitBits);
}

// One vector's share of a step: acc + low halves of a bi + q m, and the high
// halves.
struct VectorSums {
  __m512i low;
  __m512i high;
};

// acc + the low halves of a bi, and the high halves.
LARGEPRIME_IFMA_TARGET inline VectorSums MultiplyAddOperand(__m512i acc, __m512i a,
                                                            const StepQuotient& step) {
  return {_mm512_madd52lo_epu64(acc, a, step.b),
          _mm512_madd52hi_epu64(_mm512_setzero_si512(), a, step.b)};
}

// sums + the low and high halves of q m.
LARGEPRIME_IFMA_TARGET inline VectorSums MultiplyAddModulus(const VectorSums& sums, __m512i m,
                                                            const StepQuotient& step) {
  return {_mm512_madd52lo_epu64(sums.low, m, step.q), _mm512_madd52hi_epu64(sums.high, m, step.q)};
}

LARGEPRIME_IFMA_TARGET inline VectorSums MultiplyAdd(__m512i acc, __m512i a, __m512i m,
                                                     const StepQuotient& step) {
  return MultiplyAddModulus(MultiplyAddOperand(acc, a, step), m, step);
}

// The accumulator of a vector after the step, from its sums and the next
// vector's low sums (zero above the top), moved down one lane.
LARGEPRIME_IFMA_TARGET inline __m512i ShiftDown(const VectorSums& sums, __m512i lowAbove) {
  return _mm512_add_epi64(_mm512_alignr_epi64(lowAbove, sums.low, 1), sums.high);
}

// The lowest digit after the step, from the lowest vector's sums.
LARGEPRIME_IFMA_TARGET inline uint64_t LowestDigit(const VectorSums& sums, uint64_t carry) {
  return static_cast<uint64_t>(_mm_extract_epi64(_mm512_castsi512_si128(sums.low), 1)) +
         static_cast<uint64_t>(_mm_cvtsi128_si64(_mm512_castsi512_si128(sums.high))) + carry;
}

// Takes vector v's sums of a step, run from the lowest vector: those of
// vector 0 give the scalar lowest digit, the others complete the accumulator
// of the vector below, whose sums are `below`.
LARGEPRIME_IFMA_TARGET inline void TakeSums(uint32_t v, const VectorSums& sums, VectorSums& below,
                                            __m512i* acc, uint64_t& acc0, uint64_t carry) {
  if (v == 0) {
    acc0 = LowestDigit(sums, carry);
  } else {
    acc[v - 1] = ShiftDown(below, sums.low);
  }
  below = sums;
}

// r = the accumulators, with the scalar lowest digit in its lane, normalised.
LARGEPRIME_IFMA_TARGET inline void Finish(uint64_t* r, __m512i* acc, uint32_t vectorCount,
                                          uint64_t acc0) {
  acc[0] = _mm512_mask_set1_epi64(acc[0], 1, static_cast<int64_t>(acc0));
  NormalizeAndStore(r, acc, vectorCount);
}

// The kernel for VectorCount vectors, with every accumulator in a register.
template <uint32_t VectorCount>
LARGEPRIME_IFMA_TARGET void AlmostMontgomeryProduct(uint64_t* r, const uint64_t* a,
                                                    const uint64_t* b, const IfmaModulus& modulus) {
  const uint64_t* m = modulus.Modulus();
  const __m512i zero = _mm512_setzero_si512();
  __m512i acc[VectorCount];
#pragma GCC unroll 32
  for (uint32_t v = 0; v < VectorCount; ++v) acc[v] = zero;
  uint64_t acc0 = 0;
  for (uint32_t i = 0; i < modulus.Digits(); ++i) {
    const StepQuotient step = Quotient(acc0, b[i], a[0], modulus);
    // The next lowest digit, digit 1 of the sum, in scalar registers: lane 1
    // + lo(a_1 b_i) + hi(a_0 b_i) + lo(m_1 q) + hi(m_0 q) + the carry out of
    // digit 0. The terms without q are ready before q is, so the chain from
    // one q to the next is a few scalar multiplications instead of a trip
    // through the vector unit. That chain bounds the small sizes: 7 to 13 %
    // faster from 1 to 4 vectors in product_bench.
    const uint64_t independentOfQ =
        static_cast<uint64_t>(_mm_extract_epi64(_mm512_castsi512_si128(acc[0]), 1)) +
        LowProduct(a[1], b[i]) + HighProduct(a[0], b[i]);
    VectorSums below{};
#pragma GCC unroll 32
    for (uint32_t v = 0; v < VectorCount; ++v) {
      const VectorSums sums = MultiplyAdd(acc[v], _mm512_loadu_si512(a + kLanes * v),
                                          _mm512_loadu_si512(m + kLanes * v), step);
      if (v > 0) acc[v - 1] = ShiftDown(below, sums.low);
      below = sums;
    }
    acc[VectorCount - 1] = ShiftDown(below, zero);
    acc0 = independentOfQ + LowProduct(m[1], step.qDigit) + HighProduct(m[0], step.qDigit) +
           step.carry;
  }
  Finish(r, acc, VectorCount, acc0);
}

// r = (a a + q m) / R, as AlmostMontgomeryProduct<VectorCount>(r, a, a, modulus)
// gives it, with about three quarters of its multiply-adds. Each cross product
// is taken once, doubled: a a = sum over i of a_i y_i 2^(52 i), where y_i has
// no digits below i, a_i at i, and above it those of 2 (a >> 52 (i + 1)):
// the doubled digits 2 a_j mod 2^52 with the top bit of a_(j-1) carried in,
// except at i + 1, where that bit belongs to a_i, taken undoubled. Step i
// multiplies a_i by y_i, so the vectors wholly below lane i add only q m. As
// a < 2 m < R / 2, the doubled digits of a fit in k digits, and every term is
// still below 2^52.
template <uint32_t VectorCount>
LARGEPRIME_IFMA_TARGET void AlmostMontgomerySquare(uint64_t* r, const uint64_t* a,
                                                   const IfmaModulus& modulus) {
  const uint64_t* m = modulus.Modulus();
  const __m512i zero = _mm512_setzero_si512();
  const __m512i mask = _mm512_set1_epi64(static_cast<int64_t>(kDigitMask));
  __m512i uncarried[VectorCount];  // 2 a_j mod 2^52
  __m512i doubled[VectorCount];    // the digits of 2 a
  __m512i acc[VectorCount];
  __m512i topBitsBelow = zero;
#pragma GCC unroll 32
  for (uint32_t v = 0; v < VectorCount; ++v) {
    const __m512i digits = _mm512_loadu_si512(a + kLanes * v);
    const __m512i topBits = _mm512_srli_epi64(digits, kDigitBits - 1);
    uncarried[v] = _mm512_and_si512(_mm512_slli_epi64(digits, 1), mask);
    doubled[v] =
        _mm512_add_epi64(uncarried[v], _mm512_alignr_epi64(topBits, topBitsBelow, kLanes - 1));
    topBitsBelow = topBits;
    acc[v] = zero;
  }
  uint64_t acc0 = 0;
  for (uint32_t i = 0; i < modulus.Digits(); ++i) {
    const uint32_t first = i / kLanes;  // the vector that holds lane i
    const uint32_t lane = i % kLanes;
    const StepQuotient step = Quotient(acc0, a[i], i == 0 ? a[0] : 0, modulus);
    // y_i in vector `first`: zero below the lane, a_i at it, then 2 a_(i+1)
    // mod 2^52, then the doubled digits; in the next vector, 2 a_(i+1) mod
    // 2^52 when i + 1 is its lowest lane.
    const auto here = static_cast<__mmask8>(1u << lane);
    const auto next = static_cast<__mmask8>(2u << lane);
    const __m512i aboveLane =
        _mm512_maskz_mov_epi64(static_cast<__mmask8>(0xFFu << lane), doubled[first]);
    const __m512i yFirst = _mm512_mask_mov_epi64(_mm512_mask_mov_epi64(aboveLane, here, step.b),
                                                 next, uncarried[first]);
    const uint32_t second = first + 1 < VectorCount ? first + 1 : first;
    const __m512i ySecond = lane == kLanes - 1
                                ? _mm512_mask_mov_epi64(doubled[second], 1, uncarried[second])
                                : doubled[second];
    VectorSums below{};
#pragma GCC unroll 32
    for (uint32_t v = 0; v < VectorCount; ++v) {
      VectorSums sums{acc[v], zero};
      if (v >= first) {
        sums = MultiplyAddOperand(acc[v],
                                  v == first       ? yFirst
                                  : v == first + 1 ? ySecond
                                                   : doubled[v],
                                  step);
      }
      sums = MultiplyAddModulus(sums, _mm512_loadu_si512(m + kLanes * v), step);
      TakeSums(v, sums, below, acc, acc0, step.carry);
    }
    acc[VectorCount - 1] = ShiftDown(below, zero);
  }
  Finish(r, acc, VectorCount, acc0);
}

using ProductKernel = void (*)(uint64_t*, const uint64_t*, const uint64_t*, const IfmaModulus&);
using SquareKernel = void (*)(uint64_t*, const uint64_t*, const IfmaModulus&);

constexpr uint32_t kMinSquareVectors = x86::kIfmaMinSquareVectors;

template <ProductKernel Product>
LARGEPRIME_IFMA_TARGET void SquareByProduct(uint64_t* r, const uint64_t* a,
                                            const IfmaModulus& modulus) {
  Product(r, a, a, modulus);
}

template <uint32_t VectorCount>
constexpr SquareKernel RegisterSquare() {
  if constexpr (VectorCount >= kMinSquareVectors) {
    return &AlmostMontgomerySquare<VectorCount>;
  } else {
    return &SquareByProduct<&AlmostMontgomeryProduct<VectorCount> >;
  }
}

// The kernels for v vectors at index v - 1, up to kMaxRegisterVectors.
template <size_t... Index>
constexpr std::array<ProductKernel, sizeof...(Index)> MakeProductKernels(
    std::index_sequence<Index...> /*unused*/) {
  return {&AlmostMontgomeryProduct<Index + 1>...};
}

template <size_t... Index>
constexpr std::array<SquareKernel, sizeof...(Index)> MakeSquareKernels(
    std::index_sequence<Index...> /*unused*/) {
  return {RegisterSquare<Index + 1>()...};
}

constexpr std::array<ProductKernel, kMaxRegisterVectors> kRegisterProducts =
    MakeProductKernels(std::make_index_sequence<kMaxRegisterVectors>());
constexpr std::array<SquareKernel, kMaxRegisterVectors> kRegisterSquares =
    MakeSquareKernels(std::make_index_sequence<kMaxRegisterVectors>());

bool UsesProducts(uint32_t modulusBits, IfmaMethod method) {
  const uint32_t vectors = VectorsFor(modulusBits);
  if (method == IfmaMethod::kChosen) return vectors >= kByProductsVectors;
  return method == IfmaMethod::kByProducts || vectors > kMaxRegisterVectors;
}

// -m^-1 mod R in the k digits of R, from the portable arithmetic's inverse
// modulo the limb power just above R.
Radix52Vector InverseModR(const LimbVector& plain, uint32_t digits, Limb negativeInverse) {
  LimbVector m = plain;
  m.resize((kDigitBits * digits + kLimbBits - 1) / kLimbBits);
  const ReductionConstants constants =
      MakeReductionConstants(m.data(), static_cast<uint32_t>(m.size()), negativeInverse);
  Radix52Vector inverse(digits);
  ToRadix52(inverse.data(), digits, constants.inverse.data(), static_cast<uint32_t>(m.size()));
  return inverse;
}

}  // namespace

bool IfmaAvailable() {
  static const bool kSupported = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512ifma");
  }();
  return kSupported;
}

std::unique_ptr<const ModularKernel> x86::MakeIfmaKernel(const LimbVector& modulus) {
  const uint32_t bits = BitLength(modulus);
  if (bits < kIfmaMinModulusBits || !IfmaAvailable()) return nullptr;
  return std::make_unique<MultiplierKernel<IfmaModulus, IfmaMultiplier> >("vector",
                                                                          IfmaModulus(modulus));
}

IfmaModulus::IfmaModulus(LimbVector modulus, IfmaMethod method)
    : plain_(std::move(modulus)),
      digits_(UsesProducts(BitLength(plain_), method) ? kLanes * VectorsFor(BitLength(plain_))
                                                      : InterleavedDigits(BitLength(plain_))),
      modulus_((digits_ + kLanes - 1) / kLanes * kLanes),
      negativeInverse_((0 - InverseModWordBase<uint64_t>(plain_[0])) & kDigitMask),
      rSquared_(modulus_.size()),
      one_(modulus_.size()) {
  ToRadix52(modulus_.data(), digits_, plain_.data(), PlainSize());
  if (UsesProducts(BitLength(plain_), method)) {
    inverse_ = InverseModR(plain_, digits_, 0 - InverseModWordBase(plain_[0]));
    const uint32_t vectors = Size() / kLanes;
    cyclic_.resize(radix52::HighHalfFoldDigits(vectors));
    negacyclic_.resize(radix52::HighHalfFoldDigits(vectors) + 1);
    radix52::FoldForHighHalf(cyclic_.data(), negacyclic_.data(), modulus_.data(), vectors);
  } else {
    product_ = kRegisterProducts[Size() / kLanes - 1];
    square_ = kRegisterSquares[Size() / kLanes - 1];
  }
  // R^2 mod m = 2^(104 k) mod m, by one division.
  const uint32_t exponent = 2 * kDigitBits * digits_;
  LimbVector power(exponent / kLimbBits + 1);
  power.back() = Limb{1} << (exponent % kLimbBits);
  const LimbVector remainder = Remainder(power, plain_);
  ToRadix52(rSquared_.data(), digits_, remainder.data(), PlainSize());
  one_[0] = 1;
}

IfmaMultiplier::IfmaMultiplier(const IfmaModulus& modulus)
    : modulus_(modulus), scratch_(modulus.Size()) {
  if (modulus.ByProducts()) {
    product_.resize(2 * modulus.Size());
    low_.resize(modulus.Size());
    high_.resize(modulus.Size());
    const uint32_t vectors = modulus.Size() / kLanes;
    productScratch_.resize(
        std::max({radix52::ProductScratchWords(vectors), radix52::MultiplyLowScratchWords(vectors),
                  radix52::HighHalfScratchWords(vectors)}));
  }
}

void IfmaMultiplier::Product(uint64_t* r, const uint64_t* a, const uint64_t* b) {
  if (!modulus_.ByProducts()) {
    modulus_.Product(r, a, b);
    return;
  }
  radix52::Multiply(product_.data(), a, b, Size() / kLanes, productScratch_.data());
  Reduce(r);
}

// t = product_ < 4 m^2 < m R. q = (t mod R)(-m^-1) mod R makes t + q m
// divisible by R, and (t + q m) / R < 2 m. So the low half of q m is
// R - (t mod R), or 0 when t mod R is 0, and the two low halves add up to R or
// to 0: only the high half of q m is needed, plus that carry, and knowing the
// low half, the high half comes from q m modulo R^2 - 1 or so, a wrapped
// product of two products of half the size (bigint/x86/radix52_wrapped.h).
void IfmaMultiplier::Reduce(uint64_t* r) {
  const uint32_t k = Size();
  const uint32_t vectors = k / kLanes;
  const uint64_t* t = product_.data();
  radix52::MultiplyLow(scratch_.data(), t, modulus_.Inverse(), vectors, productScratch_.data());
  uint64_t lowNonzero = 0;
  for (uint32_t i = 0; i < k; ++i) lowNonzero |= t[i];
  // R - (t mod R) mod R: the complement of each digit, plus one.
  for (uint32_t i = 0; i < k; ++i) low_[i] = kDigitMask - t[i];
  for (uint32_t i = 0; i < k && ++low_[i] > kDigitMask; ++i) low_[i] = 0;
  radix52::HighHalf(high_.data(), scratch_.data(), low_.data(), vectors, modulus_.CyclicModulus(),
                    modulus_.NegacyclicModulus(), productScratch_.data());
  radix52::AddLanes(r, t + k, vectors, high_.data(), vectors, false);
  r[0] += lowNonzero != 0 ? 1 : 0;
  radix52::NormalizeDigits(r, r, vectors);
}

void IfmaMultiplier::Enter(Limb* r, const Limb* a) {
  ToRadix52(scratch_.data(), modulus_.Digits(), a, PlainSize());
  Product(r, scratch_.data(), modulus_.RSquared());
}

// a / R mod m + (0 or m) is at most m (a < 2 m, so (a + q m) / R < m + 1): one
// conditional subtraction reduces it fully.
void IfmaMultiplier::Leave(Limb* r, const Limb* a) {
  Product(scratch_.data(), a, modulus_.One());
  const uint32_t n = PlainSize();
  FromRadix52(r, n, scratch_.data(), modulus_.Digits());
  SubtractModulusIfAbove(r, modulus_.Plain().data(), n, 0);
}

void IfmaMultiplier::Multiply(Limb* r, const Limb* a, const Limb* b) { Product(r, a, b); }

void IfmaMultiplier::Square(Limb* r, const Limb* a) {
  if (!modulus_.ByProducts()) {
    modulus_.Square(r, a);
    return;
  }
  radix52::Square(product_.data(), a, Size() / kLanes, productScratch_.data());
  Reduce(r);
}

#endif  // LARGEPRIME_IFMA_KERNEL

}  // namespace limbs
