#!/usr/bin/env bash
# Builds (if needed) and runs every test: the fast unit layers, then the
# end-to-end runs on QEMU/SeaBIOS and under Xvfb. `tools/test.sh -L unit`
# runs only the fast layers; other arguments go to ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
[ -f build/build.ninja ] || cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${CI:+-DVELTRA_WERROR=ON}
cmake --build build -j"$(nproc)"
cd build
ctest --output-on-failure -j2 "$@"
