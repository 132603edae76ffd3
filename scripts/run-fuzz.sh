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

# The targets run one per core at once: each still has the whole time to itself.
at_once=$(nproc)
fuzz_one() {
  local name=$1 corpus=$2 status=0
  mkdir -p "$build/scratch/$name"
  "$build/$name" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$build/scratch/$name/" "$build/scratch/$name" "$corpus" \
    >"$build/scratch/$name.log" 2>&1 || status=$?
  echo "$status" >"$build/scratch/$name.status"
}
names=()
for corpus in fuzz/corpus/*/; do
  name=$(basename "$corpus")
  names+=("$name")
  rm -f "$build/scratch/$name.status"
  while (($(jobs -rp | wc -l) >= at_once)); do
    wait -n || true
  done
  fuzz_one "$name" "$corpus" &
done
wait

failed=0
for name in "${names[@]}"; do
  log=$build/scratch/$name.log
  echo "=== fuzz: $name for ${seconds}s ==="
  grep -E '^(stat::number_of_executed_units|stat::new_units_added|==[0-9]+==|SUMMARY)|Test unit written' \
    "$log" || true
  # The status is taken from the fuzzer itself: a filter in a pipe would hide a failure.
  status=$(cat "$build/scratch/$name.status" 2>/dev/null || echo "none")
  if [[ $status != 0 ]]; then
    echo "$name failed (exit status $status); its whole output is in $log"
    failed=1
  fi
done
exit $failed
