#!/usr/bin/env bash
# Builds HalvernDriver and runs the demo against the simulated robot.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh demo
cmake --preset default >/dev/null
cmake --build --preset default --target halvern_demo
exec build/default/bin/halvern_demo
