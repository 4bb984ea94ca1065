#!/usr/bin/env bash
# Builds a static Qt (qtbase and qtserialport) for 64-bit Windows with Debian's
# mingw-w64 cross compilers, once, into a cache outside the checkout, and
# prints the folder it lives in. A second run with the same Qt version,
# configure options and compiler finds the finished build and only prints the
# folder.
#
#   tools/windows/build-static-qt.sh
#
# Settings (environment):
#   QT_SERIALPORT_SOURCE  an upstream qtserialport-everywhere-src-5.15.8 tarball,
#                         for where Debian's archive does not serve that source
#   QUORIL_CACHE_DIR      where the build is kept (default ~/.cache/quoril)
#
# Everything but the printed folder goes to standard error.
set -euo pipefail
SCRIPT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
readonly SCRIPT_DIR
source "$SCRIPT_DIR/../prepare.sh"

readonly QT_VERSION=5.15.8
readonly CROSS_PREFIX=x86_64-w64-mingw32-
# What the build leaves in quoril.exe is the same wherever and whenever it is
# built: QtCore keeps this prefix (the files go into the cache through
# -extprefix), source and build paths are mapped to one folder name, and the
# compiler's date macros read this fixed time.
readonly QT_BUILT_IN_PREFIX=/opt/quoril-qt-$QT_VERSION
readonly QT_MAPPED_WORK_DIR=/usr/src/quoril-qt-$QT_VERSION
readonly QT_SOURCE_DATE_EPOCH=1672531200
# Where in the build the notices find which sources went in, and their licences.
readonly QT_SOURCES_RECORD=share/quoril-sources
readonly QT_CONFIGURE_OPTIONS=(
    -prefix "$QT_BUILT_IN_PREFIX"
    -xplatform win32-g++ -device-option "CROSS_COMPILE=$CROSS_PREFIX"
    -release -opensource -confirm-license -static -static-runtime
    -nomake examples -nomake tests
    -no-opengl -no-dbus -no-icu -no-fontconfig -no-openssl -no-direct2d -no-vulkan
    -no-feature-sql -no-feature-network -no-feature-xml -no-feature-concurrent -no-feature-printer
    # Debian's source drops the Wintab headers this feature needs.
    -no-feature-tabletevent
    # The libraries Qt would carry copies of, built from Debian's patched
    # sources instead (build-qt-libraries.sh); no host library may slip in.
    -system-zlib -system-libpng -no-libjpeg -system-freetype -system-harfbuzz -system-pcre -no-pkg-config
    # The PCRE2 library is static: no DLL imports in its header.
    -D PCRE2_STATIC
)

log() { echo "build-static-qt: $*" >&2; }
die() { log "$*"; exit 1; }

# The cache key: the Qt version, the options and the compiler, so that a change
# to any of them builds afresh beside the old build instead of reusing it.
# The libraries' revisions and how they are built, and how the sources that
# went in are recorded, are part of it too.
cache_key() {
    { echo "$QT_VERSION"; printf '%s\n' "${QT_CONFIGURE_OPTIONS[@]}" "$QT_MAPPED_WORK_DIR" "$QT_SOURCE_DATE_EPOCH"
      "${CROSS_PREFIX}g++-posix" --version | head -n1
      cat "$SCRIPT_DIR/bundled-libraries.txt" "$SCRIPT_DIR/build-qt-libraries.sh" \
          "$SCRIPT_DIR/record_qt_sources.py" "$SCRIPT_DIR/bundled_libraries.py"; } \
        | sha256sum | cut -c1-12
}

ensure_source_entries() {
    if grep -Eqsr --include='*.list' --include='*.sources' '^(deb-src|Types:.*deb-src)' \
        /etc/apt/sources.list /etc/apt/sources.list.d/; then
        return 0
    fi
    local entry=/etc/apt/sources.list.d/quoril-deb-src.sources
    log "apt has no source entries; adding Debian's main archive as $entry"
    as_root tee "$entry" >/dev/null <<'EOF'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    as_root apt-get update -qq >&2
}

# Unpacks Debian's source of a Qt module (with Debian's patches) into the
# current folder and prints the unpacked folder.
debian_source() {
    local package=$1
    apt-get source -qq "$package" >&2 || return 1
    local folder
    folder=$(find . -maxdepth 1 -type d -name "${package}-${QT_VERSION}*" | head -n1)
    [ -n "$folder" ] || die "apt-get source $package did not unpack Qt $QT_VERSION"
    echo "$folder"
}

# qmake assignments that map the work folder's paths in compiled code, and
# that have every compile list the files it read (.d beside each object),
# for the notices of what went in.
compile_assignments() {
    local work=$1
    echo "QMAKE_CFLAGS+=-ffile-prefix-map=$work=$QT_MAPPED_WORK_DIR -MD"
    echo "QMAKE_CXXFLAGS+=-ffile-prefix-map=$work=$QT_MAPPED_WORK_DIR -MD"
}

