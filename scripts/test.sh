#!/usr/bin/env bash
# Installs what is missing, builds both packages, and runs every test headless: for each package its
# own X server, its own fresh Wine prefix inside its build tree, one Wine server for the whole run.
# Leaves no process behind. Where the host runs no 32-bit programs, the 32-bit package is still
# built and checked for reproducibility and signing, and the Wine tests run on the 64-bit one.
# A set-up step that fails stops the run with its own words; failed tests let the other package's
# tests run, and the run then ends in failure. Extra arguments go to ctest.
set -eu
root=$(dirname "$(dirname "$(realpath "$0")")")
. "$root/scripts/wine-env.sh"
"$root/scripts/deps.sh"
"$root/scripts/build.sh" 32
"$root/scripts/build.sh" 64

# The packages whose tests failed, one line each.
failed=$(mktemp)
trap 'rm -f "$failed"' EXIT

# One package's tests in a subshell of their own, so that its session ends with it. It is called as
# a plain command: under "||" or "if" bash would ignore set -e in every set-up step inside, and a
# prefix or X server that could not be made would be followed by tests that cannot run. So a failed
# set-up step ends the subshell, and the run with it; only ctest's own failure is let pass.
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
        ctest --output-on-failure --timeout 900 "$@" || echo "$bits-bit" >>"$failed"
    )
}

if ak_host_runs_32bit; then
    echo "== The 32-bit package, under WOW64 in a 64-bit prefix"
    suite 32 "$@"
else
    ak_why_no_32bit
    echo "== The 32-bit package: built, reproducible and signed (its Wine tests cannot run here)"
    suite 32 -L build "$@"
fi
echo "== The 64-bit package"
suite 64 "$@"
if [ -s "$failed" ]; then
    echo "Some tests failed; see above."
    exit 1
fi
echo "All tests passed."
