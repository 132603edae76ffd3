#!/usr/bin/env python3
"""Checks the WPILib vendordeps the `vendordep` and `vendordep-2027` targets wrote, as WPILib's
tools read them.

    check_vendordep.py [--build build/default] [--windows-build build/windows] [--no-wine]
                       [--wpilib WPILIB] [--years 2026,2027] [--wpilib-2027 WPILIB_2027]
                       [--build-2027 build/wpilib-2027]
                       [--arm64-stubs build/linuxarm64-2027/wpilib-prefix/lib]

The 2026 vendordep (BUILD/vendordep/HalvernDriver.json and repo/) is checked as follows.

- The JSON (BUILD/vendordep/HalvernDriver.json): every field WPILib's tools read, a valid UUID,
  the three dependency lists, the year, the project's version; the two C++ artifacts, the
  library (shared, Linux and Windows) and the simulated devices (static, desktop simulation
  only: simMode swsim, Linux only).
- The Maven repository (BUILD/vendordep/repo): every artifact the JSON names, each with its POM;
  the headers zips with the headers at their root, the sources zip, one zip a listed platform
  with <os>/<arch>/shared/ inside (<os>/<arch>/static/ and a classifier ending in "static" for
  the simulators' static library), each with its debug zip (<platform>debug,
  <platform>staticdebug) holding the Debug build under the release library's file name, as
  WPILib's tools look for it; the Java jar with its -sources and -javadoc jars.
- Every library, release and debug: known by its release name (a Linux one's SONAME; a Windows
  one's own name in its export directory and the DLL its import library names), a debug one
  whole and needing WPILib's debug libraries (libwpiHald.so, wpiHald.dll) alone.
- Linux: a C++ program built from the headers zip and the linuxx86-64 zip alone, linked and run
  (the platform libraries, libwpiHal/libwpiutil/libwpinet, come from BUILD/lib as WPILib would
  provide them), and a Java program calling the library from the jar through the same zip; with
  the Linux Debug build (--debug-build, whose stand-in libraries have WPILib's debug names) the
  same programs against the linuxx86-64debug zip, linked with -lHalvernDriver, on those.
- Linux simulation: every simulator header compiles on its own from the zips and the platform's
  headers; libHalvernDriverSim.a needs none of the stand-in platform's own controls; a
  simulation program built from the zips, linked against libHalvernDriverSim.a, the library and
  the platform, runs. With --wpilib (an unpacked WPILib for Linux): every object of the archive
  links against WPILib's own libraries, the simulators' classes have the same size and alignment
  over WPILib's headers as over the stand-in's, and the simulation program, built over WPILib's
  headers and run on WPILib's HAL, finds its simulator there. It also warns when the library's
  Linux build does not link against WPILib's libraries. The staticdebug zip's archive (the same
  objects, built as Debug) runs in a simulation program with the debug zip's library.
- Windows: HalvernDriver.dll imports no C++ runtime (Windows' own DLLs and WPILib's only);
  HalvernDriver.lib is an import library in MSVC's format listing the DLL's plain C and JNI
  exports and none of those returning C++ library types; a program built as MSVC builds it
  (clang for x86_64-pc-windows-msvc, lld-link) links against it and, under Wine with the
  Windows build's platform DLLs, runs (--no-wine: linked only).

- Every Linux library (both vendordeps): an ELF file for its platform's processor (linuxx86-64:
  EM_X86_64; linuxarm64 and linuxsystemcore: EM_AARCH64), looking for libraries beside itself
  only, needing WPILib's libraries and the C and C++ runtimes alone, and symbol versions no newer
  than Debian 12's (GLIBC_2.36, GLIBCXX_3.4.30, CXXABI_1.3.13).

The 2027 vendordep (BUILD/vendordep/2027/HalvernDriver-2027.json and repo/; --years without 2027
leaves it out) is checked against WPILib 2027 (--wpilib-2027, an unpacked WPILib 2027 for Linux
x86-64), its libraries being built against WPILib 2027's headers:
- The JSON and the repository as for 2026, with "wpilibYear" instead of "frcYear", the platforms
  linuxsystemcore, linuxarm64 and linuxx86-64 (no Windows: there is no Windows build against
  WPILib 2027), the 2026 vendordep's name and UUID and a Maven group of its own.
- Every undefined symbol of each Linux library is exported by the library it names (NEEDED) of
  that platform: WPILib's as the real x86-64 WPILib 2027 exports them (a library built against
  WPILib 2026's shapes needs names 2027 does not have), the C and C++ runtimes' from the system
  (linuxarm64: the aarch64 cross toolchain's). linuxarm64 and linuxsystemcore ship one library,
  which exports what the linuxx86-64 one does.
- linuxx86-64: a C++ and a Java program built against the zips link and run on WPILib 2027's
  real libraries, and against the debug zip on the same libraries under WPILib's debug names
  (WPILib 2027's debug libraries are not at hand), as is the staticdebug zip's simulation program. linuxarm64: a C++ program cross-compiled against the zip runs under qemu-user
  with the link stubs WPILib's libraries were replaced with for the build (--arm64-stubs): the
  library loads and its calls that need no HAL answer as documented.
- The simulators (when --build-2027 has halvern_sim, the JSON must ship them): each header
  compiles on its own over WPILib 2027's headers, the archive links against WPILib 2027's
  libraries, and a simulation program built from the zips runs on WPILib 2027's HAL, where the
  library from the linuxx86-64 zip reads the simulated controller over its simulated CAN bus.

Prints one line a check and "N passed, N failed" at the end; exits 1 when any check failed.
"""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import uuid
import xml.etree.ElementTree as ElementTree
import zipfile
from pathlib import Path

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent
sys.path.insert(0, str(ROOT / "tests/support"))
from pe_imports import (IMAGE_FILE_MACHINE_AMD64, WINDOWS_SYSTEM_DLLS, WPILIB_DLLS,  # noqa: E402
                        PeImage, forbidden_imports)
# The platforms this project builds, with their <os>/<arch> folder in a binary zip.
PLATFORMS = {"linuxx86-64": "linux/x86-64", "windowsx86-64": "windows/x86-64",
             "linuxarm64": "linux/arm64", "linuxsystemcore": "linux/systemcore"}
# The ELF machine (e_machine) of each Linux platform's libraries.
EM_X86_64, EM_AARCH64 = 62, 183
ELF_MACHINES = {"linuxx86-64": (EM_X86_64, "EM_X86_64"), "linuxarm64": (EM_AARCH64, "EM_AARCH64"),
                "linuxsystemcore": (EM_AARCH64, "EM_AARCH64")}
# Where each processor's C and C++ runtimes are, to resolve a library's symbols against.
SYSTEM_LIBRARY_DIRS = {
    EM_X86_64: [Path("/lib/x86_64-linux-gnu"), Path("/usr/lib/x86_64-linux-gnu")],
    EM_AARCH64: [Path("/usr/aarch64-linux-gnu/lib")],
}
# What a Linux library may need besides WPILib's libraries: the C and C++ runtimes.
SYSTEM_LIBRARIES = {"libc.so.6", "libm.so.6", "libstdc++.so.6", "libgcc_s.so.1", "libatomic.so.1",
                    "libdl.so.2", "libpthread.so.0", "librt.so.1", "ld-linux-x86-64.so.2",
                    "ld-linux-aarch64.so.1"}
# The newest symbol versions Debian 12's C and C++ runtimes (glibc 2.36, GCC 12) offer.
VERSION_CEILING = {"GLIBC": (2, 36), "GLIBCXX": (3, 4, 30), "CXXABI": (1, 3, 13)}
LIBRARY, SIMULATORS = "HalvernDriver-cpp", "HalvernDriver-sim"


class Season:
    """One season's vendordep: its file, year key and platforms, as WPILib's tools must see them.

    The library runs on the robot and in simulation alike (no simMode). The simulated devices are
    for desktop simulation only, and for Linux x86-64 only: the Windows build's are
    mingw-compiled C++, which MSVC-built programs cannot link."""

    def __init__(self, year, folder, json_name, year_key, year_value, platforms):
        self.year, self.folder, self.json_name = year, folder, json_name
        self.year_key, self.year_value, self.platforms = year_key, year_value, platforms
        self.cpp_artifacts = {
            LIBRARY: {"libName": "HalvernDriver", "sharedLibrary": True, "simMode": None,
                      "platforms": set(platforms)},
            SIMULATORS: {"libName": "HalvernDriverSim", "sharedLibrary": False,
                         "simMode": "swsim", "platforms": {"linuxx86-64"}},
        }

    def json_path(self, build):
        return build / "vendordep" / self.folder / self.json_name

    def repo(self, build):
        return build / "vendordep" / self.folder / "repo"


