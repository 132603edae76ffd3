#!/usr/bin/env bash
# Builds the fuzz targets with clang's libFuzzer and runs each for a bounded time over its
# corpus (fuzz/corpus/<target>/). New inputs go to a scratch folder under build/, so the
# committed corpus stays as it is.
#   run-fuzz.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
cmake -S fuzz -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build build/fuzz

for corpus in fuzz/corpus/*/; do
  name=$(basename "$corpus")
  target=build/fuzz/$name
  scratch=build/fuzz/scratch/$name
  mkdir -p "$scratch"
  echo "=== fuzz: $name for ${seconds}s ==="
  "$target" -max_total_time="$seconds" -print_final_stats=1 "$scratch" "$corpus" 2>&1 |
    grep -E '^(stat::number_of_executed_units|stat::new_units_added|==[0-9]+==|SUMMARY)' || true
  test "${PIPESTATUS[0]}" -eq 0
done
