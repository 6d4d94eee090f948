#!/usr/bin/env bash
# Builds Kavlo and plays the show from the folder that holds its data. Where there is
# no display, it captures the show to kavlo-show.mp4 instead.
# Arguments are passed to kavlo (for example --windowed).
set -euo pipefail
cd "$(dirname "$0")"
root=$PWD

scripts/setup
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$(nproc)"

# The build generates the default show data into build/release/show.
show=build/release/show
mkdir -p "$show"
cd "$show"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display; capturing the show to $root/kavlo-show.mp4" >&2
  "$root/build/release/tools/capture/kavlo-capture" -o "$root/kavlo-show.mp4"
  echo "run.sh: the show is in $root/kavlo-show.mp4" >&2
  exit 0
fi
exec "$root/build/release/app/desktop/kavlo" "$@"
