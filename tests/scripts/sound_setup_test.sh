#!/usr/bin/env bash
# The run command's choice of sound set-up, on made-up machines: PulseAudio sockets that answer, that
# a dead server left behind or that are no sockets at all, ALSA card lists with and without their
# devices, a user's own PULSE_SERVER, cookie and .asoundrc. Needs no sound system, only bash and perl.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/lib/common.sh"
source "$(dirname "${BASH_SOURCE[0]}")/expect.sh"

work=$(mktemp -d)
servers=()
cleanup() {
    local pid
    for pid in "${servers[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf -- "$work"
}
trap cleanup EXIT

# pactl as a server with a microphone would answer (the made-up servers below speak no protocol).
mkdir -p "$work/bin"
cat >"$work/bin/pactl" <<'PACTL'
#!/usr/bin/env bash
[[ $* == "list sources" ]] || exit 1
printf 'Source #0\n\tName: alsa_input.pci\n\tDescription: Built-in Audio Analog Stereo\n\n'
printf 'Source #1\n\tName: alsa_output.pci.monitor\n\tDescription: Monitor of Built-in Audio\n'
PACTL
chmod +x "$work/bin/pactl"
export PATH=$work/bin:$PATH

# A Unix socket with a server listening on it until the test ends.
listen_on() {
    local path=$1
    mkdir -p "$(dirname "$path")"
    perl -MSocket -e 'my $s; socket($s, PF_UNIX, SOCK_STREAM, 0) && bind($s, pack_sockaddr_un($ARGV[0]))
                      && listen($s, 5) or die "listen: $!"; open(my $f, ">", "$ARGV[0].ready"); close $f;
                      sleep 300' -- "$path" &
    servers+=($!)
    local i
    for ((i = 0; i < 200; i++)); do
        [[ -e $path.ready ]] && return 0
        sleep 0.05
    done
    echo "no test server on $path" >&2
    exit 1
}

# The socket file a server leaves when it dies without removing it.
dead_socket() {
    mkdir -p "$(dirname "$1")"
    perl -MSocket -e 'my $s; socket($s, PF_UNIX, SOCK_STREAM, 0) && bind($s, pack_sockaddr_un($ARGV[0]))
                      or die "bind: $!"' -- "$1"
}

# A made-up machine: <name>/cards (as /proc/asound/cards), <name>/snd (as /dev/snd), <name>/home
# (the user's), <name>/private (the run prefix's HOME), <name>/run (the runtime folder).
machine() {
    local m=$work/$1
    mkdir -p "$m/snd" "$m/home" "$m/private" "$m/run"
    printf '%s' "$m"
}

