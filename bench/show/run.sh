#!/usr/bin/env bash
# Measures the show on this machine in one run: frame times per effect window against
# the 13.3 ms budget of a 75 Hz frame, the loading time with the default (solid,
# compressed) archive against a stored, non-solid archive of the same entries, and the
# capture speed as a multiple of real time.
#   bench/show/run.sh [--before REV] [--rounds N] [--fps N]
# --before REV also builds the tree of git revision REV (its code and its show data) and
# times both in turn, N rounds (default 2), with a table of after / before per window.
# KAVLO_BENCH_BUILD picks the build folder (default build/bench; relative to the
# repository root or absolute).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
build=${KAVLO_BENCH_BUILD:-build/bench}
case $build in /*) ;; *) build=$root/$build ;; esac

before=""
rounds=2
args=()
while [ $# -gt 0 ]; do
  case $1 in
    --before) [ $# -ge 2 ] || { echo "run.sh: --before needs a revision" >&2; exit 2; }
              before=$2; shift 2 ;;
    --rounds) [ $# -ge 2 ] || { echo "run.sh: --rounds needs a number" >&2; exit 2; }
              rounds=$2; shift 2 ;;
    *) args+=("$1"); shift ;;
  esac
done

# Builds run well below the priority of the measurements (run.sh may be started with
# nice -n -10 on a shared machine).
build_tree() {  # source folder, build folder
  nice -n 15 cmake -S "$1" -B "$2" -DCMAKE_BUILD_TYPE=Release -DKAVLO_BENCH=ON >/dev/null
  nice -n 15 cmake --build "$2" -j"$(nproc)" --target kavlo-show-bench rarpack kavlo_show_data >&2
}
build_tree "$root" "$build"

show=$build/show
bench=$build/bench/show/kavlo-show-bench
rarpack=$(find "$build/tools/rarpack" -maxdepth 1 -name rarpack -type f | head -1)

if [ -n "$before" ]; then
  old=$build-before
  rm -rf "$old/src" && mkdir -p "$old/src"
  git -C "$root" archive "$before" | tar -x -C "$old/src"
  # Both sides are timed by this tree's benchmark program.
  rm -rf "$old/src/bench/show" && cp -r "$root/bench/show" "$old/src/bench/show"
  build_tree "$old/src" "$old/build"
  oldbench=$old/build/bench/show/kavlo-show-bench
  echo "== uptime: $(uptime)"
  for r in $(seq 1 "$rounds"); do
    echo "== round $r: before ($before)"
    (cd "$old/build/show" && "$oldbench" "${args[@]}") | tee "$old/before-$r.txt"
    echo "== round $r: after (working tree)"
    (cd "$show" && "$bench" "${args[@]}") | tee "$old/after-$r.txt"
    echo
    echo "== round $r: after / before (medians and worst frames, ms)"
    awk 'FNR == 1 { file++ }
         /^Effect/ { m[file, $1] = $3; w[file, $1] = $4; c[file, $1] = $8
                     if (file == 1) order[++n] = $1 }
         /^loading/ { load[file] = $2; loadCpu[file] = $(NF - 1) }
         /^capture/ { speed[file] = $(NF - 3) }
         END {
           printf "%-15s %8s %8s %6s %8s %8s %6s %8s %8s %6s\n", "window", "median", "median",
                  "ratio", "worst", "worst", "ratio", "cpu med", "cpu med", "ratio"
           printf "%-15s %8s %8s %6s %8s %8s %6s %8s %8s %6s\n", "", "before", "after", "",
                  "before", "after", "", "before", "after", ""
           for (i = 1; i <= n; i++) {
             e = order[i]
             printf "%-15s %8.2f %8.2f %6.2f %8.2f %8.2f %6.2f %8.2f %8.2f %6.2f\n", e, m[1, e],
                    m[2, e], m[2, e] / m[1, e], w[1, e], w[2, e], w[2, e] / w[1, e], c[1, e],
                    c[2, e], c[2, e] / c[1, e]
           }
           printf "loading s       %8.3f %8.3f %6.2f\n", load[1], load[2], load[2] / load[1]
           printf "loading cpu s   %8.3f %8.3f %6.2f\n", loadCpu[1], loadCpu[2],
                  loadCpu[2] / loadCpu[1]
           printf "x real time     %8.2f %8.2f %6.2f\n", speed[1], speed[2], speed[2] / speed[1]
         }' "$old/before-$r.txt" "$old/after-$r.txt"
    echo
  done
  exit 0
fi

# The same entries, stored and not solid.
stored=$build/show-stored
rm -rf "$stored" && mkdir -p "$stored/entries"
"$rarpack" x "$show/megadata.rar" -o "$stored/entries" >/dev/null
(cd "$stored/entries" && "$rarpack" a -m0 ../megadata.rar data 3ds >/dev/null)
cp "$show/musik.xm" "$stored/"

echo "== default archive ($(stat -c %s "$show/megadata.rar") bytes, solid, compressed)"
(cd "$show" && "$bench" "${args[@]}")
echo
echo "== stored, non-solid archive ($(stat -c %s "$stored/megadata.rar") bytes): loading only"
(cd "$stored" && "$bench" --to 0 "${args[@]}" | head -1)
