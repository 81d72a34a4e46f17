/// The interface through which a modular exponentiation tells its caller how
/// far it has come. The arithmetic itself has no clock and prints nothing.
#pragma once

#include <cstdint>

/// Told of an exponentiation's progress at its checkpoints: after every
/// kBitsPerCheckpoint-th exponent bit processed (from the top bit down) and
/// after the last bit. An exponent whose top bit is h thus gives
/// ceil((h + 1) / kBitsPerCheckpoint) checkpoints; exponent 0 gives none.
class PowModObserver {
 public:
  static constexpr int32_t kBitsPerCheckpoint = 32;

  /// bitsRemaining: the exponent bits still to be processed, minus one; -1
  /// after the last bit. Returning false abandons the exponentiation: it
  /// returns at once, with a value of the usual length that means nothing.
  virtual bool Checkpoint(int32_t bitsRemaining) = 0;

 protected:
  PowModObserver() = default;
  PowModObserver(const PowModObserver&) = default;
  PowModObserver& operator=(const PowModObserver&) = default;
  ~PowModObserver() = default;
};
