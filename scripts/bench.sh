#!/usr/bin/env bash
# Runs the benchmarks and ffmpeg's equivalents interleaved, round after round, on one core, and prints
# ours beside ffmpeg's with the ratio (medians over the rounds). Every benchmark checks its own
# result: a wrong one ends the run with status 1.
#   scripts/bench.sh [--build-dir DIR] [--rounds N] [--frames N] [--quick]
#   --rounds N   rounds of the paired cases (default 5, at least 3 unless --quick)
#   --frames N   frames per case and round (default 300)
#   --quick      one round of few frames: the checks, not the figures
# Figures are meaningful only on a quiet machine.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib/common.sh"

build_dir=
rounds=5
frames=300
quick=false
while [[ $# -gt 0 ]]; do
    case $1 in
        --build-dir) build_dir=${2:?--build-dir needs a folder}; shift 2 ;;
        --build-dir=*) build_dir=${1#*=}; shift ;;
        --rounds) rounds=${2:?--rounds needs a number}; shift 2 ;;
        --frames) frames=${2:?--frames needs a number}; shift 2 ;;
        --quick) quick=true; shift ;;
        -h|--help) sed -n '2,9s/^# \{0,1\}//p' "$0"; exit 0 ;;
        *) quill_die "bench.sh: unknown argument '$1'" ;;
    esac
done
[[ $rounds =~ ^[0-9]+$ && $frames =~ ^[0-9]+$ && $frames -ge 20 ]] || quill_die "--rounds and --frames take numbers (frames at least 20)"
if $quick; then
    rounds=1
    frames=20
elif [[ $rounds -lt 3 ]]; then
    quill_die "at least 3 rounds (or --quick)"
fi
command -v ffmpeg >/dev/null 2>&1 || quill_die "ffmpeg is not installed (run scripts/setup.sh)"
build_dir=$(quill_abs_dir "${build_dir:-$QUILL_ROOT/build/x64}")
wine_dir=$build_dir/wine-test

