# Shared by the project's scripts: installs what is missing from Debian's
# packages, then configures and builds. Sourced, not run.
#   install_missing_packages PACKAGE...
#   prepare BUILD_DIR TARGET [CMAKE_ARGS...]    TARGET "all" builds everything

BUILD_PACKAGES=(cmake make g++ qtbase5-dev libqt5serialport5-dev)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_missing_packages() {
    local missing=()
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
            || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}

prepare() {
    local build_dir=$1 target=$2
    shift 2
    install_missing_packages "${BUILD_PACKAGES[@]}"
    cmake -S "$PROJECT_DIR" -B "$build_dir" "$@"
    cmake --build "$build_dir" --target "$target" -j "$(nproc)"
}
