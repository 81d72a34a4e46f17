#!/usr/bin/python3
"""Draws docs/performance.svg from the benchmarks' machine-readable output.

Two panels on logarithmic axes:
  left:  a whole search's time against its size in bytes: ours on one worker and
         on all, the plain GMP search of the same candidates (search_bench --csv),
         and `openssl prime -generate` (scripts/bench_process.sh -c);
  right: one modular exponentiation's time against the modulus's bits: each of
         our kernels and mpz_powm (powmod_bench's JSON output).

    scripts/plot_bench.py --powmod powmod.json --search search.csv \
        [--openssl openssl.csv] [--machine "2-vCPU AMD EPYC (Zen 4)"] [-o docs/performance.svg]

The search CSV should come from a run with --wall, the measure for the
many-worker search. Needs Debian's python3-matplotlib.
"""

import argparse
import csv
import json
import re
import statistics
import sys
from collections import defaultdict

import matplotlib

matplotlib.use("svg")
import matplotlib.pyplot as plt  # noqa: E402  (after the back end is chosen)
from matplotlib.ticker import NullFormatter, ScalarFormatter  # noqa: E402

# Google Benchmark rows of powmod_bench: BM_PowMod<Series>/<bits>.
POWMOD_NAME = re.compile(r"^BM_PowMod(?P<series>[A-Za-z0-9]+)/(?P<bits>\d+)")
UNIT_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
SERIES_LABELS = {
    "Gmp": "GMP mpz_powm",
    "Vector": "ours, vector kernel (AVX-512 IFMA)",
    "Adx": "ours, mulx/adx kernel",
    "Portable": "ours, portable C++",
    "Batch8": "ours, eight at once (per exponentiation)",
}


def read_powmod(path):
    """{series: {bits: milliseconds}} from Google Benchmark JSON; the least time
    of a name's repetitions, rows that were skipped or errored left out."""
    with open(path, encoding="utf-8") as stream:
        report = json.load(stream)
    series = defaultdict(dict)
    for row in report.get("benchmarks", []):
        match = POWMOD_NAME.match(row.get("name", ""))
        if not match or row.get("error_occurred") or row.get("run_type") == "aggregate":
            continue
        # A batch reports the time of one of its exponentiations as a rate
        # counter, in seconds.
        if "per_powmod" in row:
            ms = row["per_powmod"] * 1e3
        else:
            ms = row["real_time"] * UNIT_MS[row.get("time_unit", "ns")]
        bits = int(match.group("bits"))
        name = match.group("series")
        series[name][bits] = min(ms, series[name].get(bits, ms))
    return series


def read_search(path):
    """{bytes: (ours on one, ours on all, gmp)} medians over the starts, and the clock."""
    rows = defaultdict(lambda: ([], [], []))
    clocks = set()
    with open(path, encoding="utf-8", newline="") as stream:
        for row in csv.DictReader(stream):
            one, every, gmp = rows[int(row["bytes"])]
            one.append(float(row["ours_1_ms"]))
            every.append(float(row["ours_n_ms"]))
            gmp.append(float(row["gmp_ms"]))
            clocks.add(row["clock"])
    medians = {size: tuple(statistics.median(v) for v in values) for size, values in rows.items()}
    return medians, "/".join(sorted(clocks))


def read_openssl(path):
    with open(path, encoding="utf-8", newline="") as stream:
        return {int(row["bytes"]): float(row["openssl_ms"]) for row in csv.DictReader(stream)}


def plot_series(axes, points, label, marker):
    xs = sorted(points)
    axes.plot(xs, [points[x] for x in xs], marker=marker, label=label)


def draw(powmod, search, clock, openssl, machine, output):
    figure, (left, right) = plt.subplots(1, 2, figsize=(12, 5))
    ours_one = {size: times[0] for size, times in search.items()}
    ours_all = {size: times[1] for size, times in search.items()}
    gmp = {size: times[2] for size, times in search.items()}
    plot_series(left, ours_one, "ours, one worker", "o")
    plot_series(left, ours_all, "ours, all workers", "s")
    plot_series(left, gmp, "plain GMP search, same candidates", "^")
    if openssl:
        plot_series(left, openssl, "openssl prime -generate (own candidates)", "x")
    left.set_title(f"A whole search ({clock} time, median over the starts)")
    left.set_xlabel("prime size, bytes")
    left.set_ylabel("milliseconds")

    markers = iter("osD^vx*")
    for name in ["Vector", "Adx", "Portable", "Batch8", "Gmp"] + sorted(powmod):
        if name in powmod and powmod[name]:
            plot_series(right, powmod.pop(name), SERIES_LABELS.get(name, name), next(markers, "."))
    right.set_title("One modular exponentiation, full-size exponent")
    right.set_xlabel("modulus, bits")
    right.set_ylabel("milliseconds")

    for axes in (left, right):
        axes.set_xscale("log", base=2)
        axes.set_yscale("log")
        axes.set_xticks(sorted({x for line in axes.lines for x in line.get_xdata()}))
        axes.xaxis.set_major_formatter(ScalarFormatter())
        axes.xaxis.set_minor_formatter(NullFormatter())
        axes.grid(True, which="both", alpha=0.3)
        axes.legend(fontsize="small")
    if machine:
        figure.suptitle(f"largeprime on {machine}")
    figure.tight_layout()
    figure.savefig(output)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--powmod", required=True, help="powmod_bench --benchmark_out JSON")
    parser.add_argument("--search", required=True, help="search_bench --csv output")
    parser.add_argument("--openssl", help="scripts/bench_process.sh -c output")
    parser.add_argument("--machine", default="", help="the machine, for the title")
    parser.add_argument("-o", "--output", default="docs/performance.svg")
    args = parser.parse_args(argv)
    powmod = read_powmod(args.powmod)
    search, clock = read_search(args.search)
    openssl = read_openssl(args.openssl) if args.openssl else {}
    if not powmod or not search:
        sys.exit("plot_bench: no rows read from the benchmark output")
    draw(powmod, search, clock, openssl, args.machine, args.output)


if __name__ == "__main__":
    main(sys.argv[1:])
