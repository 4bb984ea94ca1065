#!/usr/bin/env bash
# Installs what is missing, builds the flashing tool and starts it.
set -euo pipefail
PROJECT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$PROJECT_DIR/tools/prepare.sh"

prepare "$PROJECT_DIR/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "There is no display to show the window on; on a machine without one, run: xvfb-run ./run.sh (xvfb-run comes with the xvfb package)" >&2
    exit 1
fi
exec "$PROJECT_DIR/build/quoril" "$@"
