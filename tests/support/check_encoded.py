#!/usr/bin/env python3
"""Runs the encoder sample under Wine and checks that Python's lzma and zlib
decode what it wrote back to the fixture input.

usage: check_encoded.py WINE_RUN ENCODER_EXE FIXTURE_DIR OUT_DIR"""
import lzma
import os
import shutil
import subprocess
import sys
import zlib


def main():
    wine_run, encoder, fixtures, out = sys.argv[1:5]
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    subprocess.run([wine_run, encoder, "Z:" + os.path.join(fixtures, "input.bin"), "Z:" + out], check=True)
    with open(os.path.join(fixtures, "input.bin"), "rb") as f:
        expected = f.read()
    failures = 0
    for name in sorted(os.listdir(out)):
        with open(os.path.join(out, name), "rb") as f:
            stream = f.read()
        if name.endswith(".lzma"):
            # Our layout plus an unknown size is the .lzma (alone) format.
            decoded = lzma.decompress(stream[:5] + b"\xff" * 8 + stream[5:], format=lzma.FORMAT_ALONE)
        elif name.endswith(".zlib"):
            decoded = zlib.decompress(stream)
        else:
            continue
        ok = decoded == expected
        failures += not ok
        print(("ok      " if ok else "MISMATCH"), name, len(stream), "bytes")
    if failures or not os.listdir(out):
        sys.exit(1)
    shutil.rmtree(out)


if __name__ == "__main__":
    main()
