/// A modulus prepared once for any number of exponentiations.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

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
  /// As above, on the named arithmetic kernel ("portable", "adx", "vector" or
  /// "plain") where this build and processor have it and it serves this
  /// modulus, and otherwise on the kernel the constructor above would choose:
  /// KernelName() tells which. For benchmarks and tests of each kernel.
  PreparedModulus(const BigInt& modulus, std::string_view kernel);
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

  /// The kernel the exponentiations run on; "none" for the moduli 0 and 1,
  /// by which every reduction gives 0.
  const char* KernelName() const;

 private:
  class Context;
  friend struct limbs::PreparedModulusAccess;  // the library's own view of the modulus

  std::unique_ptr<const Context> context_;
};
