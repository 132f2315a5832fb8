"""Tests of tools/check_imports.py on small programs built here, byte by byte."""

import contextlib
import io
import os
import struct
import sys
import tempfile
import unittest

TOOLS = os.environ.get("CHECK_IMPORTS_DIR",
                       os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
sys.path.insert(0, TOOLS)
import check_imports  # noqa: E402

LIST = """
KERNEL32.dll CloseHandle
KERNEL32.dll Sleep
msvcrt.dll   malloc
[added]
USER32.dll   MessageBoxW   no _WIN32_WINNT guard in winuser.h
"""

SECTION_RVA, SECTION_FILE = 0x1000, 0x200


def program(imports, subsystem=(4, 0), wide=False, directory=True):
    """A PE file whose import table holds imports: [(dll, [name or ordinal])];
    without `directory` its data directory names no import table."""
    thunk = "Q" if wide else "I"
    thunk_size = 8 if wide else 4
    ordinal_flag = 1 << (63 if wide else 31)
    at = 20 * (len(imports) + 1)  # the descriptors, then everything else
    descriptors = []
    tail = bytearray()
    for dll, functions in imports:
        lookup = at + len(tail)
        tail += bytes(thunk_size * (len(functions) + 1))
        for i, function in enumerate(functions):
            if isinstance(function, int):
                value = ordinal_flag | function
            else:
                value = SECTION_RVA + at + len(tail)
                tail += struct.pack("<H", 0) + function.encode() + b"\0"
            struct.pack_into("<" + thunk, tail, lookup - at + i * thunk_size, value)
        name = at + len(tail)
        tail += dll.encode() + b"\0"
        descriptors.append(struct.pack("<IIIII", SECTION_RVA + lookup, 0, 0,
                                       SECTION_RVA + name, SECTION_RVA + lookup))
    data = b"".join(descriptors) + bytes(20) + tail

    optional = bytearray(240 if wide else 224)
    struct.pack_into("<H", optional, 0, 0x20B if wide else 0x10B)
    struct.pack_into("<HH", optional, 48, *subsystem)
    count_at = 108 if wide else 92
    # 16 directories, the second the import table's.
    struct.pack_into("<IIIII", optional, count_at, 16, 0, 0, SECTION_RVA if directory else 0,
                     len(data) - len(tail) if directory else 0)
    coff = struct.pack("<HHIIIHH", 0x8664 if wide else 0x14C, 1, 0, 0, 0, len(optional), 0x102)
    section = struct.pack("<8sIIIIIIHHI", b".idata", len(data), SECTION_RVA, len(data),
                          SECTION_FILE, 0, 0, 0, 0, 0xC0000040)
    head = bytearray(b"MZ" + bytes(0x3A) + struct.pack("<I", 0x40))
    head += b"PE\0\0" + coff + optional + section
    return bytes(head.ljust(SECTION_FILE, b"\0")) + data


def run(exe_bytes, *options, text=LIST):
    """The checker's exit status and output on a program and a list."""
    with tempfile.TemporaryDirectory() as tmp:
        list_path, exe = os.path.join(tmp, "list.txt"), os.path.join(tmp, "p.exe")
        with open(list_path, "w", encoding="utf-8") as f:
            f.write(text)
        with open(exe, "wb") as f:
            f.write(exe_bytes)
        out = io.StringIO()
        with contextlib.redirect_stdout(out), contextlib.redirect_stderr(out):
            status = check_imports.main(["check_imports.py", *options, list_path, exe])
        return status, out.getvalue()


class ImportCheck(unittest.TestCase):
    def test_listed_imports_pass(self):
        status, out = run(program([("KERNEL32.dll", ["CloseHandle", "Sleep"]),
                                   ("msvcrt.dll", ["malloc"]), ("USER32.dll", ["MessageBoxW"])]))
        self.assertEqual(status, 0, out)
        self.assertIn("KERNEL32.dll 2, msvcrt.dll 1, USER32.dll 1 (4 in all)", out)
        self.assertIn("subsystem version 4.00", out)

    def test_an_unlisted_function_is_named(self):
        # What the posix thread runtime brings in, and Windows XP lacks.
        status, out = run(program([("KERNEL32.dll", ["Sleep", "GetTickCount64"])]))
        self.assertEqual(status, 1)
        self.assertIn("imports GetTickCount64 from KERNEL32.dll, not on the allow-list", out)
        self.assertNotIn("Sleep from", out)
        self.assertIn("1 failed", out)

    def test_an_unlisted_dll_is_named(self):
        status, out = run(program([("KERNEL32.dll", ["Sleep"]),
                                   ("libwinpthread-1.dll", ["pthread_mutex_lock"])]))
        self.assertEqual(status, 1)
        self.assertIn("imports libwinpthread-1.dll, a DLL not on the allow-list", out)

    def test_dll_names_compare_without_case_function_names_with(self):
        self.assertEqual(run(program([("kernel32.DLL", ["Sleep"])]))[0], 0)
        status, out = run(program([("KERNEL32.dll", ["sleep"])]))
        self.assertEqual(status, 1)
        self.assertIn("imports sleep from KERNEL32.dll", out)

    def test_an_import_by_ordinal_is_named(self):
        # The ordinal flag is the thunk's top bit: bit 31, or bit 63 in a
        # 64-bit program.
        for wide in (False, True):
            status, out = run(program([("KERNEL32.dll", ["Sleep", 5])], wide=wide))
            self.assertEqual(status, 1, wide)
            self.assertIn("imports #5 from KERNEL32.dll", out)
            self.assertIn("KERNEL32.dll 2 (2 in all)", out)

    def test_a_program_without_imports_fails(self):
        # An empty table, and no table at all.
        for exe in (program([]), program([("KERNEL32.dll", ["Sleep"])], directory=False)):
            status, out = run(exe)
            self.assertEqual(status, 1)
            self.assertIn("FAIL: ", out)
            self.assertIn(": no imports found", out)
            self.assertIn("1 failed", out)

    def test_subsystem_version_above_xp_fails(self):
        self.assertEqual(run(program([("KERNEL32.dll", ["Sleep"])], (5, 1)))[0], 0)
        for version in ((5, 2), (6, 0)):
            status, out = run(program([("KERNEL32.dll", ["Sleep"])], version))
            self.assertEqual(status, 1, version)
            self.assertIn("subsystem version %d.%02d: Windows XP needs 5.01 or lower" % version,
                          out)

    def test_dlls_only_reads_a_64_bit_program(self):
        wide = program([("KERNEL32.dll", ["GetTickCount64"])], (5, 2), wide=True)
        self.assertEqual(run(wide, "--dlls-only")[0], 0)
        status, out = run(wide)
        self.assertEqual(status, 1)
        self.assertIn("GetTickCount64", out)
        status, out = run(program([("libstdc++-6.dll", ["x"])], wide=True), "--dlls-only")
        self.assertEqual(status, 1)
        self.assertIn("libstdc++-6.dll", out)

    def test_a_cut_program_fails(self):
        status, out = run(program([("KERNEL32.dll", ["Sleep"])])[:0x210])
        self.assertEqual(status, 1)
        self.assertIn("not a readable program", out)


class AllowList(unittest.TestCase):
    def test_an_added_function_needs_a_reason(self):
        with self.assertRaisesRegex(check_imports.BadList, "GetTickCount64 is added without"):
            check_imports.read_allow_list("KERNEL32.dll Sleep\n[added]\nKERNEL32.dll GetTickCount64\n")
        status, _ = run(program([("KERNEL32.dll", ["Sleep"])]),
                        text="KERNEL32.dll Sleep\n[added]\nKERNEL32.dll GetTickCount64\n")
        self.assertEqual(status, 2)

    def test_a_second_added_section_is_refused(self):
        with self.assertRaisesRegex(check_imports.BadList, "line 4: a second \\[added\\]"):
            check_imports.read_allow_list("KERNEL32.dll Sleep\n[added]\n"
                                          "USER32.dll MessageBoxW reason\n[added]\n")

    def test_a_function_listed_twice_or_a_non_dll_is_refused(self):
        for text in ("KERNEL32.dll Sleep\nkernel32.dll Sleep\n", "KERNEL32 Sleep\n", "Sleep\n"):
            with self.assertRaises(check_imports.BadList, msg=text):
                check_imports.read_allow_list(text)

    def test_the_repository_list_allows_nothing_xp_lacks(self):
        with open(os.path.join(TOOLS, "allowed-imports.txt"), encoding="utf-8") as f:
            allowed = check_imports.read_allow_list(f.read())
        self.assertEqual(set(allowed), {"kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll"})
        vista_and_later = {"GetTickCount64", "InitializeConditionVariable",
                           "InitializeSRWLock", "InitOnceExecuteOnce", "FlsAlloc",
                           "GetCurrentProcessorNumber", "CreateSymbolicLinkW"}
        self.assertFalse(vista_and_later & set(allowed["kernel32.dll"]))


if __name__ == "__main__":
    unittest.main()
