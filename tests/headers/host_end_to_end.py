#!/usr/bin/env python3
"""Runs the C host session (host_end_to_end.c) in a scratch folder and reads
the document it saved with plistlib: the removed library, its children, its
files and its folder are gone, and nothing points at them.

usage: host_end_to_end.py HOST_EXECUTABLE
"""

import plistlib
import subprocess
import sys
import tempfile


def main():
    host = sys.argv[1]
    failures = []

    def check(condition, what):
        if not condition:
            failures.append(what)

    with tempfile.TemporaryDirectory() as folder:
        run = subprocess.run([host, folder], capture_output=True, text=True, timeout=120)
        sys.stderr.write(run.stderr)
        check(run.returncode == 0, "the host session failed")
        removed = run.stdout.strip()
        check(len(removed) == 32, "the host printed no library ID: %r" % run.stdout)
        with open(folder + "/info.library.module.mlix", "rb") as file:
            document = plistlib.load(file)

    libraries = document["Libraries"]
    check(set(libraries) == {"info.module.library.id.user", "info.module.library.id.local",
                             "info.module.library.id.network"},
          "libraries left: %s" % sorted(libraries))
    check(libraries["info.module.library.id.user"]["Children"] == [],
          "the user library still lists children")
    for file_id, entry in document["Files"].items():
        owners = entry.get("Owners", [])
        check(removed not in owners, "file %s still owned by the removed library" % file_id)
        check(not any(o.startswith("info.module.library.id.auto.") for o in owners),
              "file %s still owned by a removed child" % file_id)
        check(file_id in document["Map"], "file %s has no map entry" % file_id)
    # The removed libraries' folders go with their last owner; the scripts'
    # entries stay, owned by nobody, as unregistering a file leaves them.
    check(not any("/Tools" in text and text.endswith("/") for text in document["Map"].values()),
          "the map still holds a removed library's folder")
    check(sum("/Tools/" in text for text in document["Map"].values()) == 3,
          "the scripts' map entries are not the three registered")
    property_ids = {record.get("PropertyID") for record in libraries.values()}
    check(set(document["Properties"]) <= property_ids, "property sets of removed libraries remain")

    for failure in failures:
        print("failed:", failure)
    print("%d passed, %d failed" % (1 if not failures else 0, 1 if failures else 0))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
