/// libFuzzer target for BigInt arithmetic: the input chooses operands (lengths,
/// digits, leading zero digits, length 0) and a sequence of operations on a few
/// registers. Every result is checked against GMP for its value, against the
/// length rule of its operation and for normal form, and every operand passed by
/// reference (or the object of a const member) is checked unchanged.
#include <fuzzer/FuzzedDataProvider.h>
#include <gmp.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bigint/bigint.h"
#include "bigint/kernel_factory.h"
#include "bigint/power_batch.h"
#include "tests/support/bigint_support.h"

namespace {

constexpr uint32_t kRegisterCount = 4;
constexpr uint32_t kMaxOperations = 48;
// Fresh operands have up to this many digits; a register that grows past
// kMaxDigits is cut back, so one input stays fast.
constexpr uint32_t kMaxOperandDigits = 40;
constexpr uint32_t kMaxDigits = 160;
constexpr uint32_t kMaxLeftShift = 16 * 16 + 15;
// PowMod works on copies cut to these lengths (the registers themselves when short
// enough, so that aliasing is exercised too). Moduli reach 1024 bits, three
// vectors of the vector Montgomery kernel, which starts at 384 bits.
constexpr uint32_t kMaxExponentDigits = 16;
constexpr uint32_t kMaxModulusDigits = 64;
// Normalize accepts words up to this: a carry from below (at most kDigitMask)
// still fits in the word.
constexpr uint32_t kMaxUnnormalizedWord = 0xFFFF0000u;

uint32_t Max(uint32_t a, uint32_t b) { return a > b ? a : b; }

void PrintWords(const char* name, const std::vector<uint32_t>& words) {
  std::fprintf(stderr, "  %s (length %zu):", name, words.size());
  for (size_t i = words.size(); i-- > 0;) std::fprintf(stderr, " %04x", words[i]);
  std::fprintf(stderr, "\n");
}

// One operation under check: remembers its inputs so that a failure can show
// them, and aborts on the first failed check so that libFuzzer keeps the input.
class Step {
 public:
  explicit Step(const char* operation) : operation_(operation) {}

  void Input(const char* name, const BigInt& value) {
    names_.push_back(name);
    inputs_.push_back(WordsOf(value));
  }

  void Check(bool ok, const char* what) const {
    if (ok) return;
    std::fprintf(stderr, "BigInt %s: %s\n", operation_, what);
    for (size_t i = 0; i < inputs_.size(); ++i) PrintWords(names_[i], inputs_[i]);
    std::abort();
  }

  // actual must hold exactly `value` in exactly `length` digits, in normal form.
  void CheckResult(const char* name, const BigInt& actual, const Mpz& value,
                   uint32_t length) const {
    const bool normal = (actual.Length() == 0) == (actual.Digits() == nullptr) && IsNormal(actual);
    const bool right = normal && Mpz(actual) == value && actual.Length() == length;
    if (right) return;
    std::fprintf(stderr, "BigInt %s: wrong %s\n", operation_, name);
    for (size_t i = 0; i < inputs_.size(); ++i) PrintWords(names_[i], inputs_[i]);
    PrintWords("actual", WordsOf(actual));
    std::fprintf(stderr, "  expected: %s in %u digits%s\n", value.Decimal().c_str(), length,
                 normal ? "" : " (actual is not in normal form)");
    std::abort();
  }

  // The input recorded as `index` must still hold the same words.
  void CheckUnchanged(size_t index, const BigInt& operand) const {
    Check(WordsOf(operand) == inputs_[index], "an operand passed by reference was changed");
  }

 private:
  static bool IsNormal(const BigInt& x) {
    for (uint32_t i = 0; i < x.Length(); ++i) {
      if (x.Digits()[i] > BigInt::kDigitMask) return false;
    }
    return true;
  }

