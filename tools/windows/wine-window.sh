# shellcheck shell=bash
# Starting quoril.exe under wine and finding its window, for the checks under
# wine. Sourced, not run; the checks run under an X server. A failure names
# where it happened (report-errors.sh).
#   say TEXT... / fail TEXT...          a line of the check's, or its end
#   stop_wine                           stops every wine program of the prefix
#   wait_for_window TITLE               the X id of the window, once it shows
#   wait_until_closed TITLE
#   click WINDOW "X Y"
#   show_window PROGRAM [PREPARE...]    starts PROGRAM, sets window
# WINDOW_LOG (default: WINE_LOG) receives the program's output, with the
# trace that WINDOW_WINEDEBUG (default: WINEDEBUG) asks of wine. A window
# that does not show fails the check, with what the command that
# WINDOW_FAILURE_NOTE names (default: none) prints.
source "$(dirname "${BASH_SOURCE[0]}")/report-errors.sh"

readonly WINDOW_TITLE="TQ5801 flash tool"
# How long a window may take to show under wine.
readonly WINDOW_SHOWS_S=60

say() { echo "${0##*/}: $*"; }
fail() {
    say "FAILED: $*" >&2
    print_wine_log_tail
    exit 1
}

stop_wine() { wineserver --kill >>"${WINE_LOG:-/dev/null}" 2>&1 || true; }

# One search at a time until the time is up: xdotool's own wait (--sync)
# gives up at the first X error, which a window that closes while it
# searches raises, and was seen to end a second after it began.
wait_for_window() {
    local deadline=$((SECONDS + WINDOW_SHOWS_S)) found
    while [ "$SECONDS" -lt "$deadline" ]; do
        found=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) || true
        [ -z "$found" ] || { echo "$found"; return 0; }
        sleep 0.2
    done
    return 1
}

wait_until_closed() {
    local _
    for _ in $(seq 100); do
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
    WINEDEBUG=${WINDOW_WINEDEBUG:-$WINEDEBUG} wine "$1" >>"${WINDOW_LOG:-${WINE_LOG:-/dev/null}}" 2>&1 &
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
        stop_wine
    done
    fail "the window titled \"$WINDOW_TITLE\" did not show${WINDOW_FAILURE_NOTE:+; $("$WINDOW_FAILURE_NOTE")}"
}
