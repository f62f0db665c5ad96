#!/usr/bin/env bash
# Installs what is missing, builds, and runs the release benchmark headless, set up as the tests
# are: its own X server, a fresh Wine prefix inside the build tree, one Wine server. Arguments:
# runs of each program for the time to first window (at least 20), installs for "Go!" (at least 10).
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
"$root/scripts/wine-run" "$build/bench/ak_bench.exe" "$@"
