#!/usr/bin/env python3
"""Draws the application's icons and banner (ui/res/*.ico, banner.bmp).

The pictures are plain procedural art: a radio mast with signal arcs for the
icons, and a blue banner with the product name in a small pixel font. The
script is deterministic, so running it again gives byte-identical files.
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
RES = os.path.join(HERE, "..", "ui", "res")

FONT = {  # 5x7 pixel glyphs
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "C": ["01110", "10001", "10000", "10000", "10000", "10001", "01110"],
    " ": ["00000"] * 7,
}


def blank(w, h, rgb):
    return [[rgb for _ in range(w)] for _ in range(h)]


def draw_text(img, text, x0, y0, scale, rgb):
    x = x0
    for ch in text:
        glyph = FONT[ch]
        for gy, row in enumerate(glyph):
            for gx, bit in enumerate(row):
                if bit == "1":
                    for dy in range(scale):
                        for dx in range(scale):
                            px, py = x + gx * scale + dx, y0 + gy * scale + dy
                            if 0 <= py < len(img) and 0 <= px < len(img[0]):
                                img[py][px] = rgb
        x += 6 * scale


def draw_mast(img, cx, base, size, rgb, arc_rgb):
    h = len(img)
    w = len(img[0])
    top = base - size
    for y in range(top, base):
        half = (y - top) * size // (3 * size) + 1
        for x in range(cx - half, cx + half + 1):
            if 0 <= x < w and 0 <= y < h:
                img[y][x] = rgb
    for r in (size * 0.35, size * 0.6, size * 0.85):
        for a in range(-60, 61):
            for side in (-1, 1):
                ang = math.radians(a)
                x = int(round(cx + side * r * math.cos(ang)))
                y = int(round(top + r * math.sin(ang) * 0.9))
                if 0 <= x < w and 0 <= y < h:
                    img[y][x] = arc_rgb


def bmp_bytes(img):
    """An 8-bit palette BMP: the banner has fewer than 256 colours (the
    gradient's steps, white and sky blue), so each pixel keeps its exact
    colour at a third of the size of a 24-bit picture."""
    h, w = len(img), len(img[0])
    palette = sorted({rgb for row in img for rgb in row})
    if len(palette) > 256:
        raise SystemExit(f"banner has {len(palette)} colours, more than a 256-colour palette holds")
    index = {rgb: i for i, rgb in enumerate(palette)}
    row_size = (w + 3) & ~3
    pixels = bytearray()
    for row in reversed(img):
        line = bytearray(index[rgb] for rgb in row)
        line += b"\0" * (row_size - len(line))
        pixels += line
    colours = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 14 + 40 + len(colours)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 0, len(pixels), 2835, 2835, len(palette), 0)
    return header + info + colours + pixels


def ico_image(img):
    h, w = len(img), len(img[0])
    xor = bytearray()
    for row in reversed(img):
        for r, g, b in row:
            xor += bytes((b, g, r))
    mask_row = ((w + 31) // 32) * 4
    mask = b"\0" * (mask_row * h)
    info = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 24, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def ico_bytes(images):
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    blobs = []
    for img in images:
        blob = ico_image(img)
        w, h = len(img[0]), len(img)
        out += struct.pack("<BBBBHHII", w, h, 0, 0, 1, 24, len(blob), offset)
        offset += len(blob)
        blobs.append(blob)
    return out + b"".join(blobs)


def icon(size, bg, fg, arc):
    img = blank(size, size, bg)
    draw_mast(img, size // 2, size - 2, size * 5 // 8, fg, arc)
    return img


def main():
    navy, white, sky = (16, 48, 112), (255, 255, 255), (120, 200, 255)
    with open(os.path.join(RES, "tavsetup.ico"), "wb") as f:
        f.write(ico_bytes([icon(32, navy, white, sky), icon(16, navy, white, sky)]))
    with open(os.path.join(RES, "device.ico"), "wb") as f:
        f.write(ico_bytes([icon(32, (236, 236, 236), navy, (40, 110, 200))]))
    w, h = 456, 92
    banner = [[(int(16 + 40 * x / w), int(48 + 60 * x / w), int(112 + 100 * x / w)) for x in range(w)] for _ in range(h)]
    # The title is 20 glyphs of 6 x 3 pixels: it ends 8 pixels before the
    # right edge, so that a banner shown at its own size is never cut.
    title = "TAVARIN DEVICE SETUP"
    draw_mast(banner, 44, 84, 44, white, sky)
    draw_text(banner, title, w - 8 - len(title) * 18, 34, 3, white)
    with open(os.path.join(RES, "banner.bmp"), "wb") as f:
        f.write(bmp_bytes(banner))


if __name__ == "__main__":
    main()
