#!/usr/bin/env bash
# Checks a Windows build under wine, in a wine prefix of its own:
#   1. the test suites that can run on Windows pass;
#   2. the window grows with the display's scaling: at 125 %, 150 % and 200 %
#      it is at least that much larger than at 100 %, where it keeps the
#      form's size (screenshots: BUILD_DIR/window-wine-DPIdpi.png);
#   3. started beside a marker DLL named for every DLL it imports or
#      delay-loads that is no KnownDLL, and one named thai.dll (which Qt's
#      text shaper loads by name for Thai text, typed into the Load dialog
#      here), with wine told to prefer DLLs from the program's folder as
#      Windows' search order does, it loads none of them;
#   4. through COM9, a port served by the ptycom driver on a pseudo-terminal
#      with tools/windows/serial_listener.py as the device, images of 3, 512,
#      1000 and 70000 random bytes flash whole, byte for byte, each chosen and
#      started in the window as a person would (screenshot before the first
#      Program: BUILD_DIR/serial-wine.png); prints the time per packet of the
#      largest;
#   5. the same flashes pass with a stray "byte received" event after every
#      read that returned bytes;
#   6. the failure endings end where they must: no answer or a non-ACK answer
#      to the announcement, a 3-byte reply to packet 1, replies in two pieces
#      16 ms or 100 ms apart (accepted), the device hanging up during packet 1;
#   7. after every flash, whole or failed, the program has held its fine
#      timer tick exactly once for it and released it (wine's relay trace);
#   8. through a port whose DTR starts low, to a device that sends nothing
#      while DTR is low, images of 1000 and 70000 bytes flash whole: every
#      open raised DTR and left RTS off (the driver's line log).
# Run it through tools/windows/with-hidden-ports.sh and under an X server: it starts
# the program with its Windows platform plugin and clicks it with xdotool.
#   tools/windows/check-under-wine.sh BUILD_DIR [QUORIL_EXE]
# QUORIL_EXE defaults to BUILD_DIR/quoril.exe; the driver is BUILD_DIR/ptycom.sys
# (tools/windows/ptycom/build.sh builds it). What wine says goes to
# BUILD_DIR/wine-check/wine.log.
set -euo pipefail
PROJECT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$PROJECT_DIR/tools/windows/wine-window.sh"
build_dir=$(realpath "$1")
program=$(realpath "${2:-$build_dir/quoril.exe}")
driver="$build_dir/ptycom.sys"
scratch="$build_dir/wine-check"
record="$scratch/received.bin"
program_log="$scratch/program.log"
# What start.sh said on its last try.
driver_start_errors="$scratch/driver-start.err"
# A copy of the program with marker DLLs beside it.
planted="$scratch/planted"
# The driver's log of DTR and RTS, in the session whose DTR starts low.
line_log="$scratch/lines.log"

