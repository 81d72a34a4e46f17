/// BigInt: an arbitrary-precision unsigned integer with value semantics, the
/// number type of the whole prime search.
#pragma once

#include <cstdint>

#include "bigint/charstring.h"

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
///
/// Copies are deep: every copy, by-value argument and by-value result owns its own
/// array. Arguments taken by value may be the target itself (a += a, a *= a).
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
  BigInt& operator=(BigInt b);

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
  /// b is a private copy, so a += a doubles a.
  BigInt& operator+=(BigInt b);
  /// a -= b: a's length is kept. Digits of b at or above a's length are ignored.
  /// For a >= b the result is a - b. For a < b it wraps around:
  /// (a - b) mod kDigitBase^length, still in normal form.
  BigInt& operator-=(const BigInt& b);
  /// a -= v: as a -= b with b the two-digit value v; the empty value stays empty.
  BigInt& operator-=(uint32_t v);
  /// A copy of a with v subtracted, a's length.
  BigInt operator-(uint32_t v) const;

  // ---- Multiplication ------------------------------------------------------

  /// a *= b: shift-and-add over the bits of b. b is a private copy, so a *= a
  /// squares. For b = 0 the result is zero with a's length (at least one digit).
  BigInt& operator*=(BigInt b);
  BigInt operator*(BigInt b) const;

  // ---- Division and remainder (long division, one quotient bit at a time) ---
  //
  // q = a / b, r = a % b with a = q * b + r and 0 <= r < b, for b != 0.
  // Lengths: when a == b * 2^k the quotient is 1 << k from two digits and the
  // remainder is the two-digit 0; otherwise the remainder has a's length and the
  // quotient the length of b scaled by whole digits up to a. A zero divisor gives
  // zero with b's length for both.

  BigInt operator/(const BigInt& b) const;
  BigInt operator%(const BigInt& b) const;
  /// a / BigInt(v).
  BigInt operator/(uint32_t v) const;
  /// a = a / v; a takes the quotient's length.
  BigInt& operator/=(uint32_t v);
  /// The remainder a % BigInt(v) as a number; 0 for the empty value and for v = 0.
  uint32_t operator%(uint32_t v) const;

  // ---- Modular exponentiation ----------------------------------------------

  /// this^exponent mod modulus by right-to-left square-and-multiply. Exponent 0
  /// gives the two-digit 1, unreduced; a zero modulus gives zero for any nonzero
  /// exponent. With a nonzero progressIntervalMs, prints
  /// "<bits> bits remaining in PowMod." whenever more than that interval has
  /// passed since the last report.
  BigInt PowMod(BigInt exponent, const BigInt& modulus, uint32_t progressIntervalMs) const;

  // ---- Decimal text --------------------------------------------------------

  /// Decimal digits, most significant first, in a block of 5 * length + 1 bytes.
  /// Zero reads "0"; the empty value gives the empty CharString.
  CharString ToDecimalString() const;
  /// The decimal digits in one process-wide cached string; the pointer stays
  /// valid until the next call. Null for the empty value.
  const char* DecimalText() const;

 private:
  uint32_t TopWord() const { return digits[length - 1]; }
  void ShiftDigitsUp();
  void ShiftDigitsDown();
  void BorrowInto(uint32_t i);
  void LongDivide(const BigInt& b, BigInt* quotient, BigInt* remainder) const;
  int32_t Compare(const BigInt& b) const;

  uint32_t length;
  uint32_t* digits;
};
