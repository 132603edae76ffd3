#!/usr/bin/env bash
# Builds and runs every test suite: the default build, with its install used as a consumer would
# (scripts/test-install.sh) and the library built against its stand-ins installed as WPILib
# (scripts/test-wpilib-build.sh) and against WPILib's real HAL where ../shared/wpilib has it
# (scripts/test-wpilib-sim.sh, WPILib 2026 and 2027), then AddressSanitizer with
# UndefinedBehaviorSanitizer, then ThreadSanitizer, then a bounded fuzzing run of the wire-format
# decoders, then the Windows x64 build under Wine, then the 64-bit ARM Linux build under qemu-user
# (scripts/run-arm64-tests.sh), then the WPILib vendordep built from the default and Windows
# builds. After the default build's tests, the suites that depend on threads and timing run once
# more beside a CPU, memory and I/O load (scripts/run-busy-tests.sh). The suites of a build run
# four at a time: most of their time is spent waiting on simulated devices, not computing. Fails
# when any suite fails; prints how long each stage took.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test || exit 1

failed=()
timings=()
# Each stage's output is kept, so that the end of the run can say why a stage failed: a CI log
# is often read from its tail alone.
logs=build/stage-logs
rm -rf "$logs" && mkdir -p "$logs"
# Runs one stage: its name, then its command. Records a failure and the stage's time.
stage() {
  local name=$1 started=$SECONDS
  shift
  "$@" 2>&1 | tee "$logs/$name.log"
  if ((PIPESTATUS[0] != 0)); then
    failed+=("$name")
  fi
  timings+=("$name $((SECONDS - started)) s")
}
# What a failed stage's log says went wrong: the tests that failed and what they expected, the
# compiler's errors, the scripts' own failure lines.
why_failed() {
  local log=$logs/$1.log
  {
    grep -E -A3 ': Failure$' "$log"
    grep -E '^[[:space:]]*[0-9]+ - .* \((Failed|Timeout|SEGFAULT|Subprocess aborted|Child aborted|Exception)\)$' "$log"
    grep -E 'error:|=> [a-zA-Z0-9_.]*(Error|Exception)|^FAIL|^[a-z0-9-]+: .*(failed|lacks|not |only )' "$log"
  } | head -60
}

build() {
  echo "=== $1: configure and build ==="
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1"
}
build_and_test() {
  build "$1" || return 1
  echo "=== $1: tests ==="
  ctest --preset "$1"
}

# What builds on the default build runs only when it built.
stage default-build build default
if [[ ! " ${failed[*]} " =~ " default-build " ]]; then
  echo "=== default: tests ==="
  stage default ctest --preset default
  stage busy-machine scripts/run-busy-tests.sh build/default
  echo "=== default: install, and the examples against the installed package ==="
  stage install scripts/test-install.sh build/default
  echo "=== default: the library built against its stand-ins installed as WPILib ==="
  stage wpilib-shaped scripts/test-wpilib-build.sh build/default
  echo "=== WPILib's real HAL: the library, the simulators and the C++ tests on it ==="
  stage wpilib-real scripts/test-wpilib-sim.sh 2026
  echo "=== WPILib 2027's real HAL: the same on WPILib's 2027 season ==="
  stage wpilib-2027 scripts/test-wpilib-sim.sh 2027
fi
stage asan build_and_test asan
stage tsan build_and_test tsan
stage fuzz scripts/run-fuzz.sh 15
stage windows scripts/run-windows-tests.sh
stage arm64 scripts/run-arm64-tests.sh

# The WPILib vendordep ships the default build's library and the Windows build's.
stage vendordep scripts/test-vendordep.sh build/default build/windows

echo
echo "Stage times: $(IFS=,; echo "${timings[*]}" | sed 's/,/, /g')"
if ((${#failed[@]} > 0)); then
  for name in "${failed[@]}"; do
    echo
    echo "Why $name failed ($logs/$name.log has all of it):"
    why_failed "$name"
  done
  echo
  echo "FAILED: ${failed[*]}"
  exit 1
fi
echo "All suites passed: default (its install, the WPILib-shaped build, WPILib 2026's and 2027's real HAL), asan and tsan builds, fuzzing, the Windows build, the ARM Linux build and the vendordep."
