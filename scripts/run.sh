#!/usr/bin/env bash
# Builds the x64 build and starts Quillotrane.exe under Wine, in the build's private run prefix
# (wine-run/ in the build folder), on your X display when it answers, else on a new Xvfb display.
#   scripts/run.sh [--build-dir DIR] [program arguments...]
# Wine lists your webcams (/dev/video*) and the sound inputs of your PulseAudio server or ALSA cards
# beside Quillotrane's test devices; the null sound device is used only when no sound system answers.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"

build_dir=
program_args=()
while [[ $# -gt 0 ]]; do
    case $1 in
        --build-dir) build_dir=${2:?--build-dir needs a folder}; shift 2 ;;
        --build-dir=*) build_dir=${1#*=}; shift ;;
        -h|--help) sed -n '2,6s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) program_args+=("$1"); shift ;;
    esac
done
build_dir=$(quill_abs_dir "${build_dir:-$QUILL_ROOT/build/x64}")
wine_dir=$build_dir/wine-run

bash "$QUILL_ROOT/scripts/build.sh" --arch x64 --build-dir "$build_dir"

mkdir -p "$wine_dir"
cleanup() {
    if [[ -n ${QUILL_XVFB_PID:-} ]]; then
        "$QUILL_WINESERVER" -k >/dev/null 2>&1 || true
        quill_stop_xvfb
    fi
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if [[ -n ${DISPLAY:-} ]] && xdpyinfo >/dev/null 2>&1; then
    quill_say "Starting Quillotrane on your display $DISPLAY."
else
    quill_start_xvfb "$wine_dir/xvfb.log"
    quill_say "No X display answers${DISPLAY:+ at $DISPLAY}: starting Quillotrane on a new virtual" \
              "display $QUILL_XVFB_DISPLAY (Xvfb), where its windows are not visible."
    export DISPLAY=$QUILL_XVFB_DISPLAY
fi

user_home=${HOME:-}
quill_wine_env "$wine_dir"
quill_ensure_prefix "$wine_dir" "$build_dir/wine-standins.list" run
quill_use_user_sound "$user_home"
# Wine lists a webcam only when it can open its device: say so instead of leaving it out silently.
for camera in /dev/video*; do
    [[ -e $camera && ! ( -r $camera && -w $camera ) ]] || continue
    quill_say "You cannot open $camera (not in its group, often \"video\"?): Wine will not list that camera."
done
rc=0
"${QUILL_WINE[@]}" "$build_dir/bin/Quillotrane.exe" "${program_args[@]}" || rc=$?
quill_say "Quillotrane exited with code $rc."
exit "$rc"
