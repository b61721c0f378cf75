#!/usr/bin/env python3
"""Runs the built vantrell command on temporary files and checks its output
and exit codes. Usage: test_vantrell.py PATH-TO-VANTRELL"""

import os
import plistlib
import pwd
import re
import stat
import subprocess
import sys
import tempfile
import threading
import traceback
import urllib.parse

TOOL = sys.argv[1] if len(sys.argv) > 1 else "vantrell"

# Unsorted keys, space indentation and entities, so format has work to do.
VALID = b"""<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
  <key>Title</key>
  <string>Caf\xc3\xa9 &amp; &lt;friends&gt;</string>
  <key>Count</key> <integer>-42</integer>
  <key>Ratio</key> <real>2.5</real>
  <key>Enabled</key> <true/>
  <key>Created</key> <date>2001-01-01T00:00:00Z</date>
  <key>Blob</key> <data>AAEC/w==</data>
  <key>Children</key>
  <array><string>b</string><dict/><array/><false/></array>
</dict>
</plist>
"""

# The end tag on line 5 does not match.
INVALID = b"""<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">
<dict>
\t<key>a</key>
\t<string>x</strin>
</dict>
</plist>
"""


def run(*args, stdin=b""):
    result = subprocess.run([TOOL, *args], input=stdin, capture_output=True, timeout=120)
    stderr = result.stderr.decode("utf-8", "replace")
    assert "Sanitizer" not in stderr, stderr
    return result.returncode, result.stdout.decode("utf-8", "replace"), stderr


def write(folder, name, data):
    path = os.path.join(folder, name)
    with open(path, "wb") as f:
        f.write(data)
    return path


def read(path):
    with open(path, "rb") as f:
        return f.read()


def test_check_reports_bad_files_with_their_position(tmp):
    good = write(tmp, "good.plist", VALID)
    bad = write(tmp, "bad.plist", INVALID)
    missing = os.path.join(tmp, "missing.plist")

    assert run("plist", "check", good) == (0, "", "")
    assert run("plist", "check", "-", stdin=VALID) == (0, "", "")

    code, out, err = run("plist", "check", good, bad, good)
    assert code == 1 and out == ""
    lines = err.splitlines()
    assert len(lines) == 1, err
    match = re.fullmatch(re.escape(bad) + r":(\d+):(\d+): (.+)", lines[0])
    assert match, err
    assert int(match.group(1)) == 5 and int(match.group(2)) >= 1, err

    code, _, err = run("plist", "check", missing)
    assert code == 1 and re.fullmatch(re.escape(missing) + r": \S.*\n", err), err

    code, _, err = run("plist", "check", "-", stdin=INVALID)
    assert code == 1 and err.startswith("<stdin>:5:"), err

    # After "--" a name that starts with "-" is a file, not an option.
    dashed = write(tmp, "-dashed.plist", VALID)
    os.chdir(tmp)
    assert run("plist", "check", "--", os.path.basename(dashed)) == (0, "", "")


def test_format_round_trips_to_a_file_and_to_stdout(tmp):
    source = write(tmp, "in.plist", VALID)
    target = os.path.join(tmp, "out.plist")

    assert run("plist", "format", source, target) == (0, "", "")
    formatted = read(target)
    assert formatted.startswith(b'<?xml version="1.0" encoding="UTF-8"?>\n'), formatted
    assert b"\n\t<key>Blob</key>\n" in formatted, formatted
    value = plistlib.loads(formatted)
    assert value == plistlib.loads(VALID)
    assert list(value) == sorted(value), "keys are not sorted"

    # Our own output is a fixed point, whichever way it is written.
    assert run("plist", "format", target) == (0, formatted.decode(), "")
    assert run("plist", "format", target, "-") == (0, formatted.decode(), "")
    assert run("plist", "format", "-", stdin=VALID) == (0, formatted.decode(), "")

    # In place: IN is read whole before OUT is replaced.
    in_place = write(tmp, "in-place.plist", VALID)
    assert run("plist", "format", in_place, in_place) == (0, "", "")
    assert read(in_place) == formatted

    leftovers = [n for n in os.listdir(tmp) if n.endswith(".tmp")]
    assert leftovers == [], leftovers


