#!/usr/bin/env python3
"""Calls BMPGlow from Python through ctypes, as the README shows: the sample's
glow must come out byte for byte (its SHA-256 is the one bmpglow's test
checks), also under a name beyond ASCII."""
import ctypes
import hashlib
import os
import sys
import tempfile

library, sample, expected_sha256 = sys.argv[1], sys.argv[2], sys.argv[3]
glow = ctypes.CDLL(library)
glow.BMPGlow.restype = ctypes.c_int32
glow.BMPGlow.argtypes = [ctypes.c_char_p, ctypes.c_char_p]


def utf16(path):
    return (path + "\0").encode("utf-16-le")


with tempfile.TemporaryDirectory() as work:
    output = os.path.join(work, "glühen-光.bmp")
    assert glow.BMPGlow(utf16(sample), utf16(output)) == 999
    with open(output, "rb") as glowed:
        digest = hashlib.sha256(glowed.read()).hexdigest()
    assert digest == expected_sha256, f"glowed sample: sha256 {digest}"
    assert glow.BMPGlow(utf16(os.path.join(work, "missing.bmp")), utf16(output)) == 1
    assert glow.BMPGlow(None, utf16(output)) == 1
print("python ctypes: ok")
