#!/usr/bin/env bash
# Installs with apt-get what the build, run and test scripts need and is missing. Quiet when all is there.
set -euo pipefail

# libv4l-0: Wine's capture filter opens webcams through libv4l2, which libwine only recommends.
# tango-icon-theme and python3: the program's pictures, converted when it is built (cmake/icon_strips.py).
# pulseaudio, pulseaudio-utils: the tests start a server of their own, record its sine tone through
# Wine and listen to what the program plays into it.
# openbox, xdotool: the stories of the program's windows run on a desktop with a window manager, and
# type there as the keyboard types (through the X server, to the window the window manager focused).
packages=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64 xvfb x11-utils cmake ninja-build
          googletest ccache dpkg-dev make nasm ffmpeg libv4l-0 tango-icon-theme python3
          pulseaudio pulseaudio-utils openbox xdotool)

installed() { [[ $(dpkg-query -W -f='${Status}' "$1" 2>/dev/null) == "install ok installed" ]]; }
candidate() { apt-cache policy "$1" 2>/dev/null | grep -q 'Candidate: [^(]'; }

missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done
# The wine package gives /usr/bin/wine, wineserver, regsvr32...; wine64 alone is enough for the scripts.
want_wine=false
[[ -x /usr/bin/wine ]] || want_wine=true
if [[ ${#missing[@]} -eq 0 ]] && { ! $want_wine || ! candidate wine; }; then
    exit 0
fi

sudo=()
if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null 2>&1 || { echo "error: need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
    sudo=(sudo)
fi
command -v apt-get >/dev/null 2>&1 || { echo "error: apt-get not found; install: ${missing[*]}" >&2; exit 1; }

export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q </dev/null
if $want_wine && candidate wine; then
    missing+=(wine)
fi
echo "setup: installing ${missing[*]}" >&2
"${sudo[@]}" apt-get install -y -q "${missing[@]}" </dev/null
