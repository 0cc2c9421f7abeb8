#!/usr/bin/env python3
"""Times commands side by side, alternating them, and prints median wall
times with their quartiles, their ratio to the first command, and each
command's peak memory. The noise of a ratio on a shared machine shows in
the ratios of single rounds (each command once, in turn): their median and
quartiles are printed beside the ratio of the medians.

    compare.py [--runs N] [--warmup N] -- NAME=CMD ... 

Each CMD is a shell-free argument string split on blanks (paths must not
contain blanks); stdout goes to /dev/null. The peak memory comes from one
more run of each under /usr/bin/time, untimed: a child forked from this
script reports at least the script's own size as its high-water mark.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time


def run_once(argv):
    start = time.perf_counter()
    pid = os.fork()
    if pid == 0:
        fd = os.open(os.devnull, os.O_WRONLY)
        os.dup2(fd, 1)
        try:
            os.execvp(argv[0], argv)
        finally:
            os._exit(127)
    _, status = os.waitpid(pid, 0)
    elapsed = time.perf_counter() - start
    return elapsed, os.waitstatus_to_exitcode(status)


def peak_mib(argv):
    """Peak resident memory of one run, from /usr/bin/time."""
    with tempfile.NamedTemporaryFile("r") as report:
        subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report.name] + argv,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return int(report.read().split()[-1]) / 1024.0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--runs", type=int, default=15)
    ap.add_argument("--warmup", type=int, default=2)
    ap.add_argument("commands", nargs="+", help="NAME=CMD")
    args = ap.parse_args()
    cmds = []
    for spec in args.commands:
        name, _, cmd = spec.partition("=")
        cmds.append((name, cmd.split()))
    for _ in range(args.warmup):
        for _, argv in cmds:
            run_once(argv)
    times = {name: [] for name, _ in cmds}
    codes = {name: set() for name, _ in cmds}
    for _ in range(args.runs):
        for name, argv in cmds:
            t, code = run_once(argv)
            times[name].append(t)
            codes[name].add(code)
    peaks = {name: peak_mib(argv) for name, argv in cmds}
    first = cmds[0][0]
    base = statistics.median(times[first])
    print("%-14s %10s %19s %7s %21s %10s %s" % ("command", "median ms", "quartiles ms", "ratio",
                                                 "round ratios q1-q3", "peak MiB", "exit codes"))
    for name, _ in cmds:
        t = times[name]
        med = statistics.median(t)
        q1, _, q3 = quartiles(t)
        rounds = [a / b for a, b in zip(t, times[first])]
        r1, rmed, r3 = quartiles(rounds)
        print("%-14s %10.2f %9.2f..%-8.2f %7.2f %7.2f (%5.2f..%5.2f) %10.1f %s" % (
            name, med * 1000, q1 * 1000, q3 * 1000, med / base, rmed, r1, r3, peaks[name], sorted(codes[name])))


def quartiles(values):
    """First quartile, median and third quartile."""
    if len(values) < 2:
        return values[0], values[0], values[0]
    q1, q2, q3 = statistics.quantiles(values, n=4)
    return q1, q2, q3


if __name__ == "__main__":
    sys.exit(main())
