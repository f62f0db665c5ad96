#!/usr/bin/env bash
# Random sequences of what users do, outside the suite: builds one package (32 or 64) and runs its
# test_sequence on a fresh prefix of its own. Arguments go to test_sequence:
#   tests/sequences.sh 64 --seed=7 --steps=0,3      replays what a failure printed
#   tests/sequences.sh 32 --from=1000 --minutes=120 runs seeds for two hours; each distinct failure
#                                                   is told once, shortened to the fewest steps
set -eu
root=$(dirname "$(dirname "$(realpath "$0")")")
bits=$1
shift
. "$root/scripts/wine-env.sh"
"$root/scripts/build.sh" "$bits" >/dev/null
ak_wine_env "$(ak_tree "$root" "$bits")"
cd "$AK_WINE_TREE"
ak_tree_runs_here "$AK_WINE_TREE" || { ak_why_no_32bit; exit 2; }
ak_start_session fresh
"$root/scripts/wine-run" tests/test_sequence.exe "$@"
