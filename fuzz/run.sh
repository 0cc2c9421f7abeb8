#!/usr/bin/env bash
# Builds the reader's fuzzer with clang and runs it for SECONDS.
#
#   fuzz/run.sh SECONDS [libFuzzer flags...]
#
# One fuzzing process, libFuzzer's default (the machine is shared; -jobs would
# fork workers that log to files in the current directory). The working corpus and any
# findings go to $VELQUIN_FUZZ_WORK (default /tmp/velquin-fuzz), never into the
# repository; seeds are the shared corpus of real files, fuzz/seeds/ and the
# kept regressions. A finding is reproduced with
#   build-fuzz/fuzz/velquin_reader_fuzz FILE
# and shrunk with -minimize_crash=1 -runs=10000 FILE.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:?usage: fuzz/run.sh SECONDS [libFuzzer flags...]}
shift
build=${VELQUIN_FUZZ_BUILD:-$root/build-fuzz}
work=${VELQUIN_FUZZ_WORK:-/tmp/velquin-fuzz}
corpus=${VELQUIN_CORPUS_DIR:-$root/../shared/corpus}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELQUIN_FUZZ=ON -DVELQUIN_GUI=OFF -DVELQUIN_TESTS=OFF >/dev/null
ninja -C "$build" -j2 velquin_reader_fuzz

# Memory: inputs are at most max_len bytes, and no input may make the reader
# hold more than 64 MB above its own size. reader_fuzz.cpp checks that on the
# peak of live heap bytes while an input is handled (both readings, the
# listings and the batch run at once, so stricter than the reader alone);
# -malloc_limit_mb catches one huge
# allocation before it is made, and -rss_limit_mb is the backstop over the
# whole process: the fuzzer's own baseline (libFuzzer, the sanitizer runtimes,
# the corpus in memory and the allocator's cache, measured at 190-230 MB once a
# run settles) plus 64 MB plus max_len, with room for the corpus to grow.
max_len=65536
mkdir -p "$work/corpus" "$work/artifacts"
seed_dirs=("$root/fuzz/seeds")
[[ -d $root/fuzz/regressions ]] && seed_dirs+=("$root/fuzz/regressions")
[[ -d $corpus ]] && seed_dirs+=("$corpus")

# A smaller quarantine than ASan's 256 MB default keeps the baseline steady;
# use after free is still caught within the last 16 MB freed.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:quarantine_size_mb=16:allocator_may_return_null=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
exec "$build/fuzz/velquin_reader_fuzz" \
  -max_total_time="$seconds" -timeout=1 -max_len="$max_len" \
  -malloc_limit_mb=65 -rss_limit_mb=352 -detect_leaks=1 \
  -artifact_prefix="$work/artifacts/" -print_final_stats=1 \
  "$@" "$work/corpus" "${seed_dirs[@]}"
