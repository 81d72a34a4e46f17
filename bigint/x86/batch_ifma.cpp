/// Up to eight exponentiations at once, each modulo its own odd modulus, with
/// the AVX-512 52-bit multiply-add instructions: digit i of the eight numbers
/// fills one 512-bit vector, so every lane runs its own Montgomery arithmetic
/// in radix 2^52 and no lane waits on or shuffles with another.
#include <algorithm>
#include <utility>

#include "bigint/limbs/window_power.h"
#include "bigint/x86/kernels.h"
#include "bigint/x86/montgomery_ifma.h"
#include "bigint/x86/tuning.h"

#if LARGEPRIME_IFMA_KERNEL
#include "bigint/x86/radix52_vectors.h"
#endif

namespace limbs {

#if !LARGEPRIME_IFMA_KERNEL

std::unique_ptr<const BatchKernel> x86::MakeIfmaBatchKernel(
    const std::vector<LimbVector>& /*moduli*/) {
  return nullptr;
}

#else

namespace {

using radix52::kDigitBits;
using radix52::kDigitMask;
using radix52::kLanes;
static_assert(kLanes == kMaxBatchLanes, "one exponentiation per lane");

// A column sums at most 4 k terms below 2^52 and a carry below 2^12 (below),
// which fits a lane for k up to 1022.
static_assert(x86::kIfmaBatchMaxModulusBits + 2 <= 1022 * kDigitBits, "a lane could overflow");

// Digit i of the eight numbers of a batch, lane l holding number l's.
struct alignas(64) LaneWords {
  uint64_t word[kLanes];
};
using LaneVector = std::vector<LaneWords>;

// A batch of numbers of k digits is stored in k + 2 LaneWords: a zero digit
// below, the digits, a zero digit above. The products read the zero digits
// where a column's range runs one past either end, which saves a branch per
// column pair.
constexpr uint32_t Stored(uint32_t digits) { return digits + 2; }

// k, the least digit count with 4 m < 2^(52 k).
uint32_t DigitsFor(const LimbVector& modulus) {
  return (BitLength(modulus) + 2 + kDigitBits - 1) / kDigitBits;
}

// Lane `lane` of digits[0..digitCount) = the digits of x[0..n) in radix 2^52;
// the value must fit.
void ToLaneDigits(LaneWords* digits, uint32_t lane, uint32_t digitCount, const Limb* x,
                  uint32_t n) {
  WideLimb pending = 0;  // bits of x not yet stored, `bits` of them
  uint32_t bits = 0;
  uint32_t next = 0;
  for (uint32_t d = 0; d < digitCount; ++d) {
    if (bits < kDigitBits && next < n) {
      pending |= static_cast<WideLimb>(x[next++]) << bits;
      bits += kLimbBits;
    }
    digits[d].word[lane] = static_cast<uint64_t>(pending) & kDigitMask;
    pending >>= kDigitBits;
    bits = bits > kDigitBits ? bits - kDigitBits : 0;
  }
}

// r[0..n) = the value of lane `lane` of the normalised digits[0..digitCount);
// it must fit.
void FromLaneDigits(Limb* r, uint32_t n, const LaneWords* digits, uint32_t lane,
                    uint32_t digitCount) {
  WideLimb pending = 0;
  uint32_t bits = 0;
  uint32_t next = 0;
  for (uint32_t i = 0; i < n; ++i) {
    while (bits < kLimbBits && next < digitCount) {
      pending |= static_cast<WideLimb>(digits[next++].word[lane]) << bits;
      bits += kDigitBits;
    }
    r[i] = static_cast<Limb>(pending);
    pending >>= kLimbBits;
    bits = bits > kLimbBits ? bits - kLimbBits : 0;
  }
}

// ---- The product ---------------------------------------------------------------

// The moduli as the product needs them: digits with the zero digit above,
// and -m^-1 mod 2^52 per lane.
struct LaneModuli {
  const LaneWords* digits;  // digit 0; digit k is zero
  const LaneWords* negativeInverse;
  uint32_t digitCount;
};

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
// `count` values of i from `first`, where yTop points at y_t. Each x_i and
// y_j is loaded once for two products (four multiply-adds).
struct PairRange {
  const LaneWords* x;
  const LaneWords* yTop;
  uint32_t first;
  uint32_t count;
};

// y_(t+1-i) of step i is y_(t-i) of step i - 1, carried in yAbove.
LARGEPRIME_IFMA_TARGET inline void MultiplyAddStep(PairSums& sums, const PairRange& range,
                                                   uint32_t i, __m512i& yAbove) {
  const __m512i x = Load(range.x + i);
  const __m512i y = Load(range.yTop - i);
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
  __m512i yAbove1 = Load(range1.yTop + 1 - range1.first);
  __m512i yAbove2 = Load(range2.yTop + 1 - range2.first);
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
  AddSideBySide(sums1, range1, sums2, {range2.x, range2.yTop, range2.first, range1.count});
  const uint32_t rest = range2.count - range1.count;
  const uint32_t restFirst = range2.first + range1.count;
  PairSums upper = ZeroSums();
  AddSideBySide(sums2, {range2.x, range2.yTop, restFirst, rest / 2}, upper,
                {range2.x, range2.yTop, restFirst + rest / 2, rest - rest / 2});
  if (rest % 2 != 0) {
    const PairRange last{range2.x, range2.yTop, restFirst + rest - 1, 1};
    __m512i yAbove = Load(last.yTop + 1 - last.first);
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
    const PairRange quotients{q, m + t, first, std::min(t, k) - first};
    PairSums ab = ZeroSums();
    PairSums qm = ZeroSums();
    if constexpr (IsSquare) {
      // The cross products reach i = s - 1, never further than the quotients.
      AddPairProducts(ab, {a, a + t, first, t / 2 - first}, qm, quotients);
      ab = SquarePairSums(ab, a, t);
    } else {
      AddPairProducts(qm, quotients, ab, {a, b + t, first, std::min(t + 2, k) - first});
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
      Store(r + t - k, _mm512_and_si512(low, mask));
      middle = _mm512_add_epi64(middle, _mm512_srli_epi64(low, kDigitBits));
      Store(r + t + 1 - k, _mm512_and_si512(middle, mask));
    }
    carried = _mm512_add_epi64(high, _mm512_srli_epi64(middle, kDigitBits));
  }
}

// r[i] = digit i of entry index[l] of the table in lane l, for every digit.
void SelectEntries(LaneWords* r, const LaneWords* table, const uint32_t (&index)[kLanes],
                   uint32_t digitCount) {
  for (uint32_t l = 0; l < kLanes; ++l) {
    const LaneWords* entry = table + index[l] * Stored(digitCount);
    for (uint32_t i = 0; i < digitCount; ++i) r[i].word[l] = entry[i].word[l];
  }
}

// ---- The kernel ----------------------------------------------------------------

class IfmaBatchKernel final : public BatchKernel {
 public:
  explicit IfmaBatchKernel(std::vector<LimbVector> moduli);