readonly LOAD_DIALOG_TITLE="Please choose a file"
readonly CHECK_PORT=COM9
# Where the window's controls are, from the form: the menu bar is 21 pixels
# high and the central widget's controls sit below it.
readonly LOAD_BUTTON_AT="367 52"
readonly PORT_CHOOSER_AT="134 92"
readonly PROGRAM_BUTTON_AT="267 92"
readonly WHOLE_FLASH_SIZES=(3 512 1000 70000)
readonly DTR_FLASH_SIZES=(1000 70000)
# What the driver logs when the program raised DTR and left RTS off, and when
# it dropped the device's bytes for DTR being low.
readonly DTR_RAISED_RTS_OFF="DTR on, RTS off"
readonly BYTES_DROPPED="DTR off: the device's bytes dropped"
readonly ENDING_IMAGE_SIZE=1000
# The program logs one such line for every command it has sent and waited on.
readonly REPLY_LOG_LINE="response length is"
# The program waits 10 s for a reply; a line silent for longer has stopped.
readonly LINE_SILENT_S=15
# The longest the program may take over one command: 10 s for its writes,
# 10 s for the reply.
readonly GIVING_UP_S=25
# Program sends the announcement at once; a press that sent nothing within
# this went astray.
readonly PROGRAM_STARTS_S=10
# How long a program that stopped is watched for a command that the listener
# answers.
readonly ANSWERED_AFTER_S=2
# Commands on the line: 1 the announcement, 2 the second handshake, 3 packet 1.
readonly ANNOUNCEMENT=1
readonly PACKET_1=3
# Display scaling, as wine's LogPixels: 100 %, then 125 %, 150 % and 200 %.
readonly UNSCALED_DPI=96
readonly SCALED_DPIS=(120 144 192)
# The window's size at 100 %, from the form.
readonly UNSCALED_WIDTH=411 UNSCALED_HEIGHT=166
# The program's calls that hold and release a 1 ms timer tick, as wine's relay
# trace names them.
readonly FINE_TICK_CALLS=(winmm.timeBeginPeriod winmm.timeEndPeriod)
# Planted beside the program besides the DLLs it names: Qt's text shaper
# loads this one by name once Thai text is shown.
readonly SHAPER_DLL=thai.dll
# A folder with a Thai name, for an image whose path the window then shows.
readonly THAI_FOLDER=ทดสอบ
# Wine's own user32 imports version.dll before any code of the program runs;
# on Windows user32 is a KnownDLL and takes it from System32.
readonly LOADED_BY_WINE_ITSELF=version.dll

export WINEPREFIX="$scratch/prefix"
export WINEDEBUG=-all
export WINE_LOG="$scratch/wine.log"
# No prompts to install wine's .NET and HTML engines.
export WINEDLLOVERRIDES="mscoree,mshtml="
# The program's log to standard error; wine hands WINEQT_ variables on as QT_.
export WINEQT_FORCE_STDERR_LOGGING=1
# The relay trace adds the program's timer tick calls to its log.
WINDOW_LOG=$program_log
WINDOW_WINEDEBUG=-all,+relay

# The time per packet of the largest whole flash, by driver: normal, stray.
declare -A packet_times
listener_pid=""
stop_session() {
    stop_wine
    [ -z "$listener_pid" ] || kill "$listener_pid" 2>/dev/null || true
    listener_pid=""
}
trap stop_session EXIT

run_suites() {
    say "test suites"
    (cd "$build_dir" && ctest --output-on-failure) || fail "the test suites failed under wine"
}

# Starts a listener acting MODE on a pseudo-terminal; sets listener_port to its path.
start_listener() {
    rm -f "$record" "$scratch/listener.out"
    python3 "$PROJECT_DIR/tools/windows/serial_listener.py" "$1" "$record" >"$scratch/listener.out" &
    listener_pid=$!
    disown
    local _
    for _ in $(seq 50); do
        [ -s "$scratch/listener.out" ] && break
        sleep 0.1
    done
    listener_port=$(head -n1 "$scratch/listener.out")
    [ -c "$listener_port" ] || fail "the listener did not open a pseudo-terminal"
}

record_size() { stat -c %s "$record"; }

# The record from byte OFFSET on, as hex.
received_from() {
    tail -c "+$(($1 + 1))" "$record" | od -An -tx1 -v | tr -d ' \n'
}

# Runs COMMAND every 0.2 s until it succeeds, for at most SECONDS.
wait_until() {
    local seconds=$1 started=$SECONDS
    shift
    until "$@"; do
        [ $((SECONDS - started)) -lt "$seconds" ] || return 1
        sleep 0.2
    done
}

record_grew_past() { [ "$(record_size)" -gt "$1" ]; }

# Waits until the record holds COUNT bytes, or the line stays silent for
# LINE_SILENT_S, which the program only does once it has stopped.
wait_for_bytes() {
    local count=$1 size silent_since=$SECONDS last=-1
    while size=$(record_size) && [ "$size" -lt "$count" ]; do
        [ "$size" -eq "$last" ] || { last=$size; silent_since=$SECONDS; }
        [ $((SECONDS - silent_since)) -lt "$LINE_SILENT_S" ] || return 1
        sleep 0.2
    done
}

