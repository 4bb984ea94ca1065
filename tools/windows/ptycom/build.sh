#!/usr/bin/env bash
# Builds the ptycom driver (a COM port on a pseudo-terminal, for the wine
# check) with Debian's mingw-w64 C compiler and its DDK headers.
#   tools/windows/ptycom/build.sh OUTPUT.sys
set -euo pipefail
readonly COMPILER=x86_64-w64-mingw32-gcc-posix
readonly DDK_HEADERS=/usr/share/mingw-w64/include/ddk
output=$1

command -v "$COMPILER" >/dev/null \
    || { echo "build.sh: $COMPILER is missing; install the Debian package gcc-mingw-w64-x86-64-posix" >&2; exit 1; }
[ -d "$DDK_HEADERS" ] \
    || { echo "build.sh: $DDK_HEADERS is missing; install the Debian package mingw-w64-common" >&2; exit 1; }

# A kernel driver: native subsystem, entered at DriverEntry, no C runtime,
# importing ntoskrnl.exe and hal.dll only.
"$COMPILER" -std=gnu11 -O2 -Wall -Wextra -Werror -I"$DDK_HEADERS" \
    -shared -nostdlib -Wl,--subsystem,native -Wl,--entry,DriverEntry \
    -o "$output" "$(dirname "${BASH_SOURCE[0]}")/ptycom.c" -lntoskrnl -lhal
