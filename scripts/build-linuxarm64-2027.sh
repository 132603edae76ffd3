#!/usr/bin/env bash
# Builds libHalvernDriver.so for 64-bit ARM Linux (the 2027 vendordep's linuxsystemcore and
# linuxarm64 library) against WPILib 2027's headers, with Debian's aarch64 cross compiler
# (cmake/toolchains/aarch64-linux-gnu.cmake).
#
#   build-linuxarm64-2027.sh        the library: build/linuxarm64-2027/build/lib/libHalvernDriver.so
#   build-linuxarm64-2027.sh Debug  the Debug library, whose name ends in d (the vendordep's debug
#                                   zips): build/linuxarm64-2027/build-debug/lib/libHalvernDriverd.so
#
# There are no WPILib 2027 libraries for 64-bit ARM here, so it links against link stubs: for each
# library WPILib 2027's CMake packages import (libwpiHal.so, libntcore.so, libwpinet.so,
# libdatalog.so, libwpiutil.so), an aarch64 library of the same file name and SONAME exporting
# the symbols the x86-64 one exports (vendordep/make_link_stubs.py). They sit in an aarch64
# prefix, build/linuxarm64-2027/wpilib-prefix: WPILib 2027's include/ and share/ (its CMake
# packages, their x86-64 system library paths made aarch64 ones) and the stubs in lib/. The
# stubs are only linked against, never shipped: on the robot the library finds WPILib's own.
#
# WPILib 2027 comes from $HALVERN_WPILIB_2027_PREFIX, by default build/wpilib-<its release>,
# unpacked from ../shared/wpilib when it is not there yet.
set -euo pipefail
# shellcheck source=scripts/lib/common.sh
source "$(dirname "$0")/lib/common.sh"

archive=$(wpilib_archive 2027)
x86_prefix=$(chosen_wpilib_prefix 2027)
work=$root/build/linuxarm64-2027
prefix=$work/wpilib-prefix
case ${1:-RelWithDebInfo} in
  RelWithDebInfo) preset=linuxarm64-2027 build=$work/build postfix= ;;
  Debug) preset=linuxarm64-2027-debug build=$work/build-debug postfix=d ;;
  *) echo "usage: $0 [Debug]" >&2; exit 2 ;;
esac
toolchain=$root/cmake/toolchains/aarch64-linux-gnu.cmake

scripts/install-deps.sh arm64
command -v aarch64-linux-gnu-g++ >/dev/null ||
  fail "Debian's aarch64 cross compiler is missing (apt-get install g++-aarch64-linux-gnu)"
[[ -f $toolchain ]] || fail "the aarch64 cross toolchain file $toolchain is missing"

unpack_wpilib linuxarm64-2027 "$archive" "$x86_prefix" share/hal/hal-config.cmake

# The aarch64 prefix, made again when WPILib or the stub maker changed.
stamp=$prefix/.made
if [[ ! -f $stamp || $x86_prefix/share/hal/hal-config.cmake -nt $stamp ||
      vendordep/make_link_stubs.py -nt $stamp || $0 -nt $stamp ]]; then
  echo "=== linuxarm64-2027: aarch64 prefix with link stubs ($prefix) ==="
  rm -rf "$prefix"
  mkdir -p "$prefix"
  ln -s "$x86_prefix/include" "$prefix/include"
  cp -r "$x86_prefix/share" "$prefix/share"
  # WPILib's packages name the x86-64 system libraries they link by path (libatomic).
  grep -rl '/usr/lib/x86_64-linux-gnu/' "$prefix/share" |
    xargs -r sed -i 's|/usr/lib/x86_64-linux-gnu/|/usr/aarch64-linux-gnu/lib/|g'
  if grep -rn 'x86_64' "$prefix/share"; then
    fail "WPILib's packages still name x86-64 files (above)"
  fi
  # The libraries the packages import, each stubbed.
  mapfile -t libraries < <(sort -u < <(sed -n \
    's|.*IMPORTED_LOCATION_[A-Z]* "${_IMPORT_PREFIX}/lib/\(.*\)"|\1|p' "$prefix"/share/*/*-*.cmake))
  ((${#libraries[@]} > 0)) || fail "WPILib's packages in $prefix/share import no libraries"
  python3 vendordep/make_link_stubs.py --from "$x86_prefix/lib" --to "$prefix/lib" \
    --cc aarch64-linux-gnu-gcc "${libraries[@]}"
  touch "$stamp"
fi

echo "=== linuxarm64-2027: configure (WPILib 2027's headers, link stubs) ==="
# The toolchain file finds packages in the aarch64 sysroot only: the prefix's are named directly.
package_dirs=()
for config in "$prefix"/share/*/*-config.cmake; do
  package=$(basename "$config" -config.cmake)
  package_dirs+=("-D${package}_DIR=$(dirname "$config")")
done
configure "$build" --preset "$preset" "${package_dirs[@]}"
grep -q "Platform: WPILib .*($prefix/share/" "$build/configure.log" || fail "the configure" \
  "did not take the aarch64 prefix's packages: $(grep 'Platform:' "$build/configure.log")"
grep 'Platform:' "$build/configure.log"

echo "=== linuxarm64-2027: build the library ==="
cmake --build --preset "$preset" ||
  fail "the library did not build against WPILib 2027's headers for aarch64"
library=$build/lib/libHalvernDriver$postfix.so
machine=$(readelf -h "$library" | sed -n 's/^ *Machine: *//p')
[[ $machine == AArch64 ]] || fail "$library is for '$machine', not AArch64"
needed=$(readelf -d "$library" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | paste -sd ' ')
echo "linuxarm64-2027: $library ($machine; needs $needed)"
