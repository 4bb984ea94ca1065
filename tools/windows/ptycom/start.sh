#!/usr/bin/env bash
# Registers the ptycom driver as a service in the wine prefix that WINEPREFIX
# names and starts it: the port PORT, on the pseudo-terminal PTY. With
# "stray", every read that returned bytes leaves a received-byte event behind
# (see ptycom.c). With "line-log LOG", DTR starts low, the device's bytes are
# dropped while it is low, and the driver appends every new state of DTR and
# RTS to the file LOG. A driver serves the terminal it started with until
# wine stops, so a wine still running in the prefix is stopped first. What
# wine says goes to WINE_LOG (default: none).
#   tools/windows/ptycom/start.sh DRIVER.sys PORT PTY [stray | line-log LOG]
set -euo pipefail
# shellcheck source=tools/windows/report-errors.sh
source "$(dirname "${BASH_SOURCE[0]}")/../report-errors.sh"
readonly SERVICE=ptycom
driver=$1 port=$2 pty=$3
stray=0 line_log=""
case "${4:-}" in
    "") ;;
    stray) stray=1 ;;
    line-log) line_log=${5:?start.sh: line-log needs the file the driver logs the lines to} ;;
    *) echo "start.sh: unknown mode $4; stray or line-log LOG" >&2; exit 1 ;;
esac

[ -n "${WINEPREFIX:-}" ] || { echo "start.sh: set WINEPREFIX to the wine prefix the driver goes into" >&2; exit 1; }
[ -f "$driver" ] || { echo "start.sh: there is no driver at $driver; build it with tools/windows/ptycom/build.sh" >&2; exit 1; }
[ -c "$pty" ] || { echo "start.sh: $pty is not a terminal" >&2; exit 1; }

wine_log=${WINE_LOG:-/dev/null}
echo "start.sh: $port on $pty" >>"$wine_log"
wineserver --kill >>"$wine_log" 2>&1 || true
wineserver --wait >>"$wine_log" 2>&1
image_path=$(winepath -w "$driver")
# wine's service manager reads the services when wine starts: a new one is
# registered through it. Type kernel driver, started on demand, a failure to
# start reported.
wine sc query "$SERVICE" >>"$wine_log" 2>&1 \
    || wine sc create "$SERVICE" type= kernel start= demand error= normal binpath= "$image_path" >>"$wine_log" 2>&1

registration=$(mktemp --suffix=.reg)
trap 'rm -f "$registration"' EXIT
cat >"$registration" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\$SERVICE]
"ImagePath"="${image_path//\\/\\\\}"
"PortName"="$port"
"PtyPath"="$pty"
"StrayRxChar"=dword:0000000$stray
"LineLog"="$line_log"
REG
# Its own step: a failure inside regedit's arguments would go unnoticed.
registration_path=$(winepath -w "$registration")
wine regedit /S "$registration_path" >>"$wine_log" 2>&1
wine net start "$SERVICE" >>"$wine_log" 2>&1 \
    || { echo "start.sh: the $SERVICE driver did not start; WINEDEBUG=+ntoskrnl shows why" >&2; print_wine_log_tail; exit 1; }
