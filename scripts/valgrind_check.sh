#!/usr/bin/env bash
# Runs the program and the unit tests under Valgrind's memcheck, in a build
# without sanitizers (the debug preset), and fails on any memory error or leak.
#
# - The program (`largeprime 16`, the usage text, and a run whose standard output
#   cannot be written) must leave no block allocated at all at exit, reachable or
#   not: that includes the cached decimal text.
# - The unit tests must show no error and no definite or indirect leak (the test
#   framework keeps reachable blocks of its own). The slow differential suites
#   against the reference arithmetic and the suite that starts the program as a
#   process are left out, which keeps this run to well under a minute.
#
#   scripts/valgrind_check.sh [-b build dir] [-f gtest filter]
#
# Defaults: build/debug and the filter below.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/debug
filter='-ReferenceTest.*:ProgramProcessTest.*'

usage() {
  echo "usage: $0 [-b build dir] [-f gtest filter]" >&2
  exit 2
}

while getopts "b:f:h" option; do
  case "$option" in
    b) build="$OPTARG" ;;
    f) filter="$OPTARG" ;;
    *) usage ;;
  esac
done
command -v valgrind >/dev/null || { echo "$0: valgrind not found" >&2; exit 1; }

cmake --preset debug -B "$build" >/dev/null
cmake --build "$build" -j2 --target largeprime largeprime_tests >/dev/null

# Distinct from every exit status of the programs themselves.
readonly memcheck_error=99
logs="$build/valgrind"
mkdir -p "$logs"
failures=0

# memcheck LOG-NAME EXPECTED-EXIT-STATUS LEAK-KINDS STDOUT COMMAND...
memcheck() {
  local log=$1 expected=$2 kinds=$3 out=$4
  shift 4
  local name="$*"
  [[ "$out" == /dev/* ]] && name="$name >$out"
  local status=0
  local begin=$SECONDS
  valgrind --quiet --error-exitcode=$memcheck_error --leak-check=full \
    --show-leak-kinds="$kinds" --errors-for-leak-kinds="$kinds" \
    --log-file="$logs/$log.log" "$@" >"$out" 2>"$logs/$log.stderr" || status=$?
  if ((status == memcheck_error)) || [[ -s "$logs/$log.log" ]]; then
    echo "FAILED $name: memcheck found errors or leaks" >&2
    cat "$logs/$log.log" >&2
    failures=$((failures + 1))
  elif ((status != expected)); then
    echo "FAILED $name: exit status $status, expected $expected" >&2
    tail -n 30 "$logs/$log.stderr" >&2
    failures=$((failures + 1))
  else
    echo "clean: $name ($((SECONDS - begin)) s)"
  fi
}

memcheck search 0 all /dev/null "$build/largeprime" 16
memcheck usage 0 all /dev/null "$build/largeprime"
memcheck unwritable-output 1 all /dev/full "$build/largeprime" 8
memcheck unit-tests 0 definite,indirect "$logs/unit-tests.out" \
  "$build/tests/largeprime_tests" --gtest_filter="$filter"
if grep -q 'FAILED' "$logs/unit-tests.out"; then
  grep 'FAILED' "$logs/unit-tests.out" >&2
fi

if ((failures > 0)); then
  echo "$failures memcheck run(s) failed; logs in $logs" >&2
  exit 1
fi
echo "memcheck: no errors and no leaks"
