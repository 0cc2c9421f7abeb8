#!/usr/bin/env bash
# Builds Velquin and starts it, on the bundled sample when no file is given.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target velquin velquin-gui
if [ $# -eq 0 ]; then
  set -- samples/sample.tif
fi
exec build/src/velquin "$@"