  const char* operation_;
  std::vector<const char*> names_;
  std::vector<std::vector<uint32_t>> inputs_;
};

// ---- GMP expectations ---------------------------------------------------------

Mpz FromWord(uint32_t v) {
  Mpz x;
  mpz_set_ui(x.get(), v);
  return x;
}

// x mod 65536^digits.
Mpz LowDigits(const Mpz& x, uint32_t digits) {
  Mpz r;
  mpz_fdiv_r_2exp(r.get(), x.get(), BigInt::kDigitBits * digits);
  return r;
}

// (a - b) mod 65536^digits, with b's digits at or above `digits` ignored.
Mpz WrappedDifference(const Mpz& a, const Mpz& b, uint32_t digits) {
  Mpz d;
  mpz_sub(d.get(), a.get(), LowDigits(b, digits).get());
  return LowDigits(d, digits);
}

struct Division {
  Mpz quotient;
  Mpz remainder;
  uint32_t quotientLength = 0;
  uint32_t remainderLength = 0;
};

bool IsPowerOfDigitBase(const Mpz& q) {
  return mpz_sgn(q.get()) > 0 && mpz_popcount(q.get()) == 1 &&
         (mpz_sizeinbase(q.get(), 2) - 1) % BigInt::kDigitBits == 0;
}

// The values and lengths of a / b and a % b for operands of lengths la and lb.
Division ExpectedDivision(const Mpz& a, uint32_t la, const Mpz& b, uint32_t lb) {
  Division d;
  if (mpz_sgn(b.get()) == 0) {
    d.quotientLength = lb;
    d.remainderLength = lb;
    return d;
  }
  mpz_tdiv_qr(d.quotient.get(), d.remainder.get(), a.get(), b.get());
  d.remainderLength = la;
  if (mpz_sgn(d.quotient.get()) == 0) {
    d.quotientLength = lb;
  } else if (mpz_sgn(d.remainder.get()) == 0 && IsPowerOfDigitBase(d.quotient)) {
    d.quotientLength = Max(2, DigitsNeeded(d.quotient));
    d.remainderLength = 2;
  } else {
    d.quotientLength = Max(lb, DigitsNeeded(b) + DigitsNeeded(d.quotient));
  }
  return d;
}

// ---- Operands -------------------------------------------------------------------

uint32_t ConsumeDigit(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<uint32_t>(0, 7)) {
    case 0: return 0;
    case 1: return BigInt::kDigitMask;
    case 2: return 1;
    case 3: return 1u << (BigInt::kDigitBits - 1);
    default: return in.ConsumeIntegral<uint16_t>();
  }
}

// A fresh operand: a length, a digit pattern (raw digits, runs of one digit, or
// mixed extremes that drive carries and borrows through whole runs), and some
// leading zero digits.
BigInt ConsumeOperand(FuzzedDataProvider& in) {
  const auto length = in.ConsumeIntegralInRange<uint32_t>(0, kMaxOperandDigits);
  const auto shape = in.ConsumeIntegral<uint8_t>();
  const uint32_t leadingZeros =
      (shape & 3) == 0 ? in.ConsumeIntegralInRange<uint32_t>(0, length) : 0;
  BigInt value;
  value.Resize(length);
  const uint32_t repeated = ConsumeDigit(in);
  for (uint32_t i = 0; i + leadingZeros < length; ++i) {
    switch ((shape >> 2) & 3) {
      case 0: value.Digits()[i] = in.ConsumeIntegral<uint16_t>(); break;
      case 1: value.Digits()[i] = repeated; break;
      default: value.Digits()[i] = ConsumeDigit(in);
    }
  }
  return value;
}

uint32_t ConsumeWord(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<uint32_t>(0, 5)) {
    case 0: return in.ConsumeIntegral<uint16_t>();
    case 1: return BigInt::kDigitBase - 1 + in.ConsumeIntegralInRange<uint32_t>(0, 2);
    case 2: return 0xFFFFFFFFu - in.ConsumeIntegralInRange<uint32_t>(0, 2);
    default: return in.ConsumeIntegral<uint32_t>();
  }
}