def test_format_never_clobbers_out_on_failure(tmp):
    bad = write(tmp, "bad.plist", INVALID)
    good = write(tmp, "good.plist", VALID)
    target = write(tmp, "out.plist", b"keep me")
    os.chmod(target, 0o640)

    code, out, err = run("plist", "format", bad, target)
    assert code == 1 and out == "" and err.startswith(bad + ":5:"), err
    assert read(target) == b"keep me"

    code, _, err = run("plist", "format", os.path.join(tmp, "missing.plist"), target)
    assert code == 1 and read(target) == b"keep me", err

    code, _, err = run("plist", "format", good, os.path.join(tmp, "no-such-folder", "out.plist"))
    assert code == 1 and "no-such-folder" in err, err

    # A successful replace keeps OUT's permissions.
    assert run("plist", "format", good, target)[0] == 0
    assert os.stat(target).st_mode & 0o777 == 0o640
    assert sorted(os.listdir(tmp)) == ["bad.plist", "good.plist", "out.plist"]

    # A write error on standard output is a failure, not a silent truncation.
    if os.path.exists("/dev/full"):
        with open("/dev/full", "wb") as full:
            result = subprocess.run([TOOL, "plist", "format", good], stdout=full,
                                    stderr=subprocess.PIPE, timeout=120)
        assert result.returncode == 1 and b"cannot write" in result.stderr, result.stderr


def test_format_writes_through_links_and_into_special_files(tmp):
    good = write(tmp, "good.plist", VALID)
    formatted = run("plist", "format", good)[1].encode()

    # A link stays a link and its target is written, even one not there yet.
    target = write(tmp, "target.plist", b"old")
    os.symlink("target.plist", os.path.join(tmp, "link.plist"))
    os.makedirs(os.path.join(tmp, "sub"))
    os.symlink("../made.plist", os.path.join(tmp, "sub", "dangling.plist"))
    for link, written in [("link.plist", target),
                          (os.path.join("sub", "dangling.plist"), os.path.join(tmp, "made.plist"))]:
        path = os.path.join(tmp, link)
        assert run("plist", "format", good, path) == (0, "", ""), link
        assert os.path.islink(path), link
        assert read(written) == formatted, link

    # A named pipe is written into, not replaced by a file.
    fifo = os.path.join(tmp, "pipe")
    os.mkfifo(fifo)
    received = []
    reader = threading.Thread(target=lambda: received.append(read(fifo)), daemon=True)
    reader.start()
    code = run("plist", "format", good, fifo)
    reader.join(timeout=60)
    assert code == (0, "", "") and received == [formatted], (code, received)
    assert stat.S_ISFIFO(os.lstat(fifo).st_mode)

    # Devices too: a full one fails the command and stays a device.
    if os.geteuid() == 0:
        null = os.path.join(tmp, "null")
        full = os.path.join(tmp, "full")
        os.mknod(null, 0o666 | stat.S_IFCHR, os.makedev(1, 3))
        os.mknod(full, 0o666 | stat.S_IFCHR, os.makedev(1, 7))
        assert run("plist", "format", good, null) == (0, "", "")
        code, out, err = run("plist", "format", good, full)
        assert code == 1 and err.startswith("vantrell: cannot write " + full + ": "), err
        for device in (null, full):
            assert stat.S_ISCHR(os.lstat(device).st_mode), device

    leftovers = [n for n in os.listdir(tmp) if n.endswith(".tmp")]
    assert leftovers == [], leftovers


