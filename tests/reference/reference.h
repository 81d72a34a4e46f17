/// The literal bit-serial multiplication, long division, modular exponentiation
/// and decimal conversion of BigInt, kept as the oracle that the word-level
/// operations of the library must match value for value and length for length.
/// Built only from BigInt operations that these do not use (copies, assignment,
/// comparisons, shifts, OR, addition and subtraction).
#pragma once

#include <cstdint>

#include "bigint/bigint.h"
#include "bigint/charstring.h"

namespace reference {

/// a * b by shift-and-add over the bits of b (the value and length of a *= b).
BigInt Multiply(BigInt a, BigInt b);

/// Binary long division: the divisor is scaled up to the dividend by whole
/// digits, backed off bit by bit, then subtracted wherever it fits, one quotient
/// bit at a time.
void LongDivide(const BigInt& a, const BigInt& b, BigInt* quotient, BigInt* remainder);
BigInt Quotient(const BigInt& a, const BigInt& b);
BigInt Remainder(const BigInt& a, const BigInt& b);
/// a / v, a /= v (the same value and length) and a % v with the two-digit BigInt(v).
BigInt QuotientBy(const BigInt& a, uint32_t v);
uint32_t RemainderBy(const BigInt& a, uint32_t v);

/// base^exponent mod modulus by right-to-left square-and-multiply.
BigInt PowMod(const BigInt& base, BigInt exponent, const BigInt& modulus);

/// Decimal text by one remainder and one division by 10 per decimal digit.
CharString ToDecimalString(const BigInt& x);

}  // namespace reference
