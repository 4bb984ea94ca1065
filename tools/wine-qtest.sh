#!/usr/bin/env bash
# Runs one QtTest program under wine, for ctest. The report goes to a file
# and is printed afterwards: a Windows program without a console sends it to
# the debugger channel. The program's exit status is the result.
#   tools/wine-qtest.sh TEST.exe [ARGS...]
set -euo pipefail
report=$(mktemp --suffix=.txt)
trap 'rm -f "$report"' EXIT
status=0
wine "$@" -o "$(winepath -w "$report"),txt" || status=$?
cat "$report"
exit "$status"
