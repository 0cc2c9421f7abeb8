#!/usr/bin/env python3
"""Writes the crafted seeds of the reader's fuzzer into fuzz/seeds/.

Each file is a small TIFF that is damaged or unusual in one way the reader
must survive: loops in the directory chain, directories and data past the
end, huge counts, entries sharing one value, overlapping directories, every
field type in both byte orders, BigTIFF, and the directories that entries
point to (SubIFDs, Exif, GPS, Interoperability) nested, looping and out of
the file. Small on purpose: the fuzzer mutates them.
"""
import os
import struct
import sys

BYTE, ASCII, SHORT, LONG, RATIONAL, SBYTE, UNDEFINED, SSHORT, SLONG, SRATIONAL, FLOAT, DOUBLE, IFD = range(1, 14)
LONG8, SLONG8, IFD8 = 16, 17, 18
SUBIFDS, EXIF, GPS, INTEROP = 330, 34665, 34853, 40965


class Tiff:
    """Header, data blobs in the order added, then one directory per page.
    Classic TIFF, or BigTIFF (8-byte counts and offsets, 20-byte entries)."""

    def __init__(self, big=False, bigtiff=False):
        self.e = ">" if big else "<"
        self.bt = bigtiff
        self.head = 16 if bigtiff else 8
        self.o = "Q" if bigtiff else "I"   # an offset or a count
        self.field_size = 8 if bigtiff else 4
        self.data = bytearray()
        self.pages = []
        self.dirs = []

    def blob(self, raw):
        off = self.head + len(self.data)
        self.data += raw
        if len(self.data) % 2:
            self.data += b"\0"
        return off

    def rational(self, num, den):
        return self.blob(struct.pack(self.e + "ii", num, den))

    def pad(self, raw):
        return raw + b"\0" * (self.field_size - len(raw))

    def field_long(self, v):
        return self.pad(struct.pack(self.e + "I", v & 0xFFFFFFFF))

    def field_short(self, v):
        return self.pad(struct.pack(self.e + "H", v & 0xFFFF))

    def field_offset(self, v):
        return struct.pack(self.e + self.o, v)

    def entry(self, tag, typ, count, field):
        assert len(field) == self.field_size
        limit = (1 << 64) - 1 if self.bt else 0xFFFFFFFF
        return struct.pack(self.e + "HH" + self.o, tag, typ, count & limit) + field

    def directory_bytes(self, entries, next_offset=0):
        count = struct.pack(self.e + ("Q" if self.bt else "H"), len(entries))
        return count + b"".join(entries) + struct.pack(self.e + self.o, next_offset)

    def subdir(self, entries):
        """A directory that an entry points to, as a blob; returns its offset."""
        return self.blob(self.directory_bytes(entries))

    def offsets(self, values):
        return self.blob(b"".join(struct.pack(self.e + self.o, v) for v in values))

    def page(self, entries):
        self.pages.append(entries)

    def entry_size(self):
        return 20 if self.bt else 12

    def count_size(self):
        return 8 if self.bt else 2

    def build(self):
        out = bytearray(b"MM" if self.e == ">" else b"II")
        first = self.head + len(self.data) if self.pages else 0
        if self.bt:
            out += struct.pack(self.e + "HHHQ", 43, 8, 0, first)
        else:
            out += struct.pack(self.e + "HI", 42, first)
        out += self.data
        pos = len(out)
        for i, entries in enumerate(self.pages):
            self.dirs.append(pos)
            pos += self.count_size() + self.entry_size() * len(entries) + self.field_size
        for i, entries in enumerate(self.pages):
            out += self.directory_bytes(entries, self.dirs[i + 1] if i + 1 < len(self.pages) else 0)
        return out

    def next_field(self, page):
        return self.dirs[page] + self.count_size() + self.entry_size() * len(self.pages[page])

    def put32(self, buf, pos, v):
        buf[pos:pos + 4] = struct.pack(self.e + "I", v)

    def put_offset(self, buf, pos, v):
        buf[pos:pos + self.field_size] = struct.pack(self.e + self.o, v)

    def put16(self, buf, pos, v):
        buf[pos:pos + 2] = struct.pack(self.e + "H", v)


def short(t, tag, v, count=1, typ=SHORT):
    return t.entry(tag, typ, count, t.field_short(v))


