#!/usr/bin/env python3
"""Writes BMP files: the one place the scripts and the test generators
(scripts/make_sample.py, scripts/bench, tests/fuzz/make_corpus.py) lay out
BMP headers.

    scripts/bmp.py PATH WIDTH HEIGHT      a 24-bit image of random pixels
"""
import os
import struct
import sys

HEADERS_SIZE = 54  # the 14-byte file header and the 40-byte info header


def row_stride(width, bits=24):
    """Bytes of one stored row: its pixels filled up to whole 32-bit words."""
    return (abs(width) * bits + 31) // 32 * 4


def headers(width, height, bits=24, offset=HEADERS_SIZE, file_size=0, image_size=0,
            info_size=40, compression=0):
    """The file header and info header with the fields as given, valid or not
    (the corpus needs malformed ones); 2835 pixels per metre both ways."""
    file_header = b"BM" + struct.pack("<IHHI", file_size, 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", info_size, width, height, 1, bits, compression,
                       image_size, 2835, 2835, 0, 0)
    return file_header + info


def image_file(width, height, pixels):
    """A whole 24-bit file: the headers with its sizes, then the pixel array
    (rows as stored, fill bytes included)."""
    return headers(width, height, file_size=HEADERS_SIZE + len(pixels),
                   image_size=len(pixels)) + pixels


def main():
    path, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    with open(path, "wb") as out:
        out.write(image_file(width, height, os.urandom(row_stride(width) * abs(height))))


if __name__ == "__main__":
    main()
