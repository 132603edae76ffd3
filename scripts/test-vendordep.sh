#!/usr/bin/env bash
# Builds the WPILib vendordep (the `vendordep` target) in a Linux build and checks it with
# tests/vendordep/check_vendordep.py: the JSON, the Maven repository's layout and POMs, a C++ and
# a Java program built and run against the Linux zip, a simulation program built against the
# simulators' zips (libHalvernDriverSim.a, for desktop simulation) and run, and the Windows zip's
# DLL and import library (a program built as MSVC builds it links against it and runs under Wine).
#   test-vendordep.sh [LINUX_BUILD [WINDOWS_BUILD]]    defaults: build/default build/windows
# Both builds must be configured and the Windows one built (scripts/run-windows-tests.sh builds
# it). Wine runs in $WINEPREFIX, by default build/windows-wine (the Windows tests' prefix).
# The simulators' artifact is also checked on WPILib's own HAL where an unpacked WPILib for Linux
# is at hand: $HALVERN_WPILIB_PREFIX, by default build/wpilib-2026.2.2 (which
# scripts/test-wpilib-sim.sh unpacks from ../shared/wpilib); without one those checks skip.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

linux_build=$(realpath -m "${1:-build/default}")
windows_build=$(realpath -m "${2:-build/windows}")
if [[ ! -f $linux_build/CMakeCache.txt ]]; then
  echo "No configured build in $linux_build (cmake --preset default)" >&2
  exit 1
fi

# The vendordep takes the Windows library from the build named here.
cmake -B "$linux_build" -DHALVERN_VENDORDEP_WINDOWS_DIR="$windows_build" >/dev/null
echo "=== vendordep: build ($linux_build, Windows library from $windows_build) ==="
cmake --build "$linux_build" --target vendordep

export WINEPREFIX=${WINEPREFIX:-$root/build/windows-wine} WINEARCH=win64 WINEDEBUG=-all
stop_wine() {
  if command -v wineserver >/dev/null; then
    wineserver -k 2>/dev/null || true
    timeout 60 wineserver -w 2>/dev/null || true
  fi
}
trap stop_wine EXIT

wpilib=$(realpath -m "${HALVERN_WPILIB_PREFIX:-build/wpilib-2026.2.2}")
wpilib_args=()
if [[ -f $wpilib/lib/libwpiHal.so ]]; then
  wpilib_args=(--wpilib "$wpilib")
fi

echo "=== vendordep: check ==="
python3 tests/vendordep/check_vendordep.py --build "$linux_build" --windows-build "$windows_build" \
  "${wpilib_args[@]}"
