#!/usr/bin/env bash
# Installs what is missing, builds the flashing tool, packs it as a .deb, checks
# the package as Debian checks its own, and publishes it into dist/, ready for:
#   sudo apt-get install ./dist/quoril_<version>_<arch>.deb
set -euo pipefail
PROJECT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$PROJECT_DIR/tools/prepare.sh"

# dpkg-shlibdeps, which reads the package's dependencies off the executable;
# lintian and hardening-check (devscripts), which check the package.
install_missing_packages dpkg-dev lintian devscripts

# The package's folders get the modes Debian expects whatever the builder's
# umask, as dpkg-buildpackage does.
umask 0022
build_dir="$PROJECT_DIR/build-package"
# From scratch: what a build tree kept from an earlier commit (rcc's stamp of
# that commit's time, for one) would make the package differ from a rebuild.
rm -rf "$build_dir"
prepare "$build_dir" quoril -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
(cd "$build_dir" && cpack -G DEB -B "$build_dir/packages")
deb=$(ls "$build_dir"/packages/*.deb)
"$PROJECT_DIR/tools/check-deb.sh" "$deb"
publish_to_dist "$deb"
echo "$PROJECT_DIR/dist/${deb##*/}"
