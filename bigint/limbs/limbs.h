/// Word-level kernels behind BigInt's multiplication, division, modular
/// exponentiation and decimal conversion. Internal to the bigint library: values
/// are arrays of wide limbs, least significant first, and every routine works on
/// caller-provided buffers. Nothing here knows BigInt; bigint/limb_conversion.h
/// moves values between the two forms. The tuned thresholds are in
/// bigint/limbs/tuning.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace limbs {

// A limb is the widest word whose double-width product the compiler offers:
// 64 bits with 128-bit products where available, else 32 bits with 64-bit
// products. Both give identical results; only the speed differs.
#if defined(__SIZEOF_INT128__) && !defined(LARGEPRIME_NARROW_LIMBS)
using Limb = uint64_t;
__extension__ using WideLimb = unsigned __int128;
#else
using Limb = uint32_t;
using WideLimb = uint64_t;
#endif

/// beta = 2^kLimbBits is the limb base.
constexpr uint32_t kLimbBits = 8 * sizeof(Limb);
constexpr Limb kLimbMax = ~Limb{0};

/// A number as limbs, least significant first.
using LimbVector = std::vector<Limb>;

/// The low and the high limb of a double-width value.
inline Limb LowLimb(WideLimb x) { return static_cast<Limb>(x); }
inline Limb HighLimb(WideLimb x) { return static_cast<Limb>(x >> kLimbBits); }

/// x with x * odd = 1 mod 2^w for a w-bit unsigned Word, by Newton's iteration
/// x <- x (2 - odd x), which doubles the number of correct low bits each time;
/// x = odd starts with three (odd * odd = 1 mod 8).
template <class Word>
constexpr Word InverseModWordBase(Word odd) {
  Word x = odd;
  for (uint32_t correctBits = 3; correctBits < 8 * sizeof(Word); correctBits *= 2) {
    x = static_cast<Word>(x * static_cast<Word>(2 - odd * x));
  }
  return x;
}

/// Number of limbs left after dropping leading zero limbs of x[0..n).
uint32_t SignificantLimbs(const Limb* x, uint32_t n);
/// Number of bits of x, which is nonzero and has no leading zero limbs.
uint32_t BitLength(const LimbVector& x);

// ---- Linear-time primitives (r may equal a or b unless stated) --------------

/// -1, 0 or 1 as a[0..n) is below, equal to or above b[0..n).
int32_t CompareLimbs(const Limb* a, const Limb* b, uint32_t n);
/// r = a + b over n limbs; returns the carry out (0 or 1).
Limb AddLimbs(Limb* r, const Limb* a, const Limb* b, uint32_t n);
/// r = a - b over n limbs; returns the borrow out (0 or 1).
Limb SubtractLimbs(Limb* r, const Limb* a, const Limb* b, uint32_t n);
/// r = a - c over n limbs; returns the borrow out.
Limb SubtractLimb(Limb* r, const Limb* a, uint32_t n, Limb c);
/// r += c over n limbs, stopping where the carry dies out; returns the carry out.
Limb PropagateCarry(Limb* r, uint32_t n, Limb c);
/// r -= c over n limbs, stopping where the borrow dies out; returns the borrow out.
Limb PropagateBorrow(Limb* r, uint32_t n, Limb c);
/// r[0..n) += x[0..nx), truncated to n limbs (nx may exceed n): the parts of a
/// value known to fit added into it, so what would pass the top is zero.
void AddInto(Limb* r, uint32_t n, const Limb* x, uint32_t nx);
/// r[0..n) -= x[0..nx), nx <= n, the borrow carried through r.
void SubtractFrom(Limb* r, uint32_t n, const Limb* x, uint32_t nx);
/// r[0..n) = a - x when subtract, else a + x; the result must be nonnegative
/// and fit. r may be a or x.
void AddOrSubtract(Limb* r, const Limb* a, const Limb* x, uint32_t n, bool subtract);
/// r = a * b over n limbs; returns the high limb of the product. r may be a.
Limb MultiplyByLimb(Limb* r, const Limb* a, uint32_t n, Limb b);
/// r += a * b over n limbs; returns the carry limb. r must not overlap a.
Limb AddMultiple(Limb* r, const Limb* a, uint32_t n, Limb b);
/// r -= a * b over n limbs; returns the borrow limb. r must not overlap a.
Limb SubtractMultiple(Limb* r, const Limb* a, uint32_t n, Limb b);
/// r = a << s for 0 <= s < kLimbBits; returns the bits shifted out.
Limb ShiftLeft(Limb* r, const Limb* a, uint32_t n, uint32_t s);
/// r = a >> s for 0 <= s < kLimbBits (r at or below a in memory).
void ShiftRight(Limb* r, const Limb* a, uint32_t n, uint32_t s);
/// r = a / d over n limbs for an odd d dividing beta - 1 (3, 5, 15, 17, ...)
/// and a multiple a of d; for any a, r = a d^-1 mod beta^n. r may equal a.
void DivideExactly(Limb* r, const Limb* a, uint32_t n, Limb d);
/// r = r - m when carry (the limb above r) is nonzero or r >= m: the final
/// step of a modular product whose result is below 2 m (HAC 14.32, step 3).
void SubtractModulusIfAbove(Limb* r, const Limb* m, uint32_t n, Limb carry);

