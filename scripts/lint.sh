#!/usr/bin/env bash
# Checks the formatting (clang-format, .clang-format) and runs the static
# analysis (clang-tidy, .clang-tidy) over every C++ source of the project; fails
# on any difference or finding. Headers are analysed through the files that
# include them. platform/clock_win32.cpp is only formatted: it does not compile
# here.
#
#   scripts/lint.sh [-b build dir] [-j jobs] [-f]
#
# -b: where the compilation database is configured (default build/lint); it is
#     configured with Clang 14 and every optional part (tests, benchmarks,
#     fuzzers), so nothing needs to be built.
# -j: parallel clang-tidy processes (default 2).
# -f: rewrite the files with clang-format instead of only checking them.
#
# It also fails when the search (primesearch/) or the command line (cli/)
# includes a header of bigint/ other than the public ones.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/lint
jobs=2
fix_format=false

usage() {
  echo "usage: $0 [-b build dir] [-j jobs] [-f]" >&2
  exit 2
}

while getopts "b:j:fh" option; do
  case "$option" in
    b) build="$OPTARG" ;;
    j) jobs="$OPTARG" ;;
    f) fix_format=true ;;
    *) usage ;;
  esac
done
[[ "$jobs" =~ ^[1-9][0-9]*$ ]] || usage
for tool in clang-format-14 clang-tidy-14 run-clang-tidy-14; do
  command -v "$tool" >/dev/null || { echo "$0: $tool not found" >&2; exit 1; }
done

directories=(bigint primesearch cli platform tests bench fuzz)
mapfile -t sources < <(find "${directories[@]}" -type f \( -name '*.cpp' -o -name '*.h' \) | sort)

status=0

# The search and the command line see the arithmetic only through these.
public_bigint_headers="bigint/bigint.h bigint/charstring.h bigint/prepared_modulus.h"
public_bigint_headers+=" bigint/powmod_observer.h bigint/power_batch.h bigint/small_residues.h"
bigint_includes=$(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]bigint/' primesearch cli || true)
internal_includes=$(printf '%s\n' "$bigint_includes" | while IFS= read -r line; do
  [[ -n "$line" ]] || continue
  header=$(sed -E 's/.*include[[:space:]]*["<]([^">]*)[">].*/\1/' <<<"$line")
  [[ " $public_bigint_headers " == *" $header "* ]] || echo "$line"
done)
if [[ -n "$internal_includes" ]]; then
  echo "$internal_includes" >&2
  echo "includes: primesearch/ and cli/ may include only $public_bigint_headers" >&2
  status=1
fi

echo "clang-format: ${#sources[@]} files"
if $fix_format; then
  clang-format-14 -i "${sources[@]}"
elif ! clang-format-14 --dry-run --Werror "${sources[@]}"; then
  echo "clang-format: differences found (scripts/lint.sh -f rewrites the files)" >&2
  status=1
fi

cmake --preset fuzz -B "$build" -DLARGEPRIME_BUILD_TESTS=ON -DLARGEPRIME_BUILD_BENCH=ON >/dev/null
database="$build/compile_commands.json"
mapfile -t units < <(printf '%s\n' "${sources[@]}" | grep '\.cpp$' | while read -r file; do
  if grep -q "\"file\": \"$PWD/$file\"" "$database"; then echo "$PWD/$file"; fi
done)

echo "clang-tidy: ${#units[@]} translation units"
log="$build/clang-tidy.log"
# run-clang-tidy takes regular expressions: match each file exactly.
patterns=()
for unit in "${units[@]}"; do patterns+=("^${unit//./\\.}\$"); done
if ! run-clang-tidy-14 -p "$build" -j "$jobs" -quiet "${patterns[@]}" >"$log" 2>&1; then
  # Findings in a header show once per file that includes it: list each once.
  sed 's/\x1b\[[0-9;]*m//g' "$log" | grep -E '(warning|error): ' | sort -u >&2 || cat "$log" >&2
  echo "clang-tidy: findings above; full log in $log" >&2
  status=1
fi

if ((status == 0)); then echo "lint: clean"; fi
exit $status
