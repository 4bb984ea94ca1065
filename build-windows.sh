#!/usr/bin/env bash
# Builds quoril.exe for 64-bit Windows on Debian 12, checks it under wine and
# packs dist/quoril-<version>-win64.zip: one self-contained executable, a text
# about it and the program's source.
#
# The first run builds a static Qt from source (about a quarter of an hour on
# two cores) and keeps it under ~/.cache/quoril; later runs reuse it and take
# about four minutes, most of them the checks under wine.
# Settings (environment):
#   QT_SERIALPORT_SOURCE  an upstream qtserialport-everywhere-src-5.15.8 tarball,
#                         for where Debian's archive does not serve that source
#   QUORIL_CACHE_DIR      where the static Qt is kept
set -euo pipefail
PROJECT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$PROJECT_DIR/tools/prepare.sh"

build_dir="$PROJECT_DIR/build-windows"
started=$SECONDS

install_missing_packages cmake make g++ git g++-mingw-w64-x86-64-posix dpkg-dev xz-utils \
    wine wine64 xvfb xauth xdotool imagemagick python3 python3-pefile unzip

# The zip carries the program's source, taken from git.
git -C "$PROJECT_DIR" rev-parse --git-dir >/dev/null 2>&1 \
    || { echo "build-windows.sh packs the program's source with git: run it in a git checkout" >&2; exit 1; }

qt_prefix=$("$PROJECT_DIR/tools/windows/build-static-qt.sh")

# The source that goes beside the executable: the checkout as it is now,
# uncommitted changes to tracked files included.
mkdir -p "$build_dir"
version=$(sed -n 's/^project(quoril VERSION \([0-9.]*\).*/\1/p' "$PROJECT_DIR/CMakeLists.txt")
source_archive="$build_dir/quoril-$version-source.tar.gz"
snapshot=$(git -C "$PROJECT_DIR" stash create)
git -C "$PROJECT_DIR" archive --format=tar.gz --prefix="quoril-$version/" \
    -o "$source_archive" "${snapshot:-HEAD}"

cmake -S "$PROJECT_DIR" -B "$build_dir" \
    -DCMAKE_TOOLCHAIN_FILE="$PROJECT_DIR/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_PREFIX_PATH="$qt_prefix" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$PROJECT_DIR/tools/windows/wine-qtest.sh" \
    -DQUORIL_SOURCE_ARCHIVE="$source_archive"
cmake --build "$build_dir" -j "$(nproc)"
# The COM port driver that the wine check flashes through.
"$PROJECT_DIR/tools/windows/ptycom/build.sh" "$build_dir/ptycom.sys"

rm -rf "$build_dir/packages"
(cd "$build_dir" && cpack -G ZIP -B "$build_dir/packages")
zip_file=$(ls "$build_dir"/packages/*-win64.zip)

# What is checked under wine is the executable as shipped, stripped, from the zip.
rm -rf "$build_dir/shipped"
unzip -q -j "$zip_file" '*/quoril.exe' -d "$build_dir/shipped"
"$PROJECT_DIR/tools/windows/check_executable.py" "$build_dir/shipped/quoril.exe" "$version"
"$PROJECT_DIR/tools/windows/with-hidden-ports.sh" \
    xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24" \
    "$PROJECT_DIR/tools/windows/check-under-wine.sh" "$build_dir" "$build_dir/shipped/quoril.exe"

mkdir -p "$PROJECT_DIR/dist"
cp "$zip_file" "$PROJECT_DIR/dist/"
echo "Built in $(( (SECONDS - started) / 60 )) min $(( (SECONDS - started) % 60 )) s:"
echo "$PROJECT_DIR/dist/${zip_file##*/}"
