#!/usr/bin/env bash
# The desktop checks named (package, sound, wayland; all three when none is named),
# each timed; every one runs even when one before it failed.
#   tests/app/desktop/run.sh [package] [sound] [wayland]
set -euo pipefail
cd "$(dirname "$0")/../../.."
. scripts/lib/messages.sh run.sh
scripts/setup --desktop
checks=("$@")
[ ${#checks[@]} -gt 0 ] || checks=(package sound wayland)
failed=()
for name in "${checks[@]}"; do
  [ -x "tests/app/desktop/$name.sh" ] || { say "no check '$name'"; exit 2; }
  echo "== tests/app/desktop/$name.sh" >&2
  start=$SECONDS
  if "tests/app/desktop/$name.sh"; then
    echo "== tests/app/desktop/$name.sh passed in $((SECONDS - start)) s" >&2
  else
    echo "== tests/app/desktop/$name.sh FAILED after $((SECONDS - start)) s" >&2
    failed+=("$name")
  fi
done
[ ${#failed[@]} -eq 0 ] || die "failed: ${failed[*]}"
