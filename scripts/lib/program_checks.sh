#!/usr/bin/env bash
# Checks of a built largeprime program as a user sees it, shared by the scripts
# that check it on other platforms and in its packages. Source this file.

# check_program CHECKER COMMAND...: runs COMMAND (the program, directly or
# through Wine or qemu) once without arguments and once with 8. The first must
# print the five-line usage text, the second a whole trace: 16 random pieces, a
# number GMP confirms as prime (CHECKER is the is_probable_prime tool of a host
# test build) and the closing line; both must exit with status 0. Carriage
# returns of Windows line ends are ignored.
check_program() {
  local checker=$1
  shift
  local usage status
  usage=$("$@" 2>/dev/null | tr -d '\r')
  status=$?
  [[ $status -eq 0 ]] || { echo "usage run exited with $status"; return 1; }
  [[ $(sed -n 1p <<<"$usage") == "Large prime number generator" &&
     $(sed -n 3p <<<"$usage") == "For example, to get a 1024-bit prime, specify 128 bytes" &&
     $(wc -l <<<"$usage") -eq 5 ]] || { echo "unexpected usage text:"; echo "$usage"; return 1; }

  local trace prime
  trace=$("$@" 8 2>/dev/null | tr -d '\r')
  status=$?
  [[ $status -eq 0 ]] || { echo "search exited with $status"; return 1; }
  [[ $(grep -c '^Random number component generated: ' <<<"$trace") -eq 16 ]] ||
    { echo "expected 16 random pieces"; return 1; }
  prime=$(grep -B1 '^Appears prime$' <<<"$trace" | head -n1)
  [[ -n $prime ]] || { echo "no number was accepted"; return 1; }
  grep -q '^Process took [0-9]* seconds\.$' <<<"$trace" || { echo "no closing line"; return 1; }
  "$checker" "$prime" || { echo "GMP does not confirm $prime as prime"; return 1; }
  echo "found $prime, confirmed by GMP"
}

# project_version BUILD_DIR: the project version a build directory was configured with.
project_version() {
  sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt"
}
