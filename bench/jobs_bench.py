#!/usr/bin/env python3
"""What --jobs buys: `velquin --batch` with one and with the default number of
jobs, side by side with the reference floor `limit -w`, and on storage where
every open costs a fixed delay.

    bench/jobs_bench.py [--velquin build/src/velquin] [--runs 21] [--work /tmp/velquin-bench]
                        [--delay-us 1000] [--slow-files 2000] [--slow-jobs 1,2,8,32]

1. Local disk, warm cache: the 10,000-file tree of ../shared/bench/gen_tree.py,
   six tags, every page; `limit -w`, `velquin --jobs 1` and `velquin` (default
   jobs) run alternately, each writing to /dev/null. Prints the median wall
   times with their spread, the ratios to limit and the peak memory; checks
   that both velquin runs write the same bytes. Goals: --jobs 1 within 1.3x,
   the default at or below 1.0x.
2. System calls per file (strace -c -f, when strace is installed).
3. Slow storage: bench/slowopen.c, preloaded, sleeps --delay-us in every open
   below the tree (a round trip to a file server); velquin runs a smaller tree
   with each --slow-jobs count, and the speed-up over --jobs 1 is printed.

The machine may be shared: the spread (min..max) says how far to trust a median.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from batch_bench import REPO, SHARED_BENCH, TAGS, ensure_limit, ensure_tree, run_once  # noqa: E402


def alternate(commands, runs, work, env=None):
    """Median, min and max wall time and peak memory of each command, run in turns."""
    times = {name: [] for name in commands}
    peaks = {name: 0 for name in commands}
    with open(os.devnull, "wb") as null:
        for argv in commands.values():  # warm the cache
            run_once(argv, null, work)
        for _ in range(runs):
            for name, argv in commands.items():
                wall, peak = run_once(argv, null, work) if env is None else timed(argv, env)
                times[name].append(wall)
                peaks[name] = max(peaks[name], peak)
    return {name: (statistics.median(t), min(t), max(t), peaks[name]) for name, t in times.items()}


def timed(argv, env):
    start = time.perf_counter()
    subprocess.run(argv, stdout=subprocess.DEVNULL, check=True, env=env)
    return time.perf_counter() - start, 0


def local(velquin, limit, tree, runs, work):
    commands = {
        "limit -w": [limit, "-w", tree],
        "velquin --jobs 1": [velquin, "--batch", tree, "--tags", TAGS, "--jobs", "1"],
        "velquin": [velquin, "--batch", tree, "--tags", TAGS],
    }
    result = alternate(commands, runs, work)
    base = result["limit -w"][0]
    print("local disk, warm cache, %s (%d runs each, alternating):" % (os.path.basename(tree), runs))
    for name, (med, lo, hi, peak) in result.items():
        print("  %-18s median %7.1f ms  (min %6.1f, max %6.1f)  ratio %5.2f  peak %5.1f MiB"
              % (name, med * 1e3, lo * 1e3, hi * 1e3, med / base, peak / 1024))
    one = subprocess.run(commands["velquin --jobs 1"], check=True, capture_output=True).stdout
    default = subprocess.run(commands["velquin"], check=True, capture_output=True).stdout
    same = one == default
    print("  output of the default jobs %s --jobs 1's (%d bytes)" % ("equals" if same else "DIFFERS FROM", len(one)))
    ratios = (result["velquin --jobs 1"][0] / base, result["velquin"][0] / base)
    print("  goals: --jobs 1 within 1.3x: %s; default at or below 1.0x: %s"
          % ("met" if ratios[0] <= 1.3 else "NOT met", "met" if ratios[1] <= 1.0 else "NOT met"))
    return same


def syscalls(velquin, tree):
    if not shutil.which("strace"):
        print("system calls: strace is not installed")
        return
    files = sum(1 for _, _, names in os.walk(tree) for n in names if n.lower().endswith((".tif", ".tiff")))
    proc = subprocess.run(["strace", "-c", "-f", velquin, "--batch", tree, "--tags", TAGS, "--jobs", "1"],
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    total = re.search(r"^100\.00\s+\S+\s+\S+\s+(\d+)", proc.stderr, re.M)
    counts = {m.group(2): int(m.group(1)) for m in re.finditer(r"^\s*[\d.]+\s+[\d.]+\s+\d+\s+(\d+)\s+(?:\d+\s+)?(\w+)$",
                                                                  proc.stderr, re.M)}
    top = ", ".join("%s %d" % kv for kv in sorted(counts.items(), key=lambda kv: -kv[1])[:5])
    print("system calls, --jobs 1: %s in all for %d files, %.2f per file (%s)"
          % (total.group(1) if total else "?", files, int(total.group(1)) / files if total else 0, top))


def slow(velquin, work, tree, delay_us, jobs_list, runs):
    shim = os.path.join(work, "slowopen.so")
    subprocess.run(["cc", "-O2", "-shared", "-fPIC", "-o", shim, os.path.join(HERE, "slowopen.c"), "-ldl"], check=True)
    tree = os.path.abspath(tree)
    env = dict(os.environ, LD_PRELOAD=shim, SLOWOPEN_PREFIX=tree, SLOWOPEN_USEC=str(delay_us))
    commands = {"--jobs %d" % j: [velquin, "--batch", tree, "--tags", TAGS, "--jobs", str(j)] for j in jobs_list}
    outputs = {subprocess.run(argv, check=True, capture_output=True, env=env).stdout for argv in commands.values()}
    result = alternate(commands, runs, work, env)
    base = result["--jobs %d" % jobs_list[0]][0]
    print("slow storage: %d us per open, %s (%d runs each):" % (delay_us, os.path.basename(tree), runs))
    for name, (med, lo, hi, _) in result.items():
        print("  %-10s median %8.1f ms  (min %8.1f, max %8.1f)  speed-up %5.1fx"
              % (name, med * 1e3, lo * 1e3, hi * 1e3, base / med))
    print("  every job count wrote %s" % ("the same bytes" if len(outputs) == 1 else "DIFFERENT bytes"))
    return len(outputs) == 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--velquin", default=os.path.join(REPO, "build", "src", "velquin"))
    parser.add_argument("--runs", type=int, default=21)
    parser.add_argument("--work", default="/tmp/velquin-bench")
    parser.add_argument("--delay-us", type=int, default=1000)
    parser.add_argument("--slow-files", type=int, default=2000)
    parser.add_argument("--slow-jobs", default="1,2,8,32")
    parser.add_argument("--slow-runs", type=int, default=3)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    velquin = os.path.abspath(args.velquin)
    limit = ensure_limit(args.work)
    big = ensure_tree(args.work, 10000)
    ok = local(velquin, limit, big, args.runs, args.work)
    syscalls(velquin, big)
    small = ensure_tree(args.work, args.slow_files)
    ok = slow(velquin, args.work, small, args.delay_us, [int(j) for j in args.slow_jobs.split(",")],
              args.slow_runs) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
