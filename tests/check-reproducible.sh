#!/usr/bin/env bash
# Builds the three shipped executables a second time, from scratch, in another folder, and compares
# them byte for byte with the first build's: no link time, build path or date may reach the images.
set -eu
source=$(realpath "$1")
first=$(realpath "$2")
second=$first/reproducible-check
rm -rf "$second"
# The second build gets the same inputs as the first: the package's toolchain, build type, the carried files and the signing key.
settings=()
for name in CMAKE_TOOLCHAIN_FILE CMAKE_BUILD_TYPE AK_PRODUCT_EXE AK_README AK_LICENSE AK_FILE_ID AK_WEB_SHORTCUT \
            AK_SIGN_PKCS12 AK_SIGN_PASSWORD_FILE AK_SIGN_TIMESTAMP_URL; do
    settings+=("-D$name=$(sed -n "s/^$name:[A-Z]*=//p" "$first/CMakeCache.txt")")
done
cmake -S "$source" -B "$second" -DAK_BUILD_TESTS=OFF "${settings[@]}" >/dev/null
cmake --build "$second" --target setup -j "$(nproc)" >/dev/null
# Each executable is of its package's architecture, as the system reads the image's headers: the
# machine, then the optional header's magic.
if grep -q '^AK_64BIT:INTERNAL=ON' "$first/CMakeCache.txt"; then
    expected="8664 020b" kind="PE32+ x86-64"
else
    expected="014c 010b" kind="PE32 i386"
fi
header() {
    local at
    at=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    [ "$(od -An -c -j"$at" -N4 "$1" | tr -d ' ')" = 'PE\0\0' ] || { echo "no image"; return; }
    echo "$(od -An -tx2 -j$((at + 4)) -N2 "$1" | tr -d ' ') $(od -An -tx2 -j$((at + 24)) -N2 "$1" | tr -d ' ')"
}
for exe in setup.exe uninstal.exe ak.exe; do
    cmp "$first/$exe" "$second/$exe" || { echo "FAIL: $exe differs between $first and $second"; exit 1; }
    found=$(header "$first/$exe")
    [ "$found" = "$expected" ] || { echo "FAIL: $exe has machine and magic $found, not $expected ($kind)"; exit 1; }
    echo "$exe: identical ($(stat -c %s "$first/$exe") bytes), $kind"
done
rm -rf "$second"
