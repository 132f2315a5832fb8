#!/usr/bin/env python3
"""The Windows test kit's files that tools/windows-kit.sh makes with Python.

  windows_kit.py requirements ALLOW_LIST PROGRAM.exe...
      prints the kit's requirements.txt: per program, the Windows version
      its header asks for and every import that is not on ALLOW_LIST (the
      shipped program's list, all in Windows XP SP3). The kit's runner checks
      them on the Windows at hand before it starts a suite.
  windows_kit.py notice TEXT VERSION OUTPUT
      writes TEXT (UTF-8) as UTF-16 with a byte-order mark and CRLF line
      ends, @VERSION@ filled in: cmd's `type` shows it on any code page.
  windows_kit.py batch FILE
      checks a batch file for every Windows' cmd.exe: ASCII only and CRLF
      line ends; prints what is wrong and exits 1.
"""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_imports  # noqa: E402

HEADER = """\
# What each program of the kit needs, recorded when the kit was built:
#   subsystem PROGRAM MAJOR.MINOR   the Windows version its header asks for
#   import PROGRAM DLL FUNCTION     an import that is not on the shipped
#                                   program's list (all in Windows XP SP3)
# The runner looks each import up on the Windows at hand and does not start
# a suite whose programs need what that Windows lacks.
"""


def requirements(allowed, programs):
    """The requirements file's text for the programs: {name: file bytes}."""
    lines = [HEADER]
    for name, data in programs.items():
        subsystem, imports = check_imports.read_pe(data)
        lines.append("subsystem %s %d.%02d\n" % ((name,) + tuple(subsystem)))
        for dll, functions in imports:
            listed = allowed.get(dll.lower(), {})
            lines += ["import %s %s %s\n" % (name, dll, f) for f in functions if f not in listed]
    return "".join(lines)


def notice(text, version):
    """The notice's bytes: UTF-16 little-endian with its byte-order mark,
    CRLF line ends."""
    text = text.replace("@VERSION@", version).replace("\r\n", "\n").replace("\n", "\r\n")
    return "\ufeff".encode("utf-16-le") + text.encode("utf-16-le")


def batch_problems(data):
    """What keeps a batch file from reading the same in every cmd.exe: a
    line without CRLF (a label may then not be found) or a byte that is
    not printable ASCII (read in the console's code page, whichever it is)."""
    problems = []
    lines = data.split(b"\n")
    ended = lines.pop() == b""
    if not ended:
        problems.append("line %d: no line end" % (len(lines) + 1))
    for number, line in enumerate(lines, 1):
        if not line.endswith(b"\r"):
            problems.append("line %d: LF without CR" % number)
        if any(b > 0x7E or (b < 0x20 and b not in (0x09, 0x0D)) for b in line):
            problems.append("line %d: a byte that is not printable ASCII" % number)
    return problems


def main(argv):
    if len(argv) >= 4 and argv[1] == "requirements":
        with open(argv[2], encoding="utf-8") as f:
            allowed = check_imports.read_allow_list(f.read())
        programs = {}
        for path in argv[3:]:
            with open(path, "rb") as f:
                programs[os.path.basename(path)] = f.read()
        sys.stdout.write(requirements(allowed, programs))
        return 0
    if len(argv) == 5 and argv[1] == "notice":
        with open(argv[2], encoding="utf-8") as f:
            data = notice(f.read(), argv[3])
        with open(argv[4], "wb") as f:
            f.write(data)
        return 0
    if len(argv) == 3 and argv[1] == "batch":
        with open(argv[2], "rb") as f:
            problems = batch_problems(f.read())
        for p in problems:
            print("%s: %s" % (argv[2], p))
        return 1 if problems else 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
