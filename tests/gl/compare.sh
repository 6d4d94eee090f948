#!/usr/bin/env bash
# The show drawn through the ES layer against the desktop driver, both on this machine's
# Mesa: builds build/test and build/gles (KAVLO_GLES), runs the fixed-function suite in
# both, captures the contact sheet's times with each build's kavlo-capture and fails where
# a frame's RGB PSNR is under 30 dB; then plays the ES build's kavlo through the whole
# timeline and fails on any GL error it reports.
#   tests/gl/compare.sh [MS,MS,...]
set -euo pipefail
cd "$(dirname "$0")/../.."
jobs=$(nproc)
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy

for side in test gles; do
  flags=(-DKAVLO_TESTS=ON -DCMAKE_BUILD_TYPE=Release)
  [ $side = gles ] && flags+=(-DKAVLO_GLES=ON)
  echo "== build/$side" >&2
  cmake -S . -B build/$side "${flags[@]}" >/dev/null
  cmake --build build/$side -j"$jobs" --target fixed_function_test kavlo kavlo-capture kavlo_show_data
  ctest --test-dir build/$side --output-on-failure -R '^fixed_function_test$'
done

# By default the contact sheet's times, as the show lists them (kavlo-capture --timeline).
times=${1:-$(build/test/tools/capture/kavlo-capture --timeline |
  python3 -c 'import json, sys; print(*json.load(sys.stdin)["contactSheetMs"], sep=",")')}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for side in test gles; do
  mkdir -p "$work/$side"
  start=$(date +%s%N)
  (cd build/$side/show && ../tools/capture/kavlo-capture --fps 30 -q --at "$times" -o "$work/$side/")
  echo "kavlo-capture build/$side: $(( ($(date +%s%N) - start) / 1000000 )) ms" >&2
done

python3 - "$work" "$times" <<'PY'
import math, subprocess, sys
work, times = sys.argv[1], sys.argv[2].split(',')
def rgb(path):
    return subprocess.run(['ffmpeg', '-v', 'error', '-i', path, '-f', 'rawvideo', '-pix_fmt',
                           'rgb24', '-'], check=True, capture_output=True).stdout
low = []
print('%-8s %8s %8s' % ('time ms', 'max diff', 'PSNR dB'))
for t in times:
    a, b = rgb(f'{work}/test/at_{t}.png'), rgb(f'{work}/gles/at_{t}.png')
    diffs = [abs(x - y) for x, y in zip(a, b)]
    mse = sum(d * d for d in diffs) / len(diffs)
    psnr = math.inf if mse == 0 else 10 * math.log10(255 * 255 / mse)
    print('%-8s %8d %8.2f' % (t, max(diffs), psnr))
    if psnr < 30: low.append(t)
if low:
    sys.exit('compare.sh: under 30 dB at ' + ', '.join(low))
PY

echo "== build/gles: kavlo through the timeline" >&2
log="$work/kavlo.log"
(cd build/gles/show && KAVLO_TEST_FRAME_MS=50 ../kavlo/kavlo --windowed --mute) 2>"$log" \
  || { cat "$log" >&2; echo "compare.sh: kavlo over the ES layer failed" >&2; exit 1; }
if grep -q "GL error" "$log"; then
  grep "GL error" "$log" | head >&2
  echo "compare.sh: GL errors over the ES layer" >&2
  exit 1
fi
echo "compare.sh: the ES layer draws the show as the desktop driver does" >&2
