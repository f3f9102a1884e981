#!/usr/bin/env python3
"""Writes a v1 single-file torrent of a payload, the kind the address service
serves, and prints its info-hash in hexadecimal.

Usage: make_torrent.py <payload> <out.torrent> <piece size> [announce URL]
"""
import hashlib
import os
import sys


def bencode(value):
    if isinstance(value, int):
        return b"i%de" % value
    if isinstance(value, str):
        value = value.encode()
    if isinstance(value, bytes):
        return b"%d:%s" % (len(value), value)
    if isinstance(value, list):
        return b"l" + b"".join(bencode(v) for v in value) + b"e"
    return b"d" + b"".join(bencode(k) + bencode(value[k]) for k in sorted(value)) + b"e"


def main():
    payload, out, piece = sys.argv[1], sys.argv[2], int(sys.argv[3])
    pieces = bytearray()
    with open(payload, "rb") as f:
        while True:
            block = f.read(piece)
            if not block:
                break
            pieces += hashlib.sha1(block).digest()
    info = {"name": os.path.basename(payload), "length": os.path.getsize(payload),
            "piece length": piece, "pieces": bytes(pieces)}
    torrent = {"info": info}
    if len(sys.argv) > 4:
        torrent["announce"] = sys.argv[4]
    with open(out, "wb") as f:
        f.write(bencode(torrent))
    print(hashlib.sha1(bencode(info)).hexdigest())


if __name__ == "__main__":
    main()
