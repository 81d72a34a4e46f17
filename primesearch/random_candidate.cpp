/// The random starting number, four bits per counter reading.
#include "primesearch/random_candidate.h"

#include "platform/clock.h"

namespace {
constexpr uint32_t kBitsPerPiece = 4;
constexpr uint32_t kPieceMask = (1u << kBitsPerPiece) - 1;
}  // namespace

BigInt RandomBigInt(uint16_t byteCount, TraceSink& sink) {
  BigInt value(0);
  const uint32_t pieces = static_cast<uint32_t>(byteCount) * 2;
  for (uint32_t step = 0; step < pieces && !sink.Failed(); ++step) {
    const uint32_t piece = static_cast<uint32_t>(platform::PerformanceCounter()) & kPieceMask;
    sink.Format("Random number component generated: %d\n", static_cast<int>(piece));
    value <<= kBitsPerPiece;
    value |= piece;
  }
  return value;
}
