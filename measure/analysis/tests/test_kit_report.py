"""Tests of the test kit's read-back (kit_report.py) on a report folder that
the kit wrote under Wine: kit-report-wine/ is what run.cmd --short left in
report-<date>-<time> (its recording gzipped here), and on reports written
in memory.

Run as support.py says.
"""

import contextlib
import gzip
import io
import math
import os
import shutil
import struct
import tempfile
import unittest

import support

import kit_report  # noqa: E402

FIXTURE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "kit-report-wine")


def unpacked(folder):
    """A copy of the fixture with its recording unpacked, in `folder`."""
    for name in os.listdir(FIXTURE):
        source = os.path.join(FIXTURE, name)
        if name.endswith(".gz"):
            with gzip.open(source) as f, open(os.path.join(folder, name[:-3]), "wb") as out:
                out.write(f.read())
        else:
            shutil.copy(source, folder)
    return folder


def read_back(folder):
    """kit_report's exit status and printed lines for a folder."""
    out = io.StringIO()
    with contextlib.redirect_stdout(out):
        status = kit_report.main(["kit_report.py", folder, support.core().command])
    return status, out.getvalue().splitlines()


def flush_lateness_us(path):
    """Each flush's lateness in the recording's first run, in µs, read from
    the file's bytes as measure/pacing/recording.h lays them out: the flush
    minus the run's start minus the tick at which its toggle fell due."""
    with open(path, "rb") as f:
        data = f.read()
    frequency, runs, records = struct.unpack_from("<qII", data, 8)
    start, rate, scale, first, _ = struct.unpack_from("<qIIII", data, 32)
    end = struct.unpack_from("<qIIII", data, 32 + 24)[3] if runs > 1 else records
    late = []
    for i in range(first, end):
        ticks, toggle, kind, _ = struct.unpack_from("<qIHH", data, 32 + 24 * runs + 16 * i)
        if kind == 0xFFFF:
            due = -(-(toggle + 1) * scale * frequency // rate)  # rounded up
            late.append((ticks - start - due) * 1e6 / frequency)
    return late


REPORT = """\ufeffLukanemi test kit 9.8.7 report
kit: 9.8.7
windows: Microsoft Windows XP [Version 5.1.2600]

== core tests
program: core_tests.exe
result: not run
reason: this Windows lacks what it needs: KERNEL32.dll GetTickCount64

== end-to-end
program: e2e_driver.exe
result: FAILED
reason: 2 failed
time: 80.5 s (limit 1800 s)
summary: 331 passed, 2 failed
failure: e2e_driver.cpp:10: Test failed: first
failure: e2e_driver.cpp:20: Test failed: second
log: e2e.log

== result
passed: none
failed: end-to-end
not run: core tests
"""


class ReportTest(unittest.TestCase):
    def test_the_folder_made_under_wine(self):
        report = kit_report.read(FIXTURE)
        self.assertTrue(report.title.startswith("Lukanemi test kit "))
        for key in ("kit", "windows", "windows version", "processor", "display", "counter"):
            self.assertIn(key, report.pc)
        self.assertIn("reported refresh rate 60 Hz", report.pc["display"])
        self.assertEqual([s.name for s in report.suites],
                         ["core tests", "end-to-end", "stress", "recording"])
        self.assertEqual(report.named("passed"), [s.name for s in report.suites])
        self.assertEqual(report.result["passed"], "core tests, end-to-end, stress, recording")
        self.assertEqual(kit_report.recording_path(FIXTURE, report),
                         os.path.join(FIXTURE, "recording-60.bin"))

    def test_failed_and_not_run_suites(self):
        report = kit_report.parse(REPORT)
        self.assertEqual(report.named("FAILED"), ["end-to-end"])
        self.assertEqual(report.named("not run"), ["core tests"])
        self.assertEqual(report.suites[1].failures, ["e2e_driver.cpp:10: Test failed: first",
                                                     "e2e_driver.cpp:20: Test failed: second"])
        lines = kit_report.suite_lines(report)
        self.assertEqual(lines[0], "suites: 0 passed, 1 failed, 1 not run")
        self.assertIn("this Windows lacks what it needs: KERNEL32.dll GetTickCount64", lines[1])
        self.assertIn("    reason: 2 failed", lines)
        self.assertIn("    failure: e2e_driver.cpp:20: Test failed: second", lines)
        self.assertIsNone(kit_report.recording_path("x", report))

    def test_what_is_not_a_whole_report(self):
        cases = {
            "line 1: not a report of the test kit": "Lukanemi release 1.0.0\n",
            "line 3: expected 'key: value'": "Lukanemi test kit 1\nkit: 1\nwindows XP\n",
            "suite stress: result 'passed?'":
                "Lukanemi test kit 1\n== stress\nresult: passed?\n== result\n",
            "suite stress: result None": "Lukanemi test kit 1\n== stress\ntime: 1 s\n== result\n",
            "no '== result' section": REPORT.split("== result")[0],
        }
        for message, text in cases.items():
            with self.assertRaises(ValueError, msg=message) as caught:
                kit_report.parse(text)
            self.assertIn(message, str(caught.exception))


class ReadBackTest(unittest.TestCase):
    def test_prints_the_suites_and_the_recordings_figures(self):
        with tempfile.TemporaryDirectory() as folder:
            status, lines = read_back(unpacked(folder))
            late = sorted(flush_lateness_us(os.path.join(folder, "recording-60.bin")))
        self.assertEqual(status, 0, lines)
        self.assertIn("suites: 4 passed, 0 failed, 0 not run", lines)
        pacing = [l for l in lines if l.startswith("pacing (first run")]
        self.assertEqual(len(pacing), 1, lines)
        # The median and p99 at ranks ceil(p n), from the file's own bytes.
        for name, p in (("p50", 0.5), ("p99", 0.99)):
            expected = late[math.ceil(p * len(late)) - 1]
            self.assertIn("%s %.1f" % (name, expected), pacing[0])
        self.assertIn("max %.1f µs" % late[-1], pacing[0])
        self.assertIn("recording-60.bin: 60 flashes/s, 1 run(s) (0 stops), %d toggles, "
                      "0 records lost" % len(late), lines)
        # Every true rate around 60 Hz, the ideal observer's verdict on each.
        rows = [l for l in lines if l.startswith("| 59.") or l.startswith("| 60.")]
        self.assertEqual(len(rows), 9, lines)
        self.assertTrue(all(r.endswith("| ok |") for r in rows), rows)
        row = lines[-1].split(" | ")
        self.assertEqual(row[:3], ["| 60", "20", "n/a"])
        self.assertEqual(row[3].split(" / ")[0], "%.2f" % (late[math.ceil(len(late) / 2) - 1] / 1e3))

    def test_a_cut_or_missing_recording(self):
        with tempfile.TemporaryDirectory() as folder:
            unpacked(folder)
            path = os.path.join(folder, "recording-60.bin")
            with open(path, "r+b") as f:
                f.truncate(1000)
            status, lines = read_back(folder)
            self.assertEqual(status, 1)
            self.assertIn("the header calls for", lines[-1])
            os.remove(path)
            status, lines = read_back(folder)
            self.assertEqual(status, 1)
            self.assertIn("No such file", lines[-1])
        with tempfile.TemporaryDirectory() as folder:
            with open(os.path.join(folder, "report.txt"), "w", encoding="utf-8") as f:
                f.write(REPORT)
            status, lines = read_back(folder)
        self.assertEqual(status, 0)
        self.assertEqual(lines[-1], "recording: none (its suite wrote none)")
        status, lines = read_back(os.path.join(FIXTURE, "missing"))
        self.assertEqual(status, 1)


if __name__ == "__main__":
    unittest.main()
