#!/usr/bin/env bash
# Builds the three shipped executables a second time, from scratch, in another folder, and compares
# them byte for byte with the first build's: no link time, build path or date may reach the images.
set -eu
source=$(realpath "$1")
first=$(realpath "$2")
second=$first/reproducible-check
rm -rf "$second"

# The second build gets the same inputs as the first: build type, the carried files and the signing key.
settings=()
for name in CMAKE_BUILD_TYPE AK_PRODUCT_EXE AK_README AK_LICENSE AK_FILE_ID AK_WEB_SHORTCUT \
            AK_SIGN_PKCS12 AK_SIGN_PASSWORD_FILE AK_SIGN_TIMESTAMP_URL; do
    value=$(sed -n "s/^$name:[A-Z]*=//p" "$first/CMakeCache.txt")
    settings+=("-D$name=$value")
done
cmake -S "$source" -B "$second" -DCMAKE_TOOLCHAIN_FILE="$source/cmake/mingw-i686.cmake" \
      -DAK_BUILD_TESTS=OFF "${settings[@]}" >/dev/null
cmake --build "$second" --target setup -j "$(nproc)" >/dev/null

status=0
for exe in setup.exe uninstal.exe ak.exe; do
    if cmp -s "$first/$exe" "$second/$exe"; then
        echo "$exe: identical ($(stat -c %s "$first/$exe") bytes)"
    else
        echo "FAIL: $exe differs between $first and $second"
        cmp -l "$first/$exe" "$second/$exe" | head -5
        status=1
    fi
done
[ $status -eq 0 ] && rm -rf "$second"
exit $status
