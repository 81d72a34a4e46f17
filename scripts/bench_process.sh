#!/usr/bin/env bash
# Whole-process time of `largeprime N` (trace to /dev/null) against
# `openssl prime -generate -bits 8N`, run alternately so both see the same machine
# load; prints the median wall time of each and the ratio ours / openssl.
#
#   scripts/bench_process.sh [-b path/to/largeprime] [-n runs] [-s "128 256"] [-c out.csv]
#
# Defaults: build/bench/largeprime (the bench preset), 15 runs, sizes 128 and 256
# bytes (1024- and 2048-bit primes). -c also writes the medians as CSV
# (bytes,largeprime_ms,openssl_ms), which scripts/plot_bench.py reads.
set -euo pipefail

binary="$(dirname "$0")/../build/bench/largeprime"
runs=15
sizes="128 256"
csv=""

usage() {
  echo "usage: $0 [-b largeprime binary] [-n runs] [-s \"sizes in bytes\"] [-c out.csv]" >&2
  exit 2
}

while getopts "b:n:s:c:h" option; do
  case "$option" in
    b) binary="$OPTARG" ;;
    n) runs="$OPTARG" ;;
    s) sizes="$OPTARG" ;;
    c) csv="$OPTARG" ;;
    *) usage ;;
  esac
done
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || usage
[[ -x "$binary" ]] || { echo "$0: no executable at $binary (build the bench preset first)" >&2; exit 1; }
command -v openssl >/dev/null || { echo "$0: openssl not found" >&2; exit 1; }

# Wall time of one command in milliseconds, to the microsecond; its output is discarded.
milliseconds() {
  local begin end
  begin=$(date +%s%N)
  "$@" >/dev/null
  end=$(date +%s%N)
  awk -v ns=$((end - begin)) 'BEGIN { printf "%.3f\n", ns / 1e6 }'
}

median() {
  sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

echo "machine: $(uname -m), $(grep -m1 'model name' /proc/cpuinfo 2>/dev/null | cut -d: -f2- | sed 's/^ *//')"
echo "largeprime: $binary; $(openssl version); median of $runs runs each, alternating"
printf '%6s %6s %14s %12s %8s\n' "bytes" "bits" "largeprime ms" "openssl ms" "ratio"
[[ -z "$csv" ]] || echo "bytes,largeprime_ms,openssl_ms" >"$csv"
for size in $sizes; do
  bits=$((size * 8))
  ours=()
  theirs=()
  for ((run = 0; run < runs; run++)); do
    ours+=("$(milliseconds "$binary" "$size")")
    theirs+=("$(milliseconds openssl prime -generate -bits "$bits")")
  done
  ours_median=$(printf '%s\n' "${ours[@]}" | median)
  theirs_median=$(printf '%s\n' "${theirs[@]}" | median)
  ratio=$(awk -v a="$ours_median" -v b="$theirs_median" 'BEGIN { printf "%.2f", a / b }')
  printf '%6s %6s %14s %12s %8s\n' "$size" "$bits" "$ours_median" "$theirs_median" "$ratio"
  [[ -z "$csv" ]] || echo "$size,$ours_median,$theirs_median" >>"$csv"
done
