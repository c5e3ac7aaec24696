"""Renders the Quarvel mark and writes it as a multi-image .ico file.

    make_icon.py OUTPUT.ico

The mark is drawn from the shapes below (a teal rounded square with a white
"Q": a ring and a diagonal tail crossing it) at every icon size, anti-aliased by the
signed distance of each pixel centre to the shapes' edges. The small sizes
the shell draws most (16, 24 and 32) are stored as 32-bit BMP images, which
every reader of icons takes; from 48 up they are PNG images, which Windows
reads at any size since Vista and which hold this flat mark in a small part of
a BMP image's bytes (it is most of the executable's resources).
"""
import math
import struct
import sys
import zlib

TEAL = (0x0B, 0x6B, 0x75)
WHITE = (0xFF, 0xFF, 0xFF)
SIZES = (16, 24, 32, 48, 64, 128, 256)
SMALLEST_PNG = 48

# The mark on a unit square (y grows downwards).
TILE_HALF = 0.46          # the rounded square spans 0.04 .. 0.96
TILE_RADIUS = 0.2
RING_CENTRE = (0.47, 0.47)
RING_RADIUS = 0.215       # middle of the stroke
RING_HALF_WIDTH = 0.07
TAIL_FROM = (0.57, 0.57)
TAIL_TO = (0.72, 0.72)
TAIL_HALF_WIDTH = 0.065


def rounded_square_distance(x, y):
    qx = abs(x - 0.5) - (TILE_HALF - TILE_RADIUS)
    qy = abs(y - 0.5) - (TILE_HALF - TILE_RADIUS)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - TILE_RADIUS


def ring_distance(x, y):
    return abs(math.hypot(x - RING_CENTRE[0], y - RING_CENTRE[1]) - RING_RADIUS) - RING_HALF_WIDTH


def tail_distance(x, y):
    ax, ay = TAIL_FROM
    bx, by = TAIL_TO
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(x - (ax + t * dx), y - (ay + t * dy)) - TAIL_HALF_WIDTH


def coverage(distance, size):
    """Share of a pixel covered by a shape whose edge is `distance` away (unit square)."""
    return max(0.0, min(1.0, 0.5 - distance * size))


def render(size):
    """Rows of (r, g, b, a) tuples, top row first."""
    rows = []
    for row in range(size):
        pixels = []
        for column in range(size):
            x, y = (column + 0.5) / size, (row + 0.5) / size
            tile = coverage(rounded_square_distance(x, y), size)
            mark = coverage(min(ring_distance(x, y), tail_distance(x, y)), size)
            colour = tuple(round(t + (w - t) * mark) for t, w in zip(TEAL, WHITE))
            pixels.append(colour + (round(255 * tile),))
        rows.append(pixels)
    return rows


def bmp_image(size, rows):
    """A 32-bit DIB as stored in an icon: header, bottom-up BGRA rows, AND mask."""
    mask_row = ((size + 31) // 32) * 4
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         size * size * 4 + mask_row * size, 0, 0, 0, 0)
    pixels = bytearray()
    for pixel_row in reversed(rows):
        for r, g, b, a in pixel_row:
            pixels += bytes((b, g, r, a))
    return header + bytes(pixels) + bytes(mask_row * size)


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png_image(size, rows):
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) +
            png_chunk(b"IDAT", zlib.compress(raw, 9)) + png_chunk(b"IEND", b""))


def icon_file(images):
    """The .ico container: header, one directory entry per image, the images."""
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    blobs = []
    for size, blob in images:
        dimension = 0 if size >= 256 else size
        data += struct.pack("<BBBBHHII", dimension, dimension, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
        blobs.append(blob)
    return data + b"".join(blobs)


def main():
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png_image(size, rows) if size >= SMALLEST_PNG else bmp_image(size, rows)))
    with open(sys.argv[1], "wb") as output:
        output.write(icon_file(images))


if __name__ == "__main__":
    main()
