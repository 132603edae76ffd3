#!/usr/bin/env bash
# Builds the Debug libraries the vendordeps ship in their debug zips (<platform>debug, and the
# simulators' <platform>staticdebug), which WPILib's tools take for a robot program built for
# debugging. Each is built as Debug with a name ending in d, as WPILib's debug libraries' do; the
# vendordep ships it under the release library's name, the one WPILib's tools look for.
#
#   build-debug-libraries.sh 2026   build/debug (preset debug): libHalvernDriverd.so and the
#                                   simulators' libhalvern_simd.a, and build/windows-debug
#                                   (preset windows-debug): HalvernDriverd.dll; all against the
#                                   stand-ins, whose Debug libraries have WPILib's debug names
#                                   (libwpiHald.so, wpiHald.dll)
#   build-debug-libraries.sh 2027   build/wpilib-2027-debug (preset wpilib-2027-debug):
#                                   libHalvernDriverd.so and libhalvern_simd.a against WPILib
#                                   2027 (unpacked by scripts/test-wpilib-sim.sh 2027), and
#                                   build/linuxarm64-2027/build-debug for 64-bit ARM
#                                   (scripts/build-linuxarm64-2027.sh Debug). WPILib 2027's
#                                   libraries here are release ones: the vendordep makes these
#                                   libraries name the debug ones.
set -euo pipefail
# shellcheck source=scripts/lib/common.sh
source "$(dirname "$0")/lib/common.sh"

build_2026() {
  echo "=== debug libraries 2026: Linux (build/debug) and Windows (build/windows-debug) ==="
  cmake --preset debug >/dev/null
  cmake --build --preset debug
  cmake --preset windows-debug >/dev/null
  cmake --build --preset windows-debug
}

build_2027() {
  local prefix build=$root/build/wpilib-2027-debug
  prefix=$(chosen_wpilib_prefix 2027)
  [[ -f $prefix/share/hal/hal-config.cmake ]] ||
    fail "WPILib 2027 is not unpacked in $prefix (scripts/test-wpilib-sim.sh 2027 does it)"
  echo "=== debug libraries 2027: x86-64 against WPILib 2027 ($build) ==="
  configure_against_wpilib "$build" wpilib-2027-debug "$prefix"
  cmake --build --preset wpilib-2027-debug
  echo "=== debug libraries 2027: 64-bit ARM ==="
  scripts/build-linuxarm64-2027.sh Debug
}

(($# > 0)) || set -- 2026
for year in "$@"; do
  case $year in
    2026) build_2026 ;;
    2027) build_2027 ;;
    *) echo "usage: $0 [2026] [2027]" >&2; exit 2 ;;
  esac
done
