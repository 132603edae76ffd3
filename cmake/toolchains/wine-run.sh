#!/usr/bin/env bash
# Runs a Windows program under Wine, as CTest and the test discovery start them. Now and then
# Wine fails to start a program at all: it fails at once and prints nothing, not even the first
# line every test program prints. Such a launch ran nothing, so it is tried once more; a
# program that printed anything, or fails to start twice, gives its own status.
#   wine-run.sh <program.exe> [arguments...]
set -uo pipefail

output=$(mktemp)
trap 'rm -f "$output"' EXIT

for attempt in 1 2; do
  # Passed on as it comes, so that a program stopped at its time limit still shows its output.
  wine "$@" | tee "$output"
  status=${PIPESTATUS[0]}
  if ((status == 0)) || [[ -s $output ]] || ((attempt == 2)); then
    break
  fi
  echo "wine-run: $1 did not start (status $status, nothing printed); starting it once more" >&2
done
exit "$status"