# Every COM port wine made itself must be one of the host's hidden ports, now
# /dev/null: nothing this check clicks may reach a real line. None may take
# CHECK_PORT's name, which would hide the driver's port.
check_ports_hidden() {
    local link target
    for link in "$WINEPREFIX"/dosdevices/com*; do
        [ -e "$link" ] || continue
        target=$(readlink -f "$link")
        [ "${link##*/}" != "${CHECK_PORT,,}" ] \
            || fail "wine's ${link##*/} leads to $target and hides the driver's $CHECK_PORT"
        [ "$(stat -L -c %t:%T "$target")" = "1:3" ] \
            || fail "wine's ${link##*/} leads to $target, a real port; run this through tools/windows/with-hidden-ports.sh"
    done
}

screenshot() {
    import -window "$window" "$build_dir/$1"
}

# The step at which start.sh stopped, as it named it.
driver_start_failure() {
    grep -m1 '^start\.sh: ' "$driver_start_errors" || head -n1 "$driver_start_errors"
}

# Starts the driver's port on the listener's terminal, in the mode start.sh
# is given (stray events, or DTR starting low with its line log). Wine has
# been seen, now and then, to fail a step of that start: then every wine
# program is stopped and it starts once more.
start_driver() {
    local attempt
    for attempt in 1 2; do
        "$PROJECT_DIR/tools/windows/ptycom/start.sh" "$driver" "$CHECK_PORT" "$listener_port" "$@" \
            2>"$driver_start_errors" && return 0
        cat "$driver_start_errors" >&2
        say "the driver did not start on try $attempt: $(driver_start_failure)"
        stop_wine
    done
    fail "the driver did not start on $CHECK_PORT on either try: $(driver_start_failure)"
}

# Before each start of a session's window: a listener acting MODE and the
# driver's port on its terminal, in the driver's MODE... (see start.sh).
prepare_session() {
    stop_session
    start_listener "$1"
    start_driver "${@:2}"
    check_ports_hidden
    : >"$program_log"
    runs=0
}

# A listener acting MODE, the driver's port on its terminal in the driver's
# MODE... and the window.
start_session() {
    say "listener: $1${2:+, driver: $2}"
    show_window "$program" prepare_session "$@"
}

# Chooses IMAGE with Load, pasting its path into the dialog's path field.
# Typed, a path with Thai letters lost one now and then on a busy machine:
# xdotool maps a spare key to each such letter, and wine read the new mapping
# late ("Path does not exist").
choose_image() {
    click "$window" "$LOAD_BUTTON_AT"
    wait_for_window "$LOAD_DIALOG_TITLE" >/dev/null || fail "the Load dialog did not open"
    sleep 1
    # The name field may hold the last image already: paste over it.
    xdotool key End shift+Home
    printf '%s' "$(winepath -w "$1")" | xclip -selection clipboard
    xdotool key ctrl+v
    xdotool key Return
    wait_until_closed "$LOAD_DIALOG_TITLE" || fail "the Load dialog did not close"
}

# Chooses IMAGE with Load and CHECK_PORT in the chooser, as a person would,
# and presses Program.
press_program_with() {
    choose_image "$1"
    sleep 1
    click "$window" "$PORT_CHOOSER_AT"
    sleep 1
    xdotool type --delay 20 "$CHECK_PORT"
    xdotool key Return
    sleep 1
    [ -e "$build_dir/serial-wine.png" ] || screenshot serial-wine.png
    runs=$((runs + 1))
    local before
    before=$(record_size)
    click "$window" "$PROGRAM_BUTTON_AT"
    # A click sent to a window that is still settling can go astray.
    wait_until "$PROGRAM_STARTS_S" record_grew_past "$before" && return 0
    say "nothing reached $CHECK_PORT within $PROGRAM_STARTS_S s; pressing Program once more"
    click "$window" "$PROGRAM_BUTTON_AT"
}

