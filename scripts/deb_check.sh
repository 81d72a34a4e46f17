#!/usr/bin/env bash
# Builds the Debian packages and checks each as a user would receive it:
#   - for this machine's architecture, with the deb workflow (configure, build,
#     cpack);
#   - for arm64, with cpack on the linux-arm64 cross build (its toolchain and
#     Debian's arm64 libraries are installed when missing, as by
#     scripts/cross_checks.sh, which also runs that build's tests).
# The checks of each package:
#   - its contents (dpkg-deb -c): the program in /usr/bin, its compressed manual
#     page, which unpacks to largeprime.1 of the source tree, and the copyright
#     file and changelog in /usr/share/doc/largeprime, and nothing else;
#   - its control fields: name, the project's version, the architecture, the C
#     and C++ runtime libraries as dependencies, and a maintainer with a name
#     and an address, the same that the copyright file and the changelog name;
#   - the changelog: its entry for this version;
#   - the copyright file: a plain file of mode 0644 owned by root, in Debian's
#     machine-readable format, all files under the MIT licence whose text is
#     that of LICENSE;
#   - lintian (installed from Debian when missing): no error; its warnings are
#     shown;
#   - the packaged program, unpacked into a temporary directory (the arm64 one
#     run under qemu-aarch64): the usage text, and an 8-byte search whose number
#     GMP confirms, both with exit status 0.
# A tool that cannot be installed fails the run under CI (CI=true) and is
# skipped elsewhere, with a banner at the end.
#
#   scripts/deb_check.sh [PRIME_CHECKER]
#
# PRIME_CHECKER is the is_probable_prime tool of a host test build.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
source scripts/lib/program_checks.sh
source scripts/lib/install.sh

checker=${1:-build/asan/tests/is_probable_prime}
[[ -x $checker ]] || { echo "$0: no prime checker at $checker (build the asan preset first)" >&2; exit 1; }

failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

run_lintian=false
if have_packages lintian; then
  run_lintian=true
else
  unavailable "lintian" "could not install ${missing[*]}"
fi

expected_contents='./usr/
./usr/bin/
./usr/bin/largeprime
./usr/share/
./usr/share/doc/
./usr/share/doc/largeprime/
./usr/share/doc/largeprime/changelog.gz
./usr/share/doc/largeprime/copyright
./usr/share/man/
./usr/share/man/man1/
./usr/share/man/man1/largeprime.1.gz'

copyright_format='Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/'

# The permission notice of LICENSE: what follows its copyright line.
license_notice() {
  sed -n '/^Copyright (c) /,$p' LICENSE | tail -n +2 | sed '/./,$!d'
}

# The text of the MIT licence field of a copyright file, with the one-space
# indent and the " ." of empty lines undone.
copyright_license_text() {
  awk '/^License: MIT$/ { inside = 1; next }
       inside && /^ / { line = substr($0, 2); print (line == "." ? "" : line); next }
       inside { exit }' "$1"
}

# check_copyright UNPACKED CONTENTS MAINTAINER
check_copyright() {
  local file=$1/usr/share/doc/largeprime/copyright contents=$2 maintainer=$3
  [[ -f $file ]] || { fail "no copyright file"; return; }
  grep -q '^-rw-r--r-- root/root .* \./usr/share/doc/largeprime/copyright$' <<<"$contents" ||
    fail "the copyright file is not a plain file of mode 0644 owned by root"
  [[ $(head -n 1 "$file") == "$copyright_format" ]] || fail "the copyright file does not open with '$copyright_format'"
  grep -qx 'Upstream-Name: largeprime' "$file" || fail "the copyright file names no Upstream-Name: largeprime"
  grep -qxF "Upstream-Contact: $maintainer" "$file" || fail "the copyright file's contact is not the maintainer"
  # The paragraph for every file: its holders and the MIT licence.
  awk 'BEGIN { RS = "" }
       /(^|\n)Files: \*(\n|$)/ && /\nCopyright: [^\n]+/ && /\nLicense: MIT(\n|$)/ { found = 1 }
       END { exit !found }' "$file" ||
    fail "the copyright file has no paragraph 'Files: *' with a Copyright and License: MIT"
  [[ $(copyright_license_text "$file") == "$(license_notice)" ]] ||
    fail "the licence text of the copyright file is not that of LICENSE"
}