def test_paths_shows_each_location_and_whether_it_exists(tmp):
    home = os.path.join(tmp, "home")
    work = os.path.join(tmp, "work")
    os.makedirs(os.path.join(home, "Library", "Scripts"))
    os.makedirs(work)
    environment = dict(os.environ, HOME=home)
    result = subprocess.run([TOOL, "paths"], cwd=work, env=environment, capture_output=True,
                            timeout=120)
    out = result.stdout.decode()
    assert result.returncode == 0 and result.stderr == b"", result.stderr
    lines, states = {}, {}
    for line in out.splitlines():
        match = re.fullmatch(r"(\w+(?: \w+)?) +(/.*) \((exists|missing)\)", line)
        assert match, out
        lines[match.group(1)], states[match.group(1)] = match.group(2, 3)
    scripts = os.path.join(home, "Library", "Scripts")
    assert lines["document"] == os.path.join(work, "info.library.module.mlix"), out
    assert lines["user scripts"] == scripts and states["user scripts"] == "exists", out
    assert lines["user modules"] == os.path.join(scripts, "Modules"), out
    assert states["user modules"] == "missing" and states["document"] == "missing", out
    assert lines["network scripts"] == "/Network/Library/Scripts", out
    assert lines["network modules"] == "/Network/Library/Scripts/Modules", out
    assert list(lines) == ["document", "user scripts", "user modules", "local scripts",
                           "local modules", "network scripts", "network modules"], out

    # The document and a Modules folder that exist are reported so.
    os.makedirs(os.path.join(scripts, "Modules"))
    write(work, "info.library.module.mlix", VALID)
    out = subprocess.run([TOOL, "paths"], cwd=work, env=environment, capture_output=True,
                         timeout=120).stdout.decode()
    assert re.search(r"^document +/.* \(exists\)$", out, re.M), out
    assert re.search(r"^user modules +/.* \(exists\)$", out, re.M), out

    # A missing user Scripts folder is shown where the built-in rule expects it.
    empty = os.path.join(tmp, "empty-home")
    os.makedirs(empty)
    out = subprocess.run([TOOL, "paths"], cwd=work, env=dict(environment, HOME=empty),
                         capture_output=True, timeout=120).stdout.decode()
    expected = os.path.join(empty, "Library", "Scripts")
    assert re.search(r"^user scripts +" + re.escape(expected) + r" \(missing\)$", out, re.M), out

    # Without HOME, or with an empty one, the user's folder is in the account's
    # home folder, never the local domain's.
    account = pwd.getpwuid(os.getuid()).pw_dir
    expected = os.path.join(account, "Library", "Scripts")
    unset = {k: v for k, v in environment.items() if k != "HOME"}
    for env in (dict(environment, HOME=""), unset):
        out = subprocess.run([TOOL, "paths"], cwd=work, env=env, capture_output=True,
                             timeout=120).stdout.decode()
        assert re.search(r"^user scripts +" + re.escape(expected) + r" \((exists|missing)\)$",
                         out, re.M), out

    code, out, err = run("paths", "--help")
    assert code == 0 and out.startswith("usage: vantrell paths") and "Info.plist" in out, out
    code, _, err = run("paths", "extra")
    assert code == 2 and err.splitlines()[1].startswith("usage: vantrell paths"), err


def test_usage_errors_exit_2_with_a_usage_line(tmp):
    cases = [
        ([], "vantrell"),
        (["frobnicate"], "vantrell"),
        (["--frobnicate"], "vantrell"),
        (["plist"], "vantrell plist"),
        (["plist", "frobnicate"], "vantrell plist"),
        (["plist", "check"], "vantrell plist check"),
        (["plist", "check", "--strict", "x.plist"], "vantrell plist check"),
        (["plist", "format"], "vantrell plist format"),
        (["plist", "format", "a", "b", "c"], "vantrell plist format"),
        (["help", "frobnicate"], "vantrell help"),
    ]
    for args, path in cases:
        code, out, err = run(*args)
        assert code == 2 and out == "", (args, code, out)
        lines = err.splitlines()
        assert len(lines) == 2 and lines[0].startswith("vantrell: "), (args, err)
        assert lines[1].startswith("usage: " + path + " "), (args, err)


def test_help_and_version_exit_0_on_stdout(tmp):
    cases = [
        (["--help"], "vantrell"),
        (["-h"], "vantrell"),
        (["help"], "vantrell"),
        (["help", "plist"], "vantrell plist"),
        (["plist", "--help"], "vantrell plist"),
        (["plist", "check", "--help"], "vantrell plist check"),
        (["plist", "format", "in.plist", "--help"], "vantrell plist format"),
        (["help", "plist", "format"], "vantrell plist format"),
        (["help", "help"], "vantrell help"),
    ]
    for args, path in cases:
        code, out, err = run(*args)
        assert code == 0 and err == "", (args, code, err)
        assert out.startswith("usage: " + path + " "), (args, out)

    top = run("--help")[1]
    assert re.search(r"^  plist +\S", top, re.M) and re.search(r"^  help +\S", top, re.M), top
    group = run("plist", "--help")[1]
    assert re.search(r"^  check +\S", group, re.M) and re.search(r"^  format +\S", group, re.M)
    assert run("help", "plist", "check")[1] == run("plist", "check", "--help")[1]
    assert run("--version") == (0, "vantrell 0.5.4\n", "")



