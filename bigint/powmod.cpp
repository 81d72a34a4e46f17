/// Modular exponentiation by left-to-right sliding windows over Montgomery or
/// plain modular arithmetic, with an optional progress report on standard output.
#include <cstdio>

#include "bigint/bigint.h"
#include "bigint/limbs.h"
#include "bigint/modular.h"
#include "platform/clock.h"

namespace {

using limbs::Limb;
using limbs::LimbVector;

// How many exponent bits pass between two readings of the tick counter. A
// reading costs far more than a bit's squaring at the usual sizes, so the clock
// is read once per 32 bits (and after the last bit): often enough for a report
// about once a second, cheap enough not to show in the running time.
constexpr int32_t kBitsPerProgressCheck = 32;

// Counts the exponent bits still to be processed and, with a nonzero interval,
// checks the tick counter after every kBitsPerProgressCheck-th bit and after the
// last one: when more than the interval has passed since the last start it
// prints the count of bits still to go minus one (-1 after the last bit) and
// restarts from a fresh reading.
class ProgressReport {
 public:
  ProgressReport(uint32_t intervalMs, int32_t topBit)
      : intervalMs_(intervalMs),
        topBit_(topBit),
        bitsRemaining_(topBit),
        start_(platform::TickCount()) {}

  void BitDone() {
    --bitsRemaining_;
    if (intervalMs_ == 0) return;
    const bool checkpoint =
        (topBit_ - bitsRemaining_) % kBitsPerProgressCheck == 0 || bitsRemaining_ < 0;
    // Elapsed time by wrap-around subtraction, so a wrap of the tick counter
    // neither triggers an early report nor silences the reports.
    if (checkpoint && platform::TickCount() - start_ > intervalMs_) {
      std::printf("%d bits remaining in PowMod.\n", static_cast<int>(bitsRemaining_));
      std::fflush(stdout);  // a reader of a pipe or file sees the progress as it is made
      start_ = platform::TickCount();
    }
  }

 private:
  uint32_t intervalMs_;
  int32_t topBit_;
  int32_t bitsRemaining_;
  uint32_t start_;
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

// result = base^exponent in the arithmetic of `modulus`, both in its
// representation, for an exponent whose highest set bit is topBit. Left-to-right
// sliding-window exponentiation (HAC 14.85): the bits are scanned from the top;
// a zero bit costs one squaring, and a window of up to w bits that ends on a set
// bit costs one squaring per bit and one multiplication by a precomputed odd
// power. Nothing is allocated after the table of odd powers.
template <class Modulus>
void SlidingWindowPower(Modulus& modulus, const Limb* base, const BigInt& exponent, int32_t topBit,
                        ProgressReport& progress, Limb* result) {
  const uint32_t n = modulus.Size();
  const int32_t width = WindowBits(topBit + 1);

  // oddPowers holds base^1, base^3, ..., base^(2^width - 1), n limbs each.
  const uint32_t powerCount = 1u << (width - 1);
  LimbVector oddPowers(powerCount * n);
  CopyLimbs(oddPowers.data(), base, n);
  if (powerCount > 1) {
    LimbVector baseSquared(n);
    modulus.Square(baseSquared.data(), base);
    for (uint32_t k = 1; k < powerCount; ++k) {
      modulus.Multiply(&oddPowers[k * n], &oddPowers[(k - 1) * n], baseSquared.data());
    }
  }

  bool started = false;  // the top bit is set, so the first step is a window
  for (int32_t i = topBit; i >= 0;) {
    if (ExponentBit(exponent, i) == 0) {
      modulus.Square(result, result);
      progress.BitDone();
      --i;
      continue;
    }
    // The window runs from bit i down to bit j, the lowest set bit within reach.
    int32_t j = i - width + 1 > 0 ? i - width + 1 : 0;
    while (ExponentBit(exponent, j) == 0) ++j;
    uint32_t window = 0;
    for (int32_t k = i; k >= j; --k) {
      window = (window << 1) | ExponentBit(exponent, k);
      if (started) modulus.Square(result, result);
      progress.BitDone();
    }
    const Limb* power = &oddPowers[(window >> 1) * n];
    if (started) {
      modulus.Multiply(result, result, power);
    } else {
      CopyLimbs(result, power, n);
      started = true;
    }
    i = j - 1;
  }
}

// result = base^exponent mod m for base < m, m > 1, exponent >= 1.
template <class Modulus>
void ModularPower(Modulus modulus, const LimbVector& base, const BigInt& exponent, int32_t topBit,
                  ProgressReport& progress, Limb* result) {
  LimbVector representative(modulus.Size());
  modulus.Enter(representative.data(), base.data());
  SlidingWindowPower(modulus, representative.data(), exponent, topBit, progress, result);
  modulus.Leave(result, result);
}

}  // namespace

BigInt BigInt::PowMod(BigInt exponent, const BigInt& modulus, uint32_t progressIntervalMs) const {
  const int32_t topBit = exponent.HighestBit();
  ProgressReport progress(progressIntervalMs, topBit);
  BigInt result;
  result.Resize(modulus.length > 2 ? modulus.length : 2);
  if (!exponent.IsNonZero()) {
    result.digits[0] = 1;  // x^0 = 1, unreduced
    return result;
  }

  const LimbVector m = limbs::ToLimbs(modulus);
  if (m.empty() || (m.size() == 1 && m[0] == 1)) {
    // Every reduction by 0 or by 1 gives 0; the bits still pass the progress clock.
    for (int32_t i = topBit; i >= 0; --i) progress.BitDone();
    return result;
  }

  const LimbVector base = limbs::Remainder(limbs::ToLimbs(*this), m);
  LimbVector power(m.size());
  if ((m[0] & 1) != 0) {
    ModularPower(limbs::MontgomeryModulus(m), base, exponent, topBit, progress, power.data());
  } else {
    ModularPower(limbs::PlainModulus(m), base, exponent, topBit, progress, power.data());
  }
  limbs::StoreLimbs(power.data(), static_cast<uint32_t>(power.size()), &result);
  return result;
}
