/// Decimal text of a BigInt, made in chunks of as many decimal digits as a limb
/// holds, by repeated short division.
#include "bigint/bigint.h"
#include "bigint/limb_conversion.h"

namespace {

using limbs::Limb;

// 65536^L < 10^(5L): five decimal places per base-65536 digit always suffice.
constexpr uint32_t kDecimalPlacesPerDigit = 5;

constexpr Limb PowerOfTen(uint32_t exponent) {
  Limb power = 1;
  for (uint32_t i = 0; i < exponent; ++i) power *= 10;
  return power;
}

// The largest power of ten that fits in a limb: 10^19 for 64-bit limbs, 10^9 for
// 32-bit ones.
constexpr uint32_t kChunkPlaces = limbs::kLimbBits == 64 ? 19 : 9;
constexpr Limb kChunkBase = PowerOfTen(kChunkPlaces);

// Writes chunk's decimal digits at text[place..], exactly `width` of them with
// leading zeros, or as many as it needs when width is 0; returns the next place.
uint32_t WriteChunk(CharString& text, uint32_t place, Limb chunk, uint32_t width) {
  char reversed[kChunkPlaces];
  uint32_t count = 0;
  while (count < width || (width == 0 && (chunk != 0 || count == 0))) {
    reversed[count++] = static_cast<char>('0' + chunk % 10);
    chunk /= 10;
  }
  while (count > 0) text[place++] = reversed[--count];
  return place;
}

}  // namespace

CharString BigInt::ToDecimalString() const {
  CharString work;
  if (length == 0) return work;
  work.Allocate(kDecimalPlacesPerDigit * length + 1);

  // Chunks of kChunkPlaces decimal digits, least significant first.
  limbs::LimbVector x = limbs::ToLimbs(*this);
  limbs::LimbVector chunks;
  for (auto n = static_cast<uint32_t>(x.size()); n > 0; n = limbs::SignificantLimbs(x.data(), n)) {
    chunks.push_back(limbs::DivideByLimb(x.data(), x.data(), n, kChunkBase));
  }

  // The top chunk without leading zeros (zero reads as a single 0), the others
  // at full width; the block's zero bytes end the text.
  uint32_t place = WriteChunk(work, 0, chunks.empty() ? 0 : chunks.back(), 0);
  const auto chunkCount = static_cast<uint32_t>(chunks.size());
  for (uint32_t i = chunkCount > 1 ? chunkCount - 1 : 0; i-- > 0;) {
    place = WriteChunk(work, place, chunks[i], kChunkPlaces);
  }
  return work;
}

const char* BigInt::DecimalText() const {
  static CharString cache;
  cache = ToDecimalString();
  return cache.Text();
}
