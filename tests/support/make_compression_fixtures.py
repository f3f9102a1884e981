#!/usr/bin/env python3
"""Writes streams from an independent encoder (Python's lzma and zlib) for the
decoders to read: input.bin, input.lzma (5 property bytes, LZMA data, end
marker, no size field) and input.zlib (RFC 1950)."""
import lzma
import os
import random
import sys
import zlib


def sample_input():
    # Text with a random spine, long enough to cross the decoders' 1 MiB
    # output buffer, plus a stretch of incompressible bytes.
    rng = random.Random(20261207)
    words = [b"runtime ", b"package ", b"folder ", b"solid ", b"\r\n", b"check "]
    parts = [rng.choice(words) for _ in range(260000)]
    parts.append(bytes(rng.getrandbits(8) for _ in range(70000)))
    return b"".join(parts)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    data = sample_input()
    # FORMAT_ALONE writes the property bytes, an unknown size (8 bytes of
    # 0xFF) and an end marker; dropping the size field gives our layout.
    alone = lzma.compress(data, format=lzma.FORMAT_ALONE, preset=6)
    assert alone[5:13] == b"\xff" * 8
    with open(os.path.join(out, "input.bin"), "wb") as f:
        f.write(data)
    with open(os.path.join(out, "input.lzma"), "wb") as f:
        f.write(alone[:5] + alone[13:])
    with open(os.path.join(out, "input.zlib"), "wb") as f:
        f.write(zlib.compress(data, 9))


if __name__ == "__main__":
    main()
