#!/usr/bin/env bash
# Measures the show on this machine in one run: frame times per effect window against
# the 13.3 ms budget of a 75 Hz frame, the loading time with the default (solid,
# compressed) archive against a stored, non-solid archive of the same entries, and the
# capture speed as a multiple of real time.
#   bench/show/run.sh [--fps N]
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
build=${KAVLO_BENCH_BUILD:-build/bench}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DKAVLO_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target kavlo-show-bench rarpack kavlo_show_data >&2

show=$build/show
bench=$build/bench/show/kavlo-show-bench
rarpack=$(find "$build/tools/rarpack" -maxdepth 1 -name rarpack -type f | head -1)

# The same entries, stored and not solid.
stored=$build/show-stored
rm -rf "$stored" && mkdir -p "$stored/entries"
"$rarpack" x "$show/megadata.rar" -o "$stored/entries" >/dev/null
(cd "$stored/entries" && "$root/$rarpack" a -m0 ../megadata.rar data 3ds >/dev/null)
cp "$show/musik.xm" "$stored/"

echo "== default archive ($(stat -c %s "$show/megadata.rar") bytes, solid, compressed)"
(cd "$show" && "$root/$bench" "$@")
echo
echo "== stored, non-solid archive ($(stat -c %s "$stored/megadata.rar") bytes): loading only"
(cd "$stored" && "$root/$bench" --to 0 "$@" | head -1)