# check_package PACKAGE ARCHITECTURE VERSION [RUNNER...]: RUNNER runs the program.
check_package() {
  local package=$1 architecture=$2 version=$3
  shift 3
  echo "== checking $package"
  [[ -f $package ]] || { fail "no package $package"; return; }

  local contents
  contents=$(dpkg-deb -c "$package")
  echo "$contents"
  [[ $(awk '{ print $6 }' <<<"$contents") == "$expected_contents" ]] ||
    fail "the package holds other files than expected"
  grep -q '^-rwxr-xr-x root/root .* \./usr/bin/largeprime$' <<<"$contents" ||
    fail "the program is not an executable owned by root"

  field() { dpkg-deb -f "$package" "$1"; }
  [[ $(field Package) == largeprime ]] || fail "package name $(field Package)"
  [[ $(field Version) == "$version" ]] || fail "version $(field Version), expected $version"
  [[ $(field Architecture) == "$architecture" ]] || fail "architecture $(field Architecture), expected $architecture"
  local library
  for library in libc6 libstdc++6; do
    grep -q "\b$library\b" <<<"$(field Depends)" || fail "no dependency on $library: $(field Depends)"
  done
  local maintainer
  maintainer=$(field Maintainer)
  [[ $maintainer =~ ^[^\<\>]+\ \<[^@\<\>\ ]+@[^@\<\>\ ]+\.[^@\<\>\ ]+\>$ ]] ||
    fail "the maintainer '$maintainer' is not a name and an address"

  local unpacked
  unpacked=$(mktemp -d)
  dpkg-deb -x "$package" "$unpacked"
  zcat "$unpacked/usr/share/man/man1/largeprime.1.gz" | cmp -s - largeprime.1 ||
    fail "the packaged manual page is not largeprime.1"
  check_copyright "$unpacked" "$contents" "$maintainer"
  local changelog
  changelog=$(zcat "$unpacked/usr/share/doc/largeprime/changelog.gz")
  [[ $(head -n 1 <<<"$changelog") == "largeprime ($version) "* ]] ||
    fail "the changelog's first entry is not for version $version"
  grep -qF -- " -- $maintainer  " <<<"$changelog" || fail "the changelog's entry is not signed by the maintainer"
  if $run_lintian; then
    echo "-- lintian $package"
    lintian --fail-on error "$package" || fail "lintian reports an error"
  fi
  check_program "$checker" "$@" "$unpacked/usr/bin/largeprime" || fail "the packaged program"
  rm -rf "$unpacked"
}

# This machine's package.
if cmake --workflow --preset deb; then
  version=$(project_version build/deb)
  architecture=$(dpkg --print-architecture)
  check_package "build/deb/largeprime_${version}_$architecture.deb" "$architecture" "$version"
else
  fail "the deb workflow"
fi

# The arm64 package, from the arm64 build.
if have_packages "${ARM64_PACKAGES[@]}"; then
  if cmake --preset linux-arm64 >/dev/null && cmake --build --preset linux-arm64 && cpack --preset linux-arm64; then
    version=$(project_version build/linux-arm64)
    check_package "build/linux-arm64/largeprime_${version}_arm64.deb" arm64 "$version" qemu-aarch64
  else
    fail "the arm64 package"
  fi
else
  unavailable "arm64 package" "could not install ${missing[*]}"
fi

failures=$((failures + install_failures))
report_skipped
if ((failures > 0)); then
  echo "== Debian packages: $failures check(s) failed"
  exit 1
fi
echo "== Debian packages: passed"
