#!/usr/bin/env python3
"""Draws the guide's stone-block texture as a PNG: courses of blocks in varied greys with dark
mortar between them and a little grain, the same pixels at every run (no random source). Grey,
so that the mapping window's yellow outline, green points and red cross stand out on it.

    make-texture.py OUT.png [SIZE]
"""
import struct
import sys
import zlib


def block_pixel(x, y, size):
    rows = 4
    h = size // rows            # a brick's height with its mortar
    w = size // 2               # and its width
    row = y // h
    shift = (w // 2) if row % 2 else 0
    bx = (x + shift) % size
    col = bx // w
    inside_x, inside_y = bx % w, y % h
    # A small hash of the position for grain and of the brick for its tone.
    grain = ((x * 73856093) ^ (y * 19349663)) & 15
    if inside_x < 2 or inside_y < 2:
        v = 58 + grain
        return v, v, v + 4
    tone = ((row * 7 + col * 13) % 5) * 10
    r = 128 + tone + grain
    g = 124 + tone + grain
    b = 112 + tone + grain // 2
    # Bricks darker towards their lower edge, as lit from above.
    shade = (inside_y * 24) // h
    return max(r - shade, 0), max(g - shade, 0), max(b - shade, 0)


def png(width, height, pixel):
    raw = bytearray()
    for y in range(height):
        raw.append(0)
        for x in range(width):
            raw.extend(pixel(x, y))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) +
            chunk(b"IEND", b""))


def main():
    if len(sys.argv) not in (2, 3):
        sys.stderr.write(__doc__)
        return 2
    size = int(sys.argv[2]) if len(sys.argv) == 3 else 64
    with open(sys.argv[1], "wb") as f:
        f.write(png(size, size, lambda x, y: block_pixel(x, y, size)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
