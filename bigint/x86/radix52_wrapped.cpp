/// Products modulo 2^(52 h) - 1 and 2^(52 h) + 1 in radix 2^52, their
/// recombination by the Chinese remainder theorem, and the high half of a
/// product from them. The portable code does the same in its limbs
/// (bigint/limbs/wrapped_products.cpp); here the products are the vector ones
/// and the linear steps run on scalar digits.
#include "bigint/x86/radix52_wrapped.h"

#if LARGEPRIME_IFMA_KERNEL

#include <algorithm>

#include "bigint/x86/radix52_products.h"
#include "bigint/x86/radix52_vectors.h"
#include "bigint/x86/tuning.h"

namespace limbs::radix52 {

namespace {

constexpr uint32_t kCyclicSplitVectors = x86::kIfmaCyclicSplitVectors;

// The linear steps add and subtract lane by lane, unnormalised, then
// normalise the whole (NormalizeDigits), whose carry out of the top is -1 for
// a negative difference. Carries and borrows that wrap around to the bottom are
// added digit by digit; they stop at the first digit that absorbs them, almost
// always the lowest.
uint64_t PropagateCarry(uint64_t* r, uint32_t n, uint64_t carry) {
  for (uint32_t i = 0; i < n && carry != 0; ++i) {
    const uint64_t sum = r[i] + carry;
    r[i] = sum & kDigitMask;
    carry = sum >> kDigitBits;
  }
  return carry;
}

uint64_t PropagateBorrow(uint64_t* r, uint32_t n, uint64_t borrow) {
  for (uint32_t i = 0; i < n && borrow != 0; ++i) {
    const uint64_t difference = r[i] - borrow;
    r[i] = difference & kDigitMask;
    borrow = difference >> 63;
  }
  return borrow;
}

// r[0..h) = x[0..nx) mod (2^(52 h) - 1) for h <= nx <= 2 h, both whole
// vectors: 2^(52 h) = 1, so the high part adds to the low one and its carry
// comes back in at the bottom. The sum is at most 2^(52 h + 1) - 2, so the
// carry's return carries no further.
void FoldCyclic(uint64_t* r, const uint64_t* x, uint32_t nx, uint32_t h) {
  AddLanes(r, x, h / kLanes, x + h, (nx - h) / kLanes, false);
  PropagateCarry(r, h, static_cast<uint64_t>(NormalizeDigits(r, r, h / kLanes)));
}

// r[0..h] = x[0..nx) mod (2^(52 h) + 1) in [0, 2^(52 h)], as FoldCyclic:
// 2^(52 h) = -1, so the high part is subtracted from the low one, and a
// negative difference gains 2^(52 h) + 1.
void FoldNegacyclic(uint64_t* r, const uint64_t* x, uint32_t nx, uint32_t h) {
  AddLanes(r, x, h / kLanes, x + h, (nx - h) / kLanes, true);
  const bool negative = NormalizeDigits(r, r, h / kLanes) < 0;
  r[h] = negative ? PropagateCarry(r, h, 1) : 0;
}

// r[0..8 h] = a b mod (2^(52 8 h) + 1) for a, b in [0, 2^(52 8 h)] (8 h + 1
// digits each). 2^(52 8 h) itself is -1: its product with x is -x, which is
// 2^(52 8 h) + 1 - x, the complement of x plus 2, for x in [1, 2^(52 8 h)).
void MultiplyNegacyclic(uint64_t* r, const uint64_t* a, const uint64_t* b, uint32_t vectors,
                        uint64_t* scratch) {
  const uint32_t h = kLanes * vectors;
  if (a[h] == 0 && b[h] == 0) {
    Multiply(scratch, a, b, vectors, scratch + 2 * h);
    FoldNegacyclic(r, scratch, 2 * h, h);
    return;
  }
  for (uint32_t i = 0; i <= h; ++i) r[i] = 0;
  if (a[h] != 0 && b[h] != 0) {
    r[0] = 1;
    return;
  }
  const uint64_t* x = a[h] != 0 ? b : a;
  uint64_t any = 0;
  for (uint32_t i = 0; i < h; ++i) any |= x[i];
  if (any == 0) return;
  for (uint32_t i = 0; i < h; ++i) r[i] = kDigitMask - x[i];
  r[h] = PropagateCarry(r, h, 2);
}

uint32_t NegacyclicScratchWords(uint32_t vectors) {
  return 2 * kLanes * vectors + ProductScratchWords(vectors);
}

// y[0..8 n) = floor(y / 2) + (y mod 2) 2^(52 8 n - 1): every digit takes the lowest
// bit of the one above as its top bit, the top digit y's lowest bit.
LARGEPRIME_IFMA_TARGET void HalveWithTopBit(uint64_t* y, uint32_t vectors) {
  const __m512i one = _mm512_set1_epi64(1);
  const __m512i lowest = _mm512_set1_epi64(static_cast<int64_t>(y[0] & 1));
  for (uint32_t v = 0; v < vectors; ++v) {
    const __m512i here = _mm512_loadu_si512(y + kLanes * v);
    const __m512i above = v + 1 < vectors ? _mm512_loadu_si512(y + kLanes * (v + 1)) : lowest;
    const __m512i bits = _mm512_and_si512(_mm512_alignr_epi64(above, here, 1), one);
    _mm512_storeu_si512(y + kLanes * v, _mm512_or_si512(_mm512_srli_epi64(here, 1),
                                                        _mm512_slli_epi64(bits, kDigitBits - 1)));
  }
}

// w[0..2 h) = the W modulo 2^(104 h) - 1 = (2^(52 h) - 1)(2^(52 h) + 1) with
// W = w1 modulo 2^(52 h) - 1 (h digits, overwritten) and W = w2 modulo
// 2^(52 h) + 1 (h + 1 digits), by the Chinese remainder theorem (the factors
// are coprime, as 2^(52 h) - 1 is odd): W = w2 + (2^(52 h) + 1) y with
// y = (w1 - w2) / 2 modulo 2^(52 h) - 1, since 2^(52 h) + 1 = 2 there. w may
// hold 2^(104 h) - 1 for 0.
void CombineResidues(uint64_t* w, uint64_t* w1, const uint64_t* w2, uint32_t h) {
  // y, where w2 = 2^(52 h) counts as 1. A negative difference gains
  // 2^(52 h) - 1: it wraps, then loses 1. An odd y gains 2^(52 h) - 1 before
  // halving: its half gains 2^(52 h - 1).
  const uint32_t vectors = h / kLanes;
  bool borrow = false;
  if (w2[h] != 0) {
    borrow = PropagateBorrow(w1, h, 1) != 0;
  } else {
    AddLanes(w1, w1, vectors, w2, vectors, true);
    borrow = NormalizeDigits(w1, w1, vectors) < 0;
  }
  if (borrow) PropagateBorrow(w1, h, 1);
  HalveWithTopBit(w1, vectors);

  // w2 + y + y 2^(52 h), the carry coming back in at the bottom; the sum is
  // below 2^(104 h) + 2^(52 h), so its return carries no further.
  AddLanes(w, w1, vectors, w2, vectors, false);
  std::copy(w1, w1 + h, w + h);
  w[h] += w2[h];
  PropagateCarry(w, 2 * h, static_cast<uint64_t>(NormalizeDigits(w, w, 2 * vectors)));
}

}  // namespace

uint32_t MultiplyCyclicScratchWords(uint32_t vectors) {
  if (vectors % 2 != 0 || vectors / 2 < kCyclicSplitVectors) {
    return 2 * kLanes * vectors + ProductScratchWords(vectors);
  }
  const uint32_t half = vectors / 2;
  const uint32_t cyclic = MultiplyCyclicScratchWords(half);
  const uint32_t negacyclic = NegacyclicScratchWords(half);
  return 6 * kLanes * half + 3 + (cyclic > negacyclic ? cyclic : negacyclic);
}

void MultiplyCyclic(uint64_t* r, const uint64_t* a, const uint64_t* b, uint32_t vectors,
                    uint64_t* scratch) {
  const uint32_t n = kLanes * vectors;
  if (vectors % 2 != 0 || vectors / 2 < kCyclicSplitVectors) {
    Multiply(scratch, a, b, vectors, scratch + 2 * n);
    FoldCyclic(r, scratch, 2 * n, n);
    return;
  }
  const uint32_t half = vectors / 2;
  const uint32_t h = n / 2;
  uint64_t* aCyclic = scratch;                  // h digits
  uint64_t* bCyclic = aCyclic + h;              // h digits
  uint64_t* aNegacyclic = bCyclic + h;          // h + 1 digits
  uint64_t* bNegacyclic = aNegacyclic + h + 1;  // h + 1 digits
  uint64_t* w1 = bNegacyclic + h + 1;           // h digits
  uint64_t* w2 = w1 + h;                        // h + 1 digits
  uint64_t* next = w2 + h + 1;
  FoldCyclic(aCyclic, a, n, h);
  FoldCyclic(bCyclic, b, n, h);
  FoldNegacyclic(aNegacyclic, a, n, h);
  FoldNegacyclic(bNegacyclic, b, n, h);
  MultiplyCyclic(w1, aCyclic, bCyclic, half, next);
  MultiplyNegacyclic(w2, aNegacyclic, bNegacyclic, half, next);
  CombineResidues(r, w1, w2, h);
}

namespace {

// The vectors of each residue for q m of n vectors: ceil(n / 2), rounded up
// to a multiple of the largest power of two u with ceil(n / 2) / u at least
// kCyclicSplitVectors, so that the product modulo 2^(52 8 h) - 1 keeps
// splitting into halves of whole vectors as far as it pays. For 158 vectors
// (65536 bits) that is 80 instead of 79, which could not split at all. The
// padding costs at most one part in kCyclicSplitVectors.
uint32_t HighHalfVectors(uint32_t vectors) {
  const uint32_t half = (vectors + 1) / 2;
  uint32_t unit = 1;
  while (half / (2 * unit) >= kCyclicSplitVectors) unit *= 2;
  return (half + unit - 1) / unit * unit;
}

}  // namespace

uint32_t HighHalfFoldDigits(uint32_t vectors) { return kLanes * HighHalfVectors(vectors); }

void FoldForHighHalf(uint64_t* cyclic, uint64_t* negacyclic, const uint64_t* m, uint32_t vectors) {
  const uint32_t h = HighHalfFoldDigits(vectors);
  FoldCyclic(cyclic, m, kLanes * vectors, h);
  FoldNegacyclic(negacyclic, m, kLanes * vectors, h);
}

uint32_t HighHalfScratchWords(uint32_t vectors) {
  const uint32_t half = HighHalfVectors(vectors);
  const uint32_t cyclic = MultiplyCyclicScratchWords(half);
  const uint32_t negacyclic = NegacyclicScratchWords(half);
  return 6 * kLanes * half + 2 + (cyclic > negacyclic ? cyclic : negacyclic);
}

// From W = q m mod (2^(52 N) - 1), N = 2 h >= n digits: the high half times
// 2^(52 n) is W minus the low half modulo 2^(52 N) - 1, and 2^(52 n) is the
// inverse of 2^(52 (N - n)) there, a rotation by N - n digits. The high half
// is at most 2^(52 n) - 2 (as q, m < 2^(52 n)), so that residue fixes it.
void HighHalf(uint64_t* high, const uint64_t* q, const uint64_t* low, uint32_t vectors,
              const uint64_t* mCyclic, const uint64_t* mNegacyclic, uint64_t* scratch) {
  const uint32_t n = kLanes * vectors;
  const uint32_t half = HighHalfVectors(vectors);
  const uint32_t h = kLanes * half;
  const uint32_t wide = 2 * h;
  uint64_t* qCyclic = scratch;          // h digits
  uint64_t* qNegacyclic = qCyclic + h;  // h + 1 digits
  uint64_t* w1 = qNegacyclic + h + 1;   // h digits, then y
  uint64_t* w2 = w1 + h;                // h + 1 digits
  uint64_t* w = w2 + h + 1;             // 2 h digits
  uint64_t* next = w + wide;
  FoldCyclic(qCyclic, q, n, h);
  FoldNegacyclic(qNegacyclic, q, n, h);
  MultiplyCyclic(w1, qCyclic, mCyclic, half, next);
  MultiplyNegacyclic(w2, qNegacyclic, mNegacyclic, half, next);
  CombineResidues(w, w1, w2, h);

  // W - low modulo 2^(52 N) - 1, with 2^(52 N) - 1 itself made 0.
  AddLanes(w, w, wide / kLanes, low, vectors, true);
  if (NormalizeDigits(w, w, wide / kLanes) < 0) PropagateBorrow(w, wide, 1);
  bool allOnes = true;
  for (uint32_t i = 0; i < wide && allOnes; ++i) allOnes = w[i] == kDigitMask;
  if (allOnes) std::fill(w, w + wide, 0);
  // Times 2^(52 (N - n)): a rotation up by that many digits.
  std::copy(w + n, w + wide, high);
  std::copy(w, w + 2 * n - wide, high + wide - n);
}

}  // namespace limbs::radix52

#endif  // LARGEPRIME_IFMA_KERNEL
