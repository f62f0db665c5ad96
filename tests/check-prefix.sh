#!/usr/bin/env bash
# The test run's Wine prefix must not reach the host: no drive for the host's /, every drive inside
# the build tree, the user's folders real folders rather than links, HOME inside the build tree.
build=$(realpath "$1")
prefix=$build/wine/prefix
fail() { echo "FAIL: $*"; status=1; }
status=0
[ -d "$prefix/dosdevices" ] || { echo "FAIL: no prefix at $prefix"; exit 1; }
for drive in "$prefix"/dosdevices/?:; do
    target=$(realpath -m "$drive")
    case "$target" in
        "$build"|"$build"/*) ;;
        *) fail "drive $(basename "$drive") leads to $target, outside the build tree" ;;
    esac
done
[ -e "$prefix/dosdevices/z:" ] && fail "drive z: exists"
links=$(find "$prefix/drive_c/users" -type l)
[ -z "$links" ] || fail "links in the user folders: $links"
for folder in Desktop Documents; do
    for user in "$prefix"/drive_c/users/*/; do
        [ "$(basename "$user")" = Public ] && continue
        [ -d "$user/$folder" ] && [ ! -L "$user/$folder" ] || fail "$user$folder is not a real folder"
    done
done
case "$(realpath -m "${HOME:-/}")" in
    "$build"/*) ;;
    *) fail "HOME is $HOME, outside the build tree" ;;
esac
case "${WINEDLLOVERRIDES:-}" in
    *winemenubuilder.exe=d*) ;;
    *) fail "winemenubuilder is not disabled" ;;
esac
[ $status -eq 0 ] && echo "prefix layout ok"
exit $status
