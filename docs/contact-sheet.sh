#!/usr/bin/env bash
# Makes docs/contact-sheet.png: one frame from each effect window of the show, labelled
# with its time, from the default data.
#   docs/contact-sheet.sh [BUILD_DIR]   (default build/release, built by ./run.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build/release}
capture=$root/$build/tools/capture/kavlo-capture
[ -x "$capture" ] || { echo "contact-sheet.sh: build first (./run.sh or cmake --build $build)" >&2; exit 1; }
# The times are the show's own (kavlo-capture --timeline): one or two in each window.
times=($("$capture" --timeline | python3 -c 'import json, sys; print(*json.load(sys.stdin)["contactSheetMs"])'))
[ "${#times[@]}" = 12 ] || { echo "contact-sheet.sh: the sheet has room for 12 times, the show lists ${#times[@]}" >&2; exit 1; }
frames=$(mktemp -d)
trap 'rm -rf "$frames"' EXIT
(cd "$build/show" && "$capture" --fps 30 -q --at "$(IFS=,; echo "${times[*]}")" -o "$frames/")

font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
inputs=()
filters=""
for i in "${!times[@]}"; do
  t=${times[$i]}
  inputs+=(-i "$frames/at_$t.png")
  filters+="[$i:v]scale=320:240,drawtext=fontfile=$font:text='$((t / 1000)).$(printf %03d $((t % 1000))) s':x=8:y=8:fontsize=18:fontcolor=white:box=1:boxcolor=black@0.6:boxborderw=4[v$i];"
done
stack=""
for i in "${!times[@]}"; do stack+="[v$i]"; done
layout="0_0|w0_0|w0+w1_0|w0+w1+w2_0|0_h0|w0_h0|w0+w1_h0|w0+w1+w2_h0|0_h0+h4|w0_h0+h4|w0+w1_h0+h4|w0+w1+w2_h0+h4"
ffmpeg -hide_banner -loglevel error -y "${inputs[@]}" \
  -filter_complex "${filters}${stack}xstack=inputs=${#times[@]}:layout=$layout" \
  -frames:v 1 "$root/docs/contact-sheet.png"
echo "contact-sheet.sh: wrote docs/contact-sheet.png" >&2
