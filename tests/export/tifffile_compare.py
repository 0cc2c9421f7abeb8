#!/usr/bin/env python3
"""Compares `velquin --dump FILE --json` with Debian's python3-tifffile.

    tests/export/tifffile_compare.py VELQUIN CORPUS_DIR

Takes every file of CORPUS_DIR that velquin reads as BigTIFF or finds an Exif
or GPS directory in, and that tifffile opens, and checks that both readers see
the same pages and, on each page, the same entries: position, tag, type,
count, value position and values. The Exif and GPS directories are compared
by tag and value (tifffile gives them as a name-to-value map). tifffile
reads with the interpreter it was installed for, /usr/bin/python3.

Exit status 0 when everything agrees, 1 on a disagreement, 77 (a skipped test
for CTest) when tifffile or the corpus is missing.
"""
import json
import math
import os
import subprocess
import sys
import warnings

try:
    import numpy
    import tifffile
    from tifffile import TIFF
    from tifffile.tifffile import bytes2str, stripnull
except ImportError:
    print("python3-tifffile is not installed: nothing compared")
    sys.exit(77)

# tifffile turns the values of these tags into something of its own (a map,
# a header record, a colour map), so only their entries are compared.
SPECIAL = set(TIFF.TAG_READERS)
# Exif tags whose values tifffile re-encodes (UserComment's character code).
REENCODED = {"UserComment"}


def cp1252_bytes(text):
    """The bytes velquin read a text from: it maps every byte through Windows-1252."""
    out = bytearray()
    for ch in text:
        try:
            out += ch.encode("cp1252")
        except UnicodeEncodeError:
            out.append(ord(ch))  # the five bytes Windows-1252 leaves unassigned
    return bytes(out)


def ascii_text(raw):
    """What tifffile makes of the bytes of an ASCII value."""
    try:
        return bytes2str(stripnull(raw, first=False).strip())
    except UnicodeDecodeError:
        return raw


def number(v):
    if isinstance(v, str):  # velquin's NaN and infinities
        return float(v.replace("Infinity", "inf"))
    return v


def same_numbers(a, b):
    if len(a) != len(b):
        return False
    for x, y in zip(a, b):
        if isinstance(x, float) or isinstance(y, float):
            if not (x == y or (math.isnan(x) and math.isnan(y))):
                return False
        elif x != y:
            return False
    return True


def velquin_value(entry):
    """velquin's values in the form tifffile's take after canon()."""
    t, values = entry["type"], entry["values"]
    if t == 2:
        return ascii_text(b"\0".join(cp1252_bytes(s) for s in values))
    if t in (1, 7):
        return bytes(values)
    flat = []
    for v in values:
        flat.extend(v if isinstance(v, list) else [number(v)])
    return flat


def canon(value, dtype):
    """tifffile's value of an entry of type dtype, in comparable form."""
    if dtype in (1, 7):
        if isinstance(value, int):
            return bytes([value])
        if isinstance(value, numpy.ndarray):
            return bytes(value.astype(numpy.uint8).tolist())
        if isinstance(value, str):  # ExifVersion and FlashpixVersion: decoded
            return value.encode("latin-1", "replace")
        return bytes(value)
    if dtype == 2:
        return value
    if isinstance(value, numpy.ndarray):
        return [v.item() if hasattr(v, "item") else v for v in value.reshape(-1)]
    if not isinstance(value, (tuple, list)):
        value = (value,)
    return [float(v) if isinstance(v, (numpy.floating, float)) else int(v) for v in value]


def agree(ours, theirs, dtype):
    if dtype == 2 or dtype in (1, 7):
        return ours == theirs
    return same_numbers(ours, theirs)