  const char* Name() const override { return "vector batch"; }
  uint32_t Lanes() const override { return static_cast<uint32_t>(plain_.size()); }
  void Power(const BatchLane* lanes, uint32_t observedLane,
             PowModObserver* observer) const override;

 private:
  // A batch of k-digit numbers in the stored layout, all digits zero.
  LaneVector Numbers(uint32_t count) const { return LaneVector(count * Stored(digits_)); }
  LaneModuli Moduli() const { return {&modulus_[1], &negativeInverse_, digits_}; }
  void Product(LaneWords* r, const LaneWords* a, const LaneWords* b, LaneWords* q) const {
    AlmostMontgomery<false>(r + 1, a + 1, b + 1, Moduli(), q);
  }
  void Square(LaneWords* r, const LaneWords* a, LaneWords* q) const {
    AlmostMontgomery<true>(r + 1, a + 1, a + 1, Moduli(), q);
  }

  std::vector<LimbVector> plain_;
  uint32_t digits_;
  LaneVector modulus_;  // unused lanes repeat lane 0's modulus
  LaneWords negativeInverse_{};
  LaneVector rSquared_;  // R^2 mod m, R = 2^(52 k)
  LaneVector one_;
};

IfmaBatchKernel::IfmaBatchKernel(std::vector<LimbVector> moduli)
    : plain_(std::move(moduli)),
      digits_(DigitsFor(plain_[0])),
      modulus_(Numbers(1)),
      rSquared_(Numbers(1)),
      one_(Numbers(1)) {
  const uint32_t exponent = 2 * kDigitBits * digits_;
  LimbVector power(exponent / kLimbBits + 1);
  power.back() = Limb{1} << (exponent % kLimbBits);
  for (uint32_t lane = 0; lane < kLanes; ++lane) {
    const LimbVector& m = plain_[lane < Lanes() ? lane : 0];
    const auto n = static_cast<uint32_t>(m.size());
    ToLaneDigits(&modulus_[1], lane, digits_, m.data(), n);
    negativeInverse_.word[lane] = (0 - InverseModWordBase<uint64_t>(m[0])) & kDigitMask;
    const LimbVector remainder = Remainder(power, m);
    ToLaneDigits(&rSquared_[1], lane, digits_, remainder.data(), n);
    one_[1].word[lane] = 1;
  }
}

// The value of bits [low, low + width) of an exponent whose top bit is topBit.
uint32_t WindowAt(const BatchLane& lane, int32_t low, int32_t width) {
  uint32_t window = 0;
  for (int32_t bit = std::min(low + width - 1, lane.topBit); bit >= low; --bit) {
    window |= ExponentBit(lane.exponent, bit) << (bit - low);
  }
  return window;
}

// Fixed windows (HAC 14.82) with the table indexed per lane: every lane
// squares at once, and each multiplies by its own window's entry, so lanes
// with shorter exponents run their leading zero windows on entry 0, R mod m.
// The observed lane's checkpoints come with the bits of its own exponent.
void IfmaBatchKernel::Power(const BatchLane* lanes, uint32_t observedLane,
                            PowModObserver* observer) const {
  const uint32_t k = digits_;
  const uint32_t stored = Stored(k);
  int32_t topBit = 0;
  for (uint32_t l = 0; l < Lanes(); ++l) topBit = std::max(topBit, lanes[l].topBit);
  const int32_t observedTop = observedLane < Lanes() ? lanes[observedLane].topBit : -1;
  Checkpoints checkpoints(observedLane < Lanes() ? observer : nullptr, observedTop);
  const int32_t width = x86::BatchWindowBits(topBit + 1);

  LaneVector q(k);
  LaneVector table = Numbers(1u << width);
  LaneVector power = Numbers(1);
  LaneVector entry = Numbers(1);
  for (uint32_t l = 0; l < Lanes(); ++l) {
    ToLaneDigits(&entry[1], l, k, lanes[l].base, static_cast<uint32_t>(plain_[l].size()));
  }
  Product(&table[0], one_.data(), rSquared_.data(), q.data());
  Product(&table[stored], entry.data(), rSquared_.data(), q.data());
  for (uint32_t e = 2; e < (1u << width); ++e) {
    if (e % 2 == 0) {
      Square(&table[e * stored], &table[e / 2 * stored], q.data());
    } else {
      Product(&table[e * stored], &table[(e - 1) * stored], &table[stored], q.data());
    }
  }

  uint32_t index[kLanes] = {};
  const auto selectWindow = [&](int32_t low) {
    for (uint32_t l = 0; l < Lanes(); ++l) index[l] = WindowAt(lanes[l], low, width);
    SelectEntries(&entry[1], &table[1], index, k);
  };
  int32_t low = (topBit / width) * width;  // the top window's lowest bit
  selectWindow(low);
  power = entry;
  for (int32_t bit = topBit; bit >= low; --bit) {
    if (bit <= observedTop && !checkpoints.BitDone()) return;
  }
  while (low > 0) {
    low -= width;
    for (int32_t bit = low + width - 1; bit >= low; --bit) {
      Square(power.data(), power.data(), q.data());
      if (bit <= observedTop && !checkpoints.BitDone()) return;
    }
    selectWindow(low);
    Product(power.data(), power.data(), entry.data(), q.data());
  }

  // power / R mod m + (0 or m) is at most m: one conditional subtraction.
  Product(power.data(), power.data(), one_.data(), q.data());
  for (uint32_t l = 0; l < Lanes(); ++l) {
    const auto n = static_cast<uint32_t>(plain_[l].size());
    FromLaneDigits(lanes[l].result, n, &power[1], l, k);
    SubtractModulusIfAbove(lanes[l].result, plain_[l].data(), n, 0);
  }
}

}  // namespace

std::unique_ptr<const BatchKernel> x86::MakeIfmaBatchKernel(const std::vector<LimbVector>& moduli) {
  if (moduli.empty() || moduli.size() > kLanes || !IfmaAvailable()) return nullptr;
  const uint32_t digits = DigitsFor(moduli[0]);
  const uint32_t bits = BitLength(moduli[0]);
  if (bits < x86::kIfmaBatchMinModulusBits || bits > x86::kIfmaBatchMaxModulusBits) return nullptr;
  for (const LimbVector& m : moduli) {
    if ((m[0] & 1) == 0 || DigitsFor(m) != digits) return nullptr;
  }
  return std::make_unique<IfmaBatchKernel>(moduli);
}

#endif  // LARGEPRIME_IFMA_KERNEL

}  // namespace limbs
