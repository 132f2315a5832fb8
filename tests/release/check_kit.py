#!/usr/bin/env python3
"""Checks a test kit folder written by tools/windows-kit.sh.

Usage: check_kit.py KIT_DIR VERSION COMMIT_DATE RELEASE_DIR

COMMIT_DATE is the commit's date in ISO 8601 with its offset (git's %cI);
RELEASE_DIR a release of the same commit (tools/release.sh).

The zip must hold exactly the kit's files in their order, SHA256SUMS.txt
last, each with mode 0644, the commit's time in UTC and no extra fields;
the inner sums must match every other entry, the outer sums the zip alone.
Its lukanemi.exe must be the release's, byte for byte; run.cmd ASCII with
CRLF line ends and the version; README.txt UTF-8 with a byte-order mark,
CRLF line ends and the version on its first line; the notice UTF-16 with a
byte-order mark; requirements.txt a subsystem line for every program. Prints
one line per failed check and "N passed, M failed".
"""

import hashlib
import os
import sys

import check_release
from check_release import check, sums

PROGRAMS = ["kit/kit_runner.exe", "kit/core_tests.exe", "kit/e2e_driver.exe",
            "kit/stress_driver.exe", "kit/recorder.exe", "kit/record_driver.exe"]
ENTRIES = (["run.cmd", "README.txt", "lukanemi.exe"] + PROGRAMS +
           ["kit/guide/README.md", "kit/guide/README.txt", "kit/notice-ja.txt",
            "kit/requirements.txt", "SHA256SUMS.txt"])


def main(folder, version, commit_date, release):
    name = "lukanemi-%s-testkit-win32.zip" % version
    with open(os.path.join(folder, name), "rb") as f:
        zipped = f.read()
    names, files = check_release.check_zip(os.path.join(folder, name), ENTRIES, commit_date)
    listed = sums(files.get("SHA256SUMS.txt", b""))
    check(sorted(listed) == sorted(n for n in names if n != "SHA256SUMS.txt"),
          "inner SHA256SUMS.txt lists %s" % sorted(listed))
    for n, digest in listed.items():
        check(digest == hashlib.sha256(files.get(n, b"")).hexdigest(),
              "inner SHA256SUMS.txt: %s wrong" % n)
    with open(os.path.join(folder, "SHA256SUMS.txt"), "rb") as f:
        outer = sums(f.read())
    check(outer == {name: hashlib.sha256(zipped).hexdigest()},
          "outer SHA256SUMS.txt %s, expected the zip's sum alone" % outer)

    with open(os.path.join(release, "lukanemi.exe"), "rb") as f:
        check(files.get("lukanemi.exe") == f.read(), "lukanemi.exe differs from the release's")
    run = files.get("run.cmd", b"")
    check(all(b < 0x7F for b in run) and run.count(b"\n") == run.count(b"\r\n") > 0,
          "run.cmd: expected ASCII with CRLF line ends")
    check(b"Lukanemi %s test kit" % version.encode() in run, "run.cmd does not name %s" % version)
    readme = files.get("README.txt", b"")
    check(readme.startswith(b"\xef\xbb\xbf") and readme.count(b"\n") == readme.count(b"\r\n"),
          "README.txt: expected a UTF-8 byte-order mark and CRLF line ends")
    check(version in readme.decode("utf-8-sig").splitlines()[0],
          "README.txt's first line does not name %s" % version)
    notice = files.get("kit/notice-ja.txt", b"")
    check(notice.startswith(b"\xff\xfe") and version in notice.decode("utf-16"),
          "kit/notice-ja.txt: expected UTF-16 with a byte-order mark, naming %s" % version)
    for data, n in ((readme, "README.txt"), (run, "run.cmd"), (notice, "kit/notice-ja.txt")):
        check(b"@VERSION@" not in data and "@VERSION@" not in data.decode("utf-16", "ignore"),
              "%s still holds @VERSION@" % n)
    requirements = files.get("kit/requirements.txt", b"").decode()
    for program in ["lukanemi.exe"] + PROGRAMS:
        check("subsystem %s " % os.path.basename(program) in requirements,
              "kit/requirements.txt: no subsystem line for %s" % program)
    print("%d passed, %d failed" % (check_release.passed, check_release.failed))
    return 1 if check_release.failed else 0


if __name__ == "__main__":
    if len(sys.argv) != 5:
        print(__doc__)
        sys.exit(2)
    sys.exit(main(*sys.argv[1:]))
