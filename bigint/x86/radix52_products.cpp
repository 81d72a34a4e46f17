/// Plain products and squares in radix 2^52: the classical kernels on vectors,
/// and Karatsuba's method over them with its linear steps on scalar digits.
#include "bigint/x86/radix52_products.h"

#if LARGEPRIME_IFMA_KERNEL

#include <array>
#include <utility>

#include "bigint/x86/radix52_vectors.h"
#include "bigint/x86/tuning.h"

namespace limbs::radix52 {

namespace {

#define LARGEPRIME_IFMA_INLINE LARGEPRIME_IFMA_TARGET __attribute__((always_inline)) inline

constexpr uint32_t kKaratsubaMultiplyVectors = x86::kIfmaKaratsubaMultiplyVectors;
constexpr uint32_t kKaratsubaSquareVectors = x86::kIfmaKaratsubaSquareVectors;
constexpr uint32_t kMultiplyLowVectors = x86::kIfmaMultiplyLowSplitVectors;
static_assert(kKaratsubaMultiplyVectors <= kMaxClassicalVectors + 1 &&
                  kKaratsubaSquareVectors <= kMaxClassicalVectors + 1 &&
                  kMultiplyLowVectors <= kMaxClassicalVectors + 1,
              "every operand below a Karatsuba threshold has a classical kernel");
// A classical kernel of n vectors sums at most 8 n terms below 2^52 in a lane
// of its low sums and as many in its high sums, 16 n once added; the square
// doubles its sums before adding the diagonal: 32 n + 1 terms must stay below
// 2^11, for lanes below 2^63 as the normalisation takes them.
static_assert(32 * kMaxClassicalVectors + 1 < (1u << (63 - kDigitBits)),
              "the lanes could overflow");

// ---- The classical kernels -------------------------------------------------------
//
// Operand scanning with the sums in registers, in rows of eight steps: row R
// multiplies a by the digits b[8 R + d], d = 0 to 7. Rather than moving the sums
// down a lane per step, which would chain every step to the one before through
// the move, step d multiplies b[8 R + d] by a copy of a moved up d lanes (N + 1
// vectors, prepared once), so the products of a row land on fixed vectors R to
// R + N, and each vector's sums depend only on its own sums of the step before.
// The low 52 bits of the digit products and the high ones are summed apart; the
// high sums move up one lane at the end. Each step adds one term below 2^52 to
// a lane of each, 16 n terms in all. Lanes are normalised once, at the end.

// shifted[d (N + 1) + v] = vector v of a 2^(52 d), d = 0 to 7, for a of N
// vectors.
template <uint32_t N>
LARGEPRIME_IFMA_INLINE void MoveUpCopies(__m512i* shifted, const uint64_t* a) {
  const __m512i zero = _mm512_setzero_si512();
  const __m512i lanes = _mm512_set_epi64(7, 6, 5, 4, 3, 2, 1, 0);
  for (uint32_t d = 0; d < kLanes; ++d) {
    // Lane j takes lane j - d of the vector, or lane 8 + j - d of the one below.
    const __m512i index = _mm512_add_epi64(lanes, _mm512_set1_epi64(kLanes - d));
    __m512i below = zero;
#pragma GCC unroll 32
    for (uint32_t v = 0; v <= N; ++v) {
      const __m512i here = v < N ? _mm512_loadu_si512(a + kLanes * v) : zero;
      shifted[(N + 1) * d + v] = _mm512_permutex2var_epi64(below, index, here);
      below = here;
    }
  }
}

// r[0..8 W) = the normalised digits of low + 2^52 high, the lane sums of W
// vectors, modulo 2^(52 8 W).
template <uint32_t W>
LARGEPRIME_IFMA_INLINE void CombineAndNormalize(uint64_t* r, __m512i* low, const __m512i* high) {
  __m512i highBelow = _mm512_setzero_si512();
#pragma GCC unroll 32
  for (uint32_t w = 0; w < W; ++w) {
    low[w] = _mm512_add_epi64(low[w], _mm512_alignr_epi64(high[w], highBelow, kLanes - 1));
    highBelow = high[w];
  }
  NormalizeAndStore(r, low, W);
}

// Row R of a product whose vectors above W - 1 are not wanted.
template <uint32_t N, uint32_t W, uint32_t R>
LARGEPRIME_IFMA_INLINE void ProductRow(const __m512i* shifted, const uint64_t* b, __m512i* low,
                                       __m512i* high) {
  constexpr uint32_t kTop = R + N < W ? N : W - 1 - R;
  for (uint32_t d = 0; d < kLanes; ++d) {
    const __m512i bi = _mm512_set1_epi64(static_cast<int64_t>(b[kLanes * R + d]));
    const __m512i* factor = shifted + (N + 1) * d;
#pragma GCC unroll 32
    for (uint32_t v = 0; v <= kTop; ++v) {
      low[R + v] = _mm512_madd52lo_epu64(low[R + v], factor[v], bi);
      high[R + v] = _mm512_madd52hi_epu64(high[R + v], factor[v], bi);
    }
  }
}

template <uint32_t N, uint32_t W, uint32_t... R>
LARGEPRIME_IFMA_INLINE void ProductRows(const __m512i* shifted, const uint64_t* b, __m512i* low,
                                        __m512i* high,
                                        std::integer_sequence<uint32_t, R...> /*rows*/) {
  (ProductRow<N, W, R>(shifted, b, low, high), ...);
}

// r[0..8 W) = a b mod 2^(52 8 W) for W = 2 N (the product) or N (its low half).
template <uint32_t N, uint32_t W>
LARGEPRIME_IFMA_TARGET void MultiplyKernel(uint64_t* r, const uint64_t* a, const uint64_t* b) {
  __m512i shifted[kLanes * (N + 1)];  // a 2^(52 d), d = 0 to 7
  MoveUpCopies<N>(shifted, a);
  __m512i low[W];
  __m512i high[W];
#pragma GCC unroll 32
  for (uint32_t w = 0; w < W; ++w) low[w] = high[w] = _mm512_setzero_si512();
  ProductRows<N, W>(shifted, b, low, high, std::make_integer_sequence<uint32_t, N>());
  CombineAndNormalize<W>(r, low, high);
}

// Row R of a square's cross products: a_i times the digits a_j above it,
// i = 8 R + d. In the copy of a moved up d lanes, vector v holds the digits j
// from 8 v - d on, so the digits above i are in vectors R (its lanes above
// 2 d), R + 1 (its lanes above 2 d - 8) and all above. R is a constant, so
// which vectors multiply is settled at compile time; the two partial ones
// are masked.
template <uint32_t N, uint32_t R>
LARGEPRIME_IFMA_INLINE void CrossProductRow(const __m512i* shifted, const uint64_t* a, __m512i* low,
                                            __m512i* high) {
  const __m512i zero = _mm512_setzero_si512();
  for (uint32_t d = 0; d < kLanes; ++d) {
    const __m512i ai = _mm512_set1_epi64(static_cast<int64_t>(a[kLanes * R + d]));
    const __m512i* factor = shifted + (N + 1) * d;
    const auto firstMask = static_cast<__mmask8>(0xFEu << (2 * d));
    const auto secondMask = static_cast<__mmask8>(d < kLanes / 2 ? 0xFFu : 0xFEu << (2 * d - 8));
#pragma GCC unroll 32
    for (uint32_t v = R; v <= N; ++v) {
      __m512i f = factor[v];
      if (v == R) f = _mm512_mask_mov_epi64(zero, firstMask, f);
      if (v == R + 1) f = _mm512_mask_mov_epi64(zero, secondMask, f);
      low[R + v] = _mm512_madd52lo_epu64(low[R + v], f, ai);
      high[R + v] = _mm512_madd52hi_epu64(high[R + v], f, ai);
    }
  }
}

template <uint32_t N, uint32_t... R>
LARGEPRIME_IFMA_INLINE void CrossProductRows(const __m512i* shifted, const uint64_t* a,
                                             __m512i* low, __m512i* high,
                                             std::integer_sequence<uint32_t, R...> /*rows*/) {
  (CrossProductRow<N, R>(shifted, a, low, high), ...);
}

// a a = 2 (sum over i < j of a_i a_j 2^(52 (i + j))) + sum of a_i^2 2^(104 i):
// the cross products once, doubled in the lanes, plus the diagonal, whose low
// and high halves of vector v interleave into vectors 2 v and 2 v + 1.
template <uint32_t N>
LARGEPRIME_IFMA_TARGET void SquareKernel(uint64_t* r, const uint64_t* a) {
  const __m512i zero = _mm512_setzero_si512();
  __m512i shifted[kLanes * (N + 1)];  // a 2^(52 d), d = 0 to 7
  MoveUpCopies<N>(shifted, a);
  __m512i low[2 * N];
  __m512i high[2 * N];
#pragma GCC unroll 32
  for (uint32_t w = 0; w < 2 * N; ++w) low[w] = high[w] = zero;
  CrossProductRows<N>(shifted, a, low, high, std::make_integer_sequence<uint32_t, N>());
  const __m512i lowerHalf = _mm512_set_epi64(11, 3, 10, 2, 9, 1, 8, 0);
  const __m512i upperHalf = _mm512_set_epi64(15, 7, 14, 6, 13, 5, 12, 4);
#pragma GCC unroll 32
  for (uint32_t v = 0; v < N; ++v) {
    const __m512i av = _mm512_loadu_si512(a + kLanes * v);
    const __m512i squareLow = _mm512_madd52lo_epu64(zero, av, av);
    const __m512i squareHigh = _mm512_madd52hi_epu64(zero, av, av);
    for (uint32_t half = 0; half < 2; ++half) {
      const uint32_t w = 2 * v + half;
      low[w] = _mm512_slli_epi64(low[w], 1);
      high[w] = _mm512_slli_epi64(high[w], 1);
    }
    low[2 * v] =
        _mm512_add_epi64(low[2 * v], _mm512_permutex2var_epi64(squareLow, lowerHalf, squareHigh));
    low[2 * v + 1] = _mm512_add_epi64(low[2 * v + 1],
                                      _mm512_permutex2var_epi64(squareLow, upperHalf, squareHigh));
  }
  CombineAndNormalize<2 * N>(r, low, high);
}

using MultiplyFunction = void (*)(uint64_t*, const uint64_t*, const uint64_t*);
using SquareFunction = void (*)(uint64_t*, const uint64_t*);

// The kernels for n vectors at index n - 1.
template <size_t... Index>
constexpr std::array<MultiplyFunction, sizeof...(Index)> MakeMultiplyKernels(
    std::index_sequence<Index...> /*unused*/) {
  return {&MultiplyKernel<Index + 1, 2 * (Index + 1)>...};
}

template <size_t... Index>
constexpr std::array<MultiplyFunction, sizeof...(Index)> MakeLowKernels(
    std::index_sequence<Index...> /*unused*/) {
  return {&MultiplyKernel<Index + 1, Index + 1>...};
}

template <size_t... Index>
constexpr std::array<SquareFunction, sizeof...(Index)> MakeSquareKernels(
    std::index_sequence<Index...> /*unused*/) {
  return {&SquareKernel<Index + 1>...};
}

constexpr std::array<MultiplyFunction, kMaxClassicalVectors> kMultiplyKernels =
    MakeMultiplyKernels(std::make_index_sequence<kMaxClassicalVectors>());
constexpr std::array<MultiplyFunction, kMaxClassicalVectors> kLowKernels =
    MakeLowKernels(std::make_index_sequence<kMaxClassicalVectors>());
constexpr std::array<SquareFunction, kMaxClassicalVectors> kSquareKernels =
    MakeSquareKernels(std::make_index_sequence<kMaxClassicalVectors>());

// ---- Karatsuba's method's linear steps ---------------------------------------------
//
// Sums and differences are formed lane by lane as signed 64-bit integers and
// normalised on the way to memory by a CarryPass, in one pass over the data.

// Whether a[0..n) < b[0..nb) for nb <= n digits.
bool IsBelow(const uint64_t* a, uint32_t n, const uint64_t* b, uint32_t nb) {
  uint32_t i = n;
  while (i > nb && a[i - 1] == 0) --i;
  if (i > nb) return false;
  while (i > 0 && a[i - 1] == b[i - 1]) --i;
  return i > 0 && a[i - 1] < b[i - 1];
}

// Adds a signed carry into the normalised digits r[0..n), as far as it goes.
void AddCarry(uint64_t* r, uint32_t n, int64_t carry) {
  for (uint32_t i = 0; i < n && carry != 0; ++i) {
    const int64_t sum = static_cast<int64_t>(r[i]) + carry;
    r[i] = static_cast<uint64_t>(sum) & kDigitMask;
    carry = sum >> kDigitBits;
  }
}

// r[0..8 n) = |a[0..8 n) - b[0..8 nb)| for nb <= n vectors; returns whether
// a < b.
LARGEPRIME_IFMA_TARGET bool AbsoluteDifference(uint64_t* r, const uint64_t* a, uint32_t vectors,
                                               const uint64_t* b, uint32_t bVectors) {
  const bool below = IsBelow(a, kLanes * vectors, b, kLanes * bVectors);
  const __m512i zero = _mm512_setzero_si512();
  CarryPass pass;
  for (uint32_t v = 0; v < vectors; ++v) {
    const __m512i av = _mm512_loadu_si512(a + kLanes * v);
    const __m512i bv = v < bVectors ? _mm512_loadu_si512(b + kLanes * v) : zero;
    _mm512_storeu_si512(r + kLanes * v,
                        pass.Next(below ? _mm512_sub_epi64(bv, av) : _mm512_sub_epi64(av, bv)));
  }
  if (pass.NeedsRipple()) RippleCarries(r, kLanes * vectors);
  return below;
}

// Completes a Karatsuba step of a product r of 2 n vectors split at h vectors:
// r[0..2h) holds L = a0 b0, r[2h..2n) holds H = a1 b1, and d (2h vectors) is
// |a0 - a1| |b0 - b1|; adds 2^(52 8 h) (L + H - d), or + d when addDifference.
// In blocks of h vectors, r = B0 + B1 X + B2 X^2 + B3 X^3 with X = 2^(52 8 h)
// (B3 of 2n - 3h vectors) and d = D0 + D1 X, the new B1 is B1 + B2 + B0 - D0
// and the new B2 is B1 + B2 + B3 - D1: vector j of each comes from vector j of
// the blocks, so both form in place, each through its own carry pass, whose
// top carries then go into B2 and B3. The result fits in 2n vectors.
LARGEPRIME_IFMA_TARGET void CombineHalves(uint64_t* r, uint32_t vectors, uint32_t h,
                                          const uint64_t* d, bool addDifference) {
  const uint32_t topVectors = 2 * vectors - 3 * h;
  uint64_t* b1 = r + kLanes * h;
  uint64_t* b2 = b1 + kLanes * h;
  uint64_t* b3 = b2 + kLanes * h;
  CarryPass first;
  CarryPass second;
  for (uint32_t j = 0; j < h; ++j) {
    const __m512i middle =
        _mm512_add_epi64(_mm512_loadu_si512(b1 + kLanes * j), _mm512_loadu_si512(b2 + kLanes * j));
    __m512i low = _mm512_add_epi64(middle, _mm512_loadu_si512(r + kLanes * j));
    __m512i high =
        j < topVectors ? _mm512_add_epi64(middle, _mm512_loadu_si512(b3 + kLanes * j)) : middle;
    const __m512i d0 = _mm512_loadu_si512(d + kLanes * j);
    const __m512i d1 = _mm512_loadu_si512(d + kLanes * (h + j));
    low = addDifference ? _mm512_add_epi64(low, d0) : _mm512_sub_epi64(low, d0);
    high = addDifference ? _mm512_add_epi64(high, d1) : _mm512_sub_epi64(high, d1);
    _mm512_storeu_si512(b1 + kLanes * j, first.Next(low));
    _mm512_storeu_si512(b2 + kLanes * j, second.Next(high));
  }
  const uint32_t upperDigits = kLanes * (h + topVectors);  // B2 and B3
  if (first.NeedsRipple() || second.NeedsRipple()) {
    b2[0] = static_cast<uint64_t>(static_cast<int64_t>(b2[0]) + first.TopCarry());
    if (topVectors > 0) b3[0] += static_cast<uint64_t>(second.TopCarry());
    RippleCarries(b1, kLanes * h + upperDigits);
  } else {
    AddCarry(b2, upperDigits, first.TopCarry());
    AddCarry(b3, kLanes * topVectors, second.TopCarry());
  }
}

// r[0..8 n) = lowParts + 2^(52 8 h) (first + second) mod 2^(52 8 n), the
// last two of n - h vectors.
LARGEPRIME_IFMA_TARGET void AddCrossHalves(uint64_t* r, const uint64_t* lowParts,
                                           const uint64_t* first, const uint64_t* second,
                                           uint32_t vectors, uint32_t h) {
  CarryPass pass;
  for (uint32_t w = 0; w < vectors; ++w) {
    __m512i sum = _mm512_loadu_si512(lowParts + kLanes * w);
    if (w >= h) {
      sum = _mm512_add_epi64(sum, _mm512_loadu_si512(first + kLanes * (w - h)));
      sum = _mm512_add_epi64(sum, _mm512_loadu_si512(second + kLanes * (w - h)));
    }
    _mm512_storeu_si512(r + kLanes * w, pass.Next(sum));
  }
  if (pass.NeedsRipple()) RippleCarries(r, kLanes * vectors);
}

uint32_t HalfVectors(uint32_t vectors) { return (vectors + 1) / 2; }

}  // namespace

LARGEPRIME_IFMA_TARGET void AddLanes(uint64_t* r, const uint64_t* x, uint32_t vectors,
                                     const uint64_t* y, uint32_t yVectors, bool subtract) {
  for (uint32_t v = 0; v < vectors; ++v) {
    const __m512i xv = _mm512_loadu_si512(x + kLanes * v);
    const __m512i yv = v < yVectors ? _mm512_loadu_si512(y + kLanes * v) : _mm512_setzero_si512();
    _mm512_storeu_si512(r + kLanes * v,
                        subtract ? _mm512_sub_epi64(xv, yv) : _mm512_add_epi64(xv, yv));
  }
}

LARGEPRIME_IFMA_TARGET int64_t NormalizeDigits(uint64_t* r, const uint64_t* x, uint32_t vectors) {
  CarryPass pass;
  for (uint32_t v = 0; v < vectors; ++v) {
    _mm512_storeu_si512(r + kLanes * v, pass.Next(_mm512_loadu_si512(x + kLanes * v)));
  }
  const int64_t carry = pass.TopCarry();
  return pass.NeedsRipple() ? carry + RippleCarries(r, kLanes * vectors) : carry;
}

// A Karatsuba step of n vectors needs, for h = ceil(n / 2) vectors, the two
// differences (8 h digits each) and their product (16 h), then what its
// half-size products need.
uint32_t ProductScratchWords(uint32_t vectors) {
  const uint32_t threshold = kKaratsubaMultiplyVectors < kKaratsubaSquareVectors
                                 ? kKaratsubaMultiplyVectors
                                 : kKaratsubaSquareVectors;
  if (vectors < threshold) return 0;
  const uint32_t h = HalfVectors(vectors);
  return 4 * kLanes * h + ProductScratchWords(h);
}

// Splitting a low half product at h vectors, a b mod 2^(52 8 n) = a0 b0 +
// 2^(52 8 h) (a1 b0 + a0 b1) mod 2^(52 8 n): the full product of the low parts
// and the low halves of the two cross products of n - h vectors.
uint32_t MultiplyLowScratchWords(uint32_t vectors) {
  if (vectors < kMultiplyLowVectors) return 0;
  const uint32_t h = HalfVectors(vectors);
  const uint32_t l = vectors - h;
  const uint32_t product = ProductScratchWords(h);
  const uint32_t low = MultiplyLowScratchWords(l);
  return 2 * kLanes * (h + l) + (product > low ? product : low);
}

void MultiplyLow(uint64_t* r, const uint64_t* a, const uint64_t* b, uint32_t vectors,
                 uint64_t* scratch) {
  if (vectors < kMultiplyLowVectors) {
    kLowKernels[vectors - 1](r, a, b);
    return;
  }
  const uint32_t h = HalfVectors(vectors);
  const uint32_t l = vectors - h;
  uint64_t* lowParts = scratch;                 // 16 h digits
  uint64_t* first = lowParts + 2 * kLanes * h;  // 8 l digits
  uint64_t* second = first + kLanes * l;        // 8 l digits
  uint64_t* next = second + kLanes * l;
  Multiply(lowParts, a, b, h, next);
  MultiplyLow(first, a + kLanes * h, b, l, next);
  MultiplyLow(second, a, b + kLanes * h, l, next);
  AddCrossHalves(r, lowParts, first, second, vectors, h);
}

void MultiplyClassical(uint64_t* r, const uint64_t* a, const uint64_t* b, uint32_t vectors) {
  kMultiplyKernels[vectors - 1](r, a, b);
}

void SquareClassical(uint64_t* r, const uint64_t* a, uint32_t vectors) {
  kSquareKernels[vectors - 1](r, a);
}

void Multiply(uint64_t* r, const uint64_t* a, const uint64_t* b, uint32_t vectors,
              uint64_t* scratch) {
  if (vectors < kKaratsubaMultiplyVectors) {
    MultiplyClassical(r, a, b, vectors);
  } else {
    KaratsubaMultiply(r, a, b, vectors, scratch);
  }
}

void Square(uint64_t* r, const uint64_t* a, uint32_t vectors, uint64_t* scratch) {
  if (vectors < kKaratsubaSquareVectors) {
    SquareClassical(r, a, vectors);
  } else {
    KaratsubaSquare(r, a, vectors, scratch);
  }
}

// Karatsuba's method in its subtractive form (Knuth, TAOCP vol. 2, 4.3.3), split
// at h = ceil(n / 2) vectors: with a = a1 2^(52 h') + a0, h' = 8 h digits,
//   a b = a0 b0 + 2^(52 h') (a0 b0 + a1 b1 - (a0 - a1)(b0 - b1)) + 2^(104 h') a1 b1.
// The differences are magnitudes with a sign, so every product is of whole
// vectors of normalised digits.
void KaratsubaMultiply(uint64_t* r, const uint64_t* a, const uint64_t* b, uint32_t vectors,
                       uint64_t* scratch) {
  const uint32_t h = HalfVectors(vectors);
  const uint32_t l = vectors - h;
  const uint32_t digits = kLanes * h;
  uint64_t* aDifference = scratch;               // 8 h digits
  uint64_t* bDifference = aDifference + digits;  // 8 h digits
  uint64_t* product = bDifference + digits;      // 16 h digits
  uint64_t* next = product + 2 * digits;
  const bool negative = AbsoluteDifference(aDifference, a, h, a + digits, l) !=
                        AbsoluteDifference(bDifference, b, h, b + digits, l);
  Multiply(product, aDifference, bDifference, h, next);
  Multiply(r, a, b, h, next);
  Multiply(r + 2 * digits, a + digits, b + digits, l, next);
  CombineHalves(r, vectors, h, product, negative);
}

// As KaratsubaMultiply with b = a: the middle term is a0^2 + a1^2 - (a0 - a1)^2.
void KaratsubaSquare(uint64_t* r, const uint64_t* a, uint32_t vectors, uint64_t* scratch) {
  const uint32_t h = HalfVectors(vectors);
  const uint32_t l = vectors - h;
  const uint32_t digits = kLanes * h;
  uint64_t* difference = scratch;           // 8 h digits
  uint64_t* product = difference + digits;  // 16 h digits
  uint64_t* next = product + 2 * digits;
  AbsoluteDifference(difference, a, h, a + digits, l);
  Square(product, difference, h, next);
  Square(r, a, h, next);
  Square(r + 2 * digits, a + digits, l, next);
  CombineHalves(r, vectors, h, product, false);
}

}  // namespace limbs::radix52

#endif  // LARGEPRIME_IFMA_KERNEL
