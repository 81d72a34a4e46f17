/// Helpers for tests of BigInt.
#include "tests/support/bigint_support.h"

BigInt MakeBigInt(const std::vector<uint32_t>& words) {
  BigInt value;
  value.Resize(static_cast<uint32_t>(words.size()));
  for (uint32_t i = 0; i < value.Length(); ++i) value.Digits()[i] = words[i];
  return value;
}

std::vector<uint32_t> WordsOf(const BigInt& value) {
  return std::vector<uint32_t>(value.Digits(), value.Digits() + value.Length());
}

Mpz::Mpz() { mpz_init(value_); }

Mpz::Mpz(const BigInt& value) {
  mpz_init(value_);
  for (uint32_t i = value.Length(); i-- > 0;) {
    mpz_mul_2exp(value_, value_, BigInt::kDigitBits);
    mpz_add_ui(value_, value_, value.Digits()[i]);
  }
}

Mpz::Mpz(const char* decimal) { mpz_init_set_str(value_, decimal, 10); }

Mpz::Mpz(const Mpz& other) { mpz_init_set(value_, other.value_); }

Mpz& Mpz::operator=(const Mpz& other) {
  mpz_set(value_, other.value_);
  return *this;
}

Mpz::~Mpz() { mpz_clear(value_); }

std::string Mpz::Decimal() const {
  std::string text(mpz_sizeinbase(value_, 10) + 2, '\0');
  mpz_get_str(text.data(), 10, value_);
  text.resize(std::char_traits<char>::length(text.c_str()));
  return text;
}

BigInt FromMpz(const Mpz& value, uint32_t length) {
  BigInt result;
  result.Resize(length);
  Mpz rest(value);
  for (uint32_t i = 0; i < length; ++i) {
    result.Digits()[i] = static_cast<uint32_t>(mpz_getlimbn(rest.get(), 0) & BigInt::kDigitMask);
    mpz_fdiv_q_2exp(rest.get(), rest.get(), BigInt::kDigitBits);
  }
  return result;
}

uint32_t DigitsNeeded(const Mpz& value) {
  if (mpz_sgn(value.get()) == 0) return 0;
  return static_cast<uint32_t>((mpz_sizeinbase(value.get(), 2) + BigInt::kDigitBits - 1) /
                               BigInt::kDigitBits);
}

bool operator==(const Mpz& a, const Mpz& b) { return mpz_cmp(a.get(), b.get()) == 0; }

BigInt RandomOperand(std::mt19937& rng, uint32_t maxLength) {
  const uint32_t length = std::uniform_int_distribution<uint32_t>(0, maxLength)(rng);
  uint32_t significant = length;
  if (length > 0 && rng() % 3 == 0) {
    significant = std::uniform_int_distribution<uint32_t>(0, length)(rng);
  }
  BigInt value;
  value.Resize(length);
  for (uint32_t i = 0; i < significant; ++i) {
    // Mix uniform digits with the extremes that exercise carries and borrows.
    switch (rng() % 4) {
      case 0: value.Digits()[i] = 0; break;
      case 1: value.Digits()[i] = BigInt::kDigitMask; break;
      default: value.Digits()[i] = rng() & BigInt::kDigitMask;
    }
  }
  return value;
}

Mpz PowerOfTwo(uint32_t bits) {
  Mpz value;
  mpz_setbit(value.get(), bits);
  return value;
}

std::vector<std::pair<std::string, Mpz>> EdgeModuli(gmp_randstate_t state, uint32_t bits) {
  Mpz allOnes = PowerOfTwo(bits);
  mpz_sub_ui(allOnes.get(), allOnes.get(), 1);
  Mpz sparse = PowerOfTwo(bits - 1);
  mpz_setbit(sparse.get(), bits / 2);
  mpz_setbit(sparse.get(), 0);
  Mpz random;
  mpz_urandomb(random.get(), state, bits);
  mpz_setbit(random.get(), bits - 1);
  mpz_setbit(random.get(), 0);
  return {{"all ones", allOnes}, {"sparse", sparse}, {"random", random}};
}