def at(t, tag, typ, count, offset):
    return t.entry(tag, typ, count, t.field_offset(offset & (2 ** (8 * t.field_size) - 1)))


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


def bigtiff(big):
    """Entries of the types BigTIFF adds, values in the 8-byte field and at
    offsets, and an Exif directory as IFD8."""
    t = Tiff(big, True)
    text = t.blob(b"BigTIFF text of 24 bytes\0")
    longs = t.blob(bytes(range(1, 41)))
    exif = t.subdir([t.entry(36864, UNDEFINED, 4, t.pad(b"0232")), t.entry(37386, RATIONAL, 1, t.pad(
        struct.pack(t.e + "II", 50, 10)))])
    entries = [
        short(t, 256, 640), t.entry(257, LONG, 1, t.field_long(480)),
        t.entry(270, ASCII, 8, b"inline!\0"), at(t, 305, ASCII, 25, text),
        t.entry(282, RATIONAL, 1, struct.pack(t.e + "II", 300, 1)), at(t, 283, RATIONAL, 2, longs),
        t.entry(273, LONG8, 1, t.field_offset((1 << 40) + 5)), t.entry(279, SLONG8, 1, t.field_offset(2 ** 64 - 1)),
        at(t, 324, LONG8, 5, longs), t.entry(700, BYTE, (1 << 32) + 1, t.field_offset(1 << 33)),
        t.entry(330, IFD8, 0, t.field_offset(0)), t.entry(EXIF, IFD8, 1, t.field_offset(exif)),
        t.entry(0x1234, 0x0101, 3, t.field_offset(0)),
    ]
    t.page(entries)
    t.page([short(t, 256, 2)])
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

    for big, name in ((False, "ii"), (True, "mm")):
        yield "bigtiff-%s.tif" % name, bigtiff(big)

    # SubIFDs two deep with an Exif directory and its Interoperability directory.
    t = Tiff()
    interop = t.subdir([t.entry(1, ASCII, 4, b"R98\0")])
    exif = t.subdir([short(t, 41728, 3), at(t, INTEROP, LONG, 1, interop)])
    deeper = t.subdir([short(t, 256, 16)])
    first = t.subdir([short(t, 256, 32), at(t, SUBIFDS, IFD, 1, deeper), at(t, EXIF, LONG, 1, exif)])
    second = t.subdir([short(t, 256, 64)])
    t.page([short(t, 256, 128), at(t, SUBIFDS, LONG, 2, t.offsets([first, second]))])
    t.page([short(t, 256, 256), at(t, GPS, LONG, 1, t.subdir([t.entry(0, BYTE, 4, b"\2\3\0\0")]))])
    yield "subifd-chain-ii.tif", t.build()

    # An Exif directory pointing back at its page, and a GPS directory past the end.
    t = Tiff(True)
    exif = t.subdir([at(t, INTEROP, LONG, 1, 0), at(t, GPS, LONG, 1, 0)])
    t.page([at(t, EXIF, LONG, 1, exif), at(t, GPS, LONG, 1, 0x7FFFFFF0), at(t, EXIF, IFD, 1, 0)])
    b = t.build()
    t.put32(b, exif + 2 + 8, t.dirs[0])
    t.put32(b, t.dirs[0] + 2 + 12 * 2 + 8, t.dirs[0])
    yield "exif-loop-mm.tif", b

    # SubIFDs nested twelve deep, and an entry of 4,000 zero offsets.
    t = Tiff()
    below = t.subdir([short(t, 256, 1)])
    for _ in range(11):
        below = t.subdir([at(t, SUBIFDS, LONG, 1, below)])
    zeros = t.blob(b"\0" * 16000)
    t.page([at(t, SUBIFDS, LONG, 1, below)] + [at(t, SUBIFDS, IFD, 4000, zeros)] * 3)
    yield "subifd-deep-ii.tif", t.build()

    # A BigTIFF directory claiming 2^40 entries.
    t = Tiff(False, True)
    t.page([short(t, 256, 1)])
    b = t.build()
    b[t.dirs[0]:t.dirs[0] + 8] = struct.pack("<Q", 1 << 40)
    yield "bigtiff-huge-count.tif", b


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "seeds")
    os.makedirs(out, exist_ok=True)
    for name, data in seeds():
        with open(os.path.join(out, name), "wb") as f:
            f.write(bytes(data))
    return 0


if __name__ == "__main__":
    sys.exit(main())
