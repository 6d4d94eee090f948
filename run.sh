#!/usr/bin/env bash
# Builds Kavlo and plays the show from the folder that holds its data.
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
exec "$root/build/release/kavlo/kavlo" "$@"
