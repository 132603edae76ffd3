#!/usr/bin/env bash
# Builds the library and its tests for Windows x64 with mingw-w64 and runs the tests under
# Wine. The serial transport's tests get a COM port (COM7) that Wine maps to a pseudo-terminal,
# whose far end tests/support/pty_relay.py hands to the test program. Fails when the build or
# any test fails.
set -euo pipefail
# shellcheck source=scripts/lib/common.sh
source "$(dirname "$0")/lib/common.sh"

scripts/install-deps.sh windows

export WINEPREFIX=$root/build/windows-wine WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="  # no .NET or Gecko installers
serial=$root/build/windows-serial          # the relay's files, fresh every run
com_port=COM7

relay_pid=
stop() {
  if [[ -n $relay_pid ]]; then
    kill "$relay_pid" 2>/dev/null || true
  fi
  stop_wine
}
trap stop EXIT

echo "=== windows: configure and build ==="
cmake --preset windows >/dev/null
cmake --build --preset windows

echo "=== windows: Wine with $com_port mapped to a pseudo-terminal ==="
rm -rf "$serial"
mkdir -p "$serial"
stop_wine  # one left over from an earlier run
if ! wineboot -i </dev/null >"$serial/wineboot.log" 2>&1; then
  echo "Wine did not start:" >&2
  cat "$serial/wineboot.log" >&2
  exit 1
fi
# Wine lists the port in the registry's serial device map once it restarts.
wine reg add 'HKLM\Software\Wine\Ports' /v "$com_port" /t REG_SZ /d "$serial/port" /f \
  </dev/null >/dev/null 2>&1
stop_wine

python3 tests/support/pty_relay.py --link "$serial/port" --port-file "$serial/relay-port" \
  2>"$serial/relay.log" &
relay_pid=$!
for _ in $(seq 100); do
  [[ -s $serial/relay-port ]] && break
  sleep 0.1
done
if [[ ! -s $serial/relay-port ]]; then
  echo "The serial relay did not start:" >&2
  cat "$serial/relay.log" >&2
  exit 1
fi
export HALVERN_TEST_SERIAL_PORT=$com_port
HALVERN_TEST_SERIAL_RELAY_PORT=$(<"$serial/relay-port")
export HALVERN_TEST_SERIAL_RELAY_PORT

# Wine's background processes start now, detached from CTest's output: started by the first
# test instead, they would keep CTest waiting on the pipe.
wineserver -p </dev/null >"$serial/wineserver.log" 2>&1
wine wineboot </dev/null >/dev/null 2>&1

echo "=== windows: tests under Wine ==="
ctest --preset windows
