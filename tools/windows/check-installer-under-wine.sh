#!/usr/bin/env bash
# Checks the per-user installer under wine, in a fresh wine prefix of its own
# with winemenubuilder.exe off, so that nothing lands in the host's menus:
#   1. a silent install puts quoril.exe under %LOCALAPPDATA%\Programs\quoril,
#      and its window shows when it is started from there;
#   2. the Start-menu shortcut "TQ5801 flash tool" points at it;
#   3. the uninstall entry holds the name, the version, the publisher and the
#      icon;
#   4. the installer of the next version installs over it: the newer program
#      in place and one entry, of the newer version; the older installer then
#      refuses to install over it;
#   5. a silent uninstall leaves nothing of what the installers made: the
#      prefix's files and registry keys are as they were before.
# Run it under an X server, through tools/windows/with-hidden-ports.sh.
#   tools/windows/check-installer-under-wine.sh BUILD_DIR INSTALLER NEWER_INSTALLER
set -euo pipefail
PROJECT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$PROJECT_DIR/tools/windows/wine-window.sh"
build_dir=$(realpath "$1")
installer=$(realpath "$2")
newer_installer=$(realpath "$3")
scratch="$build_dir/installer-check"

readonly UNINSTALL_KEY='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall'
readonly PRODUCT=quoril
readonly PUBLISHER=lumbo
readonly PROGRAM=quoril.exe
readonly UNINSTALLER=uninstall.exe
readonly NOTICES=THIRD-PARTY-NOTICES.txt
# The installer's exit code when a newer version is installed.
readonly NEWER_INSTALLED=3

export WINEPREFIX="$scratch/prefix"
export WINEDEBUG=-all
# No prompts to install wine's .NET and HTML engines; no host menu entries
# for the shortcuts the installer makes.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

trap 'wineserver --kill 2>/dev/null || true' EXIT

# The version in an installer's name: quoril-VERSION-win64-setup.exe.
version_of() {
    local name=${1##*/}
    name=${name#"$PRODUCT"-}
    echo "${name%-win64-setup.exe}"
}

# A Windows folder's path as wine names it on the host.
host_path() { realpath "$(winepath -u "$(wine cmd /c echo "$1" | tr -d '\r')")"; }

# The value NAME of the product's uninstall entry.
entry_value() {
    wine reg query "$UNINSTALL_KEY\\$PRODUCT" /v "$1" 2>/dev/null | tr -d '\r' \
        | sed -n "s/^ *$1 *REG_[A-Z]* *//p"
}

# How many uninstall entries name the product.
entries() {
    wine reg query "$UNINSTALL_KEY" /s 2>/dev/null | tr -d '\r' \
        | grep -c "^ *DisplayName *REG_SZ *$WINDOW_TITLE\$" || true
}

# Runs an installer or uninstaller and waits until every program it started
# has ended (the uninstaller goes on in a copy of itself).
run_silently() {
    local status=0
    wine "$@" /S || status=$?
    wineserver --wait
    return "$status"
}

# What the prefix holds after a restart: every file and folder, every
# registry key, but for two that are not the installers' own:
# - the copy of itself that an NSIS uninstaller runs from, in a folder of
#   the user's Temp that it leaves for Windows to delete on its next start
#   (wine's restart deletes the copy, not the folder);
# - the network cards, which wine lists afresh on every start.
readonly NOT_THE_INSTALLERS='^file users/[^/]*/Temp/~nsu|^key \[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\NetworkCards'
prefix_contents() {
    wineboot --restart >/dev/null 2>&1
    wineserver --wait
    {
        find "$WINEPREFIX/drive_c" -printf 'file %P\n'
        cat "$WINEPREFIX"/*.reg | sed -n 's/^\(\[[^]]*\]\).*/key \1/p'
    } | grep -Ev "$NOT_THE_INSTALLERS" | LC_ALL=C sort
}

check_installed() {
    local version=$1 installed="$install_dir/$PROGRAM"
    [ -f "$installed" ] || fail "$version: no $PROGRAM in $install_dir"
    [ -f "$install_dir/$NOTICES" ] || fail "$version: no $NOTICES beside $PROGRAM in $install_dir"
    "$PROJECT_DIR/tools/windows/check_executable.py" "$installed" "$version" >/dev/null \
        || fail "$version: the installed $PROGRAM is not the one of version $version"
    [ "$(entry_value DisplayName)" = "$WINDOW_TITLE" ] || fail "$version: the entry's name is \"$(entry_value DisplayName)\""
    [ "$(entry_value DisplayVersion)" = "$version" ] || fail "$version: the entry's version is \"$(entry_value DisplayVersion)\""
    [ "$(entry_value Publisher)" = "$PUBLISHER" ] || fail "$version: the entry's publisher is \"$(entry_value Publisher)\""
    [ "$(entry_value DisplayIcon)" = "$(winepath -w "$installed"),0" ] \
        || fail "$version: the entry's icon is \"$(entry_value DisplayIcon)\""
    [ "$(entries)" -eq 1 ] || fail "$version: $(entries) uninstall entries name $WINDOW_TITLE"
    say "$version: $installed, one uninstall entry: $WINDOW_TITLE, $version, $PUBLISHER, icon $(entry_value DisplayIcon)"
}

check_shortcut() {
    local shortcut="$start_menu/$WINDOW_TITLE.lnk" target
    target=$(winepath -w "$install_dir/$PROGRAM")
    [ -f "$shortcut" ] || fail "no Start-menu shortcut $shortcut"
    # The link holds its target's path as text.
    grep -qixF "$target" <(strings "$shortcut") \
        || fail "the Start-menu shortcut does not point at $target"
    say "the Start-menu shortcut \"$WINDOW_TITLE\" points at $target"
}

main() {
    local version newer before after
    version=$(version_of "$installer")
    newer=$(version_of "$newer_installer")
    rm -rf "$scratch"
    mkdir -p "$scratch"
    wineboot --init >/dev/null 2>&1
    install_dir="$(host_path '%LOCALAPPDATA%')/Programs/$PRODUCT"
    start_menu="$(host_path '%APPDATA%')/Microsoft/Windows/Start Menu/Programs"
    before=$(prefix_contents)

    run_silently "$installer" || fail "the silent install of $version failed"
    check_installed "$version"
    check_shortcut
    show_window "$install_dir/$PROGRAM"
    say "the installed program's window shows"
    wineserver --kill

    run_silently "$newer_installer" || fail "the silent install of $newer over $version failed"
    check_installed "$newer"
    local status=0
    run_silently "$installer" || status=$?
    [ "$status" -eq "$NEWER_INSTALLED" ] || fail "the installer of $version over $newer ended with $status, not $NEWER_INSTALLED"
    check_installed "$newer"
    say "$version does not install over $newer"

    run_silently "$install_dir/$UNINSTALLER" || fail "the silent uninstall failed"
    after=$(prefix_contents)
    [ "$before" = "$after" ] \
        || fail "the uninstall left what the installers made: $(diff <(echo "$before") <(echo "$after") | grep '^[<>]' | head -n 20)"
    say "the silent uninstall left nothing of what the installers made"
}

main "$@"
