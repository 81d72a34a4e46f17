/// Up to eight exponentiations at once, each modulo its own odd modulus, on
/// 256-bit vectors with the 32 x 32 -> 64-bit multiplication (AVX2): digit i
/// of the eight numbers fills two vectors of four lanes, every lane runs its
/// own Montgomery arithmetic in a radix small enough that a whole column of
/// products sums in its lane, and no lane waits on or shuffles with another.
#include "bigint/x86/kernels.h"
#include "bigint/x86/lane_batch.h"

// Built for x86-64 with GCC or Clang (function-level target attributes,
// __builtin_cpu_supports); on 64-bit Windows only where the assembler makes
// every aligned vector move unaligned, as for the vector kernel
// (bigint/CMakeLists.txt), since GCC may spill 32-byte registers to a stack it
// keeps 16-byte aligned there.
#if defined(__x86_64__) && defined(__GNUC__) && \
    (!defined(_WIN32) || defined(LARGEPRIME_UNALIGNED_VECTOR_MOVES))
#define LARGEPRIME_AVX2_BATCH_KERNEL 1
#else
#define LARGEPRIME_AVX2_BATCH_KERNEL 0
#endif

#if LARGEPRIME_AVX2_BATCH_KERNEL
#include <immintrin.h>

#include <cstddef>
#endif

