#!/usr/bin/env bash
# The test run's Wine prefix must not reach the host: every drive inside the build tree (so no drive
# for the host's /), no links among the users' folders (Desktop, Documents and the others are real
# folders), HOME inside the build tree, and no menu entries made on the host.
build=$(realpath "$1")
prefix=$build/wine/prefix
status=0
fail() { echo "FAIL: $*"; status=1; }
[ -d "$prefix/dosdevices" ] || fail "no prefix at $prefix"
for drive in "$prefix"/dosdevices/?: "$HOME"; do
    case "$(realpath -m "$drive")/" in "$build"/*) ;; *) fail "$drive leads to $(realpath -m "$drive"), outside the build tree" ;; esac
done
links=$(find "$prefix/drive_c/users" -type l)
[ -z "$links" ] || fail "links in the user folders: $links"
[[ ${WINEDLLOVERRIDES:-} == *winemenubuilder.exe=d* ]] || fail "winemenubuilder is not disabled"
[ $status -eq 0 ] && echo "prefix layout ok"
exit $status
