#!/usr/bin/env python3
"""Draws the gallery's sample image: a night-blue gradient with bright discs, a ring, a star and
thin lines, the kind of highlights a glow is put on. Writes an 8-bit RGBA PNG with the standard
library only (zlib), so the gallery needs nothing beyond Python and the shimmerly build.
Usage: make_sample.py OUTPUT.png [WIDTH HEIGHT]"""
import math
import struct
import sys
import zlib


def draw(width, height):
    rows = []
    s = width / 480.0
    discs = [(0.20, 0.35, 22, (255, 250, 235)), (0.42, 0.62, 14, (255, 200, 80)),
             (0.78, 0.30, 10, (140, 220, 255)), (0.62, 0.78, 6, (255, 120, 200))]
    ring = (0.70, 0.62, 38, 4)
    star = (0.45, 0.28, 30)
    for y in range(height):
        row = bytearray()
        v = y / max(1, height - 1)
        for x in range(width):
            u = x / max(1, width - 1)
            r, g, b = 10 + 20 * u, 14 + 16 * v, 40 + 50 * (1 - v)
            for cx, cy, rad, col in discs:
                d = math.hypot(x - cx * width, y - cy * height) - rad * s
                if d < 1:
                    k = min(1.0, 1 - d) if d > 0 else 1.0
                    r, g, b = (r + (c - r) * k for c, r in zip(col, (r, g, b)))
            cx, cy, rad, w = ring
            d = abs(math.hypot(x - cx * width, y - cy * height) - rad * s) - w * s / 2
            if d < 1:
                k = min(1.0, 1 - d) if d > 0 else 1.0
                r, g, b = (r + (c - r) * k for c, r in zip((120, 255, 170), (r, g, b)))
            cx, cy, rad = star
            dx, dy = x - cx * width, y - cy * height
            a = math.atan2(dy, dx)
            edge = rad * s * (0.45 + 0.55 * abs(math.cos(2.5 * a)) ** 6)
            if math.hypot(dx, dy) < edge:
                r, g, b = 255, 235, 150
            # Two thin diagonal lines near the bottom.
            for off in (0.0, 0.06):
                t = abs((y / height) - (0.92 - off) + 0.25 * (x / width - 0.5))
                if t * height < 0.8 and 0.08 < u < 0.38:
                    r, g, b = 220, 240, 255
            row += bytes((int(r), int(g), int(b), 255))
        rows.append(bytes(row))
    return rows


def write_png(path, width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + row for row in rows)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


if __name__ == "__main__":
    out = sys.argv[1]
    w, h = (int(sys.argv[2]), int(sys.argv[3])) if len(sys.argv) > 3 else (480, 270)
    write_png(out, w, h, draw(w, h))
