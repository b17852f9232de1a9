#!/usr/bin/env bash
# Builds Quillotrane for Windows with MinGW-w64, CMake and Ninja.
#   scripts/build.sh [--arch x64|i686] [--build-dir DIR] [ninja targets or options...]
# The build folder defaults to build/x64 or build/i686 in the repository; it is configured once
# (Ninja re-runs CMake by itself when a CMakeLists changes).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"

arch=x64
build_dir=
ninja_args=()
while [[ $# -gt 0 ]]; do
    case $1 in
        --arch) arch=${2:?--arch needs x64 or i686}; shift 2 ;;
        --arch=*) arch=${1#*=}; shift ;;
        --build-dir) build_dir=${2:?--build-dir needs a folder}; shift 2 ;;
        --build-dir=*) build_dir=${1#*=}; shift ;;
        -h|--help) sed -n '2,5s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) ninja_args+=("$1"); shift ;;
    esac
done
case $arch in
    x64|x86_64) arch=x64; toolchain=$QUILL_ROOT/cmake/toolchain-x86_64.cmake ;;
    i686|x86) arch=i686; toolchain=$QUILL_ROOT/cmake/toolchain-i686.cmake ;;
    *) quill_die "unknown --arch '$arch' (x64 or i686)" ;;
esac
build_dir=$(quill_abs_dir "${build_dir:-$QUILL_ROOT/build/$arch}")

bash "$QUILL_ROOT/scripts/setup.sh"
# The coding libraries, built once from Debian's sources into a cache outside the work tree.
bash "$QUILL_ROOT/scripts/deps.sh" --arch "$arch"
deps_prefix=$(bash "$QUILL_ROOT/scripts/deps.sh" --arch "$arch" --print-prefix)

if [[ -f $build_dir/CMakeCache.txt ]]; then
    configured=$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$build_dir/CMakeCache.txt")
    [[ $configured == "$toolchain" ]] ||
        quill_die "$build_dir is configured with ${configured:-no toolchain}, not $toolchain: use another --build-dir"
fi
# A build folder links the libraries of the recipe its checkout has now (a checkout moved to another
# commit may have another recipe, whose libraries live in their own folder).
if [[ -f $build_dir/build.ninja ]] &&
   [[ $(sed -n 's/^QUILL_DEPS_PREFIX:[A-Z]*=//p' "$build_dir/CMakeCache.txt") != "$deps_prefix" ]]; then
    cmake -S "$QUILL_ROOT" -B "$build_dir" -DQUILL_DEPS_PREFIX="$deps_prefix" >/dev/null
fi
if [[ ! -f $build_dir/build.ninja ]]; then
    cmake -G Ninja -S "$QUILL_ROOT" -B "$build_dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DQUILL_DEPS_PREFIX="$deps_prefix"
fi
# QUILL_JOBS limits parallel compiles (several builds sharing one machine).
cmake --build "$build_dir" -- ${QUILL_JOBS:+-j"$QUILL_JOBS"} "${ninja_args[@]}"