SEASONS = {
    "2026": Season("2026", "2026", "HalvernDriver.json", "frcYear", "2026",
                   ["linuxx86-64", "windowsx86-64"]),
    # WPILib 2027 runs on Systemcore (64-bit ARM Linux); there is no Windows build against it.
    "2027": Season("2027", "2027", "HalvernDriver-2027.json", "wpilibYear", "2027_alpha5",
                   ["linuxsystemcore", "linuxarm64", "linuxx86-64"]),
}
# Names from the stand-in platform's own controls (halsim/, wpinetsim/), which WPILib lacks.
STANDIN_CONTROLS = re.compile(r"\b(halsim|wpinetsim)::")
# Exports returning C++ library types, which HalvernDriver.lib leaves out for MSVC callers
# (cmake/HalvernImportLibrary.cmake), each with a C-friendly variant that it keeps.
CXX_TYPED_EXPORTS = {
    "FindDevicePath": "c_Serial_findDevicePath",
    "c_LidarMini_getData": "c_LidarMini_copyData",
    "c_Ordex_getFirmwareVersion": "c_Ordex_copyFirmwareVersion",
    "c_Ordex_getHardwareVersion": "c_Ordex_copyHardwareVersion",
    "c_Ordex_getSerialNumber": "c_Ordex_copySerialNumber",
}
# WPILib's Linux libraries a HalvernDriver library may need, by their release names; a debug
# library needs the same with names ending in d (libwpiHald.so).
WPILIB_LINUX_LIBRARIES = ["wpiHal", "wpiutil", "wpinet", "ntcore", "datalog"]
CXX_RUNTIME_DLL = re.compile(
    r"^(libstdc\+\+.*|libgcc_s.*|libwinpthread.*|libc\+\+.*|libunwind.*|msvcp\d+.*|"
    r"vcruntime\d+.*|concrt\d+.*)\.dll$", re.IGNORECASE)


class Checker:
    def __init__(self):
        self.passed = 0
        self.failed = 0
        self.prefix = ""  # the season, for the 2027 vendordep's lines

    def check(self, ok, what, detail=""):
        what = self.prefix + what
        if ok:
            self.passed += 1
            print(f"ok      {what}")
        else:
            self.failed += 1
            print(f"FAILED  {what}" + (f": {detail}" if detail else ""))
        return ok

    def skip(self, what):
        print(f"skipped {self.prefix}{what}")


def tool(*names):
    """The first of `names` on the PATH, or None."""
    for name in names:
        found = shutil.which(name)
        if found:
            return found
    return None


def run(command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, **kwargs)


def header_files(folder, recursive=False):
    """The C and C++ headers (.h, .hpp) in `folder`, sorted."""
    find = folder.rglob if recursive else folder.glob
    return sorted([*find("*.h"), *find("*.hpp")])


def project_version():
    text = (ROOT / "CMakeLists.txt").read_text()
    match = re.search(r"project\(\s*HalvernDriver\s+VERSION\s+([0-9.]+)", text)
    return match.group(1) if match else None


def is_string(value):
    return isinstance(value, str) and value != ""


def check_fields(c, entry, fields, where):
    """Each of `fields` (name: type) present in `entry` with that type."""
    for name, kind in fields.items():
        value = entry.get(name) if isinstance(entry, dict) else None
        if kind is str:
            ok = is_string(value)
        elif kind is list:
            ok = isinstance(value, list)
        else:
            ok = isinstance(value, kind)
        c.check(ok, f"{where}: {name} is a {kind.__name__}", f"{value!r}")


def check_json(c, json_path, version, season):
    try:
        data = json.loads(json_path.read_text())
    except (OSError, ValueError) as error:
        c.check(False, f"{json_path} is readable JSON", str(error))
        return None
    c.check(True, f"{json_path} is readable JSON")
    check_fields(c, data, {"fileName": str, "name": str, "version": str, "uuid": str,
                           season.year_key: str, "mavenUrls": list, "jsonUrl": str,
                           "javaDependencies": list, "jniDependencies": list,
                           "cppDependencies": list}, "JSON")
    c.check(data.get("fileName") == json_path.name, "JSON: fileName is the file's name",
            f"{data.get('fileName')!r}")
    c.check(data.get("version") == version, f"JSON: version is the project's, {version}",
            f"{data.get('version')!r}")
    try:
        parsed = uuid.UUID(str(data.get("uuid")))
        c.check(str(parsed) == data.get("uuid"), "JSON: uuid is a valid UUID in canonical form")
    except ValueError:
        c.check(False, "JSON: uuid is a valid UUID", f"{data.get('uuid')!r}")
    c.check(data.get(season.year_key) == season.year_value,
            f"JSON: {season.year_key} is \"{season.year_value}\"",
            f"{data.get(season.year_key)!r}")
    others = [key for key in ("frcYear", "wpilibYear") if key != season.year_key and key in data]
    c.check(not others, f"JSON: {season.year_key} is its only year key", f"also {others}")
    urls = data.get("mavenUrls")
    c.check(isinstance(urls, list) and len(urls) > 0 and all(is_string(u) for u in urls),
            "JSON: mavenUrls is a non-empty list of URLs", f"{urls!r}")
    for url in urls if isinstance(urls, list) else []:
        if isinstance(url, str) and url.startswith("file://"):
            local = Path(url[len("file://"):].replace("%20", " "))
            c.check((local / "com").is_dir(), f"JSON: the local repository {url} is there")
    # Published, the JSON sits in a folder named after its year, where jsonUrl finds it; built
    # for local use, jsonUrl is the file itself.
    c.check(json_path.parent.name == season.year, f"JSON: it is in a folder named {season.year}",
            f"{json_path.parent}")
    json_url = data.get("jsonUrl")
    if isinstance(json_url, str) and json_url.startswith("file://"):
        local = Path(json_url[len("file://"):].replace("%20", " "))
        c.check(local.resolve() == json_path.resolve(), "JSON: jsonUrl is this file's own "
                "file:// URL (a published one is configured at configure time)", json_url)
    else:
        c.check(isinstance(json_url, str) and json_url.startswith("https://") and
                json_url.endswith(f"/{season.year}/{json_path.name}"), "JSON: jsonUrl is an "
                f"https:// URL ending in /{season.year}/{json_path.name}", f"{json_url!r}")
    for key in ("requires", "conflictsWith"):
        for entry in data.get(key, []):
            check_fields(c, entry, {"uuid": str, "errorMessage": str, "offlineFileName": str},
                         f"JSON {key}")

    for entry in data.get("javaDependencies", []):
        check_fields(c, entry, {"groupId": str, "artifactId": str, "version": str},
                     f"javaDependencies {entry.get('artifactId')}")
    for entry in data.get("jniDependencies", []):
        where = f"jniDependencies {entry.get('artifactId')}"
        check_fields(c, entry, {"groupId": str, "artifactId": str, "version": str,
                                "isJar": bool, "validPlatforms": list,
                                "skipInvalidPlatforms": bool}, where)
        c.check(entry.get("isJar") is False, f"{where}: isJar is false (a native zip)")
        check_platforms(c, entry.get("validPlatforms"), where, season)
        c.check(set(entry.get("validPlatforms") or []) == set(season.platforms),
                f"{where}: validPlatforms are {', '.join(season.platforms)}",
                f"{entry.get('validPlatforms')!r}")
    cpp = data.get("cppDependencies", [])
    names = sorted(str(entry.get("artifactId")) for entry in cpp)
    c.check(names == sorted(season.cpp_artifacts), "JSON: cppDependencies are "
            f"{', '.join(sorted(season.cpp_artifacts))}", f"{names}")
    for entry in cpp:
        where = f"cppDependencies {entry.get('artifactId')}"
        expected = season.cpp_artifacts.get(entry.get("artifactId"))
        fields = {"groupId": str, "artifactId": str, "version": str, "libName": str,
                  "headerClassifier": str, "sharedLibrary": bool,
                  "skipInvalidPlatforms": bool, "binaryPlatforms": list}
        if entry.get("artifactId") == LIBRARY:
            fields["sourcesClassifier"] = str
        check_fields(c, entry, fields, where)
        check_platforms(c, entry.get("binaryPlatforms"), where, season)
        if expected is None:
            continue
        c.check(entry.get("libName") == expected["libName"],
                f"{where}: libName is {expected['libName']}", f"{entry.get('libName')!r}")
        c.check(entry.get("sharedLibrary") is expected["sharedLibrary"],
                f"{where}: sharedLibrary is {str(expected['sharedLibrary']).lower()}")
        c.check(entry.get("simMode") == expected["simMode"],
                f"{where}: simMode is {expected['simMode'] or 'absent (robot and simulation)'}",
                f"{entry.get('simMode')!r}")
        c.check(set(entry.get("binaryPlatforms") or []) == expected["platforms"],
                f"{where}: binaryPlatforms are {', '.join(sorted(expected['platforms']))}",
                f"{entry.get('binaryPlatforms')!r}")
        c.check(entry.get("skipInvalidPlatforms") is True,
                f"{where}: skipInvalidPlatforms is true (other platforms build without it)")
    for key in ("javaDependencies", "jniDependencies", "cppDependencies"):
        for entry in data.get(key, []):
            c.check(entry.get("version") == version, f"{key} {entry.get('artifactId')}: "
                    f"version is {version}", f"{entry.get('version')!r}")
    return data


def check_platforms(c, platforms, where, season):
    if not isinstance(platforms, list):
        return
    c.check(len(platforms) > 0, f"{where}: lists platforms")
    unknown = [p for p in platforms if p not in season.platforms]
    c.check(not unknown, f"{where}: every platform is one this project builds "
            f"({', '.join(season.platforms)})", f"{unknown}")


def binary_classifier(entry, platform, debug=False):
    """WPILib's tools ask for a static library's zip as <platform>static, and for a program built
    for debugging for <platform>debug and <platform>staticdebug."""
    return platform + ("" if entry.get("sharedLibrary", True) else "static") + \
        ("debug" if debug else "")


