/// Decimal text of a BigInt.
#include "bigint/bigint.h"

namespace {
// 65536^L < 10^(5L): five decimal places per base-65536 digit always suffice.
constexpr uint32_t kDecimalPlacesPerDigit = 5;
}  // namespace

CharString BigInt::ToDecimalString() const {
  CharString work;
  if (length == 0) return work;

  const uint32_t places = kDecimalPlacesPerDigit * length;
  work.Allocate(places + 1);
  // Digits come out least significant first, written from the last place down.
  uint32_t first = places;
  BigInt x(*this);
  while (x > 0u) {
    --first;
    work[first] = static_cast<char>('0' + x % 10u);
    x /= 10u;
  }
  if (first == places) work[--first] = '0';  // zero reads as a single 0
  if (first > 0) {
    for (uint32_t i = first; i < places; ++i) work[i - first] = work[i];
    work[places - first] = '\0';
  }
  return work;
}

const char* BigInt::DecimalText() const {
  static CharString cache;
  cache = ToDecimalString();
  return cache.Text();
}
