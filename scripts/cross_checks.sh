#!/usr/bin/env bash
# Builds and checks largeprime on the platforms other than the host:
#   - 64-bit Windows (MinGW-w64), run under Wine: usage text, exit status, and a
#     complete 8-byte search whose number GMP confirms as a probable prime;
#   - 32-bit Windows (MinGW-w64): built and linked (this kernel cannot run it);
#   - 32-bit Linux (i686 cross compiler): the program and the tests, run under
#     qemu-i386 (all but those that start the program as a process, which this
#     kernel cannot run as a 32-bit binary).
# Missing toolchains are installed from Debian. One that cannot be installed
# fails the run under CI (CI=true), with the installer's output; elsewhere its
# check is skipped, and the skip is reported in a banner at the end. A check
# whose toolchain is present must pass.
#
#   scripts/cross_checks.sh [PRIME_CHECKER]
#
# PRIME_CHECKER is the is_probable_prime tool of a host test build.
set -uo pipefail
cd "$(dirname "$0")/.."

checker=${1:-build/asan/tests/is_probable_prime}
failures=0
skipped=()
strict=false
[[ ${CI:-} == true ]] && strict=true

# Runs an installer command quietly; when it fails, shows what it printed.
run_installer() {
  local log status=0
  log=$(mktemp)
  "$@" >"$log" 2>&1 || status=$?
  if ((status != 0)); then
    echo "'$*' failed with exit status $status; its output ends:"
    tail -n 30 "$log" | sed 's/^/    /'
  fi
  rm -f "$log"
  return $status
}

# Installs whichever of these Debian packages are missing (left in $missing).
# Other builds on the machine may hold the package manager's lock for a while:
# wait for it.
missing=()
have_packages() {
  missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
  done
  ((${#missing[@]} == 0)) && return 0
  echo "Installing: ${missing[*]}"
  run_installer apt-get update &&
    run_installer env DEBIAN_FRONTEND=noninteractive \
      apt-get install -y -o DPkg::Lock::Timeout=300 "${missing[@]}"
}

# A check that cannot run because its toolchain is missing: a failure under CI,
# a skip elsewhere.
unavailable() {
  local name=$1 reason=$2
  if $strict; then
    echo "== $name: FAILED: $reason (under CI a missing toolchain fails the run)"
    failures=$((failures + 1))
  else
    echo "== $name: SKIPPED: $reason"
    skipped+=("$name: $reason")
  fi
}

check() {
  local name=$1
  shift
  echo "== $name"
  if "$@"; then
    echo "== $name: passed"
  else
    echo "== $name: FAILED"
    failures=$((failures + 1))
  fi
}

build_preset() {
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1"
}

windows_x64() {
  build_preset windows-x64 || return 1
  local wine=/usr/lib/wine/wine64 exe=build/windows-x64/largeprime.exe
  export WINEDEBUG=-all WINEPREFIX="${WINEPREFIX:-$PWD/build/wineprefix}"
  local usage status
  usage=$("$wine" "$exe" 2>/dev/null | tr -d '\r')
  status=$?
  [[ $status -eq 0 ]] || { echo "usage run exited with $status"; return 1; }
  [[ $(sed -n 1p <<<"$usage") == "Large prime number generator" &&
     $(sed -n 3p <<<"$usage") == "For example, to get a 1024-bit prime, specify 128 bytes" &&
     $(wc -l <<<"$usage") -eq 5 ]] || { echo "unexpected usage text:"; echo "$usage"; return 1; }

  local trace prime
  trace=$("$wine" "$exe" 8 2>/dev/null | tr -d '\r')
  status=$?
  [[ $status -eq 0 ]] || { echo "search exited with $status"; return 1; }
  [[ $(grep -c '^Random number component generated: ' <<<"$trace") -eq 16 ]] ||
    { echo "expected 16 random pieces"; return 1; }
  prime=$(grep -B1 '^Appears prime$' <<<"$trace" | head -n1)
  grep -q '^Process took [0-9]* seconds\.$' <<<"$trace" || { echo "no closing line"; return 1; }
  "$checker" "$prime" || { echo "GMP does not confirm $prime as prime"; return 1; }
  echo "Windows x64 under Wine found $prime, confirmed by GMP"
}

windows_x86() {
  build_preset windows-x86 && file build/windows-x86/largeprime.exe | grep -q 'PE32 executable.*80386'
}

# The tests use GMP as their oracle: unpack Debian's i386 GMP into the build tree
# (downloaded, not installed, so the host's packages stay as they are).
fetch_i386_gmp() {
  local root=build/i386-gmp
  [[ -f $root/usr/lib/i386-linux-gnu/libgmp.a ]] && return 0
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  run_installer apt-get update || return 1
  local downloads
  downloads=$(mktemp -d)
  (cd "$downloads" && run_installer apt-get download libgmp-dev:i386) || { rm -rf "$downloads"; return 1; }
  mkdir -p "$root"
  for package in "$downloads"/*.deb; do dpkg -x "$package" "$root"; done
  rm -rf "$downloads"
  [[ -f $root/usr/lib/i386-linux-gnu/libgmp.a ]]
}

linux_i386() {
  fetch_i386_gmp || { echo "could not fetch GMP for i386"; return 1; }
  cmake --workflow --preset linux-i386 || return 1
  local trace
  trace=$(qemu-i386 build/linux-i386/largeprime 8) || return 1
  "$checker" "$(grep -B1 '^Appears prime$' <<<"$trace" | head -n1)"
}

# cross_check NAME CHECK PACKAGE...: installs the packages, then runs the check.
cross_check() {
  local name=$1 function=$2
  shift 2
  if have_packages "$@"; then
    check "$name" "$function"
  else
    unavailable "$name" "could not install ${missing[*]}"
  fi
}

cross_check "64-bit Windows under Wine" windows_x64 g++-mingw-w64-x86-64 wine64
cross_check "32-bit Windows build" windows_x86 g++-mingw-w64-i686
cross_check "32-bit Linux under qemu-i386" linux_i386 g++-i686-linux-gnu qemu-user googletest

echo "== Cross checks: $failures failed, ${#skipped[@]} skipped"
if ((${#skipped[@]} > 0)); then
  {
    echo "!!"
    echo "!! WARNING: ${#skipped[@]} cross check(s) SKIPPED; these platforms were NOT checked:"
    for reason in "${skipped[@]}"; do echo "!!   $reason"; done
    echo "!! (with CI=true a missing toolchain fails the run)"
    echo "!!"
  } >&2
fi
exit $((failures > 0))
