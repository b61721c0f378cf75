#!/usr/bin/env python3
"""Checks module documents against Python's plistlib.

A new document saved by the framework reads in plistlib with exactly the
nine top-level keys and their initial values. A document that plistlib wrote,
with keys of the host's own and every value type, loads and saves back equal.

usage: document_check.py PATH/TO/document_roundtrip
"""

import datetime
import os
import plistlib
import subprocess
import sys
import tempfile

DRIVER = sys.argv[1]
NAME = "info.library.module.mlix"

NEW_DOCUMENT = {
    "Extensions": {},
    "Files": {},
    "Libraries": {},
    "Map": {},
    "Properties": {},
    "SearchConfigurations": {},
    "DisabledFolderSubstrings": ["(Disabled)"],
    "SearchConfigurationLastSelected": "info.module.search.configuration.id.user",
    "ModuleDocumentVersion": "0.5.4",
}

HOST_DOCUMENT = dict(NEW_DOCUMENT, **{
    "Libraries": {
        "info.module.library.id.user": {
            "Title": "User \u00e9\u65e5\U0001F600 & <friends>",
            "Files": ["d850829a683b6e64faf35df9dbbe3c93", "f1b127e31a0063f3cdbee7dbedc9d7de"],
            "Enabled": True,
            "Hidden": False,
            "Order": -42,
            "Large": 2**63 - 1,
            "Small": -(2**63),
            "Weight": 2.5,
            "Created": datetime.datetime(2024, 2, 29, 12, 0, 1),
            "Alias": bytes(range(256)),
            "Nested": {"empty array": [], "empty dict": {}, "empty string": "",
                       "deep": [[[{"x": [1, 2.0, "three"]}]]]},
        },
    },
    "Map": {"f1b127e31a0063f3cdbee7dbedc9d7de": "file:///tmp/a%20b"},
    "HostExtra": {"Note": "line one\nline two\ttabbed", "Empty": b""},
    "ModuleDocumentVersion": "0.5.3",
})


def run_driver(folder, mode):
    result = subprocess.run([DRIVER, mode], cwd=folder, capture_output=True, timeout=120)
    assert result.returncode == 0, (mode, result.returncode, result.stderr.decode())


def read_document(folder):
    with open(os.path.join(folder, NAME), "rb") as f:
        return plistlib.load(f)


def check_new_document(folder):
    run_driver(folder, "create")
    document = read_document(folder)
    assert list(sorted(document)) == sorted(NEW_DOCUMENT), sorted(document)
    assert document == NEW_DOCUMENT, document


def check_host_document_round_trips(folder):
    with open(os.path.join(folder, NAME), "wb") as f:
        plistlib.dump(HOST_DOCUMENT, f)
    run_driver(folder, "load")
    document = read_document(folder)
    assert document == HOST_DOCUMENT, document
    # A second round trip through our own output is a fixed point.
    with open(os.path.join(folder, NAME), "rb") as f:
        first = f.read()
    run_driver(folder, "load")
    with open(os.path.join(folder, NAME), "rb") as f:
        assert f.read() == first


def main():
    failed = 0
    checks = [check_new_document, check_host_document_round_trips]
    for check in checks:
        with tempfile.TemporaryDirectory() as folder:
            try:
                check(folder)
            except AssertionError as error:
                failed += 1
                print("FAILED %s: %s" % (check.__name__, error))
    print("%d passed, %d failed" % (len(checks) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
