#!/usr/bin/env bash
# How many faults the tests catch: applies each single change of tests/mutations.txt (file, text,
# replacement, what it breaks; tab-separated, "\n" a line break) in turn to a copy of the tracked
# tree, rebuilds, runs the tests until the first failure in a fresh prefix, and says which changes
# they caught. The copy, its build and its prefixes live in $AK_MUTATE_DIR, never in this tree.
# Usage: tests/mutate.sh [PATTERN]   (only the changes whose line matches; the slow rebuilds from
# scratch are left out, as no change here is about them)
set -eu
root=$(dirname "$(dirname "$(realpath "$0")")")
work=${AK_MUTATE_DIR:-/tmp/ak-mutate}
tree=$work/tree
rm -rf "$tree" && mkdir -p "$tree" && (cd "$root" && git ls-files -z | xargs -0 cp --parents -t "$tree" --)
. "$root/scripts/wine-env.sh"
caught=0 total=0

# Every run starts from a copy of one new prefix: a change that gets past the guard may ruin it.
# The package the host runs.
bits=$(ak_runnable_bits)
build=$(AK_BUILD_DIR=$work/build ak_tree "$root" "$bits")
suite() {
    AK_BUILD_DIR=$work/build "$tree/scripts/build.sh" "$bits" >"$work/build.log" 2>&1 || return 2
    rm -rf "$build/wine"
    if [ -d "$work/prefix" ]; then mkdir -p "$build/wine" && cp -a "$work/prefix" "$build/wine/"; fi
    (ak_wine_env "$build" && ak_make_prefix && { [ -d "$work/prefix" ] || cp -a "$WINEPREFIX" "$work/"; } &&
        ak_start_session && cd "$build" &&
        timeout --foreground 900 ctest --stop-on-failure --output-on-failure -E 'reproducible_build|signed_build|wine_prefix_layout') \
        >"$work/ctest.log" 2>&1 </dev/null || return 1
}

suite || { echo "the unchanged tree does not pass (see $work/*.log)"; exit 1; }
while IFS=$'\t' read -r -u 3 file old new what; do
    [ -n "${1:-}" ] && ! grep -q -- "$1" <<<"$file $what" && continue
    cp "$tree/$file" "$work/original"
    python3 -c 'import sys; p, o, n = sys.argv[1], *(a.replace("\\n", "\n") for a in sys.argv[2:])
t = open(p).read(); assert t.count(o) == 1, "not found once"; open(p, "w").write(t.replace(o, n))' \
        "$tree/$file" "$old" "$new" || { echo "cannot apply: $what"; exit 1; }
    total=$((total + 1)) status=0
    suite || status=$?
    cp "$work/original" "$tree/$file"  # a new time, so the next build compiles it again
    case $status in
        0) echo "survived  $what" ;;
        1) caught=$((caught + 1)); echo "caught    $what  ($(grep -m1 -o 'FAILED  \] [A-Za-z_./0-9]*' "$work/ctest.log" | cut -c11-))" ;;
        *) echo "no build  $what" ;;
    esac
done 3<"$tree/tests/mutations.txt"
echo "$caught of $total mutations caught"
