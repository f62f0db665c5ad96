#!/usr/bin/env bash
# Configures and builds one package with the mingw-w64 cross toolchain: the 32-bit one into build/
# (or $AK_BUILD_DIR), or, with "64" as the first argument, the 64-bit one into build-x64/ (or
# $AK_BUILD_DIR-x64). Further arguments go to cmake.
set -eu
root=$(dirname "$(dirname "$(realpath "$0")")")
. "$root/scripts/wine-env.sh"
bits=32
if [ "${1:-}" = 32 ] || [ "${1:-}" = 64 ]; then
    bits=$1
    shift
fi
build=$(ak_tree "$root" "$bits")
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$(ak_toolchain "$bits")" \
      -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
