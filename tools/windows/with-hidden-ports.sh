#!/usr/bin/env bash
# Runs a command in a private mount namespace in which the host's serial
# ports are /dev/null, so that nothing it starts, wine included, can open one.
# This machine's /dev/ttyS0 is its console, and wine maps it to COM1.
#   tools/windows/with-hidden-ports.sh COMMAND [ARGS...]
set -euo pipefail

if [ "${QUORIL_PORTS_HIDDEN:-}" != 1 ]; then
    namespace=(--mount --propagation private)
    [ "$(id -u)" -eq 0 ] || namespace+=(--map-root-user)
    exec unshare "${namespace[@]}" env QUORIL_PORTS_HIDDEN=1 "$0" "$@"
fi

for port in /dev/ttyS* /dev/ttyUSB* /dev/ttyACM*; do
    [ -e "$port" ] && mount --bind /dev/null "$port"
done
exec "$@"
