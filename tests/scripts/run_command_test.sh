#!/usr/bin/env bash
# The run command as two users' runs meet in one prefix, each on the Xvfb display it starts itself:
# the second run, interrupted, stops its own program only (after registering the stand-ins again
# while the first program runs), the first program keeps running and its window answers; a program
# killed from outside is reported with its own exit code; the ALSA sequencer line is left out; each
# run's display goes once Wine has ended. The first run is started as the README shows, and its
# picture lands in the prefix's HOME.
#   tests/scripts/run_command_test.sh <build folder>     (the program and window_probe.exe built)
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/common.sh"
source "$(dirname "${BASH_SOURCE[0]}")/expect.sh"

build_dir=$(cd "${1:?usage: run_command_test.sh <build folder>}" && pwd)
quill_find_wine
probe=$build_dir/bin/window_probe.exe
[[ -f $probe ]] || quill_die "$probe is not built"
# A prefix of the tests' own, kept between runs (created once, like the others).
wine_dir=$build_dir/wine-test/run
work=$(mktemp -d)
runs=()
cleanup() {
    local pid
    # The prefix is this test's own: nothing may be left running in it, nor waiting on it.
    WINEPREFIX=$wine_dir/prefix "$QUILL_WINESERVER" -k >/dev/null 2>&1 || true
    for pid in "${runs[@]}"; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf -- "$work"
}
trap cleanup EXIT

# Waits until the command succeeds, looking five times a second; false after <seconds>.
wait_until() {
    local seconds=$1 i
    shift
    for ((i = 0; i < seconds * 5; i++)); do
        "$@" && return 0
        sleep 0.2
    done
    return 1
}

