#!/usr/bin/env python3
"""Writes the third-party notices of quoril.exe and the list of what it
bundles, from what the static Qt recorded of its build (record_qt_sources.py)
and from the linker's map of quoril.exe:

  tools/windows/write_notices.py QT_PREFIX LINK_MAP VERSION NOTICES COMPONENTS

NOTICES is the text shipped beside quoril.exe: every component with its
version, licence, source, copyright lines and whole licence text. COMPONENTS
is the same as JSON, which the bills of materials are written from.

Fails when the executable holds code that no component covers: a library in
the link map that is not one of the components, a file of Qt's third-party
code that went in without Qt's attribution, or a Qt file that went in under
a licence the notices do not know.
"""
import json
import os
import re
import subprocess
import sys
from pathlib import Path

from bundled_libraries import read_table

RECORD = "share/quoril-sources"
DEBIAN = "Debian"
QT_SERIALPORT_DOWNLOADS = "https://download.qt.io/archive/qt/5.15/5.15.8/submodules/"
PUBLIC_SUFFIX_LIST_SOURCE = "https://publicsuffix.org/list/public_suffix_list.dat"
# The credit line that the FreeType licence asks of the documentation.
FREETYPE_CREDIT = ("Portions of this software are copyright (C) 2022 The FreeType Project "
                   "(www.freetype.org). All rights reserved.")
# Qt's files are under the LGPL-3 but for these header tags.
QT_LGPL_TAGS = {"LGPL"}
QT_BSD_TAG = "BSD"
# Qt 5.15.8 marks a few QtCore files, qcalendar.cpp among them, GPL: a slip
# that later Qt releases mend by marking the same files LGPL like the rest of
# QtCore.
QT_GPL_SLIP_TAG = "GPL"
# The Debian packages whose runtime the mingw-w64 toolchain links in, and the
# copyright file each installs.
MINGW_RUNTIME_PACKAGE = "mingw-w64-x86-64-dev"
MINGW_RUNTIME = "mingw-w64 runtime"
WINPTHREADS = "winpthreads"
GCC_RUNTIME = "GCC runtime libraries (libgcc, libstdc++, libssp)"
GCC_RUNTIME_PACKAGE = "gcc-mingw-w64-base"


def fail(message):
    sys.exit(f"write_notices: {message}")


def installed_source(package):
    """The Debian source package and version that an installed package comes from."""
    query = subprocess.run(["dpkg-query", "-W", "-f", "${source:Package} ${source:Version} ${Version}", package],
                           capture_output=True, text=True)
    if query.returncode != 0:
        fail(f"the Debian package {package} is not installed")
    return query.stdout.split()


def copyright_lines(text):
    return sorted({line.strip() for line in text.splitlines()
                   if re.match(r"\s*(Copyright|\(C\)|©)", line, re.I)})


def component(name, version, licence, source, texts, copyright=None, note="", purl=""):
    return {"name": name, "version": version, "licence": licence, "supplier": source["supplier"],
            "source": source["text"], "purl": purl, "note": note,
            "copyright": copyright if copyright is not None else copyright_lines("\n".join(texts.values())),
            "texts": texts}


def debian_source(package, revision):
    return {"supplier": DEBIAN,
            "text": f"Debian 12 source package {package} {revision} (apt-get source {package}={revision})"}


def debian_purl(package, revision):
    return f"pkg:deb/debian/{package}@{revision.replace(':', '%3A')}?arch=source&distro=debian-12"


class Record:
    """What the static Qt recorded of its build."""

    def __init__(self, qt_prefix):
        self.folder = Path(qt_prefix) / RECORD
        if not self.folder.is_dir():
            fail(f"{self.folder} is missing: the static Qt in {qt_prefix} was built without its record; "
                 "build it afresh with tools/windows/build-static-qt.sh")
        self.objects = self.read_json("compiled-objects.json")
        self.attributions = self.read_json("qt-attributions.json")
        self.headers = self.read_json("licence-headers.json")
        self.sources = self.read_json("sources.json")

    def read_json(self, name):
        return json.loads((self.folder / name).read_text())

    def text(self, path):
        return (self.folder / "texts" / path).read_text(errors="replace")


def attribution_files(entry):
    return [file for file in re.split(r"[\s,]+", entry["Files"]) if file]


def in_folder(entry, name):
    return name == entry["Path"] or name.startswith(entry["Path"] + "/")


def attribution_covers(entry, name):
    files = attribution_files(entry)
    return any(name == f"{entry['Path']}/{file}" for file in files) if files else in_folder(entry, name)


def linked_attributions(record, linked):
    """Qt's attributions for code in the executable: one of its files went
    in, or, for data compiled through generated code (the gradients' CSS,
    say), another file in its folder did."""
    chosen = []
    for entry in record.attributions:
        files = attribution_files(entry)
        data_only = files and all(not re.search(r"\.(c|cc|cpp|h|mm|macros)$", file) for file in files)
        if any(attribution_covers(entry, name) for name in linked) or (
                data_only and any(in_folder(entry, name) for name in linked)):
            chosen.append(entry)
    return chosen