def binary_files(entry, platform, debug=False):
    """The folder a platform zip holds its library in, and the files it must hold there, by the
    release library's name in the debug zips too (WPILib's tools look for that name in each): a
    release Linux one its debug symbols beside it, a debug one the Debug library whole."""
    lib, shared = entry.get("libName", ""), entry.get("sharedLibrary", True)
    folder = f"{PLATFORMS[platform]}/{'shared' if shared else 'static'}"
    if platform.startswith("windows"):
        files = [f"{lib}.dll", f"{lib}.lib"] if shared else [f"{lib}.lib"]
    elif shared:
        files = [f"lib{lib}.so"] + ([] if debug else [f"lib{lib}.so.debug"])
    else:
        files = [f"lib{lib}.a"]
    return folder, files


def artifact_dir(repo, entry):
    return repo.joinpath(*entry["groupId"].split("."), entry["artifactId"], entry["version"])


def artifact_file(repo, entry, classifier=None, extension="zip"):
    name = f"{entry['artifactId']}-{entry['version']}"
    if classifier:
        name += f"-{classifier}"
    return artifact_dir(repo, entry) / f"{name}.{extension}"


def check_pom(c, repo, entry, checked):
    pom = artifact_file(repo, entry, extension="pom")
    if pom in checked:
        return
    checked.add(pom)
    if not c.check(pom.is_file(), f"{pom.relative_to(repo)} is there"):
        return
    try:
        root = ElementTree.parse(pom).getroot()
    except ElementTree.ParseError as error:
        c.check(False, f"{pom.name} is XML", str(error))
        return
    namespace = {"m": "http://maven.apache.org/POM/4.0.0"}
    values = {key: root.findtext(f"m:{key}", namespaces=namespace)
              for key in ("groupId", "artifactId", "version")}
    expected = {key: entry[key] for key in ("groupId", "artifactId", "version")}
    c.check(values == expected, f"{pom.name} names the artifact", f"{values} != {expected}")


def zip_names(c, path, repo):
    if not c.check(path.is_file(), f"{path.relative_to(repo)} is there"):
        return None
    try:
        with zipfile.ZipFile(path) as archive:
            bad = archive.testzip()
            c.check(bad is None, f"{path.name} is a sound zip", f"bad member {bad}")
            return [n for n in archive.namelist() if not n.endswith("/")]
    except zipfile.BadZipFile as error:
        c.check(False, f"{path.name} is a zip", str(error))
        return None


def check_repository(c, repo, data):
    checked_poms = set()
    headers = sorted(str(p.relative_to(ROOT / "include"))
                     for p in header_files(ROOT / "include", recursive=True))
    found = {}
    for entry in data.get("javaDependencies", []):
        check_pom(c, repo, entry, checked_poms)
        jar = zip_names(c, artifact_file(repo, entry, extension="jar"), repo)
        if jar is not None:
            c.check("com/halvern/frc/Ordex.class" in jar and
                    "com/halvern/frc/jni/NativeLibrary.class" in jar,
                    "the jar holds com.halvern.frc's classes")
        sources = zip_names(c, artifact_file(repo, entry, "sources", "jar"), repo)
        if sources is not None:
            c.check("com/halvern/frc/Ordex.java" in sources, "the -sources jar holds the sources")
        javadoc = zip_names(c, artifact_file(repo, entry, "javadoc", "jar"), repo)
        if javadoc is not None:
            c.check("index.html" in javadoc, "the -javadoc jar holds the Javadoc")
        found[("java", "jar")] = artifact_file(repo, entry, extension="jar")

    # The JNI entries name the library's own platform zips (a shared library each).
    platform_entries = []
    for entry in data.get("jniDependencies", []):
        check_pom(c, repo, entry, checked_poms)
        platform_entries += [(entry, p) for p in entry.get("validPlatforms", [])]
    for entry in data.get("cppDependencies", []):
        artifact = entry.get("artifactId")
        check_pom(c, repo, entry, checked_poms)
        path = artifact_file(repo, entry, entry.get("headerClassifier"))
        names = zip_names(c, path, repo)
        if names is not None and artifact == LIBRARY:
            missing = [h for h in headers if h not in names]
            c.check(not missing, "the headers zip has every public header at its root "
                    "(halvern/*.h, *.hpp)", f"missing {missing}")
            c.check(not any(n.startswith("include/") for n in names),
                    "the headers zip has no include/ folder")
        elif names is not None and artifact == SIMULATORS:
            # Where `cmake --install` puts them, so a program includes "halvern/sim/SimOrdex.h"
            # from the zip as from an installed package.
            stray = [n for n in names if not re.fullmatch(r"halvern/sim/\w+\.h(pp)?", n)]
            c.check(names and not stray, f"{path.name} holds halvern/sim/*.h and *.hpp only, at "
                    "its root",
                    f"also {stray}" if names else "it is empty")
        if names is not None:
            found[(artifact, "headers")] = path
        if entry.get("sourcesClassifier"):
            names = zip_names(c, artifact_file(repo, entry, entry.get("sourcesClassifier")), repo)
            if names is not None:
                sources = sorted(str(p.relative_to(ROOT)) for p in (ROOT / "src").rglob("*")
                                 if p.is_file())
                missing = [n for n in sources if n not in names]
                c.check(not missing and "include/halvern/Ordex.h" in names,
                        f"the sources zip holds the library's {len(sources)} sources (src/) and "
                        "include/", f"missing {missing[:10]}")
        platform_entries += [(entry, p) for p in entry.get("binaryPlatforms", [])]

    checked_zips = set()
    for entry, platform in platform_entries:
        if platform not in PLATFORMS:
            continue
        named = dict(entry, libName=entry.get("libName", "HalvernDriver"))
        path = artifact_file(repo, entry, binary_classifier(entry, platform))
        if path in checked_zips:
            continue
        checked_zips.add(path)
        names = zip_names(c, path, repo)
        if names is None:
            continue
        folder, files = binary_files(named, platform)
        expected = sorted(f"{folder}/{f}" for f in files)
        c.check(sorted(names) == expected, f"{path.name} holds {', '.join(expected)}",
                f"it holds {sorted(names)}")
        found[(entry["artifactId"], platform)] = path
        # WPILib's tools take <platform>debug (<platform>staticdebug for a static library) for a
        # program built for debugging.
        debug_path = artifact_file(repo, entry, binary_classifier(entry, platform, debug=True))
        debug_names = zip_names(c, debug_path, repo)
        if debug_names is None:
            continue
        folder, files = binary_files(named, platform, debug=True)
        expected = sorted(f"{folder}/{f}" for f in files)
        c.check(sorted(debug_names) == expected, f"{debug_path.name} holds "
                f"{', '.join(expected)}", f"it holds {sorted(debug_names)}")
        found[(entry["artifactId"], f"{platform}debug")] = debug_path
    return found


def unpack(path, into):
    into.mkdir(parents=True, exist_ok=True)
    with zipfile.ZipFile(path) as archive:
        archive.extractall(into)
    return into


def build_consumer(compiler, headers, shared, library, platform_libs, program):
    """Builds tests/vendordep/consumer.cpp against the headers and the zip's `library`."""
    return run([compiler, "-std=c++20", "-I", str(headers), str(HERE / "consumer.cpp"),
                "-o", str(program), "-L", str(shared), f"-l{library}",
                f"-Wl,-rpath-link,{platform_libs}"])


def check_linux(c, found, platform_libs, scratch, debug_platform_libs=None):
    """A C++ and a Java program against the zips, on the libraries of `platform_libs` (and
    against the debug zip on those of `debug_platform_libs`, when given)."""
    if not all((LIBRARY, k) in found for k in ("headers", "linuxx86-64")):
        c.check(False, "Linux: the headers and linuxx86-64 zips are there to build against")
        return
    headers = unpack(found[(LIBRARY, "headers")], scratch / "headers")
    binaries = unpack(found[(LIBRARY, "linuxx86-64")], scratch / "linux")
    shared = binaries / "linux/x86-64/shared"
    library = shared / "libHalvernDriver.so"

    dynamic = run(["readelf", "-d", str(library)]).stdout
    runpath = re.findall(r"\((?:RUNPATH|RPATH)\)\s+Library r(?:un)?path: \[(.*)\]", dynamic)
    c.check(all(p == "$ORIGIN" for p in runpath),
            "Linux: libHalvernDriver.so looks for libraries beside itself only", f"{runpath}")
    exported = run(["nm", "-D", "--defined-only", str(library)]).stdout
    c.check(" c_Ordex_create" in exported and " Java_com_halvern_frc_jni_" in exported,
            "Linux: libHalvernDriver.so exports the C and JNI entry points")

    compiler = os.environ.get("CXX") or tool("c++", "g++")
    program = scratch / "consumer"
    built = build_consumer(compiler, headers, shared, "HalvernDriver", platform_libs, program)
    if not c.check(built.returncode == 0, "Linux: a C++ program builds against the headers "
                   "zip and links against the linuxx86-64 zip", built.stderr[-2000:]):
        return
    environment = dict(os.environ, LD_LIBRARY_PATH=f"{shared}:{platform_libs}")
    ran = run([str(program)], env=environment, timeout=60)
    c.check(ran.returncode == 0 and "vendordep consumer: OK" in ran.stdout,
            "Linux: the program runs and every call answers as documented",
            (ran.stdout + ran.stderr)[-2000:])

    java = tool("java")
    if ("java", "jar") not in found or not java:
        c.check(False, "Linux: java and the HalvernDriver-java jar are there")
        return
    ran = run([java, "-cp", str(found[("java", "jar")]), f"-Djava.library.path={shared}",
               str(HERE / "JavaConsumer.java")], env=environment, timeout=120)
    c.check(ran.returncode == 0 and "vendordep Java consumer: OK" in ran.stdout,
            "Linux: a Java program calls the library through the jar and the JNI zip",
            (ran.stdout + ran.stderr)[-2000:])
    if debug_platform_libs:
        check_linux_debug(c, found, headers, debug_platform_libs, compiler, java, scratch)


