#!/usr/bin/env python3
"""Gives a DLL another name in its own export directory, in place.

The vendordep ships the Debug build's HalvernDriverd.dll under the release name HalvernDriver.dll
(the debug zip holds the release library's name, as WPILib's tools look for it). The name the
linker wrote into the export directory is the one tools that link against the DLL itself (rather
than an import library) record as the DLL to load, so it must be the file's name too.

    rename_dll.py DLL NEW_NAME

The new name must not be longer than the old one: it is written over it, the rest filled with
zero bytes, so no offset in the image moves.
"""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests/support"))
from pe_imports import PeImage  # noqa: E402


def rename(path, new_name):
    image = PeImage(path)
    start = image.export_name_offset()
    if start is None:
        raise ValueError(f"{path} has no export directory")
    end = image.data.index(b"\0", start)
    encoded = new_name.encode("ascii")
    if len(encoded) > end - start:
        raise ValueError(f"{new_name} is longer than {path}'s own name "
                         f"{image.data[start:end].decode('ascii', 'replace')}")
    data = bytearray(image.data)
    data[start:end] = encoded + b"\0" * (end - start - len(encoded))
    Path(path).write_bytes(bytes(data))


def main(arguments):
    if len(arguments) != 2:
        print(__doc__.split("\n\n")[2].strip(), file=sys.stderr)
        return 2
    try:
        rename(Path(arguments[0]), arguments[1])
    except (OSError, ValueError) as error:
        print(f"rename_dll.py: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
