#!/usr/bin/env bash
# Compares the show's frames from two builds: captures single frames at fixed times with
# each build's kavlo-capture (in its own show folder, with its own data), prints per time
# whether the frames are byte-identical, else the largest per-channel difference and the
# PSNR, and writes docs/contact-sheet-compare.jpg (before | after for every time).
#   docs/compare-frames.sh BEFORE_BUILD AFTER_BUILD [MS,MS,...]
# Build folders are relative to the repository root or absolute.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
[ $# -ge 2 ] || { echo "usage: docs/compare-frames.sh BEFORE_BUILD AFTER_BUILD [MS,MS,...]" >&2; exit 2; }
abs() { case $1 in /*) echo "$1" ;; *) echo "$root/$1" ;; esac; }
before=$(abs "$1")
after=$(abs "$2")
list=${3:-3000,10000,22000,35000,45500,50000,56000,65000,85000,107000,125000,148000,156000,158000,163000,168000}
IFS=, read -r -a times <<<"$list"
for b in "$before" "$after"; do
  [ -x "$b/tools/capture/kavlo-capture" ] || { echo "compare-frames.sh: no kavlo-capture in $b" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for side in before after; do
  b=$before
  [ $side = after ] && b=$after
  mkdir -p "$work/$side"
  (cd "$b/show" && "$b/tools/capture/kavlo-capture" --fps 30 -q --at "$list" -o "$work/$side/")
done

printf "%-10s %-10s %8s %8s\n" "time ms" "same" "max diff" "PSNR dB"
labels=()
for t in "${times[@]}"; do
  for side in before after; do
    ffmpeg -v error -y -i "$work/$side/at_$t.png" -f rawvideo -pix_fmt rgb24 "$work/$side/$t.rgb"
  done
  line=$(python3 - "$work/before/$t.rgb" "$work/after/$t.rgb" <<'EOF'
import math, sys
a = open(sys.argv[1], 'rb').read()
b = open(sys.argv[2], 'rb').read()
if a == b:
    print("yes 0 inf")
else:
    diffs = [abs(x - y) for x, y in zip(a, b)]
    mse = sum(d * d for d in diffs) / len(diffs)
    print("no", max(diffs), "%.2f" % (10 * math.log10(255 * 255 / mse)))
EOF
)
  read -r same maxd psnr <<<"$line"
  printf "%-10s %-10s %8s %8s\n" "$t" "$same" "$maxd" "$psnr"
  if [ "$same" = yes ]; then labels+=("identical"); else labels+=("max $maxd, PSNR $psnr dB"); fi
done

font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
inputs=()
filters=""
n=${#times[@]}
for i in "${!times[@]}"; do
  t=${times[$i]}
  inputs+=(-i "$work/before/at_$t.png" -i "$work/after/at_$t.png")
  sec="$((t / 1000)).$(printf %03d $((t % 1000))) s"
  filters+="[$((2 * i)):v]scale=320:240,drawtext=fontfile=$font:text='before $sec':x=6:y=6:fontsize=15:fontcolor=white:box=1:boxcolor=black@0.6:boxborderw=3[b$i];"
  filters+="[$((2 * i + 1)):v]scale=320:240,drawtext=fontfile=$font:text='after\: ${labels[$i]}':x=6:y=6:fontsize=15:fontcolor=white:box=1:boxcolor=black@0.6:boxborderw=3[a$i];"
  filters+="[b$i][a$i]hstack=inputs=2[p$i];"
done
# Pairs in two columns.
layout=""
stack=""
for i in "${!times[@]}"; do
  stack+="[p$i]"
  x=$(( (i % 2) * 640 ))
  y=$(( (i / 2) * 240 ))
  layout+="${x}_${y}|"
done
ffmpeg -hide_banner -loglevel error -y "${inputs[@]}" \
  -filter_complex "${filters}${stack}xstack=inputs=$n:layout=${layout%|}:fill=black" \
  -frames:v 1 -q:v 3 "$root/docs/contact-sheet-compare.jpg"
echo "compare-frames.sh: wrote docs/contact-sheet-compare.jpg" >&2
