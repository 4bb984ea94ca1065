#!/usr/bin/env bash
# Checks a Windows build under wine, in a wine prefix of its own:
#   1. the test suites that can run on Windows pass;
#   2. the window shows (screenshot: BUILD_DIR/window-wine.png);
#   3. a COM port registered with wine is listed in the chooser, and Program
#      sends the exact announcement of a known image to a listener on it
#      (screenshot before Program: BUILD_DIR/serial-wine.png). If wine hands
#      the listener's answers back to the program, the whole flash is checked.
# Run it through tools/windows/with-hidden-ports.sh and under an X server: it starts
# the program with its Windows platform plugin and clicks it with xdotool.
#   tools/windows/check-under-wine.sh BUILD_DIR [QUORIL_EXE]    (default BUILD_DIR/quoril.exe)
set -euo pipefail
PROJECT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build_dir=$(realpath "$1")
program=$(realpath "${2:-$build_dir/quoril.exe}")
scratch="$build_dir/wine-check"

readonly WINDOW_TITLE="TQ5801 flash tool"
readonly LOAD_DIALOG_TITLE="Please choose a file"
readonly CHECK_PORT=COM9
# Where the window's controls are, from the form: the menu bar is 21 pixels
# high and the central widget's controls sit below it.
readonly LOAD_BUTTON_AT="367 52"
readonly PORT_CHOOSER_AT="134 92"
readonly PROGRAM_BUTTON_AT="267 92"
# The 3-byte image "abc" on the line, little-endian words: the announcement
# (CMD_BEGIN, the descriptor's fixed word, the length, the checksum), then
# CMD_SETUP with its parameter, the one data packet and CMD_END.
readonly KNOWN_IMAGE=abc
readonly KNOWN_ANNOUNCEMENT="02000000 00800000 03000000 9446eb72"
readonly KNOWN_REST="05000000 1200000000000000 03000000 03000000 616263 04000000"
readonly ANNOUNCEMENT=${KNOWN_ANNOUNCEMENT// /}
readonly WHOLE_FLASH=$ANNOUNCEMENT${KNOWN_REST// /}

export WINEPREFIX="$scratch/prefix"
export WINEDEBUG=-all
# No prompts to install wine's .NET and HTML engines.
export WINEDLLOVERRIDES="mscoree,mshtml="

say() { echo "check-under-wine: $*"; }
fail() { say "FAILED: $*" >&2; exit 1; }

listener_pid=""
cleanup() {
    wineserver --kill 2>/dev/null || true
    [ -z "$listener_pid" ] || kill "$listener_pid" 2>/dev/null || true
}
trap cleanup EXIT

run_suites() {
    say "test suites"
    (cd "$build_dir" && ctest --output-on-failure) || fail "the test suites failed under wine"
}

# Starts a listener on a pseudo-terminal and registers it with wine as CHECK_PORT.
start_listener() {
    rm -f "$scratch/received.bin" "$scratch/listener.out"
    python3 "$PROJECT_DIR/tools/windows/serial_listener.py" "$scratch/received.bin" >"$scratch/listener.out" &
    listener_pid=$!
    disown
    local waited
    for waited in $(seq 50); do
        [ -s "$scratch/listener.out" ] && break
        sleep 0.1
    done
    listener_port=$(head -n1 "$scratch/listener.out")
    [ -c "$listener_port" ] || fail "the listener did not open a pseudo-terminal"
    wine reg add 'HKLM\Software\Wine\Ports' /v "$CHECK_PORT" /t REG_SZ /d "$listener_port" /f >/dev/null
    # Wine reads its ports when the wineserver starts.
    wineserver --kill
    wineserver --wait
}

# Every other COM port wine made must be one of the host's hidden ports, now
# /dev/null: nothing this check clicks may reach a real line.
check_ports_hidden() {
    local link target
    for link in "$WINEPREFIX"/dosdevices/com*; do
        [ -e "$link" ] || continue
        target=$(readlink -f "$link")
        [ "$target" = "$listener_port" ] && continue
        [ "$(stat -L -c %t:%T "$target")" = "1:3" ] \
            || fail "wine's ${link##*/} leads to $target, a real port; run this through tools/windows/with-hidden-ports.sh"
    done
}

click() {
    local x y
    read -r x y <<<"$2"
    xdotool mousemove --window "$1" "$x" "$y" click 1
}

wait_for_window() {
    timeout 60 xdotool search --sync --onlyvisible --name "^$1\$" | head -n1
}

wait_until_closed() {
    local waited
    for waited in $(seq 100); do
        xdotool search --onlyvisible --name "^$1\$" >/dev/null || return 0
        sleep 0.1
    done
    return 1
}

wait_for_bytes() {
    local count=$1 seconds=$2 waited
    for waited in $(seq "$seconds"); do
        [ "$(stat -c %s "$scratch/received.bin")" -ge "$count" ] && return 0
        sleep 1
    done
    return 1
}

# Starts the program and waits for its window; sets window to its X id.
start_window() {
    wine "$program" >/dev/null 2>&1 &
    disown
    window=$(wait_for_window "$WINDOW_TITLE") && [ -n "$window" ] \
        || fail "no window titled \"$WINDOW_TITLE\" within 60 s"
    sleep 1
    import -window "$window" "$build_dir/window-wine.png"
    say "the window shows: $build_dir/window-wine.png"
}

# Chooses the known image with Load and CHECK_PORT in the chooser, as a
# person would, and presses Program.
flash_known_image() {
    say "Load, $CHECK_PORT, Program"
    printf '%s' "$KNOWN_IMAGE" >"$scratch/image.bin"
    click "$window" "$LOAD_BUTTON_AT"
    wait_for_window "$LOAD_DIALOG_TITLE" >/dev/null || fail "the Load dialog did not open"
    sleep 1
    # The name field may hold the last image already: type over it.
    xdotool key End shift+Home
    xdotool type --delay 20 "$(winepath -w "$scratch/image.bin")"
    xdotool key Return
    wait_until_closed "$LOAD_DIALOG_TITLE" || fail "the Load dialog did not close"
    sleep 1
    click "$window" "$PORT_CHOOSER_AT"
    sleep 1
    xdotool type --delay 20 "$CHECK_PORT"
    xdotool key Return
    sleep 1
    import -window "$window" "$build_dir/serial-wine.png"
    click "$window" "$PROGRAM_BUTTON_AT"
}

received_bytes() {
    od -An -tx1 -v "$scratch/received.bin" | tr -d ' \n'
}

check_received() {
    local received
    received=$(received_bytes)
    [ "${received:0:${#ANNOUNCEMENT}}" = "$ANNOUNCEMENT" ] \
        || fail "$CHECK_PORT received $received, not the announcement $ANNOUNCEMENT"
    say "$CHECK_PORT is listed and received the exact announcement of the image: $ANNOUNCEMENT"

    # The program waits 10 s for the first answer.
    wait_for_bytes $(( ${#WHOLE_FLASH} / 2 )) 15 || true
    received=$(received_bytes)
    if [ "$received" = "$WHOLE_FLASH" ]; then
        say "the whole flash went through: $received"
    elif [ "$received" = "$ANNOUNCEMENT" ]; then
        say "the listener's answer did not reach the program (wine's serial layer), so the flash stopped after the announcement"
    else
        fail "$CHECK_PORT received $received; expected $WHOLE_FLASH or the announcement alone"
    fi
}

main() {
    rm -rf "$scratch"
    mkdir -p "$scratch"
    wineboot --init >/dev/null 2>&1
    run_suites

    # Clicks sent to a window that is still settling can go astray, which
    # shows as nothing reaching the port: one more try from a fresh start.
    local attempt
    for attempt in 1 2; do
        start_listener
        start_window
        check_ports_hidden
        flash_known_image
        wait_for_bytes $(( ${#ANNOUNCEMENT} / 2 )) 30 && break
        say "nothing reached $CHECK_PORT on try $attempt; see $build_dir/serial-wine.png"
        cleanup
        [ "$attempt" -lt 2 ] || fail "nothing reached $CHECK_PORT"
    done
    check_received
}

main "$@"
