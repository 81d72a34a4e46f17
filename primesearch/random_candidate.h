/// The random starting number of a search.
#pragma once

#include <cstdint>

#include "bigint/bigint.h"
#include "primesearch/trace_sink.h"

/// A number of up to 8 * byteCount bits, built from 2 * byteCount 4-bit pieces,
/// each the low four bits of a high-resolution counter reading, most significant
/// piece first. Writes every piece to the sink as it is made. The result has at least two
/// digits. Once the sink has failed no more pieces are made, and the result
/// means nothing.
BigInt RandomBigInt(uint16_t byteCount, TraceSink& sink);
