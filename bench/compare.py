#!/usr/bin/env python3
"""Times commands side by side, alternating them, and prints median wall
times, their ratio to the first command, and each command's peak memory.

    compare.py [--runs N] [--warmup N] -- NAME=CMD ... 

Each CMD is a shell-free argument string split on blanks (paths must not
contain blanks); stdout goes to /dev/null.
"""
import argparse
import os
import statistics
import sys
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
    _, status, usage = os.wait4(pid, 0)
    elapsed = time.perf_counter() - start
    code = os.waitstatus_to_exitcode(status)
    return elapsed, usage.ru_maxrss / 1024.0, code  # ru_maxrss is in KiB on Linux


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
    peaks = {name: 0.0 for name, _ in cmds}
    codes = {name: set() for name, _ in cmds}
    for _ in range(args.runs):
        for name, argv in cmds:
            t, rss, code = run_once(argv)
            times[name].append(t)
            peaks[name] = max(peaks[name], rss)
            codes[name].add(code)
    base = statistics.median(times[cmds[0][0]])
    print("%-14s %12s %8s %14s %s" % ("command", "median ms", "ratio", "peak MiB", "exit codes"))
    for name, _ in cmds:
        med = statistics.median(times[name])
        print("%-14s %12.2f %8.2f %14.1f %s" % (name, med * 1000, med / base, peaks[name], sorted(codes[name])))


if __name__ == "__main__":
    sys.exit(main())