# ---- The document commands, run against a scratch root -----------------------

DOC = "info.library.module.mlix"
USER_ID = "info.module.library.id.user"
ROOT_IDS = [USER_ID, "info.module.library.id.local", "info.module.library.id.network"]


class Scratch:
    """A domain root and a working folder for the document, both under tmp."""

    def __init__(self, tmp):
        self.root = os.path.join(tmp, "root")
        self.work = os.path.join(tmp, "work")
        self.src = os.path.join(tmp, "src")
        os.makedirs(self.work)
        for folder, files in [("Text", ["Join.scpt", "Split.scpt"]), ("Dates", ["Now.scpt"]),
                              ("Caf\u00e9", ["Menu.scpt"])]:
            os.makedirs(os.path.join(self.src, folder))
            for name in files:
                write(os.path.join(self.src, folder), name, b"script")
        self.doc = os.path.join(self.work, DOC)

    def run(self, *args):
        return run("--root", self.root, "-C", self.work, *args)

    def ok(self, *args):
        code, out, err = self.run(*args)
        assert code == 0, (args, code, out, err)
        return out

    def load(self):
        with open(self.doc, "rb") as f:
            return plistlib.load(f)

    def save(self, document):
        with open(self.doc, "wb") as f:
            plistlib.dump(document, f)

    def title_of(self, document, library_id):
        record = document["Libraries"][library_id]
        return document["Properties"].get(record.get("PropertyID"), {}).get("Title")

    def id_of(self, document, title):
        found = [i for i in document["Libraries"] if self.title_of(document, i) == title]
        assert len(found) == 1, (title, found)
        return found[0]

    def populated(self):
        """init, then Sources on src with its subfolders scanned."""
        self.ok("init")
        self.ok("add", self.src, "--title", "Sources")
        self.ok("scan", "Sources")
        return self.load()


def test_document_commands_need_a_current_document(tmp):
    s = Scratch(tmp)
    commands = [["libraries"], ["add", s.src], ["scan", "x"], ["find", "x"], ["show", "x"],
                ["remove", "x"], ["register", "x", "y"], ["unregister", "x", "y"],
                ["configs"], ["check"], ["check", "--repair"]]
    for args in commands:
        code, out, err = s.run(*args)
        assert code == 1 and out == "", (args, code, out)
        assert len(err.splitlines()) == 1 and s.doc in err and "vantrell init" in err, (args, err)
        assert os.listdir(s.work) == [], (args, os.listdir(s.work))

    s.save({"ModuleDocumentVersion": "0.4", "Libraries": {}})
    before = read(s.doc)
    for args in commands:
        code, _, err = s.run(*args)
        assert code == 1 and "0.4" in err and "vantrell init" in err, (args, err)
    assert read(s.doc) == before and os.listdir(s.work) == [DOC]


def test_init_builds_the_document_once_and_keeps_an_unreadable_one(tmp):
    s = Scratch(tmp)
    out = s.ok("init")
    for domain in ("user", "local", "network"):
        scripts = os.path.join(s.root, domain, "Library", "Scripts")
        assert "created folder " + scripts + "\n" in out, out
        assert "created folder " + os.path.join(scripts, "Modules") + "\n" in out, out
        assert os.path.isdir(os.path.join(scripts, "Modules"))
    assert "created document " + s.doc in out, out
    document = s.load()
    assert document["ModuleDocumentVersion"] == "0.5.4"
    assert set(ROOT_IDS) <= set(document["Libraries"])

    before = read(s.doc)
    assert s.ok("init") == "document %s is current\n" % s.doc
    assert read(s.doc) == before

    write(s.work, DOC, b"<plist><dict><key>broken")
    out = s.ok("init")
    kept = [n for n in os.listdir(s.work) if n.startswith(DOC + ".unreadable-")]
    assert len(kept) == 1 and "kept the former document as " + os.path.join(s.work, kept[0]) in out
    assert read(os.path.join(s.work, kept[0])) == b"<plist><dict><key>broken"
    assert s.load()["ModuleDocumentVersion"] == "0.5.4"

    # Another version is kept aside and carried forward; the other commands
    # then take it.
    s.save({"ModuleDocumentVersion": "0.4", "Libraries": {}})
    out = s.ok("init")
    assert "kept the former document as %s.version-0.4\n" % s.doc in out, out
    assert "carried document %s forward to version 0.5.4\n" % s.doc in out, out
    assert set(ROOT_IDS) <= set(s.load()["Libraries"])
    assert s.load()["ModuleDocumentVersion"] == "0.5.4"
    assert s.ok("libraries").count("\n") == 3
    assert s.ok("init") == "document %s is current\n" % s.doc