// ---- Products ---------------------------------------------------------------

/// r[0..na+nb) = a * b by the classical algorithm, summing the products column
/// by column (product scanning: P. G. Comba, IBM Systems Journal 29(4), 1990).
/// na, nb >= 1; r must not overlap a or b.
void Multiply(Limb* r, const Limb* a, uint32_t na, const Limb* b, uint32_t nb);
/// r[0..2n) = a * a, column by column: each cross product a[i] * a[j] (i < j)
/// once, doubled, plus the squares a[i]^2 on the diagonal. n >= 1; r must not
/// overlap a.
void Square(Limb* r, const Limb* a, uint32_t n);

// ---- Subquadratic products (karatsuba.cpp, toom3.cpp, toom4.cpp) -----------

/// The classical product and square that the subquadratic products bottom out
/// in, the operand lengths from which a Karatsuba step takes over from them,
/// those from which a Toom-3 step takes over from Karatsuba's, and those from
/// which a Toom-4 step takes over from Toom-3's. A processor
/// kernel with faster classical products passes its own; its thresholds may
/// not lie below the portable ones, on which the scratch sizes are counted.
struct ProductBasecase {
  void (*multiply)(Limb* r, const Limb* a, uint32_t na, const Limb* b, uint32_t nb);
  void (*square)(Limb* r, const Limb* a, uint32_t n);
  uint32_t karatsubaMultiplyThreshold;
  uint32_t karatsubaSquareThreshold;
  uint32_t toom3MultiplyThreshold;
  uint32_t toom3SquareThreshold;
  uint32_t toom4MultiplyThreshold;
  uint32_t toom4SquareThreshold;
};
/// Multiply and Square above, with the thresholds of bigint/limbs/tuning.h.
extern const ProductBasecase kPortableBasecase;

/// Scratch limbs that FastMultiply and FastSquare need for operands of up to n
/// limbs.
uint32_t ProductScratchLimbs(uint32_t n);
/// r[0..na+nb) = a * b, by the classical algorithm, Karatsuba's, Toom-Cook
/// 3-way or 4-way according to the sizes; an operand more than about twice as
/// long as the other is cut into pieces of the shorter one's length. na, nb >= 1; r must not
/// overlap a, b or scratch, which holds ProductScratchLimbs(max(na, nb)) limbs.
void FastMultiply(Limb* r, const Limb* a, uint32_t na, const Limb* b, uint32_t nb, Limb* scratch,
                  const ProductBasecase& basecase = kPortableBasecase);
/// r[0..2n) = a * a, as FastMultiply.
void FastSquare(Limb* r, const Limb* a, uint32_t n, Limb* scratch,
                const ProductBasecase& basecase = kPortableBasecase);
/// One step of Karatsuba's method, its three half-size products formed by
/// FastMultiply: r[0..na+nb) = a * b for h < nb <= na with h = ceil(na / 2).
void KaratsubaMultiply(Limb* r, const Limb* a, uint32_t na, const Limb* b, uint32_t nb,
                       Limb* scratch, const ProductBasecase& basecase = kPortableBasecase);
/// One step of Karatsuba's method for a square: r[0..2n) = a * a, n >= 2.
void KaratsubaSquare(Limb* r, const Limb* a, uint32_t n, Limb* scratch,
                     const ProductBasecase& basecase = kPortableBasecase);
/// One step of Toom-Cook 3-way (toom3.cpp), its five products of about a third
/// of the size formed by FastMultiply: r[0..na+nb) = a * b for
/// 2k < nb <= na with k = ceil(na / 3).
void Toom3Multiply(Limb* r, const Limb* a, uint32_t na, const Limb* b, uint32_t nb, Limb* scratch,
                   const ProductBasecase& basecase = kPortableBasecase);
