#!/usr/bin/env python3
"""Writes the large hostile files that the reader's memory and read bounds are
measured on (Python 3 standard library only; the same arguments always give
the same bytes).

    gen_hostile.py overlap OUT [--mb 48]     directories of 3 entries, overlapping
    gen_hostile.py scattered OUT [--mb 48]   8 pages of 65,535 ASCII entries whose
                                             values lie in random order across the file
    gen_hostile.py compact OUT [--mb 48]     the same entries, each page's values
                                             right before its directory

overlap: a directory starts every 12 bytes; each has 3 entries and its next
field points at the directory 12 bytes further on, so every 12-byte slot of the
file is an entry of three directories and the chain visits all of them (a
directory per 12 bytes, three entries per 12 bytes).

scattered / compact: the values of neighbouring entries lie megabytes apart in
`scattered`, next to each other in `compact`; a reader that fetches a window
per value makes one read per entry on the first and a few on the second.
"""
import argparse
import random
import struct
import sys

PAGES = 8
ENTRIES = 65535
ASCII = 2


def overlap(size):
    count = (size - 64) // 12
    base = 16
    b = bytearray(base + 12 * count + 64)
    b[0:8] = b"II\x2a\x00" + struct.pack("<I", base)

    def off(i):
        return base + 12 * i

    for i in range(count):
        struct.pack_into("<H", b, off(i), 3)
        # Directory i-3's next field lies at off(i) + 2; it names directory i-2.
        if i >= 3:
            struct.pack_into("<I", b, off(i) + 2, off(i - 2) if i < count else 0)
    # The last three directories end the chain.
    for j in range(count - 3, count):
        struct.pack_into("<I", b, off(j) + 38, 0)
    return bytes(b)


def ascii_value(rng, n):
    letters = b"abcdefghijklmnopqrstuvwxyz     "
    return bytes(rng.choice(letters) for _ in range(n - 1)) + b"\x00"


def pages_of_text(size, scattered):
    rng = random.Random(7)
    per_entry = max(16, (size - 8) // (PAGES * ENTRIES) - 12)
    per_entry -= per_entry % 2
    dir_size = 2 + 12 * ENTRIES + 4
    values_size = PAGES * ENTRIES * per_entry
    # A few distinct texts are enough: their bytes do not matter, their places do.
    texts = [ascii_value(rng, per_entry) for _ in range(64)]
    b = bytearray(8 + values_size + PAGES * dir_size)
    b[0:4] = b"II\x2a\x00"
    slots = list(range(PAGES * ENTRIES))
    if scattered:
        rng.shuffle(slots)
        dirs = [8 + values_size + p * dir_size for p in range(PAGES)]
        value_at = [8 + s * per_entry for s in slots]
    else:
        dirs = []
        value_at = []
        pos = 8
        for p in range(PAGES):
            for e in range(ENTRIES):
                value_at.append(pos + e * per_entry)
            pos += ENTRIES * per_entry
            dirs.append(pos)
            pos += dir_size
    struct.pack_into("<I", b, 4, dirs[0])
    for p in range(PAGES):
        d = dirs[p]
        struct.pack_into("<H", b, d, ENTRIES)
        for e in range(ENTRIES):
            k = p * ENTRIES + e
            v = value_at[k]
            b[v:v + per_entry] = texts[k % len(texts)]
            struct.pack_into("<HHII", b, d + 2 + 12 * e, e + 1, ASCII, per_entry, v)
        struct.pack_into("<I", b, d + 2 + 12 * ENTRIES, dirs[p + 1] if p + 1 < PAGES else 0)
    return bytes(b)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("kind", choices=["overlap", "scattered", "compact"])
    ap.add_argument("out")
    ap.add_argument("--mb", type=int, default=48, help="size in MB (10^6 bytes)")
    args = ap.parse_args()
    size = args.mb * 1000 * 1000
    data = overlap(size) if args.kind == "overlap" else pages_of_text(size, args.kind == "scattered")
    with open(args.out, "wb") as f:
        f.write(data)
    print("%s: %d bytes" % (args.out, len(data)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