def check_linux_debug(c, found, headers, platform_libs, compiler, java, scratch):
    """The same programs against the linuxx86-64debug zip alone, on WPILib's debug libraries
    (`platform_libs`), as a robot project built for debugging has them: linked with
    -lHalvernDriver, as against the release zip, they load the Debug library by that name."""
    if (LIBRARY, "linuxx86-64debug") not in found:
        return
    shared = unpack(found[(LIBRARY, "linuxx86-64debug")], scratch / "linux-debug") / \
        "linux/x86-64/shared"
    program = scratch / "consumer-debug"
    built = build_consumer(compiler, headers, shared, "HalvernDriver", platform_libs, program)
    if not c.check(built.returncode == 0, "Linux debug: a C++ program links against the "
                   "linuxx86-64debug zip (-lHalvernDriver)", built.stderr[-2000:]):
        return
    needed = dynamic_entries(program, "NEEDED")
    c.check("libHalvernDriver.so" in needed and not any("HalvernDriverd" in n for n in needed),
            "Linux debug: the program needs libHalvernDriver.so, the name the release zip has",
            f"needs {needed}")
    environment = dict(os.environ, LD_LIBRARY_PATH=f"{shared}:{platform_libs}")
    ran = run([str(program)], env=environment, timeout=60)
    c.check(ran.returncode == 0 and "vendordep consumer: OK" in ran.stdout,
            "Linux debug: it runs on WPILib's debug libraries", (ran.stdout + ran.stderr)[-2000:])
    ran = run([java, "-cp", str(found[("java", "jar")]), f"-Djava.library.path={shared}",
               str(HERE / "JavaConsumer.java")], env=environment, timeout=120)
    c.check(ran.returncode == 0 and "vendordep Java consumer: OK" in ran.stdout,
            "Linux debug: the Java classes load the Debug library from the linuxx86-64debug zip",
            (ran.stdout + ran.stderr)[-2000:])


def debug_names_of(wpilib_lib, into):
    """A folder where each of WPILib's release libraries in `wpilib_lib` also has its debug name
    (libwpiHald.so), for a WPILib whose debug libraries are not at hand: the library of a debug
    zip, which needs those names, then loads beside them."""
    into.mkdir(parents=True, exist_ok=True)
    for library in wpilib_lib.glob("*.so*"):
        (into / library.name).symlink_to(library.resolve())
    for name in WPILIB_LINUX_LIBRARIES:
        release = wpilib_lib / f"lib{name}.so"
        if release.is_file():
            (into / f"lib{name}d.so").symlink_to(release.resolve())
    return into


def check_simulation_debug(c, found, includes, platform_libs, compiler, scratch, where):
    """The staticdebug zip's simulators as a debug robot program's desktop simulation has them:
    the Debug build's objects of the static zip's archive, linked with the debug zip's library
    and WPILib's debug libraries (`platform_libs`), run there."""
    keys = [(SIMULATORS, "linuxx86-64"), (SIMULATORS, "linuxx86-64debug"),
            (LIBRARY, "linuxx86-64debug")]
    if not c.check(all(k in found for k in keys), f"{where} debug: the simulators' static and "
                   "staticdebug zips and the library's debug zip are there"):
        return
    folder = "linux/x86-64/static/libHalvernDriverSim.a"
    release = unpack(found[keys[0]], scratch / "sim-release-members") / folder
    archive = unpack(found[keys[1]], scratch / "sim-debug") / folder
    members = [run(["ar", "t", str(a)]).stdout.split() for a in (release, archive)]
    c.check(members[1] and sorted(members[0]) == sorted(members[1]), f"{where} debug: the "
            "staticdebug archive has the static one's objects", f"{members[1]} / {members[0]}")
    c.check(".debug_info" in sections("objdump", archive) and
            archive.read_bytes() != release.read_bytes(), f"{where} debug: the staticdebug "
            "archive is a build of its own, with its debug information")
    shared = unpack(found[keys[2]], scratch / "sim-debug-library") / "linux/x86-64/shared"
    program = scratch / "sim-consumer-debug"
    built = run([compiler, "-std=c++20", *includes, str(HERE / "sim_consumer.cpp"), str(archive),
                 "-o", str(program), "-L", str(shared), "-lHalvernDriver", "-L",
                 str(platform_libs), "-lwpiHald", "-lwpinetd", "-lwpiutild", "-pthread",
                 f"-Wl,-rpath-link,{platform_libs}"])
    if c.check(built.returncode == 0, f"{where} debug: a simulation program links against the "
               "staticdebug archive, the debug zip's library and WPILib's debug libraries",
               built.stderr[-2000:]):
        environment = dict(os.environ, LD_LIBRARY_PATH=f"{shared}:{platform_libs}")
        ran = run([str(program)], env=environment, timeout=60)
        c.check(ran.returncode == 0 and "vendordep sim consumer: OK" in ran.stdout,
                f"{where} debug: it runs: the library reads the simulated Ordex over the "
                "simulated CAN bus", (ran.stdout + ran.stderr)[-2000:])


def undefined_references(link_output):
    """The symbols a failed link names as undefined, once each."""
    found = re.findall(r"undefined reference to [`'](.+?)'", link_output)
    return sorted(set(found))


def simulator_types(headers):
    """halvern::sim's classes and structs (not templates) that the headers define."""
    names = []
    for header in sorted(headers.glob("*.h")):
        lines = header.read_text().splitlines()
        for number, line in enumerate(lines):
            match = re.match(r"^(?:class|struct)\s+(\w+)\s*(?:final\s*)?(?::[^;{]*)?\{", line)
            if match and not (number > 0 and lines[number - 1].startswith("template")):
                names.append(match.group(1))
    return names


def standin_controls_needed(archive):
    """The stand-in platform's own controls (halsim::, wpinetsim::) an archive needs, sorted."""
    undefined = run(["nm", "-C", "-u", str(archive)]).stdout
    return sorted({line.split("U ", 1)[-1].strip() for line in undefined.splitlines()
                   if STANDIN_CONTROLS.search(line)})


def headers_not_compiling_alone(compiler, flags, sim_headers):
    """Each simulator header that does not compile on its own with `flags`, and its first
    error."""
    broken = []
    for header in header_files(sim_headers / "halvern/sim"):
        done = run([compiler, "-std=c++20", "-fsyntax-only", *flags, "-x", "c++", "-"],
                   input=f'#include "halvern/sim/{header.name}"\n')
        if done.returncode != 0:
            errors = [line for line in done.stderr.splitlines() if "error" in line]
            broken.append(f"{header.name}: {(errors or [done.stderr.strip()])[0]}")
    return broken


def empty_program(scratch):
    """The source of a program that does nothing, to link libraries into."""
    empty = scratch / "empty.cpp"
    empty.write_text("int main() { return 0; }\n")
    return empty


def link_whole_archive(compiler, archive, platform, scratch):
    """Links every object of `archive` into an empty program against `platform`'s libraries."""
    return run([compiler, str(empty_program(scratch)), "-o", str(scratch / "whole-archive"),
                "-Wl,--whole-archive", str(archive), "-Wl,--no-whole-archive", *platform])


def check_linux_simulation(c, found, build, compiler, scratch, wpilib):
    needed = [(SIMULATORS, "headers"), (SIMULATORS, "linuxx86-64"), (LIBRARY, "headers"),
              (LIBRARY, "linuxx86-64")]
    if not c.check(all(k in found for k in needed), "Linux simulation: the HalvernDriver-sim zips "
                   "and the library's are there to build against"):
        return
    sim_headers = unpack(found[(SIMULATORS, "headers")], scratch / "sim-headers")
    sim_binaries = unpack(found[(SIMULATORS, "linuxx86-64")], scratch / "sim-linux")
    lib_headers = unpack(found[(LIBRARY, "headers")], scratch / "sim-library-headers")
    shared = unpack(found[(LIBRARY, "linuxx86-64")], scratch / "sim-library") / \
        "linux/x86-64/shared"
    archive = sim_binaries / "linux/x86-64/static/libHalvernDriverSim.a"
    # The stand-in platform's headers, as a WPILib installation would provide WPILib's.
    standin = ["-I", str(ROOT / "hal/include"), "-I", str(ROOT / "wpiutil/include")]
    zips = ["-I", str(sim_headers), "-I", str(lib_headers)]

    members = run(["ar", "t", str(archive)])
    c.check(members.returncode == 0 and ".o" in members.stdout,
            "Linux simulation: libHalvernDriverSim.a is an archive of objects",
            members.stderr[-500:])
    controls = standin_controls_needed(archive)
    c.check(not controls, "Linux simulation: libHalvernDriverSim.a needs none of the stand-in "
            "platform's own controls (halsim::, wpinetsim::), which WPILib does not have",
            f"{controls[:10]}")

    broken = headers_not_compiling_alone(compiler, [*zips, *standin], sim_headers)
    c.check(not broken, "Linux simulation: each header of the HalvernDriver-sim zip compiles on "
            "its own from the zips and the platform's headers", "; ".join(broken)[-2000:])

    platform_libs = build / "lib"
    program = scratch / "sim-consumer"
    built = run([compiler, "-std=c++20", *zips, *standin, str(HERE / "sim_consumer.cpp"),
                 str(archive), "-o", str(program), "-L", str(shared), "-lHalvernDriver",
                 "-L", str(platform_libs), "-lwpiHal", "-lwpinet", "-lwpiutil", "-pthread"])
    if c.check(built.returncode == 0, "Linux simulation: a simulation program builds against the "
               "headers zips and links against libHalvernDriverSim.a, the library and the HAL",
               built.stderr[-2000:]):
        environment = dict(os.environ, LD_LIBRARY_PATH=f"{shared}:{platform_libs}")
        ran = run([str(program)], env=environment, timeout=60)
        c.check(ran.returncode == 0 and "vendordep sim consumer: OK" in ran.stdout,
                "Linux simulation: it runs: the simulated Ordex is the SimDevice Ordex[5] and "
                "the library reads it over the simulated CAN bus",
                (ran.stdout + ran.stderr)[-2000:])

    if wpilib is None:
        print("skipped WPILib: the simulators on WPILib's own HAL (no --wpilib)")
        return
    check_wpilib(c, wpilib, archive, sim_headers, shared, standin, compiler, scratch)


