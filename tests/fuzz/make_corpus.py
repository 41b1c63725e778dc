#!/usr/bin/env python3
"""Writes the fuzzer's seed corpus: small BMP files, valid and malformed.

    tests/fuzz/make_corpus.py [DIRECTORY]     (default: tests/corpus)

Files named ok-* must be glowed; refuse-* must be refused with status 1.
The fuzz target checks each against the rules in any case. The output is
deterministic, so the committed corpus can be compared with a fresh run.
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from bmp import headers, row_stride

INT32_MIN = -(2 ** 31)


def pixels(size, seed):
    """Deterministic pseudo-random bytes (a small LCG), bright and dark mixed."""
    out, state = bytearray(), seed * 2654435761 % 2 ** 32
    for _ in range(size):
        state = (state * 1103515245 + 12345) % 2 ** 31
        out.append(state >> 16 & 0xFF)
    return bytes(out)


def image(width, height, bits=24, gap=b"", trailing=b"", seed=1, info_size=40, compression=0):
    """Headers, a gap (colour table, masks), the pixel array, trailing data."""
    data = pixels(row_stride(width, bits) * abs(height), seed)
    offset = 54 + len(gap)
    size = offset + len(data) + len(trailing)
    return headers(width, height, bits, offset, file_size=size, info_size=info_size,
                   compression=compression) + gap + data + trailing


def v5_masks():
    """The rest of a 124-byte info header: RGBA masks, colour space, profile fields."""
    masks = struct.pack("<IIII", 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000)
    return masks + b"BGRs" + bytes(36) + struct.pack("<IIII", 0, 0, 0, 0)


def with_masks(width, height, red, green, blue, compression=3, seed=20):
    """A 32-bit image with a 40-byte info header and its colour masks after it."""
    masks = struct.pack("<III", red, green, blue)
    return image(width, height, bits=32, gap=masks, compression=compression, seed=seed)


def corpus():
    good = image(4, 4)
    cases = {
        # Valid images: every layout the library handles.
        "ok-24bit-4x4-packed": good,
        "ok-24bit-5x3-padded": image(5, 3, seed=2),
        "ok-24bit-1x1": image(1, 1, seed=3),
        "ok-24bit-2x2": image(2, 2, seed=4),
        "ok-24bit-3x3-one-interior": image(3, 3, seed=5),
        "ok-24bit-7x5-top-down": image(7, -5, seed=6),
        "ok-24bit-negative-width": image(-6, 4, seed=7),
        "ok-24bit-bright-centre": headers(5, 5, file_size=54 + 80)
        + bytes(40) + b"\xff" * 15 + bytes(25),
        "ok-32bit-4x3": image(4, 3, bits=32, seed=8),
        "ok-32bit-v5-header-masks-profile": image(
            4, 3, bits=32, gap=v5_masks(), trailing=b"PROFILE" + pixels(40, 9),
            info_size=124, compression=3, seed=9),
        # 32-bit: the byte that no colour mask names is kept, in each place.
        "ok-32bit-masks-keep-byte-0": with_masks(5, 4, 0xFF000000, 0xFF0000, 0xFF00, 6),
        "ok-32bit-masks-keep-byte-1": with_masks(5, 4, 0xFF, 0xFF000000, 0xFF0000, seed=21),
        "ok-32bit-masks-keep-byte-2": with_masks(5, 4, 0xFF00, 0xFF, 0xFF000000, 6, seed=22),
        "ok-32bit-masks-keep-byte-3": with_masks(5, 4, 0xFF0000, 0xFF00, 0xFF, seed=23),
        "ok-32bit-compression-5-masks-unread": image(4, 3, bits=32, compression=5, seed=24),
        "ok-24bit-compression-3-masks-unread": image(4, 3, compression=3, seed=25),
        "ok-24bit-colour-table-gap": image(4, 4, gap=pixels(64, 11), seed=12),
        "ok-24bit-trailing-data": image(5, 4, trailing=pixels(33, 13), seed=14),
        "ok-24bit-missing-last-fill-1": image(5, 3, seed=15)[:-1],
        "ok-24bit-missing-last-fill-3": image(7, 3, seed=16)[:-3],
        "ok-width-0-far-offset": headers(0, 10, offset=4000000000),
        "ok-height-0": headers(10, 0),
        "ok-both-0": headers(0, 0, offset=0),
        "ok-offset-inside-headers": headers(3, 3, offset=20) + pixels(12 * 3 - 34, 17),
        "ok-offset-0": headers(3, 3, offset=0) + pixels(2, 18),
        # Refused: one file per rule.
        "refuse-empty": b"",
        "refuse-53-header-bytes": good[:53],
        "refuse-width-int32-min": headers(INT32_MIN, 1) + bytes(64),
        "refuse-height-int32-min": headers(1, INT32_MIN) + bytes(64),
        "refuse-row-size-overflow": headers(89478485, 1) + bytes(64),
        "refuse-row-size-overflow-65535-bits": headers(40000, 1, bits=65535) + bytes(64),
        "refuse-pixel-size-overflow": headers(1000, 1000000) + bytes(64),
        "refuse-negative-pixel-size-overflow": headers(-1000, -1000000) + bytes(64),
        "refuse-16bit": image(4, 4, bits=16),
        "refuse-8bit-palette": image(4, 4, bits=8, gap=pixels(1024, 19)),
        "refuse-1bit": image(8, 2, bits=1),
        "refuse-0bit": headers(4, 4, bits=0) + bytes(16),
        "refuse-16bit-width-0": headers(0, 4, bits=16),
        "refuse-25bit": image(3, 3, bits=25, seed=26),
        "refuse-33bit": image(3, 3, bits=33, seed=27),
        "refuse-40bit": image(3, 3, bits=40, seed=10),
        "refuse-48bit": image(3, 3, bits=48, seed=28),
        "refuse-64bit": image(3, 3, bits=64, seed=29),
        "refuse-32bit-masks-10-10-10": with_masks(4, 3, 0x3FF00000, 0xFFC00, 0x3FF),
        "refuse-32bit-masks-one-byte-twice": with_masks(4, 3, 0xFF0000, 0xFF0000, 0xFF, 6),
        "refuse-32bit-masks-zero": with_masks(4, 3, 0xFF0000, 0xFF00, 0),
        "refuse-32bit-masks-bad-empty-image": with_masks(0, 0, 0xFFFF, 0xFF0000, 0xFF000000),
        "refuse-32bit-masks-cut-short": with_masks(0, 0, 0xFF0000, 0xFF00, 0xFF)[:63],
        "refuse-last-pixel-byte-missing": good[:-1],
        "refuse-last-row-fill-and-pixel-missing": image(5, 3)[:-2],
        "refuse-huge-image-tiny-file": headers(30000, 20000) + bytes(64),
        "refuse-offset-past-end": headers(4, 4, offset=0xFFFFFFF0) + good[54:],
    }
    return cases


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    directory = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "corpus")
    os.makedirs(directory, exist_ok=True)
    for name, data in corpus().items():
        with open(os.path.join(directory, name + ".bmp"), "wb") as out:
            out.write(data)
    print(f"{len(corpus())} files in {directory}")


if __name__ == "__main__":
    main()
