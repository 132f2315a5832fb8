#!/usr/bin/env python3
"""Checks a Windows program's import table against an allow-list.

Usage: check_imports.py [--dlls-only] ALLOW_LIST PROGRAM.exe

Every function the program imports must be on the list under its DLL, and
the PE header's subsystem version must be one that Windows XP accepts (5.01
or lower). With --dlls-only (a build that does not ship) only the DLLs are
compared with the list's, and the subsystem version is not checked.

The list (tools/allowed-imports.txt) holds one import a line, "DLL FUNCTION",
then, from the line "[added]" on, a reason after the function: why it is
present on Windows XP SP3. "#" begins a comment.

Prints one line per failed check and a final "N passed, M failed" line; the
exit status is 1 if any check failed, 2 if the list cannot be used.
"""

import struct
import sys

# Windows XP is NT 5.1; a higher subsystem version makes its loader refuse
# the program ("not a valid Win32 application").
MAX_SUBSYSTEM = (5, 1)


class BadList(Exception):
    pass


class BadFile(Exception):
    pass


def read_allow_list(text):
    """{dll (lower case): {function: reason or None}} from the list's text."""
    allowed = {}
    added = False
    for number, raw in enumerate(text.splitlines(), 1):
        line = raw.split("#", 1)[0].strip()
        if not line:
            continue
        if line == "[added]":
            if added:
                raise BadList("line %d: a second [added]" % number)
            added = True
            continue
        parts = line.split(None, 2)
        if len(parts) < 2:
            raise BadList("line %d: expected 'DLL FUNCTION', got %r" % (number, line))
        dll, function = parts[0].lower(), parts[1]
        reason = parts[2] if len(parts) > 2 else None
        if not dll.endswith(".dll"):
            raise BadList("line %d: %r is not a DLL name" % (number, parts[0]))
        if added and reason is None:
            raise BadList("line %d: %s %s is added without a reason why XP SP3 has it"
                          % (number, parts[0], function))
        if function in allowed.setdefault(dll, {}):
            raise BadList("line %d: %s %s is listed twice" % (number, parts[0], function))
        allowed[dll][function] = reason
    if not allowed:
        raise BadList("the list is empty")
    return allowed


def _unpack(data, fmt, pos):
    size = struct.calcsize("<" + fmt)
    if pos < 0 or pos + size > len(data):
        raise BadFile("%d bytes needed at offset 0x%X, past the end of the file" % (size, pos))
    return struct.unpack_from("<" + fmt, data, pos)


def read_pe(data):
    """(subsystem version, [(dll, [function or '#ordinal', ...]), ...])."""
    if data[:2] != b"MZ":
        raise BadFile("no MZ signature")
    pe = _unpack(data, "I", 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise BadFile("no PE signature")
    sections, optional_size = (_unpack(data, "HHIIIHH", pe + 4)[i] for i in (1, 5))
    optional = pe + 24
    magic = _unpack(data, "H", optional)[0]
    if magic not in (0x10B, 0x20B):
        raise BadFile("unknown optional header magic 0x%X" % magic)
    wide = magic == 0x20B
    subsystem = _unpack(data, "HH", optional + 48)
    directories = optional + (112 if wide else 96)
    count = _unpack(data, "I", directories - 4)[0]
    import_rva = _unpack(data, "I", directories + 8)[0] if count > 1 else 0

    table = []
    at = optional + optional_size
    for _ in range(sections):
        vsize, vaddr, raw_size, raw_ptr = _unpack(data, "IIII", at + 8)
        table.append((vaddr, max(vsize, raw_size), raw_ptr, raw_size))
        at += 40

    def offset(rva):
        for vaddr, vsize, raw_ptr, raw_size in table:
            if vaddr <= rva < vaddr + vsize and rva - vaddr < raw_size:
                return raw_ptr + rva - vaddr
        raise BadFile("RVA 0x%X is in no section's data" % rva)

    def cstr(rva):
        start = offset(rva)
        end = data.find(b"\0", start)
        if end < 0:
            raise BadFile("unterminated name at RVA 0x%X" % rva)
        return data[start:end].decode("latin-1")

    imports = []
    descriptor = offset(import_rva) if import_rva else None
    while descriptor is not None:
        lookup, _, _, name_rva, thunks = _unpack(data, "IIIII", descriptor)
        if name_rva == 0 and thunks == 0:
            break
        functions = []
        entry = offset(lookup or thunks)
        ordinal_flag = 1 << (63 if wide else 31)
        while True:
            value = _unpack(data, "Q" if wide else "I", entry)[0]
            if value == 0:
                break
            if value & ordinal_flag:
                functions.append("#%d" % (value & 0xFFFF))
            else:
                functions.append(cstr((value & 0x7FFFFFFF) + 2))  # after the hint
            entry += 8 if wide else 4
        imports.append((cstr(name_rva), functions))
        descriptor += 20
    return subsystem, imports


def check(allowed, subsystem, imports, dlls_only=False):
    """The failures, one message each, and the number of checks made."""
    failures = []
    checks = 0
    if not dlls_only:
        checks += 1
        if subsystem > MAX_SUBSYSTEM:
            failures.append("subsystem version %d.%02d: Windows XP needs %d.%02d or lower"
                            % (subsystem + MAX_SUBSYSTEM))
    checks += 1
    if not imports:
        failures.append("no imports found")
    for dll, functions in imports:
        checks += 1
        listed = allowed.get(dll.lower())
        if listed is None:
            failures.append("imports %s, a DLL not on the allow-list" % dll)
            continue
        if dlls_only:
            continue
        for function in functions:
            checks += 1
            if function not in listed:
                failures.append("imports %s from %s, not on the allow-list" % (function, dll))
    return failures, checks


def main(argv):
    args = argv[1:]
    dlls_only = "--dlls-only" in args
    args = [a for a in args if a != "--dlls-only"]
    if len(args) != 2:
        sys.stderr.write(__doc__)
        return 2
    list_path, exe = args
    try:
        with open(list_path, encoding="utf-8") as f:
            allowed = read_allow_list(f.read())
    except (OSError, BadList) as e:
        sys.stderr.write("check_imports: %s: %s\n" % (list_path, e))
        return 2
    try:
        with open(exe, "rb") as f:
            subsystem, imports = read_pe(f.read())
    except (OSError, BadFile) as e:
        print("FAIL: %s: not a readable program: %s" % (exe, e))
        print("0 passed, 1 failed")
        return 1

    failures, checks = check(allowed, subsystem, imports, dlls_only)
    for message in failures:
        print("FAIL: %s: %s" % (exe, message))
    counts = ", ".join("%s %d" % (dll, len(functions)) for dll, functions in imports)
    print("%s: imports %s (%d in all)%s" % (
        exe, counts, sum(len(f) for _, f in imports),
        "" if dlls_only else "; subsystem version %d.%02d" % subsystem))
    print("%d passed, %d failed" % (checks - len(failures), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
