#!/usr/bin/env bash
# The unit layer under AddressSanitizer and UndefinedBehaviorSanitizer: builds
# build-asan (-fsanitize=address,undefined; any undefined behaviour ends the
# test) and runs `ctest -L unit` there. libunicorn, which the emulated-boot
# tests load, leaks on its own: those tests (label boot) run without leak
# detection, all others with it.
#
#   tools/sanitize.sh [extra ctest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
jobs=2
flags="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build build-asan -j"$jobs"

export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
common="abort_on_error=0:strict_string_checks=1:detect_stack_use_after_return=1"
status=0
cd build-asan
ASAN_OPTIONS="$common:detect_leaks=1" ctest -L unit -LE boot -j"$jobs" --output-on-failure "$@" ||
  status=1
ASAN_OPTIONS="$common:detect_leaks=0" ctest -L boot -j"$jobs" --output-on-failure "$@" || status=1
echo "sanitize.sh: $([ $status = 0 ] && echo passed || echo FAILED) in $(($(date +%s) - start)) s"
exit $status
