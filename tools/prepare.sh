# Shared by run.sh and test.sh: installs what is missing from Debian's
# packages, then configures and builds. Sourced, not run.
#   prepare BUILD_DIR [CMAKE_ARGS...]

PACKAGES=(cmake make g++ qtbase5-dev libqt5serialport5-dev)

install_missing_packages() {
    local missing=()
    local package
    for package in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
            || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}"
}

prepare() {
    local build_dir=$1
    shift
    install_missing_packages
    cmake -S "$PROJECT_DIR" -B "$build_dir" "$@"
    cmake --build "$build_dir" -j "$(nproc)"
}
