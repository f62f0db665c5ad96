#!/usr/bin/env bash
# Installs what is missing, builds, and runs the installer under Wine in a prefix of its own inside
# the build tree (wine-run/, which no test touches): on your display when there is one, otherwise on
# a private X server, saving a screenshot of the dialog once it is shown. "run.sh uninstall" starts
# the uninstaller from the program group instead.
# The 32-bit package runs wherever the host can run it, else the 64-bit one; it says which.
set -eu
root=$(dirname "$(dirname "$(realpath "$0")")")
. "$root/scripts/wine-env.sh"
"$root/scripts/deps.sh"
bits=$(ak_runnable_bits)
# Not the tests' prefix, where their installs leave remembered destinations and records behind: this
# one is made the first time and then kept, so that the first run shows what a new user sees and
# "run.sh uninstall" finds the installation made here before.
ak_build "$root" "$bits" wine-run
build=$AK_WINE_TREE
if [ "$bits" = 32 ]; then
    echo "Running the 32-bit package (the product's default), from $build."
else
    ak_why_no_32bit
    echo "Running the 64-bit package, from $build."
fi
ak_make_prefix
if [ "${1:-}" = uninstall ]; then
    if ! ls "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/Ambit\ Knob/uninstal.exe.lnk >/dev/null 2>&1; then
        echo "No program group of Ambit Knob in $WINEPREFIX: install with \"Create Program Group\" through scripts/run.sh first." >&2
        exit 1
    fi
    # The uninstaller's shortcut in the program group, as a user would start it from the Start menu.
    command=(ak_wine cmd /c start "" /wait "%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs\\Ambit Knob\\uninstal.exe.lnk")
    # The uninstaller hands over to a copy of itself in the temporary folder and ends; the copy asks.
    caption="Uninstalling Ambit Knob"
else
    command=(ak_wine "$(ak_windows_path "$build/setup.exe")")
    caption="Ambit Knob 2.00 Setup"
fi
cd "$build"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    ak_window_manager Y
    # Setup ends with 1 after an install, 0 when cancelled: either is a run that worked.
    status=0
    "${command[@]}" || status=$?
    echo "The program ended with exit code $status."
    [ "$status" -le 1 ] || exit "$status"
    exit 0
fi

# Whether a top-level window of this caption is mapped on the display.
window_shown() {
    local id
    for id in $(xwininfo -root -tree 2>/dev/null | grep -F "\"$1\": (" | awk '{ print $1 }'); do
        xwininfo -id "$id" 2>/dev/null | grep -q 'Map State: IsViewable' && return 0
    done
    return 1
}

# No display: a private one, and a picture of what the user would see there. The prefix stays, so
# that "run.sh uninstall" finds the installation.
ak_start_session
"${command[@]}" &
# A setup.exe that has ended shows nothing more; the uninstaller's first step ends on purpose, handing
# over to its copy, so there only the minute bounds the wait.
program=$!
if [ "${1:-}" = uninstall ]; then
    program=""
fi
shot=$build/screenshot.png
rm -f "$shot"
# Wine starts slowly on a busy machine: the picture waits for the window, up to a minute, and then
# a moment more for its contents to be drawn.
deadline=$((SECONDS + 60))
until window_shown "$caption"; do
    if [ -n "$program" ] && ! kill -0 "$program" 2>/dev/null; then
        status=0
        wait "$program" || status=$?
        echo "setup.exe ended, with exit code $status, without showing its dialog \"$caption\"." >&2
        exit 1
    fi
    if [ $SECONDS -ge $deadline ]; then
        import -window root "$shot"
        echo "No window \"$caption\" was shown within 60 seconds; the program was stopped. What the display showed: $shot" >&2
        exit 1
    fi
    sleep 0.5
done
sleep 1
import -window root -trim "$shot"
echo "No display here: the program ran on a private X server and was stopped. What it showed: $shot"
