/// What the batch kernels share: eight exponentiations side by side, digit i of
/// the eight numbers in one row of eight 64-bit lanes, each lane with its own
/// modulus and Montgomery arithmetic in radix 2^r, and the fixed-window power
/// that drives them. A kernel supplies the digit size and the almost
/// Montgomery product and square on rows; everything else is here. Internal to
/// bigint/x86/.
#pragma once

#include <algorithm>
#include <cstdint>
#include <utility>
#include <vector>

#include "bigint/limbs/batch_kernel.h"
#include "bigint/limbs/limbs.h"
#include "bigint/limbs/window_power.h"
#include "bigint/x86/tuning.h"

namespace limbs::lanes {

constexpr uint32_t kLanes = 8;
static_assert(kLanes == kMaxBatchLanes, "one exponentiation per lane");

/// Digit i of the eight numbers of a batch, lane l holding number l's.
struct alignas(64) LaneWords {
  uint64_t word[kLanes];
};
using LaneVector = std::vector<LaneWords>;

/// A batch of numbers of k digits is stored in k + 2 rows: a zero digit below,
/// the digits, a zero digit above. The products read the zero digits where a
/// column's range runs one past either end, which saves a branch per column.
constexpr uint32_t Stored(uint32_t digits) { return digits + 2; }

/// k, the least digit count in radix 2^digitBits with 4 m < 2^(digitBits k).
inline uint32_t DigitsFor(const LimbVector& modulus, uint32_t digitBits) {
  return (BitLength(modulus) + 2 + digitBits - 1) / digitBits;
}

/// Lane `lane` of digits[0..digitCount) = the digits of x[0..n) in radix
/// 2^digitBits, digitBits <= kLimbBits; the value must fit.
inline void ToLaneDigits(LaneWords* digits, uint32_t lane, uint32_t digitCount, uint32_t digitBits,
                         const Limb* x, uint32_t n) {
  const uint64_t mask = (uint64_t{1} << digitBits) - 1;
  WideLimb pending = 0;  // bits of x not yet stored, `bits` of them
  uint32_t bits = 0;
  uint32_t next = 0;
  for (uint32_t d = 0; d < digitCount; ++d) {
    while (bits < digitBits && next < n) {
      pending |= static_cast<WideLimb>(x[next++]) << bits;
      bits += kLimbBits;
    }
    digits[d].word[lane] = static_cast<uint64_t>(pending) & mask;
    pending >>= digitBits;
    bits = bits > digitBits ? bits - digitBits : 0;
  }
}

/// r[0..n) = the value of lane `lane` of the normalised digits[0..digitCount)
/// in radix 2^digitBits; it must fit.
inline void FromLaneDigits(Limb* r, uint32_t n, const LaneWords* digits, uint32_t lane,
                           uint32_t digitCount, uint32_t digitBits) {
  WideLimb pending = 0;
  uint32_t bits = 0;
  uint32_t next = 0;
  for (uint32_t i = 0; i < n; ++i) {
    while (bits < kLimbBits && next < digitCount) {
      pending |= static_cast<WideLimb>(digits[next++].word[lane]) << bits;
      bits += digitBits;
    }
    r[i] = static_cast<Limb>(pending);
    pending >>= kLimbBits;
    bits = bits > kLimbBits ? bits - kLimbBits : 0;
  }
}

/// The low 64 bits of an odd modulus, whatever the limb size.
inline uint64_t LowWord(const LimbVector& modulus) {
  uint64_t low = 0;
  for (uint32_t i = 0; i < modulus.size() && i * kLimbBits < 64; ++i) {
    low |= static_cast<uint64_t>(modulus[i]) << (i * kLimbBits);
  }
  return low;
}

/// The moduli as a kernel's product needs them: digits with the zero digit
/// above, and -m^-1 mod 2^r per lane.
struct LaneModuli {
  const LaneWords* digits;  // digit 0; digit k is zero
  const LaneWords* negativeInverse;
  uint32_t digitCount;
};

/// The value of bits [low, low + width) of an exponent whose top bit is topBit.
inline uint32_t WindowAt(const BatchLane& lane, int32_t low, int32_t width) {
  uint32_t window = 0;
  for (int32_t bit = std::min(low + width - 1, lane.topBit); bit >= low; --bit) {
    window |= ExponentBit(lane.exponent, bit) << (bit - low);
  }
  return window;
}

/// r[i] = digit i of entry index[l] of the table in lane l, for every digit.
inline void SelectEntries(LaneWords* r, const LaneWords* table, const uint32_t (&index)[kLanes],
                          uint32_t digitCount) {
  for (uint32_t l = 0; l < kLanes; ++l) {
    const LaneWords* entry = table + index[l] * Stored(digitCount);
    for (uint32_t i = 0; i < digitCount; ++i) r[i].word[l] = entry[i].word[l];
  }
}

/// A batch kernel on rows of eight lanes. Arithmetic provides
///   static constexpr const char* kName;
///   static constexpr uint32_t kDigitBits;  r
///   static void Product(LaneWords* r, const LaneWords* a, const LaneWords* b,
///                       const LaneModuli& moduli, LaneWords* q);
///   static void Square(LaneWords* r, const LaneWords* a, const LaneModuli& moduli,
///                      LaneWords* q);
/// r = a b / R mod m + (0 or m) per lane, R = 2^(r k), for a, b < 2 m in k
/// normalised digits (the stored digits, without the zero digit below); r may
/// be a or b; q is scratch space of k rows.
template <class Arithmetic>
class LaneBatchKernel final : public BatchKernel {
 public:
  static constexpr uint32_t kDigitBits = Arithmetic::kDigitBits;
  static constexpr uint64_t kDigitMask = (uint64_t{1} << kDigitBits) - 1;