def test_init_installs_the_example_on_request(tmp):
    s = Scratch(tmp)
    out = s.ok("init", "--examples")
    example = os.path.join(s.root, "user", "Library", "Scripts", "Modules",
                           "SE_ListDesktopFolder.scpt")
    assert "installed %s\n" % example in out and os.path.isfile(example), out


def test_add_scan_list_and_find_libraries(tmp):
    s = Scratch(tmp)
    s.ok("init")
    out = s.ok("add", s.src, "--title", "Sources")
    document = s.load()
    sources = s.id_of(document, "Sources")
    assert out.startswith("added " + sources + ' "Sources" for ' + s.src), out
    assert sources in document["Libraries"][USER_ID]["Children"]
    map_id = document["Libraries"][sources]["URLMapID"]
    assert document["Map"][map_id].rstrip("/").endswith("/src")

    code, _, err = s.run("add", os.path.join(tmp, "nowhere"))
    assert code == 1 and "nowhere" in err and len(err.splitlines()) == 1, err
    code, _, err = s.run("add", s.src, "--parent", "NoSuchLibrary")
    assert code == 1 and "NoSuchLibrary" in err, err
    assert s.load() == document  # failures write nothing

    out = s.ok("scan", "Sources", "--recursive")
    assert out == "registered 3 libraries\n", out
    document = s.load()
    text = s.id_of(document, "Text")
    assert len(document["Libraries"][text]["Files"]) == 2
    assert s.ok("scan", "Sources") == "registered 0 libraries\n"

    tree = s.ok("libraries", "--tree").splitlines()
    assert tree[0] == "UserLibrary (%s)" % USER_ID, tree
    assert tree[1] == "`-- Sources (%s)" % sources, tree
    assert "    `-- Text (%s) 2 files" % text in tree or "    |-- Text (%s) 2 files" % text in tree
    assert len(tree) == 7, tree
    assert tree[-2:] == ["LocalLibrary (info.module.library.id.local)",
                         "NetworkLibrary (info.module.library.id.network)"], tree

    import json
    listed = json.loads(s.ok("--json", "libraries"))
    assert {row["id"] for row in listed} == set(document["Libraries"])
    row = next(r for r in listed if r["id"] == text)
    assert row["title"] == "Text" and row["files"] == 2 and row["folder"].endswith("/src/Text")
    trees = json.loads(s.ok("libraries", "--tree", "--json"))
    assert [t["id"] for t in trees] == ROOT_IDS and trees[0]["children"][0]["id"] == sources

    # Substring search ignores case and how the accent is written.
    s.ok("add", os.path.join(s.src, "Dates"), "--title", "Le Caf\u00e9", "--parent", text)
    cafe = s.id_of(s.load(), "Le Caf\u00e9")
    assert [r["id"] for r in json.loads(s.ok("--json", "find", "CAFE\u0301"))] == [cafe]
    assert cafe in s.load()["Libraries"][text]["Children"]
    assert s.ok("find", "ext").split("\t")[0] == text
    assert s.ok("find", "ext", "--exact") == ""
    assert s.ok("find", "Text", "--exact").startswith(text + "\t")


