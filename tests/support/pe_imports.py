#!/usr/bin/env python3
"""Reads a Windows DLL's machine and import table, and checks what HalvernDriver.dll imports.

WPILib's Windows DLLs are built with MSVC. A DLL built with another compiler can call them only
through plain C functions: a C++ name in another compiler's mangling does not resolve there, and
Windows then refuses to load the DLL at all. So from WPILib's DLLs HalvernDriver.dll may import
plain C names only, and besides them only Windows' own DLLs.

    pe_imports.py DLL...      prints each DLL's imports and fails on any the rule forbids
"""

import re
import struct
import sys
from pathlib import Path

IMAGE_FILE_MACHINE_AMD64 = 0x8664
# What HalvernDriver.dll may import: Windows' own DLLs, and WPILib's, which a robot program has
# (release and debug names).
WINDOWS_SYSTEM_DLLS = {
    "kernel32.dll", "advapi32.dll", "msvcrt.dll", "ws2_32.dll", "user32.dll", "ntdll.dll",
    "bcrypt.dll", "shell32.dll", "ole32.dll", "oleaut32.dll", "setupapi.dll", "cfgmgr32.dll",
    "iphlpapi.dll", "winmm.dll", "userenv.dll", "secur32.dll", "crypt32.dll", "mswsock.dll",
}
WPILIB_DLLS = {f"{name}{suffix}.dll" for name in ("wpihal", "wpiutil", "wpinet")
               for suffix in ("", "d")}
PLAIN_C_NAME = re.compile(r"^[A-Za-z_][A-Za-z0-9_]*$")


class PeImage:
    """The parts of a PE image these checks read: its machine, its imports and its own name."""

    def __init__(self, path):
        self.data = Path(path).read_bytes()
        if self.data[:2] != b"MZ":
            raise ValueError(f"{path} is not a PE image (no MZ header)")
        pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        if self.data[pe:pe + 4] != b"PE\0\0":
            raise ValueError(f"{path} is not a PE image (no PE signature)")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from(
            "<HHIIIHH", self.data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", self.data, optional)[0]
        directories = optional + (112 if magic == 0x20B else 96)  # PE32+ or PE32
        self.thunk_size = 8 if magic == 0x20B else 4
        self.export_rva = struct.unpack_from("<I", self.data, directories)[0]
        self.import_rva = struct.unpack_from("<I", self.data, directories + 8)[0]
        self.sections = []
        table = optional + optional_size
        for index in range(sections):
            _, virtual_size, address, raw_size, raw_offset = struct.unpack_from(
                "<8sIIII", self.data, table + 40 * index)
            self.sections.append((address, max(virtual_size, raw_size), raw_offset))

    def offset(self, rva):
        for address, size, raw in self.sections:
            if address <= rva < address + size:
                return raw + rva - address
        raise ValueError(f"RVA {rva:#x} is in no section")

    def text(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii", "replace")

    def export_name_offset(self):
        """The file offset of the DLL's own name in its export directory, or None without one."""
        if self.export_rva == 0:
            return None
        name_rva = struct.unpack_from("<I", self.data, self.offset(self.export_rva) + 12)[0]
        return self.offset(name_rva)

    def export_name(self):
        """The DLL's own name, as its export directory records it (None without one)."""
        start = self.export_name_offset()
        if start is None:
            return None
        return self.data[start:self.data.index(b"\0", start)].decode("ascii", "replace")

    def imports(self):
        """{DLL name: [function names, or "#<ordinal>"]} in the order of the table."""
        found = {}
        if self.import_rva == 0:
            return found
        descriptor = self.offset(self.import_rva)
        ordinal_flag = 1 << (8 * self.thunk_size - 1)
        while True:
            lookup, _, _, name, first = struct.unpack_from("<IIIII", self.data, descriptor)
            if name == 0:
                return found
            functions = found.setdefault(self.text(name), [])
            thunk = self.offset(lookup or first)
            while True:
                (entry,) = struct.unpack_from("<Q" if self.thunk_size == 8 else "<I", self.data,
                                              thunk)
                if entry == 0:
                    break
                functions.append(f"#{entry & 0xFFFF}" if entry & ordinal_flag
                                 else self.text((entry & 0x7FFFFFFF) + 2))  # past the hint
                thunk += self.thunk_size
            descriptor += 20


def forbidden_imports(imports):
    """What a DLL may not import: non-C names from WPILib's DLLs, and any other DLL's."""
    problems = []
    for dll, functions in imports.items():
        if dll.lower() in WPILIB_DLLS:
            problems += [f"{dll}: {f}" for f in functions if not PLAIN_C_NAME.match(f)
                         or f.startswith("_Z")]
        elif dll.lower() not in WINDOWS_SYSTEM_DLLS:
            problems.append(f"{dll}: a DLL that is neither Windows' nor WPILib's")
    return problems


def main(paths):
    failed = False
    for path in paths:
        image = PeImage(path)
        imports = image.imports()
        print(f"{Path(path).name} (machine {image.machine:#06x}):")
        for dll, functions in imports.items():
            print(f"  {dll}: {len(functions)} functions" +
                  (f": {', '.join(functions)}" if dll.lower() in WPILIB_DLLS else ""))
        problems = forbidden_imports(imports)
        if image.machine != IMAGE_FILE_MACHINE_AMD64:
            problems.append(f"machine {image.machine:#06x}, not AMD64")
        for problem in problems:
            print(f"FORBIDDEN {problem}")
        failed |= bool(problems)
    print("FAILED" if failed else "passed: from WPILib only plain C functions")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
