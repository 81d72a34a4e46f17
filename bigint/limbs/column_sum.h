/// The running sum of one column of limb products, the inner step of the
/// product-scanning (column by column) forms of multiplication, squaring and
/// Montgomery multiplication. Internal to the bigint library.
#pragma once

#include <cstdint>

#include "bigint/limbs/limbs.h"

namespace limbs {

/// sum + top beta^2 += x y, where top counts the overflows of the double-width
/// sum: one add-with-carry chain of three steps per product.
inline void Accumulate(WideLimb& sum, Limb& top, Limb x, Limb y) {
  const WideLimb product = static_cast<WideLimb>(x) * y;
  sum += product;
  top += sum < product ? 1 : 0;
}

/// The sum of one column of products and of the carry from the columns below
/// it, in three limbs.
class ColumnSum {
 public:
  void Add(Limb x, Limb y) { Accumulate(sum_, top_, x, y); }
  /// Adds the single limb x.
  void AddLimb(Limb x) {
    sum_ += x;
    top_ += sum_ < x ? 1 : 0;
  }
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
  /// Adds column k of the square of a[0..n): each cross product a[j] a[k - j]
  /// (j < k - j) summed once and doubled, and a[k / 2]^2 once.
  void AddSquareColumn(const Limb* a, uint32_t n, uint32_t k) {
    const uint32_t first = k < n ? 0 : k - n + 1;
    const uint32_t last = k < n ? k : n - 1;
    ColumnSum cross;
    cross.AddProducts(a + first, a + last, (last - first + 1) / 2);
    AddTwice(cross);
    if (k % 2 == 0) Add(a[k / 2], a[k / 2]);
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

}  // namespace limbs
