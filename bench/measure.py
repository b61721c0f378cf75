#!/usr/bin/env python3
"""Times whole-process load plus save of property-list files by several tools,
checks that each one's output holds the input's values, and prints a table:
median wall and processor (user plus system) time of RUNS runs, throughput,
peak resident memory (the largest of the runs) and wall time relative to
libplist. Each run goes through timed_run, so that this script's own memory
does not count in a tool's peak.

usage: measure.py --runs N --out-dir DIR --timed-run PATH
                  [--vantrell PATH] [--libplist PATH] FILE...
"""

import argparse
import os
import plistlib
import statistics
import subprocess
import sys

PLISTLIB = ("import plistlib, sys\n"
            "with open(sys.argv[1], 'rb') as f: value = plistlib.load(f)\n"
            "with open(sys.argv[2], 'wb') as f: plistlib.dump(value, f)\n")
MB = 1e6


def run_once(timed_run, argv):
    """Wall seconds, processor seconds and peak RSS in bytes of one run of argv."""
    result = subprocess.run([timed_run, *argv], stdout=subprocess.PIPE, check=False)
    if result.returncode != 0:
        sys.exit("measure.py: %s failed" % " ".join(argv))
    wall, cpu, peak = result.stdout.split()
    return float(wall), float(cpu), int(peak)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--out-dir", required=True)
    parser.add_argument("--timed-run", required=True, help="the bench/timed_run program")
    parser.add_argument("--vantrell")
    parser.add_argument("--libplist")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()

    tools = []
    if args.vantrell:
        tools.append(("vantrell", lambda i, o: [args.vantrell, "plist", "format", i, o]))
    if args.libplist:
        tools.append(("libplist", lambda i, o: [args.libplist, i, o]))
    tools.append(("plistlib", lambda i, o: [sys.executable, "-c", PLISTLIB, i, o]))

    print("%-9s %-9s %8s %8s %8s %8s %11s" % ("file", "tool", "wall s", "cpu s", "MB/s",
                                               "peak MB", "x libplist"))
    for path in args.files:
        size = os.path.getsize(path)
        out = os.path.join(args.out_dir, "out.plist")
        with open(path, "rb") as f:
            expected = plistlib.load(f)
        rows = []
        for name, command in tools:
            results = [run_once(args.timed_run, command(path, out)) for _ in range(args.runs)]
            # A fast tool that loses values would be no measure.
            with open(out, "rb") as f:
                if plistlib.load(f) != expected:
                    sys.exit("measure.py: %s changed the values of %s" % (name, path))
            wall = statistics.median(run[0] for run in results)
            cpu = statistics.median(run[1] for run in results)
            peak = max(run[2] for run in results)
            rows.append((name, wall, cpu, peak))
        reference = dict((row[0], row[1]) for row in rows).get("libplist")
        for name, wall, cpu, peak in rows:
            ratio = "%.2f" % (wall / reference) if reference else "-"
            print("%-9s %-9s %8.3f %8.3f %8.1f %8.1f %11s" % (
                "%.1f MB" % (size / MB), name, wall, cpu, size / MB / wall, peak / MB, ratio))
        os.remove(out)


if __name__ == "__main__":
    main()
