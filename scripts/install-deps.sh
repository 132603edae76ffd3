#!/usr/bin/env bash
# Installs the Debian packages a build needs, when they are missing.
#   install-deps.sh demo      what the demo needs
#   install-deps.sh test      what every test suite needs, the Windows and ARM ones included
#   install-deps.sh windows   what the Windows build and its tests under Wine need
#   install-deps.sh arm64     what the 64-bit ARM Linux build and its tests under qemu need
set -euo pipefail

what=${1:-test}
# The JDK: jni.h for the library's Java bindings, javac for halvern.jar.
packages=(cmake ninja-build g++ libgtest-dev libbenchmark-dev openjdk-17-jdk-headless)
if [[ $what == test ]]; then
  # lld-link: the vendordep's check; patchelf: its debug libraries name WPILib's debug ones;
  # stress-ng: the load beside the busy-machine stage
  packages+=(python3 junit5 clang-14 libclang-rt-14-dev lld patchelf stress-ng)
fi
# The Windows x64 build (mingw-w64 with POSIX threads, GoogleTest built from source) and its
# tests under Wine, whose serial port a Python relay feeds; llvm-dlltool writes the import
# library for MSVC, HalvernDriver.lib.
if [[ $what == test || $what == windows ]]; then
  packages+=(g++-mingw-w64-x86-64-posix googletest wine wine64 python3 llvm)
fi
# The 64-bit ARM Linux build (Debian's aarch64 cross compiler, whose C and C++ libraries are the
# sysroot /usr/aarch64-linux-gnu; GoogleTest built from source) and its tests under qemu-user;
# binutils' readelf checks the library's machine and symbol versions.
if [[ $what == test || $what == arm64 ]]; then
  packages+=(g++-aarch64-linux-gnu qemu-user googletest binutils)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  sudo=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
