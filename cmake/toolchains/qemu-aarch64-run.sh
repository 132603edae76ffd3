#!/bin/sh
# Runs a 64-bit ARM Linux program under qemu-user with the C and C++ libraries of a sysroot:
#   qemu-aarch64-run.sh --sysroot <dir> <program> [argument...]
#
# A program that starts a fresh copy of itself by exec'ing its argv[0] (GoogleTest's
# "threadsafe" death tests do) would hand the host kernel an ARM program, which it runs only
# with a binfmt_misc handler for ARM, a machine-wide setting this does not rely on. So the
# program sees this script as its argv[0]: the fresh copy starts here again, without
# --sysroot, and runs under qemu as the first did, the program and sysroot passed down in the
# environment.
set -eu

self=$(readlink -f "$0")
if [ "${1-}" = --sysroot ] && [ $# -ge 3 ]; then
  HALVERN_QEMU_SYSROOT=$2
  HALVERN_QEMU_PROGRAM=$(readlink -f "$3")
  shift 3
  export HALVERN_QEMU_SYSROOT HALVERN_QEMU_PROGRAM
elif [ -z "${HALVERN_QEMU_PROGRAM-}" ] || [ -z "${HALVERN_QEMU_SYSROOT-}" ]; then
  echo "usage: $0 --sysroot <dir> <program> [argument...]" >&2
  exit 2
fi

exec qemu-aarch64 -L "$HALVERN_QEMU_SYSROOT" -0 "$self" "$HALVERN_QEMU_PROGRAM" "$@"
