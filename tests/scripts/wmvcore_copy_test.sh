#!/usr/bin/env bash
# The stand-in wmvcore.dll's place in a prefix, on a made-up prefix and Wine install: ours takes the
# system folder's wmvcore.dll of its arch, Wine's own is kept beside it as taken from Wine's install,
# and taken again (the stand-ins counted stale) when Wine's install changes; without an install copy
# the prefix's own Wine file is kept. Needs no Wine.
#   tests/scripts/wmvcore_copy_test.sh [build folder (unused)]
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../scripts/lib/common.sh"
source "$here/expect.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A file that reads as a PE DLL for <machine> (two bytes, low first) followed by <text>.
fake_dll() {
    local path=$1 machine=$2 text=$3
    mkdir -p "$(dirname "$path")"
    {
        printf 'MZ'
        head -c 58 /dev/zero
        printf '\x40\x00\x00\x00PE\x00\x00'
        printf "$machine"
        printf '%s' "$text"
    } >"$path"
}

# Runs a function of the scripts in a subshell against the made-up prefix; prints its status last.
in_prefix() {
    (
        export WINEPREFIX=$work/prefix
        QUILL_WINE=(true)  # "reg add" is Wine's; nothing here runs Wine
        export QUILL_WINE_LIB_DIRS=$lib_dirs
        ("$@") 2>/dev/null
        echo "status $?"
    ) | tail -n 1
}

sys64=$work/prefix/drive_c/windows/system32
sys32=$work/prefix/drive_c/windows/syswow64
fake_dll "$work/ours64/wmvcore.dll" '\x64\x86' 'our profile manager'
fake_dll "$work/ours32/wmvcore.dll" '\x4c\x01' 'our 32-bit profile manager'
fake_dll "$work/wine-a/x86_64-windows/wmvcore.dll" '\x64\x86' 'Wine builtin DLL, Wine A'
fake_dll "$work/wine-a/i386-windows/wmvcore.dll" '\x4c\x01' 'Wine builtin DLL, Wine A, 32-bit'
fake_dll "$sys64/wmvcore.dll" '\x64\x86' 'Wine builtin DLL, the prefix'"'"'s own'
lib_dirs="$work/nothing-here $work/wine-a"

expect "an x64 DLL's machine" 8664 "$(quill_pe_machine "$work/ours64/wmvcore.dll")"
expect "an x86 DLL's machine" 014c "$(quill_pe_machine "$work/ours32/wmvcore.dll")"
expect "a file too short for a PE header has no machine" "" "$(printf 'MZ' >"$work/short"; quill_pe_machine "$work/short")"

# A first installation: ours in the system folder, Wine's from its install beside it.
expect "the first installation" "status 0" "$(in_prefix quill_install_wmvcore "$work/ours64/wmvcore.dll")"
expect "ours is the system folder's wmvcore" "our profile manager" "$(tail -c 19 "$sys64/wmvcore.dll")"
expect "Wine's own is kept as Wine's install has it" "Wine builtin DLL, Wine A" "$(tail -c 24 "$sys64/quill_wine_wmvcore.dll")"
expect "up to date after the installation" "status 1" "$(in_prefix quill_wmvcore_outdated "$work/ours64/wmvcore.dll")"

# Wine changes: the saved copy is outdated, the stand-ins count as stale, and a new installation
# takes Wine's new file.
mkdir -p "$work/build" "$work/state"
printf '%s\n' "$work/ours64/wmvcore.dll" >"$work/build/wine-standins.list"
touch "$work/state/standins.stamp"
expect "the stand-ins are not stale while Wine stays" "status 1" \
    "$(in_prefix quill_standins_stale "$work/state" "$work/build/wine-standins.list")"
fake_dll "$work/wine-a/x86_64-windows/wmvcore.dll" '\x64\x86' 'Wine builtin DLL, Wine B'
expect "outdated once Wine changed" "status 0" "$(in_prefix quill_wmvcore_outdated "$work/ours64/wmvcore.dll")"
expect "the stand-ins are stale once Wine changed" "status 0" \
    "$(in_prefix quill_standins_stale "$work/state" "$work/build/wine-standins.list")"
expect "the installation after Wine's change" "status 0" "$(in_prefix quill_install_wmvcore "$work/ours64/wmvcore.dll")"
expect "the new Wine's own is kept" "Wine builtin DLL, Wine B" "$(tail -c 24 "$sys64/quill_wine_wmvcore.dll")"
expect "ours stays the system folder's" "our profile manager" "$(tail -c 19 "$sys64/wmvcore.dll")"

# A 32-bit stand-in goes into the 32-bit system folder, with Wine's 32-bit file.
expect "the 32-bit installation" "status 0" "$(in_prefix quill_install_wmvcore "$work/ours32/wmvcore.dll")"
expect "ours is the 32-bit system folder's wmvcore" "our 32-bit profile manager" "$(tail -c 26 "$sys32/wmvcore.dll")"
expect "Wine's 32-bit own is kept" "Wine A, 32-bit" "$(tail -c 14 "$sys32/quill_wine_wmvcore.dll")"

# Without the install's file: the prefix's own, while it is still Wine's, else a clear failure.
lib_dirs=$work/nothing-here
rm -f "$sys64/quill_wine_wmvcore.dll"
fake_dll "$sys64/wmvcore.dll" '\x64\x86' 'Wine builtin DLL, the prefix'"'"'s own'
expect "installed from the prefix's own file" "status 0" "$(in_prefix quill_install_wmvcore "$work/ours64/wmvcore.dll")"
expect "the prefix's own Wine file is kept" "the prefix's own" "$(tail -c 16 "$sys64/quill_wine_wmvcore.dll")"
expect "nothing outdated without the install's file" "status 1" \
    "$(in_prefix quill_wmvcore_outdated "$work/ours64/wmvcore.dll")"
rm -f "$sys64/quill_wine_wmvcore.dll"
expect "no Wine file anywhere fails" "status 1" "$(in_prefix quill_install_wmvcore "$work/ours64/wmvcore.dll")"

# Wine's install folders are read to their end: with Wine's file in the first of a long list (more
# than a pipe holds), a check run where broken pipes are not silenced (a terminal's shell that
# ignores SIGPIPE) prints no write error.
lib_dirs="$work/wine-a"
for ((n = 0; n < 2000; n++)); do lib_dirs+=" $work/no-wine-here-$n"; done
errors=$(
    trap '' PIPE
    WINEPREFIX=$work/prefix QUILL_WINE_LIB_DIRS=$lib_dirs quill_wmvcore_outdated "$work/ours64/wmvcore.dll" 2>&1 >/dev/null
)
expect "no write error into a pipe the reader left" "" "$errors"
WINEPREFIX=$work/prefix QUILL_WINE_LIB_DIRS=$lib_dirs quill_wmvcore_places "$work/ours64/wmvcore.dll"
expect "Wine's file found in the first folder" "$work/wine-a/x86_64-windows/wmvcore.dll" "$QUILL_WMV_WINE"
expect_summary
