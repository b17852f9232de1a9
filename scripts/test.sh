#!/usr/bin/env bash
# Builds the x64 build and runs every test executable under Wine, on a private Xvfb display with a
# window manager (openbox, which manages the program's own windows as on any desktop) and in the
# build's private test prefix (wine-test/ in the build folder).
#   scripts/test.sh [--build-dir DIR] [ctest arguments...]     e.g. scripts/test.sh -R test_app
#   QUILL_JOBS=N limits parallel compiles and tests (several builds sharing one machine).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"

build_dir=
ctest_args=()
while [[ $# -gt 0 ]]; do
    case $1 in
        --build-dir) build_dir=${2:?--build-dir needs a folder}; shift 2 ;;
        --build-dir=*) build_dir=${1#*=}; shift ;;
        -h|--help) sed -n '2,4s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) ctest_args+=("$1"); shift ;;
    esac
done
build_dir=$(quill_abs_dir "${build_dir:-$QUILL_ROOT/build/x64}")
wine_dir=$build_dir/wine-test

bash "$QUILL_ROOT/scripts/check_layers.sh"
bash "$QUILL_ROOT/scripts/build.sh" --arch x64 --build-dir "$build_dir"

mkdir -p "$wine_dir"
server_started=false
cleanup() {
    if $server_started; then
        "$QUILL_WINESERVER" -k >/dev/null 2>&1 || true
    fi
    quill_stop_test_desktop
    quill_stop_window_manager
    quill_stop_xvfb
    quill_stop_test_pulse
    quill_unmount_small_volume
    rm -f "$wine_dir/display"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

quill_start_xvfb "$wine_dir/xvfb.log"
export DISPLAY=$QUILL_XVFB_DISPLAY
# One display for all: Wine's desktop window belongs to the display its first process opened, and a
# program of the same prefix on another display would be handed that display's windows.
quill_start_window_manager "$DISPLAY" "$wine_dir/desktop" ||
    quill_die "no window manager: the stories of the program's windows would test nothing they say"
printf '%s\n' "$DISPLAY" >"$wine_dir/display"
quill_say "Xvfb on display $DISPLAY, with openbox"

# The sound tests record a sine tone from a PulseAudio server of their own; without one the other
# tests still run (on the null ALSA device) and the real-input tests say that they were skipped.
quill_start_test_pulse "$wine_dir/pulse" || true
# The full-disk stories record onto a volume of 64 MB; without one they say that they were skipped.
quill_mount_small_volume "$wine_dir/small-volume" 64m || true

quill_wine_env "$wine_dir"
quill_ensure_prefix "$wine_dir" "$build_dir/wine-standins.list" test
server_started=true
# A server left running in this prefix (an interrupted run) cannot be made persistent: end it first.
"$QUILL_WINESERVER" -p </dev/null >/dev/null 2>&1 ||
    { "$QUILL_WINESERVER" -k >/dev/null 2>&1 || true; "$QUILL_WINESERVER" -p </dev/null >/dev/null 2>&1; }
# Start Wine's own background processes (services, device and RPC hosts, the desktop) now, away from
# CTest's output pipes: started by a test they would inherit its pipe and CTest would wait for them to exit.
quill_keep_test_desktop "$wine_dir" || quill_say "The tests' Wine desktop could not be kept: a test program may start it."
"${QUILL_WINE[@]}" wineboot </dev/null >/dev/null 2>&1

# Each test's working folder starts empty.
for work in "$build_dir"/test-work/*/; do
    [[ -d $work ]] || continue
    rm -rf -- "$work"
    mkdir -p -- "$work"
done

start=$(quill_now_ms)
rc=0
(cd "$build_dir" && ctest --output-on-failure --no-tests=error -j"${QUILL_JOBS:-$(nproc)}" "${ctest_args[@]}") 2>&1 |
    tee "$wine_dir/ctest.log" || rc=$?
quill_say "Tests ran in $(quill_seconds_since "$start") s."

summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$wine_dir/ctest.log" | tail -n 1 || true)
total=0 failed=0
if [[ $summary =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=${BASH_REMATCH[1]}
    total=${BASH_REMATCH[2]}
fi
echo "$((total - failed)) passed, $failed failed"

if grep -q 'No tests were found' "$wine_dir/ctest.log" || [[ $total -eq 0 ]]; then
    quill_say "error: no test ran"
    exit 1
fi
exit "$rc"
