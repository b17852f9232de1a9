# Shared functions of the build, run and test scripts and of the generated Wine emulator.
# Sourced (never run) by bash scripts that use `set -euo pipefail`.

QUILL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

quill_say() { printf '%s\n' "$*" >&2; }
quill_die() { printf 'error: %s\n' "$*" >&2; exit 1; }

# Milliseconds since the epoch, and seconds (one decimal) elapsed since such a time.
quill_now_ms() {
    local t=${EPOCHREALTIME//[.,]/}
    printf '%s' $((t / 1000))
}
quill_seconds_since() {
    local ms=$(($(quill_now_ms) - $1))
    printf '%d.%d' $((ms / 1000)) $((ms % 1000 / 100))
}

# Absolute path of a folder (created if missing), taken relative to the current directory.
quill_abs_dir() {
    mkdir -p -- "$1"
    (cd -- "$1" && pwd)
}

# Wine commands: QUILL_WINE (array: the loader) and QUILL_WINESERVER. Debian's wine package gives
# /usr/bin/wine and wineserver; with wine64 alone the loader is /usr/lib/wine/wine64.
quill_find_wine() {
    if [[ -x /usr/bin/wine ]]; then
        QUILL_WINE=(/usr/bin/wine)
    elif command -v wine64 >/dev/null 2>&1; then
        QUILL_WINE=("$(command -v wine64)")
    elif [[ -x /usr/lib/wine/wine64 ]]; then
        QUILL_WINE=(/usr/lib/wine/wine64)
    else
        quill_die "Wine is not installed (run scripts/setup.sh)"
    fi
    if command -v wineserver >/dev/null 2>&1; then
        QUILL_WINESERVER=$(command -v wineserver)
    elif [[ -x /usr/lib/wine/wineserver64 ]]; then
        QUILL_WINESERVER=/usr/lib/wine/wineserver64
    elif [[ -x /usr/lib/wine/wineserver ]]; then
        QUILL_WINESERVER=/usr/lib/wine/wineserver
    else
        quill_die "wineserver not found (run scripts/setup.sh)"
    fi
}

# Environment of one private Wine set-up: <dir>/prefix and <dir>/home (dir is wine-test or wine-run
# of a build folder). Never the user's ~/.wine.
quill_wine_env() {
    local dir=$1
    quill_find_wine
    export WINEPREFIX="$dir/prefix"
    export HOME="$dir/home"
    export LANG=C.UTF-8
    unset LC_ALL LC_CTYPE LC_MESSAGES LC_COLLATE LC_NUMERIC LC_TIME LC_MONETARY LANGUAGE
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
}

# Windows path (drive Z:) of an absolute Unix path.
quill_dos_path() {
    local p=$1
    printf 'Z:%s' "${p//\//\\}"
}

# Creates the prefix of <dir> once (stamp <dir>/prefix.stamp): HOME with a null ALSA device, the
# prefix without the Mono and Gecko prompts, and no crash dialog. Expects quill_wine_env <dir>.
# For the test prefix (kind "test") Wine's windows are also unmanaged: Xvfb has no window manager,
# and without one Wine waits 2 s for the window manager each time a shown window is destroyed.
quill_create_prefix() {
    local dir=$1 kind=$2 start
    mkdir -p "$HOME"
    printf 'pcm.!default { type null }\n' >"$HOME/.asoundrc"
    rm -f "$dir/prefix.stamp"
    rm -rf "$WINEPREFIX"
    start=$(quill_now_ms)
    quill_say "Creating the Wine prefix $WINEPREFIX (once)..."
    "${QUILL_WINE[@]}" wineboot -i >"$dir/wineboot.log" 2>&1 ||
        { cat "$dir/wineboot.log" >&2; quill_die "wineboot failed"; }
    "${QUILL_WINE[@]}" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        >>"$dir/wineboot.log" 2>&1 || { cat "$dir/wineboot.log" >&2; quill_die "reg add failed"; }
    if [[ $kind == test ]]; then
        "${QUILL_WINE[@]}" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
            >>"$dir/wineboot.log" 2>&1 || { cat "$dir/wineboot.log" >&2; quill_die "reg add failed"; }
    fi
    "$QUILL_WINESERVER" -w
    "${QUILL_WINE[@]}" --version >"$dir/prefix.stamp" 2>/dev/null || touch "$dir/prefix.stamp"
    quill_say "Wine prefix ready in $(quill_seconds_since "$start") s."
}

quill_prefix_ready() {
    local dir=$1
    [[ -f $dir/prefix.stamp && -f $dir/prefix/system.reg && -f $dir/home/.asoundrc ]]
}

# ---------------------------------------------------------------------------------------------
# HOOK: stand-in DLLs. Every DLL listed (one path per line) in the build's wine-standins.list,
# which CMake writes from quill_register_standin(<target>), is registered with regsvr32 in the
# prefix; again whenever the list or one of the DLLs is newer than <dir>/standins.stamp.
# The list is empty until platform/standins/ exists: then this does nothing.
# ---------------------------------------------------------------------------------------------
quill_standins_stale() {
    local dir=$1 list=$2 dll
    [[ -s $list ]] || return 1
    [[ -f $dir/standins.stamp && ! $list -nt $dir/standins.stamp ]] || return 0
    while IFS= read -r dll; do
        [[ -n $dll ]] || continue
        [[ ! -e $dll || $dll -nt $dir/standins.stamp ]] && return 0
    done <"$list"
    return 1
}

quill_register_standins() {
    local dir=$1 list=$2 dll
    quill_standins_stale "$dir" "$list" || return 0
    while IFS= read -r dll; do
        [[ -n $dll ]] || continue
        [[ -f $dll ]] || quill_die "stand-in DLL not built: $dll"
        quill_say "Registering stand-in $(basename "$dll") in $WINEPREFIX"
        "${QUILL_WINE[@]}" regsvr32 /s "$(quill_dos_path "$dll")" </dev/null ||
            quill_die "regsvr32 failed for $dll"
    done <"$list"
    "$QUILL_WINESERVER" -w
    touch "$dir/standins.stamp"
}

# Makes the prefix of <dir> ready (created once, stand-ins registered), under a lock so that
# parallel callers (CTest -j through the emulator) do it once. Expects quill_wine_env <dir>.
#   quill_ensure_prefix <dir> <stand-in list> test|run
quill_ensure_prefix() {
    local dir=$1 list=$2 kind=$3
    if quill_prefix_ready "$dir" && ! quill_standins_stale "$dir" "$list"; then
        return 0
    fi
    mkdir -p "$dir"
    (
        flock 9
        quill_prefix_ready "$dir" || quill_create_prefix "$dir" "$kind"
        quill_register_standins "$dir" "$list"
    ) 9>"$dir/.lock"
}

# Starts Xvfb on a free display number from :90 upward. Sets QUILL_XVFB_PID and QUILL_XVFB_DISPLAY.
quill_start_xvfb() {
    local log=$1 n pid i
    for ((n = 90; n < 200; n++)); do
        [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >"$log" 2>&1 &
        pid=$!
        for ((i = 0; i < 100; i++)); do
            kill -0 "$pid" 2>/dev/null || break
            # The display is ours only if the lock file names our process (another script may have
            # taken the same number at the same moment).
            if [[ -f /tmp/.X$n-lock && $(tr -d ' \n' </tmp/.X$n-lock) == "$pid" ]] &&
                xdpyinfo -display ":$n" >/dev/null 2>&1; then
                QUILL_XVFB_PID=$pid
                QUILL_XVFB_DISPLAY=":$n"
                return 0
            fi
            sleep 0.1
        done
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    quill_die "could not start Xvfb (see $log)"
}

quill_stop_xvfb() {
    if [[ -n ${QUILL_XVFB_PID:-} ]]; then
        kill "$QUILL_XVFB_PID" 2>/dev/null || true
        wait "$QUILL_XVFB_PID" 2>/dev/null || true
        QUILL_XVFB_PID=
    fi
}