// A copy cut to at most `digits` digits.
BigInt CutTo(const BigInt& x, uint32_t digits) {
  BigInt cut(x);
  if (cut.Length() > digits) cut.Resize(digits);
  return cut;
}

// ---- Operations -------------------------------------------------------------------

enum class Operation : uint8_t {
  kLoad,
  kConstructFromWord,
  kAssignWord,
  kCopy,
  kResize,
  kNormalize,
  kCompare,
  kCompareWord,
  kQueries,
  kShiftRight,
  kShiftLeft,
  kOr,
  kOrWord,
  kAdd,
  kSubtract,
  kSubtractWord,
  kMultiply,
  kDivide,
  kDivideWord,
  kPowMod,
  kDecimal,
  kPowerBatch,
  kLast = kPowerBatch,
};

class Machine {
 public:
  explicit Machine(FuzzedDataProvider& in) : in_(in) {}

  void Run() {
    for (uint32_t count = 0; count < kMaxOperations && in_.remaining_bytes() > 0; ++count) {
      const auto operation = static_cast<Operation>(
          in_.ConsumeIntegralInRange<uint8_t>(0, static_cast<uint8_t>(Operation::kLast)));
      const auto i = in_.ConsumeIntegralInRange<uint32_t>(0, kRegisterCount - 1);
      const auto j = in_.ConsumeIntegralInRange<uint32_t>(0, kRegisterCount - 1);
      Apply(operation, i, j);
      for (BigInt& r : registers_) {
        if (r.Length() > kMaxDigits) r.Resize(kMaxOperandDigits);
      }
    }
  }

 private:
  void Apply(Operation operation, uint32_t i, uint32_t j) {
    BigInt& a = registers_[i];
    BigInt& b = registers_[j];
    switch (operation) {
      case Operation::kLoad: a = ConsumeOperand(in_); break;
      case Operation::kConstructFromWord: ConstructFromWord(a); break;
      case Operation::kAssignWord: AssignWord(a); break;
      case Operation::kCopy: Copy(a, b); break;
      case Operation::kResize: Resize(a); break;
      case Operation::kNormalize: Normalize(a); break;
      case Operation::kCompare: Compare(a, b); break;
      case Operation::kCompareWord: CompareWord(a); break;
      case Operation::kQueries: Queries(a); break;
      case Operation::kShiftRight: ShiftRight(a); break;
      case Operation::kShiftLeft: ShiftLeft(a); break;
      case Operation::kOr: Or(a, b, i == j); break;
      case Operation::kOrWord: OrWord(a); break;
      case Operation::kAdd: Add(a, b, i == j); break;
      case Operation::kSubtract: Subtract(a, b, i == j); break;
      case Operation::kSubtractWord: SubtractWord(a); break;
      case Operation::kMultiply: Multiply(a, b, i == j); break;
      case Operation::kDivide: Divide(a, b); break;
      case Operation::kDivideWord: DivideWord(a); break;
      case Operation::kPowMod: PowMod(i, j); break;
      case Operation::kDecimal: Decimal(a); break;
      case Operation::kPowerBatch: PowerBatch(i, j); break;
    }
  }

  void ConstructFromWord(BigInt& a) {
    const uint32_t v = ConsumeWord(in_);
    Step step("BigInt(v)");
    a = BigInt(v);
    step.CheckResult("value", a, FromWord(v), 2);
  }

  void AssignWord(BigInt& a) {
    const uint32_t v = ConsumeWord(in_);
    Step step("a = v");
    step.Input("a", a);
    const uint32_t length = Max(a.Length(), v <= BigInt::kDigitMask ? 1 : 2);
    a = v;
    step.CheckResult("a", a, FromWord(v), length);
  }

  void Copy(BigInt& a, const BigInt& b) {
    Step step("copy");
    step.Input("b", b);
    const Mpz value(b);
    const BigInt copy(b);  // NOLINT(performance-unnecessary-copy-initialization): under test
    step.CheckResult("copy constructed", copy, value, b.Length());
    a = b;
    step.CheckResult("a = b", a, value, copy.Length());
  }

