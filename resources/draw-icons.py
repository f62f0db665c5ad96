#!/usr/bin/env python3
"""Draws the two 32 x 32, 16-colour icons: the installer's knob on a box, the uninstaller's knob
with a red cross. Run it to regenerate setup.ico and uninstall.ico beside it."""
import math
import os
import struct

# The standard 16-colour palette, as (blue, green, red, 0).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]  # as (red, green, blue)
BLACK, DARK_GREY, GREY, WHITE = 0, 8, 7, 15
DARK_BLUE, BLUE, YELLOW, RED, DARK_RED = 4, 12, 11, 9, 1
TRANSPARENT = None


def knob(pixels, cx, cy, r):
    for y in range(32):
        for x in range(32):
            d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            if d <= r:
                shade = WHITE if (x - cx) + (y - cy) < -r * 0.6 else GREY
                pixels[y][x] = DARK_GREY if d > r - 1.2 else shade
    # The pointer, turned to "two o'clock".
    for t in range(int(r * 0.2 * 10), int(r * 0.85 * 10)):
        a = math.radians(-50)
        x = int(cx + math.cos(a) * t / 10)
        y = int(cy + math.sin(a) * t / 10)
        for dx, dy in ((0, 0), (1, 0), (0, 1)):
            pixels[y + dy][x + dx] = DARK_BLUE


def setup_icon():
    p = [[TRANSPARENT] * 32 for _ in range(32)]
    # A box underneath, the package being unpacked.
    for y in range(20, 31):
        for x in range(3, 29):
            p[y][x] = BLACK if y in (20, 30) or x in (3, 28) else YELLOW if y < 24 else (3 if x % 5 else BLACK)
    knob(p, 16, 13, 11)
    return p


def uninstall_icon():
    p = [[TRANSPARENT] * 32 for _ in range(32)]
    knob(p, 14, 14, 12)
    for i in range(14):
        for w in (0, 1, 2):
            p[17 + i][16 + i + w - 1 if 16 + i + w - 1 < 32 else 31] = RED
            p[17 + i][30 - i - w + 1 if 30 - i - w + 1 < 32 else 31] = RED
    return p


def ico(pixels):
    width = height = 32
    xor_rows = []
    and_rows = []
    for y in reversed(range(height)):  # bottom-up rows
        row = pixels[y]
        xb = bytearray()
        for x in range(0, width, 2):
            hi = row[x] if row[x] is not None else 0
            lo = row[x + 1] if row[x + 1] is not None else 0
            xb.append((hi << 4) | lo)
        xor_rows.append(bytes(xb))
        bits = 0
        for x in range(width):
            bits = (bits << 1) | (1 if row[x] is None else 0)
        and_rows.append(struct.pack(">I", bits))
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    header = struct.pack("<IiiHHIIiiII", 40, width, height * 2, 1, 4, 0,
                         len(b"".join(xor_rows)) + len(b"".join(and_rows)), 0, 0, 16, 0)
    image = header + palette + b"".join(xor_rows) + b"".join(and_rows)
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", width, height, 16, 0, 1, 4,
                                                             len(image), 6 + 16)
    return directory + image


here = os.path.dirname(os.path.abspath(__file__))
for name, draw in (("setup.ico", setup_icon), ("uninstall.ico", uninstall_icon)):
    with open(os.path.join(here, name), "wb") as f:
        f.write(ico(draw()))
