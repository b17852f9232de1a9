#!/usr/bin/env python3
"""Builds the program's image lists from an icon theme's PNG pictures, at build time.

    icon_strips.py <list file> <theme folder> <output folder> [--preview]

The list file names, for each image list of the program, its resource name, the size of its
pictures, its number of images and, per image number, the theme picture (or pictures, laid one
over the other) that it shows. Each image list becomes one 32-bit BMP strip (the images side by
side, straight alpha in the fourth byte) in the output folder, and ui/ui_pictures.rc names them as
BITMAP resources. --preview also writes each strip as a PNG, on white, to look at.

A picture is "name[@size][:fliph|:flipv|:dark][+x,y]": the theme's picture of that name, taken at
the given size (else at the list's size, else at the nearest larger size, cut or shrunk to fit),
mirrored or darkened (its colours at 60 %) if asked, and placed at x, y (else centred). Only the
standard library is used.
"""

import os
import struct
import sys
import zlib

SIZES = (16, 22, 24, 32)
# Pixels less opaque than this are left out of the program's masked image lists (ui/action_images.cpp).
CLEAR_BELOW = 48


class Picture:
    """Straight-alpha RGBA pixels, row by row from the top."""

    def __init__(self, width, height, pixels=None):
        self.width = width
        self.height = height
        self.pixels = pixels if pixels is not None else [(0, 0, 0, 0)] * (width * height)

    def at(self, x, y):
        return self.pixels[y * self.width + x]

    def empty(self):
        return all(p[3] == 0 for p in self.pixels)


def fail(message):
    sys.exit("icon_strips: " + message)


def read_png(path):
    try:
        return decode_png(path)
    except (ValueError, IndexError, struct.error, zlib.error) as error:
        fail(f"{path}: damaged PNG file ({error})")


def decode_png(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        fail(f"{path}: not a PNG file")
    pos = 8
    idat = b""
    palette = []
    transparency = b""
    header = None
    while pos + 8 <= len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"PLTE":
            palette = [tuple(body[i:i + 3]) for i in range(0, len(body) - 2, 3)]
        elif kind == b"tRNS":
            transparency = body
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
    if header is None:
        fail(f"{path}: no header")
    width, height, depth, colour, _, _, interlace = header
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}.get(colour)
    if channels is None or depth not in (8, 16) or (colour == 3 and depth != 8) or interlace != 0:
        fail(f"{path}: unsupported PNG layout (depth {depth}, colour type {colour}, interlace {interlace})")
    step = channels * depth // 8
    stride = width * step
    raw = zlib.decompress(idat)
    if len(raw) < height * (stride + 1):
        raise ValueError("pixel data cut short")
    rows = []
    previous = bytearray(stride)
    offset = 0
    for _ in range(height):
        kind = raw[offset]
        line = bytearray(raw[offset + 1:offset + 1 + stride])
        offset += 1 + stride
        for i in range(stride):
            a = line[i - step] if i >= step else 0
            b = previous[i]
            c = previous[i - step] if i >= step else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        rows.append(line)
        previous = line
    pixels = []
    for line in rows:
        # 16-bit samples keep their high byte.
        samples = line if depth == 8 else line[0::2]
        for x in range(width):
            s = samples[x * channels:(x + 1) * channels]
            if colour == 6:
                pixels.append(tuple(s))
            elif colour == 2:
                pixels.append((s[0], s[1], s[2], 255))
            elif colour == 0:
                pixels.append((s[0], s[0], s[0], 255))
            elif colour == 4:
                pixels.append((s[0], s[0], s[0], s[1]))
            else:
                index = s[0]
                r, g, b = palette[index] if index < len(palette) else (0, 0, 0)
                alpha = transparency[index] if index < len(transparency) else 255
                pixels.append((r, g, b, alpha))
    return Picture(width, height, pixels)


def find_picture(theme, name, size):
    folder = os.path.join(theme, f"{size}x{size}")
    if os.path.isdir(folder):
        for context in sorted(os.listdir(folder)):
            path = os.path.join(folder, context, name + ".png")
            if os.path.isfile(path):
                return path
    return None


