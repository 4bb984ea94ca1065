#!/usr/bin/python3
"""Reads back what Windows takes from quoril.exe itself: the icon that
Explorer and the taskbar show, the version strings of Properties > Details,
the system calls that keep a flash on screen and on pace, the protections
Windows applies when it loads it (ASLR, high-entropy ASLR, NX), and that
every DLL it imports at load time is one of Windows' KnownDLLs, which are
never looked for beside the executable; the others are delay-loaded.

    tools/windows/check_executable.py QUORIL_EXE VERSION

Prints what it found; exits non-zero, saying what is wrong, if anything is.

    tools/windows/check_executable.py --not-known QUORIL_EXE

Prints the DLLs it imports or delay-loads that are not KnownDLLs, one a line.
"""
import re
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


# Windows 10's KnownDLLs (HKLM\SYSTEM\CurrentControlSet\Control\Session
# Manager\KnownDLLs) and what is loaded before any program: Windows takes
# these from System32 only.
KNOWN_DLLS = {
    "advapi32.dll", "clbcatq.dll", "combase.dll", "comdlg32.dll", "coml2.dll", "difxapi.dll",
    "gdi32.dll", "gdiplus.dll", "imagehlp.dll", "imm32.dll", "kernel32.dll", "msctf.dll",
    "msvcrt.dll", "normaliz.dll", "nsi.dll", "ole32.dll", "oleaut32.dll", "psapi.dll",
    "rpcrt4.dll", "sechost.dll", "setupapi.dll", "shcore.dll", "shell32.dll", "shlwapi.dll",
    "user32.dll", "wldap32.dll", "ws2_32.dll", "ntdll.dll", "kernelbase.dll",
}
PROTECTIONS = {
    "ASLR": "IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE",
    "high-entropy ASLR": "IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA",
    "NX": "IMAGE_DLLCHARACTERISTICS_NX_COMPAT",
}
# A delay import descriptor begins with its attributes (1: addresses are
# RVAs) and the RVA of the DLL's name.
DELAY_DESCRIPTOR = struct.Struct("<IIIIIIII")
DELAY_RVA_ATTRIBUTE = 1


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


def c_string(image, rva):
    return image[rva:image.index(b"\0", rva)].decode()


def delay_imported_names(pe):
    """The DLLs and functions quoril.exe delay-loads. Debian's ld leaves the
    delay import directory entry empty, so pefile sees none: the descriptors
    are found instead through the DLL names they point at."""
    image = pe.get_memory_mapped_image()
    delayed = {}
    for name in re.finditer(rb"[A-Za-z0-9_-]+\.dll\0", image, re.IGNORECASE):
        at = image.find(struct.pack("<II", DELAY_RVA_ATTRIBUTE, name.start()))
        if at < 0:
            continue
        names_rva = DELAY_DESCRIPTOR.unpack_from(image, at)[4]
        functions = set()
        for thunk_rva in range(names_rva, len(image), 8):
            thunk = struct.unpack_from("<Q", image, thunk_rva)[0]
            if not thunk:
                break
            if not thunk >> 63:
                # A hint, then the name.
                functions.add(c_string(image, thunk + 2))
        delayed[name.group()[:-1].decode().lower()] = functions
    return delayed


def not_known(pe):
    return sorted((set(imported_names(pe)) | set(delay_imported_names(pe))) - KNOWN_DLLS)


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

    for protection, flag in PROTECTIONS.items():
        on = bool(pe.OPTIONAL_HEADER.DllCharacteristics & pefile.DLL_CHARACTERISTICS[flag])
        print(f"{protection}: {'on' if on else 'off'}")
        if not on:
            problems.append(f"{protection} is off")

    load_time = imported_names(pe)
    delayed = delay_imported_names(pe)
    print(f"imported at load time: {sorted(load_time)}")
    print(f"delay-loaded: {sorted(delayed)}")
    for dll in sorted(set(load_time) - KNOWN_DLLS):
        problems.append(f"{dll} is imported at load time but is no KnownDLL: Windows would look for it beside the executable")
    for dll, names in IMPORTS.items():
        found = (load_time.get(dll, set()) | delayed.get(dll, set())) & names
        print(f"imports from {dll}: {sorted(found)}")
        if found != names:
            problems.append(f"{dll} does not provide {sorted(names - found)}")

    for problem in problems:
        print(f"check_executable: {path}: {problem}", file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    if sys.argv[1] == "--not-known":
        print("\n".join(not_known(pefile.PE(sys.argv[2]))))
        sys.exit(0)
    sys.exit(main(*sys.argv[1:3]))