# Runs the run command's sound set-up for machine <m> in a subshell with only the given environment
# (name=value words) and prints what it left: the choice, PULSE_SERVER, PULSE_COOKIE and .asoundrc.
sound_of() {
    local m=$1
    shift
    (
        unset PULSE_SERVER PULSE_COOKIE
        export XDG_RUNTIME_DIR=$m/run
        [[ $# -eq 0 ]] || export "$@"
        HOME=$m/private
        quill_use_user_sound "$m/home" "$m/cards" "$m/snd" "$m/pcm" 2>"$m/said"
        printf '%s|%s|%s|%s' "$QUILL_SOUND" "${PULSE_SERVER:-}" "${PULSE_COOKIE:-}" "$(<"$HOME/.asoundrc")"
    )
}

null_rc='pcm.!default { type null }'
user_rc='# The user'"'"'s own ALSA configuration (written at each start of scripts/run.sh).'
two_cards=' 0 [PCH            ]: HDA-Intel - HDA Intel PCH
                      HDA Intel PCH at 0xf7f10000 irq 32
 1 [C920           ]: USB-Audio - HD Pro Webcam C920
                      HD Pro Webcam C920 at usb-0000:00:14.0-2, high speed'

# Nothing answers: no socket, no ALSA in the kernel (no cards file). The silent null device, and no
# PulseAudio server named to Wine.
m=$(machine bare)
expect "no sound system: the null device" "null|||$null_rc" "$(sound_of "$m")"
expect "no sound system: said so" "yes" "$(grep -q 'no sound system answers' "$m/said" && echo yes)"
expect "no sound system: the inputs said" \
    'Sound inputs to record from: "In: default" (the null device: silence); and Quillotrane Test Microphone.' \
    "$(tail -n 1 "$m/said")"

# ALSA without cards, and cards that this process cannot open (a container sees the host's list but
# not its devices): still the null device.
m=$(machine nocards)
printf -- '--- no soundcards ---\n' >"$m/cards"
expect "ALSA without cards" "null|||$null_rc" "$(sound_of "$m")"
m=$(machine nodevices)
printf '%s\n' "$two_cards" >"$m/cards"
expect "cards listed without their devices" "null|||$null_rc" "$(sound_of "$m")"

# A card whose control device can be opened: ALSA with the user's own configuration, named by card.
m=$(machine alsa)
printf '%s\n' "$two_cards" >"$m/cards"
touch "$m/snd/controlC1"
expect "one card of two opens" "alsa|||$user_rc" "$(sound_of "$m")"
printf '%s\n' '00-00: ALC892 Analog : ALC892 Analog : playback 1 : capture 1' \
    '01-00: USB Audio : USB Audio : capture 1' '01-01: USB Audio #1 : USB Audio #1 : playback 1' >"$m/pcm"
sound_of "$m" >/dev/null
expect "the card is named" "Sound: ALSA (USB-Audio - HD Pro Webcam C920); no PulseAudio server answers." \
    "$(head -n 1 "$m/said")"
expect "the inputs of the card that opens" \
    "Sound inputs to record from: USB Audio; and Quillotrane Test Microphone." "$(tail -n 1 "$m/said")"
printf 'defaults.pcm.card 1\n' >"$m/home/.asoundrc"
expect "the user's .asoundrc is included" "alsa|||$user_rc
<$m/home/.asoundrc>" "$(sound_of "$m")"
# The set-up is decided at each start: once the card is gone, no stale configuration stays behind.
rm "$m/snd/controlC1"
expect "card gone at the next start" "null|||$null_rc" "$(sound_of "$m")"

# A malformed cards file is no card.
m=$(machine garbage)
printf '0 PCH no brackets\n[1]: x\n \x01\x02 [\n' >"$m/cards"
touch "$m/snd/controlC0" "$m/snd/controlC1"
expect "malformed cards file" "null|||$null_rc" "$(sound_of "$m")"

# A PulseAudio (or PipeWire) server answering in the runtime folder: named to Wine explicitly, since
# the private HOME would hide where it is; ALSA stays the fallback behind it.
m=$(machine pulse)
listen_on "$m/run/pulse/native"
expect "server in the runtime folder" "pulse|unix:$m/run/pulse/native||$null_rc" "$(sound_of "$m")"
expect "the server's sources by their descriptions" \
    "Sound inputs to record from: Built-in Audio Analog Stereo, Monitor of Built-in Audio; and Quillotrane Test Microphone." \
    "$(tail -n 1 "$m/said")"
printf '%s\n' "$two_cards" >"$m/cards"
touch "$m/snd/controlC0"
expect "server and a card" "pulse|unix:$m/run/pulse/native||$user_rc" "$(sound_of "$m")"
mkdir -p "$m/home/.config/pulse"
touch "$m/home/.config/pulse/cookie"
expect "the user's cookie goes with it" \
    "pulse|unix:$m/run/pulse/native|$m/home/.config/pulse/cookie|$user_rc" "$(sound_of "$m")"
expect "a cookie the user names stays" "pulse|unix:$m/run/pulse/native|/elsewhere/cookie|$user_rc" \
    "$(sound_of "$m" PULSE_COOKIE=/elsewhere/cookie)"

# A socket file left by a dead server, or a plain file in its place, does not answer.
m=$(machine dead)
dead_socket "$m/run/pulse/native"
expect "socket of a dead server" "null|||$null_rc" "$(sound_of "$m")"
m=$(machine notsocket)
mkdir -p "$m/run/pulse"
touch "$m/run/pulse/native"
expect "a file that is no socket" "null|||$null_rc" "$(sound_of "$m")"

# The user's PULSE_SERVER is the only server their programs try: its first entry that answers
# (machine-id prefix and all), a network server as given, none when its sockets are dead, even
# with a live one in the runtime folder.
m=$(machine userserver)
listen_on "$m/run/pulse/native"
listen_on "$m/other/native"
dead_socket "$m/dead/native"
expect "PULSE_SERVER on a socket" "pulse|unix:$m/other/native||$null_rc" \
    "$(sound_of "$m" "PULSE_SERVER=unix:$m/other/native")"
expect "PULSE_SERVER skips a dead entry" "pulse|unix:$m/run/pulse/native||$null_rc" \
    "$(sound_of "$m" "PULSE_SERVER={0123abcd}unix:$m/dead/native $m/run/pulse/native")"
expect "PULSE_SERVER on the network" "pulse|tcp:studio.local:4713||$null_rc" \
    "$(sound_of "$m" PULSE_SERVER=tcp:studio.local:4713)"
expect "PULSE_SERVER all dead (left as given)" "null|unix:$m/dead/native||$null_rc" \
    "$(sound_of "$m" "PULSE_SERVER=unix:$m/dead/native")"
expect "PULSE_SERVER with a wildcard" "null|$m/*/*/native||$null_rc" \
    "$(sound_of "$m" "PULSE_SERVER=$m/*/*/native")"

# Folder names with spaces and quotes, as a user's home or runtime folder may have.
m=$(machine "it's a home")
listen_on "$m/run/pulse/native"
printf '%s\n' "$two_cards" >"$m/cards"
touch "$m/snd/controlC0" "$m/home/.asoundrc"
expect "spaces and quotes in folders" "pulse|unix:$m/run/pulse/native||$user_rc
<$m/home/.asoundrc>" "$(sound_of "$m")"

# The tests' own server: without pulseaudio the start says so and fails; with it, the socket answers
# and QUILL_TEST_PULSE names it until the stop, which ends the server.
said=$( (PATH=$work/bin; quill_start_test_pulse "$work/nopulse") 2>&1 >/dev/null; echo "rc=$?")
expect "no pulseaudio: said and failed" "yes" \
    "$([[ $said == *"No pulseaudio"*"test devices only"*"rc=1" ]] && echo yes)"
if command -v pulseaudio >/dev/null 2>&1; then
    quill_start_test_pulse "$work/pulse" 2>/dev/null
    expect "the test server answers" "unix:$work/pulse/native yes" \
        "${QUILL_TEST_PULSE:-} $(quill_socket_answers "$work/pulse/native" && echo yes)"
    pid=$QUILL_PULSE_PID
    quill_stop_test_pulse
    expect "the test server is stopped" "gone unset" \
        "$(kill -0 "$pid" 2>/dev/null || echo gone) ${QUILL_TEST_PULSE:-unset}"
fi

expect_summary
