#!/usr/bin/env python3
"""Draws Wardline's icon, a blue shield with a white rim and a white chevron, and writes it as
shell/res/wardline.ico with 16, 32 and 48 pixel images (32-bit colour with alpha, plus the 1-bit mask).

Plain Python, no imaging library. The .ico is committed, so the build needs no Python; run this again
only to change the design:  python3 tools/make_icon.py
"""
import math
import os
import struct

SIZES = (16, 32, 48)
SAMPLES = 4  # per axis, for smooth edges

WHITE = (250, 252, 255)
BLUE_LIGHT = (74, 150, 232)
BLUE_DARK = (22, 78, 170)


def shield_half_width(v, scale):
    """Half width of the shield at height v (0 top, 1 bottom), centred at 0.5, scaled about the centre."""
    v = 0.5 + (v - 0.5) / scale
    if v < 0.06 or v > 0.95:
        return -1.0
    if v <= 0.52:
        return 0.40 * scale
    t = (v - 0.52) / (0.95 - 0.52)
    return 0.40 * scale * math.cos(t * math.pi / 2) ** 0.75


def inside_shield(u, v, scale):
    w = shield_half_width(v, scale)
    if w < 0:
        return False
    dx = abs(u - 0.5)
    if dx > w:
        return False
    # The top edge dips a little towards the middle.
    top = 0.5 + (0.06 - 0.5) * scale + 0.05 * scale * (1 - (dx / (0.40 * scale)) ** 2)
    return v >= top


def distance_to_segment(px, py, ax, ay, bx, by):
    vx, vy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * vx + (py - ay) * vy) / (vx * vx + vy * vy)))
    return math.hypot(px - (ax + t * vx), py - (ay + t * vy))


def on_chevron(u, v):
    d = min(distance_to_segment(u, v, 0.30, 0.64, 0.50, 0.42),
            distance_to_segment(u, v, 0.50, 0.42, 0.70, 0.64))
    return d < 0.065


def sample(u, v):
    """Colour and coverage (0 or 1) of one sample point."""
    if not inside_shield(u, v, 1.0):
        return None
    if not inside_shield(u, v, 0.84):
        return WHITE
    if on_chevron(u, v):
        return WHITE
    # Lighter left half, darker right half, both darkening towards the point.
    base = BLUE_LIGHT if u < 0.5 else BLUE_DARK
    shade = 1.0 - 0.25 * v
    return tuple(int(c * shade) for c in base)


def render(size):
    """Rows top to bottom of (b, g, r, a) pixels."""
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            total = [0, 0, 0]
            hits = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    u = (x + (sx + 0.5) / SAMPLES) / size
                    v = (y + (sy + 0.5) / SAMPLES) / size
                    colour = sample(u, v)
                    if colour is not None:
                        hits += 1
                        for i in range(3):
                            total[i] += colour[i]
            if hits == 0:
                row.append((0, 0, 0, 0))
            else:
                r, g, b = (total[i] // hits for i in range(3))
                row.append((b, g, r, hits * 255 // (SAMPLES * SAMPLES)))
        rows.append(row)
    return rows


def dib(size):
    """One icon image: BITMAPINFOHEADER, bottom-up 32-bit pixels, then the bottom-up AND mask."""
    rows = render(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(bytes(p) for row in reversed(rows) for p in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, p in enumerate(row):
            if p[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def main():
    images = [dib(size) for size in SIZES]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    out += b''.join(images)
    target = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'shell', 'res', 'wardline.ico')
    with open(target, 'wb') as f:
        f.write(out)
    print('wrote', os.path.normpath(target), len(out), 'bytes')


if __name__ == '__main__':
    main()