def check_wpilib(c, wpilib, archive, sim_headers, shared, standin, compiler, scratch):
    """The shipped simulators as a robot program's desktop simulation on WPILib has them."""
    lib = wpilib / "lib"
    headers = []
    for folder in ("hal", "wpiutil", "wpinet"):
        headers += ["-I", str(wpilib / "include" / folder)]
    if not c.check((lib / "libwpiHal.so").is_file() and (wpilib / "include/hal").is_dir(),
                   f"WPILib: {wpilib} has lib/libwpiHal.so and include/hal/"):
        return
    platform = ["-L", str(lib), "-lwpiHal", "-lwpinet", "-lwpiutil", "-pthread",
                f"-Wl,-rpath-link,{lib}"]

    linked = link_whole_archive(compiler, archive, platform, scratch)
    c.check(linked.returncode == 0, "WPILib: every object of libHalvernDriverSim.a links "
            "against WPILib's own libwpiHal, libwpiutil and libwpinet",
            f"undefined: {undefined_references(linked.stderr)[:10]} {linked.stderr[-500:]}")

    # A class laid out otherwise over WPILib's headers than over the stand-in's, which the
    # archive was built on, is a program and an archive disagreeing about its objects.
    types = simulator_types(sim_headers / "halvern/sim")
    probe = scratch / "layout.cpp"
    probe.write_text("#include <cstdio>\n" + "".join(
        f'#include "halvern/sim/{h.name}"\n' for h in header_files(sim_headers / "halvern/sim")) +
        "int main() {\n" + "".join(
            f'  std::printf("{t} %zu %zu\\n", sizeof(halvern::sim::{t}), '
            f"alignof(halvern::sim::{t}));\n" for t in types) + "}\n")
    layouts = {}
    for name, includes in (("the stand-in's", standin), ("WPILib's", headers)):
        program = scratch / f"layout-{len(layouts)}"
        built = run([compiler, "-std=c++20", "-I", str(sim_headers), *includes, str(probe),
                     "-o", str(program)])
        ran = run([str(program)]) if built.returncode == 0 else built
        if not c.check(ran.returncode == 0, f"WPILib: the simulators' classes compile over "
                       f"{name} headers", (ran.stdout + ran.stderr)[-2000:]):
            return
        layouts[name] = dict(line.split(" ", 1) for line in ran.stdout.splitlines())
    standin_layout, wpilib_layout = layouts.values()
    differ = [f"{t}: {standin_layout.get(t)} / {wpilib_layout.get(t)}" for t in types
              if standin_layout.get(t) != wpilib_layout.get(t)]
    c.check(types and not differ, f"WPILib: the simulators' {len(types)} classes have the same "
            "size and alignment over WPILib's headers as over the stand-in's",
            f"size alignment, stand-in / WPILib: {differ}" if types else "no classes found")

    program = scratch / "sim-consumer-wpilib"
    built = run([compiler, "-std=c++20", "-DHALVERN_CONSUMER_SIM_ONLY", "-I", str(sim_headers),
                 *headers, str(HERE / "sim_consumer.cpp"), str(archive), "-o", str(program),
                 *platform])
    if c.check(built.returncode == 0, "WPILib: the simulation program builds over WPILib's "
               "headers and links against libHalvernDriverSim.a and WPILib's libraries",
               built.stderr[-2000:]):
        environment = dict(os.environ, LD_LIBRARY_PATH=str(lib))
        ran = run([str(program)], env=environment, timeout=60)
        c.check(ran.returncode == 0 and "vendordep sim consumer: OK" in ran.stdout,
                "WPILib: it runs on WPILib's HAL and the simulated Ordex is the SimDevice Ordex[5]",
                (ran.stdout + ran.stderr)[-2000:])

    # The library's Linux build is the stand-in build's: a robot program on WPILib links it too.
    linked = run([compiler, str(empty_program(scratch)), "-o", str(scratch / "library-wpilib"),
                  "-Wl,--no-as-needed", "-L", str(shared), "-lHalvernDriver", *platform])
    if linked.returncode != 0:
        print("WARNING WPILib: libHalvernDriver.so from the linuxx86-64 zip does not link against "
              f"WPILib's libraries: undefined {undefined_references(linked.stderr)}")


def elf_machine(path):
    """(ELF class, e_machine) of a little-endian ELF file, or None if it is not one."""
    with open(path, "rb") as file:
        header = file.read(20)
    if len(header) < 20 or header[:4] != b"\x7fELF" or header[5] != 1:
        return None
    return header[4], int.from_bytes(header[18:20], "little")


def dynamic_entries(library, tag):
    text = run(["readelf", "-d", str(library)]).stdout
    return re.findall(rf"\({tag}\)\s+[^\[]*\[(.*)\]", text)


def needed_versions(library):
    """The symbol versions `library` needs (its .gnu.version_r), as GLIBC_2.34 and the like."""
    text = run(["readelf", "-V", str(library)]).stdout
    needs = text.split("Version needs section", 1)
    return sorted(set(re.findall(r"Name: (\S+)", needs[1]))) if len(needs) == 2 else []


def version_tuple(text):
    return tuple(int(part) for part in text.split("."))


def dynamic_symbols(library):
    """{name: (defined, weak)} of `library`'s dynamic symbols, versions left off the names."""
    text = run(["readelf", "--dyn-syms", "-W", str(library)]).stdout
    symbols = {}
    for line in text.splitlines():
        fields = line.split()
        if len(fields) < 8 or not fields[0].endswith(":") or fields[3] in ("FILE", "SECTION"):
            continue
        name = fields[7].split("@", 1)[0]
        if name:
            defined = fields[6] != "UND"
            symbols[name] = (defined or symbols.get(name, (False,))[0], fields[4] == "WEAK")
    return symbols


def check_linux_elf(c, found, season, wpilib_libraries, scratch):
    """Each Linux zip's library: its processor, its RUNPATH, what it needs, its symbol versions.

    `wpilib_libraries`: the file names a library may need of WPILib's."""
    libraries = {}
    for platform in season.platforms:
        if not platform.startswith("linux"):
            continue
        if not c.check((LIBRARY, platform) in found, f"{platform}: the zip is there"):
            continue
        library = (unpack(found[(LIBRARY, platform)], scratch / f"elf-{platform}") /
                   PLATFORMS[platform] / "shared/libHalvernDriver.so")
        if not c.check(library.is_file(), f"{platform}: the zip holds libHalvernDriver.so"):
            continue
        libraries[platform] = library
        machine, machine_name = ELF_MACHINES[platform]
        c.check(elf_machine(library) == (2, machine), f"{platform}: libHalvernDriver.so is a "
                f"64-bit little-endian ELF library for {machine_name}",
                f"ELF class and machine {elf_machine(library)}")
        runpath = dynamic_entries(library, "RUNPATH") + dynamic_entries(library, "RPATH")
        c.check(all(p == "$ORIGIN" for p in runpath),
                f"{platform}: libHalvernDriver.so looks for libraries beside itself only",
                f"{runpath}")
        needed = dynamic_entries(library, "NEEDED")
        wpilib = [n for n in needed if n in wpilib_libraries]
        others = [n for n in needed if n not in SYSTEM_LIBRARIES and n not in wpilib]
        c.check("libwpiHal.so" in needed and not others, f"{platform}: libHalvernDriver.so "
                f"needs WPILib's libraries ({', '.join(wpilib)}) and the C and C++ runtimes "
                "only", f"needs {needed}")
        versions = needed_versions(library)
        newer = []
        for version in versions:
            match = re.fullmatch(r"([A-Z]+)_([0-9.]+)", version)
            if match and match.group(1) in VERSION_CEILING and \
                    version_tuple(match.group(2)) > VERSION_CEILING[match.group(1)]:
                newer.append(version)
        ceiling = ", ".join(f"{k}_{'.'.join(map(str, v))}" for k, v in VERSION_CEILING.items())
        c.check(versions and not newer, f"{platform}: libHalvernDriver.so needs symbol versions "
                f"no newer than Debian 12's ({ceiling})",
                f"newer: {newer}" if versions else "readelf found no version needs")
    return libraries


