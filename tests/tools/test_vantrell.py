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