  /// 1 to kLanes odd moduli without leading zero limbs, of one digit count.
  explicit LaneBatchKernel(std::vector<LimbVector> moduli);

  const char* Name() const override { return Arithmetic::kName; }
  uint32_t Lanes() const override { return static_cast<uint32_t>(plain_.size()); }
  void Power(const BatchLane* lanes, uint32_t observedLane,
             PowModObserver* observer) const override;

 private:
  // A batch of k-digit numbers in the stored layout, all digits zero.
  LaneVector Numbers(uint32_t count) const { return LaneVector(count * Stored(digits_)); }
  LaneModuli Moduli() const { return {&modulus_[1], &negativeInverse_, digits_}; }
  void Product(LaneWords* r, const LaneWords* a, const LaneWords* b, LaneWords* q) const {
    Arithmetic::Product(r + 1, a + 1, b + 1, Moduli(), q);
  }
  void Square(LaneWords* r, const LaneWords* a, LaneWords* q) const {
    Arithmetic::Square(r + 1, a + 1, Moduli(), q);
  }

  std::vector<LimbVector> plain_;
  uint32_t digits_;
  LaneVector modulus_;  // unused lanes repeat lane 0's modulus
  LaneWords negativeInverse_{};
  LaneVector rSquared_;  // R^2 mod m
  LaneVector one_;
};

template <class Arithmetic>
LaneBatchKernel<Arithmetic>::LaneBatchKernel(std::vector<LimbVector> moduli)
    : plain_(std::move(moduli)),
      digits_(DigitsFor(plain_[0], kDigitBits)),
      modulus_(Numbers(1)),
      rSquared_(Numbers(1)),
      one_(Numbers(1)) {
  const uint32_t exponent = 2 * kDigitBits * digits_;
  LimbVector power(exponent / kLimbBits + 1);
  power.back() = Limb{1} << (exponent % kLimbBits);
  for (uint32_t lane = 0; lane < kLanes; ++lane) {
    const LimbVector& m = plain_[lane < Lanes() ? lane : 0];
    const auto n = static_cast<uint32_t>(m.size());
    ToLaneDigits(&modulus_[1], lane, digits_, kDigitBits, m.data(), n);
    negativeInverse_.word[lane] = (0 - InverseModWordBase<uint64_t>(LowWord(m))) & kDigitMask;
    const LimbVector remainder = Remainder(power, m);
    ToLaneDigits(&rSquared_[1], lane, digits_, kDigitBits, remainder.data(), n);
    one_[1].word[lane] = 1;
  }
}

// Fixed windows (HAC 14.82) with the table indexed per lane: every lane
// squares at once, and each multiplies by its own window's entry, so lanes
// with shorter exponents run their leading zero windows on entry 0, R mod m.
// The observed lane's checkpoints come with the bits of its own exponent.
template <class Arithmetic>
void LaneBatchKernel<Arithmetic>::Power(const BatchLane* lanes, uint32_t observedLane,
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
    ToLaneDigits(&entry[1], l, k, kDigitBits, lanes[l].base,
                 static_cast<uint32_t>(plain_[l].size()));
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
    FromLaneDigits(lanes[l].result, n, &power[1], l, k, kDigitBits);
    SubtractModulusIfAbove(lanes[l].result, plain_[l].data(), n, 0);
  }
}

/// Whether a lane batch kernel serving [minBits, maxBits] serves this modulus.
inline bool SuitsLane(const LimbVector& modulus, uint32_t minBits, uint32_t maxBits) {
  const uint32_t bits = BitLength(modulus);
  return (modulus[0] & 1) != 0 && bits >= minBits && bits <= maxBits;
}

/// Whether these moduli suit a lane batch kernel in radix 2^digitBits serving
/// [minBits, maxBits]: 1 to kLanes odd moduli of the first one's digit count.
inline bool SuitLanes(const std::vector<LimbVector>& moduli, uint32_t digitBits, uint32_t minBits,
                      uint32_t maxBits) {
  if (moduli.empty() || moduli.size() > kLanes) return false;
  if (!SuitsLane(moduli[0], minBits, maxBits)) return false;
  const uint32_t digits = DigitsFor(moduli[0], digitBits);
  return std::all_of(moduli.begin(), moduli.end(), [&](const LimbVector& m) {
    return (m[0] & 1) != 0 && DigitsFor(m, digitBits) == digits;
  });
}

}  // namespace limbs::lanes
