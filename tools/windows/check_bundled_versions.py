#!/usr/bin/python3
"""Reads back from quoril.exe the version that each bundled library states in
it, as a security scanner reads them, and fails on any older than the
revision that tools/windows/bundled-libraries.txt pins:

  tools/windows/check_bundled_versions.py QUORIL_EXE

Every library but FreeType, which states no version in the binary, must be
found.
"""
import re
import sys
from pathlib import Path

from bundled_libraries import read_table

# What each library leaves in the binary, with its version as the first group.
VERSION_STATEMENTS = {
    "zlib": [rb" deflate (\d+\.\d+\.\d+) Copyright", rb" inflate (\d+\.\d+\.\d+) Copyright"],
    "libpng": [rb"libpng version (\d+\.\d+\.\d+)"],
    "pcre2": [rb"\x00(\d+\.\d+) (\d{4}-\d\d-\d\d)\x00"],
    # hb_version_string()'s, among the strings of the file that defines it.
    "harfbuzz": [rb"\x00(\d+\.\d+\.\d+)\x00(?=[\s\S]{0,32}hb-common\.cc)"],
}


def version_key(text):
    return tuple(int(part) for part in text.split("."))


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: check_bundled_versions.py QUORIL_EXE")
    binary = Path(sys.argv[1]).read_bytes()
    problems = []
    for library in read_table():
        statements = VERSION_STATEMENTS.get(library.name)
        if statements is None:
            print(f"{library.name}: states no version in the binary; pinned {library.upstream_version}")
            continue
        found = sorted({match.group(0).strip(b"\0").decode() : match.group(1).decode()
                        for pattern in statements for match in re.finditer(pattern, binary)}.items())
        if not found:
            problems.append(f"{library.name}: the binary states no version, though it should")
        for statement, version in found:
            older = version_key(version) < version_key(library.upstream_version)
            print(f"{library.name}: \"{statement}\" {'OLDER THAN' if older else 'at least'} "
                  f"the pinned {library.upstream_version}")
            if older:
                problems.append(f"{library.name} {version} is older than the pinned {library.upstream_version}")
    if problems:
        sys.exit("check_bundled_versions: " + "; ".join(problems))


if __name__ == "__main__":
    main()
