#!/usr/bin/env bash
# Installs a built default build (argument; build/default if none) into a scratch prefix,
# build/install-test/prefix (wiped first), and uses the prefix as a consumer would: checks that no
# installed library's RUNPATH/RPATH names a path outside the prefix (only $ORIGIN), and that the
# CMake package names neither the build nor the source tree; builds examples/cpp and
# examples/replay from copies in fresh folders against the prefix alone and runs them; compiles
# examples/java against the installed halvern.jar and runs it with java.library.path on the
# prefix. Nothing runs with LD_LIBRARY_PATH. The Java example listens on UDP 127.0.0.1:1110,
# which must be free.
set -euo pipefail
# shellcheck source=scripts/lib/common.sh
source "$(dirname "$0")/lib/common.sh"
script="test-install: FAIL"
repo=$root

build=${1:-build/default}
if [[ ! -f $build/CMakeCache.txt ]]; then
  echo "test-install: $build is not a configured build" >&2
  exit 1
fi
build=$(cd "$build" && pwd)
scratch=$repo/build/install-test
prefix=$scratch/prefix
cache_value() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }

echo "--- install $build into $prefix"
rm -rf "$scratch"
mkdir -p "$scratch"
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" ||
  { cat "$scratch/install.log"; fail "cmake --install"; }

echo "--- installed files"
for file in include/halvern/Ferix.h include/halvern/Ferix.hpp include/halvern/detail/ClassSupport.hpp \
  include/halvern/sim/SimFerix.h \
  include/halvern/sim/SimOrdex.h include/halvern/sim/SimCanBus.h include/halvern/sim/SimClock.h \
  include/halvern/sim/SimHal.h include/halvern/sim/SimHalYear.h \
  lib/libhalvern_sim.a lib/libHalvernDriver.so \
  lib/cmake/HalvernDriver/HalvernDriverConfig.cmake \
  lib/cmake/HalvernDriver/HalvernDriverConfigVersion.cmake lib/cmake/wpilib/wpilibConfig.cmake; do
  [[ -f $prefix/$file ]] || fail "$file is not installed"
done
for lib in "$prefix"/lib/*.so*; do
  # Every RUNPATH/RPATH entry must be $ORIGIN-relative: nothing of the build, nothing absolute.
  paths=$(readelf -d "$lib" | sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]$/\2/p' | paste -sd:)
  echo "$(basename "$lib"): RUNPATH ${paths:-(none)}"
  IFS=: read -ra entries <<<"$paths"
  for entry in "${entries[@]}"; do
    [[ $entry == '$ORIGIN' || $entry == '$ORIGIN/'* ]] ||
      fail "$(basename "$lib") has the run path entry '$entry'"
  done
done
if grep -rlIF -e "$build" -e "$repo/" "$prefix/lib/cmake"; then
  fail "the CMake packages above name the build or source tree"
fi

# Compiles each installed header matching PATTERN (under include/) on its own from the prefix.
compile_each() {
  local pattern headers header name
  headers=()
  for pattern in "$@"; do
    # shellcheck disable=SC2206  # the pattern is a glob
    headers+=("$prefix"/include/$pattern)
  done
  [[ -f ${headers[0]} ]] || fail "no include/$1 is installed"
  for header in "${headers[@]}"; do
    name=${header#"$prefix/include/"}
    printf '#include "%s"\n' "$name" |
      "${CXX:-c++}" -std=c++20 -fsyntax-only -I "$prefix/include" -x c++ - ||
      fail "$name does not compile from the prefix alone"
  done
  echo "${#headers[@]} headers"
}

echo "--- the simulated devices' headers, each on its own from the prefix"
# What HalvernDriver::Simulation gives a program (include/): a header that includes one not
# installed (a sibling left off the list, a header of the library's sources) fails here.
compile_each 'halvern/sim/*.h' 'halvern/sim/*.hpp'

echo "--- the C++ classes' headers, each on its own from the prefix"
compile_each 'halvern/*.hpp'

echo "--- examples/cpp against the prefix"
cp -r examples/cpp "$scratch/cpp-src"
# Only the prefix: no package registry, no build tree.
cmake -S "$scratch/cpp-src" -B "$scratch/cpp-build" -G Ninja \
  -DCMAKE_BUILD_TYPE="$(cache_value CMAKE_BUILD_TYPE)" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF \
  >"$scratch/cpp-configure.log" || { cat "$scratch/cpp-configure.log"; fail "configure examples/cpp"; }
grep 'HalvernDriver .* built against' "$scratch/cpp-configure.log" ||
  fail "examples/cpp did not say which platform the package was built against"
for package in HalvernDriver wpilib; do
  dir=$(sed -n "s/^${package}_DIR:PATH=//p" "$scratch/cpp-build/CMakeCache.txt")
  [[ $dir == "$prefix/"* ]] || fail "examples/cpp found $package at '$dir', not in the prefix"
done
cmake --build "$scratch/cpp-build" || fail "build examples/cpp"
env -u LD_LIBRARY_PATH "$scratch/cpp-build/analog_example" || fail "examples/cpp"

echo "--- examples/replay against the prefix: a run recorded into a data log and replayed"
cp -r examples/replay "$scratch/replay-src"
cmake -S "$scratch/replay-src" -B "$scratch/replay-build" -G Ninja \
  -DCMAKE_BUILD_TYPE="$(cache_value CMAKE_BUILD_TYPE)" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF \
  >"$scratch/replay-configure.log" ||
  { cat "$scratch/replay-configure.log"; fail "configure examples/replay"; }
cmake --build "$scratch/replay-build" || fail "build examples/replay"
env -u LD_LIBRARY_PATH "$scratch/replay-build/replay_example" "$scratch" || fail "examples/replay"

if [[ $(cache_value HALVERN_BUILD_JAVA) == OFF ]]; then
  echo "--- examples/java skipped: $build has no Java (HALVERN_BUILD_JAVA=OFF)"
  echo "test-install: OK (C++)"
  exit 0
fi

echo "--- examples/java against the prefix"
jars=$prefix/share/java
for jar in halvern.jar halvern-sources.jar halvern-javadoc.jar; do
  [[ -s $jars/$jar ]] || fail "share/java/$jar is not installed"
done
jar tf "$jars/halvern-sources.jar" | grep -x 'com/halvern/frc/MockDS.java' >/dev/null ||
  fail "halvern-sources.jar has no com/halvern/frc/MockDS.java"
jar tf "$jars/halvern-javadoc.jar" | grep -x 'com/halvern/frc/MockDS.html' >/dev/null ||
  fail "halvern-javadoc.jar has no com/halvern/frc/MockDS.html"
mkdir -p "$scratch/java-classes"
javac --release 17 -Xlint:all -Werror -cp "$jars/halvern.jar" -d "$scratch/java-classes" \
  examples/java/Main.java || fail "compile examples/java"
env -u LD_LIBRARY_PATH java -cp "$jars/halvern.jar:$scratch/java-classes" \
  -Djava.library.path="$prefix/lib" Main || fail "examples/java"

echo "test-install: OK"
