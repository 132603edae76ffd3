#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer and runs each for a bounded time over its
# corpus (fuzz/corpus/<target>/). New inputs go to a scratch folder under the build folder, so
# the committed corpus stays as it is; an input that fails is written there too, and named.
#   run-fuzz.sh [seconds per target, default 60]
# HALVERN_FUZZ_BUILD_DIR picks another build folder (default build/fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=${HALVERN_FUZZ_BUILD_DIR:-build/fuzz}
cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$build" -j2

for corpus in fuzz/corpus/*/; do
  name=$(basename "$corpus")
  scratch=$build/scratch/$name
  log=$build/scratch/$name.log
  mkdir -p "$scratch"
  echo "=== fuzz: $name for ${seconds}s ==="
  # The status is taken from the fuzzer itself: a filter in a pipe would hide a failure.
  status=0
  "$build/$name" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$scratch/" "$scratch" "$corpus" >"$log" 2>&1 || status=$?
  grep -E '^(stat::number_of_executed_units|stat::new_units_added|==[0-9]+==|SUMMARY)|Test unit written' \
    "$log" || true
  if ((status != 0)); then
    echo "$name failed (exit status $status); its whole output is in $log"
    exit 1
  fi
done
