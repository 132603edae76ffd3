#!/usr/bin/env bash
# Builds the library, the simulated devices, the C++ and Java tests and the team-simulation
# example against WPILib's real HAL (an archive in ../shared/wpilib, WPILib's simulation backend)
# and runs them on it: the tests that need the stand-in's own controls skip themselves (the Java
# ones tagged "standin" are left out), the mock
# driver station enables the robot through WPILib's own driver-station socket, and the example's
# output must show the simulated devices as WPILib's SimDevices. On 2026 it then builds and runs
# a team's TimedRobot on WPILib's robot library (scripts/test-robot.sh).
#
#   scripts/test-wpilib-sim.sh [2026|2027]     default 2026
#     2026: WPILib 2026's release (scripts/lib/common.sh names it), built in build/wpilib-real
#     2027: WPILib 2027's, built in build/wpilib-2027
#
# Where ../shared/wpilib is absent (a fresh clone elsewhere), it says so in one line and passes.
set -euo pipefail
# shellcheck source=scripts/lib/common.sh
source "$(dirname "$0")/lib/common.sh"

year=${1:-2026}
case $year in
  2026) stage=wpilib-real ;;
  2027) stage=wpilib-2027 ;;
  *) echo "usage: $0 [2026|2027]" >&2; exit 2 ;;
esac
build=$root/build/$stage
archive=$(wpilib_archive "$year")
if [[ ! -f $archive ]]; then
  echo "test-wpilib-sim: $stage skipped: WPILib's archive is not here ($archive)"
  exit 0
fi
prefix=$(wpilib_prefix "$year")
script="test-wpilib-sim: $stage"

unpack_wpilib "$stage" "$archive" "$prefix" share/hal/hal-config.cmake

echo "=== $stage: configure and build against WPILib's HAL ==="
configure_against_wpilib "$build" "$stage" "$prefix"
grep -q 'Platform: WPILib .*simulation API only' "$build/configure.log" ||
  fail "the configure did not take WPILib's own packages: $(grep 'Platform:' "$build/configure.log")"
grep 'Platform:' "$build/configure.log"
cmake --build --preset "$stage"

echo "=== $stage: the library links WPILib's libraries ==="
check_links_into "$build/lib/libHalvernDriver.so" "$prefix" "WPILib's"

echo "=== $stage: the installed package, found beside WPILib's own packages ==="
rm -rf "$build/install" "$build/example-cpp"
cmake --install "$build" --prefix "$build/install" >"$build/install.log" ||
  { cat "$build/install.log"; fail "installing the package failed"; }
cmake -S examples/cpp -B "$build/example-cpp" -G Ninja \
    -DCMAKE_PREFIX_PATH="$build/install;$prefix" >"$build/example-cpp.log" 2>&1 ||
  { cat "$build/example-cpp.log"; fail "examples/cpp did not find the installed package"; }
grep -q "(wpilib)" "$build/example-cpp.log" ||
  fail "the installed package does not say it was built against WPILib"
cmake --build "$build/example-cpp" >/dev/null || fail "examples/cpp did not build"
# WPILib's libraries are where a robot program's runtime puts them, here its prefix's lib/.
LD_LIBRARY_PATH="$prefix/lib" "$build/example-cpp/analog_example" >"$build/example-cpp/run.log" 2>&1 ||
  { cat "$build/example-cpp/run.log"; fail "examples/cpp failed on WPILib's HAL"; }

echo "=== $stage: tests on WPILib's HAL ==="
ctest --test-dir "$build" -j 4 --timeout 120 --output-on-failure --no-tests=error |
  tee "$build/ctest.log"
status=${PIPESTATUS[0]}
skipped=$(grep -c '\*\*\*Skipped' "$build/ctest.log" || true)
echo "$stage: $(grep -o '[0-9]* tests failed out of [0-9]*' "$build/ctest.log" || true);" \
  "$skipped skipped (they need the stand-in's faults, counts or UDP client, or a call this year's HAL lacks);" \
  "$(grep -c 'java\..*Passed' "$build/ctest.log" || true) of them Java suites passed"
((status == 0)) || fail "tests failed on WPILib's HAL"
# A floor, so that tests quietly lost on one year (not built, not discovered) show.
passed=$(grep -c 'Test *#[0-9]*: .* Passed' "$build/ctest.log" || true)
((passed >= 180)) || fail "only $passed tests passed on WPILib's HAL, at least 180 expected"

echo "=== $stage: the team-simulation example ==="
output=$(HALSIM_EXTENSIONS="$prefix/lib/libhalsim_ds_socket.so" timeout 60 \
  "$build/bin/halvern_wpilib_sim" 2>&1) || { echo "$output"; fail "the example failed"; }
echo "$output"
for expected in '^  Ordex\[5\]$' '^  Iridel\[3\]$' 'output Motor 0 Duty +0\.600' 'robot enabled'; do
  grep -Eq "$expected" <<<"$output" || fail "the example's output lacks /$expected/"
done
# The speed fed to the SimDevice is what the library reads back, within a status period.
awk '/library reads/ { fed = $6; read = $10 }
     END { exit !(fed > 1000 && read > 0.9 * fed && read <= 1.05 * fed) }' <<<"$output" ||
  fail "the library did not read back the fed flywheel speed"

# A team's TimedRobot on WPILib's own robot library (WPILib 2026's robot archive), using the
# package installed above.
if [[ $year == 2026 ]]; then
  scripts/test-robot.sh "$build" || fail "the TimedRobot example failed"
fi
echo "$stage: passed"
