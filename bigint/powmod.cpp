/// Modular exponentiation by left-to-right sliding windows over Montgomery or
/// plain modular arithmetic, on a modulus prepared once.
#include <optional>

#include "bigint/bigint.h"
#include "bigint/limb_conversion.h"
#include "bigint/modular.h"
#include "bigint/montgomery_ifma.h"
#include "bigint/prepared_modulus.h"

namespace {

using limbs::Limb;
using limbs::LimbVector;

// Counts the exponent bits still to be processed and tells the observer, if
// any, after every kBitsPerCheckpoint-th bit and after the last one. BitDone
// answers false once the observer has asked to stop.
class Checkpoints {
 public:
  Checkpoints(PowModObserver* observer, int32_t topBit)
      : observer_(observer), topBit_(topBit), bitsRemaining_(topBit) {}

  bool BitDone() {
    --bitsRemaining_;
    if (observer_ == nullptr) return true;
    if ((topBit_ - bitsRemaining_) % PowModObserver::kBitsPerCheckpoint == 0 ||
        bitsRemaining_ < 0) {
      return observer_->Checkpoint(bitsRemaining_);
    }
    return true;
  }

 private:
  PowModObserver* observer_;
  int32_t topBit_;
  int32_t bitsRemaining_;
};

uint32_t ExponentBit(const BigInt& exponent, int32_t i) {
  const auto index = static_cast<uint32_t>(i);
  return (exponent.Digits()[index / BigInt::kDigitBits] >> (index % BigInt::kDigitBits)) & 1;
}

// Window width for an exponent of the given number of bits: a window of w bits
// needs 2^(w-1) precomputed odd powers and saves multiplications in proportion
// to the exponent's length.
int32_t WindowBits(int32_t bitCount) {
  if (bitCount > 671) return 6;
  if (bitCount > 239) return 5;
  if (bitCount > 79) return 4;
  if (bitCount > 23) return 3;
  if (bitCount > 7) return 2;
  return 1;
}

void CopyLimbs(Limb* r, const Limb* a, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) r[i] = a[i];
}

// result = base^exponent in the arithmetic of `multiplier`, both in its
// representation, for an exponent whose highest set bit is topBit. Left-to-right
// sliding-window exponentiation (HAC 14.85): the bits are scanned from the top;
// a zero bit costs one squaring, and a window of up to w bits that ends on a set
// bit costs one squaring per bit and one multiplication by a precomputed odd
// power. Nothing is allocated after the table of odd powers.
template <class Multiplier>
void SlidingWindowPower(Multiplier& multiplier, const Limb* base, const BigInt& exponent,
                        int32_t topBit, Checkpoints& checkpoints, Limb* result) {
  const uint32_t n = multiplier.Size();
  const int32_t width = WindowBits(topBit + 1);

  // oddPowers holds base^1, base^3, ..., base^(2^width - 1), n words each.
  const uint32_t powerCount = 1u << (width - 1);
  LimbVector oddPowers(powerCount * n);
  CopyLimbs(oddPowers.data(), base, n);
  if (powerCount > 1) {
    LimbVector baseSquared(n);
    multiplier.Square(baseSquared.data(), base);
    for (uint32_t k = 1; k < powerCount; ++k) {
      multiplier.Multiply(&oddPowers[k * n], &oddPowers[(k - 1) * n], baseSquared.data());
    }
  }

  bool started = false;  // the top bit is set, so the first step is a window
  for (int32_t i = topBit; i >= 0;) {
    if (ExponentBit(exponent, i) == 0) {
      multiplier.Square(result, result);
      if (!checkpoints.BitDone()) return;
      --i;
      continue;
    }
    // The window runs from bit i down to bit j, the lowest set bit within reach.
    int32_t j = i - width + 1 > 0 ? i - width + 1 : 0;
    while (ExponentBit(exponent, j) == 0) ++j;
    uint32_t window = 0;
    for (int32_t k = i; k >= j; --k) {
      window = (window << 1) | ExponentBit(exponent, k);
      if (started) multiplier.Square(result, result);
      if (!checkpoints.BitDone()) return;
    }
    const Limb* power = &oddPowers[(window >> 1) * n];
    if (started) {
      multiplier.Multiply(result, result, power);
    } else {
      CopyLimbs(result, power, n);
      started = true;
    }
    i = j - 1;
  }
}

