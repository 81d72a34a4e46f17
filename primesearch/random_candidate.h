/// The random starting number of a search.
#pragma once

#include <cstdint>

#include "bigint/bigint.h"

/// A number of up to 8 * byteCount bits, built from 2 * byteCount 4-bit pieces,
/// each the low four bits of a high-resolution counter reading, most significant
/// piece first. Prints every piece as it is made. The result has at least two
/// digits.
BigInt RandomBigInt(uint16_t byteCount);
