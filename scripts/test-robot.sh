#!/usr/bin/env bash
# A team's TimedRobot (examples/robot) on WPILib's own robot library: built against WPILib
# 2026's robot archive in ../shared/wpilib and the HalvernDriver package that
# scripts/test-wpilib-sim.sh 2026 installed (built on WPILib's real HAL), then run headless for
# about five seconds, enabled in teleop through WPILib's DriverStationSim. Fails when the
# program fails, when WPILib does not list the simulated devices, when WPILib's reader finds none
# of the library's entries in the program's data log, or when the median of its loops' work
# passes 1 ms. A read that waits on a device does so on every loop (the shortest such wait,
# one analog conversion, takes about 1.1 ms); a loaded machine stalls only some loops, which moves
# the 99th percentile (printed) but not the median.
#
#   scripts/test-robot.sh [library build]     default build/wpilib-real
#
# Where the robot archive is absent (a fresh clone elsewhere), it says so in one line and passes.
set -euo pipefail
# shellcheck source=scripts/lib/common.sh
source "$(dirname "$0")/lib/common.sh"
library_build=$(realpath -m "${1:-build/wpilib-real}")

archive=$(wpilib_archive 2026 robot)
if [[ ! -f $archive ]]; then
  echo "test-robot: skipped: WPILib's robot archive is not here ($archive)"
  exit 0
fi
[[ -f $library_build/install/lib/cmake/HalvernDriver/HalvernDriverConfig.cmake ]] ||
  fail "no HalvernDriver package in $library_build/install: run scripts/test-wpilib-sim.sh 2026 first"

prefix=$(wpilib_prefix 2026 robot)
unpack_wpilib robot "$archive" "$prefix" share/wpilibc/wpilibc-config.cmake

echo "=== robot: examples/robot, a TimedRobot on WPILib's wpilibc ==="
build=$root/build/robot-example
cmake -S examples/robot -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_PREFIX_PATH="$library_build/install;$prefix" >"$build.configure.log" 2>&1 ||
  { cat "$build.configure.log"; fail "configuring examples/robot failed"; }
cmake --build "$build" >/dev/null || fail "examples/robot did not build"

# WPILib's libraries are where a robot program's runtime puts them, here the robot prefix's lib/.
# It writes its NetworkTables and GUI files into the folder it runs from: its build folder.
output=$(cd "$build" && LD_LIBRARY_PATH="$prefix/lib" timeout 60 ./halvern_robot 5 2>&1) ||
  { echo "$output"; fail "the robot program failed"; }
grep -Ev '^(Warning at|Error at|	|$|Default .* method)' <<<"$output" | grep -v 'Watchdog not fed' || true
for expected in '^  Ordex\[5\]$' '^  Iridel\[3\]$' '^  Dystal\[7\]$' '^  Ferix\[' \
                "^teleop loops' work: " '^loop-overrun lines WPILib printed: ' \
                '^data log: .* holds [1-9][0-9]* Halvern entries with [1-9][0-9]* values'; do
  grep -Eq "$expected" <<<"$output" || fail "the robot's output lacks /$expected/"
done
median=$(sed -n "s/^teleop loops' work: .* median \([0-9]*\) us.*/\1/p" <<<"$output")
p99=$(sed -n "s/^teleop loops' work: .* p99 \([0-9]*\) us.*/\1/p" <<<"$output")
((median <= 1000)) || fail "the median of the loops' work is $median us, over 1 ms"
echo "test-robot: passed (loops' work median $median us, p99 $p99 us)"
