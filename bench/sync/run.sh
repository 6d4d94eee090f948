#!/usr/bin/env bash
# Measures where the picture's syncs land against the sound that is heard, through a
# sound server: kavlo in a window on Xvfb with its sound through a private PulseAudio
# with a null sink; ffmpeg records the screen (x11grab at 200 fps, each frame stamped
# with the wall clock) and parec the sink's monitor (its first frame's wall time fitted from the
# file's growth, as tests/app/desktop/sound.sh does: ffmpeg's own pulse input stamped the
# sound 60 to 250 ms away from when it arrived). kavlo runs with KAVLO_TEST_FLASH=1, so
# every frame carrying a sync is white; kavlo-sync-offsets finds each sync's note in the
# recording (against kavlo-capture's rendering of the music) and prints flash minus note.
#   bench/sync/run.sh [--before REV] [--rounds N] [--seconds S] [--size WxH] [--pause AT,FOR]
# --before REV also builds git revision REV's tree (it needs KAVLO_TEST_FLASH) and plays
# both in turn in the same session, N rounds (default 1). S seconds of the show are
# played (default 50: the syncs from 18 s to 49.5 s); WxH is the window (default
# 320x240, small enough for the software renderer to keep up). --pause presses Space AT
# seconds after kavlo starts and again FOR seconds later. Nothing of the machine's
# own sound or display is used; everything started is stopped on the way out. The
# recordings and their measurements stay in the build folder's sync/.
# KAVLO_BENCH_BUILD picks the build folder (default build/bench).
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
build=${KAVLO_BENCH_BUILD:-build/bench}
case $build in /*) ;; *) build=$root/$build ;; esac

before=""
rounds=1
seconds=50
size=320x240
pause=""
while [ $# -gt 0 ]; do
  case $1 in
    --before) before=${2:?--before needs a revision}; shift 2 ;;
    --rounds) rounds=${2:?--rounds needs a number}; shift 2 ;;
    --seconds) seconds=${2:?--seconds needs a number}; shift 2 ;;
    --size) size=${2:?--size needs WxH}; shift 2 ;;
    --pause) pause=${2:?--pause needs AT,FOR}; shift 2 ;;
    -h|--help) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run.sh: unknown option '$1' (see --help)" >&2; exit 2 ;;
  esac
done
for tool in Xvfb pulseaudio pactl parec ffmpeg xdotool; do
  command -v "$tool" >/dev/null || { echo "run.sh: $tool is missing (scripts/setup --desktop)" >&2; exit 1; }
done

build_tree() {  # source folder, build folder, targets...
  local src=$1 dir=$2
  shift 2
  nice -n 15 cmake -S "$src" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DKAVLO_BENCH=ON >/dev/null
  nice -n 15 cmake --build "$dir" -j"$(nproc)" --target "$@" >"$dir.log" 2>&1 ||
    { echo "run.sh: the build in $dir failed (see $dir.log)" >&2; exit 1; }
}
build_tree "$root" "$build" kavlo kavlo-capture kavlo_show_data kavlo-sync-offsets
show=$build/show
offsets=$build/bench/sync/kavlo-sync-offsets
if [ -n "$before" ]; then
  old=$build-sync-before
  rm -rf "$old/src" && mkdir -p "$old/src"
  git -C "$root" archive "$before" | tar -x -C "$old/src"
  build_tree "$old/src" "$old/build" kavlo kavlo_show_data
  old_kavlo=$old/build/app/desktop/kavlo
  [ -x "$old_kavlo" ] || old_kavlo=$old/build/kavlo/kavlo  # a revision before app/
fi

work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -m 700 "$work/run"
mkdir -p "$work/home"
export XDG_RUNTIME_DIR=$work/run HOME=$work/home MESA_SHADER_CACHE_DIR=$work/shader-cache
unset PULSE_SINK DISPLAY WAYLAND_DISPLAY SDL_VIDEODRIVER

echo "== the reference: kavlo-capture --audio-only and --syncs" >&2
(cd "$show" && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy \
  "$build/tools/capture/kavlo-capture" -q --audio-only "$work/reference.wav")
(cd "$show" && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy \
  "$build/tools/capture/kavlo-capture" --syncs) | awk -v end="$seconds" '$1 < end * 1000' >"$work/syncs.txt"

echo "== Xvfb at $size and a private PulseAudio with a null sink" >&2
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
display=":$(head -1 "$work/display")"
cat >"$work/default.pa" <<PA
load-module module-native-protocol-unix socket=$work/run/pulse.sock
load-module module-null-sink sink_name=kavlo_null rate=44100 channels=2
set-default-sink kavlo_null
PA
pulseaudio -n -F "$work/default.pa" --daemonize=no --exit-idle-time=-1 --disallow-exit \
  --use-pid-file=no --log-target=file:"$work/pulse.log" >/dev/null 2>&1 &
pids+=($!)
export PULSE_SERVER=unix:$work/run/pulse.sock
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || { echo "run.sh: PulseAudio did not start ($work/pulse.log)" >&2; cat "$work/pulse.log" >&2; exit 1; }

# play NAME KAVLO SHOW: one recording of the screen and the sink, then the offsets.
play() {
  local name=$1 kavlo=$2 data=$3 out=$build/sync/$1
  rm -rf "$out" && mkdir -p "$out"
  ffmpeg -hide_banner -loglevel error -y -f x11grab -draw_mouse 0 -framerate 200 -video_size "$size" \
    -i "$display" -copyts -vf "signalstats,metadata=print:file=$out/luma.txt" -f null - \
    </dev/null >"$out/ffmpeg.log" 2>&1 &
  local recorder=$!
  pids+=($recorder)
  parec -d kavlo_null.monitor --raw --format=s16le --rate=44100 --channels=2 --latency-msec=10 \
    >"$out/sound.raw" 2>/dev/null &
  local listener=$!
  pids+=($listener)
  for _ in $(seq 100); do [ -s "$out/sound.raw" ] && break; sleep 0.05; done
  "$offsets" clock "$out/sound.raw" 8 >"$out/frame0" &
  local clock=$!
  pids+=($clock)
  sleep 2
  if [ -n "$pause" ]; then
    (sleep "${pause%,*}"; DISPLAY=$display xdotool key space; sleep "${pause#*,}"
     DISPLAY=$display xdotool key space) &
    pids+=($!)
  fi
  (DISPLAY=$display SDL_VIDEODRIVER=x11 SDL_AUDIODRIVER=pulseaudio KAVLO_TEST_FLASH=1 \
    timeout --preserve-status -s TERM "$seconds" "$kavlo" --windowed --size "$size" --data "$data") \
    >"$out/kavlo.log" 2>&1 || true
  sleep 1
  kill -INT "$recorder"
  kill "$listener"
  wait "$recorder" "$listener" "$clock" || true
  echo "== $name: $(grep -c pts_time "$out/luma.txt") screen frames, sound from $(cat "$out/frame0") s"
  "$offsets" "$out/luma.txt" "$out/sound.raw" "$(cat "$out/frame0")" "$work/reference.wav" \
    "$work/syncs.txt" | tee "$out/offsets.txt" || true
}

echo "== uptime: $(uptime)"
for r in $(seq 1 "$rounds"); do
  [ -n "$before" ] && play "before-$r" "$old_kavlo" "$old/build/show"
  play "after-$r" "$build/app/desktop/kavlo" "$show"
done
