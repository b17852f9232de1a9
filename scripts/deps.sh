#!/usr/bin/env bash
# Builds the coding libraries of the stand-ins and of the program from Debian's source packages with the
# MinGW cross compilers, into a cache outside the work tree; a library already built is left alone.
#   scripts/deps.sh [--arch x64|i686] [--print-prefix]
#   QUILL_DEPS_DIR overrides the cache (default ${XDG_CACHE_HOME:-$HOME/.cache}/quillotrane/deps).
# Each library lands in <cache>/<arch>/r-<recipe key>/ (include/, lib/) with a stamp in stamps/<name> there.
# The key is a digest of this script and the toolchain files, so that every recipe keeps its own folder:
# building another commit (a bisect, a branch) never changes what this checkout links.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"

arch=x64
print_prefix=false
while [[ $# -gt 0 ]]; do
    case $1 in
        --arch) arch=${2:?--arch needs x64 or i686}; shift 2 ;;
        --arch=*) arch=${1#*=}; shift ;;
        --print-prefix) print_prefix=true; shift ;;
        -h|--help) sed -n '2,6s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) quill_die "deps.sh: unknown argument '$1'" ;;
    esac
done
case $arch in
    x64|x86_64) arch=x64; host=x86_64-w64-mingw32; ffarch=x86_64; toolchain=toolchain-x86_64.cmake ;;
    i686|x86) arch=i686; host=i686-w64-mingw32; ffarch=x86; toolchain=toolchain-i686.cmake ;;
    *) quill_die "unknown --arch '$arch' (x64 or i686)" ;;
esac

cache=${QUILL_DEPS_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/quillotrane/deps}
recipe_key=$(cat "${BASH_SOURCE[0]}" "$QUILL_ROOT/cmake/$toolchain" | sha256sum | cut -c 1-16)
prefix=$cache/$arch/r-$recipe_key
if $print_prefix; then
    printf '%s\n' "$prefix"
    exit 0
fi

# Library name, Debian source package, recipe revision (raise it when a recipe changes: the library is
# built again). MPEG-4 video comes from libavcodec's MPEG-4 part 2 encoder: xvidcore's source files are
# not served by the package archive reached here. DV video, the MPEG and Windows Media coders, the MPEG
# program-stream and ASF writers, picture scaling and sound resampling come from ffmpeg too. (Its entry
# was once "avcodec": a new name, so that work trees still on the old list keep their stamp instead of
# building a smaller set over this one.)
libs=(
    "mp3lame lame 1"
    "ffmpeg ffmpeg 3"
    "jpeg libjpeg-turbo 1"
)

stamp_of() { printf '%s/stamps/%s' "$prefix" "$1"; }
stamp_ok() { [[ -f $(stamp_of "$1") && $(head -n 1 "$(stamp_of "$1")") == "recipe $2" ]]; }

pending=()
for entry in "${libs[@]}"; do
    read -r name package revision <<<"$entry"
    stamp_ok "$name" "$revision" || pending+=("$entry")