build_qtbase() {
    local prefix=$1 work=$2
    (
        cd "$work"
        local source
        source=$(debian_source qtbase-opensource-src) || die "could not fetch Debian's qtbase $QT_VERSION source"
        source=$(realpath "$source")
        mkdir -p qtbase-build && cd qtbase-build
        log "configuring qtbase (a few minutes)"
        local compile_flags
        mapfile -t compile_flags < <(compile_assignments "$work")
        "$source/configure" -extprefix "$prefix" "${QT_CONFIGURE_OPTIONS[@]}" -I "$prefix/include" -L "$prefix/lib" "${compile_flags[@]}" >configure.log 2>&1 \
            || { tail -n 40 configure.log >&2; die "qtbase configure failed; the whole log is $PWD/configure.log"; }
        log "building qtbase (a quarter of an hour on two cores)"
        make -j "$(nproc)" >make.log 2>&1 || { tail -n 40 make.log >&2; die "qtbase build failed; see $PWD/make.log"; }
        make install >install.log 2>&1 || { tail -n 40 install.log >&2; die "qtbase install failed"; }
    )
}

unpack_qtserialport() {
    if [ -n "${QT_SERIALPORT_SOURCE:-}" ]; then
        tar -xf "$QT_SERIALPORT_SOURCE"
        find . -maxdepth 1 -type d -name "qtserialport-everywhere-src-${QT_VERSION}" | head -n1
        return
    fi
    debian_source qtserialport-opensource-src \
        || die "could not fetch Debian's qtserialport $QT_VERSION source; set QT_SERIALPORT_SOURCE to an upstream qtserialport-everywhere-src-$QT_VERSION tarball"
}

build_qtserialport() {
    local prefix=$1 work=$2
    (
        cd "$work"
        local source
        source=$(unpack_qtserialport)
        [ -n "$source" ] || die "the qtserialport source holds no qtserialport-everywhere-src-$QT_VERSION folder"
        # A source tree that is not a release package lacks its forwarding
        # headers; a .git entry makes qmake generate them with syncqt.
        [ -e "$source/include" ] || touch "$source/.git"
        mkdir -p qtserialport-build && cd qtserialport-build
        local compile_flags
        mapfile -t compile_flags < <(compile_assignments "$work")
        log "building qtserialport"
        { "$prefix/bin/qmake" "${compile_flags[@]}" "$(realpath "../$source")" && make -j "$(nproc)" && make install; } >build.log 2>&1 \
            || { tail -n 40 build.log >&2; die "qtserialport build failed; see $PWD/build.log"; }
    )
}

main() {
    command -v "${CROSS_PREFIX}g++-posix" >/dev/null \
        || die "${CROSS_PREFIX}g++-posix is missing; install the Debian package g++-mingw-w64-x86-64-posix"

    if [ -n "${QT_SERIALPORT_SOURCE:-}" ]; then
        [ -f "$QT_SERIALPORT_SOURCE" ] || die "QT_SERIALPORT_SOURCE names $QT_SERIALPORT_SOURCE, which is not a file"
        # The build unpacks it from a folder of its own.
        QT_SERIALPORT_SOURCE=$(realpath "$QT_SERIALPORT_SOURCE")
    fi

    local cache_dir=${QUORIL_CACHE_DIR:-$HOME/.cache/quoril}
    local prefix
    prefix="$cache_dir/qt-$QT_VERSION-win64-static-$(cache_key)"
    if [ -f "$prefix/.complete" ]; then
        log "reusing the static Qt in $prefix"
        echo "$prefix"
        return
    fi

    local work="$prefix.work"
    rm -rf "$prefix" "$work"
    mkdir -p "$work"
    # The path as the compiler sees it, for the path maps.
    work=$(realpath "$work")
    export SOURCE_DATE_EPOCH=$QT_SOURCE_DATE_EPOCH
    local started=$SECONDS
    ensure_source_entries
    "$SCRIPT_DIR/build-qt-libraries.sh" "$prefix" "$work/libraries" "$QT_MAPPED_WORK_DIR/libraries"
    build_qtbase "$prefix" "$work"
    build_qtserialport "$prefix" "$work"
    "$SCRIPT_DIR/record_qt_sources.py" "$work" "$prefix/$QT_SOURCES_RECORD" \
        || die "could not record which sources went into the static Qt; the build stays in $work"
    touch "$prefix/.complete"
    rm -rf "$work"
    log "static Qt built in $(( (SECONDS - started) / 60 )) min $(( (SECONDS - started) % 60 )) s: $prefix"
    echo "$prefix"
}

main "$@"
