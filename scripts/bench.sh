#!/usr/bin/env bash
# Installs what is missing, builds, and runs the release benchmark headless, set up as the tests
# are: its own X server, a fresh Wine prefix inside the build tree, one Wine server. Arguments:
# runs of each program for the time to first window (at least 20), installs for "Go!" (at least 10).
# It measures the package the host runs: the 32-bit one where it can, else the 64-bit one, each
# against a floor built for the same architecture.
set -eu
root=$(dirname "$(dirname "$(realpath "$0")")")
. "$root/scripts/wine-env.sh"
"$root/scripts/deps.sh"
bits=$(ak_runnable_bits)
[ "$bits" = 64 ] && ak_why_no_32bit
ak_build "$root" "$bits"
ak_start_session fresh
"$root/scripts/wine-run" "$AK_WINE_TREE/bench/ak_bench.exe" "$@"
