#!/usr/bin/env bash
# The desktop checks, each timed: package (install, play, purge), then with "desktop"
# the sound through a private sound server and kavlo on a headless Wayland compositor.
#   tests/desktop/run.sh package|desktop
set -euo pipefail
cd "$(dirname "$0")/../.."
scripts/setup --desktop
checks=(package)
[ "${1:-desktop}" = desktop ] && checks=(package sound wayland)
for name in "${checks[@]}"; do
  echo "== tests/desktop/$name.sh" >&2
  start=$SECONDS
  "tests/desktop/$name.sh"
  echo "== tests/desktop/$name.sh passed in $((SECONDS - start)) s" >&2
done
