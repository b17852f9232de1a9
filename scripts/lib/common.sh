# Shared functions of the build, run and test scripts and of the generated Wine emulator.
# Sourced (never run) by bash scripts that use `set -euo pipefail`.

QUILL_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# A message that nobody reads any more (a reader of the output that stopped) stops nothing.
quill_say() { printf '%s\n' "$*" >&2 || true; }
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
    # The tests hear the PulseAudio server that scripts/test.sh starts for them (QUILL_TEST_PULSE),
    # else the null ALSA device of their private HOME, never a desktop's own server.
    if [[ $(basename -- "$dir") == wine-test ]]; then
        if [[ -n ${QUILL_TEST_PULSE:-} ]]; then
            export PULSE_SERVER=$QUILL_TEST_PULSE
        else
            WINEDLLOVERRIDES+=";winepulse.drv=d"
        fi
    fi
}

# ---------------------------------------------------------------------------------------------
# The tests' own PulseAudio server: a daemon of no user, on a socket in <dir>, with a null sink
# (where the program's sound goes) and a 440 Hz sine source. The sine source hands its sound on in
# blocks of a second, of which Wine's sound driver keeps only a few milliseconds; so it is also
# played, through a loopback of short latency, into a second null sink, "Sine440", whose monitor
# ("Monitor of Sine440", the default input) gives the tone in real time as a microphone does.
# Sets QUILL_PULSE_PID and exports QUILL_TEST_PULSE (its PULSE_SERVER value); answers 1, with a
# line saying why, when there is no pulseaudio or it does not start.
#   quill_start_test_pulse <dir>
# ---------------------------------------------------------------------------------------------
quill_start_test_pulse() {
    local dir=$1
    QUILL_PULSE_PID=
    if ! command -v pulseaudio >/dev/null 2>&1; then
        quill_say "No pulseaudio (run scripts/setup.sh): the tests record from the test devices only."
        return 1
    fi
    mkdir -p "$dir"
    rm -f "$dir/native"
    {
        printf 'load-module module-native-protocol-unix socket=%s auth-anonymous=1\n' "$dir/native"
        printf 'load-module module-null-sink sink_name=quill_null\n'
        printf 'load-module module-sine-source source_name=quill_sine frequency=440\n'
        printf 'load-module module-null-sink sink_name=quill_tone sink_properties=device.description=Sine440\n'
        printf 'load-module module-loopback source=quill_sine sink=quill_tone latency_msec=30\n'
        printf 'set-default-source quill_tone.monitor\n'
        printf 'set-default-sink quill_null\n'
    } >"$dir/server.pa"
    # Its own HOME and runtime folder: no user's configuration, cookie or pid file is touched, and
    # several test runs on one machine each have their own server.
    HOME=$dir XDG_RUNTIME_DIR=$dir XDG_CONFIG_HOME=$dir pulseaudio --system=false --exit-idle-time=-1 \
        --daemonize=no --use-pid-file=no -n -F "$dir/server.pa" --log-target="file:$dir/pulse.log" \
        </dev/null >/dev/null 2>&1 &
    QUILL_PULSE_PID=$!
    if quill_wait_while_running "$QUILL_PULSE_PID" quill_socket_answers "$dir/native"; then
        export QUILL_TEST_PULSE="unix:$dir/native"
        quill_say "PulseAudio for the tests at $QUILL_TEST_PULSE (a 440 Hz sine tone, a null sink)."
        return 0
    fi
    quill_stop_test_pulse
    quill_say "The tests' PulseAudio server did not start (see $dir/pulse.log): the tests record" \
              "from the test devices only."
    return 1
}

quill_stop_test_pulse() {
    if [[ -n ${QUILL_PULSE_PID:-} ]]; then
        kill "$QUILL_PULSE_PID" 2>/dev/null || true
        wait "$QUILL_PULSE_PID" 2>/dev/null || true
        QUILL_PULSE_PID=
    fi
    unset QUILL_TEST_PULSE
}

