# Shared by the project's scripts: installs what is missing from Debian's
# packages, then configures and builds. Sourced, not run.
#   install_missing_packages PACKAGE...
#   prepare BUILD_DIR TARGET [CMAKE_ARGS...]    TARGET "all" builds everything
#   publish_to_dist FILE...                     into dist/, with dist/SHA256SUMS
#   validate_boms FILE...                       against CycloneDX's schemas

BUILD_PACKAGES=(cmake make g++ qtbase5-dev libqt5serialport5-dev)

# Builds of the same commit are the same bytes: tools that stamp a time (ld,
# strip, rcc, dpkg-deb, makensis) take this one instead of the clock.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git -C "${BASH_SOURCE[0]%/*}" rev-parse --git-dir >/dev/null 2>&1; then
    SOURCE_DATE_EPOCH=$(git -C "${BASH_SOURCE[0]%/*}" log -1 --format=%ct)
    export SOURCE_DATE_EPOCH
fi

# Copies built artifacts into dist/ and lists every artifact there in
# dist/SHA256SUMS, so that a download can be checked with sha256sum -c.
publish_to_dist() {
    local dist="$PROJECT_DIR/dist"
    mkdir -p "$dist"
    cp "$@" "$dist/"
    (cd "$dist" && find . -maxdepth 1 -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort \
        | xargs -r sha256sum > SHA256SUMS)
}

# Validates bills of materials against the CycloneDX schemas in
# CYCLONEDX_SCHEMA_DIR, or says that they are not validated.
validate_boms() {
    if [ -z "${CYCLONEDX_SCHEMA_DIR:-}" ]; then
        echo "Not validating ${*##*/}: set CYCLONEDX_SCHEMA_DIR to a folder with CycloneDX's 1.6 JSON schemas"
        return 0
    fi
    "$PROJECT_DIR/tools/validate_sbom.py" "$CYCLONEDX_SCHEMA_DIR" "$@"
}

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
    # Waits for another package manager run to finish instead of failing on its lock.
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o DPkg::Lock::Timeout=600 "${missing[@]}"
}

prepare() {
    local build_dir=$1 target=$2
    shift 2
    install_missing_packages "${BUILD_PACKAGES[@]}"
    cmake -S "$PROJECT_DIR" -B "$build_dir" "$@"
    cmake --build "$build_dir" --target "$target" -j "$(nproc)"
}
