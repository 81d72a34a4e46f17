#!/usr/bin/env bash
# Installing what a check needs from Debian, shared by the scripts that build
# and check the program on other platforms and in its packages. Source this
# file. A check whose toolchain cannot be installed fails the run under CI
# (CI=true), with the installer's output; elsewhere it is skipped, and
# report_skipped names it in a banner at the end.

install_failures=0
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

# Refreshes the package lists. A mirror in the middle of a sync fails some index
# files for a while: try again, and if it still fails, show why and go on with
# the lists as they are (the install or download that follows fails with its own
# message if they are not enough).
update_package_lists() {
  for _ in 1 2; do
    apt-get update >/dev/null 2>&1 && return 0
    sleep 20
  done
  run_installer apt-get update || echo "(going on with the package lists as they are)"
}

# Installs whichever of these Debian packages are missing (left in $missing).
# A name with an architecture (libgmp-dev:arm64) is installed beside this
# machine's packages by dpkg multiarch, once that architecture is added. Other
# builds on the machine may hold the package manager's lock for a while: wait
# for it.
missing=()
have_packages() {
  missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
  done
  ((${#missing[@]} == 0)) && return 0
  echo "Installing: ${missing[*]}"
  for package in "${missing[@]}"; do
    [[ $package == *:* ]] || continue
    local architecture=${package##*:}
    dpkg --print-foreign-architectures | grep -qx "$architecture" || dpkg --add-architecture "$architecture"
  done
  update_package_lists
  run_installer env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -o DPkg::Lock::Timeout=300 "${missing[@]}"
}

# A check that cannot run because its toolchain is missing: a failure under CI,
# a skip elsewhere.
unavailable() {
  local name=$1 reason=$2
  if $strict; then
    echo "== $name: FAILED: $reason (under CI a missing toolchain fails the run)"
    install_failures=$((install_failures + 1))
  else
    echo "== $name: SKIPPED: $reason"
    skipped+=("$name: $reason")
  fi
}

# Names the skipped checks, if any, in a banner on standard error.
report_skipped() {
  ((${#skipped[@]} > 0)) || return 0
  {
    echo "!!"
    echo "!! WARNING: ${#skipped[@]} check(s) SKIPPED; these were NOT checked:"
    local reason
    for reason in "${skipped[@]}"; do echo "!!   $reason"; done
    echo "!! (with CI=true a missing toolchain fails the run)"
    echo "!!"
  } >&2
}

# The packages that build and check the 64-bit ARM Linux program on this
# machine: the cross compiler, qemu-user, GoogleTest's sources, Debian's arm64
# GMP for the tests, and the arm64 C++ runtime (with the C library it depends
# on), whose loader and libraries run the packaged program under qemu-aarch64
# and from which dpkg-shlibdeps reads the package's dependencies.
ARM64_PACKAGES=(g++-aarch64-linux-gnu qemu-user googletest libgmp-dev:arm64 libstdc++6:arm64)
