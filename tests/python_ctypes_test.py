#!/usr/bin/env python3
"""Calls BMPGlow from Python through ctypes, as the README shows."""
import ctypes
import os
import sys
import tempfile

library, sample = sys.argv[1], sys.argv[2]
glow = ctypes.CDLL(library)
glow.BMPGlow.restype = ctypes.c_int32
glow.BMPGlow.argtypes = [ctypes.c_char_p, ctypes.c_char_p]


def utf16(path):
    return (path + "\0").encode("utf-16-le")


with tempfile.TemporaryDirectory() as work:
    output = os.path.join(work, "glühen-光.bmp")
    assert glow.BMPGlow(utf16(sample), utf16(output)) == 999
    assert os.path.getsize(output) == os.path.getsize(sample)
    assert glow.BMPGlow(utf16(os.path.join(work, "missing.bmp")), utf16(output)) == 1
    assert glow.BMPGlow(None, utf16(output)) == 1
print("python ctypes: ok")