def check_third_party_code_attributed(record, linked, attributions):
    # By folder: Qt's lists of an attribution's files leave out a header or
    # two (sha3's KeccakF-1600-int-set.h), which the folder's entry covers.
    for name in sorted(linked):
        if "/3rdparty/" in name and not any(in_folder(entry, name) for entry in attributions):
            fail(f"{name} went into quoril.exe, and no attribution of Qt's covers it")
    known = QT_LGPL_TAGS | {QT_BSD_TAG, QT_GPL_SLIP_TAG}
    for tag, entry in record.headers.items():
        files = linked.intersection(entry["files"])
        if files and tag not in known:
            fail(f"{min(files)} went into quoril.exe under the licence {tag}, which the notices do not know")


def qt_components(record, linked, attributions):
    qtbase = record.sources["qtbase"]
    lgpl = record.text("qtbase/LICENSE.LGPL3")
    slipped = linked.intersection(record.headers.get(QT_GPL_SLIP_TAG, {}).get("files", []))
    note = ""
    if slipped:
        note = ("These files of Qt Base 5.15.8 carry a GPL-3.0 header: " + ", ".join(sorted(slipped)) +
                ". They are part of QtCore, which Qt licenses under the LGPL-3.0, and later Qt releases "
                "mark the same files LGPL-3.0. They are distributed here as part of Qt Base under the LGPL-3.0.")
    components = [
        component("Qt Base", "5.15.8", "LGPL-3.0-only",
                  debian_source(qtbase["package"], qtbase["revision"]), {"LGPL-3.0": lgpl},
                  copyright=["Copyright (C) The Qt Company Ltd. and other contributors."], note=note,
                  purl=debian_purl(qtbase["package"], qtbase["revision"])),
        component("Qt Serial Port", "5.15.8", "LGPL-3.0-only",
                  {"supplier": "The Qt Company",
                   "text": QT_SERIALPORT_DOWNLOADS + record.sources["qtserialport"]["tarball"]},
                  {"LGPL-3.0": record.text("qtserialport/LICENSE.LGPL3")},
                  copyright=["Copyright (C) The Qt Company Ltd. and other contributors."],
                  purl="pkg:generic/qtserialport@5.15.8?download_url=" + QT_SERIALPORT_DOWNLOADS +
                       record.sources["qtserialport"]["tarball"]),
    ]
    bsd = record.headers.get(QT_BSD_TAG, {"files": []})
    bsd_files = linked.intersection(bsd["files"])
    if bsd_files:
        components.append(component(
            "Qt Base: files under the BSD licence", "5.15.8", "BSD-3-Clause",
            debian_source(qtbase["package"], qtbase["revision"]), {"BSD-3-Clause": bsd["text"]},
            note="Files: " + ", ".join(sorted(bsd_files)),
            purl=debian_purl(qtbase["package"], qtbase["revision"])))
    for entry in attributions:
        note = entry["QtUsage"]
        if entry["Id"] == "publicsuffix":
            note += f" Its source, under the MPL-2.0: {PUBLIC_SUFFIX_LIST_SOURCE}"
        # Qt states no version for some: theirs is the copy in Qt Base.
        components.append(component(
            f"{entry['Name']} (in Qt Base)", entry["Version"] or "as in Qt Base 5.15.8",
            entry["LicenseId"] or entry["License"],
            debian_source(qtbase["package"], qtbase["revision"]),
            {entry["License"]: entry.get("LicenseText") or f"{entry['License']}: the files state no other licence."},
            copyright=[line.strip() for line in entry["Copyright"].splitlines() if line.strip()],
            note=f"{note} Files: {entry['Path']}".strip(),
            purl=debian_purl(qtbase["package"], qtbase["revision"])))
    return components


def library_components(record):
    components = []
    for library in read_table():
        recorded = record.sources.get(library.name, {}).get("revision")
        if recorded != library.revision:
            fail(f"the static Qt was built with {library.name} {recorded}, not the pinned {library.revision}: "
                 "build it afresh with tools/windows/build-static-qt.sh")
        texts = {file: record.text(f"{library.name}/{file}") for file in library.licence_files}
        components.append(component(
            LIBRARIES[library.name][0], library.upstream_version, library.licence,
            debian_source(library.source_package, library.revision), texts,
            note=FREETYPE_CREDIT if library.name == "freetype" else "",
            purl=debian_purl(library.source_package, library.revision)))
    return components


def runtime_components():
    """The toolchain's runtime, as Debian's packages installed it here: the
    mingw-w64 version is its source's, GCC's is the compiler's own."""
    components = []
    for name, licence, package in (
            (MINGW_RUNTIME, "ZPL-2.1", MINGW_RUNTIME_PACKAGE),
            (WINPTHREADS, "MIT AND BSD-3-Clause", MINGW_RUNTIME_PACKAGE),
            (GCC_RUNTIME, "GPL-3.0-or-later WITH GCC-exception-3.1", GCC_RUNTIME_PACKAGE)):
        source_package, source_version, package_version = installed_source(package)
        upstream = package_version if name == GCC_RUNTIME else source_version
        text = Path(f"/usr/share/doc/{package}/copyright").read_text(errors="replace")
        components.append(component(
            name, upstream.split("-")[0], licence, debian_source(source_package, source_version),
            {f"Debian's copyright file of {package}": text},
            purl=debian_purl(source_package, source_version)))
    return components


