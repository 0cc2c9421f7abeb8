#!/usr/bin/env bash
# Builds the Debian package build-package/velquin_<version>-1_<arch>.deb, in a
# build of its own without the tests, with Debian's hardening flags (fortified
# functions, stack protector, read-only relocations bound at start).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DVELQUIN_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build build-package -j "$(nproc)"
(cd build-package && cpack -G DEB)
