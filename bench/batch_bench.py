#!/usr/bin/env python3
"""Times `velquin --batch` against the reference floor `limit` on generated trees.

    bench/batch_bench.py [--velquin build/src/velquin] [--runs 11] [--work /tmp/velquin-bench]

Generates (once) a 10,000-file and a 2,000-file tree with ../shared/bench/gen_tree.py
under --work, builds ../shared/bench/limit.c there, and runs both programs
alternately on the same tree, each writing to /dev/null, with the six tags
256, 257, 282, 283, 305 and 306. Prints the median wall times, their ratio
and each program's peak resident memory. Then compares the data lines of one
run of each: limit reads only *.tif, so velquin's lines for *.tiff files are
left out of the comparison, and velquin's CR LF line ends are taken as LF.

Goal: velquin's median within 1.3x of limit's, peak memory under 40 MiB and
not growing with the number of files.
"""
import argparse
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
SHARED_BENCH = os.path.normpath(os.path.join(REPO, "..", "shared", "bench"))
TAGS = "256,257,282,283,305,306"


def run_once(argv, stdout, work):
    """Wall time in seconds and peak resident memory in KiB of one run.

    The peak comes from /usr/bin/time: a child forked from this script would
    report the script's own size as its high-water mark.
    """
    report = os.path.join(work, "time.out")
    start = time.perf_counter()
    proc = subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report] + argv, stdout=stdout, stderr=subprocess.PIPE)
    wall = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit("%s failed (%d): %s" % (argv[0], proc.returncode, proc.stderr.decode(errors="replace")))
    with open(report) as f:
        peak = int(f.read().split()[-1])
    return wall, peak


def ensure_tree(work, files):
    tree = os.path.join(work, "tree%d" % files)
    if not os.path.isdir(tree):
        print("generating %s ..." % tree, flush=True)
        subprocess.run([sys.executable, os.path.join(SHARED_BENCH, "gen_tree.py"), "--files", str(files), tree],
                       check=True, stdout=subprocess.DEVNULL)
    return tree


def ensure_limit(work):
    limit = os.path.join(work, "limit")
    source = os.path.join(SHARED_BENCH, "limit.c")
    if not os.path.exists(limit) or os.path.getmtime(limit) < os.path.getmtime(source):
        subprocess.run(["cc", "-O2", "-o", limit, source, "-lm"], check=True)
    return limit


def measure(label, tree, velquin, limit, runs, work):
    commands = {"limit": [limit, tree], "velquin": [velquin, "--batch", tree, "--tags", TAGS]}
    times = {k: [] for k in commands}
    peaks = {k: [] for k in commands}
    with open(os.devnull, "wb") as null:
        for argv in commands.values():  # warm the cache
            run_once(argv, null, work)
        for _ in range(runs):
            for name, argv in commands.items():
                wall, peak = run_once(argv, null, work)
                times[name].append(wall)
                peaks[name].append(peak)
    med = {k: statistics.median(v) for k, v in times.items()}
    print("%s (%d runs each, alternating):" % (label, runs))
    for name in commands:
        print("  %-8s median %7.1f ms  (min %6.1f, max %6.1f)  peak memory %6.1f MiB"
              % (name, med[name] * 1e3, min(times[name]) * 1e3, max(times[name]) * 1e3, max(peaks[name]) / 1024))
    ratio = med["velquin"] / med["limit"]
    print("  ratio velquin/limit %.2f" % ratio)
    return ratio, max(peaks["velquin"]) / 1024


def compare_lines(tree, velquin, limit):
    ours = subprocess.run([velquin, "--batch", tree, "--tags", TAGS], check=True, capture_output=True).stdout
    theirs = subprocess.run([limit, tree], check=True, capture_output=True).stdout
    ours_lines = ours.split(b"\r\n")
    if ours_lines and ours_lines[-1] == b"":
        ours_lines.pop()
    theirs_lines = theirs.split(b"\n")
    if theirs_lines and theirs_lines[-1] == b"":
        theirs_lines.pop()
    # The headers differ in one title ("Imageheight" is the list's own label).
    ours_data = [l for l in ours_lines[1:] if b'.tiff","' not in l.lower()]
    tiff_lines = len(ours_lines) - 1 - len(ours_data)
    theirs_data = theirs_lines[1:]
    same = ours_data == theirs_data
    print("data lines: velquin %d (+%d of *.tiff files), limit %d: %s"
          % (len(ours_data), tiff_lines, len(theirs_data), "identical" if same else "DIFFERENT"))
    if not same:
        for a, b in zip(ours_data, theirs_data):
            if a != b:
                print("  first difference:\n    velquin %r\n    limit   %r" % (a, b))
                break
    return same


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--velquin", default=os.path.join(REPO, "build", "src", "velquin"))
    parser.add_argument("--runs", type=int, default=11)
    parser.add_argument("--work", default="/tmp/velquin-bench")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    velquin = os.path.abspath(args.velquin)
    limit = ensure_limit(args.work)
    big = ensure_tree(args.work, 10000)
    small = ensure_tree(args.work, 2000)

    ratio, peak_big = measure("10,000 files", big, velquin, limit, args.runs, args.work)
    _, peak_small = measure("2,000 files", small, velquin, limit, args.runs, args.work)
    same = compare_lines(big, velquin, limit)
    ok = ratio <= 1.3 and peak_big < 40 and peak_big <= peak_small * 1.25 + 1
    print("goal (within 1.3x, under 40 MiB, not growing): %s" % ("met" if ok else "NOT met"))
    return 0 if ok and same else 1


if __name__ == "__main__":
    sys.exit(main())
