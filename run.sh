#!/usr/bin/env bash
# Installs what is missing, builds the flashing tool and starts it.
set -euo pipefail
PROJECT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$PROJECT_DIR/tools/prepare.sh"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "There is no display to show the window on; on a machine without one, run: xvfb-run ./run.sh (xvfb-run comes with the xvfb package)" >&2
    exit 1
fi

# Only the tool itself: the tests and the benchmark are test.sh's business.
prepare "$PROJECT_DIR/build" quoril -DCMAKE_BUILD_TYPE=RelWithDebInfo
exec "$PROJECT_DIR/build/quoril" "$@"
