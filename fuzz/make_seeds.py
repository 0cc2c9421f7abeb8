#!/usr/bin/env python3
"""Writes the crafted seeds of the reader's fuzzer into fuzz/seeds/.

Each file is a small TIFF that is damaged or unusual in one way the reader
must survive: loops in the directory chain, directories and data past the
end, huge counts, entries sharing one value, overlapping directories, every
field type in both byte orders. Small on purpose: the fuzzer mutates them.
"""
import os
import struct
import sys

BYTE, ASCII, SHORT, LONG, RATIONAL, SBYTE, UNDEFINED, SSHORT, SLONG, SRATIONAL, FLOAT, DOUBLE = range(1, 13)


class Tiff:
    """Header, data blobs in the order added, then one directory per page."""

    def __init__(self, big=False):
        self.e = ">" if big else "<"
        self.data = bytearray()
        self.pages = []
        self.dirs = []

    def blob(self, raw):
        off = 8 + len(self.data)
        self.data += raw
        if len(self.data) % 2:
            self.data += b"\0"
        return off

    def rational(self, num, den):
        return self.blob(struct.pack(self.e + "ii", num, den))

    def field_long(self, v):
        return struct.pack(self.e + "I", v & 0xFFFFFFFF)

    def field_short(self, v):
        return struct.pack(self.e + "HH", v & 0xFFFF, 0)

    def entry(self, tag, typ, count, field):
        assert len(field) == 4
        return struct.pack(self.e + "HHI", tag, typ, count & 0xFFFFFFFF) + field

    def page(self, entries):
        self.pages.append(entries)

    def build(self):
        out = bytearray(b"MM" if self.e == ">" else b"II")
        out += struct.pack(self.e + "HI", 42, 8 + len(self.data) if self.pages else 0)
        out += self.data
        pos = len(out)
        for i, entries in enumerate(self.pages):
            self.dirs.append(pos)
            pos += 2 + 12 * len(entries) + 4
        for i, entries in enumerate(self.pages):
            out += struct.pack(self.e + "H", len(entries))
            for e in entries:
                out += e
            out += struct.pack(self.e + "I", self.dirs[i + 1] if i + 1 < len(self.pages) else 0)
        return out

    def next_field(self, page):
        return self.dirs[page] + 2 + 12 * len(self.pages[page])

    def put32(self, buf, pos, v):
        buf[pos:pos + 4] = struct.pack(self.e + "I", v)

    def put16(self, buf, pos, v):
        buf[pos:pos + 2] = struct.pack(self.e + "H", v)


def short(t, tag, v, count=1, typ=SHORT):
    return t.entry(tag, typ, count, t.field_short(v))


def at(t, tag, typ, count, offset):
    return t.entry(tag, typ, count, t.field_long(offset))


def three_pages(big=False):
    t = Tiff(big)
    for w in (1, 2, 3):
        t.page([short(t, 256, w)])
    return t, t.build()


def every_type(big):
    t = Tiff(big)
    text = t.blob(b"Velquin \x80\x93\x9d\xe9 text\0")
    longs = t.blob(bytes(range(1, 41)))
    bytes_ = t.blob(b"AB\x01CD\x00\xff\x7f")
    entries = [
        short(t, 256, 640), short(t, 257, 480, typ=SSHORT),
        t.entry(258, SHORT, 3, t.field_long(longs)),
        t.entry(259, BYTE, 1, b"\x41\0\0\0"), at(t, 262, BYTE, 8, bytes_),
        t.entry(270, ASCII, 4, b"abc\0"), at(t, 271, ASCII, 20, text), t.entry(272, ASCII, 0, b"\0\0\0\0"),
        t.entry(273, LONG, 1, t.field_long(0xFFFFFFFF)), at(t, 279, LONG, 2, longs),
        at(t, 282, RATIONAL, 1, t.rational(300, 1)), at(t, 283, RATIONAL, 1, t.rational(5, 2)),
        at(t, 284, FLOAT, 1, t.rational(-5, 2)), at(t, 285, DOUBLE, 1, longs),
        t.entry(286, SLONG, 1, t.field_long(0xFFFFFFFF)), at(t, 287, SRATIONAL, 1, longs),
        t.entry(288, SBYTE, 1, b"\xff\0\0\0"), at(t, 34665, UNDEFINED, 40, longs),
        t.entry(300, 0, 1, b"\0\0\0\0"), t.entry(301, 13, 1, b"\0\0\0\0"), t.entry(302, 257, 1, b"\x42\0\0\0"),
        t.entry(0, 0xFFFF, 0xFFFFFFFF, b"\xff\xff\xff\xff"), t.entry(65535, ASCII, 255, t.field_long(text)),
    ]
    t.page(entries)
    return t.build()


