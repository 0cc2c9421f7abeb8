#!/usr/bin/env python3
"""Compares `velquin --check` with checkit_tiff and libtiff's tiffinfo.

    bench/check_compare.py [--velquin build/src/velquin] [--corpus ../shared/corpus]
                           [--profile CFG] [--markdown]

Runs the three tools over every file of the corpus and over checkit_tiff's
own example files (Debian's checkit-tiff puts them in /usr/share/checkit_tiff),
sorts what each tool says into the same classes of problem, and prints per
class how many files each tool flags and on how many two tools agree.

checkit_tiff checks against a profile; the default is its TIFF 6.0 baseline
profile. Its policy rules (tags not on the profile's list, value ranges, one
page only) and libtiff's notes on tags it does not know are counted apart, as
they are no fault of the file's structure. Needs checkit-tiff and
libtiff-tools; a tool that is missing is left out of the table.
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
from collections import defaultdict

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
CHECKIT_FILES = "/usr/share/checkit_tiff"
DEFAULT_PROFILE = "/usr/share/checkit_tiff/example_configs/cit_tiff6_baseline_SLUB.cfg"

# Velquin's identifiers by class; every identifier belongs to one class.
VELQUIN = {
    "not TIFF or unreadable": ["not-tiff", "not-read"],
    "no page": ["no-pages"],
    "directory at an odd offset": ["directory-offset-odd"],
    "directory past the end or cut": ["directory-past-end", "directory-cut"],
    "next-directory offset cut": ["next-offset-cut"],
    "directory loop": ["directory-loop"],
    "directory reached twice": ["directory-shared"],
    "empty directory": ["entry-count-zero"],
    "overlapping or shared bytes": ["overlap", "shared-bytes"],
    "value or data past the end": ["value-past-end", "data-past-end"],
    "value at an odd offset": ["value-offset-odd"],
    "field type": ["unknown-type", "wrong-type", "other-type"],
    "entries out of order or repeated": ["entry-order", "duplicate-tag"],
    "text NUL": ["ascii-no-nul", "ascii-inner-nul"],
    "date form": ["datetime-format"],
    "count of a tag": ["count-wrong", "samples-count"],
    "strips or tiles against the image": ["strip-count", "tile-count", "data-short"],
    "zero denominator": ["rational-zero"],
    "required field missing": ["missing-field"],
    "resolution missing": ["missing-resolution"],
    "checks cut short": ["checks-limited"],
}
CLASS_OF_ID = {i: c for c, ids in VELQUIN.items() for i in ids}

# What the other tools print, by class. The first pattern that matches wins.
CHECKIT = [
    (r"not a MAGIC BYTE", "not TIFF or unreadable"),
    (r"pointer to IFD0 is 0\b", "no page"),
    (r"pointer to IFD", "overlapping or shared bytes"),  # a first directory inside the header
    (r"reading ifd\d* count", "directory past the end or cut"),
    (r"Couldn't (read from|jump to) TIFF data position", "value or data past the end"),
    (r"whitelisted|just one IFD|ICC profile|logical_or|Unexpected tag value\.|value in a range of Unexpected tag value"
     r"|list of values Unexpected tag value|DateTime value not plausible", "policy of the profile"),
    (r"All IFDs should be word aligned", "directory at an odd offset"),
    (r"sorted in ascending order", "entries out of order or repeated"),
    (r"offsets may only be used once", "overlapping or shared bytes"),
    (r"offset zero is used", "offset 0"),
    (r"tag offsets should be word aligned", "value at an odd offset"),
    (r"exceeds .*size", "value or data past the end"),
    (r"NULL-Byte", "text NUL"),
    (r"DateTime", "date form"),
    (r"Denominator .* zero", "zero denominator"),
    (r"tag \d+ \((XResolution|YResolution|ResolutionUnit)\).*Tag expected", "resolution missing"),
    (r"Tag expected", "required field missing"),
    (r"Unexpected tag type", "field type"),
    (r"list of values found|unexpected tag value count", "count of a tag"),
    (r"RegEx", "policy of the profile"),
]
TIFFINFO = [
    (r"Not a TIFF|Cannot read TIFF header|Cannot open", "not TIFF or unreadable"),
    (r"Unknown field with tag|TIFF_SETGET_UNDEFINED", "tags libtiff does not know"),
    (r"IFD loop", "directory loop"),
    (r"missing required", "required field missing"),
    (r"directory count|Can not read TIFF directory|Failed to read (custom )?directory|zero tag directories",
     "directory past the end or cut"),
    (r"not sorted in ascending order", "entries out of order or repeated"),
    (r"IO error during reading|Sanity check on size", "value or data past the end"),
    (r"null byte", "text NUL"),
    (r"Wrong data type|Incompatible type|Invalid data type", "field type"),
    (r"Bogus|Wrong \"[^\"]*\" field, ignoring|TIFFFetchStripThing", "strips or tiles against the image"),
    (r"(?i)incorrect count|different values per sample|Null count", "count of a tag"),
    (r"Nonstandard tile width", "tile size"),
    (r"zero (scanline|strip) size|zero number of (strips|tiles)", "image of no size"),
    (r"MissingRequired", "required field missing"),
]


def classify(line, table):
    for pattern, cls in table:
        if re.search(pattern, line):
            return cls
    return "other"


def run(argv, timeout=30):
    try:
        p = subprocess.run(argv, capture_output=True, timeout=timeout)
        return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        return None, "", "timeout"


def velquin_classes(velquin, path):
    code, out, _ = run([velquin, "--check", path, "--json"])
    classes = set()
    for line in out.splitlines():
        obj = json.loads(line)
        if obj["status"] != "checked":
            classes.add("not TIFF or unreadable")
        for p in obj.get("problems", []):
            classes.add(CLASS_OF_ID[p["identifier"]])
        for ident in obj.get("unlisted", {}):
            classes.add(CLASS_OF_ID[ident])
    if code is None:
        classes.add("timeout")
    return classes


def checkit_classes(profile, path):
    code, out, err = run(["checkit_tiff", "-q", profile, path])
    classes = set()
    for line in (out + err).splitlines():
        # (EE) a rule broken, (HE) the file's structure (checkit_tiff stops at the header's)
        if not line.startswith(("(EE)", "(HE)")) or "Found" in line or "is not valid" in line:
            continue
        classes.add(classify(line.split("found:")[0], CHECKIT))
    if code is None:
        classes.add("timeout")
    return classes


def tiffinfo_classes(path):
    code, _, err = run(["tiffinfo", path])
    classes = {classify(line, TIFFINFO) for line in err.splitlines() if line.strip()}
    if code is None:
        classes.add("timeout")
    return classes


def files_under(root):
    for folder, _, names in os.walk(root):
        for name in sorted(names):
            if name != "README.md":
                yield os.path.join(folder, name)


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--velquin", default=os.path.join(REPO, "build", "src", "velquin"))
    ap.add_argument("--corpus", default=os.path.normpath(os.path.join(REPO, "..", "shared", "corpus")))
    ap.add_argument("--profile", default=DEFAULT_PROFILE)
    ap.add_argument("--markdown", action="store_true", help="print the table as Markdown")
    args = ap.parse_args()

    tools = {"velquin": lambda f: velquin_classes(args.velquin, f)}
    if shutil.which("checkit_tiff") and os.path.exists(args.profile):
        tools["checkit_tiff"] = lambda f: checkit_classes(args.profile, f)
    if shutil.which("tiffinfo"):
        tools["tiffinfo"] = tiffinfo_classes

    files = list(files_under(args.corpus))
    if os.path.isdir(CHECKIT_FILES):
        files += [f for f in files_under(CHECKIT_FILES) if re.search(r"\.tiff?$", f)]
    flagged = defaultdict(lambda: defaultdict(set))  # class -> tool -> files
    for n, path in enumerate(files, 1):
        for tool, classes_of in tools.items():
            for cls in classes_of(path):
                flagged[cls][tool].add(path)
    print(file=sys.stderr)

    names = list(tools)
    pairs = [(a, b) for i, a in enumerate(names) for b in names[i + 1:]]
    head = ["class"] + names + [f"{a} & {b}" for a, b in pairs]
    order = list(VELQUIN) + sorted(c for c in flagged if c not in VELQUIN)
    rows = []
    for cls in order:
        by = flagged.get(cls, {})
        if not any(by.values()):
            continue
        rows.append([cls] + [str(len(by.get(t, ()))) for t in names] +
                    [str(len(by.get(a, set()) & by.get(b, set()))) for a, b in pairs])
    print(f"{len(files)} files; numbers are files flagged")
    if args.markdown:
        print("| " + " | ".join(head) + " |")
        print("|" + "---|" * len(head))
        for r in rows:
            print("| " + " | ".join(r) + " |")
    else:
        widths = [max(len(r[i]) for r in rows + [head]) for i in range(len(head))]
        for r in [head] + rows:
            print("  ".join(c.ljust(w) for c, w in zip(r, widths)))


if __name__ == "__main__":
    main()
