#!/usr/bin/env bash
# Opening huge files: a 10,000-page file and a page of 65,535 entries, listed
# by `velquin --dump` and by the reference reader `limit -w -p 1` (the file read
# whole, the ratio's base) and `limit -p 1` (read in pieces), alternately.
#   bench/open_bench.sh [BUILD_DIR]     (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shared=$(cd .. && pwd)/shared/bench
out=/tmp/velquin-bench
mkdir -p "$out"
[ -f "$out/pages/pages_10000.tif" ] || python3 "$shared/gen_tree.py" --huge pages "$out/pages" >/dev/null
[ -f "$out/entries/entries_65535.tif" ] || python3 "$shared/gen_tree.py" --huge entries "$out/entries" >/dev/null
cc -O2 -o "$out/limit" "$shared/limit.c" -lm
cmake --build "$build" --target velquin >/dev/null

for f in "$out/pages/pages_10000.tif" "$out/entries/entries_65535.tif"; do
  echo "== $(basename "$f")"
  python3 bench/compare.py --runs 21 \
    "limit-w=$out/limit -w -p 1 $f" \
    "limit=$out/limit -p 1 $f" \
    "velquin=$build/src/velquin --dump $f --page 1"
done
