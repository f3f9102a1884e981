#!/usr/bin/env python3
"""Writes the images the UI tests embed as module resources: a 9x9 PNG of
nine 3x3 solid cells, the same cells as a 24-bit BMP and as Photoshop images
(raw and run-length), and a 16x16 32-bit icon whose left half is
transparent."""
import os
import struct
import sys
import zlib


def cell_colour(x, y):
    # Must match CellColour in TestImages.cpp.
    column, row = x // 3, y // 3
    return (40 + 90 * column, 30 + 100 * row, 200 - 60 * column - 20 * row)


def png(width, height, rgba):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    rows = b"".join(b"\0" + bytes(rgba[y * width * 4:(y + 1) * width * 4]) for y in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows)) +
            chunk(b"IEND", b""))


def bmp(width, height, rgb_of):
    stride = (width * 3 + 3) // 4 * 4
    rows = []
    for y in reversed(range(height)):
        row = b"".join(bytes(reversed(rgb_of(x, y))) for x in range(width))
        rows.append(row + b"\0" * (stride - len(row)))
    pixels = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + len(info) + len(pixels), 0, 0, 54) + info + pixels


def packbits(row):
    """Runs of three or more equal bytes as one repeat packet, the rest as
    literal packets of at most 128 bytes."""
    out, literal, i = b"", b"", 0
    while i < len(row):
        run = 1
        while i + run < len(row) and run < 128 and row[i + run] == row[i]:
            run += 1
        if run >= 3 or len(literal) == 128:
            out += bytes([len(literal) - 1]) + literal if literal else b""
            literal = b""
        if run >= 3:
            out += bytes([257 - run, row[i]])
            i += run
        else:
            literal += row[i:i + 1]
            i += 1
    return out + (bytes([len(literal) - 1]) + literal if literal else b"")


def psd(width, height, rgb_of, run_length, depth=8):
    """An RGB Photoshop image without resources or layers: its merged image
    one channel after another, each row raw (8 or 16 bits a sample) or
    PackBits packed after a table of the packed rows' byte counts."""
    sample = ">%d" + ("B" if depth == 8 else "H")
    scale = 1 if depth == 8 else 257
    rows = [struct.pack(sample % width, *(rgb_of(x, y)[c] * scale for x in range(width)))
            for c in range(3) for y in range(height)]
    if run_length:
        rows = [packbits(row) for row in rows]
        data = struct.pack(">H", 1) + b"".join(struct.pack(">H", len(row)) for row in rows)
    else:
        data = struct.pack(">H", 0)
    header = b"8BPS" + struct.pack(">H6xHIIHH", 1, 3, height, width, depth, 3)
    return header + struct.pack(">III", 0, 0, 0) + data + b"".join(rows)


def icon(size):
    # BGRA bottom-up, then an AND mask (1 = transparent) of 32-bit rows.
    xor = b"".join(bytes((0, 0, 255, 255) if x >= size // 2 else (0, 0, 0, 0))
                   for y in range(size) for x in range(size))
    mask_row = b"".join(bytes([0xFF if (bit < size // 2) else 0]) for bit in range(0, size, 8))
    mask_row += b"\0" * ((4 - len(mask_row) % 4) % 4)
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    image = info + xor + mask_row * size
    return struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), 22) + image


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    rgba = []
    for y in range(9):
        for x in range(9):
            rgba += list(cell_colour(x, y)) + [255]
    with open(os.path.join(out, "cells.png"), "wb") as f:
        f.write(png(9, 9, rgba))
    with open(os.path.join(out, "cells.bmp"), "wb") as f:
        f.write(bmp(9, 9, cell_colour))
    for name, run_length in (("cells.psd", False), ("cells-rle.psd", True)):
        with open(os.path.join(out, name), "wb") as f:
            f.write(psd(9, 9, cell_colour, run_length))
    with open(os.path.join(out, "half.ico"), "wb") as f:
        f.write(icon(16))
    # Markup that ends inside an element, padded to a multiple of 8 bytes so
    # that the next resource's bytes follow it directly: a reader that runs
    # past the end would take them for more attributes.
    unclosed = b'<Window><Control id="5" text="ok" tooltip="tip"'
    unclosed += b" " * (-len(unclosed) % 8)
    with open(os.path.join(out, "unclosed.xml"), "wb") as f:
        f.write(unclosed)
    with open(os.path.join(out, "tail.xml"), "wb") as f:
        f.write(b' name="past" />')


if __name__ == "__main__":
    main()
