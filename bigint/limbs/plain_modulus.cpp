/// Multiplication modulo any modulus by the product and long division.
#include "bigint/limbs/plain_modulus.h"

namespace limbs {

PlainModulus::PlainModulus(LimbVector modulus)
    : size_(static_cast<uint32_t>(modulus.size())),
      divisor_(modulus.data(), size_, 2 * size_),
      product_(2 * size_) {}

void PlainModulus::Enter(Limb* r, const Limb* a) {
  for (uint32_t i = 0; i < size_; ++i) r[i] = a[i];
}

void PlainModulus::Leave(Limb* r, const Limb* a) { Enter(r, a); }

void PlainModulus::Multiply(Limb* r, const Limb* a, const Limb* b) {
  limbs::Multiply(product_.data(), a, size_, b, size_);
  divisor_.Divide(nullptr, r, product_.data(), 2 * size_);
}

void PlainModulus::Square(Limb* r, const Limb* a) {
  limbs::Square(product_.data(), a, size_);
  divisor_.Divide(nullptr, r, product_.data(), 2 * size_);
}

}  // namespace limbs
