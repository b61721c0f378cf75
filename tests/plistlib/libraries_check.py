#!/usr/bin/env python3
"""Reads a module document saved after library registrations with Python's
plistlib and checks the layout of every library record, property set, file
entry and map entry.

usage: libraries_check.py DOCUMENT LIBRARY_ID=TITLE...

Each LIBRARY_ID=TITLE names a library that must be registered with that
title. Prints "N passed, M failed"; exit status 1 when a check failed.
"""

import hashlib
import plistlib
import sys

ROOT_IDS = {
    "info.module.root.id.user",
    "info.module.root.id.local",
    "info.module.root.id.network",
    "info.module.root.id.external",
}
TOP_LEVEL = {
    "Extensions": dict, "Files": dict, "Libraries": dict, "Map": dict, "Properties": dict,
    "SearchConfigurations": dict, "DisabledFolderSubstrings": list,
    "SearchConfigurationLastSelected": str, "ModuleDocumentVersion": str,
}
RECORD_KEYS = {"Kind", "ParentID", "Flags", "Files", "Children", "URLMapID", "PropertyID",
               "BaseURIString"}
FOLDER_INFO_KEYS = {"Kind", "Owners", "kCFURLFileDirectoryContents", "POSIXPath", "HFSPath",
                    "BookmarkData"}


def md5(text):
    return hashlib.md5(text.encode("utf-8")).hexdigest()


def check_top_level(document, expected):
    for key, kind in TOP_LEVEL.items():
        assert isinstance(document.get(key), kind), "top-level %s: %r" % (key, document.get(key))
    assert document["ModuleDocumentVersion"] == "0.5.4"


def check_records(document, expected):
    libraries = document["Libraries"]
    assert set(expected) <= set(libraries), sorted(set(expected) - set(libraries))
    for library_id, record in libraries.items():
        assert isinstance(record, dict), library_id
        assert set(record) <= RECORD_KEYS, (library_id, sorted(set(record) - RECORD_KEYS))
        assert record["Kind"] == "Library", library_id
        assert isinstance(record["ParentID"], str), library_id
        assert isinstance(record["Flags"], int) and not isinstance(record["Flags"], bool)
        for key in ("Files", "Children"):
            values = record[key]
            assert isinstance(values, list) and all(isinstance(v, str) for v in values), key
            assert len(values) == len(set(values)), (library_id, key, values)
        assert record["PropertyID"] == md5(library_id), library_id


def check_property_sets(document, expected):
    properties = document["Properties"]
    for library_id, record in document["Libraries"].items():
        entry = properties.get(record["PropertyID"])
        assert isinstance(entry, dict), ("no property set", library_id)
        assert entry.get("Kind") == "Properties", library_id
        assert isinstance(entry.get("Title"), str), library_id
        if library_id in expected:
            assert entry["Title"] == expected[library_id], (library_id, entry["Title"])


def check_tree(document, expected):
    libraries = document["Libraries"]
    for library_id, record in libraries.items():
        parent = record["ParentID"]
        if parent in ROOT_IDS:
            continue
        assert parent in libraries, (library_id, "unregistered parent", parent)
        assert library_id in libraries[parent]["Children"], (library_id, "missing under", parent)
        for child in record["Children"]:
            assert libraries.get(child, {}).get("ParentID") == library_id, (library_id, child)


def check_folder_entries(document, expected):
    files, url_map = document["Files"], document["Map"]
    folders = 0
    for library_id, record in document["Libraries"].items():
        map_id = record.get("URLMapID")
        if map_id is None:
            continue
        folders += 1
        assert map_id == md5(url_map[map_id]), (library_id, map_id)
        entry = files.get(map_id)
        assert isinstance(entry, dict), ("no folder entry", library_id)
        assert set(entry) <= FOLDER_INFO_KEYS, (library_id, sorted(set(entry)))
        assert entry["Kind"] == "FolderInfo", (library_id, entry["Kind"])
        assert library_id in entry["Owners"], (library_id, entry["Owners"])
        for child in record["Children"]:
            child_map_id = document["Libraries"][child].get("URLMapID")
            if child_map_id is None:
                continue
            name = url_map[child_map_id][len(url_map[map_id]):]
            assert name in entry.get("kCFURLFileDirectoryContents", []), (library_id, name)
    assert folders > 0, "no library has a folder"


def check_file_entries(document, expected):
    files, url_map = document["Files"], document["Map"]
    registered = 0
    for library_id, record in document["Libraries"].items():
        for file_id in record["Files"]:
            registered += 1
            entry = files.get(file_id)
            assert isinstance(entry, dict), (library_id, file_id)
            assert entry["Kind"] == "FileInfo", (library_id, file_id, entry["Kind"])
            assert library_id in entry["Owners"], (library_id, file_id)
            assert file_id in url_map and file_id == md5(url_map[file_id]), file_id
    assert registered > 0, "no file registered"
    for file_id, entry in files.items():
        assert file_id in url_map, ("file entry without map entry", file_id)
        assert isinstance(entry.get("Owners"), list), file_id


def check_map(document, expected):
    for map_id, text in document["Map"].items():
        assert isinstance(text, str) and map_id == md5(text), (map_id, text)


def main(argv):
    if len(argv) < 2:
        print(__doc__)
        return 2
    with open(argv[1], "rb") as f:
        document = plistlib.load(f)
    expected = dict(arg.split("=", 1) for arg in argv[2:])
    checks = [check_top_level, check_records, check_property_sets, check_tree,
              check_folder_entries, check_file_entries, check_map]
    failed = 0
    for check in checks:
        try:
            check(document, expected)
        except (AssertionError, KeyError, TypeError) as error:
            failed += 1
            print("FAILED %s: %r" % (check.__name__, error))
    print("%d passed, %d failed" % (len(checks) - failed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
