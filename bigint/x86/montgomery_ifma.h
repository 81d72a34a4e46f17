/// Montgomery multiplication in radix 2^52 on 512-bit vectors, for processors
/// with the AVX-512 52-bit multiply-add instructions (IFMA): a per-modulus
/// context and a per-exponentiation multiplier with the interface of the
/// portable Montgomery arithmetic. The kernel factory reaches it through
/// bigint/x86/kernels.h.
#pragma once

#include <cstdint>
#include <vector>

#include "bigint/limbs/limbs.h"

// The vector kernel is built only where it can be compiled for its instruction
// set alone and chosen at run time: x86-64 with GCC or Clang (function-level
// target attributes, __builtin_cpu_supports) and 64-bit limbs. On Windows the
// 64-bit ABI keeps the stack 16-byte aligned, and GCC does not always realign it
// for the 64-byte spills of 512-bit registers that it writes with aligned moves
// (GCC bug 54412); there the kernel is built only when the build has the
// assembler make every aligned vector move unaligned (bigint/CMakeLists.txt).
#if defined(__x86_64__) && defined(__GNUC__) && defined(__SIZEOF_INT128__) && \
    !defined(LARGEPRIME_NARROW_LIMBS) &&                                      \
    (!defined(_WIN32) || defined(LARGEPRIME_UNALIGNED_VECTOR_MOVES))
#define LARGEPRIME_IFMA_KERNEL 1
#else
#define LARGEPRIME_IFMA_KERNEL 0
#endif

namespace limbs {

/// True when the vector kernel is built in and the processor has its
/// instructions (asked once per process).
bool IfmaAvailable();

#if LARGEPRIME_IFMA_KERNEL

/// A number in radix 2^52: value = sum of digit[i] 2^(52 i), one digit per
/// 64-bit word, least significant first, padded with zero digits to whole
/// vectors of eight.
using Radix52Vector = std::vector<uint64_t>;

/// How a vector Montgomery product is formed: chosen by the modulus's size
/// (bigint/x86/tuning.h), or forced for the measurements behind that choice.
enum class IfmaMethod {
  kChosen,
  kInterleaved,  // product and reduction step by step, in registers (up to
                 // kIfmaMaxRegisterVectors vectors; by products above)
  kByProducts,   // the product in full by Karatsuba's method, reduced by products
};

/// What one odd modulus m > 1 needs for vector Montgomery arithmetic, built once
/// and never changed afterwards, so threads may share it: m in radix 2^52 in
/// whole vectors, -m^-1 mod 2^52, and R^2 mod m for R = 2^(52 k). The digit
/// count k is the least with 4 m < R, which lets products stay below 2 m
/// without a final subtraction (almost Montgomery multiplication); where the
/// products are formed in full, k is every digit of the whole vectors, and
/// -m^-1 mod R is kept for the reduction by products.
class IfmaModulus {
 public:
  /// modulus: odd, above 1, without leading zero limbs.
  explicit IfmaModulus(LimbVector modulus, IfmaMethod method = IfmaMethod::kChosen);

  /// 64-bit words of one representative: k digits padded to whole vectors.
  uint32_t Size() const { return static_cast<uint32_t>(modulus_.size()); }
  /// Limbs of the modulus.
  uint32_t PlainSize() const { return static_cast<uint32_t>(plain_.size()); }
  /// k, the number of radix-2^52 digits that R spans.
  uint32_t Digits() const { return digits_; }
  const LimbVector& Plain() const { return plain_; }
  const uint64_t* Modulus() const { return modulus_.data(); }
  uint64_t NegativeInverse() const { return negativeInverse_; }
  const uint64_t* RSquared() const { return rSquared_.data(); }
  const uint64_t* One() const { return one_.data(); }
  /// Whether products are formed in full and reduced by products.
  bool ByProducts() const { return !inverse_.empty(); }
  /// -m^-1 mod R, Size() words, where ByProducts().
  const uint64_t* Inverse() const { return inverse_.data(); }
  /// m modulo 2^(52 h) - 1 and 2^(52 h) + 1, the factors of the wrapped
  /// product that gives the high half of q m, where ByProducts().
  const uint64_t* CyclicModulus() const { return cyclic_.data(); }
  const uint64_t* NegacyclicModulus() const { return negacyclic_.data(); }

  /// r = a b / R mod m + (0 or m), for a, b below 2 m with normalised digits;
  /// r gets Size() words of normalised digits and may be a or b. Interleaved
  /// moduli only.
  void Product(uint64_t* r, const uint64_t* a, const uint64_t* b) const {
    product_(r, a, b, *this);
  }
  /// r = a a / R mod m + (0 or m), as Product(r, a, a) gives it, with fewer
  /// multiplications; r may be a. Interleaved moduli only.
  void Square(uint64_t* r, const uint64_t* a) const { square_(r, a, *this); }

 private:
  using ProductKernel = void (*)(uint64_t*, const uint64_t*, const uint64_t*, const IfmaModulus&);
  using SquareKernel = void (*)(uint64_t*, const uint64_t*, const IfmaModulus&);

  LimbVector plain_;
  uint32_t digits_;
  Radix52Vector modulus_;
  uint64_t negativeInverse_;
  Radix52Vector rSquared_;
  Radix52Vector one_;
  Radix52Vector inverse_;
  Radix52Vector cyclic_;
  Radix52Vector negacyclic_;
  ProductKernel product_ = nullptr;
  SquareKernel square_ = nullptr;
};

/// Montgomery arithmetic modulo one IfmaModulus for one exponentiation, with
/// its own scratch space. Representatives are Size() words in radix 2^52,
/// below 2 m (congruent to x R, not necessarily reduced); plain values are
/// PlainSize() 64-bit limbs below m.
class IfmaMultiplier {
 public:
  explicit IfmaMultiplier(const IfmaModulus& modulus);

  uint32_t Size() const { return modulus_.Size(); }
  uint32_t PlainSize() const { return modulus_.PlainSize(); }
  /// r = a R mod m (a representative) for the plain value a < m.
  void Enter(Limb* r, const Limb* a);
  /// r = a / R mod m, fully reduced: the plain value that a represents.
  void Leave(Limb* r, const Limb* a);
  /// r represents the product of what a and b represent; r may be a or b.
  void Multiply(Limb* r, const Limb* a, const Limb* b);
  /// r represents the square of what a represents; r may be a.
  void Square(Limb* r, const Limb* a);

 private:
  // r = a b / R mod m + (0 or m), by the modulus's method.
  void Product(uint64_t* r, const uint64_t* a, const uint64_t* b);
  // r = product_ / R mod m + (0 or m), by products.
  void Reduce(uint64_t* r);

  const IfmaModulus& modulus_;
  Radix52Vector scratch_;  // a value in radix 2^52, Size() words
  Radix52Vector product_;  // a full product, 2 Size() words, where ByProducts()
  Radix52Vector low_;      // q m mod R, Size() words
  Radix52Vector high_;     // q m / R, Size() words
  Radix52Vector productScratch_;
};

#endif  // LARGEPRIME_IFMA_KERNEL

}  // namespace limbs
