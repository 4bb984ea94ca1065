# shellcheck shell=bash
# Sourced by the Windows build's scripts, after set -euo pipefail: a command
# whose failure ends the script says so instead of ending it without a word,
# with its file, line, the functions it ran in, the command and its exit
# status, then the last lines of WINE_LOG.
#   WINE_LOG                the file that the scripts' wine commands write
#                           to (default: none)
#   print_wine_log_tail     those last lines, on standard error

readonly WINE_LOG_LINES_SHOWN=20

print_wine_log_tail() {
    [ -s "${WINE_LOG:-}" ] || return 0
    {
        echo "${0##*/}: the last lines of $WINE_LOG:"
        tail -n "$WINE_LOG_LINES_SHOWN" "$WINE_LOG" | sed 's/^/    /'
    } >&2
}

report_error() {
    local status=$? line=$1
    # A command substitution runs without set -e and goes on after a failure.
    [[ $- == *e* ]] || return 0
    # The functions it ran in, innermost first, without the script's own level.
    local calls="" name
    for name in "${FUNCNAME[@]:1:${#FUNCNAME[@]}-2}"; do
        calls+="${calls:+ < }$name"
    done
    echo "${0##*/}: stopped at ${BASH_SOURCE[1]}:$line${calls:+, in $calls}:" \
        "\`${BASH_COMMAND%%$'\n'*}\` ended with status $status" >&2
    print_wine_log_tail
}

set -o errtrace
trap 'report_error "$LINENO"' ERR
