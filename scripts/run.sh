#!/usr/bin/env bash
# Installs what is missing, builds, and runs the installer under Wine in the build tree's own
# prefix: on your display when there is one, otherwise on a private X server, saving a screenshot
# of the dialog. "run.sh uninstall" starts the uninstaller from the program group instead.
set -eu
root=$(dirname "$(dirname "$(realpath "$0")")")
build=${AK_BUILD_DIR:-$root/build}
. "$root/scripts/wine-env.sh"
ak_build "$root" "$build"
ak_make_prefix
if [ "${1:-}" = uninstall ]; then
    # The uninstaller's shortcut in the program group, as a user would start it from the Start menu.
    command=(wine cmd /c start "" /wait "%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs\\Ambit Knob\\uninstal.exe.lnk")
else
    command=(wine "$(ak_windows_path "$build/setup.exe")")
fi
cd "$build"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    ak_window_manager Y
    "${command[@]}"
    exit 0
fi

# No display: a private one, and a picture of what the user would see there. The prefix stays, so
# that "run.sh uninstall" finds the installation.
ak_start_session
"${command[@]}" &
sleep 4
shot=$build/screenshot.png
import -window root -trim "$shot"
echo "No display here: the program ran on a private X server and was stopped. What it showed: $shot"
