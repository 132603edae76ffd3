#!/usr/bin/env bash
# Builds HalvernDriver against an installed WPILib without WPILib: installs the stand-ins of a
# stand-in build (component `platform`: libwpiHal, libwpiutil, libwpinet, their headers and the
# CMake package `wpilib`) into build/wpilib-prefix, configures build/wpilib-shaped from the source
# tree with -DHALVERN_PLATFORM=wpilib against that prefix, builds the library and a few test
# programs, checks that the library links the prefix's libraries, and runs those tests.
#
#   scripts/test-wpilib-build.sh [stand-in build folder, default build/default]
#
# The stand-in build is built first with the default preset when it does not exist.
set -euo pipefail
# shellcheck source=scripts/lib/common.sh
source "$(dirname "$0")/lib/common.sh"

standin_build=${1:-build/default}
prefix=$root/build/wpilib-prefix
shaped=$root/build/wpilib-shaped
# Test programs that use neither UDP port 1110 nor Java: the C faces against simulated devices.
test_programs=(ferix_c_test lidar_c_test ordex_c_test)

if [[ ! -f $standin_build/CMakeCache.txt ]]; then
  [[ $standin_build == build/default ]] || fail "$standin_build is not a configured build"
  cmake --preset default && cmake --build --preset default
fi

echo "=== wpilib-shaped: install the stand-ins of $standin_build into $prefix ==="
# Up to date first: reconfigures the build if its CMake files changed since.
cmake --build "$standin_build" --target wpiHal wpiutil wpinet
grep -q '^HALVERN_PLATFORM:STRING=standin$' "$standin_build/CMakeCache.txt" ||
  fail "$standin_build is not a stand-in build (HALVERN_PLATFORM=standin)"
rm -rf "$prefix" "$shaped"
cmake --install "$standin_build" --component platform --prefix "$prefix" >/dev/null
config=$(find "$prefix" -path '*/cmake/wpilib/wpilibConfig.cmake')
[[ -n $config ]] || fail "no wpilibConfig.cmake installed under $prefix"
for lib in wpiHal wpiutil wpinet; do
  file=$(find "$prefix" -name "lib$lib.so")
  [[ -n $file ]] || fail "lib$lib.so not installed under $prefix"
  runpath=$(readelf -d "$file" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
  [[ $runpath == '$ORIGIN' ]] || fail "lib$lib.so installed with RUNPATH '$runpath', not \$ORIGIN"
done

echo "=== wpilib-shaped: configure and build against $prefix ==="
configure "$shaped" --preset wpilib-shaped
grep -q "Platform: .*stand-in.* with the stand-in's controls" "$shaped/configure.log" ||
  fail "the configure of $shaped did not find the stand-in with its simulation controls:
$(grep -A2 'Platform:' "$shaped/configure.log")"
grep 'Platform:' "$shaped/configure.log"
cmake --build --preset wpilib-shaped --target HalvernDriver "${test_programs[@]}"

echo "=== wpilib-shaped: the library links the prefix's libraries ==="
library=$shaped/lib/libHalvernDriver.so
for lib in wpiHal wpiutil wpinet; do
  [[ ! -e $shaped/lib/lib$lib.so ]] || fail "lib$lib.so was built in $shaped"
  readelf -d "$library" | grep -q "(NEEDED).*\[lib$lib.so\]" ||
    fail "libHalvernDriver.so does not need lib$lib.so"
done
verbose=1 check_links_into "$library" "$prefix" "under $prefix"

echo "=== wpilib-shaped: tests (${test_programs[*]}) ==="
# Only those programs are built; the others' cases stand as <program>_NOT_BUILT, and the check
# of the C++ classes' program (cpp.plain_exports.*), whose program is not among them, is left out.
ctest --test-dir "$shaped" -j 4 --timeout 120 --output-on-failure --no-tests=error \
  -E '_NOT_BUILT$|^cpp\.plain_exports\.'
