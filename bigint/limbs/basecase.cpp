/// The classical product and square, column by column.
#include "bigint/limbs/column_sum.h"
#include "bigint/limbs/limbs.h"

namespace limbs {

// Product scanning: column k of the product sums a[j] b[k - j] over the j with
// both indices in range, plus the carry from column k - 1.
void Multiply(Limb* r, const Limb* a, uint32_t na, const Limb* b, uint32_t nb) {
  ColumnSum sum;
  for (uint32_t k = 0; k + 1 < na + nb; ++k) {
    const uint32_t first = k < nb ? 0 : k - nb + 1;
    const uint32_t last = k < na ? k : na - 1;
    sum.AddProducts(a + first, b + (k - first), last - first + 1);
    r[k] = sum.Low();
    sum.NextColumn();
  }
  r[na + nb - 1] = sum.Low();
}

// As Multiply with b = a, but each cross product of a column summed once and
// doubled.
void Square(Limb* r, const Limb* a, uint32_t n) {
  ColumnSum sum;
  for (uint32_t k = 0; k + 1 < 2 * n; ++k) {
    sum.AddSquareColumn(a, n, k);
    r[k] = sum.Low();
    sum.NextColumn();
  }
  r[2 * n - 1] = sum.Low();
}

// ---- Division -------------------------------------------------------------------

}  // namespace limbs
