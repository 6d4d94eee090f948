#!/usr/bin/env bash
# kavlo through the kind of sound server a desktop runs: a private PipeWire with its
# PulseAudio service and WirePlumber (and a D-Bus of its own), all in this test's own
# runtime folder with a null sink; nothing of the machine's is touched. kavlo plays
# with sound, as a user starts it (no SDL_AUDIODRIVER, no --mute), and the sink's
# monitor is recorded:
#   - with an empty Mesa shader cache (a first run on a new machine) for a few seconds,
#   - with that cache warm, for the whole show, compared with kavlo-capture --audio-only
#     (normalised correlation of each 4 s window >= 0.9, no gap, no repeat).
# Both runs must play their first note within KAVLO_FIRST_NOTE_LIMIT s (2) of kavlo's
# start. Figures are printed; the recordings stay in build/test/sound/.
set -euo pipefail
cd "$(dirname "$0")/../../.."
root=$PWD
build=${KAVLO_DESKTOP_BUILD:-build/test}   # the plain test build of ./test.sh
limit=${KAVLO_FIRST_NOTE_LIMIT:-2}
rate=44100

. scripts/lib/messages.sh "sound test"
for tool in pipewire pipewire-pulse wireplumber pactl parec dbus-daemon; do
  command -v "$tool" >/dev/null || die "$tool is missing (scripts/setup --desktop installs it)"
done
cmake -S . -B "$build" -DKAVLO_TESTS=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target kavlo kavlo-capture kavlo_show_data desktop-check >/dev/null
kavlo=$root/$build/app/desktop/kavlo
check=$root/$build/tests/app/desktop/desktop-check
out=$root/$build/sound
rm -rf "$out"
mkdir -p "$out"

work=$(mktemp -d)
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

echo "== the reference: kavlo-capture --audio-only" >&2
(cd "$build/show" && SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy \
  ../tools/capture/kavlo-capture -q --audio-only "$out/reference.wav")

echo "== a private PipeWire in $work" >&2
mkdir -m 700 "$work/run"
mkdir -p "$work/home" "$work/config"
export XDG_RUNTIME_DIR=$work/run HOME=$work/home XDG_CONFIG_HOME=$work/config
export XDG_STATE_HOME=$work/home/state XDG_DATA_HOME=$work/home/data
unset PULSE_SERVER PULSE_SINK PIPEWIRE_REMOTE SDL_AUDIODRIVER DISPLAY WAYLAND_DISPLAY
dbus-daemon --session --address="unix:path=$work/run/bus" --nofork --nopidfile >"$out/dbus.log" 2>&1 &
pids+=($!)
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/run/bus
for _ in $(seq 50); do [ -S "$work/run/bus" ] && break; sleep 0.1; done
pipewire >"$out/pipewire.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -S "$work/run/pipewire-0" ] && break; sleep 0.1; done
wireplumber >"$out/wireplumber.log" 2>&1 &
pids+=($!)
pipewire-pulse >"$out/pipewire-pulse.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
pactl info >/dev/null 2>&1 || die "the PulseAudio service of PipeWire did not start (see $out)"
pactl load-module module-null-sink sink_name=kavlo_null rate=$rate channels=2 >/dev/null
for _ in $(seq 50); do pactl list short sinks | grep -q kavlo_null && break; sleep 0.1; done
# The user's default output; where the session manager will not take it, the stream's.
pactl set-default-sink kavlo_null 2>/dev/null || export PULSE_SINK=kavlo_null

# play NAME SECONDS [ENV...]: kavlo for at most SECONDS with the monitor recorded;
# prints the wall time of the recording's first frame and of kavlo's start.
play() {
  local name=$1 seconds=$2
  shift 2
  parec -d kavlo_null.monitor --raw --format=s16le --rate=$rate --channels=2 \
    --latency-msec=10 >"$out/$name.raw" 2>"$out/$name.parec.log" &
  local recorder=$!
  pids+=($recorder)
  # Time nothing from the recorder's start: wait for it to deliver, then fit.
  for _ in $(seq 100); do [ -s "$out/$name.raw" ] && break; sleep 0.05; done
  [ -s "$out/$name.raw" ] || die "the recorder delivers nothing"
  "$check" clock "$out/$name.raw" 8 4 $rate >"$out/$name.frame0" &
  local clock=$!
  pids+=($clock)
  sleep 1
  local status=0
  (cd "$work/home" && date +%s.%N >"$out/$name.launched" &&
    exec env "$@" SDL_VIDEODRIVER=offscreen timeout --preserve-status -s TERM "$seconds" \
      "$kavlo" --windowed) >"$out/$name.log" 2>&1 || status=$?
  sleep 1
  kill "$recorder"
  wait "$clock" || die "the recorder's clock could not be read"
  [ "$status" = 0 ] || die "kavlo ($name) ended with $status: $(cat "$out/$name.log")"
  grep -q "no sound device" "$out/$name.log" && die "kavlo found no sound device: $(cat "$out/$name.log")"
  return 0
}

cache=$work/shader-cache
echo "== kavlo with an empty shader cache" >&2
play cold 8 MESA_SHADER_CACHE_DIR="$cache"
echo "== kavlo with the shader cache warm: the whole show" >&2
play warm 200 MESA_SHADER_CACHE_DIR="$cache"
echo "shader cache after the runs: $(du -sk "$cache" 2>/dev/null | cut -f1) KiB" >&2

result=0
for name in cold warm; do
  # The short run's windows past its end are missing; only its first note counts.
  "$check" sound "$out/$name.raw" $rate "$out/reference.wav" "$(cat "$out/$name.frame0")" \
    "$(cat "$out/$name.launched")" >"$out/$name.txt" || true
  first=$(sed -n 's/^launch_to_first_note_s //p' "$out/$name.txt")
  echo "$name cache: first note ${first} s after kavlo's start" >&2
  awk -v t="$first" -v l="$limit" 'BEGIN { exit !(t != "" && t < l) }' ||
    { say "the first note came later than $limit s"; result=1; }
done
grep -E "^(windows|lowest|jumps|gap|repeat|offset_frames)" "$out/warm.txt" >&2
grep -q "^ok$" "$out/warm.txt" || { say "the recording does not hold the music (see $out/warm.txt)"; result=1; }
exit $result
