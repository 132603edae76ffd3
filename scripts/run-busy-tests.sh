#!/usr/bin/env bash
# The busy-machine stage: runs the suites labelled `timing` (serial transport, the colour and
# distance sensors on USB, both lidars, the mock driver station, the motor controller and its
# heartbeat) once more while stress-ng loads the CPU, memory and disk beside them, as a shared CI
# runner or a laptop building something else would. The load is bounded in time and stopped as
# soon as the suites end. Fails when any case fails.
#   scripts/run-busy-tests.sh <build dir>     (default: build/default)
set -uo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/default}
# The load outlives any passing run of the suites; the tests' own limits bound a failing one.
load_seconds=240
cores=$(nproc)

if ! command -v stress-ng >/dev/null; then
  echo "stress-ng is missing: run scripts/install-deps.sh test" >&2
  exit 1
fi

echo "=== busy machine: the timing suites beside stress-ng (${cores} CPU, 1 memory, 1 I/O worker) ==="
started=$SECONDS
scratch=$(mktemp -d)
stress-ng --cpu "$cores" --vm 1 --vm-bytes 256M --io 1 --hdd 1 --hdd-bytes 64M \
  --temp-path "$scratch" --timeout "${load_seconds}s" --quiet &
load=$!
stop_load() {
  kill -INT "$load" 2>/dev/null
  wait "$load" 2>/dev/null
  rm -rf "$scratch"
}
trap stop_load EXIT

ctest --test-dir "$build" -L timing -j2 --output-on-failure --timeout 120
status=$?
echo "busy machine: the timing suites took $((SECONDS - started)) s beside the load"
exit "$status"
