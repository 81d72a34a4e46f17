#!/usr/bin/env bash
# Builds the fuzz preset (Clang 14, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each fuzzer for a bounded time, one after
# the other, starting from its seed corpus in fuzz/corpus/<target>. Inputs the
# fuzzer finds interesting go to a working corpus in the build directory, never
# into the repository. Fails on the first finding (a failed check, a sanitizer
# report, a crash, a hang or running out of memory) and names the saved input.
#
#   scripts/run_fuzzers.sh [-t seconds per target] [-b build dir] [target ...]
#
# Defaults: 60 seconds each (or $FUZZ_SECONDS), build/fuzz, every target. To
# replay a finding: <build dir>/fuzz/<target> <saved input>.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-60}
build=build/fuzz
all_targets=(arithmetic arithmetic_narrow command_line decimal)

usage() {
  echo "usage: $0 [-t seconds per target] [-b build dir] [target ...]" >&2
  echo "targets: ${all_targets[*]}" >&2
  exit 2
}

while getopts "t:b:h" option; do
  case "$option" in
    t) seconds="$OPTARG" ;;
    b) build="$OPTARG" ;;
    *) usage ;;
  esac
done
shift $((OPTIND - 1))
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] || usage
targets=("$@")
((${#targets[@]} > 0)) || targets=("${all_targets[@]}")
seeds() { echo "fuzz/corpus/${1%_narrow}"; }
for target in "${targets[@]}"; do
  [[ " ${all_targets[*]} " == *" $target "* ]] || { echo "$0: unknown target $target" >&2; usage; }
done

# The longest input worth trying: the arithmetic fuzzer reads a program of up
# to 48 operations, the decimal fuzzer at most 512 digits of two bytes each.
max_len() {
  case "$1" in
    arithmetic*) echo 4096 ;;
    decimal) echo 1024 ;;
    *) echo 256 ;;
  esac
}

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j2 >/dev/null

summary=()
for target in "${targets[@]}"; do
  binary="$build/fuzz/${target}_fuzzer"
  work="$build/fuzz-corpus/$target"
  artifacts="$build/fuzz-findings/$target/"
  log="$build/fuzz-logs/$target.log"
  mkdir -p "$work" "$artifacts" "$(dirname "$log")"
  echo "fuzzing $target for $seconds s"
  status=0
  "$binary" "$work" "$(seeds "$target")" \
    -max_total_time="$seconds" -max_len="$(max_len "$target")" -timeout=20 -rss_limit_mb=2560 \
    -print_final_stats=1 -artifact_prefix="$artifacts" >"$log" 2>&1 || status=$?
  executions=$(awk '/^stat::number_of_executed_units:/ { print $2 }' "$log")
  corpus=$(find "$work" -type f | wc -l)
  if ((status != 0)); then
    echo "FINDING in $target (exit status $status); log $log" >&2
    grep -v -E '^#[0-9]+' "$log" | tail -n 40 >&2
    find "$artifacts" -type f -newer "$binary" -printf 'saved input: %p\n' >&2
    exit 1
  fi
  summary+=("$(printf '%-18s %5s s %12s executions %7s corpus inputs' "$target" "$seconds" \
    "${executions:-?}" "$corpus")")
done

echo "no findings:"
printf '  %s\n' "${summary[@]}"