/// One step of Toom-Cook 3-way for a square: r[0..2n) = a * a, n >= 3.
void Toom3Square(Limb* r, const Limb* a, uint32_t n, Limb* scratch,
                 const ProductBasecase& basecase = kPortableBasecase);
/// One step of Toom-Cook 4-way (toom4.cpp), its seven products of about a
/// quarter of the size formed by FastMultiply: r[0..na+nb) = a * b for
/// 3k < nb <= na with k = ceil(na / 4).
void Toom4Multiply(Limb* r, const Limb* a, uint32_t na, const Limb* b, uint32_t nb, Limb* scratch,
                   const ProductBasecase& basecase = kPortableBasecase);
/// One step of Toom-Cook 4-way for a square: r[0..2n) = a * a, n >= 10 (so
/// that n > 3k).
void Toom4Square(Limb* r, const Limb* a, uint32_t n, Limb* scratch,
                 const ProductBasecase& basecase = kPortableBasecase);

// ---- Products modulo beta^h - 1 and beta^h + 1 (wrapped_products.cpp) -------

/// r[0..h) = x[0..nx) mod (beta^h - 1) for nx <= 2h; beta^h - 1 may stand for 0.
void FoldCyclic(Limb* r, const Limb* x, uint32_t nx, uint32_t h);
/// r[0..h] = x[0..nx) mod (beta^h + 1) in [0, beta^h], for nx <= 2h.
void FoldNegacyclic(Limb* r, const Limb* x, uint32_t nx, uint32_t h);
/// r[0..n) = a b mod (beta^n - 1) for n-limb a and b; scratch holds
/// MultiplyCyclicScratchLimbs(n) limbs.
void MultiplyCyclic(Limb* r, const Limb* a, const Limb* b, uint32_t n, Limb* scratch,
                    const ProductBasecase& basecase = kPortableBasecase);
uint32_t MultiplyCyclicScratchLimbs(uint32_t n);
/// r[0..h] = a b mod (beta^h + 1) for a, b in [0, beta^h] (h + 1 limbs each);
/// scratch holds 2h + ProductScratchLimbs(h) limbs.
void MultiplyNegacyclic(Limb* r, const Limb* a, const Limb* b, uint32_t h, Limb* scratch,
                        const ProductBasecase& basecase = kPortableBasecase);
/// w[0..2h) = the W modulo beta^(2h) - 1 with W = w1 mod (beta^h - 1) (h limbs,
/// overwritten) and W = w2 mod (beta^h + 1) (h + 1 limbs); w may hold
/// beta^(2h) - 1 for 0.
void CombineResidues(Limb* w, Limb* w1, const Limb* w2, uint32_t h);

// ---- Division ---------------------------------------------------------------

/// q = floor(u / d) over n limbs, returning u mod d; d != 0. q may equal u.
Limb DivideByLimb(Limb* q, const Limb* u, uint32_t n, Limb d);

/// A divisor prepared for repeated division (Knuth, TAOCP vol. 2, 4.3.1,
/// Algorithm D): shifted so that its top limb has its high bit set, with scratch
/// space for dividends of up to maxDividendLimbs limbs, so Divide allocates
/// nothing.
class Divisor {
 public:
  /// v[0..n) with v[n - 1] != 0.
  Divisor(const Limb* v, uint32_t n, uint32_t maxDividendLimbs);

  uint32_t Size() const { return static_cast<uint32_t>(normalized_.size()); }

  /// u = q * v + r with 0 <= r < v, for nu <= maxDividendLimbs. r gets Size()
  /// limbs; q (may be null) gets nu - Size() + 1 limbs when nu >= Size() and
  /// nothing otherwise. u is read in full before q or r is written, so either
  /// may overlap u (but not each other).
  void Divide(Limb* q, Limb* r, const Limb* u, uint32_t nu);

 private:
  LimbVector normalized_;  // v << shift_
  uint32_t shift_;
  LimbVector dividend_;  // u << shift_, one limb longer than u; becomes the remainder
};

/// u mod v in v.size() limbs, for v nonzero without leading zero limbs.
LimbVector Remainder(const LimbVector& u, const LimbVector& v);

// ---- Residues by many small moduli (remainder_tree.cpp) ---------------------

/// residues[i] = n[0..nn) mod moduli[i] for i < count, every modulus in
/// [1, 2^32); any order, repeats allowed. Below kRemainderTreeThreshold limbs
/// each residue is taken on its own, from there on by a remainder tree.
void ResiduesBySmallModuli(uint32_t* residues, const Limb* n, uint32_t nn, const uint32_t* moduli,
                           size_t count);

}  // namespace limbs
