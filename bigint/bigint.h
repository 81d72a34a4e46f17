/// BigInt: an arbitrary-precision unsigned integer with value semantics, the
/// number type of the whole prime search.
#pragma once

#include <cstdint>

#include "bigint/charstring.h"
#include "bigint/powmod_observer.h"

/// Representation:
///   value = sum of digits[i] * kDigitBase^i for 0 <= i < length,
/// one base-65536 digit per 32-bit word, least significant first.
///
/// - `digits` holds exactly `length` words and is null exactly when `length` is 0;
///   length 0 is a valid value, the number 0.
/// - Normal form: every word is at most kDigitMask. Every operation takes its
///   operands in normal form and leaves its results in normal form; only `=` from a
///   32-bit value and `+=` let a word exceed a digit, and normalise before returning.
/// - Leading zero digits are never trimmed. `length` records how far a value has
///   grown, not how many significant digits it has, so two equal values may differ
///   in length, and every operation accepts operands of any length, with leading
///   zero digits, or of length 0. The result length of each operation is part of
///   its contract and is stated below.
/// - Headroom: the sum of two digits plus a carry stays below 2^18, so digit
///   arithmetic in 32-bit words cannot overflow.
/// - Multiplication, division, modular exponentiation and decimal conversion
///   pack the digits into wider limbs internally (bigint/limbs/limbs.h) and unpack
///   their results; values and lengths do not depend on the limb width.
///
/// Copies are deep: every copy and by-value result owns its own array; a move
/// hands the array over and leaves the source empty (length 0). Any argument may
/// be the target itself (a += a, a *= a, a |= a, a -= a).
/// Nothing here reports an error; preconditions are stated per operation.
class BigInt {
 public:
  static constexpr uint32_t kDigitBits = 16;
  static constexpr uint32_t kDigitBase = 1u << kDigitBits;
  static constexpr uint32_t kDigitMask = kDigitBase - 1;

  // ---- Lifecycle -----------------------------------------------------------

  /// The number 0 with length 0 and no array.
  BigInt();
  /// v with exactly two digits (low, high), also for 0 and 1.
  explicit BigInt(uint32_t v);
  /// A copy with b's exact length, leading zero digits included.
  BigInt(const BigInt& b);
  /// Takes over b's array; b is left empty.
  BigInt(BigInt&& b) noexcept;
  /// Releases the array and leaves the empty state.
  virtual ~BigInt();

  /// Makes the array exactly n words: growing zero-fills new high digits,
  /// shrinking keeps the n low digits, 0 gives the empty state.
  void Resize(uint32_t n);
  /// Propagates carries from every word above kDigitMask into the next one,
  /// growing by one digit when the top word carries. Each word must leave room to
  /// absorb the carry from below.
  void Normalize();

  /// a = v: the value v; length becomes max(old length, 1) for v <= kDigitMask and
  /// max(old length, 2) otherwise.
  BigInt& operator=(uint32_t v);
  /// a = b: a copy of b with b's exact length (may shorten a or empty it).
  BigInt& operator=(const BigInt& b);
  /// a = b by taking over b's array; b is left empty.
  BigInt& operator=(BigInt&& b) noexcept;

  // ---- Read access ---------------------------------------------------------

  uint32_t Length() const { return length; }
  /// The word array (null when Length() is 0).
  const uint32_t* Digits() const { return digits; }
  /// Writable words, for building a value word by word; the caller restores
  /// normal form (Normalize) before any other operation.
  uint32_t* Digits() { return digits; }

  // ---- Comparison and bit queries (operands compared as numbers) ------------

  /// True when any digit is nonzero; false for zero of any length.
  bool IsNonZero() const;
  /// Word 0 AND mask; 0 for the empty value.
  uint32_t LowBits(uint32_t mask) const;
  /// Index of the highest set bit; 0 for zero and for one.
  int32_t HighestBit() const;

  bool operator<(const BigInt& b) const;
  bool operator<=(const BigInt& b) const;
  bool operator==(const BigInt& b) const;
  bool operator>(const BigInt& b) const;
  bool operator>=(const BigInt& b) const;
  bool operator==(uint32_t v) const;
  bool operator<=(uint32_t v) const;
  bool operator>(uint32_t v) const;

  // ---- Shifts and OR -------------------------------------------------------

