/// The Lehman method.
#include "primesearch/lehman.h"

#include <cstdio>

const uint32_t LehmanBases[kLehmanBaseCount] = {89, 5179, 25981, 25439, 25013, 25667, 27397};

namespace {
constexpr uint32_t kProgressIntervalMs = 1000;
}  // namespace

bool LehmanTest(const BigInt& n) {
  // The exponentiations can take long: let a reader of a pipe or file see the
  // trace so far before they start.
  std::fflush(stdout);
  const BigInt exponent = (n - 1u) / 2u;
  const BigInt minusOne = n - 1u;
  for (uint32_t i = 0; i < kLehmanBaseCount; ++i) {
    const BigInt result = BigInt(LehmanBases[i]).PowMod(exponent, n, kProgressIntervalMs);
    if (result == minusOne) {
      std::printf("Lehman result %d suggests prime (-1)\n", static_cast<int>(i));
    } else if (result == 1u) {
      std::printf("Lehman result %d suggests prime (1)\n", static_cast<int>(i));
    } else {
      std::printf("Lehman result %d indicates composite\n", static_cast<int>(i));
      return false;
    }
  }
  std::puts(n.DecimalText());
  std::puts("Appears prime");
  return true;
}
