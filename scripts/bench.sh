#!/usr/bin/env bash
# Installs what is missing, builds, and runs the release benchmark headless, set up as the tests
# are: its own X server, a fresh Wine prefix inside the build tree, one Wine server. Arguments:
# runs of each program for the time to first window (at least 20), installs for "Go!" (at least 10).
set -eu
root=$(dirname "$(dirname "$(realpath "$0")")")
build=${AK_BUILD_DIR:-$root/build}
. "$root/scripts/wine-env.sh"
ak_build "$root" "$build"
ak_start_session fresh
"$root/scripts/wine-run" "$build/bench/ak_bench.exe" "$@"