class Comparison:
    def __init__(self):
        self.files = self.pages = self.entries = self.values = self.subentries = 0
        self.problems = []
        self.refused = []  # what tifffile gives up on: damaged files and directories

    def problem(self, path, text):
        self.problems.append("%s: %s" % (os.path.basename(path), text))

    def entry(self, path, ours, tag):
        self.entries += 1
        where = "entry at %d" % tag.offset
        for key, theirs in (("tag", tag.code), ("type", tag.dtype), ("count", tag.count)):
            if ours[key] != theirs:
                self.problem(path, "%s: %s %r, tifffile %r" % (where, key, ours[key], theirs))
        if tag.code in SPECIAL:
            return
        if ours["valuePosition"] != tag.valueoffset:
            self.problem(path, "%s: valuePosition %r, tifffile %r" % (where, ours["valuePosition"], tag.valueoffset))
        try:
            theirs = tag.value
        except Exception as exc:  # a value tifffile refuses (past the end of the file)
            if not ours["truncated"]:
                self.problem(path, "%s: tifffile cannot read the value (%s)" % (where, exc))
            return
        self.values += 1
        if not agree(velquin_value(ours), canon(theirs, tag.dtype), tag.dtype):
            self.problem(path, "%s: values differ: %.200r / tifffile %.200r"
                         % (where, velquin_value(ours), canon(theirs, tag.dtype)))

    def directory(self, path, ours, theirs, names):
        """A sub-directory: velquin's entries against tifffile's name-to-value map."""
        seen = {}
        for e in ours["entries"]:
            if e["tag"] is not None:
                seen[names.get(e["tag"], str(e["tag"]))] = e
        if set(seen) != set(theirs):
            self.problem(path, "%s: tags %s, tifffile %s" % (ours["id"], sorted(seen), sorted(theirs)))
        for name, e in seen.items():
            if name not in theirs or name in REENCODED:
                continue
            self.subentries += 1
            if e["type"] == 2 and isinstance(theirs[name], bytes):
                theirs_value = ascii_text(theirs[name])
            else:
                theirs_value = canon(theirs[name], e["type"])
            if e["type"] == 7 and isinstance(theirs[name], str):
                ours_value = velquin_value(e).decode("latin-1").rstrip("\0").encode("latin-1")
            else:
                ours_value = velquin_value(e)
            if not agree(ours_value, theirs_value, e["type"]):
                self.problem(path, "%s %s: values differ: %.200r / tifffile %.200r"
                             % (ours["id"], name, ours_value, theirs_value))

    def file(self, path, doc):
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            with tifffile.TiffFile(path) as tif:
                pages = list(tif.pages)
                self.files += 1
                ours = {d["id"]: d for d in doc["directories"]}
                if len(pages) != doc["pageCount"]:
                    self.problem(path, "%d pages, tifffile %d" % (doc["pageCount"], len(pages)))
                for i, page in enumerate(pages):
                    d = ours.get(str(i + 1))
                    if d is None or d["offset"] != page.offset:
                        self.problem(path, "page %d at %r, tifffile at %d" % (i + 1, d and d["offset"], page.offset))
                        continue
                    self.pages += 1
                    by_position = {e["position"]: e for e in d["entries"]}
                    if len(page.tags) != len(d["entries"]):
                        self.problem(path, "page %d: %d entries, tifffile %d"
                                     % (i + 1, len(d["entries"]), len(page.tags)))
                    for tag in page.tags.values():
                        if tag.offset not in by_position:
                            self.problem(path, "page %d: no entry at %d" % (i + 1, tag.offset))
                            continue
                        self.entry(path, by_position[tag.offset], tag)
                    for code, kind, names in ((34665, "exif", TIFF.EXIF_TAGS), (34853, "gps", TIFF.GPS_TAGS)):
                        sub = ours.get("%d/%s" % (i + 1, kind))
                        tag = page.tags.get(code)
                        if sub is None or tag is None:
                            continue
                        try:
                            theirs = tag.value
                        except tifffile.TiffFileError as exc:
                            self.refused.append("%s of %s (%s)" % (sub["id"], os.path.basename(path), exc))
                            continue
                        self.directory(path, sub, theirs, names)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    velquin, corpus = sys.argv[1], sys.argv[2]
    if not os.path.isdir(corpus):
        print("no corpus at %s: nothing compared" % corpus)
        sys.exit(77)
    result = Comparison()
    refused = result.refused
    for folder, _, names in sorted(os.walk(corpus)):
        for name in sorted(names):
            path = os.path.join(folder, name)
            run = subprocess.run([velquin, "--dump", path, "--json"], capture_output=True)
            if run.returncode != 0:
                continue
            doc = json.loads(run.stdout)
            kinds = {d["kind"] for d in doc["directories"]}
            if not (doc["bigTiff"] or "exif" in kinds or "gps" in kinds):
                continue
            try:
                result.file(path, doc)
            except (tifffile.TiffFileError, ValueError, OSError) as exc:  # tifffile gives up on damaged files
                refused.append("%s (%s)" % (name, str(exc)[:80]))
    print("compared %d files: %d pages, %d page entries (%d values), %d Exif and GPS entries"
          % (result.files, result.pages, result.entries, result.values, result.subentries))
    for r in refused:
        print("  tifffile did not read", r)
    for p in result.problems:
        print("DIFFERS", p)
    sys.exit(1 if result.problems or result.files == 0 else 0)


if __name__ == "__main__":
    main()
