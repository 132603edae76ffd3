#!/usr/bin/env python3
"""Writes link stubs: shared libraries for another processor that export what real ones export.

    make_link_stubs.py --from LIB_DIR --to STUB_DIR --cc CROSS_GCC LIBRARY...

For each LIBRARY (a file name such as libwpiHal.so) of LIB_DIR, a shared library of the same file
name and SONAME in STUB_DIR, built by CROSS_GCC, that defines every dynamic symbol the real one
defines (`readelf --dyn-syms`), with the same kind (function, object, untyped), binding (global,
weak, unique) and, for objects, size: functions return at once and objects are zeros. A library
linked against the stubs records the real library names (NEEDED) and resolves against the real
libraries, where the symbols live, at run time. The stubs are for linking only and never run.

WPILib 2027 has no libraries for 64-bit ARM here, so the cross build of the library for the robot
controller links against stubs of its x86-64 libraries: the exported names (C names, and C++
names mangled the same way on both processors) are the same.
"""

import argparse
import re
import subprocess
import sys
from pathlib import Path

# readelf --dyn-syms -W:  Num: Value Size Type Bind Vis Ndx Name
SYMBOL = re.compile(r"^\s*\d+:\s+[0-9a-f]+\s+(\d+|0x[0-9a-f]+)\s+(\w+)\s+(\w+)\s+(\w+)"
                    r"\s+(\S+)\s+(\S+)")
BINDINGS = {"GLOBAL": ".globl", "WEAK": ".weak", "UNIQUE": ".globl"}


def exported(library):
    """(name, type, binding, size) of each symbol `library` defines in its dynamic table."""
    text = subprocess.run(["readelf", "--dyn-syms", "-W", str(library)], check=True,
                          capture_output=True, text=True).stdout
    symbols = {}
    for line in text.splitlines():
        match = SYMBOL.match(line)
        if not match:
            continue
        size, kind, binding, _visibility, section, name = match.groups()
        name = name.split("@", 1)[0]
        if section == "UND" or not name or kind in ("FILE", "SECTION"):
            continue
        if binding not in BINDINGS:
            raise SystemExit(f"{library}: {name} has a binding stubs do not make: {binding}")
        if kind not in ("FUNC", "OBJECT", "NOTYPE", "TLS", "IFUNC"):
            raise SystemExit(f"{library}: {name} has a type stubs do not make: {kind}")
        symbols[name] = (kind, binding, int(size, 0))
    return symbols


def assembly(symbols):
    """GNU assembler source (AArch64) defining `symbols`."""
    lines = ['\t.section .note.GNU-stack,"",%progbits']
    for name, (kind, binding, size) in sorted(symbols.items()):
        quoted = '"' + name + '"'
        declare = [f"\t{BINDINGS[binding]} {quoted}"]
        if kind in ("FUNC", "IFUNC"):
            lines += ["\t.text", "\t.balign 4", *declare, f"\t.type {quoted}, %function",
                      f"{quoted}:", "\tret", f"\t.size {quoted}, 4"]
        elif kind == "TLS":
            lines += ['\t.section .tbss,"awT",%nobits', "\t.balign 16", *declare,
                      f"\t.type {quoted}, %tls_object", f"\t.size {quoted}, {size}",
                      f"{quoted}:", f"\t.zero {max(size, 1)}"]
        else:
            kind_name = {"OBJECT": "%gnu_unique_object" if binding == "UNIQUE" else "%object",
                         "NOTYPE": "%notype"}[kind]
            lines += ["\t.bss", "\t.balign 16", *declare, f"\t.type {quoted}, {kind_name}",
                      f"\t.size {quoted}, {size}", f"{quoted}:", f"\t.zero {max(size, 1)}"]
    return "\n".join(lines) + "\n"


def soname(library):
    text = subprocess.run(["readelf", "-d", str(library)], check=True, capture_output=True,
                          text=True).stdout
    match = re.search(r"\(SONAME\)\s+Library soname: \[(.+)\]", text)
    return match.group(1) if match else library.name


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--from", dest="source", type=Path, required=True,
                        help="the folder of the real libraries")
    parser.add_argument("--to", dest="target", type=Path, required=True,
                        help="the folder the stubs are written to")
    parser.add_argument("--cc", required=True, help="the cross compiler that builds the stubs")
    parser.add_argument("libraries", nargs="+", help="file names of the libraries to stub")
    args = parser.parse_args()

    args.target.mkdir(parents=True, exist_ok=True)
    for name in args.libraries:
        real = args.source / name
        if not real.is_file():
            raise SystemExit(f"make_link_stubs: {real} is missing")
        symbols = exported(real)
        source = args.target / f"{name}.s"
        source.write_text(assembly(symbols))
        stub = args.target / name
        done = subprocess.run([args.cc, "-shared", "-nostdlib", f"-Wl,-soname,{soname(real)}",
                               "-o", str(stub), str(source)], capture_output=True, text=True)
        if done.returncode != 0:
            sys.stderr.write(done.stdout + done.stderr)
            raise SystemExit(f"make_link_stubs: {args.cc} could not build {stub}")
        print(f"{stub}: {len(symbols)} symbols of {real}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
