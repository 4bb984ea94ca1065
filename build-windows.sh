#!/usr/bin/env bash
# Builds quoril.exe for 64-bit Windows on Debian 12, checks it under wine and
# publishes into dist/ (with dist/SHA256SUMS):
#   quoril-<version>-win64.zip        one self-contained executable, a text
#                                     about it and the program's source
#   quoril-<version>-win64-setup.exe  a per-user installer of the same files
#   *.cdx.json                        each one's CycloneDX bill of materials
# Both are the same bytes from every build of a commit (tools/prepare.sh sets
# SOURCE_DATE_EPOCH to its time).
#
# The first run builds a static Qt from source (about a quarter of an hour on
# two cores) and keeps it under ~/.cache/quoril; later runs reuse it and take
# a few minutes, most of them the checks under wine.
# Settings (environment):
#   QT_SERIALPORT_SOURCE    an upstream qtserialport-everywhere-src-5.15.8 tarball,
#                           for where Debian's archive does not serve that source
#   QUORIL_CACHE_DIR        where the static Qt is kept
#   CYCLONEDX_SCHEMA_DIR    CycloneDX's 1.6 JSON schemas, to validate the bills
#                           of materials against (without it, they are not)
#   QUORIL_SKIP_WINE_CHECK  1: no checks under wine, for a rebuild that is only
#                           compared byte for byte with an earlier one
set -euo pipefail
PROJECT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$PROJECT_DIR/tools/prepare.sh"

build_dir="$PROJECT_DIR/build-windows"
# A copy stamped one patch version newer, for the installer check's upgrade.
newer_build_dir="$PROJECT_DIR/build-windows-newer"
started=$SECONDS

install_missing_packages cmake make g++ git g++-mingw-w64-x86-64-posix dpkg-dev xz-utils nsis fakeroot fonts-dejavu-core \
    wine wine64 xvfb xauth xdotool imagemagick python3 python3-pefile python3-jsonschema unzip \
    meson ninja-build qtattributionsscanner-qt5

# The zip carries the program's source, taken from git.
git -C "$PROJECT_DIR" rev-parse --git-dir >/dev/null 2>&1 \
    || { echo "build-windows.sh packs the program's source with git: run it in a git checkout" >&2; exit 1; }

qt_prefix=$("$PROJECT_DIR/tools/windows/build-static-qt.sh")

# From scratch: what an earlier build generated holds that build's
# SOURCE_DATE_EPOCH (the resources' times) and settings.
rm -rf "$build_dir" "$newer_build_dir"
# The source that goes beside the executable: the checkout as it is now,
# uncommitted changes to tracked files included.
mkdir -p "$build_dir"
version=$(sed -n 's/^project(quoril VERSION \([0-9.]*\).*/\1/p' "$PROJECT_DIR/CMakeLists.txt")
source_archive="$build_dir/quoril-$version-source.tar.gz"
snapshot=$(git -C "$PROJECT_DIR" stash create)
git -C "$PROJECT_DIR" archive --format=tar.gz --prefix="quoril-$version/" \
    -o "$source_archive" "${snapshot:-HEAD}"

cmake_options=(
    -DCMAKE_TOOLCHAIN_FILE="$PROJECT_DIR/cmake/mingw-w64-x86_64.cmake"
    -DCMAKE_PREFIX_PATH="$qt_prefix"
    -DCMAKE_BUILD_TYPE=Release
    -DQUORIL_SOURCE_ARCHIVE="$source_archive"
)
# The test suites run in the checks under wine only.
[ "${QUORIL_SKIP_WINE_CHECK:-}" != 1 ] || cmake_options+=(-DBUILD_TESTING=OFF)
cmake -S "$PROJECT_DIR" -B "$build_dir" "${cmake_options[@]}" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$PROJECT_DIR/tools/windows/wine-qtest.sh"
cmake --build "$build_dir" -j "$(nproc)"

rm -rf "$build_dir/packages"
# The zip holds SOURCE_DATE_EPOCH as local time and each file's owner: UTC
# and root for every builder.
(cd "$build_dir" && TZ=UTC fakeroot cpack -G ZIP -B "$build_dir/packages")
zip_file=$(ls "$build_dir"/packages/*-win64.zip)
cmake --build "$build_dir" --target installer
installer="$build_dir/quoril-$version-win64-setup.exe"

# What is checked is the executable as shipped, stripped, from the zip.
rm -rf "$build_dir/shipped"
unzip -q -j "$zip_file" '*/quoril.exe' -d "$build_dir/shipped"
"$PROJECT_DIR/tools/windows/check_executable.py" "$build_dir/shipped/quoril.exe" "$version"
"$PROJECT_DIR/tools/windows/check_bundled_versions.py" "$build_dir/shipped/quoril.exe"

if [ "${QUORIL_SKIP_WINE_CHECK:-}" != 1 ]; then
    IFS=. read -r major minor patch <<<"$version"
    newer_version="$major.$minor.$((patch + 1))"
    cmake -S "$PROJECT_DIR" -B "$newer_build_dir" "${cmake_options[@]}" \
        -DBUILD_TESTING=OFF -DQUORIL_STAMP_VERSION="$newer_version"
    cmake --build "$newer_build_dir" --target installer -j "$(nproc)"

    # The COM port driver that the wine check flashes through.
    "$PROJECT_DIR/tools/windows/ptycom/build.sh" "$build_dir/ptycom.sys"
    "$PROJECT_DIR/tools/windows/with-hidden-ports.sh" \
        xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24" \
        "$PROJECT_DIR/tools/windows/check-under-wine.sh" "$build_dir" "$build_dir/shipped/quoril.exe"
    "$PROJECT_DIR/tools/windows/with-hidden-ports.sh" \
        xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24" \
        "$PROJECT_DIR/tools/windows/check-installer-under-wine.sh" "$build_dir" "$installer" \
        "$newer_build_dir/quoril-$newer_version-win64-setup.exe"
fi

# A bill of materials beside each, from the list the notices were written from.
boms=()
for artifact in "$zip_file" "$installer"; do
    bom="${artifact%.*}.cdx.json"
    "$PROJECT_DIR/tools/write_sbom.py" "$artifact" "$version" "$bom" \
        --components "$build_dir/third-party-components.json"
    boms+=("$bom")
done
validate_boms "${boms[@]}"

publish_to_dist "$zip_file" "$installer" "${boms[@]}"
echo "Built in $(( (SECONDS - started) / 60 )) min $(( (SECONDS - started) % 60 )) s:"
for artifact in "$zip_file" "$installer" "${boms[@]}"; do
    echo "$PROJECT_DIR/dist/${artifact##*/}"
done
