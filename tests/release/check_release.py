#!/usr/bin/env python3
"""Checks a release folder written by tools/release.sh.

Usage: check_release.py DIST_DIR VERSION COMMIT_DATE

COMMIT_DATE is the commit's date in ISO 8601 with its offset (git's %cI).

The zip must hold exactly lukanemi.exe, README.txt and SHA256SUMS.txt in that
order, each with mode 0644, the commit's time in UTC (not before 1980) and no
extra fields; the inner sums must match the two files, which must equal the
ones beside the zip; the outer sums must cover the program, the read-me and
the zip; the read-me must name the version. Prints one line per failed check
and "N passed, M failed".
"""

import hashlib
import os
import sys
import zipfile
from datetime import datetime, timezone

passed = failed = 0


def check(ok, message):
    global passed, failed
    if ok:
        passed += 1
    else:
        failed += 1
        print("FAILED: " + message)


def sums(text):
    out = {}
    for line in text.decode().splitlines():
        digest, name = line.split("  ", 1)
        out[name] = digest
    return out


def zip_stamp(commit_date):
    """The entries' time: the commit's in UTC; zip times start in 1980 and
    have 2-second steps."""
    when = max(datetime.fromisoformat(commit_date).astimezone(timezone.utc),
               datetime(1980, 1, 1, tzinfo=timezone.utc))
    return (when.year, when.month, when.day, when.hour, when.minute, when.second // 2 * 2)


def check_zip(path, expected, commit_date):
    """Checks that the zip holds the entries `expected` in that order, each
    with mode 0644, the commit's time and no extra fields; returns its names
    and {name: bytes}."""
    stamp = zip_stamp(commit_date)
    with zipfile.ZipFile(path) as archive:
        entries = archive.infolist()
        names = [e.filename for e in entries]
        check(names == expected, "zip entries %s, expected %s" % (names, ", ".join(expected)))
        for e in entries:
            check((e.external_attr >> 16) & 0o777 == 0o644,
                  "%s: mode %o, expected 644" % (e.filename, (e.external_attr >> 16) & 0o777))
            check(e.date_time == stamp, "%s: time %s, expected the commit's %s"
                  % (e.filename, e.date_time, stamp))
            check(e.extra == b"", "%s: %d bytes of extra fields" % (e.filename, len(e.extra)))
        return names, {n: archive.read(n) for n in names}


def main(folder, version, commit_date):
    name = "lukanemi-%s-win32.zip" % version
    path = os.path.join(folder, name)

    def read(file):
        with open(os.path.join(folder, file), "rb") as f:
            return f.read()

    names, inner = check_zip(path, ["lukanemi.exe", "README.txt", "SHA256SUMS.txt"], commit_date)
    for file in ("lukanemi.exe", "README.txt"):
        check(inner.get(file) == read(file), "%s in the zip differs from the one beside it" % file)
    listed = sums(inner.get("SHA256SUMS.txt", b""))
    for file in ("lukanemi.exe", "README.txt"):
        check(listed.get(file) == hashlib.sha256(read(file)).hexdigest(),
              "inner SHA256SUMS.txt: %s missing or wrong" % file)
    outer = sums(read("SHA256SUMS.txt"))
    check(sorted(outer) == sorted(["lukanemi.exe", "README.txt", name]),
          "outer SHA256SUMS.txt lists %s" % sorted(outer))
    for file in outer:
        check(outer[file] == hashlib.sha256(read(file)).hexdigest(),
              "outer SHA256SUMS.txt: %s wrong" % file)
    readme = read("README.txt").decode("utf-8-sig")
    check(version in readme.splitlines()[0], "README.txt's first line does not name %s" % version)
    check("@VERSION@" not in readme, "README.txt still holds @VERSION@")
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        print(__doc__)
        sys.exit(2)
    sys.exit(main(*sys.argv[1:]))
