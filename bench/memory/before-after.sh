#!/usr/bin/env bash
# The tracker's cost per kind of request before and after a change, in one run: builds
# REV (a commit, default main) with this tree's alloc_bench into build/memory-before and
# this tree into build/memory-after, runs the two in turn N times (default 3) and prints
# the best ns per pair of each side and after / before.
#   bench/memory/before-after.sh [REV] [--runs N]
# Both sides are built with functions and loops on 64-byte boundaries: a pair costs about
# 40 cycles, and where an unchanged function happens to fall moved it by 7 % between two
# builds of the same path.
set -euo pipefail
cd "$(dirname "$0")/../.."
rev=main
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then rev=$1; shift; fi
runs=3
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    *) echo "before-after.sh: unknown option '$1'" >&2; exit 2 ;;
  esac
done

before=build/memory-before
rm -rf "$before-src" && mkdir -p "$before-src"
git archive "$rev" | tar -x -C "$before-src"
# Both sides are timed by this tree's benchmark.
rm -rf "$before-src/bench/memory" && cp -r bench/memory "$before-src/bench/memory"
after=build/memory-after
flags="-falign-functions=64 -falign-loops=64"
for side in "$before-src $before" ". $after"; do
  set -- $side
  cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=Release -DKAVLO_BENCH=ON -DCMAKE_CXX_FLAGS="$flags" \
    >/dev/null
  cmake --build "$2" -j2 --target alloc_bench >&2
done

echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for r in $(seq 1 "$runs"); do
  "$before/bench/memory/alloc_bench" >"$out/before-$r.txt"
  "$after/bench/memory/alloc_bench" >"$out/after-$r.txt"
done
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== $rev against the working tree ($(git rev-parse --short HEAD)), best of $runs runs"
# Rows are "name words... ns ratio"; the name is everything before the last two fields.
awk 'FNR == 1 { side = FILENAME ~ /before-/ ? "b" : "a"; next }
     { name = $1; for (i = 2; i <= NF - 2; i++) name = name " " $i
       if (!(name in seen)) { seen[name] = 1; order[++n] = name }
       key = side SUBSEP name
       if (!(key in best) || $(NF - 1) < best[key]) best[key] = $(NF - 1) }
     END {
       printf "%-18s %12s %12s %8s\n", "request", "before ns", "after ns", "ratio"
       for (i = 1; i <= n; i++) {
         b = best["b", order[i]]; a = best["a", order[i]]
         printf "%-18s %12.1f %12.1f %8.3f\n", order[i], b, a, a / b
       }
     }' "$out"/before-*.txt "$out"/after-*.txt
