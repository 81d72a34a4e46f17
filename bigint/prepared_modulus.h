/// A modulus prepared once for any number of exponentiations.
#pragma once

#include <cstdint>
#include <memory>

#include "bigint/bigint.h"
#include "bigint/powmod_observer.h"

namespace limbs {
struct PreparedModulusAccess;
}

/// Everything an exponentiation needs that depends on the modulus alone (for an
/// odd modulus the Montgomery constants and R^2 mod m, for the fastest
/// arithmetic this processor has at the modulus's size), computed by the
/// constructor. Power is const and keeps its working space to itself, so one
/// prepared modulus may serve several threads at once.
class PreparedModulus {
 public:
  explicit PreparedModulus(const BigInt& modulus);
  ~PreparedModulus();
  PreparedModulus(PreparedModulus&&) noexcept;
  PreparedModulus& operator=(PreparedModulus&&) noexcept;
  PreparedModulus(const PreparedModulus&) = delete;
  PreparedModulus& operator=(const PreparedModulus&) = delete;

  /// base^exponent mod modulus, with the value and length contract of
  /// BigInt::PowMod: exponent 0 gives 1 unreduced, modulus 0 or 1 gives 0 for
  /// a nonzero exponent, and the result has max(modulus's length, 2) digits.
  /// The observer, when given, hears every checkpoint.
  BigInt Power(const BigInt& base, const BigInt& exponent,
               PowModObserver* observer = nullptr) const;

 private:
  class Context;
  friend struct limbs::PreparedModulusAccess;  // prepares with a named kernel

  explicit PreparedModulus(std::unique_ptr<const Context> context);

  std::unique_ptr<const Context> context_;
};
