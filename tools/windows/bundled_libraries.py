"""The libraries the static Qt links in place of its own copies, as
bundled-libraries.txt pins them."""
from pathlib import Path
from typing import NamedTuple

TABLE = Path(__file__).with_name("bundled-libraries.txt")


class Library(NamedTuple):
    name: str
    source_package: str
    revision: str
    licence_files: tuple
    licence: str

    @property
    def upstream_version(self):
        """1.2.13 of 1:1.2.13.dfsg-1: no epoch, no Debian revision, no repack suffix."""
        version = self.revision.partition(":")[2] or self.revision
        return version.rsplit("-", 1)[0].split("+")[0].replace(".dfsg", "")

    @property
    def source_folder_name(self):
        """The folder apt-get source unpacks it into."""
        version = self.revision.partition(":")[2] or self.revision
        return f"{self.source_package}-{version.rsplit('-', 1)[0]}"


def read_table():
    libraries = []
    for line in TABLE.read_text().splitlines():
        if not line.strip() or line.startswith("#"):
            continue
        name, package, revision, files, licence = line.split(None, 4)
        libraries.append(Library(name, package, revision, tuple(files.split(",")), licence.strip()))
    return libraries
