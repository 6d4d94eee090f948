#!/usr/bin/env bash
# Builds Kavlo with its tests and runs every suite: once in a plain build, then again
# with AddressSanitizer and UndefinedBehaviorSanitizer.
#   ./test.sh            both builds (what CI runs)
#   ./test.sh --plain    the plain build only
#   ./test.sh --asan     the sanitizer build only
set -euo pipefail
cd "$(dirname "$0")"

mode=all
case "${1:-}" in
  "") ;;
  --plain) mode=plain ;;
  --asan) mode=asan ;;
  -h|--help) sed -n '2,6p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
  *) echo "test.sh: unknown option '$1' (see --help)" >&2; exit 2 ;;
esac

scripts/setup
jobs=$(nproc)

run_suite() {
  local dir=$1; shift
  echo "== $dir" >&2
  cmake -S . -B "$dir" -DKAVLO_TESTS=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs"
}

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/tests/support/lsan.supp:print_suppressions=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

if [ "$mode" != asan ]; then
  run_suite build/test -DCMAKE_BUILD_TYPE=Release
fi
if [ "$mode" != plain ]; then
  run_suite build/test-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVLO_SANITIZE=ON
fi
