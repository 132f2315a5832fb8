"""Tests of tools/windows_kit.py, the test kit's files made with Python: the
requirements of programs written here byte by byte, the notice's encoding
and the batch file's check."""

import os
import sys
import unittest

TOOLS = os.environ.get("CHECK_IMPORTS_DIR",
                       os.path.join(os.path.dirname(__file__), "..", "..", "tools"))
sys.path.insert(0, TOOLS)
import check_imports  # noqa: E402
import windows_kit  # noqa: E402
from test_check_imports import LIST, program  # noqa: E402


class RequirementsTest(unittest.TestCase):
    def test_lists_each_programs_subsystem_and_only_its_imports_off_the_list(self):
        allowed = check_imports.read_allow_list(LIST)
        text = windows_kit.requirements(allowed, {
            "on_list.exe": program([("KERNEL32.dll", ["CloseHandle", "Sleep"])], (5, 1)),
            "off_list.exe": program([("KERNEL32.dll", ["Sleep", "GetTickCount64"]),
                                     ("psapi.dll", ["GetProcessMemoryInfo", 5]),
                                     ("USER32.dll", ["MessageBoxW"])], (6, 0)),
        })
        lines = [l for l in text.splitlines() if not l.startswith("#")]
        self.assertEqual(lines, [
            "subsystem on_list.exe 5.01",
            "subsystem off_list.exe 6.00",
            "import off_list.exe KERNEL32.dll GetTickCount64",
            "import off_list.exe psapi.dll GetProcessMemoryInfo",
            "import off_list.exe psapi.dll #5",
        ])


class TextTest(unittest.TestCase):
    def test_notice_is_utf16_with_a_mark_crlf_and_the_version(self):
        data = windows_kit.notice("ルカネミ @VERSION@\n行\r\n", "1.2.3")
        self.assertEqual(data[:2], b"\xff\xfe")
        self.assertEqual(data[2:].decode("utf-16-le"), "ルカネミ 1.2.3\r\n行\r\n")

    def test_batch_file_must_be_ascii_with_crlf(self):
        self.assertEqual(windows_kit.batch_problems(b"@echo off\r\necho hi\r\n"), [])
        self.assertEqual(windows_kit.batch_problems(b"@echo off\necho hi\r\n"),
                         ["line 1: LF without CR"])
        self.assertEqual(windows_kit.batch_problems(b"echo \xe3\x81\x82\r\necho hi"),
                         ["line 2: no line end", "line 1: a byte that is not printable ASCII"])
        self.assertEqual(windows_kit.batch_problems(b"echo\x1b[1m\r\n"),
                         ["line 1: a byte that is not printable ASCII"])


if __name__ == "__main__":
    unittest.main()
