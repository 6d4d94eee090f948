# An X server and a sound server of a script's own, for as long as it runs: Xvfb on a free
# display and PulseAudio whose only output is a null sink, both stopped (and WORK removed)
# when the script exits. Needs say/die (scripts/lib/messages.sh).
#   start_private_servers WORK LOGS SCREEN [SINK_ARGS]
# WORK: an empty folder (the servers' home and socket); LOGS: where xvfb.log and
# pulseaudio.log go; SCREEN: Xvfb's WxHxD. Sets DISPLAY and PULSE_SERVER.
private_server_pids=()
stop_private_servers() {
  local pid
  for pid in "${private_server_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${private_server_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$private_server_work"
}
start_private_servers() {
  local work=$1 logs=$2 screen=$3 sink_args=${4:-}
  private_server_work=$work
  trap stop_private_servers EXIT
  Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$work/display" >"$logs/xvfb.log" 2>&1 &
  private_server_pids+=($!)
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || die "Xvfb did not start: $(cat "$logs/xvfb.log")"
  export DISPLAY=:$(head -n1 "$work/display")
  mkdir -m 700 "$work/run" "$work/home"
  HOME=$work/home XDG_RUNTIME_DIR=$work/run XDG_CONFIG_HOME=$work/home \
    pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit --log-target=stderr \
    "--load=module-native-protocol-unix socket=$work/run/native auth-anonymous=1" \
    "--load=module-null-sink sink_name=kavlo_null $sink_args" >"$logs/pulseaudio.log" 2>&1 &
  private_server_pids+=($!)
  for _ in $(seq 100); do [ -S "$work/run/native" ] && break; sleep 0.1; done
  [ -S "$work/run/native" ] || die "PulseAudio did not start: $(cat "$logs/pulseaudio.log")"
  export PULSE_SERVER=unix:$work/run/native
}
