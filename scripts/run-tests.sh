#!/usr/bin/env bash
# Builds and runs every test suite: the default build, then AddressSanitizer with
# UndefinedBehaviorSanitizer, then ThreadSanitizer, then a bounded fuzzing run of the wire-format
# decoders, then the Windows x64 build under Wine. Fails when any suite fails.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test || exit 1

failed=()
for preset in default asan tsan; do
  echo "=== ${preset}: configure and build ==="
  if ! cmake --preset "$preset" >/dev/null || ! cmake --build --preset "$preset"; then
    failed+=("$preset (build)")
    continue
  fi
  echo "=== ${preset}: tests ==="
  if ! ctest --preset "$preset"; then
    failed+=("$preset (tests)")
  fi
done

if ! scripts/run-fuzz.sh 15; then
  failed+=("fuzz")
fi

if ! scripts/run-windows-tests.sh; then
  failed+=("windows")
fi

echo
if ((${#failed[@]} > 0)); then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "All suites passed: default, asan and tsan builds, fuzzing, and the Windows build."