  /// a >>= n: length unchanged; the empty value stays empty.
  BigInt& operator>>=(uint32_t n);
  /// a <<= n: length becomes max(old length, digits the shifted value needs);
  /// the empty value stays empty.
  BigInt& operator<<=(uint32_t n);
  /// Shifted copies; lengths as for the in-place forms.
  BigInt operator>>(uint32_t n) const;
  BigInt operator<<(uint32_t n) const;
  /// a |= b: length becomes max(a's length, b's length). b may be a itself.
  BigInt& operator|=(const BigInt& b);
  /// a |= v: length becomes max(old length, 2).
  BigInt& operator|=(uint32_t v);
  /// A copy of a with v ORed in; length max(a's length, 2).
  BigInt operator|(uint32_t v) const;

  // ---- Addition and subtraction --------------------------------------------

  /// a += b: length max(a's, b's), plus one when the top digit carries out.
  /// a += a doubles a.
  BigInt& operator+=(const BigInt& b);
  /// a -= b: a's length is kept. Digits of b at or above a's length are ignored.
  /// For a >= b the result is a - b. For a < b it wraps around:
  /// (a - b) mod kDigitBase^length, still in normal form.
  BigInt& operator-=(const BigInt& b);
  /// a -= v: as a -= b with b the two-digit value v; the empty value stays empty.
  BigInt& operator-=(uint32_t v);
  /// A copy of a with v subtracted, a's length.
  BigInt operator-(uint32_t v) const;

  // ---- Multiplication ------------------------------------------------------

  /// a *= b: a = a * b on wide limbs (squaring when the operands are equal).
  /// Length: max(a's length, 1, digits the product needs); b's length plays no
  /// part. a *= a squares.
  BigInt& operator*=(const BigInt& b);
  /// a * b: the product as a new value, with the length of a *= b.
  BigInt operator*(const BigInt& b) const;

  // ---- Division and remainder ------------------------------------------------
  //
  // q = a / b, r = a % b with a = q * b + r and 0 <= r < b, for b != 0, by
  // Knuth's Algorithm D on wide limbs. Lengths, with Lb = b's length and nb the
  // digits b's value needs:
  // - b == 0: q and r are both zero with length Lb;
  // - a < b: q is zero with length Lb, r = a with a's length;
  // - a == b * 65536^k (k >= 0): q = 65536^k with length max(2, k + 1), r is
  //   the two-digit 0;
  // - otherwise q has length max(Lb, nb + digits q needs), r has a's length.

  BigInt operator/(const BigInt& b) const;
  BigInt operator%(const BigInt& b) const;
  /// a / BigInt(v), with the lengths above for a two-digit divisor.
  BigInt operator/(uint32_t v) const;
  /// a = a / v; a takes the quotient's length.
  BigInt& operator/=(uint32_t v);
  /// The full remainder a % v as a number (also for v > 65536); 0 for the empty
  /// value and for v = 0.
  uint32_t operator%(uint32_t v) const;

  // ---- Modular exponentiation ----------------------------------------------

  /// this^exponent mod modulus, by left-to-right sliding-window exponentiation
  /// with Montgomery multiplication for an odd modulus and multiplication plus
  /// long division for an even one. Exponent 0 gives 1, unreduced (also for
  /// modulus 0 or 1); modulus 0 gives 0 for any nonzero exponent. The result's
  /// length is max(modulus's length, 2) in every case; the base may have any
  /// length and size.
  ///
  /// Progress: with a nonzero progressIntervalMs and an observer, the observer
  /// hears every checkpoint (see PowModObserver) and applies the interval
  /// itself; interval 0 or no observer computes silently. Neither changes the
  /// result. For many powers modulo one number, PreparedModulus does the
  /// modulus's share of the work once.
  BigInt PowMod(const BigInt& exponent, const BigInt& modulus, uint32_t progressIntervalMs,
                PowModObserver* observer = nullptr) const;

  // ---- Decimal text --------------------------------------------------------

  /// Decimal digits, most significant first, in a block of 5 * length + 1 bytes
  /// (65536^length < 10^(5 length)). Zero reads "0"; the empty value gives the
  /// empty CharString.
  CharString ToDecimalString() const;
  /// The decimal digits in one process-wide cached string; the pointer stays
  /// valid until the next call. Null for the empty value. Not for concurrent
  /// use: threads convert with ToDecimalString.
  const char* DecimalText() const;

 private:
  uint32_t TopWord() const { return digits[length - 1]; }
  void ShiftDigitsUp();
  void ShiftDigitsDown();
  void BorrowInto(uint32_t i);
  void Divide(const BigInt& b, BigInt* quotient, BigInt* remainder) const;
  int32_t Compare(const BigInt& b) const;

  uint32_t length;
  uint32_t* digits;
};
