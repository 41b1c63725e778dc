#!/usr/bin/env python3
"""Draws the shipped sample image, samples/sample.bmp: a dusk scene with a
low sun, hills, a lake and stars, in mid and dark tones so that the glow
(which roughly doubles interior values) brightens it visibly without
washing it out."""
import math
import random
import sys

import bmp

WIDTH, HEIGHT = 384, 256


def scene(x, y):
    """Colour (r, g, b) at pixel (x, y), y = 0 at the top."""
    horizon = 170
    sun_x, sun_y, sun_r = 250, 112, 22
    if y < horizon:
        t = y / horizon
        r, g, b = 20 + 90 * t, 10 + 40 * t, 50 + 40 * (1 - t)
        d = math.hypot(x - sun_x, y - sun_y)
        if d < sun_r:
            r, g, b = 125, 95, 45
        else:
            halo = max(0.0, 1 - (d - sun_r) / 90)
            r, g, b = r + 60 * halo ** 2, g + 35 * halo ** 2, b + 5 * halo ** 2
        hill = horizon - 28 - 22 * math.sin(x / 37.0) - 10 * math.sin(x / 13.0 + 1)
        if y > hill:
            r, g, b = 18, 16 + 6 * (y - hill) / 40, 28
    else:
        t = (y - horizon) / (HEIGHT - horizon)
        r, g, b = 25 + 30 * (1 - t), 18 + 15 * (1 - t), 45 + 20 * t
        d = abs(x - sun_x)
        ripple = (math.sin(y * 1.7) + 1) / 2
        if d < 30 * (1 - t * 0.5) and ripple > 0.45:
            r, g, b = r + 70 * (1 - d / 30), g + 45 * (1 - d / 30), b + 10
    return r, g, b


def main(path):
    random.seed(7)
    stars = {(random.randrange(WIDTH), random.randrange(80)) for _ in range(60)}
    stride = bmp.row_stride(WIDTH)
    rows = []
    for y in range(HEIGHT - 1, -1, -1):  # bottom-up, as BMP stores rows
        row = bytearray()
        for x in range(WIDTH):
            r, g, b = scene(x, y)
            if (x, y) in stars:
                r = g = b = 128
            row += bytes((min(255, int(b)), min(255, int(g)), min(255, int(r))))
        row += bytes(stride - len(row))
        rows.append(bytes(row))
    with open(path, "wb") as out:
        out.write(bmp.image_file(WIDTH, HEIGHT, b"".join(rows)))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "samples/sample.bmp")
