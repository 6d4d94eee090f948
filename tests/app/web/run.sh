#!/usr/bin/env bash
# The show in web browsers: builds build/web (scripts/build-web), renders kavlo-capture's
# frames at the contact-sheet times and its sync list, and plays the page in headless
# Chromium, in Firefox ESR and in WebKitGTK's MiniBrowser (drive.mjs), the last two on a
# private Xvfb with a private PulseAudio whose only output is a null sink. Frames and
# figures land in build/web-test/.
#   tests/app/web/run.sh [ENGINE...] [PART...]     (./test.sh --web: all of them)
# ENGINE: chromium, firefox, webkit; PART: frames, music, controls, phone, offline, extras
# (see drive.mjs).
set -euo pipefail
cd "$(dirname "$0")/../../.."
root=$PWD

. scripts/lib/messages.sh "web test"
case "${1:-}" in
  -h|--help) usage; exit 0 ;;
esac
for tool in chromium firefox-esr WebKitWebDriver node python3 ffmpeg Xvfb pulseaudio; do
  command -v "$tool" >/dev/null || die "'$tool' is missing; run scripts/setup --web"
done
started=$SECONDS

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
# The contact sheet's times, from the program's timeline that build-web put on the page.
times=$(node -p 'require("./build/web/timeline.json").contactSheetMs.join()')
say "kavlo-capture: the frames at $times (5 frames a second) and the syncs"
(cd "$linux/show" && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy \
  "$linux/tools/capture/kavlo-capture" -q --fps 5 --at "$times" -o "$out/reference/" \
  && "$linux/tools/capture/kavlo-capture" --syncs >"$out/reference/syncs.txt") \
  || die "kavlo-capture failed"
for t in ${times//,/ }; do
  ffmpeg -v error -y -i "$out/reference/at_$t.png" -f rawvideo -pix_fmt rgb24 "$out/reference/at_$t.rgb"
done
say "the references took $((SECONDS - started)) s"

# The X server and the sound server, this script's own, for as long as it runs.
. scripts/lib/private-servers.sh
work=$(mktemp -d)
start_private_servers "$work" "$out" 1920x1200x24

status=0
# The browsers keep what they write in this script's folders, not the user's.
HOME=$work/home XDG_CACHE_HOME=$work/home/cache XDG_DATA_HOME=$work/home/data XDG_CONFIG_HOME=$work/home \
  node tests/app/web/drive.mjs build/web "$out/reference" "$out" "$@" || status=$?
# The page's frames as pictures, beside the capture's.
for f in "$out"/*/web_*.rgba; do
  [ -f "$f" ] || continue
  ffmpeg -v error -y -f rawvideo -pix_fmt rgba -s 800x600 -i "$f" -vf vflip "${f%.rgba}.png" && rm -f "$f"
done
say "frames and figures in $out; the web test took $((SECONDS - started)) s"
exit "$status"
