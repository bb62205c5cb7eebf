#!/usr/bin/env bash
# Builds the fuzz targets (build-fuzz: clang, libFuzzer, ASan and UBSan) and
# runs one or all of them, each from a copy of its seed corpus
# (tests/fuzz/corpus/<target>), so that a run never grows the committed corpus.
# Fails on any finding: a crash, a sanitizer report or a broken property; the
# input is left in build-fuzz/findings/.
#
#   tools/fuzz.sh [TARGET] [SECONDS]     (default: every target, 30 s each)
#   tools/fuzz.sh plans 600
# Targets: backup_reader plans status terminal_keys command_line boot_program.
# More libFuzzer options through FUZZ_ARGS, e.g. FUZZ_ARGS="-jobs=1 -seed=1".
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)
targets=(backup_reader plans status terminal_keys command_line boot_program)
[ $# -ge 1 ] && [ -n "$1" ] && [ "$1" != all ] && targets=("$1")
seconds=${2:-30}

if [ ! -f build-fuzz/build.ninja ]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVELTRA_FUZZ=ON ${CI:+-DVELTRA_WERROR=ON} >/dev/null
fi
cmake --build build-fuzz -j2 --target "${targets[@]/#/fuzz_}"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p build-fuzz/findings
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
status=0
for target in "${targets[@]}"; do
  mkdir -p "$scratch/$target"
  cp tests/fuzz/corpus/"$target"/* "$scratch/$target/"
  # libunicorn, which the boot program's PC model loads, leaks on its own.
  leaks=1
  [ "$target" = boot_program ] && leaks=0
  # Key sequences and command lines are short: short inputs run faster.
  case $target in
  terminal_keys) length=-max_len=64 ;;
  command_line) length=-max_len=256 ;;
  *) length= ;;
  esac
  log=build-fuzz/findings/$target.log
  if ASAN_OPTIONS="detect_leaks=$leaks" build-fuzz/fuzz/fuzz_"$target" \
    -max_total_time="$seconds" -print_final_stats=1 -detect_leaks=$leaks $length \
    -artifact_prefix=build-fuzz/findings/"$target"- ${FUZZ_ARGS:-} \
    "$scratch/$target" >"$log" 2>&1; then
    result=ok
  else
    result=FINDING
    status=1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | cut -d' ' -f2)
  echo "fuzz.sh: $target: $result, ${runs:-?} runs, ${rate:-?} per second, cov ${cov:-?}"
  if [ $result = FINDING ]; then
    grep -E -m 20 'ERROR|SUMMARY|^[A-Za-z].*(written|entry|without|outside|service)|Test unit' "$log" || true
  fi
done
echo "fuzz.sh: $([ $status = 0 ] && echo passed || echo FAILED) in $(($(date +%s) - start)) s"
exit $status
