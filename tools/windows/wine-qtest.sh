#!/usr/bin/env bash
# Runs one QtTest program under wine, for ctest.
# - Wine keeps QT_ variables from Windows programs, but hands WINEQT_ ones on
#   without the WINE prefix; so the test's QT_ settings travel that way.
# - The offscreen platform takes its fonts from Debian's DejaVu.
# - A Windows program without a console sends QtTest's report to the debugger
#   channel; it goes to a file instead, printed afterwards.
# The program's exit status is the result.
#   tools/windows/wine-qtest.sh TEST.exe [ARGS...]
set -euo pipefail
readonly FONT_DIR=/usr/share/fonts/truetype/dejavu
[ -d "$FONT_DIR" ] || { echo "wine-qtest.sh: $FONT_DIR is missing; install Debian's fonts-dejavu-core" >&2; exit 1; }
# Qt ships no fonts, and the offscreen platform the suites use finds none of
# wine's: without these every text would be measured without a font.
export QT_QPA_FONTDIR
QT_QPA_FONTDIR=$(winepath -w "$FONT_DIR")
while IFS= read -r variable; do
    export "WINE$variable=${!variable}"
done < <(compgen -e | grep '^QT_' || true)

report=$(mktemp --suffix=.txt)
trap 'rm -f "$report"' EXIT
status=0
wine "$@" -o "$(winepath -w "$report"),txt" || status=$?
cat "$report"
exit "$status"
