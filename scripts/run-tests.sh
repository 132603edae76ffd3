#!/usr/bin/env bash
# Builds and runs every test suite: the default build, with its install used as a consumer would
# (scripts/test-install.sh) and the library built against its stand-ins installed as WPILib
# (scripts/test-wpilib-build.sh) and against WPILib's real HAL where ../shared/wpilib has it
# (scripts/test-wpilib-sim.sh, WPILib 2026 and 2027), then AddressSanitizer with
# UndefinedBehaviorSanitizer, then ThreadSanitizer, then a bounded fuzzing run of the wire-format
# decoders, then the Windows x64 build under Wine, then the 64-bit ARM Linux build under qemu-user
# (scripts/run-arm64-tests.sh), then the WPILib vendordep built from the default and Windows
# builds. Fails when any suite fails.
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
  if [[ $preset == default ]]; then
    echo "=== default: install, and the examples against the installed package ==="
    if ! scripts/test-install.sh build/default; then
      failed+=("install")
    fi
    echo "=== default: the library built against its stand-ins installed as WPILib ==="
    if ! scripts/test-wpilib-build.sh build/default; then
      failed+=("wpilib-shaped")
    fi
    echo "=== WPILib's real HAL: the library, the simulators and the C++ tests on it ==="
    if ! scripts/test-wpilib-sim.sh 2026; then
      failed+=("wpilib-real")
    fi
    echo "=== WPILib 2027's real HAL: the same on WPILib's 2027 season ==="
    if ! scripts/test-wpilib-sim.sh 2027; then
      failed+=("wpilib-2027")
    fi
  fi
done

if ! scripts/run-fuzz.sh 15; then
  failed+=("fuzz")
fi

if ! scripts/run-windows-tests.sh; then
  failed+=("windows")
fi

if ! scripts/run-arm64-tests.sh; then
  failed+=("arm64")
fi

# The WPILib vendordep ships the default build's library and the Windows build's.
if ! scripts/test-vendordep.sh build/default build/windows; then
  failed+=("vendordep")
fi

echo
if ((${#failed[@]} > 0)); then
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "All suites passed: default (its install, the WPILib-shaped build, WPILib 2026's and 2027's real HAL), asan and tsan builds, fuzzing, the Windows build, the ARM Linux build and the vendordep."
