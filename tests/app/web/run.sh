#!/usr/bin/env bash
# The show in a web browser: builds build/web (scripts/build-web), renders kavlo-capture's
# frames at the contact-sheet times and its sync list, serves the page on localhost and
# plays it in headless Chromium (drive.mjs). Frames and figures land in build/web-test/.
#   tests/app/web/run.sh     (./test.sh --web)
set -euo pipefail
cd "$(dirname "$0")/../../.."
root=$PWD

. scripts/lib/messages.sh "web test"
case "${1:-}" in
  "") ;;
  -h|--help) usage; exit 0 ;;
  *) die "unknown option '$1' (see --help)" ;;
esac
for tool in chromium node python3 ffmpeg; do
  command -v "$tool" >/dev/null || die "'$tool' is missing; run scripts/setup --web"
done

scripts/build-web

# The reference: the Linux kavlo-capture on the Linux build's own data, which is the
# data build-web put on the page.
linux=$root/build/web-build/linux
say "building the Linux kavlo-capture"
nice -n 10 cmake --build "$linux" -j"$(nproc)" --target kavlo-capture >>"$root/build/web-build/linux.log" 2>&1 \
  || die "building kavlo-capture failed (see build/web-build/linux.log)"
for f in musik.xm megadata.rar; do
  cmp -s "$linux/show/$f" build/web/$f || die "build/web/$f is not the Linux build's $f"
done
out=$root/build/web-test
rm -rf "$out" && mkdir -p "$out/reference"
times=3000,10000,22000,35000,50000,65000,85000,107000,125000,148000,158000,168000
say "kavlo-capture: the frames at $times (5 frames a second) and the syncs"
(cd "$linux/show" && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy \
  "$linux/tools/capture/kavlo-capture" -q --fps 5 --at "$times" -o "$out/reference/" \
  && "$linux/tools/capture/kavlo-capture" --syncs >"$out/reference/syncs.txt") \
  || die "kavlo-capture failed"
for t in ${times//,/ }; do
  ffmpeg -v error -y -i "$out/reference/at_$t.png" -f rawvideo -pix_fmt rgb24 "$out/reference/at_$t.rgb"
done

# The page on a free port of localhost, for as long as this script runs.
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 -d build/web "$port" >"$out/server.log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  python3 -c "import urllib.request; urllib.request.urlopen('http://127.0.0.1:$port/files.json')" \
    2>/dev/null && break
  sleep 0.2
done

status=0
node tests/app/web/drive.mjs "http://127.0.0.1:$port/" "$out/reference" "$out" || status=$?
# The page's frames as pictures, beside the capture's.
for f in "$out"/web_*.rgba; do
  [ -f "$f" ] || continue
  ffmpeg -v error -y -f rawvideo -pix_fmt rgba -s 800x600 -i "$f" -vf vflip "${f%.rgba}.png" && rm -f "$f"
done
say "frames and figures in $out"
exit "$status"
