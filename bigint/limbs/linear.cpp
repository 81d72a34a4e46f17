/// Linear-time limb arithmetic: comparison, single-limb carries and borrows,
/// multiples, and shifts.
#include "bigint/limbs/limbs.h"

namespace limbs {

uint32_t SignificantLimbs(const Limb* x, uint32_t n) {
  while (n > 0 && x[n - 1] == 0) --n;
  return n;
}

uint32_t BitLength(const LimbVector& x) {
  uint32_t bits = kLimbBits * static_cast<uint32_t>(x.size());
  for (Limb top = x.back(); (top >> (kLimbBits - 1)) == 0; top <<= 1) --bits;
  return bits;
}

int32_t CompareLimbs(const Limb* a, const Limb* b, uint32_t n) {
  for (uint32_t i = n; i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

void SubtractModulusIfAbove(Limb* r, const Limb* m, uint32_t n, Limb carry) {
  if (carry != 0 || CompareLimbs(r, m, n) >= 0) SubtractLimbs(r, r, m, n);
}

Limb SubtractLimb(Limb* r, const Limb* a, uint32_t n, Limb c) {
  for (uint32_t i = 0; i < n; ++i) {
    const Limb ai = a[i];
    r[i] = ai - c;
    c = ai < c ? 1 : 0;
  }
  return c;
}

Limb PropagateCarry(Limb* r, uint32_t n, Limb c) {
  for (uint32_t i = 0; i < n && c != 0; ++i) {
    r[i] += c;
    c = r[i] < c ? 1 : 0;
  }
  return c;
}

Limb PropagateBorrow(Limb* r, uint32_t n, Limb c) {
  for (uint32_t i = 0; i < n && c != 0; ++i) {
    const Limb ri = r[i];
    r[i] = ri - c;
    c = ri < c ? 1 : 0;
  }
  return c;
}

Limb MultiplyByLimb(Limb* r, const Limb* a, uint32_t n, Limb b) {
  Limb carry = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const WideLimb product = static_cast<WideLimb>(a[i]) * b + carry;
    r[i] = LowLimb(product);
    carry = HighLimb(product);
  }
  return carry;
}

// (beta - 1)^2 + 2 (beta - 1) = beta^2 - 1: a product plus two limbs fits.
Limb AddMultiple(Limb* r, const Limb* a, uint32_t n, Limb b) {
  Limb carry = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const WideLimb sum = static_cast<WideLimb>(a[i]) * b + r[i] + carry;
    r[i] = LowLimb(sum);
    carry = HighLimb(sum);
  }
  return carry;
}

// a[i] * b + borrow <= (beta - 1) * beta: its high limb reaches beta - 1 only
// with a zero low limb, when the subtraction borrows nothing, so the new borrow
// fits in a limb.
Limb SubtractMultiple(Limb* r, const Limb* a, uint32_t n, Limb b) {
  Limb borrow = 0;
  for (uint32_t i = 0; i < n; ++i) {
    const WideLimb product = static_cast<WideLimb>(a[i]) * b + borrow;
    const Limb low = LowLimb(product);
    const Limb ri = r[i];
    r[i] = ri - low;
    borrow = HighLimb(product) + (ri < low ? 1 : 0);
  }
  return borrow;
}

Limb ShiftLeft(Limb* r, const Limb* a, uint32_t n, uint32_t s) {
  if (n == 0) return 0;
  if (s == 0) {
    for (uint32_t i = n; i-- > 0;) r[i] = a[i];
    return 0;
  }
  const Limb out = a[n - 1] >> (kLimbBits - s);
  // From the top down, so r may be a itself.
  for (uint32_t i = n - 1; i > 0; --i) r[i] = (a[i] << s) | (a[i - 1] >> (kLimbBits - s));
  r[0] = a[0] << s;
  return out;
}

void ShiftRight(Limb* r, const Limb* a, uint32_t n, uint32_t s) {
  if (n == 0) return;
  if (s == 0) {
    for (uint32_t i = 0; i < n; ++i) r[i] = a[i];
    return;
  }
  for (uint32_t i = 0; i + 1 < n; ++i) r[i] = (a[i] >> s) | (a[i + 1] << (kLimbBits - s));
  r[n - 1] = a[n - 1] >> s;
}

void AddInto(Limb* r, uint32_t n, const Limb* x, uint32_t nx) {
  if (nx > n) nx = n;
  PropagateCarry(r + nx, n - nx, AddLimbs(r, r, x, nx));
}

void SubtractFrom(Limb* r, uint32_t n, const Limb* x, uint32_t nx) {
  PropagateBorrow(r + nx, n - nx, SubtractLimbs(r, r, x, nx));
}

void AddOrSubtract(Limb* r, const Limb* a, const Limb* x, uint32_t n, bool subtract) {
  if (subtract) {
    SubtractLimbs(r, a, x, n);
  } else {
    AddLimbs(r, a, x, n);
  }
}

// With D = (beta - 1) / d and a = q d, a D = q (beta - 1), so q = q beta - a D,
// and its complement p = beta^n - 1 - q satisfies p = p beta + (beta - 1) +
// a D modulo beta^n: limb i of p is limb i - 1 of p (beta - 1 below limb 0)
// plus limb i of a D plus the carry. The products a_i D do not wait on each
// other, unlike the division by the inverse of d (T. Jebelean, "An algorithm
// for exact division", 1993), whose limbs each wait on two multiplications;
// what runs in series are two additions, one forming a D from the products'
// halves, one forming p. The recurrence gives q = a d^-1 mod beta^n for any a.
void DivideExactly(Limb* r, const Limb* a, uint32_t n, Limb d) {
  const Limb multiplier = kLimbMax / d;
  Limb high = 0;      // the high limb of the previous product
  Limb carry = 0;     // of the sum forming a D
  Limb p = kLimbMax;  // the previous limb of p
  Limb pCarry = 0;    // of the sum forming p
  for (uint32_t i = 0; i < n; ++i) {
    const WideLimb product = static_cast<WideLimb>(a[i]) * multiplier;
    const Limb low = LowLimb(product);
    Limb limb = low + high;  // limb i of a D
    Limb nextCarry = limb < low ? 1 : 0;
    limb += carry;
    nextCarry += limb < carry ? 1 : 0;
    high = HighLimb(product);
    carry = nextCarry;
    Limb sum = p + limb;
    Limb nextPCarry = sum < limb ? 1 : 0;
    sum += pCarry;
    nextPCarry += sum < pCarry ? 1 : 0;
    p = sum;
    pCarry = nextPCarry;
    r[i] = ~sum;
  }
}

}  // namespace limbs
