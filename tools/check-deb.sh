#!/usr/bin/env bash
# Checks a built .deb as Debian checks its own packages: lintian accepts it,
# and its executable carries Debian's hardening.
#   tools/check-deb.sh PACKAGE.deb
set -euo pipefail
deb=$1
for tool in lintian hardening-check; do
    command -v "$tool" >/dev/null || { echo "$tool is missing: install Debian's ${tool/hardening-check/devscripts} package" >&2; exit 1; }
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

lintian --fail-on error,warning --info "$deb"

dpkg-deb --extract "$deb" "$scratch"
# Control-flow protection needs markers that Debian 12's own libraries lack.
hardening-check --nocfprotection "$scratch/usr/bin/quoril"
