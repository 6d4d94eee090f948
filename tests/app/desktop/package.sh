#!/usr/bin/env bash
# The package installed for real on this machine: scripts/package builds and checks it,
# apt-get installs it, kavlo --help and man -w kavlo answer, the show plays 20 s from an
# empty folder on Xvfb (a screenshot shows it, the logs go to the state folder), and
# apt-get purge leaves no file of the package and nothing new on the file system.
# Needs root (apt-get); run by ./test.sh --package.
set -euo pipefail
cd "$(dirname "$0")/../../.."
root=$PWD
build=${KAVLO_DESKTOP_BUILD:-build/test}   # the plain test build of ./test.sh
check=$root/$build/tests/app/desktop/desktop-check

. scripts/lib/messages.sh "package test"
[ "$(id -u)" = 0 ] || die "needs root for apt-get"
deb=$(scripts/package | tail -1)
[ -f "$deb" ] || die "scripts/package made no package"

cmake -S . -B "$build" -DKAVLO_TESTS=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target desktop-check >/dev/null

work=$(mktemp -d)
xvfb=""
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

if dpkg-query -W -f='${Status}' kavlo 2>/dev/null | grep -q "install ok installed"; then
  die "kavlo is installed already; apt-get purge kavlo first"
fi

# What the file system holds outside the places that change by themselves (the X
# servers' keymap cache among them).
snapshot() {
  find / -xdev \( -path /proc -o -path /sys -o -path /dev -o -path /run -o -path /tmp \
    -o -path /work -o -path /root -o -path /var/log -o -path /var/cache/apt -o -path /var/lib/apt \
    -o -path /var/cache/debconf -o -path /var/cache/man -o -path /var/lib/dpkg -o -path /var/lib/xkb \
    -o -path "$root" \) -prune -o -print | sort
}
snapshot > "$work/before.txt"

echo "== apt-get install $deb" >&2
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
dpkg -L kavlo | sort > "$work/owned.txt"
export PATH="$PATH:/usr/games"   # as on a user's PATH; root's lacks it

kavlo --help | grep -q "XDG_STATE_HOME/kavlo" || die "kavlo --help does not say where the logs go"
[ "$(man -w kavlo)" = /usr/share/man/man6/kavlo.6.gz ] || die "man -w kavlo: $(man -w kavlo)"
for page in kavlo-capture rarpack kavlo-data; do man -w "$page" >/dev/null || die "no manual page $page"; done
man kavlo 2>/dev/null | grep -q "KAVLO_CHECK_GUARDS" || die "man kavlo does not show the environment"
desktop-file-validate /usr/share/applications/kavlo.desktop
appstreamcli validate --no-net /usr/share/metainfo/*.metainfo.xml >/dev/null
grep -q '^Exec=/usr/games/kavlo$' /usr/share/applications/kavlo.desktop || die "the menu entry does not run /usr/games/kavlo"

echo "== kavlo for 20 s on Xvfb from an empty folder" >&2
mkdir -p "$work/empty" "$work/home"
Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
display=":$(head -1 "$work/display")"
[ "$display" != ":" ] || die "Xvfb did not start: $(cat "$work/xvfb.log")"
status=0
(cd "$work/empty" && env -u XDG_STATE_HOME HOME="$work/home" DISPLAY="$display" SDL_AUDIODRIVER=dummy \
  timeout --preserve-status -s TERM 20 kavlo >"$work/kavlo.log" 2>&1 &
 sleep 12
 ffmpeg -loglevel error -y -f x11grab -video_size 1280x720 -i "$display" -frames:v 1 "$work/shot.png"
 wait) || status=$?
# SIGTERM is SDL's quit: the show ends as by Escape.
[ "$status" = 0 ] || die "kavlo ended with $status: $(cat "$work/kavlo.log")"
"$check" picture "$work/shot.png" --bars || die "the screenshot does not show the show"
[ -z "$(ls -A "$work/empty")" ] || die "kavlo wrote into the folder it started in: $(ls -A "$work/empty")"
[ -s "$work/home/.local/state/kavlo/memleaks.log" ] || die "no memleaks.log in ~/.local/state/kavlo"
[ "$(ls /usr/share/kavlo)" = "$(printf 'megadata.rar\nmusik.xm')" ] || die "kavlo wrote into /usr/share/kavlo: $(ls /usr/share/kavlo)"

echo "== apt-get purge kavlo" >&2
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq kavlo >/dev/null
left=0
while read -r path; do
  if [ -e "$path" ] && [ ! -d "$path" ]; then echo "left behind: $path" >&2; left=1; fi
done < "$work/owned.txt"
snapshot > "$work/after.txt"
# Only what is new counts: other programs may remove their own files meanwhile.
comm -13 "$work/before.txt" "$work/after.txt" > "$work/new.txt"
if [ -s "$work/new.txt" ]; then
  sed 's/^/new after purge: /' "$work/new.txt" >&2
  left=1
fi
[ "$left" = 0 ] || die "apt-get purge left the file system changed"
say "$(wc -l < "$work/owned.txt") paths installed and purged; the file system is as before"