# Sets the display's scaling; wine reads it when the wineserver starts.
set_display_dpi() {
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >>"$WINE_LOG" 2>&1
    wineserver --kill
    wineserver --wait
}

# At 100 % the window keeps the form's size; at each scaling above it, it is
# at least the scale factor times that (screenshots: BUILD_DIR/window-wine-DPIdpi.png).
check_scaling() {
    local dpi width height
    # The unscaled display last: the checks after this one click at its positions.
    for dpi in "${SCALED_DPIS[@]}" "$UNSCALED_DPI"; do
        set_display_dpi "$dpi"
        say "$dpi DPI"
        show_window "$program"
        read -r width height < <(xdotool getwindowgeometry --shell "$window" \
            | sed -n 's/^WIDTH=//p; s/^HEIGHT=//p' | paste -sd' ')
        screenshot "window-wine-${dpi}dpi.png"
        if [ "$dpi" -eq "$UNSCALED_DPI" ]; then
            [ "$width" -eq "$UNSCALED_WIDTH" ] && [ "$height" -eq "$UNSCALED_HEIGHT" ] \
                || fail "at $dpi DPI the window is $width x $height, not $UNSCALED_WIDTH x $UNSCALED_HEIGHT"
        else
            [ $((width * UNSCALED_DPI)) -ge $((UNSCALED_WIDTH * dpi)) ] \
                && [ $((height * UNSCALED_DPI)) -ge $((UNSCALED_HEIGHT * dpi)) ] \
                || fail "at $dpi DPI the window is $width x $height, smaller than $dpi/$UNSCALED_DPI of $UNSCALED_WIDTH x $UNSCALED_HEIGHT"
        fi
        say "$dpi DPI: the window is $width x $height ($build_dir/window-wine-${dpi}dpi.png)"
        wineserver --kill
    done
}

fine_tick_calls() { grep -c "Call $1(00000001)" "$program_log" || true; }

# Every run since the window opened held the fine timer tick once and
# released it once: the tick is never held while the window sits idle.
fine_tick_matches_runs() {
    local call
    for call in "${FINE_TICK_CALLS[@]}"; do
        [ "$(fine_tick_calls "$call")" -eq "$runs" ] || return 1
    done
}

check_fine_tick_released() {
    wait_until "$ANSWERED_AFTER_S" fine_tick_matches_runs \
        || fail "after $runs runs, the program held the fine timer tick $(fine_tick_calls "${FINE_TICK_CALLS[0]}") times and released it $(fine_tick_calls "${FINE_TICK_CALLS[1]}") times"
}

# An image of SIZE random bytes, in FOLDER (default: the scratch folder).
random_image() {
    local image="${2:-$scratch}/image-$1.bin"
    head -c "$1" /dev/urandom >"$image"
    echo "$image"
}

replies_logged() { grep -c "$REPLY_LOG_LINE" "$program_log" || true; }

replies_reached() { [ "$(replies_logged)" -ge "$1" ]; }

# What the program must send for IMAGE: all of it, or its first COMMANDS commands.
expected_line() {
    python3 "$PROJECT_DIR/tools/windows/boot_line.py" "$@"
}

# Fails unless the record from byte OFFSET on is exactly EXPECTED (hex).
check_line() {
    local offset=$1 expected=$2 what=$3 received
    received=$(received_from "$offset")
    [ "$received" = "$expected" ] && return 0
    local difference
    difference=$(cmp <(fold -w2 <<<"$received") <(fold -w2 <<<"$expected") 2>&1 | head -n1 || true)
    fail "$what: $CHECK_PORT received $(( ${#received} / 2 )) bytes, expected $(( ${#expected} / 2 )) ($difference; a line is a byte)"
}

