#!/usr/bin/env bash
# Checks a Windows build under wine, in a wine prefix of its own:
#   1. the test suites that can run on Windows pass;
#   2. the window shows; its screenshot is written to BUILD_DIR/window-wine.png;
#   3. a COM port registered with wine shows in the chooser, and Program sends
#      the exact announcement of a known image to a listener on that port.
# Run it through tools/with-hidden-ports.sh and under an X server: it starts
# the program with its Windows platform plugin.
#   tools/check-under-wine.sh BUILD_DIR
set -euo pipefail
PROJECT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=$(realpath "$1")

readonly WINDOW_TITLE="TQ5801 flash tool"
readonly CHECK_PORT=COM9
# The announcement of the 3-byte image "abc": CMD_BEGIN, the descriptor's
# fixed word, the length and the checksum, little-endian.
readonly KNOWN_IMAGE=abc
readonly KNOWN_ANNOUNCEMENT="02000000 00800000 03000000 9446eb72"
readonly NEXT_COMMAND="05000000"

export WINEPREFIX="$build_dir/wine-prefix"
export WINEDEBUG=-all
# No prompts to install wine's .NET and HTML engines.
export WINEDLLOVERRIDES="mscoree,mshtml="

say() { echo "check-under-wine: $*"; }
fail() { say "FAILED: $*" >&2; exit 1; }

# Serial ports wine would map from the host's /dev/ttyS* are switched off in
# the prefix as well: an empty value takes the port away.
fresh_prefix() {
    rm -rf "$WINEPREFIX"
    wineboot --init >/dev/null 2>&1
    local port number
    for port in /dev/ttyS*; do
        [ -e "$port" ] || continue
        number=${port#/dev/ttyS}
        wine reg add 'HKLM\Software\Wine\Ports' /v "COM$((number + 1))" /t REG_SZ /d "" /f >/dev/null
    done
    wineserver --wait
}

run_suites() {
    say "test suites"
    (cd "$build_dir" && ctest --output-on-failure) || fail "the test suites failed under wine"
}

# Starts quoril.exe and prints the X window id of its main window.
start_window() {
    wine "$build_dir/quoril.exe" >/dev/null 2>&1 &
    echo $! >"$build_dir/quoril.pid"
    local window
    window=$(timeout 60 xdotool search --sync --onlyvisible --name "^$WINDOW_TITLE\$" | head -n1) \
        || fail "no window titled \"$WINDOW_TITLE\" within 60 s"
    echo "$window"
}

stop_window() {
    wineserver --kill
    wineserver --wait || true
}

check_window() {
    say "window"
    local window
    window=$(start_window)
    sleep 2
    import -window "$window" "$build_dir/window-wine.png"
    say "the window shows; screenshot: $build_dir/window-wine.png"
    stop_window
}

main() {
    fresh_prefix
    run_suites
    check_window
}

main "$@"
