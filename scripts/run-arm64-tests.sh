#!/usr/bin/env bash
# Builds the library and its tests for 64-bit ARM Linux (linuxarm64, the robot controller's
# platform) with Debian's aarch64 cross compiler and runs the tests under qemu-user. Then checks
# the built libHalvernDriver.so: an AArch64 library whose C and C++ runtime needs are no newer
# than Debian 12's (GLIBC_2.36, GLIBCXX_3.4.30), so that it loads on the controller. Fails when
# the build, any test or the check fails.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh arm64

build=build/linuxarm64
library=$build/lib/libHalvernDriver.so
glibc_limit=2.36
glibcxx_limit=3.4.30
started=$SECONDS

echo "=== linuxarm64: configure and build ==="
cmake --preset linuxarm64 >/dev/null
cmake --build --preset linuxarm64
built=$SECONDS

echo "=== linuxarm64: tests under qemu ==="
log=$build/ctest.log
set +e
ctest --preset linuxarm64 2>&1 | tee "$log"
status=${PIPESTATUS[0]}
set -e
total=$(sed -n 's/.* tests failed out of \([0-9]*\)$/\1/p' "$log" | tail -1)
failed=$(sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of.*/\1/p' "$log" | tail -1)
skipped=$(grep -cE '^ *[0-9]+/[0-9]+ Test +#[0-9]+: .*\*\*\*Skipped' "$log" || true)
if [[ -n $total && -n $failed ]]; then
  echo "linuxarm64 tests: $((total - failed - skipped)) passed, $failed failed, $skipped skipped" \
    "(of $total) in $((SECONDS - built)) s; configure and build took $((built - started)) s"
fi

echo "=== linuxarm64: $library ==="
check_failed=0
machine=$(readelf -h "$library" | sed -n 's/^ *Machine: *//p')
echo "machine: $machine"
if [[ $machine != AArch64 ]]; then
  echo "$library is for '$machine', not AArch64" >&2
  check_failed=1
fi
needed=$(readelf -d "$library" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | paste -sd ' ')
echo "needs: $needed"
# The symbol versions the library needs of other libraries (not those it defines itself), and
# the highest of a family (GLIBC, GLIBCXX) among them.
needed_versions() {
  readelf -V --wide "$library" |
    awk "/^Version needs section/ { on = 1; next } /^Version .* section/ { on = 0 } on" |
    grep -oE 'Name: [A-Z]+_[0-9.]+' | sed 's/^Name: //' | sort -uV
}
highest() { needed_versions | sed -n "s/^$1_//p" | tail -1; }
for family in GLIBC GLIBCXX; do
  limit_var=${family,,}_limit
  limit=${!limit_var}
  version=$(highest "$family")
  echo "highest $family version needed: ${version:-none} (Debian 12 has ${family}_$limit)"
  if [[ -n $version && $(printf '%s\n%s\n' "$version" "$limit" | sort -V | tail -1) != "$limit" ]]
  then
    echo "$library needs ${family}_$version, newer than Debian 12's ${family}_$limit:" >&2
    needed_versions | grep "^${family}_" >&2
    check_failed=1
  fi
done
echo "linuxarm64: the whole stage took $((SECONDS - started)) s"

if ((status != 0)); then
  echo "linuxarm64: tests failed under qemu" >&2
  exit 1
fi
exit "$check_failed"
