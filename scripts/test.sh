#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test headless: its own X server, its own fresh
# Wine prefix inside the build tree, one Wine server for the whole run. Leaves no process behind.
set -eu
root=$(dirname "$(dirname "$(realpath "$0")")")
build=${AK_BUILD_DIR:-$root/build}
. "$root/scripts/wine-env.sh"
ak_build "$root" "$build"
ak_start_session fresh
cd "$build"
ctest --output-on-failure "$@"
