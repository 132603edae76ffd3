#!/usr/bin/env bash
# Builds the WPILib vendordeps in a Linux build and checks them with
# tests/vendordep/check_vendordep.py.
#
# Each platform's library comes with its Debug build in the platform's debug zip, and the
# simulators' static library with its Debug build in their staticdebug zip, under the release
# file names: scripts/build-debug-libraries.sh builds them with names ending in d (build/debug and
# build/windows-debug; for 2027 build/wpilib-2027-debug and build/linuxarm64-2027/build-debug),
# which this runs.
#
# The 2026 vendordep (the `vendordep` target, LINUX_BUILD/vendordep/2026/): the JSON, the Maven
# repository's layout and POMs, a
# C++ and a Java program built and run against the Linux zip, a simulation program built against
# the simulators' zips (libHalvernDriverSim.a, for desktop simulation) and run, and the Windows
# zip's DLL and import library (a program built as MSVC builds it links against it and runs under
# Wine).
#   test-vendordep.sh [LINUX_BUILD [WINDOWS_BUILD]]    defaults: build/default build/windows
# Both builds must be configured and the Windows one built (scripts/run-windows-tests.sh builds
# it). Wine runs in $WINEPREFIX, by default build/windows-wine (the Windows tests' prefix).
# The simulators' artifact is also checked on WPILib's own HAL where an unpacked WPILib for Linux
# is at hand: $HALVERN_WPILIB_PREFIX, by default build/wpilib-<WPILib 2026's release> (which
# scripts/test-wpilib-sim.sh unpacks from ../shared/wpilib); without one those checks skip.
#
# The 2027 vendordep (the `vendordep-2027` target, LINUX_BUILD/vendordep/2027/), where
# ../shared/wpilib has WPILib 2027 (elsewhere it is skipped with one line): its linuxx86-64 library
# and simulators come from the build against WPILib 2027, $HALVERN_WPILIB_2027_BUILD, by default
# build/wpilib-2027 (scripts/test-wpilib-sim.sh 2027 builds it), its linuxsystemcore and
# linuxarm64 library from scripts/build-linuxarm64-2027.sh, which this runs. The check runs them
# against WPILib 2027's real libraries ($HALVERN_WPILIB_2027_PREFIX, by default
# build/wpilib-<WPILib 2027's release>) and the 64-bit ARM one under qemu-user. The releases are
# named in scripts/lib/common.sh.
set -euo pipefail
# shellcheck source=scripts/lib/common.sh
source "$(dirname "$0")/lib/common.sh"

linux_build=$(realpath -m "${1:-build/default}")
windows_build=$(realpath -m "${2:-build/windows}")
if [[ ! -f $linux_build/CMakeCache.txt ]]; then
  echo "No configured build in $linux_build (cmake --preset default)" >&2
  exit 1
fi

wpilib_2027_archive=$(wpilib_archive 2027)
build_2027=$(realpath -m "${HALVERN_WPILIB_2027_BUILD:-build/wpilib-2027}")
wpilib_2027=$(chosen_wpilib_prefix 2027)

echo "=== vendordep: the Debug libraries ==="
start=$SECONDS
scripts/build-debug-libraries.sh 2026
echo "vendordep: the 2026 Debug libraries took $((SECONDS - start)) s"

# The vendordeps take the Windows library and the 2027 x86-64 one from the builds named here.
cmake -B "$linux_build" -DHALVERN_VENDORDEP_WINDOWS_DIR="$windows_build" \
  -DHALVERN_VENDORDEP_DEBUG_DIR="$root/build/debug" \
  -DHALVERN_VENDORDEP_WINDOWS_DEBUG_DIR="$root/build/windows-debug" \
  -DHALVERN_VENDORDEP_2027_LINUX_DIR="$build_2027" >/dev/null
echo "=== vendordep: build ($linux_build, Windows library from $windows_build) ==="
cmake --build "$linux_build" --target vendordep

years=2026
failed_2027=
if [[ -f $wpilib_2027_archive ]]; then
  echo "=== vendordep 2027: the 64-bit ARM library against WPILib 2027 ==="
  start=$SECONDS
  if scripts/build-linuxarm64-2027.sh && scripts/build-debug-libraries.sh 2027; then
    echo "vendordep 2027: the 64-bit ARM library and the Debug libraries took $((SECONDS - start)) s"
    echo "=== vendordep 2027: build (x86-64 library and simulators from $build_2027) ==="
    if cmake --build "$linux_build" --target vendordep-2027; then
      years=2026,2027
    else
      failed_2027="building the 2027 vendordep failed"
    fi
  else
    failed_2027="building the 64-bit ARM library against WPILib 2027 failed"
  fi
else
  echo "vendordep 2027: skipped: WPILib 2027 is not here ($wpilib_2027_archive)"
fi

export WINEPREFIX=${WINEPREFIX:-$root/build/windows-wine} WINEARCH=win64 WINEDEBUG=-all
trap stop_wine EXIT

wpilib=$(chosen_wpilib_prefix 2026)
wpilib_args=()
if [[ -f $wpilib/lib/libwpiHal.so ]]; then
  wpilib_args=(--wpilib "$wpilib")
fi

echo "=== vendordep: check ($years) ==="
status=0
python3 tests/vendordep/check_vendordep.py --build "$linux_build" --windows-build "$windows_build" \
  "${wpilib_args[@]}" --years "$years" --wpilib-2027 "$wpilib_2027" --build-2027 "$build_2027" \
  --arm64-stubs build/linuxarm64-2027/wpilib-prefix/lib || status=$?
if [[ -n $failed_2027 ]]; then
  echo "FAILED  vendordep 2027: $failed_2027 (above), so it was not checked" >&2
  exit 1
fi
exit $status