# The libraries built beside Qt, by the table's names: the name the notices
# give each, and its archives.
LIBRARIES = {"zlib": ("zlib", {"libz.a"}), "libpng": ("libpng", {"libpng16.a", "libpng.a"}),
             "freetype": ("FreeType", {"libfreetype.a"}), "harfbuzz": ("HarfBuzz", {"libharfbuzz.a"}),
             "pcre2": ("PCRE2", {"libpcre2-16.a"})}


def owner_of(path, qt_prefix):
    """The component that a library or object the linker read belongs to."""
    name = Path(path).name
    if path.startswith(str(qt_prefix)):
        for display_name, archives in LIBRARIES.values():
            if name in archives:
                return display_name
        return "Qt Serial Port" if "SerialPort" in name else "Qt Base"
    if "/lib/gcc/x86_64-w64-mingw32/" in path:
        return GCC_RUNTIME
    if name in ("libwinpthread.a", "libpthread.a"):
        return WINPTHREADS
    if path.startswith("/usr/x86_64-w64-mingw32/lib/"):
        return MINGW_RUNTIME
    return None


class LinkMap:
    """What the linker's map of quoril.exe says went in."""

    def __init__(self, path):
        text = Path(path).read_text(errors="replace")
        self.members = {(os.path.normpath(archive), member)
                        for archive, member in re.findall(r"^(/\S+?\.a)\(([^)]+)\)", text, re.M)}
        self.objects = {os.path.normpath(name) for name in re.findall(r"^LOAD (/\S+?\.o(?:bj)?)$", text, re.M)}

    def inputs(self):
        """The archives it took members from, and the objects it loaded."""
        return sorted({archive for archive, _ in self.members} | self.objects)

    def qt_files(self, record, qt_prefix):
        """The source and header files of Qt's that went in: those of every
        object that Qt's archives gave (by the object's name)."""
        library_archives = set().union(*(archives for _, archives in LIBRARIES.values()))
        members = {member for archive, member in self.members
                   if archive.startswith(str(qt_prefix)) and Path(archive).name not in library_archives}
        linked = set()
        for obj, files in record.objects.items():
            if Path(obj).name in members:
                linked.update(files)
        if not linked:
            fail("the link map names no object of Qt's that the record knows: is it the map of quoril.exe?")
        return linked


def check_linked_inputs_covered(link_map, qt_prefix, components):
    names = {entry["name"] for entry in components}
    for path in link_map.inputs():
        if "/CMakeFiles/" in path or Path(path).name == "libquoril_window.a":
            continue
        owner = owner_of(path, qt_prefix)
        if owner not in names:
            fail(f"quoril.exe holds code from {path}, which no entry of the notices covers")


def write_notices(path, version, components):
    lines = [f"Third-party software in quoril.exe {version}", "=" * 60, "",
             "quoril.exe is one executable that holds, besides the program's own code, the",
             "components listed here. Each entry gives the component's version, its",
             "licence (as an SPDX identifier), where its source is, its copyright lines and",
             "the whole text of its licence. The same list, in machine-readable form, is",
             "the bill of materials published beside each download (*.cdx.json).", "",
             FREETYPE_CREDIT, "", "Contents", "--------"]
    lines += [f"{number:3}. {entry['name']} {entry['version']} ({entry['licence']})"
              for number, entry in enumerate(components, 1)]
    for number, entry in enumerate(components, 1):
        lines += ["", "", "-" * 78, f"{number}. {entry['name']} {entry['version']}", "-" * 78,
                  f"Licence: {entry['licence']}", f"Source:  {entry['source']}"]
        if entry["copyright"]:
            lines += ["Copyright:"] + [f"  {line}" for line in entry["copyright"]]
        if entry["note"]:
            lines += ["", entry["note"]]
        for title, text in entry["texts"].items():
            lines += ["", f"--- {title} ---", "", text.rstrip()]
    Path(path).write_text("\r\n".join(line.rstrip() for line in "\n".join(lines).splitlines()) + "\r\n")


def main():
    if len(sys.argv) != 6:
        sys.exit("usage: write_notices.py QT_PREFIX LINK_MAP VERSION NOTICES COMPONENTS")
    qt_prefix, link_map, version, notices, components_file = sys.argv[1:]
    qt_prefix = Path(qt_prefix).resolve()
    record = Record(qt_prefix)
    link_map = LinkMap(link_map)
    linked = link_map.qt_files(record, qt_prefix)
    attributions = linked_attributions(record, linked)
    check_third_party_code_attributed(record, linked, attributions)
    components = qt_components(record, linked, attributions) + library_components(record) + runtime_components()
    check_linked_inputs_covered(link_map, qt_prefix, components)
    write_notices(notices, version, components)
    for entry in components:
        del entry["texts"]
    Path(components_file).write_text(json.dumps({"components": components}, indent=1) + "\n")


if __name__ == "__main__":
    main()