  void Resize(BigInt& a) {
    const auto n = in_.ConsumeIntegralInRange<uint32_t>(0, kMaxOperandDigits);
    Step step("Resize");
    step.Input("a", a);
    const Mpz expected = LowDigits(Mpz(a), n);
    a.Resize(n);
    step.CheckResult("a", a, expected, n);
  }

  // Words above one digit, as a caller building a value word by word leaves them.
  void Normalize(BigInt& a) {
    Mpz expected;
    for (uint32_t k = a.Length(); k-- > 0;) {
      a.Digits()[k] = in_.ConsumeIntegralInRange<uint32_t>(0, kMaxUnnormalizedWord);
      mpz_mul_2exp(expected.get(), expected.get(), BigInt::kDigitBits);
      mpz_add_ui(expected.get(), expected.get(), a.Digits()[k]);
    }
    Step step("Normalize");
    step.Input("a (unnormalised)", a);
    const uint32_t length = Max(a.Length(), DigitsNeeded(expected));
    a.Normalize();
    step.CheckResult("a", a, expected, length);
  }

  void Compare(const BigInt& a, const BigInt& b) {
    Step step("comparison");
    step.Input("a", a);
    step.Input("b", b);
    const int sign = mpz_cmp(Mpz(a).get(), Mpz(b).get());
    step.Check((a < b) == (sign < 0), "a < b");
    step.Check((a <= b) == (sign <= 0), "a <= b");
    step.Check((a == b) == (sign == 0), "a == b");
    step.Check((a > b) == (sign > 0), "a > b");
    step.Check((a >= b) == (sign >= 0), "a >= b");
    step.CheckUnchanged(0, a);
    step.CheckUnchanged(1, b);
  }

  void CompareWord(const BigInt& a) {
    const uint32_t v = ConsumeWord(in_);
    Step step("comparison with a word");
    step.Input("a", a);
    const int sign = mpz_cmp_ui(Mpz(a).get(), v);
    step.Check((a == v) == (sign == 0), "a == v");
    step.Check((a <= v) == (sign <= 0), "a <= v");
    step.Check((a > v) == (sign > 0), "a > v");
    step.CheckUnchanged(0, a);
  }

  void Queries(const BigInt& a) {
    const uint32_t mask = ConsumeWord(in_);
    Step step("queries");
    step.Input("a", a);
    const Mpz value(a);
    step.Check(a.IsNonZero() == (mpz_sgn(value.get()) != 0), "IsNonZero");
    const uint32_t low = a.Length() == 0 ? 0 : a.Digits()[0];
    step.Check(a.LowBits(mask) == (low & mask), "LowBits");
    const size_t bits = mpz_sizeinbase(value.get(), 2);
    const int32_t highest = mpz_sgn(value.get()) == 0 ? 0 : static_cast<int32_t>(bits - 1);
    step.Check(a.HighestBit() == highest, "HighestBit");
    step.CheckUnchanged(0, a);
  }

  void ShiftRight(BigInt& a) {
    const auto n =
        in_.ConsumeIntegralInRange<uint32_t>(0, BigInt::kDigitBits * (a.Length() + 2) + 15);
    Step step(">>");
    step.Input("a", a);
    Mpz expected;
    mpz_fdiv_q_2exp(expected.get(), Mpz(a).get(), n);
    const BigInt shifted = a >> n;
    step.CheckUnchanged(0, a);
    step.CheckResult("a >> n", shifted, expected, a.Length());
    const uint32_t length = a.Length();
    a >>= n;
    step.CheckResult("a >>= n", a, expected, length);
  }

  void ShiftLeft(BigInt& a) {
    const auto n = in_.ConsumeIntegralInRange<uint32_t>(0, kMaxLeftShift);
    Step step("<<");
    step.Input("a", a);
    Mpz expected;
    if (a.Length() > 0) mpz_mul_2exp(expected.get(), Mpz(a).get(), n);
    const uint32_t length = Max(a.Length(), DigitsNeeded(expected));
    const BigInt shifted = a << n;
    step.CheckUnchanged(0, a);
    step.CheckResult("a << n", shifted, expected, length);
    a <<= n;
    step.CheckResult("a <<= n", a, expected, length);
  }

