#!/usr/bin/env bash
# Installs what is missing, builds the flashing tool, packs it as a .deb, checks
# the package as Debian checks its own, and publishes it into dist/ with its
# CycloneDX bill of materials (quoril_<version>_<arch>.cdx.json), ready for:
#   sudo apt-get install ./dist/quoril_<version>_<arch>.deb
# Settings (environment):
#   CYCLONEDX_SCHEMA_DIR  CycloneDX's 1.6 JSON schemas, to validate the bill of
#                         materials against (without it, it is not validated)
set -euo pipefail
PROJECT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$PROJECT_DIR/tools/prepare.sh"

# dpkg-shlibdeps, which reads the package's dependencies off the executable;
# lintian and hardening-check (devscripts), which check the package; the
# validator of its bill of materials.
install_missing_packages dpkg-dev lintian devscripts python3-jsonschema

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
version=$(dpkg-deb -f "$deb" Version)
bom="${deb%.deb}.cdx.json"
"$PROJECT_DIR/tools/write_sbom.py" "$deb" "$version" "$bom" --depends "$(dpkg-deb -f "$deb" Depends)"
validate_boms "$bom"
publish_to_dist "$deb" "$bom"
echo "$PROJECT_DIR/dist/${deb##*/}"
echo "$PROJECT_DIR/dist/${bom##*/}"
