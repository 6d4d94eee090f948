#!/usr/bin/env bash
# kavlo native on Wayland (SDL_VIDEODRIVER=wayland): a headless sway (wlroots, software
# renderer) at 1280x720, run with kavlo as an unprivileged user (nobody), since sway
# will not run as root. Screenshots by grim: full screen at the output's size with the
# picture 4:3 and centred between black sides; F11 (sent by wtype) gives a window, its
# tile taken alone and scaled the same way; F11 again full screen; Escape ends the show
# with status 0. The screenshots stay in build/test/wayland/.
set -euo pipefail
cd "$(dirname "$0")/../../.."
root=$PWD
build=${KAVLO_DESKTOP_BUILD:-build/test}   # the plain test build of ./test.sh

. scripts/lib/messages.sh "wayland test"
fail() { say "$*"; [ -n "${work:-}" ] && tail -5 "$work"/*.log >&2 2>/dev/null; exit 1; }
for tool in sway swaymsg grim wtype setpriv jq; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup --desktop installs it)"
done
cmake -S . -B "$build" -DKAVLO_TESTS=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target kavlo kavlo_show_data desktop-check >/dev/null
check=$root/$build/tests/app/desktop/desktop-check
out=$root/$build/wayland
rm -rf "$out"
mkdir -p "$out"

# Everything the test user touches lives in a folder of its own.
work=$(mktemp -d)
chmod 755 "$work"
sway_pid=""
kavlo_pid=""
cleanup() {
  [ -n "$kavlo_pid" ] && kill "$kavlo_pid" 2>/dev/null || true
  [ -n "$sway_pid" ] && kill "$sway_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/run" "$work/home" "$work/data"
cp "$build/app/desktop/kavlo" "$work/kavlo"
cp "$build/show/musik.xm" "$build/show/megadata.rar" "$work/data/"
cat >"$work/sway.conf" <<'EOF'
output HEADLESS-1 resolution 1280x720 position 0 0
EOF
chown -R nobody:nogroup "$work/run" "$work/home" "$work/data"
chmod 700 "$work/run"

as_user() {
  setpriv --reuid=nobody --regid=nogroup --clear-groups \
    env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/run" "$@"
}

# exec all the way down, so that $! is sway's own process and the clean-up ends it.
(exec setpriv --reuid=nobody --regid=nogroup --clear-groups \
  env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/run" \
  WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
  sway -c "$work/sway.conf") >"$work/sway.log" 2>&1 &
sway_pid=$!
for _ in $(seq 100); do
  [ -S "$work/run/wayland-1" ] && ls "$work"/run/sway-ipc.*.sock >/dev/null 2>&1 && break
  sleep 0.1
done
[ -S "$work/run/wayland-1" ] || fail "sway did not start"
sock=$(ls "$work"/run/sway-ipc.*.sock | head -1)
ipc() { as_user SWAYSOCK="$sock" swaymsg "$@"; }
wl() { as_user WAYLAND_DISPLAY=wayland-1 "$@"; }

# kavlo's view in sway's tree, through a jq filter.
view() {
  ipc -t get_tree -r 2>/dev/null |
    jq -r "[.. | objects | select(.pid? != null and (.app_id? // .name? // \"\" | test(\"kavlo\"; \"i\")))][0] | $1" ||
    true
}
# 1 when kavlo's view is full screen, 0 when not, nothing while it has none.
fullscreen() { view '.fullscreen_mode // empty'; }
wait_for() {
  local want=$1 state=""
  for _ in $(seq 100); do
    state=$(fullscreen)
    [ "$state" = "$want" ] && return 0
    sleep 0.1
  done
  fail "kavlo's view is not in the state $want (it is '${state}')"
}
# The output, or the part of it given as "X,Y WxH".
shot() {
  local where=(-o HEADLESS-1)
  [ -n "${2:-}" ] && where=(-g "$2")
  wl grim "${where[@]}" - >"$out/$1.png" || fail "grim could not take $1"
}

(cd "$work/home" && exec setpriv --reuid=nobody --regid=nogroup --clear-groups \
  env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/run" WAYLAND_DISPLAY=wayland-1 \
  SDL_VIDEODRIVER=wayland SDL_AUDIODRIVER=dummy "$work/kavlo" --data "$work/data") >"$work/kavlo.log" 2>&1 &
kavlo_pid=$!

echo "== full screen" >&2
wait_for 1
sleep 8   # the loading picture, then a few seconds of the show
shot fullscreen
"$check" picture "$out/fullscreen.png" --bars >&2 || fail "the full-screen picture is not 4:3 between black sides"

echo "== F11: a window" >&2
wl wtype -s 1500 -k F11 -s 300
wait_for 0
sleep 2
# Inside the title and border sway draws: the window's own pixels.
shot window "$(view '"\(.rect.x + .window_rect.x),\(.rect.y + .window_rect.y) \(.window_rect.width)x\(.window_rect.height)"')"
"$check" picture "$out/window.png" --bars >&2 || fail "the window's picture does not fill its tile, 4:3 between black sides"

echo "== F11: full screen again" >&2
wl wtype -s 1500 -k F11 -s 300
wait_for 1
sleep 2
shot fullscreen-again
"$check" picture "$out/fullscreen-again.png" --bars >&2 || fail "full screen again is not 4:3 between black sides"

echo "== Escape" >&2
wl wtype -s 1500 -k Escape -s 300
status=0
for _ in $(seq 100); do kill -0 "$kavlo_pid" 2>/dev/null || break; sleep 0.1; done
wait "$kavlo_pid" || status=$?
kavlo_pid=""
cp "$work/kavlo.log" "$work/sway.log" "$out/"
[ "$status" = 0 ] || fail "kavlo ended with $status after Escape: $(cat "$out/kavlo.log")"
say "full screen, window, full screen, Escape; screenshots in $out"