  void Or(BigInt& a, const BigInt& b, bool same) {
    Step step("a |= b");
    step.Input("a", a);
    step.Input("b", b);
    Mpz expected;
    mpz_ior(expected.get(), Mpz(a).get(), Mpz(b).get());
    const uint32_t length = Max(a.Length(), b.Length());
    a |= b;
    step.CheckResult("a", a, expected, length);
    if (!same) step.CheckUnchanged(1, b);
  }

  void OrWord(BigInt& a) {
    const uint32_t v = ConsumeWord(in_);
    Step step("a | v");
    step.Input("a", a);
    Mpz expected;
    mpz_ior(expected.get(), Mpz(a).get(), FromWord(v).get());
    const uint32_t length = Max(a.Length(), 2);
    const BigInt result = a | v;
    step.CheckUnchanged(0, a);
    step.CheckResult("a | v", result, expected, length);
    a |= v;
    step.CheckResult("a |= v", a, expected, length);
  }

  void Add(BigInt& a, const BigInt& b, bool same) {
    Step step("a += b");
    step.Input("a", a);
    step.Input("b", b);
    Mpz expected;
    mpz_add(expected.get(), Mpz(a).get(), Mpz(b).get());
    const uint32_t length = Max(Max(a.Length(), b.Length()), DigitsNeeded(expected));
    a += b;
    step.CheckResult("a", a, expected, length);
    if (!same) step.CheckUnchanged(1, b);
  }

  // Within the precondition (a >= b) this is a - b; otherwise the documented
  // wrap-around modulo 65536^length. Both are checked by the same formula.
  void Subtract(BigInt& a, const BigInt& b, bool same) {
    Step step("a -= b");
    step.Input("a", a);
    step.Input("b", b);
    const uint32_t length = a.Length();
    const Mpz expected = WrappedDifference(Mpz(a), Mpz(b), length);
    a -= b;
    step.CheckResult("a", a, expected, length);
    if (!same) step.CheckUnchanged(1, b);
  }

  void SubtractWord(BigInt& a) {
    const uint32_t v = ConsumeWord(in_);
    Step step("a - v");
    step.Input("a", a);
    const uint32_t length = a.Length();
    const Mpz expected = WrappedDifference(Mpz(a), FromWord(v), length);
    const BigInt difference = a - v;
    step.CheckUnchanged(0, a);
    step.CheckResult("a - v", difference, expected, length);
    a -= v;
    step.CheckResult("a -= v", a, expected, length);
  }

  void Multiply(BigInt& a, const BigInt& b, bool same) {
    Step step("a * b");
    step.Input("a", a);
    step.Input("b", b);
    Mpz expected;
    mpz_mul(expected.get(), Mpz(a).get(), Mpz(b).get());
    const uint32_t length = Max(Max(a.Length(), 1), DigitsNeeded(expected));
    const BigInt product = a * b;
    step.CheckUnchanged(0, a);
    step.CheckUnchanged(1, b);
    step.CheckResult("a * b", product, expected, length);
    a *= b;
    step.CheckResult("a *= b", a, expected, length);
    if (!same) step.CheckUnchanged(1, b);
  }

  void Divide(const BigInt& a, const BigInt& b) {
    Step step("a / b, a % b");
    step.Input("a", a);
    step.Input("b", b);
    const Division expected = ExpectedDivision(Mpz(a), a.Length(), Mpz(b), b.Length());
    const BigInt quotient = a / b;
    step.CheckResult("quotient", quotient, expected.quotient, expected.quotientLength);
    const BigInt remainder = a % b;
    step.CheckResult("remainder", remainder, expected.remainder, expected.remainderLength);
    step.CheckUnchanged(0, a);
    step.CheckUnchanged(1, b);
  }

