#!/usr/bin/env bash
# Installs what is missing, builds the flashing tool and packs it as a .deb
# into dist/, ready for: sudo apt-get install ./dist/quoril_<version>_<arch>.deb
set -euo pipefail
PROJECT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$PROJECT_DIR/tools/prepare.sh"

# dpkg-shlibdeps, which reads the package's dependencies off the executable.
install_missing_packages dpkg-dev

build_dir="$PROJECT_DIR/build-package"
prepare "$build_dir" quoril -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
(cd "$build_dir" && cpack -G DEB -B "$build_dir/packages")
mkdir -p "$PROJECT_DIR/dist"
cp "$build_dir"/packages/*.deb "$PROJECT_DIR/dist/"
ls "$PROJECT_DIR"/dist/*.deb
