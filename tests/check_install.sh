#!/usr/bin/env bash
# Installs a configured build into a scratch folder and checks what a user's
# system would get: the tool starts, its desktop entry and metainfo validate,
# and the .deb made from the same rules holds exactly the installed files.
#   tests/check_install.sh BUILD_DIR
set -euo pipefail
build_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root

DESTDIR=$root cmake --install "$build_dir" --prefix /usr >/dev/null

# Hints too: an entry without a main category lands in a catch-all menu.
hints=$(desktop-file-validate "$root"/usr/share/applications/*.desktop 2>&1) || { echo "$hints" >&2; exit 1; }
[ -z "$hints" ] || { echo "$hints" >&2; exit 1; }
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml

# Still running after a few seconds: it found its libraries and opened its window.
status=0
XDG_CONFIG_HOME=$scratch/config QT_QPA_PLATFORM=offscreen timeout 3 "$root/usr/bin/quoril" || status=$?
if [ "$status" -ne 124 ]; then
    echo "the installed quoril ended by itself with status $status" >&2
    exit 1
fi

(cd "$build_dir" && cpack -G DEB -B "$scratch/package" >/dev/null)
packaged=$(dpkg-deb --fsys-tarfile "$scratch"/package/*.deb | tar -t | grep -v '/$' | sed 's|^\./|/|' | sort)
installed=$(cd "$root" && find . -type f | sed 's|^\./|/|' | sort)
if [ "$packaged" != "$installed" ]; then
    diff <(echo "$packaged") <(echo "$installed") >&2 || true
    echo "the package's files differ from the installed tree (< package, > tree)" >&2
    exit 1
fi