def test_show_register_unregister_and_remove(tmp):
    s = Scratch(tmp)
    document = s.populated()
    text = s.id_of(document, "Text")
    out = s.ok("show", "Text")
    assert out.startswith("library " + text + "\n"), out
    assert "  Title: Text\n" in out and "folder " + os.path.join(s.src, "Text") in out
    assert os.path.join(s.src, "Text", "Join.scpt") in out and "files 2\n" in out

    # A title two libraries share is ambiguous.
    s.ok("add", os.path.join(s.src, "Dates"), "--title", "Text")
    code, out, err = s.run("show", "Text")
    assert code == 1 and out == "" and "ambiguous" in err and text in err, err

    extra = write(tmp, "Extra.scpt", b"x")
    out = s.ok("register", text, extra)
    document = s.load()
    files = document["Libraries"][text]["Files"]
    assert len(files) == 3 and out == "registered %s as %s\n" % (extra, files[-1])
    assert text in document["Files"][files[-1]]["Owners"]
    code, _, err = s.run("register", text, os.path.join(tmp, "missing.scpt"))
    assert code == 1 and "missing.scpt: no such file" in err

    out = s.ok("unregister", text, extra)
    assert out == "unregistered %s\n" % extra
    before = read(s.doc)
    assert s.ok("unregister", text, extra) == "%s was not registered\n" % extra
    assert read(s.doc) == before  # nothing changed, nothing written

    sources = s.id_of(document, "Sources")
    out = s.ok("remove", sources)
    removed = re.findall(r"^removed (\S+) ", out, re.M)
    assert removed[-1] == sources and len(removed) == 4 and text in removed, out
    document = s.load()
    assert not set(removed) & set(document["Libraries"])
    assert sources not in document["Libraries"][USER_ID]["Children"]
    code, _, err = s.run("remove", USER_ID)
    assert code == 1 and "root library" in err and USER_ID in s.load()["Libraries"]


def test_configs_list_select_enable_disable(tmp):
    s = Scratch(tmp)
    s.ok("init")
    network = "info.module.search.configuration.id.network"
    import json
    rows = json.loads(s.ok("--json", "configs"))
    assert {r["id"] for r in rows} == {"info.module.search.configuration.id." + d
                                       for d in ("user", "local", "network")}
    assert all(r["enabled"] for r in rows)
    assert s.ok("configs", "disable", network) == "disabled %s\n" % network
    assert s.load()["SearchConfigurations"][network]["Enabled"] is False
    before = read(s.doc)
    assert s.ok("configs", "disable", network) == "%s is already disabled\n" % network
    assert read(s.doc) == before
    s.ok("configs", "enable", network)
    assert s.load()["SearchConfigurations"][network]["Enabled"] is True
    s.ok("configs", "select", network)
    assert s.load()["SearchConfigurationLastSelected"] == network
    assert re.search(r"^\* " + re.escape(network) + "\tNetworkConfiguration\tenabled", 
                     s.ok("configs"), re.M)
    assert "Title: NetworkConfiguration\n" in s.ok("configs", "show", network)
    assert s.run("configs", "show", "nope")[0] == 1
    assert s.run("configs", "frobnicate", network)[0] == 2
    assert s.run("configs", "show")[0] == 2


