#!/usr/bin/env bash
# Installs what is missing, builds both packages, and runs every test headless: for each package its
# own X server, its own fresh Wine prefix inside its build tree, one Wine server for the whole run.
# Leaves no process behind. Where the host runs no 32-bit programs, the 32-bit package is still
# built and checked for reproducibility and signing, and the Wine tests run on the 64-bit one.
# Extra arguments go to ctest.
set -eu
root=$(dirname "$(dirname "$(realpath "$0")")")
. "$root/scripts/wine-env.sh"
"$root/scripts/deps.sh"
"$root/scripts/build.sh" 32
"$root/scripts/build.sh" 64

# One package's tests in a subshell of their own, so that its session ends with it.
suite() {
    local bits=$1
    shift
    (
        ak_wine_env "$(ak_tree "$root" "$bits")"
        cd "$AK_WINE_TREE"
        if ak_tree_runs_here "$AK_WINE_TREE"; then
            ak_start_session fresh
        fi
        # A test that hangs fails by itself, named, well before the run's own limit; a later
        # --timeout (a long offline run of the sequences) overrides it.
        ctest --output-on-failure --timeout 900 "$@"
    )
}

status=0
if ak_host_runs_32bit; then
    echo "== The 32-bit package, under WOW64 in a 64-bit prefix"
    suite 32 "$@" || status=1
else
    ak_why_no_32bit
    echo "== The 32-bit package: built, reproducible and signed (its Wine tests cannot run here)"
    suite 32 -L build "$@" || status=1
fi
echo "== The 64-bit package"
suite 64 "$@" || status=1
[ $status -eq 0 ] && echo "All tests passed." || echo "Some tests failed; see above."
exit $status
