/// What the vector kernels in radix 2^52 share: the digit and lane constants,
/// the instruction-set attribute, and the normalisation of a number whose
/// lanes hold unnormalised sums. Internal to bigint/x86/; included only where
/// LARGEPRIME_IFMA_KERNEL is set.
#pragma once

#include <cstdint>

// GCC 12 warns that the self-initialised placeholder inside some intrinsics
// (_mm512_undefined_epi32) is or may be used uninitialised when they are inlined
// (GCC bug 105593); the warning is about the header's code, so it is silenced
// for the header only.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>
#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

// The vector kernels are compiled for these instruction sets only; nothing
// else in the program is. On 64-bit Windows GCC keeps the frame of a function
// that has unwind data 16-byte aligned, so every 64-byte spill of the larger
// kernels straddles two cache lines (docs/tuning.md); without unwind data it
// realigns the frame to 64 bytes, as on other systems. The functions marked
// here call nothing but the stack probe and raise nothing, so no exception
// ever unwinds through them: they go without. Every other function keeps its
// unwind data.
#if defined(_WIN32)
#define LARGEPRIME_IFMA_TARGET                 \
  __attribute__((target("avx512f,avx512ifma"), \
                 optimize("no-asynchronous-unwind-tables", "no-unwind-tables")))
#else
#define LARGEPRIME_IFMA_TARGET __attribute__((target("avx512f,avx512ifma")))
#endif

namespace limbs::radix52 {

constexpr uint32_t kDigitBits = 52;
constexpr uint64_t kDigitMask = (uint64_t{1} << kDigitBits) - 1;
constexpr uint32_t kLanes = 8;  // 64-bit lanes of a 512-bit vector
constexpr uint32_t kLaneMask = (1u << kLanes) - 1;

// Carries every lane's bits above 52 into the lanes above, leaving digits below
// 2^52, and stores them. First each lane's carry (below 2^12) moves up one
// lane; the sums then exceed 2^52 by at most that carry, so what is left is a
// carry of one, which may ripple through lanes that hold exactly 2^52 - 1.
// Those ripples are the carries of a binary addition over the lane masks:
// lanes above 2^52 - 1 generate one, lanes equal to it propagate one, and the
// lanes that receive one are ((generate << 1) + propagate) ^ propagate. The
// value must fit in the lanes.
LARGEPRIME_IFMA_TARGET inline void NormalizeAndStore(uint64_t* r, __m512i* acc,
                                                     uint32_t vectorCount) {
  const __m512i mask = _mm512_set1_epi64(static_cast<int64_t>(kDigitMask));
  const __m512i one = _mm512_set1_epi64(1);
  __m512i carriesBelow = _mm512_setzero_si512();
#pragma GCC unroll 32
  for (uint32_t v = 0; v < vectorCount; ++v) {
    const __m512i carries = _mm512_srli_epi64(acc[v], kDigitBits);
    acc[v] = _mm512_add_epi64(_mm512_and_si512(acc[v], mask),
                              _mm512_alignr_epi64(carries, carriesBelow, kLanes - 1));
    carriesBelow = carries;
  }
  uint32_t generatedBelow = 0;  // the top lane of the previous vector generates
  uint32_t carryIn = 0;         // the carry out of the previous vector's mask sum
#pragma GCC unroll 32
  for (uint32_t v = 0; v < vectorCount; ++v) {
    const uint32_t generate = _mm512_cmpgt_epu64_mask(acc[v], mask);
    const uint32_t propagate = _mm512_cmpeq_epu64_mask(acc[v], mask);
    const uint32_t generatedIn = ((generate << 1) | generatedBelow) & kLaneMask;
    const uint32_t sum = generatedIn + propagate + carryIn;
    generatedBelow = generate >> (kLanes - 1);
    carryIn = sum >> kLanes;
    const auto receive = static_cast<__mmask8>(sum ^ propagate);
    acc[v] = _mm512_and_si512(_mm512_mask_add_epi64(acc[v], receive, acc[v], one), mask);
    _mm512_storeu_si512(r + kLanes * v, acc[v]);
  }
}

}  // namespace limbs::radix52