def check_symbols_resolve(c, libraries, wpilib_lib):
    """Every undefined symbol of each library is exported by a library it needs, WPILib's as the
    real ones in `wpilib_lib` (x86-64) export them."""
    exports_of = {}

    def exports(path):
        if path not in exports_of:
            exports_of[path] = {n for n, (defined, _) in dynamic_symbols(path).items() if defined}
        return exports_of[path]

    for platform, library in sorted(libraries.items()):
        machine = elf_machine(library)[1]
        providers, missing_libraries = [], []
        for name in dynamic_entries(library, "NEEDED"):
            if name in SYSTEM_LIBRARIES:
                paths = [d / name for d in SYSTEM_LIBRARY_DIRS[machine] if (d / name).exists()]
            else:
                paths = [wpilib_lib / name] if (wpilib_lib / name).is_file() else []
            if paths:
                providers.append((name, paths[0]))
            else:
                missing_libraries.append(name)
        if not c.check(not missing_libraries, f"{platform}: every library libHalvernDriver.so "
                       "needs is there to resolve against (WPILib 2027's, the system's)",
                       f"missing {missing_libraries}"):
            continue
        symbols = dynamic_symbols(library)
        undefined = sorted(n for n, (defined, weak) in symbols.items() if not defined and not weak)
        unresolved = [n for n in undefined
                      if not any(n in exports(path) for _, path in providers)]
        from_wpilib = [n for n in undefined if any(n in exports(path) for name, path in providers
                                                   if name not in SYSTEM_LIBRARIES)]
        c.check(undefined and not unresolved, f"{platform}: each of the {len(undefined)} symbols "
                f"libHalvernDriver.so needs ({len(from_wpilib)} of WPILib's) is exported by a "
                "library it needs, WPILib's as the real WPILib 2027 exports them",
                f"unresolved: {unresolved[:15]}")


def check_same_library(c, libraries):
    """linuxarm64 and linuxsystemcore ship one library, whose entry points are linuxx86-64's."""
    arm64, systemcore = libraries.get("linuxarm64"), libraries.get("linuxsystemcore")
    if arm64 and systemcore:
        c.check(arm64.read_bytes() == systemcore.read_bytes(), "linuxarm64 and linuxsystemcore "
                "ship the same libHalvernDriver.so")
    x86 = libraries.get("linuxx86-64")
    if arm64 and x86:
        entry = {}
        for platform, library in (("linuxx86-64", x86), ("linuxarm64", arm64)):
            entry[platform] = {n for n, (defined, _) in dynamic_symbols(library).items()
                               if defined and (n.startswith(("c_", "Java_", "JNI_")) or
                                               "FindDevicePath" in n)}
        differ = sorted(entry["linuxx86-64"] ^ entry["linuxarm64"])
        c.check(entry["linuxx86-64"] and not differ, f"linuxarm64: libHalvernDriver.so exports "
                f"the {len(entry['linuxx86-64'])} C and JNI entry points the linuxx86-64 one does",
                f"only in one: {differ[:10]}")


def check_arm64_under_qemu(c, found, stubs, scratch):
    """The linuxarm64 library loads and answers under qemu-user, beside WPILib's link stubs."""
    compiler, qemu = tool("aarch64-linux-gnu-g++"), tool("qemu-aarch64")
    sysroot = Path("/usr/aarch64-linux-gnu")
    if not c.check(compiler and qemu and (stubs / "libwpiHal.so").is_file(),
                   "linuxarm64: the aarch64 cross compiler, qemu-aarch64 and the link stubs "
                   f"({stubs}, scripts/build-linuxarm64-2027.sh) are there"):
        return
    if not all((LIBRARY, k) in found for k in ("headers", "linuxarm64")):
        return
    headers = unpack(found[(LIBRARY, "headers")], scratch / "arm64-headers")
    shared = unpack(found[(LIBRARY, "linuxarm64")], scratch / "arm64") / "linux/arm64/shared"
    program = scratch / "consumer-arm64"
    built = build_consumer(compiler, headers, shared, "HalvernDriver", stubs, program)
    if not c.check(built.returncode == 0, "linuxarm64: a C++ program cross-compiled against "
                   "the headers zip links against the linuxarm64 zip", built.stderr[-2000:]):
        return
    ran = run([qemu, "-L", str(sysroot), "-E", f"LD_LIBRARY_PATH={shared}:{stubs}", str(program)],
              timeout=120)
    c.check(ran.returncode == 0 and "vendordep consumer: OK" in ran.stdout,
            "linuxarm64: under qemu-user the library loads and its calls that need no HAL "
            "answer as documented", (ran.stdout + ran.stderr)[-2000:])


def wpilib_2027_includes(wpilib):
    includes = []
    for folder in sorted((wpilib / "include").iterdir()):
        includes += ["-I", str(folder)]
    return includes


def check_simulation_2027(c, found, data, wpilib, build_2027, compiler, scratch):
    """The shipped simulators as a robot program's desktop simulation on WPILib 2027 has them."""
    shipped = any(e.get("artifactId") == SIMULATORS for e in data.get("cppDependencies", []))
    built = build_2027 / "lib/libhalvern_sim.a"
    if not shipped:
        c.check(not built.is_file(), "the vendordep leaves the simulators out only where the "
                f"build against WPILib 2027 has none", f"{built} is there")
        c.skip(f"simulation: {build_2027} has no halvern_sim, so the vendordep has none")
        return
    needed = [(SIMULATORS, "headers"), (SIMULATORS, "linuxx86-64"), (LIBRARY, "headers"),
              (LIBRARY, "linuxx86-64")]
    if not c.check(all(k in found for k in needed), "Linux simulation: the HalvernDriver-sim zips "
                   "and the library's are there to build against"):
        return
    sim_headers = unpack(found[(SIMULATORS, "headers")], scratch / "sim-headers")
    archive = (unpack(found[(SIMULATORS, "linuxx86-64")], scratch / "sim-linux") /
               "linux/x86-64/static/libHalvernDriverSim.a")
    lib_headers = unpack(found[(LIBRARY, "headers")], scratch / "sim-library-headers")
    shared = unpack(found[(LIBRARY, "linuxx86-64")], scratch / "sim-library") / \
        "linux/x86-64/shared"
    includes = ["-I", str(sim_headers), "-I", str(lib_headers), *wpilib_2027_includes(wpilib)]
    lib = wpilib / "lib"
    platform = ["-L", str(lib), "-lwpiHal", "-lwpinet", "-lwpiutil", "-pthread",
                f"-Wl,-rpath-link,{lib}"]

    controls = standin_controls_needed(archive)
    c.check(".o" in run(["ar", "t", str(archive)]).stdout and not controls,
            "Linux simulation: libHalvernDriverSim.a is an archive of objects needing none of "
            "the stand-in platform's own controls", f"{controls[:10]}")
    broken = headers_not_compiling_alone(compiler, includes, sim_headers)
    c.check(not broken, "Linux simulation: each header of the HalvernDriver-sim zip compiles on "
            "its own over WPILib 2027's headers", "; ".join(broken)[-2000:])

    linked = link_whole_archive(compiler, archive, platform, scratch)
    c.check(linked.returncode == 0, "Linux simulation: every object of libHalvernDriverSim.a "
            "links against WPILib 2027's libraries",
            f"undefined: {undefined_references(linked.stderr)[:10]} {linked.stderr[-500:]}")

    # Built against WPILib 2027 like the simulators, the library joins them on WPILib's HAL.
    program = scratch / "sim-consumer"
    built = run([compiler, "-std=c++20", *includes, str(HERE / "sim_consumer.cpp"), str(archive),
                 "-o", str(program), "-L", str(shared), "-lHalvernDriver", *platform])
    if c.check(built.returncode == 0, "Linux simulation: a simulation program builds over WPILib "
               "2027's headers and links against libHalvernDriverSim.a, the library and WPILib "
               "2027's libraries", built.stderr[-2000:]):
        environment = dict(os.environ, LD_LIBRARY_PATH=f"{shared}:{lib}")
        ran = run([str(program)], env=environment, timeout=60)
        c.check(ran.returncode == 0 and "vendordep sim consumer: OK" in ran.stdout,
                "Linux simulation: it runs on WPILib 2027's HAL: the simulated Ordex is the "
                "SimDevice Ordex[5] and the library reads it over the simulated CAN bus",
                (ran.stdout + ran.stderr)[-2000:])
    check_simulation_debug(c, found, includes, debug_names_of(lib, scratch / "sim-debug-names"),
                           compiler, scratch, "Linux simulation")


def check_beside_2026(c, data, build):
    """The 2027 vendordep is the 2026 one's library for another season, in a group of its own."""
    path = SEASONS["2026"].json_path(build)
    try:
        earlier = json.loads(path.read_text())
    except (OSError, ValueError):
        c.skip(f"beside 2026: no readable {path}")
        return
    c.check(data.get("uuid") == earlier.get("uuid") and data.get("name") == earlier.get("name"),
            "JSON: its name and UUID are the 2026 vendordep's (one library to WPILib's tools)",
            f"{data.get('name')} {data.get('uuid')} / {earlier.get('name')} {earlier.get('uuid')}")
    c.check(data.get("fileName") != earlier.get("fileName"), "JSON: its file name is not the "
            "2026 vendordep's (both can be published side by side)", f"{data.get('fileName')}")
    groups = {e.get("groupId") for k in ("javaDependencies", "jniDependencies", "cppDependencies")
              for e in data.get(k, [])}
    earlier_groups = {e.get("groupId") for k in ("javaDependencies", "jniDependencies",
                                                 "cppDependencies") for e in earlier.get(k, [])}
    c.check(groups and not groups & earlier_groups, "JSON: its Maven group is not the 2026 "
            "vendordep's (one repository can hold both seasons' platform zips)",
            f"{sorted(groups)} / {sorted(earlier_groups)}")


