#!/usr/bin/env bash
# Measures where the page's syncs land against the sound that is heard, as run.sh does for
# the desktop: the page in Firefox ESR on a private Xvfb, its sound through a private
# PulseAudio with a null sink; a patch of the picture grabbed every 5 ms (the page's
# ?flash-syncs draws each sync's frame white) and the sink's monitor recorded; then
# kavlo-sync-offsets prints flash minus note for the syncs of the first S seconds.
#   bench/sync/web.sh [--before DIR] [--rounds N] [--seconds S]
# It plays build/web (scripts/build-web); --before DIR also plays another build's page
# folder (one whose program takes --flash-syncs), before it in each round. S defaults to
# 50 (the syncs from 18 s to 49.5 s). The recordings stay in build/bench/sync-web/.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
before=""
rounds=1
seconds=50
while [ $# -gt 0 ]; do
  case $1 in
    --before) before=$(realpath "${2:?--before needs a folder}"); shift 2 ;;
    --rounds) rounds=${2:?--rounds needs a number}; shift 2 ;;
    --seconds) seconds=${2:?--seconds needs a number}; shift 2 ;;
    -h|--help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "web.sh: unknown option '$1' (see --help)" >&2; exit 2 ;;
  esac
done
for tool in Xvfb pulseaudio parec ffmpeg xdotool firefox-esr node; do
  command -v "$tool" >/dev/null || { echo "web.sh: $tool is missing (scripts/setup --web)" >&2; exit 1; }
done
capture=$root/build/web-build/linux/tools/capture/kavlo-capture
[ -f build/web/kavlo.wasm ] && [ -x "$capture" ] || { echo "web.sh: run scripts/build-web first" >&2; exit 1; }
bench=$root/build/bench
cmake -S . -B "$bench" -DCMAKE_BUILD_TYPE=Release -DKAVLO_BENCH=ON >/dev/null
cmake --build "$bench" --target kavlo-sync-offsets >"$bench.log" 2>&1 ||
  { echo "web.sh: building kavlo-sync-offsets failed (see $bench.log)" >&2; exit 1; }

out=$bench/sync-web
rm -rf "$out" && mkdir -p "$out"
work=$(mktemp -d)
. scripts/lib/messages.sh web.sh
. scripts/lib/private-servers.sh
(cd build/web-build/linux/show && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy "$capture" -q --audio-only "$out/reference.wav" &&
  SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy "$capture" --syncs) | awk -v end="$seconds" '$1 < end * 1000' >"$out/syncs.txt"

start_private_servers "$work" "$out" 1024x768x24 "rate=44100 channels=2"

plays=()
for r in $(seq 1 "$rounds"); do
  [ -n "$before" ] && plays+=("before-$r=$before")
  plays+=("after-$r=$root/build/web")
done
echo "== uptime: $(uptime)"
HOME=$work/home XDG_CACHE_HOME=$work/home/cache XDG_DATA_HOME=$work/home/data XDG_CONFIG_HOME=$work/home \
  node bench/sync/web.mjs "$bench/bench/sync/kavlo-sync-offsets" "$out" "$seconds" "${plays[@]}"
