#!/usr/bin/env bash
# Configures and builds into build/ (or $AK_BUILD_DIR) with the mingw-w64 cross toolchain.
set -eu
root=$(dirname "$(dirname "$(realpath "$0")")")
build=${AK_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
