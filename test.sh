#!/usr/bin/env bash
# Installs what is missing, builds the flashing tool and runs its whole test suite.
#   ./test.sh             the suite
#   ./test.sh --sanitize  the suite built with AddressSanitizer and UBSan
set -euo pipefail
PROJECT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$PROJECT_DIR/tools/prepare.sh"

# The install check validates the desktop files and makes a .deb.
install_missing_packages desktop-file-utils appstream dpkg-dev

build_dir="$PROJECT_DIR/build"
cmake_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
    build_dir="$PROJECT_DIR/build-sanitize"
    cmake_args=(-DCMAKE_BUILD_TYPE=Debug -DQUORIL_SANITIZE=ON)
fi

prepare "$build_dir" all "${cmake_args[@]}"
cd "$build_dir"
ctest --output-on-failure
