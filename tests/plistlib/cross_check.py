#!/usr/bin/env python3
"""Cross-checks our XML property lists against Python's plistlib.

For each sample: plistlib writes it; our reader's canonical dump must match
the values plistlib reads; our writer's output must load in plistlib as the
original value; a second round trip through our writer must not change a
byte. A typical document must also come out byte-identical to plistlib's.

usage: cross_check.py PATH/TO/plist_roundtrip
"""

import datetime
import math
import os
import plistlib
import struct
import subprocess
import sys
import tempfile

EPOCH = datetime.datetime(2001, 1, 1)
INT64_MIN, INT64_MAX, UINT64_MAX = -(2**63), 2**63 - 1, 2**64 - 1


def nested(depth):
    value = []
    for _ in range(depth - 1):
        value = [value]
    return value


SAMPLES = {
    "strings": ["", "plain", "&<>\"'", "]]>", "é", "日本語", "😀 astral 𝄞", "\uff5e",
                "tab\tand\nnewline", "  spaced  ", "a" * 5000],
    "data": [bytes(range(256)), b"", b"\x00", bytes(1000), b"\xff" * 57],
    "dates": [EPOCH, datetime.datetime(1, 1, 1), datetime.datetime(9999, 12, 31, 23, 59, 59),
              datetime.datetime(1970, 1, 1), datetime.datetime(2024, 2, 29, 12, 0, 1)],
    "reals": [0.0, -0.0, 0.1, 1e300, 5e-324, -1.5, math.inf, -math.inf, math.nan,
              2.0**53, 1 / 3, 123456789.125],
    "integers": [INT64_MIN, -1, 0, 1, INT64_MAX, INT64_MAX + 1, UINT64_MAX],
    "booleans": [True, False],
    "nesting": {"a": [], "b": {}, "c": [[], [{}], {"x": []}]},
    "deep": nested(512),
    "keys": {"\uff5e": 1, "\U0001F600": 2, "a": 3, "B": 4, "": 5, "&<>": 6, "é": 7},
    "root string": "just a string",
    "root data": bytes(range(100)),
}
SAMPLES["mixed"] = {name: value for name, value in SAMPLES.items() if name != "deep"}


def module_document():
    """A document shaped like a module library: no reals, BMP-only keys."""
    doc = {"Files": {}, "Libraries": {}, "DocumentVersion": "0.5.4", "Flags": 9}
    for i in range(300):
        lib = "library.%04d" % i
        doc["Libraries"][lib] = {
            "Kind": "Library", "Title": "Bibliothèque & <%d>" % i, "Flags": i % 3,
            "Children": [], "Files": ["file.%d.%d" % (i, j) for j in range(5)],
            "Stamp": EPOCH + datetime.timedelta(seconds=i * 86399), "Enabled": i % 2 == 0,
            "Icon": bytes((i + k) % 256 for k in range(i % 90)),
        }
        for j in range(5):
            doc["Files"]["file.%d.%d" % (i, j)] = {"Kind": "FileInfo", "Owners": [lib]}
    return doc


def utf16_order(key):
    return key.encode("utf-16-be")


def dump(value, out):
    if isinstance(value, bool):
        out.append("bool true" if value else "bool false")
    elif isinstance(value, int):
        out.append("integer %d" % value)
    elif isinstance(value, float):
        out.append("real nan" if math.isnan(value) else "real " + struct.pack(">d", value).hex())
    elif isinstance(value, str):
        out.append("string " + value.encode().hex())
    elif isinstance(value, bytes):
        out.append("data " + value.hex())
    elif isinstance(value, datetime.datetime):
        seconds = (value - EPOCH).total_seconds()
        out.append("date " + struct.pack(">d", seconds).hex())
    elif isinstance(value, list):
        out.append("array %d" % len(value))
        for item in value:
            dump(item, out)
        out.append("end")
    else:
        out.append("dict %d" % len(value))
        for key in sorted(value, key=utf16_order):
            out.append("key " + key.encode().hex())
            dump(value[key], out)
        out.append("end")
    return out


def same(a, b):
    """Equality that tells bool from int, -0.0 from 0.0 and accepts NaN."""
    if type(a) is not type(b):
        return False
    if isinstance(a, float):
        return (math.isnan(a) and math.isnan(b)) or (a == b and math.copysign(1, a) == math.copysign(1, b))
    if isinstance(a, list):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, dict):
        return a.keys() == b.keys() and all(same(a[k], b[k]) for k in a)
    return a == b


def main():
    tool = sys.argv[1]
    sys.setrecursionlimit(20000)
    failures = []
    checks = 0

    def run(*args):
        return subprocess.run([tool, *args], capture_output=True, check=False)

    def check(condition, what):
        nonlocal checks
        checks += 1
        if not condition:
            failures.append(what)

    with tempfile.TemporaryDirectory() as tmp:
        for name, value in SAMPLES.items():
            a, b, c = (os.path.join(tmp, "%s.%s.plist" % (name, n)) for n in "abc")
            with open(a, "wb") as f:
                plistlib.dump(value, f, sort_keys=True)
            with open(a, "rb") as f:
                loaded = plistlib.load(f)
            ours = run("dump", a)
            check(ours.returncode == 0, "%s: dump failed: %s" % (name, ours.stderr.decode()))
            expected = "\n".join(dump(loaded, [])) + "\n"
            check(ours.stdout.decode() == expected, "%s: our reading differs from plistlib's" % name)
            first, second = run("rewrite", a, b), run("rewrite", b, c)
            check(first.returncode == 0 and second.returncode == 0,
                  "%s: rewrite failed: %s" % (name, (first.stderr + second.stderr).decode()))
            with open(b, "rb") as f:
                check(same(plistlib.load(f), value), "%s: plistlib reads our output differently" % name)
            with open(b, "rb") as f, open(c, "rb") as g:
                check(f.read() == g.read(), "%s: second round trip changed the bytes" % name)

        doc = os.path.join(tmp, "module.plist")
        copy = os.path.join(tmp, "module.copy.plist")
        with open(doc, "wb") as f:
            plistlib.dump(module_document(), f)
        check(run("rewrite", doc, copy).returncode == 0, "module: rewrite failed")
        with open(doc, "rb") as f, open(copy, "rb") as g:
            check(f.read() == g.read(), "module: our bytes differ from plistlib's")

    for failure in failures:
        print("FAIL", failure)
    print("%d passed, %d failed" % (checks - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