def fit(picture, size):
    """A picture of size x size: cut when the margin cut away is clear, else shrunk by area."""
    if picture.width == size and picture.height == size:
        return picture
    cut = (picture.width - size) // 2
    if picture.width == picture.height and picture.width > size:
        inner = range(cut, cut + size)
        margin_clear = all(picture.at(x, y)[3] == 0 for y in range(picture.height) for x in range(picture.width)
                           if x not in inner or y not in inner)
        if margin_clear:
            return Picture(size, size, [picture.at(x + cut, y + cut) for y in range(size) for x in range(size)])
    scale = picture.width / size
    out = []
    for y in range(size):
        for x in range(size):
            x0, x1 = int(x * scale), max(int(x * scale) + 1, int((x + 1) * scale))
            y0, y1 = int(y * scale), max(int(y * scale) + 1, int((y + 1) * scale))
            samples = [picture.at(sx, sy) for sy in range(y0, y1) for sx in range(x0, x1)]
            weight = sum(p[3] for p in samples)
            if weight == 0:
                out.append((0, 0, 0, 0))
                continue
            # Colours weighted by their coverage, so clear pixels do not darken the edges.
            out.append(tuple(sum(p[c] * p[3] for p in samples) // weight for c in range(3)) +
                       (weight // len(samples),))
    return Picture(size, size, out)


def load_layer(theme, spec, size):
    place = None
    if "+" in spec:
        spec, at = spec.split("+", 1)
        x, y = at.split(",")
        place = (int(x), int(y))
    ops = spec.split(":")
    spec, ops = ops[0], ops[1:]
    name, _, wanted = spec.partition("@")
    wanted = int(wanted) if wanted else size
    path = find_picture(theme, name, wanted)
    if path is None:
        for candidate in SIZES:
            if candidate > wanted:
                path = find_picture(theme, name, candidate)
                if path:
                    break
    if path is None:
        fail(f"no picture '{name}' of {wanted} pixels or more in {theme}")
    picture = fit(read_png(path), wanted)
    for op in ops:
        w, h = picture.width, picture.height
        if op == "fliph":
            picture = Picture(w, h, [picture.at(w - 1 - x, y) for y in range(h) for x in range(w)])
        elif op == "flipv":
            picture = Picture(w, h, [picture.at(x, h - 1 - y) for y in range(h) for x in range(w)])
        elif op == "dark":
            # The theme's pale grey pictures would look disabled on a button face.
            picture = Picture(w, h, [(r * 3 // 5, g * 3 // 5, b * 3 // 5, a) for r, g, b, a in picture.pixels])
        else:
            fail(f"unknown operation '{op}' in '{spec}'")
    if place is None:
        place = ((size - picture.width) // 2, (size - picture.height) // 2)
    return picture, place


def over(bottom, top):
    """Porter-Duff "over" of two straight-alpha pixels."""
    ta = top[3] / 255
    ba = bottom[3] / 255
    a = ta + ba * (1 - ta)
    if a == 0:
        return (0, 0, 0, 0)
    colour = tuple(round((top[c] * ta + bottom[c] * ba * (1 - ta)) / a) for c in range(3))
    return colour + (round(a * 255),)


def compose(theme, layers, size):
    canvas = Picture(size, size)
    for spec in layers:
        picture, (left, top) = load_layer(theme, spec, size)
        for y in range(picture.height):
            for x in range(picture.width):
                cx, cy = left + x, top + y
                if 0 <= cx < size and 0 <= cy < size:
                    i = cy * size + cx
                    canvas.pixels[i] = over(canvas.pixels[i], picture.at(x, y))
    return canvas


def read_lists(path):
    lists = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            words = line.split("#", 1)[0].split()
            if not words:
                continue
            if words[0] == "list":
                if len(words) != 5:
                    fail(f"{path}:{number}: expected 'list <resource> <file> <size> <count>'")
                lists.append({"resource": words[1], "file": words[2], "size": int(words[3]),
                              "count": int(words[4]), "images": {}})
            elif lists and words[0].isdigit():
                index = int(words[0])
                current = lists[-1]
                if index >= current["count"] or index in current["images"] or len(words) < 2:
                    fail(f"{path}:{number}: image {index} out of range, repeated or without picture")
                current["images"][index] = words[1:]
            else:
                fail(f"{path}:{number}: cannot read '{line.strip()}'")
    return lists


def write_bmp(path, images, size):
    width = size * len(images)
    rows = []
    for y in range(size - 1, -1, -1):
        row = bytearray()
        for picture in images:
            for x in range(size):
                r, g, b, a = picture.at(x, y)
                row += bytes((b, g, r, a))
        rows.append(bytes(row))
    bits = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, size, 1, 32, 0, len(bits), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(bits), 0, 0, 14 + len(info))
    write_if_changed(path, header + info + bits)


def write_png_preview(path, images, size):
    width = size * len(images)
    raw = bytearray()
    for y in range(size):
        raw.append(0)
        for picture in images:
            for x in range(size):
                r, g, b, a = picture.at(x, y)
                raw += bytes(round(c * a / 255 + 255 * (1 - a / 255)) for c in (r, g, b))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    data = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, size, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(bytes(raw))) + chunk(b"IEND", b""))
    write_if_changed(path, data)


def write_if_changed(path, data):
    # An unchanged output keeps its time, so the resources are not compiled again for nothing.
    if os.path.isfile(path):
        with open(path, "rb") as f:
            if f.read() == data:
                return
    with open(path + ".tmp", "wb") as f:
        f.write(data)
    os.replace(path + ".tmp", path)


def main(argv):
    args = [a for a in argv if not a.startswith("--")]
    if len(args) != 3:
        fail("usage: icon_strips.py <list file> <theme folder> <output folder> [--preview]")
    list_file, theme, out = args
    if not os.path.isdir(theme):
        fail(f"icon theme not found at {theme} (scripts/setup.sh installs tango-icon-theme)")
    os.makedirs(os.path.join(out, "ui"), exist_ok=True)
    rc = ["// Generated by cmake/icon_strips.py from ui/pictures.txt: the image lists' pictures.\n"]
    for entry in read_lists(list_file):
        size = entry["size"]
        images = [compose(theme, entry["images"][i], size) if i in entry["images"] else Picture(size, size)
                  for i in range(entry["count"])]
        for i, picture in enumerate(images):
            if i in entry["images"] and picture.empty():
                fail(f"{entry['resource']} image {i}: the picture is empty")
            if picture.at(0, size - 1)[3] >= CLEAR_BELOW:
                fail(f"{entry['resource']} image {i}: the bottom-left pixel is not clear")
        bmp = os.path.join(out, "ui", entry["file"] + ".bmp")
        write_bmp(bmp, images, size)
        if "--preview" in argv:
            write_png_preview(os.path.join(out, "ui", entry["file"] + ".png"), images, size)
        rc.append(f'{entry["resource"]} BITMAP "{bmp}"\n')
    write_if_changed(os.path.join(out, "ui", "ui_pictures.rc"), "".join(rc).encode())


if __name__ == "__main__":
    main(sys.argv[1:])
