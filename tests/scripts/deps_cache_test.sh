#!/usr/bin/env bash
# The coding libraries' cache keeps each recipe apart: the folder deps.sh names for an arch follows a
# digest of its recipe (the script and the arch's toolchain file), so a checkout with another recipe
# (an older commit, a branch) builds into a folder of its own and never changes what this one links.
# Works on copies of the scripts in a scratch tree; builds nothing and needs no Wine.
#   tests/scripts/deps_cache_test.sh [build folder (unused)]
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$here/expect.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A copy of the scripts and toolchain files that deps.sh reads, as checkout <name>.
checkout() {
    mkdir -p "$work/$1/scripts/lib" "$work/$1/cmake"
    cp "$root/scripts/deps.sh" "$work/$1/scripts/"
    cp "$root/scripts/lib/common.sh" "$work/$1/scripts/lib/"
    cp "$root/cmake/toolchain-x86_64.cmake" "$root/cmake/toolchain-i686.cmake" "$work/$1/cmake/"
}
prefix_of() { QUILL_DEPS_DIR=$work/cache bash "$work/$1/scripts/deps.sh" --arch "$2" --print-prefix; }

checkout same
checkout other
x64=$(prefix_of same x64)
expect "the prefix lies in the arch's folder of the cache" "$work/cache/x64" "${x64%/*}"
expect "the same recipe names the same folder" "$x64" "$(prefix_of other x64)"
expect "the same recipe names the same folder for the other arch" "$(prefix_of same i686)" "$(prefix_of other i686)"
[[ $(prefix_of same i686) != "$x64" ]]
expect "the arches have folders of their own" 0 $?

# Another recipe: a changed library list in the script, then a changed toolchain file.
sed -i 's/^    "ffmpeg ffmpeg \([0-9]*\)"/    "ffmpeg ffmpeg 999"/' "$work/other/scripts/deps.sh"
grep -q '"ffmpeg ffmpeg 999"' "$work/other/scripts/deps.sh"
expect "the other recipe is in place" 0 $?
[[ $(prefix_of other x64) != "$x64" ]]
expect "another recipe builds into a folder of its own" 0 $?
checkout toolchain
printf '# another compiler setting\n' >>"$work/toolchain/cmake/toolchain-i686.cmake"
expect "a changed toolchain leaves the other arch's folder" "$x64" "$(prefix_of toolchain x64)"
[[ $(prefix_of toolchain i686) != "$(prefix_of same i686)" ]]
expect "a changed toolchain moves its own arch's folder" 0 $?

expect_summary
