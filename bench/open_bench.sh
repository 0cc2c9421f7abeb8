#!/usr/bin/env bash
# Opening huge files: a 10,000-page file and a page of 65,535 entries, listed
# by `velquin --dump` and by the reference reader `limit -w -p 1` (the file read
# whole, the ratio's base) and `limit -p 1` (read in pieces), alternately; then
# the instructions each takes (valgrind's count, when it is installed), which
# unlike the times does not depend on what else the machine is doing.
#   bench/open_bench.sh [BUILD_DIR] [RUNS]     (default: build, 21)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-21}
shared=$(cd .. && pwd)/shared/bench
out=/tmp/velquin-bench
mkdir -p "$out"
[ -f "$out/pages/pages_10000.tif" ] || python3 "$shared/gen_tree.py" --huge pages "$out/pages" >/dev/null
[ -f "$out/entries/entries_65535.tif" ] || python3 "$shared/gen_tree.py" --huge entries "$out/entries" >/dev/null
cc -O2 -o "$out/limit" "$shared/limit.c" -lm
cmake --build "$build" --target velquin >/dev/null
files=("$out/pages/pages_10000.tif" "$out/entries/entries_65535.tif")

for f in "${files[@]}"; do
  echo "== $(basename "$f")"
  python3 bench/compare.py --runs "$runs" \
    "limit-w=$out/limit -w -p 1 $f" \
    "limit=$out/limit -p 1 $f" \
    "velquin=$build/src/velquin --dump $f --page 1"
done

if command -v valgrind >/dev/null; then
  echo "== instructions"
  for f in "${files[@]}"; do
    for cmd in "$out/limit -w -p 1 $f" "$build/src/velquin --dump $f --page 1"; do
      count=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null $cmd 2>&1 >/dev/null | awk '/refs:/ {print $NF}')
      printf '%-16s %-26s %14s\n' "$(basename "${cmd%% *}")" "$(basename "$f")" "$count"
    done
  done
fi
