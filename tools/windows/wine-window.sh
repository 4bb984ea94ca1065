# shellcheck shell=bash
# Starting quoril.exe under wine and finding its window, for the checks under
# wine. Sourced, not run; the checks run under an X server.
#   say TEXT... / fail TEXT...          a line of the check's, or its end
#   wait_for_window TITLE               the X id of the window, once it shows
#   wait_until_closed TITLE
#   click WINDOW "X Y"
#   show_window PROGRAM [PREPARE...]    starts PROGRAM, sets window
# WINDOW_LOG (default: none) receives the program's standard error, with the
# trace that WINDOW_WINEDEBUG (default: WINEDEBUG) asks of wine. A window
# that does not show fails the check, with what the command that
# WINDOW_FAILURE_NOTE names (default: none) prints.

readonly WINDOW_TITLE="TQ5801 flash tool"
# How long a window may take to show under wine.
readonly WINDOW_SHOWS_S=60

say() { echo "${0##*/}: $*"; }
fail() { say "FAILED: $*" >&2; exit 1; }

wait_for_window() {
    timeout "$WINDOW_SHOWS_S" xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -n1
}

wait_until_closed() {
    local waited
    for waited in $(seq 100); do
        xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}

click() {
    local x y
    read -r x y <<<"$2"
    xdotool mousemove --window "$1" "$x" "$y" click 1
}

start_window() {
    WINEDEBUG=${WINDOW_WINEDEBUG:-$WINEDEBUG} wine "$1" >/dev/null 2>>"${WINDOW_LOG:-/dev/null}" &
    disown
    window=$(wait_for_window "$WINDOW_TITLE") && [ -n "$window" ] || return 1
    # The window takes clicks once it has settled.
    sleep 1
}

# Starts PROGRAM under wine and waits for its window; sets window to its X id.
# Wine has been seen, once in many starts, to show no window at all: then
# every wine program is stopped and PROGRAM starts once more. PREPARE, a
# command, runs before each start.
show_window() {
    local program=$1 attempt
    shift
    for attempt in 1 2; do
        [ $# -eq 0 ] || "$@"
        start_window "$program" && return 0
        say "no window titled \"$WINDOW_TITLE\" within $WINDOW_SHOWS_S s on try $attempt"
        wineserver --kill 2>/dev/null || true
    done
    fail "the window titled \"$WINDOW_TITLE\" did not show${WINDOW_FAILURE_NOTE:+; $("$WINDOW_FAILURE_NOTE")}"
}
