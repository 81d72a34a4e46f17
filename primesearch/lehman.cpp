/// The Lehman method.
#include "primesearch/lehman.h"

#include "primesearch/progress_clock.h"

const uint32_t LehmanBases[kLehmanBaseCount] = {89, 5179, 25981, 25439, 25013, 25667, 27397};

bool LehmanTest(const BigInt& n, TraceSink& sink) {
  return LehmanTest(n, PreparedModulus(n), sink);
}

bool LehmanTest(const BigInt& n, const PreparedModulus& modulus, TraceSink& sink) {
  sink.Flush();
  const BigInt minusOne = n - 1u;
  const BigInt exponent = minusOne >> 1;  // (n - 1) / 2
  for (uint32_t i = 0; i < kLehmanBaseCount; ++i) {
    ProgressClock progress(sink);
    const BigInt result = modulus.Power(BigInt(LehmanBases[i]), exponent, &progress);
    if (result == minusOne) {
      sink.Format("Lehman result %d suggests prime (-1)\n", static_cast<int>(i));
    } else if (result == 1u) {
      sink.Format("Lehman result %d suggests prime (1)\n", static_cast<int>(i));
    } else {
      sink.Format("Lehman result %d indicates composite\n", static_cast<int>(i));
      return false;
    }
  }
  sink.Line(n.ToDecimalString().Text());
  sink.Line("Appears prime");
  return true;
}
