#!/usr/bin/env bash
# Runs a test program of the build under Wine at 120 dots per inch: in a prefix of its own
# (wine-test-120dpi/ in the build folder: made once like the test prefix, with the stand-ins
# registered and the user's LogPixels at 120), on the display of the test run. The program sees
# QUILL_WINE_DPI=120, so it can tell that it runs there.
#   tests/ui/wine_120dpi.sh <build folder> <program> [arguments...]
set -euo pipefail
build=${1:?build folder}
shift
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/common.sh"

dir=$build/wine-test-120dpi
if [[ -z ${DISPLAY:-} && -s $build/wine-test/display ]]; then
    DISPLAY=$(<"$build/wine-test/display")
    export DISPLAY
fi
quill_wine_env "$dir"
# As in the test prefix: the null ALSA device of the private HOME, never a PulseAudio server.
WINEDLLOVERRIDES+=";winepulse.drv=d"
quill_ensure_prefix "$dir" "$build/wine-standins.list" test
if [[ ! -f $dir/dpi.stamp ]]; then
    (
        flock 9
        if [[ ! -f $dir/dpi.stamp ]]; then
            "${QUILL_WINE[@]}" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 120 /f \
                </dev/null >>"$dir/wineboot.log" 2>&1 || { cat "$dir/wineboot.log" >&2; quill_die "reg add failed"; }
            "$QUILL_WINESERVER" -w
            touch "$dir/dpi.stamp"
        fi
    ) 9>"$dir/.lock"
fi
# Wine's own background processes start here, away from CTest's output pipe; they end with the
# server a few seconds after the program.
"$QUILL_WINESERVER" -p5 </dev/null >/dev/null 2>&1 || true
"${QUILL_WINE[@]}" wineboot </dev/null >/dev/null 2>&1 || true
export QUILL_WINE_DPI=120
exec "${QUILL_WINE[@]}" "$@"