# Flashes an image of SIZE random bytes and checks every byte on the line.
flash_whole() {
    local size=$1 image offset expected
    image=$(random_image "$size")
    offset=$(record_size)
    expected=$(expected_line "$image")
    press_program_with "$image"
    wait_for_bytes $((offset + ${#expected} / 2)) \
        || fail "the flash of $size bytes stopped: $CHECK_PORT received $(( $(record_size) - offset )) of $(( ${#expected} / 2 )) bytes"
    check_line "$offset" "$expected" "the flash of $size bytes"
    check_fine_tick_released
    say "$size bytes flashed whole, byte for byte; the fine timer tick held for $runs runs and released as often"
}

# Which planted DLLs were loaded, for a window that did not show.
planted_markers() {
    echo "markers were left by: $(cd "$planted" && ls -- *.loaded 2>/dev/null | tr '\n' ' ')"
}

# Starts a copy of the program beside marker DLLs named for every DLL it
# imports or delay-loads that is no KnownDLL, and SHAPER_DLL, with wine told
# to prefer DLLs from the program's folder for those names, as Windows' own
# search order does; chooses an image in a folder with a Thai name, typed
# into the Load dialog, so that the window shows Thai text. Fails on every
# marker loaded, but LOADED_BY_WINE_ITSELF.
check_planted_dlls() {
    local names name overrides="" marker
    mkdir -p "$planted"
    cp "$program" "$planted/"
    x86_64-w64-mingw32-gcc -shared -o "$scratch/marker.dll" \
        "$PROJECT_DIR/tools/windows/marker_dll.c" "$PROJECT_DIR/tools/windows/marker_dll.def"
    mapfile -t names < <("$PROJECT_DIR/tools/windows/check_executable.py" --not-known "$program"; echo "$SHAPER_DLL")
    for name in "${names[@]}"; do
        cp "$scratch/marker.dll" "$planted/$name"
        overrides+=";${name%.dll}=n,b"
    done
    say "planted beside the program: ${names[*]}"
    mkdir -p "$scratch/$THAI_FOLDER"
    WINEDLLOVERRIDES="$WINEDLLOVERRIDES$overrides" WINDOW_FAILURE_NOTE=planted_markers \
        show_window "$planted/${program##*/}"
    choose_image "$(random_image 3 "$scratch/$THAI_FOLDER")"
    sleep 1
    screenshot planted-dlls-wine.png
    stop_session
    for marker in "$planted"/*.loaded; do
        [ -e "$marker" ] || continue
        name=${marker##*/}
        name=${name%.loaded}
        [ "$name" = "$LOADED_BY_WINE_ITSELF" ] \
            || fail "the program loaded the $name planted beside it"
        say "$name beside the program was loaded, by wine's own user32 before the program ran"
    done
    say "none of the DLLs planted beside the program was loaded by it"
}

# The whole flashes, in one window; with "stray", a stray event after every
# read that returned bytes.
check_whole_flashes() {
    local size
    start_session ack ${1:+"$1"}
    if [ ! -e "$build_dir/window-wine.png" ]; then
        screenshot window-wine.png
        say "the window shows: $build_dir/window-wine.png"
    fi
    for size in "${WHOLE_FLASH_SIZES[@]}"; do
        flash_whole "$size"
    done
    packet_times[${1:-normal}]=$(grep '^flash:' "$scratch/listener.out" | tail -n1 | sed 's/.*, //')
    say "time per packet under wine, ${WHOLE_FLASH_SIZES[-1]} bytes${1:+, $1}: ${packet_times[${1:-normal}]}"
    stop_session
}

# Flashes an image (sets image) against listener MODE and waits until the
# program has finished COMMANDS commands; fails if it logs another within
# WATCH_S seconds.
run_until_stopped() {
    local mode=$1 commands=$2 watch_s=$3
    start_session "$mode"
    image=$(random_image "$ENDING_IMAGE_SIZE")
    press_program_with "$image"
    wait_until "$GIVING_UP_S" replies_reached "$commands" || fail "$mode: the program did not finish command $commands"
    sleep "$watch_s"
    [ "$(replies_logged)" -eq "$commands" ] \
        || fail "$mode: the program went on after command $commands: $(replies_logged) replies logged"
    check_fine_tick_released
}

# The ending of listener MODE: after exactly COMMANDS commands the program
# sends nothing more.
check_stops_after() {
    local mode=$1 commands=$2
    # A listener that answers whatever follows would get it at once.
    run_until_stopped "$mode" "$commands" "$ANSWERED_AFTER_S"
    check_line 0 "$(expected_line "$image" "$commands")" "$mode"
    say "$mode: the program stopped after command $commands, as it must"
    stop_session
}

# Every reply in two pieces, 16 ms or 100 ms apart: accepted as one.
check_split_reply() {
    start_session split-reply
    flash_whole "$ENDING_IMAGE_SIZE"
    stop_session
}

# The device hangs up during packet 1: the program keeps its window, logs
# no command after packet 1, and the line carries no more than packet 1.
check_hang_up() {
    local before_packet_1 through_packet_1 received
    # Nothing answers any more: a command sent after packet 1 would only be
    # logged once the program gave up on it.
    run_until_stopped hang-up "$PACKET_1" "$GIVING_UP_S"
    xdotool search --onlyvisible --name "^$WINDOW_TITLE\$" >/dev/null 2>&1 \
        || fail "hang-up: the window is gone"
    before_packet_1=$(expected_line "$image" $((PACKET_1 - 1)))
    through_packet_1=$(expected_line "$image" "$PACKET_1")
    received=$(received_from 0)
    [ "${#received}" -gt "${#before_packet_1}" ] && [ "${through_packet_1:0:${#received}}" = "$received" ] \
        || fail "hang-up: $CHECK_PORT received $received; expected the flash up to part of packet 1"
    say "hang-up: the window stays and nothing more is sent after packet 1"
    stop_session
}

log_lines_matching() { grep -cxF "$1" "$line_log" || true; }

# A device that sends nothing while DTR is low, as many USB device stacks do,
# behind a port whose DTR starts low, as Windows can leave it: every open of
# the port raised DTR with RTS off, and the flashes are whole.
check_dtr_waiting_device() {
    local size raised dropped
    rm -f "$line_log"
    start_session ack line-log "$line_log"
    say "the driver logs DTR and RTS to $line_log"
    for size in "${DTR_FLASH_SIZES[@]}"; do
        flash_whole "$size"
    done
    stop_session
    raised=$(log_lines_matching "$DTR_RAISED_RTS_OFF")
    dropped=$(log_lines_matching "$BYTES_DROPPED")
    [ "$raised" -eq "$runs" ] && [ "$dropped" -eq 0 ] \
        || fail "DTR starting low: in $runs runs the driver logged \"$DTR_RAISED_RTS_OFF\" $raised times and dropped the device's bytes $dropped times"
    say "DTR starting low: the lines went $(grep -vxF "$BYTES_DROPPED" "$line_log" | paste -sd'>' | sed 's/>/ > /g')"
}

main() {
    rm -rf "$scratch"
    mkdir -p "$scratch"
    [ -f "$driver" ] || fail "$driver is missing; tools/windows/ptycom/build.sh builds it"
    rm -f "$build_dir"/window-wine*.png "$build_dir/serial-wine.png"
    wineboot --init >>"$WINE_LOG" 2>&1
    wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /t REG_SZ \
        /d "$(IFS=';'; echo "${FINE_TICK_CALLS[*]}")" /f >>"$WINE_LOG" 2>&1
    run_suites
    check_scaling
    check_planted_dlls
    check_whole_flashes
    check_whole_flashes stray
    say "time per packet of the ${WHOLE_FLASH_SIZES[-1]}-byte flash: ${packet_times[normal]}; with stray events ${packet_times[stray]}"
    check_stops_after no-answer "$ANNOUNCEMENT"
    check_stops_after nak "$ANNOUNCEMENT"
    check_stops_after short-reply "$PACKET_1"
    check_split_reply
    check_hang_up
    check_dtr_waiting_device
}

main "$@"
