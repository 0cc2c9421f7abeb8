#!/usr/bin/env python3
"""Times `velquin --check` against `velquin --batch` on the same generated tree.

    bench/check_bench.py [--velquin build/src/velquin] [--runs 11] [--work /tmp/velquin-bench] [--files 10000]

Generates (once) the tree of ../shared/bench/gen_tree.py under --work and runs
`velquin --check TREE --quiet` and `velquin --batch TREE --tags 256,...`
alternately, both with their default number of jobs and output to /dev/null.
Prints the median wall times, their spread, the ratio and each run's peak
resident memory. Goal: --check within 2x of --batch. The tree holds a few
files that are not TIFF on purpose, so --check exits with 2 there.
"""
import argparse
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from batch_bench import REPO, TAGS, ensure_tree  # noqa: E402

GOAL = 2.0


def run_once(argv, work):
    report = os.path.join(work, "time.out")
    start = time.perf_counter()
    proc = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report] + argv, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    if proc.returncode not in (0, 1, 2):
        sys.exit("%s failed (%d)" % (" ".join(argv), proc.returncode))
    with open(report) as f:
        peak = int(f.read().split()[-1])
    return wall, peak


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--velquin", default=os.path.join(REPO, "build", "src", "velquin"))
    parser.add_argument("--runs", type=int, default=11)
    parser.add_argument("--work", default="/tmp/velquin-bench")
    parser.add_argument("--files", type=int, default=10000)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    tree = ensure_tree(args.work, args.files)
    commands = {
        "batch": [args.velquin, "--batch", tree, "--tags", TAGS],
        "check": [args.velquin, "--check", tree, "--quiet"],
    }
    for argv in commands.values():  # warm the cache
        run_once(argv, args.work)
    times = {name: [] for name in commands}
    peaks = {name: 0 for name in commands}
    for _ in range(args.runs):
        for name, argv in commands.items():
            wall, peak = run_once(argv, args.work)
            times[name].append(wall)
            peaks[name] = max(peaks[name], peak)
    med = {k: statistics.median(v) for k, v in times.items()}
    print("%s, %d files (%d runs each, alternating):" % (os.path.basename(tree), args.files, args.runs))
    for name, values in times.items():
        print("  %-6s median %7.1f ms  (min %6.1f, max %6.1f)  peak %6.1f MiB"
              % (name, med[name] * 1e3, min(values) * 1e3, max(values) * 1e3, peaks[name] / 1024))
    ratio = med["check"] / med["batch"]
    print("  ratio check/batch %.2f (of the minima %.2f)" % (ratio, min(times["check"]) / min(times["batch"])))
    print("goal (within %.1fx): %s" % (GOAL, "met" if ratio <= GOAL else "NOT met"))
    return 0 if ratio <= GOAL else 1


if __name__ == "__main__":
    sys.exit(main())
