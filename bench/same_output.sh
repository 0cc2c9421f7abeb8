#!/usr/bin/env bash
# Does a change of the reader or of --dump keep every output byte? Records, for
# each file of the corpus (and of any further folders given), the standard
# output, standard error and exit status of `velquin --dump FILE --all-pages`,
# in decimal, in hexadecimal and with --values, and of `velquin --dump FILE
# --json`; of one `velquin --batch` and one `velquin --check` over each folder;
# then compares them with a record made before.
#   bench/same_output.sh record VELQUIN OUT_DIR [FOLDER...]
#   bench/same_output.sh compare VELQUIN OUT_DIR [FOLDER...]   (exit 1 on any difference)
set -euo pipefail
mode=$1 velquin=$2 out=$3
shift 3
here=$(cd "$(dirname "$0")/.." && pwd)
folders=("$(cd "$here/.." && pwd)/shared/corpus" "$@")
dir=$out/$mode
rm -rf "$dir"
mkdir -p "$dir"

n=0
for folder in "${folders[@]}"; do
  while IFS= read -r -d '' f; do
    key=$(printf '%s' "$f" | md5sum | cut -c1-16)
    for how in "--all-pages" "--all-pages --hex" "--all-pages --values" "--json"; do
      run=$key${how// /}
      status=0
      # shellcheck disable=SC2086 # the options split at their blanks
      "$velquin" --dump "$f" $how >"$dir/$run.out" 2>"$dir/$run.err" || status=$?
      echo "$status $f" >"$dir/$run.status"
    done
    n=$((n + 1))
  done < <(find "$folder" -type f -print0 | sort -z)
  key=batch-$(printf '%s' "$folder" | md5sum | cut -c1-16)
  status=0
  "$velquin" --batch "$folder" --tags 256,257,270,273,282,283,305,306,700,33432,34665 --verbose \
    >"$dir/$key.out" 2>"$dir/$key.err" || status=$?
  echo "$status $folder" >"$dir/$key.status"
  key=check-$(printf '%s' "$folder" | md5sum | cut -c1-16)
  status=0
  "$velquin" --check "$folder" --jobs 1 >"$dir/$key.out" 2>"$dir/$key.err" || status=$?
  echo "$status $folder" >"$dir/$key.status"
done
echo "$n files through $velquin"
if [ "$mode" = compare ]; then
  if diff -rq "$out/record" "$dir"; then
    echo "identical: stdout, stderr and exit status of every run"
  else
    exit 1
  fi
fi
