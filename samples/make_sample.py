#!/usr/bin/env python3
"""Writes sample.tif: a small three-page TIFF that shows what Velquin lists.

Page 1: an A4 bilevel scan at 300 dpi (PackBits), page 2: a small RGB
image, page 3: an 8-bit grey gradient; with resolution, text and date tags.
Deterministic: the same bytes every run.
"""
import struct
import sys

BYTE, ASCII, SHORT, LONG, RATIONAL = 1, 2, 3, 4, 5


def page(width, height, spp, bps, photometric, pixels, extra, dpi=300, compression=1):
    return dict(width=width, height=height, spp=spp, bps=bps, photometric=photometric,
                pixels=pixels, extra=extra, dpi=dpi, compression=compression)


def packbits(row):
    """PackBits: runs of equal bytes as (1 - n, byte), the rest as literals."""
    out = bytearray()
    i = 0
    while i < len(row):
        run = 1
        while i + run < len(row) and run < 128 and row[i + run] == row[i]:
            run += 1
        if run > 1:
            out += bytes([(257 - run) & 0xFF, row[i]])
            i += run
            continue
        start = i
        while i < len(row) and i - start < 128 and (i + 1 >= len(row) or row[i + 1] != row[i]):
            i += 1
        if i == start:
            i += 1
        out += bytes([i - start - 1]) + row[start:i]
    return bytes(out)


def a4_scan():
    """A white A4 page with a few black bars where lines of text would be."""
    width, height = 2480, 3508
    stride = width // 8
    rows = []
    for y in range(height):
        row = bytearray(stride)
        if 300 <= y < 360:
            row[30:200] = b"\xff" * 170          # a heading
        elif 500 <= y < 2900 and (y - 500) % 90 < 28:
            length = 150 + (y * 37) % 120
            row[30:30 + length] = b"\xff" * length  # lines of text
        rows.append(packbits(bytes(row)))
    return width, height, b"".join(rows)


def build(pages):
    out = bytearray(b"II*\x00\x00\x00\x00\x00")

    def add(blob):
        if len(out) % 2:
            out.append(0)
        pos = len(out)
        out.extend(blob)
        return pos

    prev_next = 4
    for number, p in enumerate(pages):
        strip = add(p["pixels"])
        entries = []

        def value(tag, typ, values):
            fmt = {BYTE: "B", SHORT: "H", LONG: "I"}.get(typ)
            if typ == ASCII:
                data = values.encode("cp1252") + b"\x00"
                count = len(data)
            elif typ == RATIONAL:
                data = b"".join(struct.pack("<II", n, d) for n, d in values)
                count = len(values)
            else:
                data = struct.pack("<%d%s" % (len(values), fmt), *values)
                count = len(values)
            if len(data) <= 4:
                field = data.ljust(4, b"\x00")
            else:
                field = struct.pack("<I", add(data))
            entries.append((tag, typ, count, field))

        value(254, LONG, [2 if number else 0])
        value(256, SHORT, [p["width"]])
        value(257, SHORT, [p["height"]])
        value(258, SHORT, [p["bps"]] * p["spp"])
        value(259, SHORT, [p["compression"]])
        value(262, SHORT, [p["photometric"]])
        value(273, LONG, [strip])
        value(277, SHORT, [p["spp"]])
        value(278, SHORT, [p["height"]])
        value(279, LONG, [len(p["pixels"])])
        value(282, RATIONAL, [(p["dpi"], 1)])
        value(283, RATIONAL, [(p["dpi"], 1)])
        value(296, SHORT, [2])
        value(297, SHORT, [number, len(pages)])
        for tag, typ, vals in p["extra"]:
            value(tag, typ, vals)
        entries.sort()
        if len(out) % 2:
            out.append(0)
        ifd = len(out)
        struct.pack_into("<I", out, prev_next, ifd)
        out.extend(struct.pack("<H", len(entries)))
        for tag, typ, count, field in entries:
            out.extend(struct.pack("<HHI", tag, typ, count) + field)
        prev_next = len(out)
        out.extend(b"\x00\x00\x00\x00")
    return bytes(out)


def main():
    w, h = 64, 48
    grey = bytes((x * 4) & 0xFF for y in range(h) for x in range(w))
    rgb = bytes(c for y in range(h) for x in range(w) for c in (x * 4, y * 5, 128))
    sw, sh, scan = a4_scan()
    common = [(305, ASCII, "Velquin sample writer 1.0"), (306, ASCII, "2026:12:07 08:00:00"),
              (315, ASCII, "Velquin Developers")]
    pages = [
        page(sw, sh, 1, 1, 0, scan, common + [(270, ASCII, "Scanned letter, page one of three"),
                                              (271, ASCII, "Velquin"), (272, ASCII, "Sample scanner")],
             compression=32773),
        page(w, h, 3, 8, 2, rgb, common + [(270, ASCII, "Colour ramp \u00e9t\u00e9 \u20ac")], dpi=72),
        page(w, h, 1, 8, 1, grey, common + [(270, ASCII, "Grey gradient"), (285, ASCII, "Last")], dpi=96),
    ]
    target = sys.argv[1] if len(sys.argv) > 1 else "sample.tif"
    with open(target, "wb") as f:
        f.write(build(pages))


if __name__ == "__main__":
    main()
