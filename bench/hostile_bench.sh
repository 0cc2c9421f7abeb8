#!/usr/bin/env bash
# The large hostile files of bench/gen_hostile.py through `velquin --dump`:
# peak memory against the file's size, the number of reads, the exit status
# under a limit of four times the size and 64 MiB, and the time of the file
# with scattered values against the compact one (run alternately).
#   bench/hostile_bench.sh [BUILD_DIR]     (default: build; needs strace)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=/tmp/velquin-bench
mkdir -p "$out"
for kind in overlap scattered compact; do
  [ -f "$out/$kind.tif" ] || python3 bench/gen_hostile.py "$kind" "$out/$kind.tif" >/dev/null
done
cmake --build "$build" --target velquin >/dev/null
velquin=$build/src/velquin

for kind in overlap scattered compact; do
  f=$out/$kind.tif
  size=$(stat -c %s "$f")
  peak=$(/usr/bin/time -f %M "$velquin" --dump "$f" 2>&1 >/dev/null | tail -1)
  reads=$(strace -c -e trace=pread64 "$velquin" --dump "$f" 2>&1 >/dev/null | awk '/pread64/ {print $4}')
  limit=$(((4 * size + (64 << 20)) / 1024))
  if (ulimit -v "$limit" && "$velquin" --dump "$f" --all-pages >/dev/null 2>&1); then status=0; else status=$?; fi
  printf '%-10s %10d bytes  peak %7d KiB (%.2f x size)  %6d preads  exit %d under ulimit -v %d\n' \
    "$kind" "$size" "$peak" "$(awk "BEGIN { print $peak * 1024 / $size }")" "$reads" "$status" "$limit"
done
python3 bench/compare.py --runs 11 "compact=$velquin --dump $out/compact.tif" \
  "scattered=$velquin --dump $out/scattered.tif"
