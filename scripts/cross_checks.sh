#!/usr/bin/env bash
# Builds and checks largeprime on the platforms other than the host:
#   - 64-bit Windows (MinGW-w64): the release zip (cpack), whose program, run
#     under Wine, must give the usage text, exit status 0, and a complete 8-byte
#     search whose number GMP confirms as a probable prime, and must hold no
#     aligned move of a wide vector (see below); and the timer of the
#     same build must choose the same kernels as the Linux build's on this
#     processor, compute the same powers and print the same search traces;
#   - 32-bit Windows (MinGW-w64): built and linked (this kernel cannot run it);
#   - 32-bit Linux (i686 cross compiler): the program and the tests, run under
#     qemu-i386 (all but those that start the program as a process, which this
#     kernel cannot run as a 32-bit binary), and the program checked as above;
#   - 64-bit ARM Linux (aarch64 cross compiler, 64-bit limbs): the program, the
#     tests and the Debian package (the linux-arm64 workflow), the tests run
#     under qemu-aarch64 (all but those that start the program as a process,
#     which this kernel cannot run either), and the program checked as above.
# Missing toolchains are installed from Debian. One that cannot be installed
# fails the run under CI (CI=true), with the installer's output; elsewhere its
# check is skipped, and the skip is reported in a banner at the end. A check
# whose toolchain is present must pass.
#
#   scripts/cross_checks.sh [PRIME_CHECKER]
#
# PRIME_CHECKER is the is_probable_prime tool of a host test build.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
source scripts/lib/program_checks.sh
source scripts/lib/install.sh

checker=${1:-build/asan/tests/is_probable_prime}
failures=0

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

# The Windows timer (powmod_timer.exe of the windows-x64 build) under Wine
# against the Linux one of a release build, on this processor: for each size the
# same kernel (the vector kernel where the processor has AVX-512 IFMA) and the
# same power, and from fixed starts the same whole trace, byte for byte once the
# Windows line ends are undone, also with the search on the scalar kernel and
# its batches on AVX2. The sizes take the vector kernel's shapes: 2, 5, 10, 15
# and 20 vectors in registers, and 30 in memory.
windows_matches_linux() {
  local windows=(/usr/lib/wine/wine64 "$1") linux=build/release/powmod_timer
  { cmake --preset release >/dev/null && cmake --build --preset release --target powmod_timer; } ||
    return 1
  local sizes=512,2048,4096,6144,8192,12288 expected actual
  expected=$("$linux" --bits=$sizes --runs=1 | awk 'NR > 1 {print $1, $2, $4}') || return 1
  actual=$("${windows[@]}" --bits=$sizes --runs=1 | tr -d '\r' | awk 'NR > 1 {print $1, $2, $4}') ||
    return 1
  [[ $actual == "$expected" ]] ||
    { echo "kernels or powers differ; Linux:"; echo "$expected"; echo "Windows:"; echo "$actual"; return 1; }
  awk '{print "    " $1 " bits: the " $2 " kernel on both, power digest " $3}' <<<"$actual"
  local traces search status=0
  traces=$(mktemp -d)
  for search in "--trace=64" "--trace=512" "--trace=512 --kernel=adx"; do
    # shellcheck disable=SC2086 # the search's options, split into words
    "$linux" $search >"$traces/linux" &&
      "${windows[@]}" $search | tr -d '\r' >"$traces/windows" &&
      grep -qx 'Appears prime' "$traces/linux" &&
      cmp "$traces/windows" "$traces/linux" ||
      { echo "the traces of the search $search differ or are incomplete"; status=1; break; }
    echo "    search $search from a fixed start: the same trace"
  done
  rm -rf "$traces"
  return $status
}

# No aligned move of a 32- or 64-byte vector anywhere in the program: with the
# stack only 16-byte aligned, GCC may aim one at a stack slot (GCC bug 54412).
no_aligned_wide_moves() {
  local moves
  moves=$(x86_64-w64-mingw32-objdump -d --no-show-raw-insn "$1" |
    grep -E '\s(vmovdqa(32|64)?|vmovaps|vmovapd)\s.*%[yz]mm') || return 0
  echo "aligned vector moves in $1:"
  head -n 5 <<<"$moves"
  return 1
}

# The zip of the 64-bit program (cpack), unpacked, must hold the program and
# the licence, which is LICENSE; the program in it must pass the checks under
# Wine.
windows_x64() {
  cmake --workflow --preset windows-x64 || return 1
  local name zip
  name=largeprime-$(project_version build/windows-x64)-windows-x64
  zip=build/windows-x64/$name.zip
  local contents expected="$name/LICENSE.txt
$name/bin/largeprime.exe"
  contents=$(cmake -E tar tf "$zip" | grep -v '/$' | LC_ALL=C sort) || return 1
  [[ $contents == "$expected" ]] ||
    { echo "unexpected contents of $zip:"; echo "$contents"; return 1; }
  local unpacked status=0
  unpacked=$(mktemp -d)
  (cd "$unpacked" && cmake -E tar xf "$OLDPWD/$zip")
  cmp -s "$unpacked/$name/LICENSE.txt" LICENSE || { echo "LICENSE.txt in $zip is not LICENSE"; status=1; }
  local exe=$unpacked/$name/bin/largeprime.exe
  file "$exe" | grep -q 'PE32+ executable.*x86-64' || { echo "not a 64-bit Windows program"; status=1; }
  export WINEDEBUG=-all WINEPREFIX="${WINEPREFIX:-$PWD/build/wineprefix}"
  ((status == 0)) && { no_aligned_wide_moves "$exe" || status=1; }
  ((status == 0)) && { check_program "$checker" /usr/lib/wine/wine64 "$exe" || status=1; }
  ((status == 0)) && { windows_matches_linux build/windows-x64/powmod_timer.exe || status=1; }
  rm -rf "$unpacked"
  return $status
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
  update_package_lists
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
  check_program "$checker" qemu-i386 build/linux-i386/largeprime
}

# qemu-aarch64 runs the arm64 program, as it runs the tests, with Debian's arm64
# C and C++ libraries (ARM64_PACKAGES).
linux_arm64() {
  cmake --workflow --preset linux-arm64 || return 1
  check_program "$checker" qemu-aarch64 build/linux-arm64/largeprime
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
cross_check "64-bit ARM Linux under qemu-aarch64" linux_arm64 "${ARM64_PACKAGES[@]}"

failures=$((failures + install_failures))
echo "== Cross checks: $failures failed, ${#skipped[@]} skipped"
report_skipped
exit $((failures > 0))
