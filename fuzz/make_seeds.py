#!/usr/bin/env python3
"""Writes the hand-made seed inputs of fuzz/corpus/. The real documents
(fresh.plist, scanned.plist, larger.plist) come from the vantrell command on a
scratch root; this script adds the edge cases and packs documents into the
document target's input form:
  byte 0 odd (1 = plain load, 3 = start-up), byte 1 = number of call bytes at
  the end, then the document, then the call bytes."""
import os
import sys

here = os.path.dirname(os.path.abspath(__file__))
corpus = os.path.join(here, "corpus")

HEADER = ('<?xml version="1.0" encoding="UTF-8"?>\n'
          '<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" '
          '"http://www.apple.com/DTDs/PropertyList-1.0.dtd">\n')


def plist(body, header=HEADER):
    return (header + '<plist version="1.0">\n' + body + '\n</plist>\n').encode()


READER = {
    "types.plist": plist("<dict><key>s</key><string>a &amp; b &lt;c&gt; &#x41;&#66;</string>"
                         "<key>i</key><integer>-9223372036854775808</integer>"
                         "<key>u</key><integer>18446744073709551615</integer>"
                         "<key>r</key><real>-1.5e300</real><key>t</key><true/><key>f</key><false/>"
                         "<key>d</key><date>2001-01-01T00:00:00Z</date>"
                         "<key>b</key><data>AAEC/w==</data><key>a</key><array/>"
                         "<key>e</key><dict/></dict>"),
    "internal-subset.plist": ('<?xml version="1.0"?>\n<!DOCTYPE plist [ <!ENTITY x "boom"> ]>\n'
                              '<plist version="1.0"><string>&x;</string></plist>').encode(),
    "undefined-entity.plist": plist("<string>&nope;</string>"),
    "external-entity.plist": ('<?xml version="1.0"?>\n<!DOCTYPE plist SYSTEM "file:///etc/passwd">\n'
                              '<plist><string>&ext;</string></plist>').encode(),
    "deep.plist": plist("<array>" * 2000 + "</array>" * 2000),
    "bad-date.plist": plist("<array><date>2001-02-30T00:00:00Z</date></array>"),
    "year-zero.plist": plist("<array><date>0000-01-01T00:00:00Z</date>"
                             "<date>9999-12-31T23:59:59Z</date></array>"),
    "bad-base64.plist": plist("<data>AB=C\n D*E</data>"),
    "bad-integer.plist": plist("<integer>12x</integer>"),
    "latin1.plist": plist("<string>\xe9t\xe9</string>", '<?xml version="1.0" encoding="ISO-8859-1"?>\n')
                    .replace("\xe9".encode(), b"\xe9"),
    "utf16.plist": "\ufeff".encode("utf-16-le") + plist("<string>\u00fcber \U0001F600</string>")
                   .decode().replace('UTF-8', 'UTF-16').encode("utf-16-le"),
    "truncated.plist": plist("<dict><key>a</key><array><string>x</string>")[:-30],
    "cdata-comment.plist": plist("<!-- c --><?pi x?><string><![CDATA[<not a tag>]]></string>"),
    "duplicate-key.plist": plist("<dict><key>a</key><string>1</string><key>a</key><string>2</string></dict>"),
    "control-ref.plist": plist("<string>&#1;&#xFFFE;</string>"),
    "empty": b"",
}


def document_input(document, calls=b"", start_up=False):
    assert len(calls) < 256
    return bytes([3 if start_up else 1, len(calls)]) + document + calls


def main():
    documents = {}
    for name in ("fresh.plist", "scanned.plist", "larger.plist"):
        with open(os.path.join(corpus, "fuzz_plist_reader", name), "rb") as f:
            documents[name] = f.read()
    for name, data in READER.items():
        with open(os.path.join(corpus, "fuzz_plist_reader", name), "wb") as f:
            f.write(data)

    ops = os.path.join(corpus, "fuzz_document_ops")
    seeds = {
        # generated documents (byte 0 even) with call sequences
        "generated-fresh": bytes([0]) + bytes([0, 0, 0, 5, 5, 8, 0, 14]),
        "generated-small-calls": bytes([2]) + bytes(range(0, 15)) * 4,
        "generated-larger-remove": bytes([4]) + bytes([7, 3, 7, 200, 14, 8, 1, 11, 0, 12, 1, 14]),
        "fuzzed-fresh": document_input(documents["fresh.plist"], bytes([0, 1, 2, 14])),
        "fuzzed-scanned": document_input(documents["scanned.plist"], bytes([7, 5, 8, 9, 14])),
        "fuzzed-scanned-startup": document_input(documents["scanned.plist"], bytes([1, 2, 3]), True),
        "fuzzed-old-version": document_input(
            documents["fresh.plist"].replace(b"<string>0.5.4</string>", b"<string>0.4</string>"),
            bytes([14]), True),
        "fuzzed-dangling": document_input(
            documents["scanned.plist"].replace(b"<key>Children</key>", b"<key>Children</key>", 1)
            .replace(b"<array>", b"<array><string>dangling</string>", 1), bytes([7, 0, 14])),
        "fuzzed-unreadable": document_input(b"<plist><dict>", bytes([0, 14]), True),
    }
    for name, data in seeds.items():
        with open(os.path.join(ops, name), "wb") as f:
            f.write(data)

    alias = os.path.join(corpus, "fuzz_alias_descriptors")
    seeds = {
        "resolve-empty": bytes([0]),
        "resolve-header": bytes([0]) + b"VTAL\x00\x01\x00\x00\x00\x00\x00\x22" + bytes(20) + b"\x00\x00\x00\x01/\x00",
        "built-item": bytes([1, 0x81]),
        "built-folder-identity": bytes([1, 0x83]),
        "built-path": bytes([1, 0x00]) + b"/etc/../tmp//./x",
        "coerce-utf8-unicode": bytes([2, 1 | (2 << 3)]) + "a\u00fc\U0001F600".encode(),
        "coerce-utf8-url": bytes([2, 1 | (6 << 3)]) + b"file:///tmp/",
        "coerce-fsref-alias": bytes([2, 0x80 | 4 | (5 << 3), 1]),
        "coerce-fsref-garbage": bytes([2, 4 | (5 << 3)]) + bytes(80),
        "coerce-in-place": bytes([2, 0x40 | 1 | (2 << 3)]) + b"abc",
        "build-utf8": bytes([3, 0]) + "Folder/Script.scpt".encode(),
        "build-utf16": bytes([3, 1]) + "x\u00e9".encode("utf-16-le"),
        "build-url-string": bytes([3, 2]) + b"file:///tmp/a%20b/",
        "build-nul": bytes([3, 0]) + b"a\x00b",
    }
    for name, data in seeds.items():
        with open(os.path.join(alias, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    sys.exit(main())
