# shellcheck shell=bash
# What the scripts share; sourced by each (`source "$(dirname "$0")/lib/common.sh"`), which then
# runs from the project root, $root. A script sets $script (the name its failures start with)
# before calling fail.

cd "$(dirname "${BASH_SOURCE[0]}")/../.." || exit 1
root=$PWD
script=$(basename "$0" .sh)

# The WPILib releases the builds against WPILib use, one a season (HALVERN_WPILIB_YEAR), and the
# folder their archives are in.
declare -A wpilib_versions=([2026]=2026.2.2 [2027]=2027.0.0-alpha-6)
wpilib_archives=$root/../shared/wpilib

# Prints "<script>: <message>" on standard error and ends the script.
fail() {
  echo "$script: $*" >&2
  exit 1
}

# wpilib_version YEAR: the season's WPILib release.
wpilib_version() {
  [[ -n ${wpilib_versions[$1]:-} ]] || fail "no WPILib release is named for the year '$1'"
  echo "${wpilib_versions[$1]}"
}

# wpilib_archive YEAR [robot]: the season's archive for Linux x86-64 (the HAL, or the robot
# library); wpilib_prefix YEAR [robot]: the folder under build/ it unpacks to.
wpilib_archive() {
  echo "$wpilib_archives/wpilib-$(wpilib_version "$1")${2:+-$2}-linuxx86-64.tar.xz"
}
wpilib_prefix() {
  echo "$root/build/wpilib-$(wpilib_version "$1")${2:+-$2}"
}

# chosen_wpilib_prefix YEAR: the unpacked WPILib the builds for the vendordep take:
# $HALVERN_WPILIB_PREFIX (2026) or $HALVERN_WPILIB_2027_PREFIX (2027), by default wpilib_prefix.
chosen_wpilib_prefix() {
  local variable=HALVERN_WPILIB_PREFIX
  [[ $1 == 2026 ]] || variable=HALVERN_WPILIB_$1_PREFIX
  realpath -m "${!variable:-$(wpilib_prefix "$1")}"
}

# unpack_wpilib LABEL ARCHIVE PREFIX STAMP: unpacks ARCHIVE into build/, where it makes PREFIX,
# unless PREFIX/STAMP (one of its files) is there and, for a PREFIX under build/, newer than the
# archive (a WPILib unpacked elsewhere is taken as it is). LABEL starts the line it prints.
unpack_wpilib() {
  local label=$1 archive=$2 prefix=$3 stamp=$3/$4
  if [[ -f $stamp && ($prefix != "$root/build/"* || ! $archive -nt $stamp) ]]; then
    return 0
  fi
  [[ -f $archive ]] || fail "WPILib is neither unpacked in $prefix nor at $archive"
  [[ $prefix == "$root/build/"* ]] || fail "$prefix is not unpacked, and not under build/"
  echo "=== $label: unpack $(basename "$archive") into build/ ==="
  rm -rf "$prefix"
  mkdir -p "$root/build"
  tar -xJf "$archive" -C "$root/build"
  [[ -f $stamp ]] || fail "$archive did not unpack to $prefix"
  touch "$stamp"
}

# configure BUILD CMAKE_ARGUMENTS...: configures BUILD (a preset's binaryDir, the arguments
# naming the preset), its output in BUILD/configure.log, shown when it fails.
configure() {
  local build=$1
  shift
  mkdir -p "$build"
  if ! cmake "$@" >"$build/configure.log" 2>&1; then
    cat "$build/configure.log"
    fail "configuring $build failed"
  fi
}

# configure_against_wpilib BUILD PRESET PREFIX [CMAKE_ARGUMENTS...]: configures a preset that
# builds against an installed WPILib (HALVERN_PLATFORM=wpilib), with PREFIX as WPILib's prefix.
configure_against_wpilib() {
  local build=$1 preset=$2 prefix=$3
  shift 3
  configure "$build" --preset "$preset" -DCMAKE_PREFIX_PATH="$prefix" "$@"
}

# check_links_into LIBRARY PREFIX WHAT: LIBRARY resolves libwpiHal, libwpiutil and libwpinet
# into PREFIX; fails saying "not WHAT" otherwise. Prints each when $verbose is set.
check_links_into() {
  local library=$1 prefix=$2 what=$3 lib resolved
  for lib in wpiHal wpiutil wpinet; do
    resolved=$(ldd "$library" | sed -n "s/^[[:space:]]*lib$lib\.so => \(.*\) (0x.*)$/\1/p")
    [[ -n $resolved && $(realpath "$resolved") == "$prefix"/* ]] ||
      fail "$(basename "$library") resolves lib$lib.so to '${resolved:-nothing}', not $what"
    [[ -z ${verbose:-} ]] || echo "lib$lib.so => $resolved"
  done
}

# Stops the Wine of $WINEPREFIX and waits until it is gone, so the next start is a clean one.
stop_wine() {
  if command -v wineserver >/dev/null; then
    wineserver -k 2>/dev/null || true
    timeout 60 wineserver -w 2>/dev/null || true
  fi
}
