#!/usr/bin/env bash
# Builds the libraries that the static Qt links in place of its own copies
# (tools/windows/bundled-libraries.txt: zlib, libpng, FreeType, HarfBuzz,
# PCRE2) as static libraries for 64-bit Windows, each from Debian 12's source
# at its pinned revision with Debian's patches, and installs them into PREFIX
# (lib/ and include/). The unpacked sources stay in WORK, where the notices
# read their licence files.
#   tools/windows/build-qt-libraries.sh PREFIX WORK MAPPED_WORK
# Compiled code names WORK as MAPPED_WORK, so that it is the same wherever it
# is built. Everything goes to standard error; apt needs deb-src entries.
set -euo pipefail
SCRIPT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
readonly SCRIPT_DIR
readonly LIBRARY_TABLE="$SCRIPT_DIR/bundled-libraries.txt"
readonly TRIPLET=x86_64-w64-mingw32
readonly TOOLCHAIN_FILE="$SCRIPT_DIR/../../cmake/mingw-w64-x86_64.cmake"

log() { echo "build-qt-libraries: $*" >&2; }
die() { log "$*"; exit 1; }

[ $# -eq 3 ] || die "usage: build-qt-libraries.sh PREFIX WORK MAPPED_WORK"
prefix=$1 work=$2 mapped_work=$3
compile_flags="-O2 -ffile-prefix-map=$work=$mapped_work"

# Runs a build step with its output in LOG; on failure shows LOG's end.
run_logged() {
    local step_log=$1
    shift
    "$@" >>"$step_log" 2>&1 || { tail -n 30 "$step_log" >&2; die "$* failed; the whole log is $step_log"; }
}

# The source folder of a library, unpacked by apt-get source at its revision.
fetch_source() {
    local source_package=$1 revision=$2
    (cd "$work" && apt-get source -qq "$source_package=$revision" >/dev/null 2>&1) \
        || die "apt-get source $source_package=$revision failed: Debian's archive no longer serves that revision, or apt has no deb-src entries"
    local upstream=${revision#*:}
    upstream=${upstream%-*}
    local folder="$work/$source_package-$upstream"
    [ -d "$folder" ] || die "apt-get source $source_package=$revision did not unpack into $folder"
    echo "$folder"
}

cmake_library() {
    local source=$1 build_log=$2
    shift 2
    run_logged "$build_log" cmake -S "$source" -B "$source/quoril-build" \
        -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN_FILE" -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_C_FLAGS="$compile_flags" -DCMAKE_CXX_FLAGS="$compile_flags" \
        -DBUILD_SHARED_LIBS=OFF "$@"
    run_logged "$build_log" cmake --build "$source/quoril-build" -j "$(nproc)" --verbose
    run_logged "$build_log" cmake --install "$source/quoril-build"
}

build_zlib() {
    local source=$1 build_log=$2
    (cd "$source" && CHOST=$TRIPLET CC="$TRIPLET-gcc-posix" CFLAGS="$compile_flags" \
        run_logged "$build_log" ./configure --static --prefix="$prefix")
    run_logged "$build_log" make -C "$source" -j "$(nproc)" libz.a
    run_logged "$build_log" make -C "$source" install
}

build_libpng() {
    cmake_library "$1" "$2" -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF \
        -DZLIB_INCLUDE_DIR="$prefix/include" -DZLIB_LIBRARY="$prefix/lib/libz.a"
}

# Only what Qt's font engine reads: no compressed fonts but gzip, no colour
# bitmaps through libpng, no shaping of its own.
build_freetype() {
    cmake_library "$1" "$2" -DFT_REQUIRE_ZLIB=ON -DFT_DISABLE_BZIP2=ON -DFT_DISABLE_PNG=ON \
        -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON \
        -DZLIB_INCLUDE_DIR="$prefix/include" -DZLIB_LIBRARY="$prefix/lib/libz.a"
}

# The 16-bit library Qt's regular expressions use, with the JIT as in the
# copy Qt carries.
build_pcre2() {
    cmake_library "$1" "$2" -DPCRE2_BUILD_PCRE2_8=OFF -DPCRE2_BUILD_PCRE2_16=ON -DPCRE2_SUPPORT_JIT=ON \
        -DPCRE2_BUILD_PCRE2GREP=OFF -DPCRE2_BUILD_TESTS=OFF
}

# Shaping alone: Qt hands it the font tables itself.
build_harfbuzz() {
    local source=$1 build_log=$2 cross_file="$1/quoril-cross.ini"
    cat >"$cross_file" <<EOF
[binaries]
c = '$TRIPLET-gcc-posix'
cpp = '$TRIPLET-g++-posix'
ar = '$TRIPLET-ar'
strip = '$TRIPLET-strip'
windres = '$TRIPLET-windres'

[built-in options]
c_args = ['-O2', '-ffile-prefix-map=$work=$mapped_work']
cpp_args = ['-O2', '-ffile-prefix-map=$work=$mapped_work']

[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
EOF
    run_logged "$build_log" meson setup "$source/quoril-build" "$source" --cross-file "$cross_file" \
        --prefix "$prefix" --libdir lib --buildtype release --default-library static \
        -Dglib=disabled -Dgobject=disabled -Dcairo=disabled -Dchafa=disabled -Dicu=disabled \
        -Dgraphite2=disabled -Dfreetype=disabled -Dgdi=disabled -Ddirectwrite=disabled \
        -Dtests=disabled -Dintrospection=disabled -Ddocs=disabled -Dbenchmark=disabled
    run_logged "$build_log" ninja -v -C "$source/quoril-build"
    run_logged "$build_log" ninja -C "$source/quoril-build" install
}

mkdir -p "$prefix" "$work"
# zlib first: libpng and FreeType link it.
while read -r name source_package revision _; do
    case $name in ''|'#'*) continue ;; esac
    log "building $name from Debian's $source_package $revision"
    source=$(fetch_source "$source_package" "$revision")
    "build_$name" "$source" "$work/$name-build.log"
done <"$LIBRARY_TABLE"