def seeds():
    yield "empty-chain-ii.tif", Tiff().build()
    yield "header-only-mm.tif", b"MM\0\x2a\0\0\0\0"
    yield "header-short.tif", b"II\x2a\0\x08\0"
    yield "magic-wrong-order.tif", b"II\0\x2a\x08\0\0\0"
    yield "bigtiff.tif", b"II\x2b\0\x08\0\0\0\0\0\0\0\0\0\0\0"
    yield "every-type-ii.tif", every_type(False)
    yield "every-type-mm.tif", every_type(True)

    t, b = three_pages()
    t.put32(b, t.next_field(2), t.dirs[0])
    yield "loop-to-first.tif", b

    t, b = three_pages(True)
    t.put32(b, t.next_field(1), t.dirs[1])
    yield "loop-to-itself.tif", b

    t, b = three_pages()
    t.put32(b, t.next_field(1), 100000)
    yield "directory-past-end.tif", b

    t = Tiff()
    t.page([short(t, 256, 9), short(t, 257, 9)])
    b = t.build()
    t.put16(b, t.dirs[0], 65535)
    yield "count-runs-past-end.tif", b

    t = Tiff()
    t.page([short(t, 256, 9), short(t, 257, 9)])
    b = t.build()
    yield "entry-cut.tif", b[:t.dirs[0] + 2 + 12 + 6]

    t = Tiff()
    d = t.blob(b"ABCDEFGH")
    t.page([at(t, 1, BYTE, 0xFFFFFFFF, d), at(t, 2, ASCII, 0xFFFFFFFF, d), at(t, 3, BYTE, 0x7FFFFFFF, d),
            at(t, 4, ASCII, 0x7FFFFFFF, d), at(t, 5, ASCII, 20, 0xFFFFFFF0), at(t, 6, BYTE, 20, 0xFFFFFFF0),
            at(t, 7, RATIONAL, 1, 0xFFFFFFFC), t.entry(8, SHORT, 0xFFFFFFFF, b"\0\0\0\0")])
    yield "huge-counts.tif", t.build()

    # Entries that all point at one value: decoded whole each time that would be
    # quadratic in the file's size.
    t = Tiff()
    blob = t.blob(b"q" * 4000)
    t.page([at(t, 270, ASCII, 4000, blob)] * 300)
    yield "shared-value.tif", t.build()

    # Directories whose count words sit side by side and whose entry blocks overlap.
    k = 200
    s = 8 + 2 * k
    b = bytearray(s + 24 * k + 16)
    b[0:8] = b"II\x2a\0\x08\0\0\0"
    for i in range(k):
        o = 8 + 2 * i
        f = s + 24 * i + (o + 2) % 12
        struct.pack_into("<H", b, o, (f - o - 2) // 12)
        struct.pack_into("<I", b, f, o + 2 if i + 1 < k else 0)
    yield "overlapping-directories.tif", b

    # Sizes the status bar cannot show: a zero resolution, a width that is no number.
    t = Tiff()
    t.page([short(t, 256, 100), short(t, 257, 0), at(t, 282, RATIONAL, 1, t.rational(0, 5)),
            at(t, 283, RATIONAL, 1, t.rational(7, 0))])
    t.page([t.entry(256, ASCII, 4, b"12a\0"), short(t, 257, 5), at(t, 282, RATIONAL, 1, t.rational(-1, 3))])
    t.page([t.entry(256, LONG, 1, t.field_long(0x80000000)), t.entry(257, LONG, 2, t.field_long(0))])
    yield "odd-sizes.tif", t.build()

    t = Tiff(True)
    for i in range(300):
        t.page([short(t, 256, i)])
    yield "long-chain-mm.tif", t.build()


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "seeds")
    os.makedirs(out, exist_ok=True)
    for name, data in seeds():
        with open(os.path.join(out, name), "wb") as f:
            f.write(bytes(data))
    return 0


if __name__ == "__main__":
    sys.exit(main())
