#!/usr/bin/env bash
# cmake/icon_strips.py, the build's converter of the icon theme's pictures, on a made-up theme: the
# strips it writes (size, order, clear pixels, the resource script), and the clear error it gives
# for a list or a picture it cannot use, without leaving a half-written strip behind.
#   tests/scripts/icon_strips_test.sh [build folder (unused)]
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/expect.sh"
script=$here/../../cmake/icon_strips.py
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A theme of two 16-pixel pictures: a red square with a clear border (RGBA) and a blue one (palette
# with a transparent entry), and a damaged third one.
python3 - "$work/theme" <<'EOF'
import os, struct, sys, zlib
def png(path, kind, rows, palette=b"", trns=b""):
    def chunk(t, b): return struct.pack(">I", len(b)) + t + b + struct.pack(">I", zlib.crc32(t + b) & 0xFFFFFFFF)
    raw = b"".join(b"\0" + bytes(r) for r in rows)
    data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 16, 16, 8, kind, 0, 0, 0))
    if palette: data += chunk(b"PLTE", palette)
    if trns: data += chunk(b"tRNS", trns)
    data += chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    open(path, "wb").write(data)
    return data
inside = lambda x, y: 2 <= x < 14 and 2 <= y < 14
red = [[v for x in range(16) for v in ((255, 0, 0, 255) if inside(x, y) else (0, 0, 0, 0))] for y in range(16)]
png(sys.argv[1] + "/16x16/actions/red.png", 6, red)
blue = [[1 if inside(x, y) else 0 for x in range(16)] for y in range(16)]
data = png(sys.argv[1] + "/16x16/places/blue.png", 3, blue, bytes((0, 0, 0, 0, 0, 255)), b"\0")
open(sys.argv[1] + "/16x16/places/cut.png", "wb").write(data[:60])
EOF

run() {  # run <list text>: writes the list, converts it; prints the error output, sets status
    printf '%s\n' "$1" >"$work/list.txt"
    error=$(python3 "$script" "$work/list.txt" "$work/theme" "$work/out" 2>&1 >/dev/null)
    status=$?
}

run 'list QPIC_TEST test_pictures 16 3
 0 red
 1 red:dark
 2 blue red@8+8,0  # laid over it'
expect "a good list converts" 0 "$status"
bmp=$work/out/ui/test_pictures.bmp
read -r width height bits first_alpha middle dark_middle third_corner < <(python3 - "$bmp" <<'EOF'
import struct, sys
d = open(sys.argv[1], "rb").read()
off = struct.unpack("<I", d[10:14])[0]
w, h, planes, bits = struct.unpack("<iiHH", d[18:30])
px = lambda x, y: d[off + ((h - 1 - y) * w + x) * 4: off + ((h - 1 - y) * w + x) * 4 + 4]
# Alpha of picture 0's corner, colour (BGRA) of its middle and of picture 1's, picture 2's top-right
# quarter (red over blue).
print(w, h, bits, px(0, 15)[3], px(8, 8).hex(), px(16 + 8, 8).hex(), px(2 * 16 + 12, 4).hex())
EOF
)
expect "three pictures side by side" "48 16 32" "$width $height $bits"
expect "a clear corner stays clear" 0 "$first_alpha"
expect "the red picture's middle" 0000ffff "$middle"
expect "a darkened picture keeps 60 % of its colours" 000099ff "$dark_middle"
expect "a picture laid over another" 0000ffff "$third_corner"
expect "the resource script names the strip" "QPIC_TEST BITMAP \"$bmp\"" "$(grep QPIC "$work/out/ui/ui_pictures.rc")"
before=$(stat -c %y "$bmp")
sleep 1
run "$(cat "$work/list.txt")"
expect "an unchanged strip is not written again" "$before" "$(stat -c %y "$bmp")"

run 'list QPIC_TEST test_pictures 16 3
 0 green'
expect "a missing picture fails" 1 "$status"
expect "and says which" "icon_strips: no picture 'green' of 16 pixels or more in $work/theme" "$error"
expect "the strip before stays whole" 48 "$(python3 -c "import struct,sys; print(struct.unpack('<i', open(sys.argv[1],'rb').read()[18:22])[0])" "$bmp")"

run 'list QPIC_TEST test_pictures 16 3
 3 red'
expect "an image number out of range fails" "1 $work/list.txt:2: image 3 out of range, repeated or without picture" \
       "$status ${error#icon_strips: }"
run 'list QPIC_TEST 16 3'
expect "a short list line fails" "1 $work/list.txt:1: expected 'list <resource> <file> <size> <count>'" \
       "$status ${error#icon_strips: }"
run 'picture red'
expect "a line it cannot read fails" "1 $work/list.txt:1: cannot read 'picture red'" "$status ${error#icon_strips: }"
run 'list QPIC_TEST test_pictures 16 1
 0 cut'
expect "a damaged picture fails" 1 "$status"
expect "and says so" "icon_strips: $work/theme/16x16/places/cut.png: damaged PNG file" "${error%% (*}"
run 'list QPIC_TEST test_pictures 16 1
 0 red:turn'
expect "an unknown operation fails" "1 unknown operation 'turn' in 'red'" "$status ${error#icon_strips: }"
run 'list QPIC_TEST test_pictures 16 1
 0 blue+-2,2'
expect "a picture over the bottom-left corner fails" "1 QPIC_TEST image 0: the bottom-left pixel is not clear" \
       "$status ${error#icon_strips: }"
error=$(python3 "$script" "$work/list.txt" "$work/no-theme" "$work/out" 2>&1)
expect "a missing theme names its package" \
       "icon_strips: icon theme not found at $work/no-theme (scripts/setup.sh installs tango-icon-theme)" "$error"
expect "no temporary file is left" "" "$(find "$work/out" -name '*.tmp')"

expect_summary
