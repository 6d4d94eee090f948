#!/usr/bin/env bash
# The archive figures before and after in one run, each against unar: builds REV (a
# commit, default main) into build/rar-before, runs this tree's rar_bench with that
# rarpack beside its own, then the older rar_bench for its in-process decoding.
#   bench/rar/before-after.sh [REV] [--reps N] [--big-before]
# --big-before also times the older rarpack on the 4,000-file archive (minutes when
# its extraction grows with the square of the entries).
set -euo pipefail
cd "$(dirname "$0")/../.."
rev=main
if [ $# -gt 0 ] && [ "${1#-}" = "$1" ]; then rev=$1; shift; fi
reps=3
big=()
while [ $# -gt 0 ]; do
  case "$1" in
    --reps) reps=$2; shift 2 ;;
    --big-before) big=(--big-before); shift ;;
    *) echo "before-after.sh: unknown option '$1'" >&2; exit 2 ;;
  esac
done

before=build/rar-before
rm -rf "$before-src" && mkdir -p "$before-src"
git archive "$rev" | tar -x -C "$before-src"
cmake -S "$before-src" -B "$before" -DCMAKE_BUILD_TYPE=Release -DKAVLO_BENCH=ON >/dev/null
cmake --build "$before" -j2 --target rarpack rar_bench >&2
after=${KAVLO_BENCH_BUILD:-build/bench}
cmake -S . -B "$after" -DCMAKE_BUILD_TYPE=Release -DKAVLO_BENCH=ON >/dev/null
cmake --build "$after" -j2 --target rarpack rar_bench >&2

echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "== after ($(git rev-parse --short HEAD)), with rarpack of $rev as 'before'"
"$after/bench/rar/rar_bench" --mb 8 --reps "$reps" --before "$PWD/$before/tools/rarpack/rarpack" "${big[@]}"
echo "== before ($rev): in-process decoding"
"$before/bench/rar/rar_bench" --mb 8 --reps "$reps" 2>/dev/null | head -4 || true
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
