#!/usr/bin/env python3
"""The window's batch run against `velquin --batch`, side by side on the same tree.

    bench/batchwin_bench.py [--build build-bench] [--runs 11] [--work /tmp/velquin-bench] [--files 10000]

Builds (when missing) the command line and the driver bench/batchwin_bench.cpp
in --build with -DVELQUIN_BENCH=ON, generates the tree of
../shared/bench/gen_tree.py under --work, then runs alternately, --runs times
each:

  velquin    `velquin --batch TREE --tags 256,257,282,283,305,306 > /dev/null`,
             timed from start to exit;
  window     the driver: the main window shown offscreen, the Batch tab in
             front with the same six entries checked, Start pressed; it prints
             the run's time from the click to the end of the run, the pane
             filled and the window redrawn as it goes.

Prints the median, min and max of each and the ratio of the medians, and checks
that the pane's Save writes the command line's bytes. Goal: the window within
1.5x. The machine may be shared: min..max says how far to trust a median.
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

GOAL = 1.5


def ensure_build(build):
    driver = os.path.join(build, "bench", "batchwin_bench")
    velquin = os.path.join(build, "src", "velquin")
    if not os.path.exists(os.path.join(build, "build.ninja")):
        subprocess.run(["cmake", "-S", REPO, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                        "-DVELQUIN_BENCH=ON", "-DVELQUIN_TESTS=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "-j2", "--target", "batchwin_bench", "velquin"], check=True,
                   stdout=subprocess.DEVNULL)
    return driver, velquin


def time_cli(velquin, tree):
    start = time.perf_counter()
    subprocess.run([velquin, "--batch", tree, "--tags", TAGS], stdout=subprocess.DEVNULL, check=True)
    return time.perf_counter() - start


def time_window(driver, tree, env, save=None):
    argv = [driver, tree, "--tags", TAGS] + (["--save", save] if save else [])
    proc = subprocess.run(argv, env=env, capture_output=True, text=True)
    if proc.returncode != 0:
        sys.exit("batchwin_bench failed (%d): %s" % (proc.returncode, proc.stderr))
    return float(proc.stdout.split()[-1]) / 1e3


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(REPO, "build-bench"))
    parser.add_argument("--runs", type=int, default=11)
    parser.add_argument("--work", default="/tmp/velquin-bench")
    parser.add_argument("--files", type=int, default=10000)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    driver, velquin = ensure_build(os.path.abspath(args.build))
    tree = ensure_tree(args.work, args.files)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")

    # The same bytes first; the runs also warm the cache.
    saved = os.path.join(args.work, "window-results.csv")
    time_window(driver, tree, env, saved)
    expected = subprocess.run([velquin, "--batch", tree, "--tags", TAGS], check=True, capture_output=True).stdout
    with open(saved, "rb") as f:
        same = f.read() == expected

    times = {"velquin": [], "window": []}
    for _ in range(args.runs):
        times["velquin"].append(time_cli(velquin, tree))
        times["window"].append(time_window(driver, tree, env))
    med = {k: statistics.median(v) for k, v in times.items()}
    print("%s, %d files (%d runs each, alternating):" % (os.path.basename(tree), args.files, args.runs))
    for name, values in times.items():
        print("  %-8s median %7.1f ms  (min %6.1f, max %6.1f)"
              % (name, med[name] * 1e3, min(values) * 1e3, max(values) * 1e3))
    ratio = med["window"] / med["velquin"]
    print("  ratio window/velquin %.2f (of the minima %.2f)" % (ratio, min(times["window"]) / min(times["velquin"])))
    print("  Save of the pane %s velquin --batch's output (%d bytes)"
          % ("equals" if same else "DIFFERS FROM", len(expected)))
    print("goal (within %.1fx): %s" % (GOAL, "met" if ratio <= GOAL else "NOT met"))
    return 0 if same and ratio <= GOAL else 1


if __name__ == "__main__":
    sys.exit(main())
