#!/usr/bin/env bash
# Builds Quillotrane.exe and the stand-in devices it runs with, and starts it under Wine in the
# build's private run prefix (wine-run/ in the build folder; QUILL_RUN_WINE_DIR names another), on
# your X display when it answers, else on a new Xvfb display.
#   scripts/run.sh [--build-dir DIR] [program arguments...]
# Wine lists your webcams (/dev/video*) and the sound inputs of your PulseAudio server or ALSA cards
# beside Quillotrane's test devices (it says at the start which sound inputs it can record); the null
# sound device is used only when no sound system answers.
# Several runs may share the prefix: each ends only its own program (Ctrl-C ends it too) and says
# last with which exit code it ended.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"

build_dir=
program_args=()
while [[ $# -gt 0 ]]; do
    case $1 in
        --build-dir) build_dir=${2:?--build-dir needs a folder}; shift 2 ;;
        --build-dir=*) build_dir=${1#*=}; shift ;;
        -h|--help) sed -n '2,10s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) program_args+=("$1"); shift ;;
    esac
done
build_dir=$(quill_abs_dir "${build_dir:-$QUILL_ROOT/build/x64}")
wine_dir=$(quill_abs_dir "${QUILL_RUN_WINE_DIR:-$build_dir/wine-run}")

# Standard output is the program's: whoever reads it may stop early (`run.sh +quit | head -3`). A
# reader that stops is no reason to stop the run, its build or its program: their writes to it
# then fail, and nothing more.
trap '' PIPE

# The build's lines go to standard error (as Ninja shows them on a terminal), and elsewhere they are
# read to their end whoever reads them: a reader that stops early does not stop the build.
build() {
    if [[ -t 2 ]]; then
        bash "$QUILL_ROOT/scripts/build.sh" --arch x64 --build-dir "$build_dir" "$@" >&2
    else
        bash "$QUILL_ROOT/scripts/build.sh" --arch x64 --build-dir "$build_dir" "$@" 2>&1 | { cat >&2 || cat >/dev/null; }
    fi
}

# The program's own targets only: the tests and benchmarks are built by scripts/test.sh. The first
# step configures the folder (once) and brings the list of stand-in DLLs up to date.
build build.ninja
targets=(bin/Quillotrane.exe)
mapfile -t standins <"$build_dir/wine-standins.list"
real_build_dir=$(cd "$build_dir" && pwd -P)
for dll in "${standins[@]}"; do
    [[ -n $dll ]] || continue
    dll=${dll#"$build_dir"/}
    targets+=("${dll#"$real_build_dir"/}")
done
build "${targets[@]}"

program_pid=
stopped_by=
# A signal to this script ends its own program, never the Wine server: other programs may share it.
stop_program() {
    stopped_by=$1
    if [[ -z $program_pid ]]; then
        exit "$stopped_by"
    fi
    quill_say "Stopping Quillotrane..."
    kill -TERM "$program_pid" 2>/dev/null || true
}
trap 'stop_program 130' INT
trap 'stop_program 143' TERM
trap 'stop_program 129' HUP

mkdir -p "$wine_dir"
cleanup() {
    [[ -n ${QUILL_XVFB_PID:-} ]] || return 0
    # Wine's own processes and the programs of other runs may still use this display: a watcher
    # that outlives this script stops it once the prefix's Wine server has ended.
    setsid bash -c '"$1" -w; [[ $(tr -d " \n" <"/tmp/.X$3-lock") == "$2" ]] && kill "$2"' _ \
        "$QUILL_WINESERVER" "$QUILL_XVFB_PID" "${QUILL_XVFB_DISPLAY#:}" </dev/null >/dev/null 2>&1 &
}
trap cleanup EXIT

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

# Wine's ALSA driver looks for a MIDI sequencer at every start, and alsa-lib says on stderr when
# there is none; the program uses no MIDI, so that line is left out.
quiet_wine() {
    grep --line-buffered -v -E '^ALSA lib seq_hw\.c:[0-9]+:\(snd_seq_hw_open\) open /dev/snd/seq failed' ||
        cat >/dev/null
}
# Started in the background, so that a signal reaches the traps above while the program runs.
"${QUILL_WINE[@]}" "$build_dir/bin/Quillotrane.exe" "${program_args[@]}" 2> >(quiet_wine >&2) &
program_pid=$!
while :; do
    rc=0
    wait "$program_pid" || rc=$?
    # A trapped signal ends the wait early (with a code above 128) while the program still runs.
    kill -0 "$program_pid" 2>/dev/null || break
done
# The program may have ended just as a signal came: its own code is still there to be had.
if ((rc > 128)); then
    again=0
    wait "$program_pid" 2>/dev/null || again=$?
    ((again == 127)) || rc=$again
fi
program_pid=
how=
if ((rc > 128 && rc < 160)); then
    how=" (ended by signal SIG$(kill -l $((rc - 128))))"
fi
quill_say "Quillotrane exited with code $rc$how."
exit "${stopped_by:-$rc}"