namespace limbs {

#if !LARGEPRIME_AVX2_BATCH_KERNEL

bool x86::Avx2BatchServes(const LimbVector& /*modulus*/) { return false; }

bool x86::Avx2BatchPaysBesideAdx() { return false; }

std::unique_ptr<const BatchKernel> x86::MakeAvx2BatchKernel(
    const std::vector<LimbVector>& /*moduli*/) {
  return nullptr;
}

#else

namespace {

using lanes::LaneModuli;
using lanes::LaneWords;

// The functions that run these instructions are compiled for them; nothing
// else in the program is. They raise nothing and call nothing, so on Windows
// they go without unwind data, which lets GCC realign their frames.
#if defined(_WIN32)
#define LARGEPRIME_AVX2_TARGET \
  __attribute__((target("avx2"), optimize("no-asynchronous-unwind-tables", "no-unwind-tables")))
#else
#define LARGEPRIME_AVX2_TARGET __attribute__((target("avx2")))
#endif

constexpr uint32_t kDigitBits = x86::kAvx2BatchDigitBits;
constexpr uint64_t kDigitMask = (uint64_t{1} << kDigitBits) - 1;
constexpr uint32_t kMaxDigits = (x86::kAvx2BatchMaxModulusBits + 2 + kDigitBits - 1) / kDigitBits;

// The a b and q m parts of a column sum apart, each at most k products of
// digits below 2^r, which must fit a lane at the largest size; they meet only
// split into their low digits and the bits above, which are small.
static_assert(kDigitBits <= 32, "a digit is a 32-bit multiplicand");
static_assert(uint64_t{kMaxDigits} <= UINT64_MAX / (kDigitMask * kDigitMask),
              "a lane could overflow");

// One row of eight lanes: lanes 0-3 and 4-7.
struct Row {
  __m256i low;
  __m256i high;
};

LARGEPRIME_AVX2_TARGET inline Row Load(const LaneWords* x) {
  return {_mm256_load_si256(reinterpret_cast<const __m256i*>(&x->word[0])),
          _mm256_load_si256(reinterpret_cast<const __m256i*>(&x->word[4]))};
}

LARGEPRIME_AVX2_TARGET inline void Store(LaneWords* x, Row v) {
  _mm256_store_si256(reinterpret_cast<__m256i*>(&x->word[0]), v.low);
  _mm256_store_si256(reinterpret_cast<__m256i*>(&x->word[4]), v.high);
}

LARGEPRIME_AVX2_TARGET inline Row Zero() {
  return {_mm256_setzero_si256(), _mm256_setzero_si256()};
}

LARGEPRIME_AVX2_TARGET inline Row Add(Row a, Row b) {
  return {_mm256_add_epi64(a.low, b.low), _mm256_add_epi64(a.high, b.high)};
}

// sum + x y per lane, of the low 32 bits of x and y.
LARGEPRIME_AVX2_TARGET inline Row MultiplyAdd(Row sum, Row x, Row y) {
  return {_mm256_add_epi64(sum.low, _mm256_mul_epu32(x.low, y.low)),
          _mm256_add_epi64(sum.high, _mm256_mul_epu32(x.high, y.high))};
}

// The low digit of each lane, and the bits above it.
LARGEPRIME_AVX2_TARGET inline Row Digit(Row x) {
  const __m256i mask = _mm256_set1_epi64x(static_cast<int64_t>(kDigitMask));
  return {_mm256_and_si256(x.low, mask), _mm256_and_si256(x.high, mask)};
}

LARGEPRIME_AVX2_TARGET inline Row Carry(Row x) {
  return {_mm256_srli_epi64(x.low, kDigitBits), _mm256_srli_epi64(x.high, kDigitBits)};
}

// The sums of column t and column t + 1.
struct PairSums {
  Row column;
  Row next;
};

// x_i y_(t-i) on column t and x_i y_(t+1-i) on column t + 1 for `count`
// values of i from `first`; y_(t-i) may be the zero digit below y, y_(t+1-i)
// the zero digit above it.
struct PairRange {
  const LaneWords* x;
  const LaneWords* y;
  uint32_t t;
  uint32_t first;
  uint32_t count;
};

// Each x_i and y_j is loaded once for two products: y_(t+1-i) of step i is
// y_(t-i) of step i - 1, carried in yAbove.
LARGEPRIME_AVX2_TARGET inline void AddPairProducts(PairSums& sums, const PairRange& range) {
  const auto top = static_cast<std::ptrdiff_t>(range.t);
  Row yAbove = Load(range.y + (top + 1 - static_cast<std::ptrdiff_t>(range.first)));
  for (uint32_t i = range.first; i < range.first + range.count; ++i) {
    const Row x = Load(range.x + i);
    const Row y = Load(range.y + (top - static_cast<std::ptrdiff_t>(i)));
    sums.column = MultiplyAdd(sums.column, x, y);
    sums.next = MultiplyAdd(sums.next, x, yAbove);
    yAbove = y;
  }
}

// The a a part of column pair (t, t + 1), t = 2 s even, from the sums of the
// cross products a_i a_j (i < j) but a_s a_(s+1): those doubled, and the
// square a_s^2 on column t.
LARGEPRIME_AVX2_TARGET inline PairSums SquarePairSums(PairSums cross, const LaneWords* a,
                                                      uint32_t t) {
  const uint32_t s = t / 2;
  const Row as = Load(a + s);
  const Row next = MultiplyAdd(cross.next, as, Load(a + s + 1));
  return {MultiplyAdd(Add(cross.column, cross.column), as, as), Add(next, next)};
}

// r = (a b + q m) / R per lane with q < R = 2^(r k) making the sum divisible
// by R (a = b for the square): almost Montgomery multiplication by product
// scanning with the reduction interleaved column by column (Koc, Acar and
// Kaliski, "Analyzing and comparing Montgomery multiplication algorithms",
// IEEE Micro 16(3), 1996: FIPS). Column t sums its digit products in full,
// the a b and q m parts apart; below column k its quotient digit q_t = (sum) (-m^-1) mod 2^r clears
// its low r bits, from column k on its low r bits are digit t - k of r; the bits above move to the
// next column. Columns are taken in pairs, so that each load serves two products; the terms that
// need q_t or q_(t+1) come last, in a short chain per pair that the next pair's products overlap.
// With a, b < 2 m and 4 m < R, r < 2 m in k normalised digits. r may be a or b: digit j of r is
// written after the last read of digit j of a and b.
template <bool IsSquare>
LARGEPRIME_AVX2_TARGET void AlmostMontgomery(LaneWords* r, const LaneWords* a, const LaneWords* b,
                                             const LaneModuli& moduli, LaneWords* q) {
  const uint32_t k = moduli.digitCount;
  const LaneWords* m = moduli.digits;
  const Row negativeInverse = Load(moduli.negativeInverse);
  const Row m0 = Load(m);
  const Row m1 = Load(m + 1);
  Row carried = Zero();  // what earlier pairs left for column t
  for (uint32_t t = 0; t < 2 * k; t += 2) {
    const uint32_t first = t + 1 > k ? t + 1 - k : 0;
    // q_i m_j for the quotient digits known, i < t.
    PairSums qm{Zero(), Zero()};
    AddPairProducts(qm, {q, m, t, first, std::min(t, k) - first});
    PairSums ab{Zero(), Zero()};
    if constexpr (IsSquare) {
      AddPairProducts(ab, {a, a, t, first, t / 2 - first});
      ab = SquarePairSums(ab, a, t);
    } else {
      AddPairProducts(ab, {a, b, t, first, std::min(t + 2, k) - first});
    }
    Row low = Add(Add(carried, Digit(ab.column)), Digit(qm.column));
    Row high = Add(Add(Digit(ab.next), Digit(qm.next)), Add(Carry(ab.column), Carry(qm.column)));
    const Row above = Add(Carry(ab.next), Carry(qm.next));  // for column t + 2
    if (t < k) {
      // q_t m_0 and q_t m_1, and q_(t+1) m_0 below column k.
      const Row qt = Digit(MultiplyAdd(Zero(), low, negativeInverse));
      Store(q + t, qt);
      low = MultiplyAdd(low, qt, m0);
      high = Add(MultiplyAdd(high, qt, m1), Carry(low));
      if (t + 1 < k) {
        const Row qNext = Digit(MultiplyAdd(Zero(), high, negativeInverse));
        Store(q + t + 1, qNext);
        high = MultiplyAdd(high, qNext, m0);
      } else {
        Store(r, Digit(high));
      }
    } else {
      Store(r + (t - k), Digit(low));
      high = Add(high, Carry(low));
      Store(r + (t + 1 - k), Digit(high));
    }
    carried = Add(Carry(high), above);
  }
}

// The arithmetic of the AVX2 batch kernel.
struct Avx2Lanes {
  static constexpr const char* kName = "avx2 batch";
  static constexpr uint32_t kDigitBits = x86::kAvx2BatchDigitBits;
  static void Product(LaneWords* r, const LaneWords* a, const LaneWords* b,
                      const LaneModuli& moduli, LaneWords* q) {
    AlmostMontgomery<false>(r, a, b, moduli, q);
  }
  static void Square(LaneWords* r, const LaneWords* a, const LaneModuli& moduli, LaneWords* q) {
    AlmostMontgomery<true>(r, a, a, moduli, q);
  }
};

bool Avx2Available() {
  static const bool kSupported = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
  }();
  return kSupported;
}

}  // namespace