# A user who has no X display, no PulseAudio server and whose .asoundrc makes ALSA's default
# device the null one: the runs start their own Xvfb and never sound.
mkdir -p "$work/user" "$work/runtime"
printf 'pcm.!default { type null }\n' >"$work/user/.asoundrc"
# The build step keeps the coding libraries the build folder was configured with (CTest's HOME is
# the test prefix's): only the run sees the made-up home.
deps_prefix=$(sed -n 's/^QUILL_DEPS_PREFIX:[A-Z]*=//p' "$build_dir/CMakeCache.txt")
[[ -n $deps_prefix ]] || quill_die "$build_dir is not configured"
export QUILL_DEPS_DIR=${deps_prefix%/*/*}
run_command() {
    local log=$1
    shift
    env -u DISPLAY -u PULSE_SERVER -u PULSE_COOKIE HOME="$work/user" XDG_RUNTIME_DIR="$work/runtime" \
        QUILL_RUN_WINE_DIR="$wine_dir" bash "$QUILL_ROOT/scripts/run.sh" --build-dir "$build_dir" "$@" >"$log" 2>&1 &
    runs+=($!)
}
display_of() { grep -o -m 1 -E 'display :[0-9]+' "$1" 2>/dev/null | cut -d ' ' -f 2; }
# The main window's caption, once it is on the display of the run that wrote <log>.
caption_on() {
    local display
    display=$(display_of "$1")
    [[ -n $display ]] || return 1
    xwininfo -display "$display" -root -tree 2>/dev/null | grep -o -m 1 -E '"Quillotrane [^"]* by Marbrecq"' | tr -d '"'
}
window_shown() { [[ -n $(caption_on "$1") ]]; }
# The window came, or the run ended without it (a build or start that failed).
window_or_end() { window_shown "$1" || run_ended "$2"; }
# Waits up to <seconds> for the window of the run <pid> that writes <log>; without it the test ends
# with <complaint> and the run's output.
await_window() {
    wait_until "$3" window_or_end "$1" "$2" || true
    window_shown "$1" && return 0
    cat "$1"
    quill_die "$4"
}
program_of() { pgrep -P "$1" -f 'bin/Quillotrane\.exe' | head -n 1; }
alive() { kill -0 "$1" 2>/dev/null; }
run_ended() { ! alive "$1"; }
# Waits up to <seconds> for the run <pid> to end; sets ended_with to its exit status, or to
# "still running".
await_run() {
    ended_with="still running"
    wait_until "$2" run_ended "$1" || return 0
    ended_with=0
    wait "$1" || ended_with=$?
}
display_gone() { [[ ! -e /tmp/.X${1#:}-lock ]]; }
# Runs the probe in the shared prefix as the run command's own environment does.
probe() {
    (
        DISPLAY=$(display_of "$work/first.log")
        export DISPLAY
        quill_wine_env "$wine_dir"
        "${QUILL_WINE[@]}" "$probe" "$1" 2>/dev/null | tr -d '\r'
    )
}

rm -f "$wine_dir"/home/Image_*.bmp
run_command "$work/first.log" "+sv=Quillotrane Test Camera" +g
first=${runs[0]}
# The first run may create the prefix: up to two minutes on a loaded machine.
await_window "$work/first.log" "$first" 180 "the first run's window did not come"
first_program=$(program_of "$first")
caption=$(caption_on "$work/first.log")
expect "the README's command line grabs a picture into the prefix's HOME" yes \
    "$(wait_until 60 compgen -G "$wine_dir/home/Image_*.bmp" >/dev/null && echo yes)"

# The stand-ins are registered again (as after a rebuild) while the first program runs.
touch -d @1 "$wine_dir/standins.stamp"
run_command "$work/second.log"
second=${runs[1]}
await_window "$work/second.log" "$second" 120 "the second run's window did not come while the first program runs"
second_program=$(program_of "$second")
expect "each run on a display of its own" yes \
    "$([[ $(display_of "$work/first.log") != "$(display_of "$work/second.log")" ]] && echo yes)"

# The second program is killed from outside: its run says so with the program's own code, and
# ends without touching the first program, which runs on and whose window answers.
kill -KILL "$second_program" 2>/dev/null || true
await_run "$second" 60
expect "the second run ends with its killed program's code" 137 "$ended_with"
expect "and says so last" "Quillotrane exited with code 137 (ended by signal SIGKILL)." \
    "$(tail -n 1 "$work/second.log")"
expect "the first program still runs" yes "$(alive "$first_program" && echo yes || echo no)"
expect "its window answers" "1 windows, 1 answer" "$(probe "$caption")"

# The first run is interrupted: it stops its own program and ends as interrupted.
kill -TERM "$first" 2>/dev/null || true
await_run "$first" 60
expect "the interrupted run ends as interrupted" 143 "$ended_with"
expect "after its program" no "$(alive "$first_program" && echo yes || echo no)"
expect "whose code it gives last" "Quillotrane exited with code 143 (ended by signal SIGTERM)." \
    "$(tail -n 1 "$work/first.log")"
runs=()

for log in "$work/first.log" "$work/second.log"; do
    expect "no ALSA sequencer line ($(basename "$log"))" 0 "$(grep -c 'snd/seq' "$log" || true)"
    display=$(display_of "$log")
    expect "the display $display goes once Wine has ended" yes "$(wait_until 60 display_gone "$display" && echo yes)"
done

# The program's standard output read by a reader that stops after three lines, alone and with the
# run's messages and the build's lines: the build does not fail for it, and the program starts and
# ends (+quit; the settings kept in the prefix's registry, so that no question waits at its close).
in_prefix() (
    quill_wine_env "$wine_dir"
    "${QUILL_WINE[@]}" "$@" </dev/null >/dev/null 2>&1
)
settings_key='HKCU\Software\Marbrecq\Quillotrane'
in_prefix reg add "$settings_key" /v Exename /d "$(quill_dos_path "$build_dir/bin/Quillotrane.exe")" /f
piped_run() {
    env -u DISPLAY -u PULSE_SERVER -u PULSE_COOKIE HOME="$work/user" XDG_RUNTIME_DIR="$work/runtime" \
        QUILL_RUN_WINE_DIR="$wine_dir" timeout 300 bash "$QUILL_ROOT/scripts/run.sh" --build-dir "$build_dir" +quit
}
piped_run 2>"$work/piped.log" | head -n 3 >/dev/null && piped=0 || piped=${PIPESTATUS[0]}
expect "run.sh +quit | head -3 starts and ends the program" 0 "$piped"
expect "and says so last" "Quillotrane exited with code 0." "$(tail -n 1 "$work/piped.log")"
expect "the build's lines are told on standard error" yes \
    "$(grep -q -E '^(\[[0-9]+/[0-9]+\]|ninja: )' "$work/piped.log" && echo yes)"
piped_run 2>&1 | head -n 3 >"$work/head.log" && piped=0 || piped=${PIPESTATUS[0]}
expect "run.sh +quit 2>&1 | head -3 starts and ends the program" 0 "$piped"
expect "whose reader took three lines" 3 "$(wc -l <"$work/head.log")"
in_prefix reg delete "$settings_key" /f

expect_summary