done
[[ ${#pending[@]} -eq 0 ]] && exit 0

jobs=${QUILL_JOBS:-$(nproc)}
mkdir -p "$prefix/stamps" "$cache/src"

sudo=()
if [[ $(id -u) -ne 0 ]] && command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
fi

# apt-get source needs a deb-src line; add one for this system's release when none is there.
have_deb_src() {
    grep -qsE '^[[:space:]]*deb-src[[:space:]]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list ||
        grep -qsE '^[[:space:]]*Types:.*deb-src' /etc/apt/sources.list.d/*.sources
}
ensure_deb_src() {
    have_deb_src && return 0
    local codename uri
    codename=$(. /etc/os-release && printf '%s' "${VERSION_CODENAME:-}")
    [[ -n $codename ]] || quill_die "no deb-src line in the apt sources, and the Debian release is unknown"
    uri=$(grep -hsE '^[[:space:]]*URIs:' /etc/apt/sources.list.d/*.sources | head -n 1 | awk '{print $2}')
    [[ -n $uri ]] || uri=$(grep -hsE '^[[:space:]]*deb[[:space:]]' /etc/apt/sources.list | head -n 1 |
                           sed -E 's/^[[:space:]]*deb[[:space:]]+(\[[^]]*\][[:space:]]+)?([^[:space:]]+).*/\2/')
    [[ -n $uri ]] || uri=http://deb.debian.org/debian
    quill_say "deps: adding a deb-src line for $codename ($uri)"
    printf 'Types: deb-src\nURIs: %s\nSuites: %s %s-updates\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$uri" "$codename" "$codename" | "${sudo[@]}" tee /etc/apt/sources.list.d/quillotrane-src.sources >/dev/null
    "${sudo[@]}" apt-get update -q </dev/null >&2
}

# Unpacks the source of <package> that apt offers into $cache/src/<package>-<version>/ (once) and prints
# that folder. Debian's patches are applied when the whole source package is served; when only the
# upstream tarball is (the archive reached here answers 404 for some Debian parts), that is unpacked alone.
fetch_source() {
    local package=$1 dl dsc version tree orig
    dsc=$(apt-get source -q --print-uris "$package" 2>/dev/null | awk '{print $2}' | grep '\.dsc$' | head -n 1 || true)
    [[ -n $dsc ]] || quill_die "apt-get source finds no source package $package"
    version=${dsc#"${package}_"}
    version=${version%.dsc}
    tree=$cache/src/$package-$version
    if [[ ! -f $tree/.unpacked ]]; then
        dl=$cache/src/download-$package
        rm -rf "$dl" "$tree"
        mkdir -p "$dl"
        (cd "$dl" && apt-get source -q --download-only "$package" </dev/null >"$dl.log" 2>&1) ||
            quill_say "deps: apt-get source $package did not fetch every file (see $dl.log)"
        [[ -f $dl/$dsc ]] || { cat "$dl.log" >&2; quill_die "apt-get source $package failed"; }
        if ! dpkg-source --no-check -x "$dl/$dsc" "$tree" >>"$dl.log" 2>&1; then
            orig=$(ls "$dl"/*.orig.tar.* 2>/dev/null | grep -v '\.asc$' | head -n 1 || true)
            [[ -n $orig ]] || { cat "$dl.log" >&2; quill_die "the source of $package could not be fetched"; }
            quill_say "deps: $package: unpacking the upstream source alone ($(basename "$orig"))"
            rm -rf "$tree"
            mkdir -p "$tree"
            tar -xf "$orig" -C "$tree" --strip-components=1
        fi
        touch "$tree/.unpacked"
        rm -rf "$dl" "$dl.log"
    fi
    printf '%s' "$tree"
}

# A fresh copy of a source tree to build in (sources are shared between the two arches).
work_copy() {
    local tree=$1 work=$cache/build/$arch-$recipe_key/$2
    rm -rf "$work"
    mkdir -p "$(dirname "$work")"
    cp -a "$tree" "$work"
    printf '%s' "$work"
}

cc=$host-gcc-posix
autotools_env=(CC="$cc" AR="$host-ar" RANLIB="$host-ranlib" STRIP="$host-strip" CFLAGS="-O2")

build_mp3lame() {
    ./configure --host="$host" --build=x86_64-linux-gnu --prefix="$prefix" --disable-shared --enable-static \
        --disable-frontend --disable-gtktest --disable-decoder --disable-dependency-tracking "${autotools_env[@]}"
    make -C libmp3lame -j"$jobs"
    make -C libmp3lame install
    make -C include install
}

# libavcodec and libavformat with only what the stand-ins use: the MPEG-4 part 2 encoder; the DV coder;
# MPEG-1 and MPEG-2 video (coded by the MPEG card, decoded for its preview) and MPEG audio layer II; the
# Windows Media video (MPEG-4 v3, WMV7, WMV8) and audio (WMA2) encoders; the MPEG-1 system, MPEG-2
# program-stream and ASF writers (the ASF writer's object ids are built with the ASF reader alone);
# libswscale and libswresample, with which the ASF writer brings pictures and sound to its profile's
# size, rate and channels.
build_ffmpeg() {
    ./configure --prefix="$prefix" --enable-cross-compile --cross-prefix="$host-" --cc="$cc" --arch="$ffarch" \
        --target-os=mingw32 --pkg-config=false --disable-autodetect --disable-everything --disable-programs \
        --disable-doc --disable-network --disable-avdevice --disable-avfilter \
        --enable-swscale --enable-swresample --disable-postproc --disable-debug --enable-static \
        --disable-shared --enable-encoder=mpeg4,dvvideo,mpeg1video,mpeg2video,mp2,msmpeg4v3,wmv1,wmv2,wmav2 \
        --enable-decoder=dvvideo,mpeg1video,mpeg2video --enable-muxer=mpeg1system,mpeg2vob,asf \
        --enable-demuxer=asf
    make -j"$jobs"
    make install
}

build_jpeg() {
    cmake -G Ninja -S . -B _build -DCMAKE_TOOLCHAIN_FILE="$QUILL_ROOT/cmake/$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
        -DWITH_JAVA=OFF -DWITH_TURBOJPEG=ON -DREQUIRE_SIMD=ON
    cmake --build _build -j"$jobs"
    cmake --install _build
}

ensure_deb_src
for entry in "${pending[@]}"; do
    read -r name package revision <<<"$entry"
    (
        # Two builds of one arch (two work trees) take turns; the second finds the stamp.
        flock 9
        stamp_ok "$name" "$revision" && exit 0
        start=$(quill_now_ms)
        quill_say "deps: building $name ($arch) from Debian's $package source..."
        tree=$({ flock 8; fetch_source "$package"; } 8>"$cache/src/.lock")
        work=$(work_copy "$tree" "$name")
        log=$cache/build/$arch-$recipe_key/$name.log
        if ! (cd "$work" && "build_$name" "$work") >"$log" 2>&1; then
            tail -n 40 "$log" >&2
            quill_die "building $name for $arch failed (whole log: $log)"
        fi
        printf 'recipe %s\nsource %s\n' "$revision" "$(basename "$tree")" >"$(stamp_of "$name")"
        rm -rf "$work"
        quill_say "deps: $name ($arch) built in $(quill_seconds_since "$start") s."
    ) 9>"$prefix/.lock-$name"
done