  void DivideWord(BigInt& a) {
    const uint32_t v = ConsumeWord(in_);
    Step step("a / v, a /= v, a % v");
    step.Input("a", a);
    step.Input("v", BigInt(v));
    const Mpz value(a);
    const Division expected = ExpectedDivision(value, a.Length(), FromWord(v), 2);
    const BigInt quotient = a / v;
    step.CheckUnchanged(0, a);
    step.CheckResult("a / v", quotient, expected.quotient, expected.quotientLength);
    uint32_t remainder = 0;
    if (v != 0) remainder = static_cast<uint32_t>(mpz_fdiv_ui(value.get(), v));
    step.Check(a % v == remainder, "a % v");
    step.CheckUnchanged(0, a);
    a /= v;
    step.CheckResult("a /= v", a, expected.quotient, expected.quotientLength);
  }

  // base.PowMod(exponent, modulus, 0) with base = register i and exponent and
  // modulus both register j, or cut copies when j is too long.
  void PowMod(uint32_t i, uint32_t j) {
    const BigInt& base = registers_[i];
    const bool exponentFits = registers_[j].Length() <= kMaxExponentDigits;
    const bool modulusFits = registers_[j].Length() <= kMaxModulusDigits;
    const BigInt exponentCopy = CutTo(registers_[j], kMaxExponentDigits);
    const BigInt modulusCopy = CutTo(registers_[j], kMaxModulusDigits);
    // A second exponent drawn from the input, so base, exponent and modulus can
    // all differ.
    const BigInt drawn =
        in_.ConsumeBool() ? CutTo(ConsumeOperand(in_), kMaxExponentDigits) : BigInt();
    const BigInt& exponent =
        drawn.Length() > 0 ? drawn : (exponentFits ? registers_[j] : exponentCopy);
    const BigInt& modulus = modulusFits ? registers_[j] : modulusCopy;

    Step step("PowMod");
    step.Input("base", base);
    step.Input("exponent", exponent);
    step.Input("modulus", modulus);
    const Mpz e(exponent);
    const Mpz m(modulus);
    Mpz expected;
    if (mpz_sgn(e.get()) == 0) {
      mpz_set_ui(expected.get(), 1);
    } else if (mpz_sgn(m.get()) != 0) {
      mpz_powm(expected.get(), Mpz(base).get(), e.get(), m.get());
    }
    // Once with the kernel the factory chooses, then on every kernel that
    // serves this modulus.
    step.CheckResult("result", base.PowMod(exponent, modulus, 0), expected,
                     Max(modulus.Length(), 2));
    for (const limbs::KernelKind kind : limbs::AllKernelKinds()) {
      const std::optional<PreparedModulus> prepared = limbs::PrepareWithKernel(modulus, kind);
      if (!prepared) continue;
      const std::string label = std::string("result (") + limbs::KernelName(kind) + ")";
      step.CheckResult(label.c_str(), prepared->Power(base, exponent), expected,
                       Max(modulus.Length(), 2));
    }
    step.CheckUnchanged(0, base);
    step.CheckUnchanged(1, exponent);
    step.CheckUnchanged(2, modulus);
  }