def test_check_finds_each_fault_and_repair_leaves_a_sound_document(tmp):
    s = Scratch(tmp)
    document = s.populated()
    assert s.run("check") == (0, "no problems found\n", "")

    libraries = document["Libraries"]
    sources = s.id_of(document, "Sources")
    text, dates = s.id_of(document, "Text"), s.id_of(document, "Dates")
    file_id = libraries[text]["Files"][0]
    libraries[sources]["Children"].append("ghost-child")
    libraries[text]["Files"].append("ghost-file")
    document["Files"][file_id]["Owners"].append("ghost-owner")
    libraries[dates]["PropertyID"] = "ghost-properties"
    libraries[dates]["URLMapID"] = "ghost-map"
    libraries[text]["Children"] = [sources]       # Sources -> Text -> Sources
    libraries[USER_ID]["Files"] = "not an array"
    libraries["info.module.library.id.local"]["Children"].append(7)
    document["Map"]["0" * 32] = "file:///elsewhere/"
    s.save(document)

    expected = [
        ("Libraries/%s/Children/%d" % (sources, len(libraries[sources]["Children"]) - 1),
         "dangling ID ghost-child"),
        ("Libraries/%s/Files/2" % text, "dangling ID ghost-file"),
        ("Files/%s/Owners/1" % file_id, "dangling ID ghost-owner"),
        ("Libraries/%s/PropertyID" % dates, "dangling ID ghost-properties"),
        ("Libraries/%s/URLMapID" % dates, "dangling ID ghost-map"),
        ("Libraries/%s/Children/0" % text, "cycle"),
        ("Libraries/%s/Files" % USER_ID, "not an array"),
        ("Libraries/info.module.library.id.local/Children/0", "not a string"),
        ("Map/" + "0" * 32, "key does not match"),
    ]
    code, out, _ = s.run("check")
    assert code == 1 and out.endswith("problems found: %d\n" % len(expected)), out
    for path, message in expected:
        assert re.search("^" + re.escape(path) + ": " + message, out, re.M), (path, out)

    # Repair fixes everything but the map entry, which it never re-keys.
    code, out, _ = s.run("check", "--repair")
    backups = [n for n in os.listdir(s.work) if n.startswith(DOC + ".check-")]
    assert len(backups) == 1 and "kept a copy as " + os.path.join(s.work, backups[0]) in out
    assert plistlib.loads(read(os.path.join(s.work, backups[0])))["Map"]["0" * 32]
    assert code == 1 and out.count("\nrepaired ") == len(expected) - 1, out
    assert out.endswith("problems left: 1\nMap/%s: key does not match its text "
                        "file:///elsewhere/\n" % ("0" * 32)), out
    document = s.load()
    assert document["Libraries"][text]["Children"] == []
    assert "Files" not in document["Libraries"][USER_ID]
    assert "ghost-child" not in document["Libraries"][sources]["Children"]

    del document["Map"]["0" * 32]
    s.save(document)
    assert s.run("check") == (0, "no problems found\n", "")
    code, out, _ = s.run("check", "--repair")
    assert code == 0 and "kept a copy" not in out

def test_repair_follows_a_dropped_record_to_the_ids_that_named_it(tmp):
    s = Scratch(tmp)
    document = s.populated()
    text = s.id_of(document, "Text")
    sources = s.id_of(document, "Sources")
    file_id = document["Libraries"][text]["Files"][0]
    document["Libraries"][text] = "not a record"
    document["Files"]["f" * 32] = ["not", "an", "entry"]
    s.save(document)

    import json
    code, out, _ = s.run("--json", "check")
    findings = {(f["path"], f["message"]) for f in json.loads(out)}
    assert code == 1 and findings == {("Libraries/" + text, "not a dictionary"),
                                      ("Files/" + "f" * 32, "not a dictionary")}, out

    # Dropping the record leaves its parent's child and its files' owner
    # dangling; the repair goes on until nothing names it.
    code, out, _ = s.run("check", "--repair")
    assert code == 0 and out.endswith("no problems left\n"), out
    assert "repaired Libraries/%s/Children/" % sources in out, out
    assert "repaired Files/%s/Owners/0: removed dangling ID %s" % (file_id, text) in out, out
    document = s.load()
    assert text not in document["Libraries"] and "f" * 32 not in document["Files"]
    assert text not in document["Libraries"][sources]["Children"]
    assert s.run("check")[0] == 0


def test_listings_in_json_and_paths_under_the_root(tmp):
    import json
    s = Scratch(tmp)
    document = s.populated()
    text = s.id_of(document, "Text")
    shown = json.loads(s.ok("--json", "show", text))
    assert shown["id"] == text and shown["properties"]["Title"] == "Text"
    assert shown["record"]["Files"] == document["Libraries"][text]["Files"]
    assert sorted(f["path"] for f in shown["files"]) == \
        [os.path.join(s.src, "Text", n) for n in ("Join.scpt", "Split.scpt")]
    config = json.loads(s.ok("configs", "--json", "show",
                             "info.module.search.configuration.id.user"))
    assert config["Title"] == "UserConfiguration" and config["Enabled"] is True

    out = s.ok("paths")
    assert re.search(r"^document +%s \(exists\)$" % re.escape(s.doc), out, re.M), out
    modules = os.path.join(s.root, "local", "Library", "Scripts", "Modules")
    assert re.search(r"^local modules +%s \(exists\)$" % re.escape(modules), out, re.M), out


