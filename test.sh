#!/usr/bin/env bash
# Builds Kavlo with its tests and runs every suite: once in a plain build, then again
# with AddressSanitizer and UndefinedBehaviorSanitizer. Where a Debian package that the
# builds and suites need is missing, it installs it first (scripts/setup, as root or
# through sudo; it names what it installs). Otherwise it changes nothing on the system:
# it never installs Kavlo's own package and writes only into build/ and temporary folders.
#   ./test.sh                the plain and sanitizer builds and every suite (everyday)
#   ./test.sh --all          those, then the package, Wayland, Windows, OpenGL ES, web
#                            and reproducibility checks (CI: .ci/run). Installs what they
#                            need, installs and purges the package, runs sway as
#                            nobody: needs root
# One part alone:
#   ./test.sh --plain        the folders' layers (scripts/check-layers), then the plain build
#   ./test.sh --asan         the sanitizer build
#   ./test.sh --tsan         ThreadSanitizer: the suites of the tracker, the sound layer, the
#                            shell and the capture, then a stretch of the real show (in no
#                            other run; reports outside our code are suppressed in
#                            tests/support/tsan.supp)
#   ./test.sh --package      the Debian package: lintian, install, 20 s of the show, purge
#   ./test.sh --desktop      the package, the sound through a private sound server, and
#                            kavlo on a headless Wayland compositor
#   ./test.sh --windows      the Windows build under Wine (scripts/test-windows)
#   ./test.sh --gles         the show through the fixed-function layer over OpenGL ES
#                            (KAVLO_GLES) against the desktop driver, frame by frame
#                            (tests/platform/gl/compare.sh)
#   ./test.sh --reproducible the .deb and the Windows zip built twice, from two clones of
#                            the last commit, and compared (scripts/test-reproducible)
#   ./test.sh --web          the show in Chromium, Firefox and WebKitGTK (tests/app/web/run.sh)
set -euo pipefail
cd "$(dirname "$0")"
. scripts/lib/messages.sh test.sh

mode=everyday
case "${1:-}" in
  "") ;;
  --all) mode=all ;;
  --plain) mode=plain ;;
  --asan) mode=asan ;;
  --tsan) mode=tsan ;;
  --package) exec tests/app/desktop/run.sh package ;;
  --desktop) exec tests/app/desktop/run.sh package sound wayland ;;
  --windows) scripts/setup --windows && exec scripts/test-windows ;;
  --gles) scripts/setup && exec tests/platform/gl/compare.sh ;;
  --reproducible) exec scripts/test-reproducible ;;
  --web) scripts/setup --web && exec tests/app/web/run.sh ;;
  -h|--help) usage; exit 0 ;;
  *) usage_error "unknown option '$1'" ;;
esac
[ $# -le 1 ] || usage_error "one option at a time"

# Each part runs as its own process, so that a failed one still lets the others run;
# the summary names the failed ones with each part's time.
failed=()
summary=()
part() {
  local name=$1 start=$SECONDS; shift
  echo "== test.sh: $name: $*" >&2
  if "$@"; then
    summary+=("$name passed in $((SECONDS - start)) s")
  else
    summary+=("$name FAILED after $((SECONDS - start)) s")
    failed+=("$name")
  fi
}
finish() {
  printf '== test.sh: %s\n' "${summary[@]}" >&2
  [ ${#failed[@]} -eq 0 ] || die "failed: ${failed[*]}"
}

case "$mode" in
  everyday)
    scripts/setup
    part plain ./test.sh --plain
    part asan ./test.sh --asan
    finish; exit 0 ;;
  all)
    scripts/setup --desktop --windows --web --reproducible
    part plain ./test.sh --plain
    part asan ./test.sh --asan
    # The sound check is left to --desktop: on a busy 2-core machine the show, rendered
    # in software, still starves the sound server's client a few times a show.
    part package-wayland tests/app/desktop/run.sh package wayland
    part windows ./test.sh --windows
    part gles ./test.sh --gles
    part web ./test.sh --web
    part reproducible ./test.sh --reproducible
    finish; exit 0 ;;
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
export TSAN_OPTIONS="${TSAN_OPTIONS:-suppressions=$PWD/tests/support/tsan.supp:second_deadlock_stack=1}"

# The threads of the tracker, the sound layer, the shell and the capture, and of the real
# show: kavlo in a window on SDL's offscreen and dummy audio drivers until SIGTERM (which
# SDL turns into a quit), then single frames from kavlo-capture. ThreadSanitizer makes a
# program with a report exit with 66.
run_tsan() {
  local dir=build/test-tsan
  echo "== $dir" >&2
  cmake -S . -B "$dir" -DKAVLO_TESTS=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVLO_TSAN=ON >/dev/null
  cmake --build "$dir" -j"$jobs" --target memory_tracker_test sound_format_tests \
    sound_device_tests shell_test glwindow_test capture_test kavlo kavlo-capture kavlo_show_data
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" \
    -R '^(memory_tracker_test|sound_format_tests|sound_device_tests|shell_test|glwindow_test|capture_test)$'
  local show="$dir/show" status=0
  rm -f "$show/memory.log"
  echo "== $dir: kavlo --windowed for ${KAVLO_TSAN_SHOW_SECONDS:-40} s" >&2
  (cd "$show" && KAVLO_CHECK_GUARDS=1 SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy \
    timeout --preserve-status -s TERM -k 60 "${KAVLO_TSAN_SHOW_SECONDS:-40}" \
    ../app/desktop/kavlo --windowed) || status=$?
  if [ "$status" -ne 0 ]; then die "kavlo under ThreadSanitizer exited with $status"; fi
  echo "== $dir: kavlo-capture --at" >&2
  local frames
  frames=$(mktemp -d)
  (cd "$show" && KAVLO_CHECK_GUARDS=1 SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy \
    ../tools/capture/kavlo-capture -q --at 2000,20000 -o "$frames/") \
    || status=$?
  rm -rf "$frames"
  if [ "$status" -ne 0 ]; then die "kavlo-capture under ThreadSanitizer exited with $status"; fi
  if [ -s "$show/memory.log" ]; then
    say "the tracker logged problems in $show/memory.log:"
    head -20 "$show/memory.log" >&2
    exit 1
  fi
}

case "$mode" in
  plain) scripts/check-layers
         run_suite build/test -DCMAKE_BUILD_TYPE=Release ;;
  # -O1 and line tables only: the sanitizers' reports keep their file and line, and the
  # build takes half the time of -O2 -g.
  asan) run_suite build/test-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVLO_SANITIZE=ON \
          "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O1 -g1" ;;
  tsan) run_tsan ;;
esac
