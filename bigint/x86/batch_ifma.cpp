/// Up to eight exponentiations at once, each modulo its own odd modulus, with
/// the AVX-512 52-bit multiply-add instructions: digit i of the eight numbers
/// fills one 512-bit vector, so every lane runs its own Montgomery arithmetic
/// in radix 2^52 and no lane waits on or shuffles with another.
#include <algorithm>
#include <cstddef>

#include "bigint/x86/kernels.h"
#include "bigint/x86/lane_batch.h"
#include "bigint/x86/montgomery_ifma.h"
#include "bigint/x86/tuning.h"

#if LARGEPRIME_IFMA_KERNEL
#include "bigint/x86/radix52_vectors.h"
#endif

namespace limbs {

#if !LARGEPRIME_IFMA_KERNEL

bool x86::IfmaBatchServes(const LimbVector& /*modulus*/) { return false; }

std::unique_ptr<const BatchKernel> x86::MakeIfmaBatchKernel(
    const std::vector<LimbVector>& /*moduli*/) {
  return nullptr;
}

#else

namespace {

using lanes::LaneModuli;
using lanes::LaneWords;
using radix52::kDigitBits;
using radix52::kDigitMask;
static_assert(radix52::kLanes == lanes::kLanes, "one row per vector");

// A column sums at most 4 k terms below 2^52 and a carry below 2^12 (below),
// which fits a lane for k up to 1022.
static_assert(x86::kIfmaBatchMaxModulusBits + 2 <= 1022 * kDigitBits, "a lane could overflow");

// ---- The product ---------------------------------------------------------------

LARGEPRIME_IFMA_TARGET inline __m512i Load(const LaneWords* x) { return _mm512_load_si512(x); }
LARGEPRIME_IFMA_TARGET inline void Store(LaneWords* x, __m512i v) { _mm512_store_si512(x, v); }

// The sums of one pass over a column pair (t, t + 1): the low halves of the
// products on column t, their high halves and the low halves of those on
// column t + 1 (both column t + 1), and the high halves of those on t + 1.
struct PairSums {
  __m512i low;
  __m512i middleHigh;
  __m512i middleLow;
  __m512i high;
};

LARGEPRIME_IFMA_TARGET inline PairSums ZeroSums() {
  const __m512i zero = _mm512_setzero_si512();
  return {zero, zero, zero, zero};
}

LARGEPRIME_IFMA_TARGET inline void Add(PairSums& sums, const PairSums& more) {
  sums.low = _mm512_add_epi64(sums.low, more.low);
  sums.middleHigh = _mm512_add_epi64(sums.middleHigh, more.middleHigh);
  sums.middleLow = _mm512_add_epi64(sums.middleLow, more.middleLow);
  sums.high = _mm512_add_epi64(sums.high, more.high);
}

// The products of one range of a pass: x_i y_(t-i) and x_i y_(t+1-i) for
// `count` values of i from `first`. Each x_i and y_j is loaded once for two
// products (four multiply-adds). y_j is reached by its index from y, which
// stays within y_(-1) .. y_k: a pointer to y_t could lie past the array.
struct PairRange {
  const LaneWords* x;
  const LaneWords* y;
  uint32_t t;
  uint32_t first;
  uint32_t count;
};

LARGEPRIME_IFMA_TARGET inline __m512i LoadY(const PairRange& range, uint32_t i, uint32_t above) {
  return Load(range.y + (static_cast<std::ptrdiff_t>(range.t + above) - i));
}

// y_(t+1-i) of step i is y_(t-i) of step i - 1, carried in yAbove.
LARGEPRIME_IFMA_TARGET inline void MultiplyAddStep(PairSums& sums, const PairRange& range,
                                                   uint32_t i, __m512i& yAbove) {
  const __m512i x = Load(range.x + i);
  const __m512i y = LoadY(range, i, 0);
  sums.low = _mm512_madd52lo_epu64(sums.low, x, y);
  sums.middleHigh = _mm512_madd52hi_epu64(sums.middleHigh, x, y);
  sums.middleLow = _mm512_madd52lo_epu64(sums.middleLow, x, yAbove);
  sums.high = _mm512_madd52hi_epu64(sums.high, x, yAbove);
  yAbove = y;
}

// Two ranges of the same count side by side: eight independent sums keep
// both multiply-add units busy through the instructions' latency.
LARGEPRIME_IFMA_TARGET inline void AddSideBySide(PairSums& sums1, const PairRange& range1,
                                                 PairSums& sums2, const PairRange& range2) {
  __m512i yAbove1 = LoadY(range1, range1.first, 1);
  __m512i yAbove2 = LoadY(range2, range2.first, 1);
  for (uint32_t n = 0; n < range1.count; ++n) {
    MultiplyAddStep(sums1, range1, range1.first + n, yAbove1);
    MultiplyAddStep(sums2, range2, range2.first + n, yAbove2);
  }
}

// The products of both ranges, the first no longer than the second: the first
// beside the start of the second, then the rest of the second in two halves
// side by side.
LARGEPRIME_IFMA_TARGET inline void AddPairProducts(PairSums& sums1, const PairRange& range1,
                                                   PairSums& sums2, const PairRange& range2) {
  AddSideBySide(sums1, range1, sums2, {range2.x, range2.y, range2.t, range2.first, range1.count});
  const uint32_t rest = range2.count - range1.count;
  const uint32_t restFirst = range2.first + range1.count;
  PairSums upper = ZeroSums();
  AddSideBySide(sums2, {range2.x, range2.y, range2.t, restFirst, rest / 2}, upper,
                {range2.x, range2.y, range2.t, restFirst + rest / 2, rest - rest / 2});
  if (rest % 2 != 0) {
    const PairRange last{range2.x, range2.y, range2.t, restFirst + rest - 1, 1};
    __m512i yAbove = LoadY(last, last.first, 1);
    MultiplyAddStep(upper, last, last.first, yAbove);
  }
  Add(sums2, upper);
}

// The a a part of column pair (t, t + 1), t = 2 s even, from the sums of the
// cross products a_i a_j (i < j) but a_s a_(s+1): those doubled, and the
// square a_s^2 on column t.
LARGEPRIME_IFMA_TARGET inline PairSums SquarePairSums(PairSums cross, const LaneWords* a,
                                                      uint32_t t) {
  const uint32_t s = t / 2;
  const __m512i as = Load(a + s);
  const __m512i next = Load(a + s + 1);
  cross.middleLow = _mm512_madd52lo_epu64(cross.middleLow, as, next);
  cross.high = _mm512_madd52hi_epu64(cross.high, as, next);
  return {_mm512_madd52lo_epu64(_mm512_slli_epi64(cross.low, 1), as, as),
          _mm512_madd52hi_epu64(_mm512_slli_epi64(cross.middleHigh, 1), as, as),
          _mm512_slli_epi64(cross.middleLow, 1), _mm512_slli_epi64(cross.high, 1)};
}

// r = (a b + q m) / R per lane with q < R = 2^(52 k) making the sum divisible
// by R (a = b for the square): almost Montgomery multiplication by product
// scanning with the reduction interleaved column by column (Koc, Acar and
// Kaliski, "Analyzing and comparing Montgomery multiplication algorithms",
// IEEE Micro 16(3), 1996: FIPS). Column t sums the low halves of the digit
// products on it and the high halves of those on column t - 1; below column
// k its quotient digit q_t = (sum) (-m^-1) mod 2^52 clears its low 52 bits,
// from column k on its low 52 bits are digit t - k of r; the bits above move
// to the next column. Columns are taken in pairs, so that each load serves two
// products, and the a b and q m products of a pair run side by side. The terms
// that need q_t or q_(t+1) come last, in a short chain per pair; everything
// else of the next pair can overlap it. With a, b < 2 m and
// 4 m < R, r < 2 m in k normalised digits. r may be a or b: digit j of r is
// written after the last read of digit j of a and b.
template <bool IsSquare>
LARGEPRIME_IFMA_TARGET void AlmostMontgomery(LaneWords* r, const LaneWords* a, const LaneWords* b,
                                             const LaneModuli& moduli, LaneWords* q) {
  const uint32_t k = moduli.digitCount;
  const LaneWords* m = moduli.digits;
  const __m512i zero = _mm512_setzero_si512();
  const __m512i mask = _mm512_set1_epi64(static_cast<int64_t>(kDigitMask));
  const __m512i negativeInverse = Load(moduli.negativeInverse);
  const __m512i m0 = Load(m);
  const __m512i m1 = Load(m + 1);
  __m512i carried = zero;  // what earlier pairs left for column t
  for (uint32_t t = 0; t < 2 * k; t += 2) {
    const uint32_t first = t + 1 > k ? t + 1 - k : 0;
    // q_i m_j for the quotient digits known, i < t.
    const PairRange quotients{q, m, t, first, std::min(t, k) - first};
    PairSums ab = ZeroSums();
    PairSums qm = ZeroSums();
    if constexpr (IsSquare) {
      // The cross products reach i = s - 1, never further than the quotients.
      AddPairProducts(ab, {a, a, t, first, t / 2 - first}, qm, quotients);
      ab = SquarePairSums(ab, a, t);
    } else {
      AddPairProducts(qm, quotients, ab, {a, b, t, first, std::min(t + 2, k) - first});
    }
    __m512i low = _mm512_add_epi64(_mm512_add_epi64(carried, ab.low), qm.low);
    __m512i middle = _mm512_add_epi64(_mm512_add_epi64(ab.middleHigh, ab.middleLow),
                                      _mm512_add_epi64(qm.middleHigh, qm.middleLow));
    __m512i high = _mm512_add_epi64(ab.high, qm.high);
    if (t < k) {
      // q_t m_0 and q_t m_1, and q_(t+1) m_0 below column k.
      const __m512i qt = _mm512_madd52lo_epu64(zero, low, negativeInverse);
      Store(q + t, qt);
      low = _mm512_madd52lo_epu64(low, qt, m0);
      middle = _mm512_madd52lo_epu64(_mm512_madd52hi_epu64(middle, qt, m0), qt, m1);
      middle = _mm512_add_epi64(middle, _mm512_srli_epi64(low, kDigitBits));
      high = _mm512_madd52hi_epu64(high, qt, m1);
      if (t + 1 < k) {
        const __m512i qNext = _mm512_madd52lo_epu64(zero, middle, negativeInverse);
        Store(q + t + 1, qNext);
        middle = _mm512_madd52lo_epu64(middle, qNext, m0);
        high = _mm512_madd52hi_epu64(high, qNext, m0);
      } else {
        Store(r, _mm512_and_si512(middle, mask));
      }
    } else {
      Store(r + (t - k), _mm512_and_si512(low, mask));
      middle = _mm512_add_epi64(middle, _mm512_srli_epi64(low, kDigitBits));
      Store(r + (t + 1 - k), _mm512_and_si512(middle, mask));
    }
    carried = _mm512_add_epi64(high, _mm512_srli_epi64(middle, kDigitBits));
  }
}

// The arithmetic of the vector batch kernel.
struct IfmaLanes {
  static constexpr const char* kName = "vector batch";
  static constexpr uint32_t kDigitBits = radix52::kDigitBits;
  static void Product(LaneWords* r, const LaneWords* a, const LaneWords* b,
                      const LaneModuli& moduli, LaneWords* q) {
    AlmostMontgomery<false>(r, a, b, moduli, q);
  }
  static void Square(LaneWords* r, const LaneWords* a, const LaneModuli& moduli, LaneWords* q) {
    AlmostMontgomery<true>(r, a, a, moduli, q);
  }
};

}  // namespace

bool x86::IfmaBatchServes(const LimbVector& modulus) {
  return IfmaAvailable() &&
         lanes::SuitsLane(modulus, x86::kIfmaBatchMinModulusBits, x86::kIfmaBatchMaxModulusBits);
}

std::unique_ptr<const BatchKernel> x86::MakeIfmaBatchKernel(const std::vector<LimbVector>& moduli) {
  if (!IfmaAvailable() || !lanes::SuitLanes(moduli, kDigitBits, x86::kIfmaBatchMinModulusBits,
                                            x86::kIfmaBatchMaxModulusBits)) {
    return nullptr;
  }
  return std::make_unique<lanes::LaneBatchKernel<IfmaLanes> >(moduli);
}

#endif  // LARGEPRIME_IFMA_KERNEL

}  // namespace limbs
