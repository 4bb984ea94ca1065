#!/usr/bin/env bash
# Rebuilds the committed checkout elsewhere and checks that it gives the very
# bytes in dist/: a clone of HEAD in a folder of another name, built later,
# under another time zone and umask, without SOURCE_DATE_EPOCH set (the build
# scripts take the last commit's time). Every artifact the rebuild writes into
# its dist/ is compared with the one of the same name in this checkout's dist/;
# on a mismatch it says what differs.
#   tools/check-reproducible.sh BUILD_COMMAND [ARG...]
# for example: tools/check-reproducible.sh ./package.sh
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: ${0##*/} BUILD_COMMAND [ARG...], run in the checkout whose dist/ is compared" >&2; exit 2; }
PROJECT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
REBUILD_TZ=Pacific/Kiritimati
REBUILD_UMASK=0027

git -C "$PROJECT_DIR" diff --quiet HEAD \
    || { echo "the checkout has uncommitted changes, so dist/ was not built from HEAD: commit them first" >&2; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
rebuild="$scratch/quoril-rebuilt-elsewhere"
# Cloned and built under the other umask, as a person with it would.
(
    umask "$REBUILD_UMASK"
    git clone --quiet "$PROJECT_DIR" "$rebuild"
    cd "$rebuild"
    env -u SOURCE_DATE_EPOCH TZ="$REBUILD_TZ" "$@"
)

# Unpacks an archive's members and lists their names, modes, owners and times.
unpack() {
    local file=$1 into=$2
    mkdir -p "$into"
    case "$file" in
        *.deb)
            dpkg-deb --raw-extract "$file" "$into/tree"
            { dpkg-deb --ctrl-tarfile "$file" | tar -tv --full-time
              dpkg-deb --fsys-tarfile "$file" | tar -tv --full-time; } > "$into/listing" ;;
        *.zip)
            unzip -q "$file" -d "$into/tree"
            zipinfo -l "$file" > "$into/listing" ;;
        *) return 1 ;;
    esac
}

# Says what differs between two artifacts of the same name.
show_difference() {
    local ours=$1 theirs=$2
    if command -v diffoscope >/dev/null; then
        diffoscope "$ours" "$theirs" || true
        return
    fi
    cmp "$ours" "$theirs" || true
    local where="$scratch/compare/${ours##*/}"
    if unpack "$ours" "$where/dist" && unpack "$theirs" "$where/rebuilt"; then
        diff "$where/dist/listing" "$where/rebuilt/listing" || true
        diff -r "$where/dist/tree" "$where/rebuilt/tree" || true
        echo "(Debian's diffoscope-minimal shows the differing bytes inside each file)"
    fi
}

mismatches=0
compared=0
for theirs in "$rebuild"/dist/*; do
    name=${theirs##*/}
    [ "$name" != SHA256SUMS ] || continue
    ours="$PROJECT_DIR/dist/$name"
    compared=$((compared + 1))
    if [ ! -f "$ours" ]; then
        echo "dist/$name: the rebuild made it, this checkout's dist/ lacks it" >&2
        mismatches=$((mismatches + 1))
    elif cmp -s "$ours" "$theirs"; then
        echo "dist/$name: identical, sha256 $(sha256sum < "$ours" | cut -d' ' -f1)"
    else
        echo "dist/$name differs from its rebuild:" >&2
        show_difference "$ours" "$theirs" >&2
        mismatches=$((mismatches + 1))
    fi
done
[ "$compared" -gt 0 ] || { echo "the rebuild wrote nothing into dist/" >&2; exit 1; }
[ "$mismatches" -eq 0 ]
