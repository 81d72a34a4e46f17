/// Command-line oracle for scripts: exits 0 when GMP judges its decimal argument a
/// probable prime, 1 otherwise (also for text that is not a decimal number).
#include <gmp.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <decimal number>\n", argv[0]);
    return 2;
  }
  mpz_t n;
  const bool parsed = mpz_init_set_str(n, argv[1], 10) == 0;
  const bool prime = parsed && mpz_probab_prime_p(n, 40) > 0;
  mpz_clear(n);
  std::printf("%s %s\n", argv[1], prime ? "is a probable prime" : "is not prime");
  return prime ? 0 : 1;
}
