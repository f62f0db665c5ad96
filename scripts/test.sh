#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless: its own X server, its own fresh
# Wine prefix inside the build tree, one Wine server for the whole run. Leaves no process behind.
set -eu
root=$(dirname "$(dirname "$(realpath "$0")")")
build=${AK_BUILD_DIR:-$root/build}
"$root/scripts/deps.sh"
AK_BUILD_DIR=$build "$root/scripts/build.sh"

. "$root/scripts/wine-env.sh"
ak_wine_env "$build"
cleanup() {
    wineserver -k 2>/dev/null || true
    ak_stop_xvfb
}
trap cleanup EXIT
rm -rf "$build/wine"
ak_wine_env "$build"
ak_make_prefix
export DISPLAY
DISPLAY=$(ak_start_xvfb)
ak_start_wine
cd "$build"
ctest --output-on-failure "$@"
