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

// Ripples the carries left in r[0..n), digits that may lie a little outside
// [0, 2^52) either way (as signed 64-bit integers), digit by digit; returns
// the carry out of the top, signed. The shift of a negative sum is arithmetic,
// as on every compiler that builds these kernels.
inline int64_t RippleCarries(uint64_t* r, uint32_t n) {
  int64_t carry = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const int64_t sum = static_cast<int64_t>(r[i]) + carry;
    r[i] = static_cast<uint64_t>(sum) & kDigitMask;
    carry = sum >> kDigitBits;
  }
  return carry;
}

// The first pass of normalising lanes (signed 64-bit integers below 2^63 in
// magnitude), one vector at a time from the lowest: each lane keeps its low 52
// bits and gains the carry of the lane below, its bits above 52 (an
// arithmetic shift, so below 2^11 in magnitude). The digits it returns are
// then final unless one lies outside [0, 2^52), which happens only where a
// lane's low bits lay within that carry of either end, about once in 2^40
// lanes of random digits; NeedsRipple says so, and RippleCarries then
// finishes the digits.
class CarryPass {
 public:
  LARGEPRIME_IFMA_TARGET CarryPass()
      : carriesBelow_(_mm512_setzero_si512()), largest_(_mm512_setzero_si512()) {}

  LARGEPRIME_IFMA_TARGET __m512i Next(__m512i lanes) {
    const __m512i mask = _mm512_set1_epi64(static_cast<int64_t>(kDigitMask));
    const __m512i carries = _mm512_srai_epi64(lanes, kDigitBits);
    const __m512i digits = _mm512_add_epi64(
        _mm512_and_si512(lanes, mask), _mm512_alignr_epi64(carries, carriesBelow_, kLanes - 1));
    carriesBelow_ = carries;
    largest_ = _mm512_max_epu64(largest_, digits);  // a negative digit is the largest unsigned
    return digits;
  }

  LARGEPRIME_IFMA_TARGET bool NeedsRipple() const {
    return _mm512_cmpgt_epu64_mask(largest_, _mm512_set1_epi64(static_cast<int64_t>(kDigitMask))) !=
           0;
  }

  // The carry out of the top lane of the last vector.
  LARGEPRIME_IFMA_TARGET int64_t TopCarry() const {
    return _mm_cvtsi128_si64(
        _mm512_castsi512_si128(_mm512_alignr_epi64(carriesBelow_, carriesBelow_, kLanes - 1)));
  }

 private:
  __m512i carriesBelow_;
  __m512i largest_;
};

// Normalises the lanes acc[0..n) (each below 2^63) and stores the digits,
// dropping the carry out of the top: the value must fit in the lanes.
LARGEPRIME_IFMA_TARGET inline void NormalizeAndStore(uint64_t* r, const __m512i* acc,
                                                     uint32_t vectorCount) {
  CarryPass pass;
#pragma GCC unroll 32
  for (uint32_t v = 0; v < vectorCount; ++v) _mm512_storeu_si512(r + kLanes * v, pass.Next(acc[v]));
  if (pass.NeedsRipple()) RippleCarries(r, kLanes * vectorCount);
}

}  // namespace limbs::radix52