bool x86::Avx2BatchServes(const LimbVector& modulus) {
  return Avx2Available() &&
         lanes::SuitsLane(modulus, x86::kAvx2BatchMinModulusBits, x86::kAvx2BatchMaxModulusBits);
}

// Measured with the mulx/adx kernel at 512 to 4096 bits: on AMD's Zen 4 and
// Zen 5 a batch took 0.67 to 0.83 of adx's time per exponentiation, on an
// Intel Xeon (AVX-512 IFMA and AMX) 0.87 to 1.12, and there searches of 48 to
// 192 bytes took 3 to 29 % longer with batches (docs/tuning.md, "On an Intel
// Xeon").
bool x86::Avx2BatchPaysBesideAdx() {
  static const bool kPays = [] {
    __builtin_cpu_init();
    return __builtin_cpu_is("amd") != 0;
  }();
  return kPays;
}

std::unique_ptr<const BatchKernel> x86::MakeAvx2BatchKernel(const std::vector<LimbVector>& moduli) {
  if (!Avx2Available() || !lanes::SuitLanes(moduli, kDigitBits, x86::kAvx2BatchMinModulusBits,
                                            x86::kAvx2BatchMaxModulusBits)) {
    return nullptr;
  }
  return std::make_unique<lanes::LaneBatchKernel<Avx2Lanes> >(moduli);
}

#endif  // LARGEPRIME_AVX2_BATCH_KERNEL

}  // namespace limbs