# ---------------------------------------------------------------------------------------------
# A small volume of the tests' own, for the stories of a disk that fills: a tmpfs of <size> mounted
# at <dir> (root may mount; others go without). Exports QUILL_TEST_SMALL_VOLUME (its Windows path)
# and answers 0 when mounted; answers 1, with a line saying so, when it cannot be.
#   quill_mount_small_volume <dir> <size>
# ---------------------------------------------------------------------------------------------
quill_mount_small_volume() {
    local dir=$1 size=$2
    QUILL_SMALL_VOLUME_DIR=
    mkdir -p "$dir"
    # Left mounted by a run that was interrupted.
    if mountpoint -q "$dir" 2>/dev/null; then umount "$dir" 2>/dev/null || true; fi
    if ! mount -t tmpfs -o "size=$size" tmpfs "$dir" 2>/dev/null; then
        quill_say "No small volume for the full-disk stories (mounting needs root): they are skipped."
        return 1
    fi
    QUILL_SMALL_VOLUME_DIR=$dir
    export QUILL_TEST_SMALL_VOLUME
    QUILL_TEST_SMALL_VOLUME=$(quill_dos_path "$dir")
    quill_say "A small volume of $size for the tests at $dir."
}

quill_unmount_small_volume() {
    if [[ -n ${QUILL_SMALL_VOLUME_DIR:-} ]]; then
        umount "$QUILL_SMALL_VOLUME_DIR" 2>/dev/null || umount -l "$QUILL_SMALL_VOLUME_DIR" 2>/dev/null || true
        QUILL_SMALL_VOLUME_DIR=
    fi
    unset QUILL_TEST_SMALL_VOLUME
}

# Windows path (drive Z:) of an absolute Unix path.
quill_dos_path() {
    local p=$1
    printf 'Z:%s' "${p//\//\\}"
}

# Creates the prefix of <dir> once (stamp <dir>/prefix.stamp): HOME with a null ALSA device, the
# prefix without the Mono and Gecko prompts, and no crash dialog. Expects quill_wine_env <dir>.
# For the test prefix (kind "test") Wine's windows are also unmanaged (quill_test_prefix_settings).
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
    [[ $kind != test ]] || quill_test_prefix_settings "$dir"
    "$QUILL_WINESERVER" -w
    "${QUILL_WINE[@]}" --version >"$dir/prefix.stamp" 2>/dev/null || touch "$dir/prefix.stamp"
    quill_say "Wine prefix ready in $(quill_seconds_since "$start") s."
}

quill_prefix_ready() {
    local dir=$1
    [[ -f $dir/prefix.stamp && -f $dir/prefix/system.reg && -f $dir/home/.asoundrc ]]
}

# The window handling of the test prefix (stamp <dir>/windows.stamp, which names what was set). The
# program's own windows (Quillotrane.exe) are managed, as on any desktop: the test display has a
# window manager (quill_start_window_manager), which places, decorates and focuses them. The test
# executables' windows stay unmanaged, as their stories expect of a display without one (and the
# scripts' own Xvfb displays have none: there Wine waits 2 s for one each time a managed window is
# destroyed).
quill_test_windows_set='unmanaged; Quillotrane.exe managed'
quill_test_prefix_settings() {
    local dir=$1 key='HKCU\Software\Wine'
    rm -f "$dir/windows.stamp"
    "${QUILL_WINE[@]}" reg add "$key\X11 Driver" /v Managed /t REG_SZ /d N /f >>"$dir/wineboot.log" 2>&1 &&
        "${QUILL_WINE[@]}" reg add "$key\AppDefaults\Quillotrane.exe\X11 Driver" /v Managed /t REG_SZ /d Y /f \
            >>"$dir/wineboot.log" 2>&1 ||
        { cat "$dir/wineboot.log" >&2; quill_die "reg add failed"; }
    printf '%s\n' "$quill_test_windows_set" >"$dir/windows.stamp"
}

quill_test_prefix_settings_stale() {
    local dir=$1
    [[ ! -f $dir/windows.stamp || $(<"$dir/windows.stamp") != "$quill_test_windows_set" ]]
}

# ---------------------------------------------------------------------------------------------
# Sound of the run prefix. The tests keep the null ALSA device of quill_create_prefix; the run
# command instead lets Wine's drivers reach the user's own sound system, decided at every start:
# Wine's PulseAudio driver when a PulseAudio (or PipeWire's PulseAudio) server answers, ALSA when a
# sound card can be opened, and the null ALSA device only when neither is there, so that the sound
# renderer still has a (silent) device.
# ---------------------------------------------------------------------------------------------

