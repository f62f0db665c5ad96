#!/usr/bin/env bash
# Installs what is missing, builds, and runs the installer under Wine in the build tree's own
# prefix: on your display when there is one, otherwise on a private X server, saving a screenshot
# of the dialog. "run.sh uninstall" starts the uninstaller from the program group instead.
# The 32-bit package runs wherever the host can run it, else the 64-bit one; it says which.
set -eu
root=$(dirname "$(dirname "$(realpath "$0")")")
. "$root/scripts/wine-env.sh"
"$root/scripts/deps.sh"
bits=$(ak_runnable_bits)
ak_build "$root" "$bits"
build=$AK_WINE_TREE
if [ "$bits" = 32 ]; then
    echo "Running the 32-bit package (the product's default), from $build."
else
    ak_why_no_32bit
    echo "Running the 64-bit package, from $build."
fi
ak_make_prefix
if [ "${1:-}" = uninstall ]; then
    # The uninstaller's shortcut in the program group, as a user would start it from the Start menu.
    command=(ak_wine cmd /c start "" /wait "%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs\\Ambit Knob\\uninstal.exe.lnk")
else
    command=(ak_wine "$(ak_windows_path "$build/setup.exe")")
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
