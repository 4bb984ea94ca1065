#!/usr/bin/env python3
"""Records, beside a finished static Qt, what its notices are made from, while
the sources it was built from are still there:

  compiled-objects.json every object compiled for Windows, with the source and
                        header files its compile read (from the .d file beside
                        it), as qtbase/..., qtserialport/...
  qt-attributions.json  Qt's own record of the third-party code in its sources
                        (qtattributionsscanner), with each licence text
  licence-headers.json  the licence that each compiled Qt file's header names,
                        with one header's text for each licence
  sources.json          each source package and its revision
  texts/                the licence files and Debian copyright files of Qt and
                        of the libraries built beside it

  tools/windows/record_qt_sources.py WORK OUTPUT

WORK is the static Qt's work folder: the unpacked qtbase and qtserialport, their
build folders, and libraries/ with the libraries' sources.
"""
import json
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from bundled_libraries import read_table

# The programs qmake and the host tools are built for the build machine, and
# configure's tests are thrown away: neither goes into a Windows binary.
NOT_SHIPPED_FOLDERS = ("qmake/", "src/tools/", "config.tests/")
LICENCE_TAG = re.compile(r"\$QT_BEGIN_LICENSE:([A-Z0-9-]+)\$")
# The comment that opens a Qt source file: its copyright and its licence.
LICENCE_HEADER = re.compile(r"^/\*{10,}\n(.*?)\n\*{10,}/", re.S)


def source_folders(work):
    """The unpacked Qt modules, by the short name the record uses."""
    folders = {}
    for entry in work.iterdir():
        if entry.is_dir() and entry.name.startswith("qtbase-"):
            folders["qtbase"] = entry.resolve()
        elif entry.is_dir() and entry.name.startswith("qtserialport-everywhere-src-"):
            folders["qtserialport"] = entry.resolve()
    missing = {"qtbase", "qtserialport"} - folders.keys()
    if missing:
        sys.exit(f"record_qt_sources: {work} holds no source of {', '.join(sorted(missing))}")
    return folders


def short_path(path, folders):
    """PATH as module/relative path, or None outside the modules' sources."""
    for name, folder in folders.items():
        if path == folder or folder in path.parents:
            return f"{name}/{path.relative_to(folder).as_posix()}"
    return None


def dependency_files(build_folder):
    for dependency in build_folder.rglob("*.d"):
        relative = dependency.relative_to(build_folder).as_posix()
        if not relative.startswith(NOT_SHIPPED_FOLDERS):
            yield dependency


def read_dependencies(dependency):
    """The files a .d lists, resolved from the folder its compile ran in: the
    nearest folder above it with a Makefile."""
    compile_folder = dependency.parent
    while not (compile_folder / "Makefile").exists():
        compile_folder = compile_folder.parent
    text = dependency.read_text(errors="replace").replace("\\\n", " ")
    _, _, files = text.partition(": ")
    for name in files.split():
        yield (compile_folder / name).resolve()


def compiled_objects(work, folders):
    """Each object, as the build folder's path of it, with the files it read."""
    objects = {}
    for build_folder in (work / "qtbase-build", work / "qtserialport-build"):
        for dependency in dependency_files(build_folder):
            files = {short_path(path, folders) for path in read_dependencies(dependency)}
            objects[dependency.with_suffix(".o").relative_to(work).as_posix()] = sorted(filter(None, files))
    if not objects:
        sys.exit(f"record_qt_sources: no .d files under {work}; was Qt compiled with -MD?")
    return objects


def attributions(folders):
    entries = []
    for name, folder in folders.items():
        scanned = subprocess.run(
            ["qtattributionsscanner", "--output-format", "json", "--silent", str(folder)],
            check=True, capture_output=True, text=True).stdout
        for entry in json.loads(scanned or "[]"):
            path = Path(entry["Path"])
            entry["Path"] = short_path(path, folders)
            if entry["LicenseFile"]:
                # A few name their licence file relative to their own folder.
                licence = Path(entry["LicenseFile"])
                if not licence.is_absolute():
                    licence = (path if path.is_dir() else path.parent) / licence
                licence = licence.resolve()
                entry["LicenseFile"] = short_path(licence, folders)
                entry["LicenseText"] = licence.read_text(errors="replace")
            entries.append(entry)
    return sorted(entries, key=lambda entry: (entry["Path"], entry["Id"]))


def licence_headers(compiled, folders):
    headers = {}
    for name in compiled:
        module, _, relative = name.partition("/")
        text = (folders[module] / relative).read_text(errors="replace")
        tag = LICENCE_TAG.search(text)
        if not tag:
            continue
        entry = headers.setdefault(tag.group(1), {"files": [], "text": ""})
        entry["files"].append(name)
        if not entry["text"]:
            header = LICENCE_HEADER.search(text)
            entry["text"] = re.sub(r"^\*\*( |$)", "", header.group(1), flags=re.M) if header else ""
    return headers


def changelog_version(folder):
    return subprocess.run(["dpkg-parsechangelog", "-l", str(folder / "debian/changelog"), "-S", "Version"],
                          check=True, capture_output=True, text=True).stdout.strip()


def copy_text(source, target):
    target.parent.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(source, target)


def record_sources_and_texts(work, folders, output):
    """Each source's package and revision; copies the licence texts."""
    texts = output / "texts"
    sources = {"qtbase": {"package": "qtbase-opensource-src", "revision": changelog_version(folders["qtbase"])},
               "qtserialport": {"tarball": folders["qtserialport"].name + ".tar.xz"}}
    for name, folder in folders.items():
        copy_text(folder / "LICENSE.LGPL3", texts / name / "LICENSE.LGPL3")
    copy_text(folders["qtbase"] / "debian/copyright", texts / "qtbase/debian/copyright")
    for library in read_table():
        folder = work / "libraries" / library.source_folder_name
        recorded = changelog_version(folder)
        if recorded != library.revision:
            sys.exit(f"record_qt_sources: {folder} holds revision {recorded}, not {library.revision}")
        sources[library.name] = {"package": library.source_package, "revision": recorded}
        for item in library.licence_files + ("debian/copyright",):
            copy_text(folder / item, texts / library.name / item)
    return sources


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: record_qt_sources.py WORK OUTPUT")
    work, output = Path(sys.argv[1]).resolve(), Path(sys.argv[2])
    folders = source_folders(work)
    objects = compiled_objects(work, folders)
    compiled = sorted(set().union(*objects.values()))
    output.mkdir(parents=True, exist_ok=True)
    write_json(output / "compiled-objects.json", objects)
    write_json(output / "qt-attributions.json", attributions(folders))
    write_json(output / "licence-headers.json", licence_headers(compiled, folders))
    write_json(output / "sources.json", record_sources_and_texts(work, folders, output))


def write_json(path, data):
    path.write_text(json.dumps(data, indent=1, sort_keys=True) + "\n")


if __name__ == "__main__":
    main()