bash "$QUILL_ROOT/scripts/build.sh" --arch x64 --build-dir "$build_dir" >&2
work=$(mktemp -d "$build_dir/bench-work.XXXXXX")
server_started=false
cleanup() {
    if $server_started; then
        "$QUILL_WINESERVER" -k >/dev/null 2>&1 || true
    fi
    quill_stop_window_manager
    quill_stop_xvfb
    rm -rf -- "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mkdir -p "$wine_dir"
quill_start_xvfb "$work/xvfb.log"
export DISPLAY=$QUILL_XVFB_DISPLAY
# The program's windows are managed in the test prefix, as on a desktop: the session benchmarks run
# where a window manager answers, as the stories of the program's windows do.
quill_start_window_manager "$DISPLAY" "$work/desktop" || quill_die "no window manager for the program's windows"
quill_wine_env "$wine_dir"
quill_ensure_prefix "$wine_dir" "$build_dir/wine-standins.list" test
"$QUILL_WINESERVER" -p </dev/null >/dev/null 2>&1 ||
    { "$QUILL_WINESERVER" -k >/dev/null 2>&1 || true; "$QUILL_WINESERVER" -p </dev/null >/dev/null 2>&1; }
server_started=true
"${QUILL_WINE[@]}" wineboot </dev/null >/dev/null 2>&1

# Both sides on one core, the first one this process may use.
core=$(taskset -pc $$ 2>/dev/null | sed -n 's/.*: *\([0-9]*\).*/\1/p')
pin=()
if command -v taskset >/dev/null 2>&1 && [[ -n $core ]]; then
    pin=(taskset -c "$core")
fi

failed=0
results=$work/results  # lines: <case> <ms>

# Runs one of our benchmarks; its "figure" lines go to the results, everything else to the screen.
run_ours() {
    local name=$1 rc=0
    shift
    (cd "$work" && "${pin[@]}" "${QUILL_WINE[@]}" "$build_dir/bin/bench_$name.exe" "$@") >"$work/raw" 2>&1 || rc=$?
    tr -d '\r' <"$work/raw" >"$work/out"
    grep '^figure ' "$work/out" | cut -d' ' -f2- >>"$results" || true
    grep -v '^figure ' "$work/out" | sed "s/^/  [$name] /" >&2 || true
    if [[ $rc -ne 0 ]]; then
        quill_say "bench_$name exited with $rc: a result was wrong"
        failed=1
    fi
}

# Runs one of our benchmarks unpinned, as a user starts the program: pinned to one core while Wine's
# server runs wherever the system puts it, each of the program's many calls to the server crosses
# cores (on Windows a system call runs on the caller's core), a placement no user has.
run_ours_unpinned() {
    local saved=("${pin[@]}")
    pin=()
    run_ours "$@"
    pin=("${saved[@]}")
}

# ffmpeg's filter chain on a fresh 720x576 picture of the given format per frame, one thread; the
# mean time between its bench=start and bench=stop per frame, leaving out the first ten frames.
run_ffmpeg() {
    local name=$1 format=$2 chain=$3 rc=0
    "${pin[@]}" ffmpeg -hide_banner -nostats -loglevel info -threads 1 -filter_threads 1 \
        -f lavfi -i "testsrc2=s=720x576:r=25,format=$format" -frames:v "$((frames + 10))" \
        -vf "bench=start,$chain,bench=stop" -f null - >"$work/ff" 2>&1 </dev/null || rc=$?
    if [[ $rc -ne 0 ]]; then
        quill_say "ffmpeg failed on $chain:"
        tail -n 5 "$work/ff" >&2
        failed=1
        return
    fi
    sed -n 's/.*\[bench @ [^]]*\] t:\([0-9.]*\).*/\1/p' "$work/ff" |
        awk -v name="ffmpeg_$name" 'NR > 10 { s += $1; n++ } END { if (n) printf "%s %.4f\n", name, s * 1000 / n }' \
        >>"$results"
}

font=/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf
[[ -f $font ]] || font=$(fc-match -f '%{file}' 'Liberation Sans:bold' 2>/dev/null || true)
# Our overlay's two lines: Arial bold with a 28-pixel cell (an em of 25 pixels), right-aligned at
# 9/10 of the width, border 2 in black, the second line a date and time.
text="drawtext=fontfile=$font:fontsize=25:fontcolor=white:borderw=2:bordercolor=black:x=648-text_w"
drawtext="$text:text='Holidays 2021 - scene 12':y=490,$text:text='2021-06-15 10\\:20\\:30':y=518"

for ((round = 1; round <= rounds; round++)); do
    quill_say "round $round of $rounds"
    run_ours superposer "$frames"
    run_ffmpeg drawtext rgb24 "$drawtext"
    run_ffmpeg copy rgb24 copy
    run_ffmpeg vflip rgb24 "vflip,copy"
    run_ffmpeg hflip rgb24 hflip
    run_ffmpeg vflip_hflip rgb24 "vflip,hflip"
    run_ours filters "$((frames / 3 + 1))"
    run_ffmpeg scale_neighbour rgb24 "scale=360:288:flags=neighbor"
    run_ffmpeg scale_bilinear rgb24 "scale=360:288:flags=bilinear"
    run_ffmpeg yadif gbrp yadif
    run_ours coding "$((frames / 2 + 1))"
done
# The benchmarks without an ffmpeg counterpart run once, for their checks and figures.
if $quick; then
    run_ours dv_parse 2000
    run_ours dv_scene 2000
    run_ours avi_frame_rate 1
    run_ours base_classes 50
    run_ours recording 16
    run_ours engine_preview 1
    run_ours recording_builders 1
    run_ours_unpinned program_start 0.5
    run_ours recording_ui 5 1
    run_ours settings_store 1
else
    run_ours dv_parse
    run_ours dv_scene
    run_ours avi_frame_rate
    run_ours base_classes
    run_ours recording
    run_ours engine_preview
    run_ours recording_builders
    run_ours_unpinned program_start
    run_ours recording_ui
    run_ours settings_store
fi

# Medians per case, then the pairs.
sort -k1,1 -k2,2g "$results" | awk '
    { v[$1] = v[$1] " " $2; n[$1]++ }
    END { for (k in v) { split(substr(v[k], 2), a, " "); m = n[k]; printf "%s %s\n", k, (m % 2) ? a[(m + 1) / 2] : (a[m / 2] + a[m / 2 + 1]) / 2 } }' \
    >"$work/medians"
median() { awk -v k="$1" '$1 == k { print $2 }' "$work/medians"; }

echo
echo "720x576 RGB24, one thread, $rounds round(s) of $frames frames interleaved; medians in ms per frame"
echo "(DV ratios: the median of each round's own ratio, its two sides measured a second apart)"
printf '%-44s %9s %9s %7s  %s\n' "ours" "ms" "ffmpeg" "ratio" "ffmpeg's filter"
# The ratio is that of the two medians, or, where a benchmark measures both sides in one run and
# prints that run's ratio (case <ours>_ratio), the median of those ratios.
pair() {
    local label=$1 ours=$2 theirs=$3 what=$4 a b r
    a=$(median "$ours")
    b=$(median "ffmpeg_$theirs")
    if [[ -z $a || -z $b ]]; then
        printf '%-44s %9s %9s %7s  %s\n' "$label" "${a:--}" "${b:--}" "-" "$what"
        return
    fi
    r=$(median "${ours}_ratio")
    [[ -n $r ]] || r=$(awk -v a="$a" -v b="$b" 'BEGIN { print (b > 0) ? a / b : 0 }')
    printf '%-44s %9.4f %9.4f %7.2f  %s\n' "$label" "$a" "$b" "$r" "$what"
}
pair "overlay: two text lines, border 2" overlay_text_border2 drawtext "drawtext twice, borderw=2 (in place)"
pair "overlay: no flip, no text" overlay_plain copy "copy"
pair "overlay: vertical flip" overlay_vflip vflip "vflip,copy (vflip alone moves no pixel)"
pair "overlay: mirror" overlay_mirror hflip "hflip"
pair "overlay: vertical flip and mirror" overlay_vflip_mirror vflip_hflip "vflip,hflip"
pair "resizer: half size (Wine's halftone: nearest)" resizer_half scale_neighbour "scale, nearest neighbour"
pair "resizer: half size" resizer_half scale_bilinear "scale, bilinear"
pair "deinterlace (still pictures)" deinterlace yadif "yadif (planar RGB)"
pair "DV encoding, PAL frame from YUY2" dv_encode dv_encode "dvvideo from yuyv422"
pair "DV decoding, PAL frame to RGB24" dv_decode dv_decode "dvvideo to bgr24"
echo
echo "Other figures (medians):"
awk '$1 !~ /^ffmpeg_/ && $1 !~ /^overlay_(text_border2|plain|vflip|mirror|vflip_mirror)$/ && $1 !~ /^(resizer_half|deinterlace|dv_encode|dv_decode|dv_encode_ratio|dv_decode_ratio)$/ { printf "  %-40s %s\n", $1, $2 }' \
    "$work/medians" | sort

# The speed targets, each met or missed (figures, not checks: a loaded machine misses them).
echo
echo "Targets (medians):"
target() {
    local label=$1 value=$2 limit=$3 unit=$4
    if [[ -z $value || -z $limit ]]; then
        printf '  %-58s %12s   (no figure)\n' "$label" "-"
        return
    fi
    printf '  %-58s %12s   target %s %s: %s\n' "$label" "$value $unit" "$limit" "$unit" \
        "$(awk -v v="$value" -v l="$limit" 'BEGIN { print (v <= l) ? "met" : "missed" }')"
}
ratio() {
    local paired
    paired=$(median "${1}_ratio")
    awk -v a="$(median "$1")" -v b="$(median "$2")" -v r="$paired" \
        'BEGIN { if (r != "") printf "%.2f", r; else if (a != "" && b > 0) printf "%.2f", a / b }'
}
target "program start to first preview frame" "$(median program_start_to_first_preview_frame_ms)" 1500 ms
target "the program's share of the PAL DV preview" "$(median recording_preview_program_share)" 0.25 "of a core"
target "the preview chain's overhead per 720x576 frame" "$(median engine_chain_overhead_per_frame)" 1 ms
target "DV encoding against ffmpeg's dvvideo" "$(ratio dv_encode ffmpeg_dv_encode)" 1.1 times
target "DV decoding against ffmpeg's dvvideo" "$(ratio dv_decode ffmpeg_dv_decode)" 1.1 times
target "resizer at half size against ffmpeg's nearest neighbour" "$(ratio resizer_half ffmpeg_scale_neighbour)" 1 times
target "resizer's distance from Lanczos against bilinear's (dB, lower)" \
    "$(awk -v a="$(median resizer_half_psnr_db)" -v b="$(median ffmpeg_bilinear_psnr_db)" 'BEGIN { if (a != "" && b != "") printf "%.2f", b - a }')" 0 dB
if [[ $failed -ne 0 ]]; then
    echo "FAILED: a benchmark result was wrong or a command failed (see above)"
fi
exit "$failed"