def check_season_2027(c, build, version, args, scratch):
    season = SEASONS["2027"]
    if not c.check(args.wpilib_2027 is not None, "--wpilib-2027 names an unpacked WPILib 2027"):
        return
    wpilib = args.wpilib_2027.resolve()
    json_path = season.json_path(build)
    if not c.check(json_path.is_file(), f"{json_path} is there (run the vendordep-2027 target)"):
        return
    data = check_json(c, json_path, version, season)
    if data is None:
        return
    check_beside_2026(c, data, build)
    if not c.check((wpilib / "lib/libwpiHal.so").is_file() and (wpilib / "include").is_dir(),
                   f"WPILib 2027: {wpilib} has lib/libwpiHal.so and include/"):
        return
    found = check_repository(c, season.repo(build), data)
    wpilib_names = [p.name for p in (wpilib / "lib").glob("*.so")]
    libraries = check_linux_elf(c, found, season, wpilib_names, scratch)
    check_built_libraries(c, found, season, scratch)
    check_symbols_resolve(c, libraries, wpilib / "lib")
    check_same_library(c, libraries)
    check_linux(c, found, wpilib / "lib", scratch,
                debug_names_of(wpilib / "lib", scratch / "wpilib-debug-names"))
    check_arm64_under_qemu(c, found, args.arm64_stubs.resolve(), scratch)
    compiler = os.environ.get("CXX") or tool("c++", "g++")
    check_simulation_2027(c, found, data, wpilib, args.build_2027.resolve(), compiler, scratch)



def dll_imports_and_exports(objdump, dll):
    text = run([objdump, "-p", str(dll)]).stdout
    imports = re.findall(r"^\s*DLL Name: (\S+)", text, re.MULTILINE)
    exports = []
    table = text.split("[Ordinal/Name Pointer] Table", 1)
    if len(table) == 2:
        for line in table[1].splitlines()[1:]:
            match = re.match(r"^\s*\[\s*\d+\]\s+(\S+)\s*$", line)
            if not match:
                break
            exports.append(match.group(1))
    return imports, exports


def import_library_members(readobj, lib):
    """(DLL name, symbol) of every short import member of an MSVC-format import library."""
    text = run([readobj, str(lib)]).stdout
    members = []
    for block in text.split("\nFile: ")[1:]:
        lines = block.splitlines()
        if "Format: COFF-import-file" not in block:
            continue
        symbols = [line.split(": ", 1)[1] for line in lines if line.startswith("Symbol: ")]
        names = [s for s in symbols if not s.startswith("__imp_")]
        members += [(lines[0].strip(), n) for n in names]
    return members


def sections(tool_name, library):
    """The section names of a library, as its processor's objdump lists them."""
    text = run([tool_name, "-h", str(library)]).stdout
    return set(re.findall(r"^\s*\d+\s+(\S+)\s", text, re.MULTILINE))


def defined_frc_symbols(names):
    """Those of the (mangled) exported names that lie in WPILib's frc:: namespace."""
    if not names:
        return []
    demangled = run(["c++filt"], input="\n".join(names)).stdout.splitlines()
    return [d for d in demangled if re.search(r"(^|[^\w:])frc::", d)]


def check_built_libraries(c, found, season, scratch):
    """Every library of the zips, release and debug, as WPILib's vendordep check wants it: for
    its platform's processor, with no symbol of WPILib's frc:: namespace, known by the release
    library's name (a Linux one's SONAME, a Windows one's own name and its import library's); a
    release library stripped (a Linux one with its debug symbols beside it), a debug one whole
    and needing WPILib's debug libraries only."""
    objdump = tool("objdump")
    for platform in season.platforms:
        for debug in (False, True):
            key = (LIBRARY, platform + ("debug" if debug else ""))
            if key not in found:
                c.check(False, f"{key[1]}: the zip is there")
                continue
            folder, files = binary_files({"libName": "HalvernDriver"}, platform, debug)
            unpacked = unpack(found[key], scratch / f"built-{key[1]}") / folder
            library = unpacked / files[0]
            if platform.startswith("windows"):
                check_windows_library(c, key[1], library, debug)
                continue
            machine, machine_name = ELF_MACHINES[platform]
            c.check(elf_machine(library) == (2, machine), f"{key[1]}: {library.name} is a 64-bit "
                    f"ELF library for {machine_name}", f"ELF class and machine "
                    f"{elf_machine(library)}")
            exported = [n for n, (defined, _) in dynamic_symbols(library).items() if defined]
            frc = defined_frc_symbols(exported)
            c.check(not frc, f"{key[1]}: {library.name} defines no symbol in frc::", f"{frc[:5]}")
            names = sections(objdump, library)
            soname = dynamic_entries(library, "SONAME")
            c.check(soname == [library.name], f"{key[1]}: {library.name}'s SONAME is its own "
                    "name (a program linked against it looks for that one)", f"SONAME {soname}")
            needed = [n for n in dynamic_entries(library, "NEEDED") if n not in SYSTEM_LIBRARIES]
            if debug:
                c.check(".debug_info" in names, f"{key[1]}: {library.name} carries its debug "
                        "information")
                wanted = {f"lib{n}d.so" for n in WPILIB_LINUX_LIBRARIES}
                c.check(needed and all(n in wanted for n in needed), f"{key[1]}: {library.name} "
                        f"needs WPILib's debug libraries ({', '.join(needed)}) and no release one",
                        f"needs {needed}")
                continue
            symbols = library.with_name(library.name + ".debug")
            link = run([objdump, "-s", "-j", ".gnu_debuglink", str(library)]).stdout
            c.check(".debug_info" not in names and ".symtab" not in names,
                    f"{key[1]}: {library.name} is stripped", f"sections {sorted(names)}")
            c.check(".debug_info" in sections(objdump, symbols) and symbols.name[:12] in link,
                    f"{key[1]}: its debug symbols are beside it ({symbols.name}), linked by "
                    ".gnu_debuglink")


def check_windows_library(c, classifier, dll, debug):
    image = PeImage(dll)
    c.check(image.machine == IMAGE_FILE_MACHINE_AMD64, f"{classifier}: {dll.name} is a PE image "
            "for AMD64", f"machine {image.machine:#06x}")
    imports = image.imports()
    problems = forbidden_imports(imports)
    wpilib = sorted(d for d in imports if d.lower() in WPILIB_DLLS)
    c.check(not problems and wpilib, f"{classifier}: {dll.name} imports Windows' DLLs and from "
            f"WPILib's ({', '.join(wpilib)}) plain C functions only: it loads beside WPILib's "
            "MSVC-built DLLs", f"{problems[:10]}")
    named = [d for d in wpilib if d.lower().endswith("d.dll") == debug]
    c.check(named == wpilib, f"{classifier}: {dll.name} imports WPILib's "
            f"{'debug' if debug else 'release'} DLLs", f"{wpilib}")
    c.check(image.export_name() == dll.name, f"{classifier}: {dll.name}'s own name (its export "
            "directory's) is its file name", f"{image.export_name()!r}")
    readobj = tool("llvm-readobj", "llvm-readobj-14")
    lib = dll.with_suffix(".lib")
    if readobj:
        dll_names = {d for d, _ in import_library_members(readobj, lib)}
        c.check(dll_names == {dll.name}, f"{classifier}: {lib.name} imports from {dll.name}, "
                "the file beside it", f"members name {sorted(dll_names)}")
    objdump = tool("x86_64-w64-mingw32-objdump")
    if objdump:
        names = sections(objdump, dll)
        stripped = not any(n.startswith(".debug") for n in names)
        c.check(stripped != debug, f"{classifier}: {dll.name} is "
                f"{'whole, with its debug information' if debug else 'stripped'}",
                f"sections {sorted(names)}")
    exported = [e for e in dll_imports_and_exports(objdump, dll)[1]] if objdump else []
    frc = defined_frc_symbols(exported)
    c.check(not frc, f"{classifier}: {dll.name} exports no symbol in frc::", f"{frc[:5]}")


