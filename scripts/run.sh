#!/usr/bin/env bash
# Installs what is missing, builds, and runs the installer under Wine in the build tree's own
# prefix: on your display when there is one, otherwise on a private X server, saving a screenshot
# of the dialog. "run.sh uninstall" starts the uninstaller from the program group instead.
set -eu
root=$(dirname "$(dirname "$(realpath "$0")")")
build=${AK_BUILD_DIR:-$root/build}
"$root/scripts/deps.sh"
AK_BUILD_DIR=$build "$root/scripts/build.sh"

. "$root/scripts/wine-env.sh"
ak_wine_env "$build"
ak_make_prefix
if [ "${1:-}" = uninstall ]; then
    target='C:\users\'"$(id -un)"'\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Ambit Knob\uninstal.exe.lnk'
else
    target=$(ak_windows_path "$build/setup.exe")
fi

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    cd "$build"
    if [ "${1:-}" = uninstall ]; then
        wine start /wait "$target"
    else
        wine start /wait /unix "$build/setup.exe" 2>/dev/null || true
    fi
    exit 0
fi

# No display: a private one, and a picture of what the user would see.
cleanup() {
    wineserver -k 2>/dev/null || true
    ak_stop_xvfb
}
trap cleanup EXIT
export DISPLAY
DISPLAY=$(ak_start_xvfb)
cd "$build"
# start.exe opens the group's shortcut as the shell would; the uninstaller's question then shows.
if [ "${1:-}" = uninstall ]; then
    wine explorer /desktop=AmbitKnob,800x600 start "$target" &
    what="the uninstaller"
else
    wine explorer /desktop=AmbitKnob,800x600 "$target" &
    what="the installer"
fi
sleep 6
shot=$build/screenshot.png
import -window "AmbitKnob - Wine desktop" "$shot" 2>/dev/null || import -window root "$shot"
echo "No display here: $what ran on a private X server. Its window: $shot"