# Runs <command...> every 0.1 s for up to 10 s until it succeeds (answers 0) while the process <pid>
# still runs (answers 1 once it has ended or the time is over).
#   quill_wait_while_running <pid> <command...>
quill_wait_while_running() {
    local pid=$1 i
    shift
    for ((i = 0; i < 100; i++)); do
        "$@" && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# Does a server answer on the Unix socket <path>? A connect, not the file's presence: a server that
# died leaves its socket file behind. Perl is part of every Debian system; bash cannot connect.
quill_socket_answers() {
    [[ -S $1 ]] || return 1
    timeout 3 perl -MSocket -e \
        'my $s; socket($s, PF_UNIX, SOCK_STREAM, 0) && connect($s, pack_sockaddr_un($ARGV[0])) or exit 1' \
        -- "$1" 2>/dev/null
}

# The PulseAudio server that the user's own programs would reach, if it answers: printed as a
# PULSE_SERVER value. A PULSE_SERVER set by the user is the only one those programs try: its first
# entry on a Unix socket that answers, or a network entry, taken as it is (nothing here can check a
# remote server); else the socket in the user's runtime folder (/run/user/<uid> when none is set).
quill_pulse_server() {
    local entry path entries
    if [[ -n ${PULSE_SERVER:-} ]]; then
        read -ra entries <<<"$PULSE_SERVER"
        for entry in "${entries[@]}"; do
            entry=${entry#\{*\}}
            case $entry in
                unix:*) path=${entry#unix:} ;;
                /*) path=$entry ;;
                '') continue ;;
                *) printf '%s' "$PULSE_SERVER"; return 0 ;;
            esac
            if quill_socket_answers "$path"; then
                printf 'unix:%s' "$path"
                return 0
            fi
        done
        return 1
    fi
    path=${XDG_RUNTIME_DIR:-/run/user/$(id -u)}/pulse/native
    quill_socket_answers "$path" || return 1
    printf 'unix:%s' "$path"
}

# Names of the ALSA sound cards that this process can open, one per line: listed in <cards> and
# with their control device in <device folder>. A container may see the host's cards without
# their devices: those do not count.
#   quill_alsa_cards [cards file (/proc/asound/cards)] [device folder (/dev/snd)]
quill_alsa_cards() {
    local cards=${1:-/proc/asound/cards} devices=${2:-/dev/snd} line found=1
    [[ -r $cards ]] || return 1
    while IFS= read -r line; do
        if [[ $line =~ ^\ *([0-9]+)\ +\[[^]]*\]:\ *(.*)$ ]] &&
            [[ -r $devices/controlC${BASH_REMATCH[1]} && -w $devices/controlC${BASH_REMATCH[1]} ]]; then
            printf '%s\n' "${BASH_REMATCH[2]}"
            found=0
        fi
    done <"$cards"
    return "$found"
}

# Decides the sound set-up from what answers on this machine. Sets QUILL_SOUND (pulse, alsa or
# null), QUILL_PULSE_SERVER (empty without a server) and QUILL_SOUND_CARDS (one name a line).
#   quill_choose_sound [cards file] [device folder]
quill_choose_sound() {
    QUILL_PULSE_SERVER=$(quill_pulse_server) || QUILL_PULSE_SERVER=
    QUILL_SOUND_CARDS=$(quill_alsa_cards "$@") || QUILL_SOUND_CARDS=
    if [[ -n $QUILL_PULSE_SERVER ]]; then
        QUILL_SOUND=pulse
    elif [[ -n $QUILL_SOUND_CARDS ]]; then
        QUILL_SOUND=alsa
    else
        QUILL_SOUND=null
    fi
}

# Applies quill_choose_sound to the environment of quill_wine_env (whose HOME is the private one):
# the private .asoundrc keeps the user's own ALSA configuration where a card can be opened (the
# null device otherwise, also a fallback behind a PulseAudio server), and Wine's PulseAudio driver
# is told the server and the user's cookie, which the private HOME would hide. Says what it chose.
#   quill_use_user_sound <user's home> [cards file] [device folder]
quill_use_user_sound() {
    local user_home=$1 cookie
    shift
    quill_choose_sound "$@"
    mkdir -p "$HOME"
    if [[ -n $QUILL_SOUND_CARDS ]]; then
        {
            printf '# The user'"'"'s own ALSA configuration (written at each start of scripts/run.sh).\n'
            if [[ -f $user_home/.asoundrc && $user_home/.asoundrc != *[\>$'\n']* ]]; then
                printf '<%s>\n' "$user_home/.asoundrc"
            fi
        } >"$HOME/.asoundrc.new"
    else
        printf 'pcm.!default { type null }\n' >"$HOME/.asoundrc.new"
    fi
    mv -f "$HOME/.asoundrc.new" "$HOME/.asoundrc"
    if [[ -n $QUILL_PULSE_SERVER ]]; then
        export PULSE_SERVER=$QUILL_PULSE_SERVER
        if [[ -z ${PULSE_COOKIE:-} ]]; then
            for cookie in "$user_home/.config/pulse/cookie" "$user_home/.pulse-cookie"; do
                if [[ -r $cookie ]]; then
                    export PULSE_COOKIE=$cookie
                    break
                fi
            done
        fi
    fi
    case $QUILL_SOUND in
        pulse) quill_say "Sound: the PulseAudio server at $QUILL_PULSE_SERVER." ;;
        alsa) quill_say "Sound: ALSA (${QUILL_SOUND_CARDS//$'\n'/, }); no PulseAudio server answers." ;;
        null) quill_say "Sound: no sound system answers (no PulseAudio server, no sound card to open):" \
                        "the silent null ALSA device." ;;
    esac
    quill_say "Sound inputs to record from: $(quill_sound_inputs "$@")."
}

# The sound inputs that Wine offers the program under the set-up of quill_choose_sound, as one line
# of text: the server's sources by their descriptions (as Wine names them), the capture devices of
# the ALSA cards that can be opened, or the null device's silent input; and the test microphone.
#   quill_sound_inputs [cards file] [device folder] [pcm file (/proc/asound/pcm)]
quill_sound_inputs() {
    local devices=${2:-/dev/snd} pcm=${3:-/proc/asound/pcm} line names=() out
    case $QUILL_SOUND in
        pulse)
            if command -v pactl >/dev/null 2>&1 &&
                out=$(PULSE_SERVER=$QUILL_PULSE_SERVER timeout 3 pactl list sources 2>/dev/null); then
                while IFS= read -r line; do
                    [[ $line =~ ^[[:space:]]*Description:\ (.*)$ ]] && names+=("${BASH_REMATCH[1]}")
                done <<<"$out"
                ((${#names[@]})) || names=("none (the server has no source)")
            else
                names=("the server's sources (pactl, of pulseaudio-utils, cannot name them)")
            fi
            ;;
        alsa)
            # "CC-DD: id : name : playback N : capture N", for the cards whose devices open.
            while IFS= read -r line; do
                if [[ $line =~ ^0*([0-9]+)-[0-9]+:\ [^:]*:\ ([^:]*[^:\ ])\ *:.*capture\ [0-9]+ ]] &&
                    [[ -r $devices/controlC${BASH_REMATCH[1]} && -w $devices/controlC${BASH_REMATCH[1]} ]]; then
                    names+=("${BASH_REMATCH[2]}")
                fi
            done < <(cat -- "$pcm" 2>/dev/null)
            ((${#names[@]})) || names=("none (no card can record)")
            ;;
        *) names=("\"In: default\" (the null device: silence)") ;;
    esac
    out=
    for line in "${names[@]}"; do
        out+="${out:+, }$line"
    done
    printf '%s; and Quillotrane Test Microphone' "$out"
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
        [[ $(basename -- "$dll") == wmvcore.dll ]] && quill_wmvcore_outdated "$dll" && return 0
    done <"$list"
    return 1
}

# Does a Wine server run for $WINEPREFIX? Its environment names the prefix.
quill_wine_server_running() {
    local pid
    for pid in $(pgrep -u "$(id -u)" -x 'wineserver(32|64)?' 2>/dev/null); do
        # The server may end between pgrep and the read: the error of the redirection is silenced
        # before the redirection is made.
        tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
    done
    return 1
}

# The machine a PE file is built for, as the four hex digits of its header (8664 x64, 014c x86).
quill_pe_machine() {
    local at
    at=$(od -An -tu4 -j60 -N4 -- "$1" 2>/dev/null | tr -d ' ')
    [[ $at =~ ^[0-9]+$ ]] || return 1
    od -An -tx2 -j$((at + 4)) -N2 -- "$1" 2>/dev/null | tr -d ' '
}

# Folders of Wine's install that hold a folder of Windows DLLs per arch (x86_64-windows, i386-windows):
# Debian's, then those of a Wine built from source or installed from WineHQ beside its loader.
# QUILL_WINE_LIB_DIRS (blank-separated) names others instead (the scripts' tests use it).
quill_wine_lib_dirs() {
    local loader root
    if [[ -n ${QUILL_WINE_LIB_DIRS:-} ]]; then
        printf '%s\n' $QUILL_WINE_LIB_DIRS
        return 0
    fi
    printf '%s\n' /usr/lib/*-linux-gnu/wine /usr/lib/wine /usr/lib64/wine /usr/local/lib/wine /usr/local/lib64/wine
    loader=$(readlink -f -- "${QUILL_WINE[0]}" 2>/dev/null) || return 0
    root=$(dirname -- "$(dirname -- "$loader")")
    printf '%s\n' "$root/lib/wine" "$root/lib64/wine"
}

# Where the stand-in wmvcore.dll <dll> goes and what it forwards to: sets QUILL_WMV_SYS (the prefix's
# system folder of the DLL's arch) and QUILL_WMV_WINE (Wine's own wmvcore.dll of that arch in Wine's
# install; empty when none is found there).
quill_wmvcore_places() {
    local dll=$1 arch=i386-windows dir
    QUILL_WMV_SYS="$WINEPREFIX/drive_c/windows/syswow64"
    if [[ $(quill_pe_machine "$dll") == 8664 ]]; then
        QUILL_WMV_SYS="$WINEPREFIX/drive_c/windows/system32"
        arch=x86_64-windows
    fi
    QUILL_WMV_WINE=
    # The list is read whole before it is searched: a reader that left the pipe at the first find
    # would make the writer's next line a "write error: Broken pipe" where SIGPIPE is ignored (as
    # some terminals' shells have it).
    local dirs=()
    mapfile -t dirs < <(quill_wine_lib_dirs)
    for dir in "${dirs[@]}"; do
        if [[ -f $dir/$arch/wmvcore.dll ]]; then
            QUILL_WMV_WINE=$dir/$arch/wmvcore.dll
            return 0
        fi
    done
}

# Is the prefix's saved copy of Wine's own wmvcore.dll another than Wine's install holds (Wine was
# changed since it was taken)? Expects quill_wine_env.
quill_wmvcore_outdated() {
    quill_wmvcore_places "$1"
    [[ -n $QUILL_WMV_WINE ]] && ! cmp -s -- "$QUILL_WMV_WINE" "$QUILL_WMV_SYS/quill_wine_wmvcore.dll"
}

# The stand-in wmvcore.dll (our profile manager; every other export forwarded to Wine's wmvcore):
# ours takes the name wmvcore.dll in the prefix's system folder, the prefix loads the native wmvcore
# before the builtin, and Wine's own is kept beside it as quill_wine_wmvcore.dll, taken from Wine's
# install (again whenever Wine changes: a copy of an older Wine's would not fit the new one), or from
# the prefix's own file while that is still Wine's where the install's cannot be found.
quill_install_wmvcore() {
    local dll=$1 sys
    quill_wmvcore_places "$dll"
    sys=$QUILL_WMV_SYS
    mkdir -p -- "$sys"
    if [[ -n $QUILL_WMV_WINE ]]; then
        if ! cmp -s -- "$QUILL_WMV_WINE" "$sys/quill_wine_wmvcore.dll"; then
            cp -f -- "$QUILL_WMV_WINE" "$sys/quill_wine_wmvcore.dll" || quill_die "cannot keep Wine's wmvcore.dll"
        fi
    elif grep -q -a 'Wine builtin DLL' "$sys/wmvcore.dll" 2>/dev/null; then
        cp -f "$sys/wmvcore.dll" "$sys/quill_wine_wmvcore.dll" || quill_die "cannot keep Wine's wmvcore.dll"
    fi
    [[ -f $sys/quill_wine_wmvcore.dll ]] || quill_die "Wine's wmvcore.dll not found in Wine's install nor in $sys"
    quill_say "Installing stand-in wmvcore.dll in $WINEPREFIX"
    cp -f "$dll" "$sys/wmvcore.dll" || quill_die "cannot install $dll"
    "${QUILL_WINE[@]}" reg add 'HKCU\Software\Wine\DllOverrides' /v wmvcore /d native,builtin /f \
        </dev/null >/dev/null || quill_die "cannot set the wmvcore override"
}

quill_register_standins() {
    local dir=$1 list=$2 dll shared=false
    quill_standins_stale "$dir" "$list" || return 0
    # A server that programs already use keeps the registration and writes it when it ends; waiting
    # for it to end would wait for them.
    quill_wine_server_running && shared=true
    while IFS= read -r dll; do
        [[ -n $dll ]] || continue
        [[ -f $dll ]] || quill_die "stand-in DLL not built: $dll"
        if [[ $(basename -- "$dll") == wmvcore.dll ]]; then
            quill_install_wmvcore "$dll"
            continue
        fi
        quill_say "Registering stand-in $(basename "$dll") in $WINEPREFIX"
        "${QUILL_WINE[@]}" regsvr32 /s "$(quill_dos_path "$dll")" </dev/null ||
            quill_die "regsvr32 failed for $dll"
    done <"$list"
    $shared || "$QUILL_WINESERVER" -w
    touch "$dir/standins.stamp"
}

# Makes the prefix of <dir> ready (created once, stand-ins registered), under a lock so that
# parallel callers (CTest -j through the emulator) do it once. Expects quill_wine_env <dir>.
#   quill_ensure_prefix <dir> <stand-in list> test|run
quill_ensure_prefix() {
    local dir=$1 list=$2 kind=$3
    if quill_prefix_ready "$dir" && ! quill_standins_stale "$dir" "$list" &&
        { [[ $kind != test ]] || ! quill_test_prefix_settings_stale "$dir"; }; then
        return 0
    fi
    mkdir -p "$dir"
    (
        flock 9
        quill_prefix_ready "$dir" || quill_create_prefix "$dir" "$kind"
        # A prefix made before its window handling was set as it is now gets it once.
        if [[ $kind == test ]] && quill_test_prefix_settings_stale "$dir"; then
            quill_test_prefix_settings "$dir"
            quill_wine_server_running || "$QUILL_WINESERVER" -w
        fi
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

# ---------------------------------------------------------------------------------------------
# A desktop for the program's windows: a window manager (openbox, as on any desktop) on <display>,
# which decorates, places and focuses the windows that Wine lets it manage. It reads no user's
# configuration (its own HOME in <dir>). Sets QUILL_WM_PID; answers 1, with a line saying why, when
# there is no openbox or it does not take the display.
#   quill_start_window_manager <display> <dir>
# ---------------------------------------------------------------------------------------------
quill_start_window_manager() {
    local display=$1 dir=$2
    QUILL_WM_PID=
    if ! command -v openbox >/dev/null 2>&1; then
        quill_say "No openbox (run scripts/setup.sh): the program's windows have no window manager."
        return 1
    fi
    mkdir -p "$dir"
    DISPLAY=$display HOME=$dir XDG_CONFIG_HOME=$dir XDG_CACHE_HOME=$dir openbox --sm-disable \
        </dev/null >"$dir/openbox.log" 2>&1 &
    QUILL_WM_PID=$!
    quill_wait_while_running "$QUILL_WM_PID" quill_window_manager_runs "$display" && return 0
    quill_stop_window_manager
    quill_say "Openbox did not start on $display (see $dir/openbox.log): the program's windows have no" \
              "window manager."
    return 1
}

# A window manager names itself on the root window of <display> once it manages the display.
quill_window_manager_runs() {
    DISPLAY=$1 xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

quill_stop_window_manager() {
    if [[ -n ${QUILL_WM_PID:-} ]]; then
        kill "$QUILL_WM_PID" 2>/dev/null || true
        wait "$QUILL_WM_PID" 2>/dev/null || true
        QUILL_WM_PID=
    fi
}
