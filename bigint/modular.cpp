/// Montgomery arithmetic for odd moduli and plain modular multiplication for
/// the others.
#include "bigint/modular.h"

#include <utility>

namespace limbs {

namespace {

// x with x * m0 = 1 mod beta, for odd m0, by Newton's iteration
// x <- x (2 - m0 x), which doubles the number of correct low bits each time.
// m0 * m0 = 1 mod 8 gives the first three.
Limb InverseModBeta(Limb m0) {
  Limb x = m0;
  for (uint32_t correctBits = 3; correctBits < kLimbBits; correctBits *= 2) x *= 2 - m0 * x;
  return x;
}

// sum + top beta^2 += x y, where top counts the overflows of the double-width
// sum: one add-with-carry chain of three steps per product.
inline void Accumulate(WideLimb& sum, Limb& top, Limb x, Limb y) {
  const WideLimb product = static_cast<WideLimb>(x) * y;
  sum += product;
  top += sum < product ? 1 : 0;
}

// The running sum of one column of products and of the carry from the columns
// below it, in three limbs.
class ColumnSum {
 public:
  void Add(Limb x, Limb y) { Accumulate(sum_, top_, x, y); }
  /// Adds x[0] y[0] + x[1] y[-1] + ... + x[count-1] y[-(count-1)]: the products
  /// of one column, x running up one array while y runs down the other. Four
  /// products per pass, with the sum held in locals, keep the loop tight.
  void AddProducts(const Limb* x, const Limb* y, uint32_t count) {
    WideLimb sum = sum_;
    Limb top = top_;
    for (; count >= 4; count -= 4, x += 4, y -= 4) {
      Accumulate(sum, top, x[0], *y);
      Accumulate(sum, top, x[1], *(y - 1));
      Accumulate(sum, top, x[2], *(y - 2));
      Accumulate(sum, top, x[3], *(y - 3));
    }
    for (; count != 0; --count, ++x, --y) Accumulate(sum, top, *x, *y);
    sum_ = sum;
    top_ = top;
  }
  /// Adds twice the sum s.
  void AddTwice(const ColumnSum& s) {
    for (int copy = 0; copy < 2; ++copy) {
      sum_ += s.sum_;
      top_ += sum_ < s.sum_ ? 1 : 0;
    }
    top_ += 2 * s.top_;
  }
  /// The column's limb: the sum modulo beta.
  Limb Low() const { return static_cast<Limb>(sum_); }
  /// Moves on to the next column, carrying floor(sum / beta) into it.
  void NextColumn() {
    sum_ = (sum_ >> kLimbBits) | (static_cast<WideLimb>(top_) << kLimbBits);
    top_ = 0;
  }

 private:
  WideLimb sum_ = 0;
  Limb top_ = 0;
};

}  // namespace

MontgomeryModulus::MontgomeryModulus(LimbVector modulus)
    : modulus_(std::move(modulus)), negativeInverse_(0 - InverseModBeta(modulus_[0])) {
  // R^2 mod m = beta^(2n) mod m, by one division.
  const uint32_t n = Size();
  LimbVector beta2n(2 * n + 1);
  beta2n[2 * n] = 1;
  rSquared_ = Remainder(beta2n, modulus_);
}

MontgomeryMultiplier::MontgomeryMultiplier(const MontgomeryModulus& modulus)
    : modulus_(modulus), one_(modulus.Size()), quotient_(modulus.Size()) {
  one_[0] = 1;
}

// The sum a b + q m is below 2 m R, so after the division by R one subtraction
// of m at most brings it below m (HAC 14.32, step 3).
void MontgomeryMultiplier::SubtractModulusIfAbove(Limb* r, Limb carry) const {
  const uint32_t n = Size();
  if (carry != 0 || CompareLimbs(r, modulus_.Modulus(), n) >= 0)
    SubtractLimbs(r, r, modulus_.Modulus(), n);
}

// Column k of a b + q m sums a[j] b[k-j] and q[j] m[k-j]. In the low n columns
// q[k] is chosen, once the rest of column k is summed, so that the column ends
// in a zero limb (q[k] = sum * (-m^-1) mod beta); those limbs are dropped, which
// divides by R. The high n columns are the result. Column k reads a and b only
// at indices above k - n, so r may be a or b.
void MontgomeryMultiplier::Multiply(Limb* r, const Limb* a, const Limb* b) {
  const uint32_t n = Size();
  const Limb* m = modulus_.Modulus();
  const Limb negativeInverse = modulus_.NegativeInverse();
  Limb* q = quotient_.data();
  ColumnSum sum;
  for (uint32_t k = 0; k < n; ++k) {
    sum.AddProducts(a, b + k, k + 1);
    sum.AddProducts(q, m + k, k);
    q[k] = sum.Low() * negativeInverse;
    sum.Add(q[k], m[0]);
    sum.NextColumn();
  }
  for (uint32_t k = n; k < 2 * n; ++k) {
    const uint32_t first = k - n + 1;
    sum.AddProducts(a + first, b + n - 1, 2 * n - 1 - k);
    sum.AddProducts(q + first, m + n - 1, 2 * n - 1 - k);
    r[k - n] = sum.Low();
    sum.NextColumn();
  }
  SubtractModulusIfAbove(r, sum.Low());
}

// As Multiply with b = a, but each cross product a[j] a[k-j] (j < k - j) of a
// column is summed once and doubled, and the square a[k/2]^2 added once.
void MontgomeryMultiplier::Square(Limb* r, const Limb* a) {
  const uint32_t n = Size();
  const Limb* m = modulus_.Modulus();
  const Limb negativeInverse = modulus_.NegativeInverse();
  Limb* q = quotient_.data();
  ColumnSum sum;
  for (uint32_t k = 0; k < 2 * n; ++k) {
    // Column k runs over j = first .. last with k - j in the same range.
    const uint32_t first = k < n ? 0 : k - n + 1;
    const uint32_t last = k < n ? k : n - 1;
    ColumnSum cross;
    cross.AddProducts(a + first, a + last, (last - first + 1) / 2);
    sum.AddTwice(cross);
    if (k % 2 == 0) sum.Add(a[k / 2], a[k / 2]);
    if (k < n) {
      sum.AddProducts(q, m + k, k);
      q[k] = sum.Low() * negativeInverse;
      sum.Add(q[k], m[0]);
    } else {
      sum.AddProducts(q + first, m + last, last - first + 1);
      r[k - n] = sum.Low();
    }
    sum.NextColumn();
  }
  SubtractModulusIfAbove(r, sum.Low());
}

void MontgomeryMultiplier::Enter(Limb* r, const Limb* a) { Multiply(r, a, modulus_.RSquared()); }

void MontgomeryMultiplier::Leave(Limb* r, const Limb* a) { Multiply(r, a, one_.data()); }

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
