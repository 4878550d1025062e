#!/usr/bin/env python3
"""Draws Kestor's own bitmaps and icons: the title banner (bitmap 132), the
window icon (icon 128) and the About box icon (icon 136).

Plain Python, no imaging library: the files are written byte by byte as
24-bit BMP and 32-bit ICO (16x16 and 32x32 images with an AND mask).
Run it from anywhere; it writes into update-manager/res/.
"""
import math
import os
import struct

RES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "update-manager", "res")

# A 5x7 block font for the few letters the banner needs.
FONT = {
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    " ": ["00000"] * 7,
}


def blend(a, b, t):
    return tuple(int(a[i] + (b[i] - a[i]) * t) for i in range(3))


def draw_text(pixels, width, height, text, x0, y0, scale, colour):
    x = x0
    for ch in text:
        glyph = FONT[ch]
        for gy, row in enumerate(glyph):
            for gx, bit in enumerate(row):
                if bit != "1":
                    continue
                for dy in range(scale):
                    for dx in range(scale):
                        px, py = x + gx * scale + dx, y0 + gy * scale + dy
                        if 0 <= px < width and 0 <= py < height:
                            pixels[py][px] = colour
        x += 6 * scale


def write_bmp(path, pixels):
    height, width = len(pixels), len(pixels[0])
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(pixels):  # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 14 + 40)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + data)


def banner():
    width, height = 480, 60
    deep, light = (16, 48, 96), (64, 140, 200)
    pixels = [[blend(deep, light, x / (width - 1)) for x in range(width)] for _ in range(height)]
    # A thin amber line under the name, like a trace on a scope.
    for x in range(20, width - 20):
        y = 50 + int(3 * math.sin(x / 9.0))
        pixels[y][x] = (240, 180, 40)
        pixels[y + 1][x] = (240, 180, 40)
    draw_text(pixels, width, height, "KESTOR", 22, 8, 5, (255, 255, 255))
    draw_text(pixels, width, height, "VANDREL LUMETRA", 240, 22, 2, (220, 232, 245))
    return pixels


def icon_image(size, body, accent):
    """BGRA pixels of a round badge with a bold K; transparent outside."""
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]
    c = (size - 1) / 2.0
    r = size / 2.0 - 0.5
    for y in range(size):
        for x in range(size):
            d = ((x - c) ** 2 + (y - c) ** 2) ** 0.5
            if d <= r:
                col = blend(body, accent, y / (size - 1))
                if d > r - max(1, size // 16):
                    col = (250, 250, 250)
                px[y][x] = (col[2], col[1], col[0], 255)
    glyph = FONT["K"]
    scale = max(1, size // 10)
    gx0 = int(c - 2.5 * scale)
    gy0 = int(c - 3.5 * scale)
    for gy, row in enumerate(glyph):
        for gx, bit in enumerate(row):
            if bit == "1":
                for dy in range(scale):
                    for dx in range(scale):
                        px[gy0 + gy * scale + dy][gx0 + gx * scale + dx] = (255, 255, 255, 255)
    return px


def ico_entry(px):
    size = len(px)
    xor = bytearray()
    for row in reversed(px):
        for b, g, r, a in row:
            xor += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(px):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def write_ico(path, images):
    entries = [ico_entry(px) for px in images]
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for px, data in zip(images, entries):
        size = len(px)
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in entries:
        out += data
    with open(path, "wb") as f:
        f.write(out)


def main():
    write_bmp(os.path.join(RES, "title.bmp"), banner())
    write_ico(os.path.join(RES, "kestor.ico"),
              [icon_image(32, (20, 60, 120), (70, 150, 210)), icon_image(16, (20, 60, 120), (70, 150, 210))])
    write_ico(os.path.join(RES, "info.ico"),
              [icon_image(32, (150, 90, 10), (240, 180, 40)), icon_image(16, (150, 90, 10), (240, 180, 40))])


if __name__ == "__main__":
    main()