def test_scan_skips_a_subfolder_whose_name_is_taken(tmp):
    s = Scratch(tmp)
    s.populated()
    # A second "Text" elsewhere maps to the same subfolder ID as the first.
    other = os.path.join(tmp, "other")
    os.makedirs(os.path.join(other, "Text"))
    os.makedirs(os.path.join(other, "Fresh"))
    s.ok("add", other, "--title", "Other")
    before = len(s.load()["Libraries"])
    code, out, err = s.run("scan", "Other")
    assert code == 0 and out == "registered 1 library\n", (code, out, err)
    assert "warning" in err and len(s.load()["Libraries"]) == before + 1, err



def test_recursive_scan_makes_a_library_of_every_nested_folder(tmp):
    s = Scratch(tmp)
    s.ok("init")
    deep = os.path.join(tmp, "deep")
    # Same-named folders under different parents, three levels down.
    for area in ("A", "B"):
        for topic in ("Shared", "Only" + area):
            os.makedirs(os.path.join(deep, area, topic, "Inner"))
            write(os.path.join(deep, area, topic), "t.scpt", b"s")
            write(os.path.join(deep, area, topic, "Inner"), "i.scpt", b"s")
    write(deep, "top.scpt", b"s")
    s.ok("add", deep, "--title", "Deep")
    out = s.ok("scan", "Deep", "--recursive")
    assert out == "registered 10 libraries\n", out
    document = s.load()
    libraries, files, url_map = document["Libraries"], document["Files"], document["Map"]
    def path(map_id):
        return urllib.parse.unquote(url_map[map_id].replace("file://", "", 1)).rstrip("/")

    by_folder = {path(r["URLMapID"]): i for i, r in libraries.items() if "URLMapID" in r}
    for area in ("A", "B"):
        area_id = by_folder[os.path.join(deep, area)]
        assert libraries[area_id]["ParentID"] == by_folder[deep]
        for topic in ("Shared", "Only" + area):
            folder = os.path.join(deep, area, topic)
            topic_id, inner_id = by_folder[folder], by_folder[os.path.join(folder, "Inner")]
            assert libraries[topic_id]["ParentID"] == area_id
            assert libraries[inner_id]["ParentID"] == topic_id
            assert libraries[topic_id]["Children"] == [inner_id]
            assert topic_id in libraries[area_id]["Children"]
            # The nested folder is a library now, not a file of its parent.
            names = [path(f) for f in libraries[topic_id]["Files"]]
            assert names == [os.path.join(folder, "t.scpt")], names
            assert [path(f) for f in libraries[inner_id]["Files"]] == \
                [os.path.join(folder, "Inner", "i.scpt")]
            assert topic_id not in files[libraries[inner_id]["URLMapID"]].get("Owners", [])
    assert len(set(by_folder.values())) == len(by_folder)
    assert s.ok("check") == "no problems found\n"

    before = read(s.doc)
    assert s.ok("scan", "Deep", "--recursive") == "registered 0 libraries\n"
    assert read(s.doc) == before

    # Without --recursive one level is taken and the rest stay files.
    other = os.path.join(tmp, "other")
    os.makedirs(os.path.join(other, "X", "Y"))
    s.ok("add", other, "--title", "Other")
    assert s.ok("scan", "Other") == "registered 1 library\n"


def test_document_command_usage_and_help(tmp):
    for args in (["add"], ["add", "a", "b"], ["add", "a", "--parent"], ["scan"],
                 ["find"], ["show"], ["remove"], ["register", "x"], ["libraries", "x"],
                 ["check", "--fix"], ["init", "--example"], ["-C"]):
        code, out, err = run(*args)
        assert code == 2 and out == "" and err.startswith("vantrell: "), (args, code, err)
    for name in ("init", "libraries", "add", "scan", "find", "show", "remove", "register",
                 "unregister", "configs", "check"):
        code, out, _ = run("help", name)
        assert code == 0 and out.startswith("usage: vantrell " + name) and \
            "Example: vantrell " in out, (name, out)


def main():
    tests = [(name, fn) for name, fn in globals().items() if name.startswith("test_")]
    passed = failed = 0
    home = os.getcwd()
    for name, fn in tests:
        with tempfile.TemporaryDirectory() as tmp:
            try:
                fn(tmp)
                passed += 1
            except Exception:  # report every failure, then go on
                failed += 1
                print("FAILED %s\n%s" % (name, traceback.format_exc()))
            finally:
                os.chdir(home)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