  // Up to eight exponentiations at once: the moduli are register j (cut)
  // with other low digits, so most share its size and the batch kernel may
  // take them, or a fresh operand; bases and exponents are registers or fresh
  // operands. Every path, on every batch kernel, gives each job's PowMod result.
  void PowerBatch(uint32_t i, uint32_t j) {
    const auto count = in_.ConsumeIntegralInRange<uint32_t>(1, kPowerBatchSize);
    const BigInt modulus = CutTo(registers_[j], kMaxModulusDigits);
    std::vector<BigInt> moduli;
    std::vector<BigInt> bases;
    std::vector<BigInt> exponents;
    for (uint32_t lane = 0; lane < count; ++lane) {
      BigInt m = in_.ConsumeBool() ? CutTo(ConsumeOperand(in_), kMaxModulusDigits) : modulus;
      if (m.Length() > 0 && in_.ConsumeBool()) m.Digits()[0] = in_.ConsumeIntegral<uint16_t>() | 1u;
      moduli.push_back(m);
      bases.push_back(in_.ConsumeBool() ? ConsumeOperand(in_)
                                        : registers_[(i + lane) % kRegisterCount]);
      exponents.push_back(
          CutTo(in_.ConsumeBool() ? ConsumeOperand(in_) : registers_[i], kMaxExponentDigits));
    }
    // The moduli on the kernel chosen by size, or on a scalar one, whose jobs
    // the chosen path batches on another batch kernel.
    const char* kernels[] = {"", "adx", "portable"};
    const char* kernel = in_.PickValueInArray(kernels);
    std::vector<PreparedModulus> prepared;
    std::vector<PowerJob> jobs;
    for (uint32_t lane = 0; lane < count; ++lane) {
      if (*kernel == '\0') {
        prepared.emplace_back(moduli[lane]);
      } else {
        prepared.emplace_back(moduli[lane], kernel);
      }
    }
    for (uint32_t lane = 0; lane < count; ++lane)
      jobs.push_back({prepared[lane], bases[lane], exponents[lane]});

    Step step("PowerBatch");
    for (uint32_t lane = 0; lane < count; ++lane) {
      step.Input("base", bases[lane]);
      step.Input("exponent", exponents[lane]);
      step.Input("modulus", moduli[lane]);
    }
    std::vector<std::pair<limbs::BatchPath, limbs::BatchKernelKind>> paths = {
        {limbs::BatchPath::kChosen, limbs::BatchKernelKind::kVector},
        {limbs::BatchPath::kOneByOne, limbs::BatchKernelKind::kVector}};
    for (const limbs::BatchKernelKind kind : limbs::AllBatchKernelKinds())
      paths.emplace_back(limbs::BatchPath::kBatchKernel, kind);
    for (const auto& [path, kind] : paths) {
      const std::optional<std::vector<BigInt>> results =
          limbs::PowerBatchOn(path, jobs, nullptr, 0, kind);
      if (!results) continue;  // no batch kernel for these moduli
      for (uint32_t lane = 0; lane < count; ++lane) {
        const Mpz e(exponents[lane]);
        const Mpz m(moduli[lane]);
        Mpz expected;
        if (mpz_sgn(e.get()) == 0) {
          mpz_set_ui(expected.get(), 1);
        } else if (mpz_sgn(m.get()) != 0) {
          mpz_powm(expected.get(), Mpz(bases[lane]).get(), e.get(), m.get());
        }
        step.CheckResult("result", (*results)[lane], expected, Max(moduli[lane].Length(), 2));
      }
    }
    for (uint32_t lane = 0; lane < count; ++lane) {
      step.CheckUnchanged(3 * lane, bases[lane]);
      step.CheckUnchanged(3 * lane + 1, exponents[lane]);
      step.CheckUnchanged(3 * lane + 2, moduli[lane]);
    }
  }

  void Decimal(const BigInt& a) {
    Step step("decimal text");
    step.Input("a", a);
    const CharString text = a.ToDecimalString();
    const char* cached = a.DecimalText();
    step.CheckUnchanged(0, a);
    if (a.Length() == 0) {
      step.Check(text.Text() == nullptr && text.Size() == 0, "the empty value's text");
      step.Check(cached == nullptr, "the empty value's cached text");
      return;
    }
    const std::string expected = Mpz(a).Decimal();
    step.Check(text.Size() == 5 * a.Length() + 1, "block size");
    step.Check(expected.size() < text.Size() && text.Text()[expected.size()] == '\0' &&
                   expected.compare(0, std::string::npos, text.Text(), expected.size()) == 0,
               "text");
    step.Check(cached != nullptr && expected == cached, "cached text");
  }

  FuzzedDataProvider& in_;
  BigInt registers_[kRegisterCount];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  Machine(in).Run();
  return 0;
}
