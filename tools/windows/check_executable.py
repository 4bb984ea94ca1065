#!/usr/bin/python3
"""Reads back what Windows takes from quoril.exe itself: the icon that
Explorer and the taskbar show, the version strings of Properties > Details,
and the system calls that keep a flash on screen and on pace.

    tools/windows/check_executable.py QUORIL_EXE VERSION

Prints what it found; exits non-zero, saying what is wrong, if anything is.
"""
import struct
import sys

import pefile

ICON_SIZES = [16, 24, 32, 48, 64, 128, 256]
IMPORTS = {
    # Keeps the window from being swapped for a frozen copy during a flash.
    "user32.dll": {"DisableProcessWindowsGhosting"},
    # A fine timer tick for the length of a flash.
    "winmm.dll": {"timeBeginPeriod", "timeEndPeriod"},
}


def expected_strings(version):
    return {
        "CompanyName": "lumbo",
        "FileDescription": "TQ5801 flash tool",
        "ProductName": "quoril",
        "FileVersion": version,
        "ProductVersion": version,
        "OriginalFilename": "quoril.exe",
    }


def version_strings(pe):
    strings = {}
    for info in getattr(pe, "FileInfo", []):
        for entry in info:
            for table in getattr(entry, "StringTable", []):
                strings.update((key.decode(), value.decode()) for key, value in table.entries.items())
    return strings


def icon_sizes(pe):
    """The sizes in each icon group, 256 written as 0 in the file."""
    groups = []
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return groups
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id != pefile.RESOURCE_TYPE["RT_GROUP_ICON"]:
            continue
        for name in kind.directory.entries:
            for language in name.directory.entries:
                data = language.data.struct
                group = pe.get_data(data.OffsetToData, data.Size)
                count = struct.unpack_from("<H", group, 4)[0]
                groups.append(sorted(group[6 + 14 * i] or 256 for i in range(count)))
    return groups


def imported_names(pe):
    return {entry.dll.decode().lower(): {symbol.name.decode() for symbol in entry.imports if symbol.name}
            for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}


def main(path, version):
    pe = pefile.PE(path)
    problems = []

    groups = icon_sizes(pe)
    print(f"icon groups: {groups}")
    if ICON_SIZES not in groups:
        problems.append(f"no icon with the sizes {ICON_SIZES}")

    strings = version_strings(pe)
    print(f"version strings: {strings}")
    for key, value in expected_strings(version).items():
        if strings.get(key) != value:
            problems.append(f"{key} is {strings.get(key)!r}, not {value!r}")

    imports = imported_names(pe)
    for dll, names in IMPORTS.items():
        found = imports.get(dll, set()) & names
        print(f"imports from {dll}: {sorted(found)}")
        if found != names:
            problems.append(f"{dll} does not provide {sorted(names - found)}")

    for problem in problems:
        print(f"check_executable: {path}: {problem}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
