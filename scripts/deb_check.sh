#!/usr/bin/env bash
# Builds the Debian package (the deb workflow: configure, build, cpack) and
# checks it as a user would receive it:
#   - its contents (dpkg-deb -c): the program in /usr/bin and its compressed
#     manual page, which unpacks to largeprime.1 of the source tree, and nothing
#     else;
#   - its control fields: name, the project's version, this machine's
#     architecture, and the C and C++ runtime libraries as dependencies;
#   - the packaged program, unpacked into a temporary directory: the usage text,
#     and an 8-byte search whose number GMP confirms, both with exit status 0.
#
#   scripts/deb_check.sh [PRIME_CHECKER]
#
# PRIME_CHECKER is the is_probable_prime tool of a host test build.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib/program_checks.sh

checker=${1:-build/asan/tests/is_probable_prime}
[[ -x $checker ]] || { echo "$0: no prime checker at $checker (build the asan preset first)" >&2; exit 1; }

cmake --workflow --preset deb
version=$(project_version build/deb)
package=build/deb/largeprime_${version}_$(dpkg --print-architecture).deb
echo "== checking $package"

failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

expected='./usr/
./usr/bin/
./usr/bin/largeprime
./usr/share/
./usr/share/man/
./usr/share/man/man1/
./usr/share/man/man1/largeprime.1.gz'
contents=$(dpkg-deb -c "$package")
echo "$contents"
[[ $(awk '{ print $6 }' <<<"$contents") == "$expected" ]] || fail "the package holds other files than expected"
grep -q '^-rwxr-xr-x root/root .* \./usr/bin/largeprime$' <<<"$contents" ||
  fail "the program is not an executable owned by root"

field() { dpkg-deb -f "$package" "$1"; }
[[ $(field Package) == largeprime ]] || fail "package name $(field Package)"
[[ $(field Version) == "$version" ]] || fail "version $(field Version), expected $version"
[[ $(field Architecture) == "$(dpkg --print-architecture)" ]] || fail "architecture $(field Architecture)"
for library in libc6 libstdc++6; do
  grep -q "\b$library\b" <<<"$(field Depends)" || fail "no dependency on $library: $(field Depends)"
done

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$package" "$unpacked"
zcat "$unpacked/usr/share/man/man1/largeprime.1.gz" | cmp -s - largeprime.1 ||
  fail "the packaged manual page is not largeprime.1"
check_program "$checker" "$unpacked/usr/bin/largeprime" || fail "the packaged program"

if ((failures > 0)); then
  echo "== Debian package: $failures check(s) failed"
  exit 1
fi
echo "== Debian package: passed"
