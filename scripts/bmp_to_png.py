#!/usr/bin/env python3
"""Writes a PNG showing 24-bit BMP files side by side (for the README).

usage: bmp_to_png.py OUT.png A.bmp [B.bmp ...]
"""
import struct
import sys
import zlib


def read_bmp(path):
    data = open(path, "rb").read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    bits = struct.unpack_from("<H", data, 28)[0]
    stride = (abs(width) * bits + 31) // 32 * 4
    step = bits // 8
    rows = []
    for y in range(abs(height)):
        start = offset + y * stride
        row = bytearray()
        for x in range(abs(width)):
            b, g, r = data[start + step * x:start + step * x + 3]
            row += bytes((r, g, b))
        rows.append(row)
    if height > 0:
        rows.reverse()  # bottom-up on disk, top-down in PNG
    return abs(width), rows


def write_png(path, rows):
    width = len(rows[0]) // 3
    raw = b"".join(b"\x00" + bytes(row) for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, len(rows), 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    open(path, "wb").write(png)


def main():
    out, sources = sys.argv[1], sys.argv[2:]
    images = [read_bmp(path)[1] for path in sources]
    gap = bytes((255, 255, 255)) * 8
    rows = [gap.join(bytes(image[y]) for image in images) for y in range(len(images[0]))]
    write_png(out, rows)


if __name__ == "__main__":
    main()