// result (PlainSize() limbs) = base^exponent mod m, for base < m, m > 1 and
// exponent >= 1. The representatives may be wider than the plain values.
template <class Multiplier>
void ModularPower(Multiplier& multiplier, const LimbVector& base, const BigInt& exponent,
                  int32_t topBit, Checkpoints& checkpoints, Limb* result) {
  LimbVector representative(multiplier.Size());
  LimbVector power(multiplier.Size());
  multiplier.Enter(representative.data(), base.data());
  SlidingWindowPower(multiplier, representative.data(), exponent, topBit, checkpoints,
                     power.data());
  multiplier.Leave(result, power.data());
}

// True for the moduli 0 and 1, by which every reduction gives 0.
bool IsTrivial(const LimbVector& m) { return m.empty() || (m.size() == 1 && m[0] == 1); }

}  // namespace

// The limbs of the modulus, and for an odd one its Montgomery constants, for
// the vector kernel where it is used and for the portable arithmetic otherwise.
// An even modulus keeps its limbs only: its divisor carries scratch space, so
// each exponentiation builds its own.
class PreparedModulus::Context {
 public:
  explicit Context(const BigInt& modulus)
      : resultLength_(modulus.Length() > 2 ? modulus.Length() : 2),
        modulus_(limbs::ToLimbs(modulus)) {
    if (IsTrivial(modulus_) || (modulus_[0] & 1) == 0) return;
#if LARGEPRIME_IFMA_KERNEL
    if (limbs::UseIfmaMontgomery(modulus_)) {
      ifma_.emplace(modulus_);
      return;
    }
#endif
    montgomery_.emplace(modulus_);
  }

  BigInt Power(const BigInt& base, const BigInt& exponent, PowModObserver* observer) const {
    const int32_t topBit = exponent.HighestBit();
    Checkpoints checkpoints(observer, topBit);
    BigInt result;
    result.Resize(resultLength_);
    if (!exponent.IsNonZero()) {
      result.Digits()[0] = 1;  // x^0 = 1, unreduced
      return result;
    }
    if (IsTrivial(modulus_)) {
      // Every reduction by 0 or by 1 gives 0; the bits still pass the checkpoints.
      for (int32_t i = topBit; i >= 0; --i) {
        if (!checkpoints.BitDone()) break;
      }
      return result;
    }

    const LimbVector reducedBase = limbs::Remainder(limbs::ToLimbs(base), modulus_);
    LimbVector power(modulus_.size());
    if (montgomery_) {
      limbs::MontgomeryMultiplier multiplier(*montgomery_);
      ModularPower(multiplier, reducedBase, exponent, topBit, checkpoints, power.data());
#if LARGEPRIME_IFMA_KERNEL
    } else if (ifma_) {
      limbs::IfmaMultiplier multiplier(*ifma_);
      ModularPower(multiplier, reducedBase, exponent, topBit, checkpoints, power.data());
#endif
    } else {
      limbs::PlainModulus multiplier(modulus_);
      ModularPower(multiplier, reducedBase, exponent, topBit, checkpoints, power.data());
    }
    limbs::StoreLimbs(power.data(), static_cast<uint32_t>(power.size()), &result);
    return result;
  }

 private:
  uint32_t resultLength_;
  LimbVector modulus_;
  std::optional<limbs::MontgomeryModulus> montgomery_;
#if LARGEPRIME_IFMA_KERNEL
  std::optional<limbs::IfmaModulus> ifma_;
#endif
};

PreparedModulus::PreparedModulus(const BigInt& modulus)
    : context_(std::make_unique<const Context>(modulus)) {}

PreparedModulus::~PreparedModulus() = default;
PreparedModulus::PreparedModulus(PreparedModulus&&) noexcept = default;
PreparedModulus& PreparedModulus::operator=(PreparedModulus&&) noexcept = default;

BigInt PreparedModulus::Power(const BigInt& base, const BigInt& exponent,
                              PowModObserver* observer) const {
  return context_->Power(base, exponent, observer);
}

BigInt BigInt::PowMod(const BigInt& exponent, const BigInt& modulus, uint32_t progressIntervalMs,
                      PowModObserver* observer) const {
  return PreparedModulus(modulus).Power(*this, exponent,
                                        progressIntervalMs != 0 ? observer : nullptr);
}