def check_windows(c, found, windows_build, windows_debug_build, scratch, use_wine):
    if (LIBRARY, "windowsx86-64") not in found:
        c.check(False, "Windows: the windowsx86-64 zip is there")
        return
    binaries = unpack(found[(LIBRARY, "windowsx86-64")], scratch / "windows")
    shared = binaries / "windows/x86-64/shared"
    dll, lib = shared / "HalvernDriver.dll", shared / "HalvernDriver.lib"

    objdump = tool("x86_64-w64-mingw32-objdump", "objdump")
    imports, exports = dll_imports_and_exports(objdump, dll)
    c.check(len(imports) > 0 and len(exports) > 0, "Windows: objdump reads the DLL's imports "
            "and exports", f"{len(imports)} imports, {len(exports)} exports")
    runtime = [d for d in imports if CXX_RUNTIME_DLL.match(d)]
    c.check(not runtime, "Windows: HalvernDriver.dll imports no C++ runtime DLL", f"{runtime}")

    readobj = tool("llvm-readobj", "llvm-readobj-14")
    if not c.check(readobj is not None, "Windows: llvm-readobj is there (package llvm)"):
        return
    members = import_library_members(readobj, lib)
    dll_names = {d for d, _ in members}
    in_lib = {n for _, n in members}
    c.check(dll_names == {"HalvernDriver.dll"}, "Windows: HalvernDriver.lib is an MSVC-format "
            "import library of HalvernDriver.dll", f"members name {sorted(dll_names)}")
    plain = [e for e in exports if e not in CXX_TYPED_EXPORTS]
    missing = [e for e in plain if e not in in_lib]
    c.check(not missing and any(e.startswith("c_") for e in in_lib) and
            any(e.startswith("Java_") for e in in_lib),
            f"Windows: HalvernDriver.lib lists the DLL's {len(plain)} plain C and JNI exports",
            f"missing {missing[:10]}")
    c.check(in_lib <= set(exports), "Windows: HalvernDriver.lib lists nothing the DLL does not "
            "export", f"{sorted(in_lib - set(exports))[:10]}")
    leaked = sorted(set(CXX_TYPED_EXPORTS) & in_lib)
    c.check(not leaked, "Windows: HalvernDriver.lib leaves out the exports returning C++ types",
            f"{leaked}")
    variants = [v for v in CXX_TYPED_EXPORTS.values() if v not in in_lib]
    c.check(not variants, "Windows: HalvernDriver.lib lists their C-friendly variants",
            f"missing {variants}")

    check_msvc_consumer(c, shared, windows_build, scratch, use_wine)
    if (LIBRARY, "windowsx86-64debug") not in found:
        return
    if not (windows_debug_build / "bin/wpiHald.dll").is_file():
        c.skip(f"Windows debug: the program on the debug zip (no Debug build in "
               f"{windows_debug_build})")
        return
    debug_shared = unpack(found[(LIBRARY, "windowsx86-64debug")], scratch / "windows-debug") / \
        "windows/x86-64/shared"
    check_msvc_consumer(c, debug_shared, windows_debug_build, scratch, use_wine, debug=True)


def check_msvc_consumer(c, shared, windows_build, scratch, use_wine, debug=False):
    """A program built as MSVC builds it, linked against the zip's HalvernDriver.lib in `shared`
    and run under Wine beside the zip's DLL and `windows_build`'s platform DLLs (their debug
    names for the debug zip, whose DLL needs those)."""
    where = "Windows debug" if debug else "Windows"
    clang = tool("clang", "clang-14")
    lld_link = tool("lld-link", "lld-link-14")
    dlltool = tool("llvm-dlltool", "llvm-dlltool-14")
    if not c.check(clang and lld_link and dlltool, f"{where}: clang, lld-link and llvm-dlltool "
                   "are there (packages clang-14, lld, llvm)"):
        return
    work = scratch / ("msvc-debug" if debug else "msvc")
    work.mkdir(parents=True, exist_ok=True)
    (work / "kernel32.def").write_text("LIBRARY KERNEL32.dll\nEXPORTS\n    ExitProcess\n")
    steps = [
        [dlltool, "-m", "i386:x86-64", "-D", "KERNEL32.dll", "-d", str(work / "kernel32.def"),
         "-l", str(work / "kernel32.lib")],
        [clang, "--target=x86_64-pc-windows-msvc", "-O1", "-c", str(HERE / "msvc_consumer.c"),
         "-o", str(work / "consumer.obj")],
        [lld_link, "/nologo", "/entry:start", "/subsystem:console", "/nodefaultlib",
         f"/out:{work / 'consumer.exe'}", str(work / "consumer.obj"),
         str(shared / "HalvernDriver.lib"), str(work / "kernel32.lib")],
    ]
    for step in steps:
        done = run(step)
        if done.returncode != 0:
            c.check(False, f"{where}: a program built as MSVC builds it links against "
                    "HalvernDriver.lib", f"{' '.join(step)}: {(done.stdout + done.stderr)[-2000:]}")
            return
    c.check(True, f"{where}: a program built as MSVC builds it links against "
            "HalvernDriver.lib")
    if not use_wine:
        print(f"skipped {where}: running it under Wine (--no-wine)")
        return

    wine = tool("wine")
    if debug:  # the Debug build of the stand-ins has the DLLs the library imports
        names = sorted(d for d in PeImage(shared / "HalvernDriver.dll").imports()
                       if d.lower() in WPILIB_DLLS)
    else:
        names = ["wpiHal.dll", "wpiutil.dll", "wpinet.dll"]
    platform_dlls = [windows_build / "bin" / n for n in names]
    if not c.check(wine is not None and all(p.is_file() for p in platform_dlls),
                   f"{where}: wine and {windows_build}'s {', '.join(names)} are there"):
        return
    run_dir = work / "run"
    run_dir.mkdir(exist_ok=True)
    for source in [shared / "HalvernDriver.dll", work / "consumer.exe", *platform_dlls]:
        shutil.copy2(source, run_dir / source.name)
    environment = dict(os.environ, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    try:
        ran = run([wine, "consumer.exe"], cwd=run_dir, env=environment, timeout=300,
                  stdin=subprocess.DEVNULL)
        c.check(ran.returncode == 0, f"{where}: under Wine it loads HalvernDriver.dll from the zip "
                "and every call answers as documented",
                f"exit code {ran.returncode} (bits: 1 c_getRawValue, 2 c_Serial_findDevicePath, "
                f"4 c_Ordex_create) {(ran.stdout + ran.stderr)[-1000:]}")
    except subprocess.TimeoutExpired:
        c.check(False, f"{where}: the program ran under Wine", "timed out")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", type=Path, default=ROOT / "build/default",
                        help="the Linux build whose vendordep target ran (default build/default)")
    parser.add_argument("--windows-build", type=Path, default=ROOT / "build/windows",
                        help="the Windows build, for its platform DLLs (default build/windows)")
    parser.add_argument("--debug-build", type=Path, default=ROOT / "build/debug",
                        help="the Linux Debug build, whose stand-in libraries carry WPILib's debug "
                        "names, to run programs against the debug zip (default build/debug)")
    parser.add_argument("--windows-debug-build", type=Path, default=ROOT / "build/windows-debug",
                        help="the Windows Debug build, whose stand-in DLLs carry WPILib's debug "
                        "names, to run a program against the debug zip (default "
                        "build/windows-debug)")
    parser.add_argument("--no-wine", action="store_true",
                        help="link the MSVC-built program but do not run it under Wine")
    parser.add_argument("--wpilib", type=Path, default=None,
                        help="an unpacked WPILib for Linux (lib/, include/hal/, ...) to check the "
                        "simulators on WPILib's own HAL")
    parser.add_argument("--years", default="2026,2027",
                        help="the vendordeps to check, of 2026 and 2027 (default both)")
    parser.add_argument("--wpilib-2027", type=Path, default=None,
                        help="an unpacked WPILib 2027 for Linux x86-64, which the 2027 vendordep's "
                        "libraries must resolve against (scripts/test-vendordep.sh names the one "
                        "it unpacked)")
    parser.add_argument("--build-2027", type=Path, default=ROOT / "build/wpilib-2027",
                        help="the build against WPILib 2027 the 2027 vendordep ships from "
                        "(default build/wpilib-2027)")
    parser.add_argument("--arm64-stubs", type=Path,
                        default=ROOT / "build/linuxarm64-2027/wpilib-prefix/lib",
                        help="the aarch64 link stubs of WPILib 2027's libraries, to run the "
                        "linuxarm64 library under qemu-user")
    args = parser.parse_args()
    build, windows_build = args.build.resolve(), args.windows_build.resolve()
    years = [y for y in args.years.split(",") if y]
    unknown = [y for y in years if y not in SEASONS]
    if unknown:
        parser.error(f"--years: no vendordep for {unknown} (2026, 2027)")

    c = Checker()
    version = project_version()
    if "2026" in years:
        season = SEASONS["2026"]
        json_path, repo = season.json_path(build), season.repo(build)
        if c.check(json_path.is_file(), f"{json_path} is there (run the vendordep target)"):
            data = check_json(c, json_path, version, season)
            if data is not None:
                with tempfile.TemporaryDirectory(prefix="vendordep-check-") as scratch:
                    found = check_repository(c, repo, data)
                    check_linux_elf(c, found, season, ["libwpiHal.so", "libwpiutil.so",
                                                       "libwpinet.so"], Path(scratch))
                    check_built_libraries(c, found, season, Path(scratch))
                    debug_libs = args.debug_build.resolve() / "lib"
                    check_linux(c, found, build / "lib", Path(scratch),
                                debug_libs if (debug_libs / "libwpiHald.so").is_file() else None)
                    compiler = os.environ.get("CXX") or tool("c++", "g++")
                    check_linux_simulation(c, found, build, compiler, Path(scratch),
                                           args.wpilib and args.wpilib.resolve())
                    if (debug_libs / "libwpiHald.so").is_file():
                        zips = [unpack(found[(a, "headers")], Path(scratch) / f"debug-{a}")
                                for a in (SIMULATORS, LIBRARY) if (a, "headers") in found]
                        standin = [ROOT / "hal/include", ROOT / "wpiutil/include"]
                        includes = [f"-I{folder}" for folder in [*zips, *standin]]
                        check_simulation_debug(c, found, includes, debug_libs, compiler,
                                               Path(scratch), "Linux simulation")
                    else:
                        c.skip(f"Linux simulation debug: no Debug build in {args.debug_build}")
                    check_windows(c, found, windows_build, args.windows_debug_build.resolve(),
                                  Path(scratch), not args.no_wine)
    if "2027" in years:
        c.prefix = "2027 "
        with tempfile.TemporaryDirectory(prefix="vendordep-2027-check-") as scratch:
            check_season_2027(c, build, version, args, Path(scratch))
        c.prefix = ""
    print(f"vendordep: {c.passed} passed, {c.failed} failed")
    return 1 if c.failed else 0


if __name__ == "__main__":
    sys.exit(main())
