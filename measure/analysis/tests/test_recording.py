"""Tests of the recording reader and of the pacing figures, on small
recordings laid out in memory as measure/pacing/recording.h defines them.

Run as support.py says.
"""

import contextlib
import glob
import io
import math
import os
import string
import struct
import sys
import tempfile
import unittest
from unittest import mock

import numpy as np

import support

import display  # noqa: E402
import pacing  # noqa: E402
import pacing_report  # noqa: E402
import recording  # noqa: E402
import stats  # noqa: E402

FREQUENCY = 10_000_000
FLUSH = 0xFFFF


def recording_bytes(runs, records, passes=(0, 0, 0, 0, 0, 0, 0), idle=(), costs=(),
                    lost=0, magic=b"LKREC2\0\0"):
    """A file: runs are (start, toggle rate, rate scale, first record, strips),
    records (ticks, toggle, kind, white), passes RecordingPasses' fields
    without the reserved one; idle and costs the histograms, padded to one
    length."""
    buckets = max(len(idle), len(costs))
    data = struct.pack("<8sqIIII", magic, FREQUENCY, len(runs), len(records), lost, buckets)
    data += b"".join(struct.pack("<qIIII", *r) for r in runs)
    data += b"".join(struct.pack("<qIHH", *r) for r in records)
    data += struct.pack("<QIIqIIqq", *passes[:5], 0, *passes[5:])
    for histogram in (idle, costs):
        data += struct.pack("<%dI" % buckets, *(list(histogram) + [0] * (buckets - len(histogram))))
    return data


def due(k, rate, scale, start=0):
    """The counter reading at which toggle k falls due."""
    return start + int(recording.due_ticks(k, rate, scale, FREQUENCY))


def flushes_only(start, rate, scale, lateness, toggles=None):
    """A run of flushes alone (no fills), toggle k flushed lateness[k] ticks
    after it fell due."""
    toggles = range(len(lateness)) if toggles is None else toggles
    records = [(due(k, rate, scale, start) + late, k, FLUSH, 1 - k % 2)
               for k, late in zip(toggles, lateness)]
    return [(start, rate, scale, 0, 4)], records


class RecordingTest(unittest.TestCase):
    def test_a_recorder_file_gives_each_toggles_lateness_and_fill_offsets(self):
        rate, scale, start = 120_000, 1000, 5_000_000
        records = []
        for k in range(3):
            flush = due(k, rate, scale, start) + 40 + k
            for strip in range(2):
                records.append((flush - 10 + strip, k, strip, 1 - k % 2))
            records.append((flush, k, FLUSH, 1 - k % 2))
        recorded = recording.parse(recording_bytes([(start, rate, scale, 0, 2)], records,
                                                   (7, 1, 2, 30, 0, 0, 0), [0, 3], [1]))
        runs = display.recorded_runs(recorded)
        self.assertEqual((recorded.frequency, len(runs), recorded.lost), (FREQUENCY, 1, 0))
        self.assertEqual(recorded.passes.passes, 7)
        np.testing.assert_array_equal(recorded.idle_turns, [0, 3])
        np.testing.assert_array_equal(recorded.toggle_costs, [1, 0])
        np.testing.assert_array_equal(runs[0].lateness, [40, 41, 42])
        np.testing.assert_array_equal(runs[0].fill_offsets, [[-10, -9]] * 3)
        toggles = runs[0].toggles()
        self.assertAlmostEqual(toggles.fills[0, 1], (83334 + 40 - 9) / FREQUENCY)

    def test_records_are_split_between_runs_at_their_first_records(self):
        records = [(100 + i, i % 2, FLUSH, 1) for i in range(5)]
        recorded = recording.parse(recording_bytes([(0, 120, 1, 0, 4), (50, 240, 1, 2, 4)],
                                                   records))
        self.assertEqual([len(r.records) for r in recorded.runs], [2, 3])
        self.assertEqual(recorded.runs[1].toggle_rate, 240)

    def test_other_files_are_refused(self):
        runs, records = flushes_only(0, 120, 1, [0, 0])
        whole = recording_bytes(runs, records)
        for data, message in [(recording_bytes(runs, records, magic=b"LKREC1\0\0"), "not a"),
                              (whole[:-1], "bytes, the header calls for"),
                              (whole + b"\0", "bytes, the header calls for"),
                              (b"LKREC2", "not a")]:
            with self.assertRaisesRegex(ValueError, message):
                recording.parse(data)

    def test_runs_whose_first_records_go_back_are_refused(self):
        records = [(100 + i, i % 2, FLUSH, 1) for i in range(5)]
        with self.assertRaisesRegex(ValueError, "out of order"):
            recording.parse(recording_bytes([(0, 120, 1, 3, 4), (50, 240, 1, 2, 4)], records))
        with self.assertRaisesRegex(ValueError, "out of order"):
            recording.parse(recording_bytes([(0, 120, 1, 0, 4), (50, 240, 1, 6, 4)], records))

    def test_a_toggle_without_all_its_fills_is_refused(self):
        records = np.array([(10, 0, 0, 1), (11, 0, FLUSH, 1), (20, 1, 0, 0)],
                           dtype=recording.RECORD)
        with self.assertRaises(ValueError):
            display.run_from_records(FREQUENCY, recording.Run(0, 120_000, 1000, 2, records))

    def test_a_histograms_percentile_is_the_bucket_at_rank_ceil_p_n(self):
        counts = np.zeros(600, dtype=np.int64)
        counts[[400, 480, 500]] = [2, 1, 2]
        for p, ticks in [(0.5, 480), (0.4, 400), (0.41, 480), (0.99, 500), (0.0, 400)]:
            self.assertEqual(stats.histogram_percentile(counts, p), ticks, p)
        self.assertIsNone(stats.histogram_percentile(np.zeros(4), 0.5))
        counts[-1] = 6  # past what the buckets cover: no length to give
        self.assertEqual(stats.histogram_percentile(counts, 0.45), 500)
        self.assertIsNone(stats.histogram_percentile(counts, 0.5))
        counts[-1] = 0
        self.assertAlmostEqual(pacing.median_us(FREQUENCY, counts), 48.0)
        self.assertTrue(math.isnan(pacing.median_us(FREQUENCY, [])))


class PacingTest(unittest.TestCase):
    def test_lateness_and_rate_error_of_a_known_schedule(self):
        rate, scale, start = 100_000, 1000, 1_000  # a period of 100,000 ticks
        # Every toggle 40 ticks (4 µs) late: no drift, no rate error.
        runs, records = flushes_only(start, rate, scale, [40] * 1000)
        recorded = recording.parse(recording_bytes(runs, records))
        lateness = pacing.lateness_us(FREQUENCY, recorded.runs[0])
        np.testing.assert_array_equal(lateness, 4.0)
        self.assertEqual(pacing.rate_error_ppm(FREQUENCY, recorded.runs[0], lateness), 0)
        # Each period 1 tick (10 ppm) longer than scheduled: 10 ppm slow.
        stretch = list(range(1000))
        runs, records = flushes_only(start, rate, scale, stretch)
        run = recording.parse(recording_bytes(runs, records)).runs[0]
        ppm = pacing.rate_error_ppm(FREQUENCY, run, pacing.lateness_us(FREQUENCY, run))
        self.assertAlmostEqual(ppm, (1e5 / (1e5 + 1) - 1) * 1e6)

    def test_single_late_toggles_do_not_tilt_the_rate_error(self):
        # On time but for two toggles of the second half, 10 ms and 1 ms late:
        # the halves' medians agree, so no drift (their means would not).
        lateness = [0] * 1000
        lateness[700], lateness[900] = 100_000, 10_000
        runs, records = flushes_only(0, 100_000, 1000, lateness)
        run = recording.parse(recording_bytes(runs, records)).runs[0]
        self.assertEqual(pacing.rate_error_ppm(FREQUENCY, run, pacing.lateness_us(FREQUENCY, run)),
                         0)

    def test_percentiles_take_the_value_at_rank_ceil_p_n(self):
        values = np.arange(1000.0, 0.0, -1.0)  # in any order
        for p, expected in [(0.5, 500), (0.9, 900), (0.999, 999), (0.9991, 1000), (0.0, 1)]:
            self.assertEqual(stats.percentile(values, p), expected)
        self.assertTrue(math.isnan(stats.percentile([], 0.5)))
        # A value of the data, never between two: the median of four is the second.
        self.assertEqual(stats.median([4.0, 1.0, 3.0, 2.0]), 2.0)
        # p n that floating point puts a hair above a whole rank takes that rank.
        self.assertEqual(stats.percentile(np.arange(1.0, 8001.0), 0.95), 7600)
        self.assertEqual(stats.percentile(np.arange(1.0, 101.0), 0.07), 7)

    def test_both_documents_name_the_one_percentile_rule(self):
        for page in ("bench.md", "display.md"):
            with open(os.path.join(support.ROOT, "docs", page), encoding="utf-8") as f:
                self.assertTrue(stats.RULE in f.read(), "%s does not name the rule" % page)

    def test_a_stall_and_the_passes_make_the_result(self):
        # 10 s of passes from 2 ms after Start; two stalls of 150 ms in all.
        runs, records = flushes_only(0, 100, 1, [0] * 1200)
        records[-1] = (20_000 + 10 * FREQUENCY, 1199, FLUSH, 0)
        passes = (200_000, 3, 12, 20_000, 2, 1_500_000, 1_000_000)
        recorded = recording.parse(recording_bytes(runs, records, passes, [0, 0, 5, 0], [0, 7]))
        result, lateness = pacing.measure(recorded, 0)
        self.assertAlmostEqual(result.seconds, 10.0)
        self.assertEqual((result.passes, result.passesPerSecond), (200_000, 20_000))
        self.assertEqual((result.dropping, result.maxDue, result.stalls), (3, 12, 2))
        self.assertAlmostEqual(result.stalledPercent, 1.5)
        self.assertAlmostEqual(result.longestStallUs, 100_000)
        self.assertAlmostEqual(result.firstPassMs, 2.0)
        self.assertEqual((result.turnIdleUs, result.toggleUs), (0.2, 0.1))
        self.assertEqual((result.toggles, result.stops, result.stopAfterS), (1200, 0, 0.0))
        self.assertEqual(result.p50, 0.0)
        result, _ = pacing.measure(recorded, 1)
        self.assertAlmostEqual(result.stopAfterS, 10.002)

    def test_the_flush_check_wants_toggles_counting_from_0_without_a_gap(self):
        for toggles, passed in [([0, 1, 2, 3], True), ([0, 1, 3, 4], False),
                                ([1, 2, 3, 4], False), ([], False)]:
            runs, records = flushes_only(0, 120, 1, [0] * len(toggles), toggles)
            check = pacing.check_flushes(recording.parse(recording_bytes(runs, records)))
            self.assertEqual(check.passed, passed, toggles)
        # Every run counts from 0, the second as well as the first.
        for second, passed in [([0, 1, 2], True), ([0, 2, 3], False), ([1, 2, 3], False)]:
            first = [(10 + k, k, FLUSH, 1 - k % 2) for k in range(3)]
            then = [(500 + i, k, FLUSH, 1 - k % 2) for i, k in enumerate(second)]
            check = pacing.check_flushes(recording.parse(recording_bytes(
                [(0, 120, 1, 0, 4), (400, 120, 1, 3, 4)], first + then)))
            self.assertEqual(check.passed, passed, second)

    def test_the_stop_check_wants_one_notice_and_a_run_that_ended(self):
        short = flushes_only(0, 2_000_000, 1, [0] * 3)
        long = flushes_only(0, 120, 1, [0] * 240)  # paints on for 2 s
        # Start pressed again after the stop: a second short run.
        again = flushes_only(50_000, 2_000_000, 1, [0] * 3)[1]
        twice = ([short[0][0], (50_000, 2_000_000, 1, 3, 4)], short[1] + again)
        for (runs, records), stops, passed in [(short, 1, True), (short, 0, False),
                                                (short, 2, False), (long, 1, False),
                                                (twice, 1, False)]:
            check = pacing.check_stop(recording.parse(recording_bytes(runs, records)), stops)
            self.assertEqual(check.passed, passed, (len(runs), len(records), stops))

    def test_a_run_folder_gives_the_summary_and_lateness_files_the_report_reads(self):
        with tempfile.TemporaryDirectory() as out:
            folder = os.path.join(out, "run1")
            os.mkdir(folder)

            def write(name, data):
                with open(os.path.join(folder, name), "wb") as f:
                    f.write(data)
            runs, records = flushes_only(0, 100, 1, [10, 30, 20, 40])
            for design in pacing.DESIGNS:
                write("%s-60.bin" % design, recording_bytes(runs, records, idle=[0, 1, 0]))
            write("ours-60.log", b"stop 1 at 0.1 s\nsummary flashRate=60 stops=1\n")
            write("sleep1-60.log", b"wake-ups: 10\n")
            write("timer1-60.log", b"")
            write("stop-check.bin", recording_bytes(runs, records))
            write("stop-check.log", b"summary stops=0\n")
            write("costs.tsv", b"info\tseconds\t10.000\nbaseline\tgaps=3\tmaxUs=1500.0\n"
                  b"call\tIsWindow\t0.0810\n")
            printed = io.StringIO()
            with contextlib.redirect_stdout(printed):
                status = pacing.main(["pacing.py", folder])
            self.assertEqual(status, 1)  # the stop check saw no notice
            # A line of figures per design, the failed check alone, the count.
            lines = printed.getvalue().splitlines()
            self.assertEqual([l.split()[0] for l in lines[:3]], list(pacing.DESIGNS))
            self.assertEqual(lines[3:], ["FAIL check stop rule detected (notices 0, runs 1, "
                                         "painting for 0.040 s)", "1 passed, 1 failed"])
            with open(os.path.join(folder, "summary.tsv")) as f:
                kinds = [line.split("\t")[0] for line in f]
            with open(os.path.join(folder, "lateness-sleep1-60.txt")) as f:
                self.assertEqual(f.read(), "1.00\n3.00\n2.00\n4.00\n")
            run = pacing_report.read_run(out, "run1")
            # The whole report: every placeholder of its template filled.
            for name, text in [("machine.txt", "a machine\n"), ("native.txt", "allocations: 0\n"),
                               ("native.json", '{"benchmarks": [{"run_name": "passArithmetic/4",'
                                               ' "cpu_time": 26.0}]}')]:
                with open(os.path.join(out, name), "w") as f:
                    f.write(text)
            with mock.patch.object(sys, "argv", ["pacing_report.py", out, out]), \
                    contextlib.redirect_stdout(io.StringIO()):
                self.assertEqual(pacing_report.main(), 1)  # the failed check
            with open(os.path.join(out, "bench.md"), encoding="utf-8") as f:
                document = f.read()
            # Every field the report fills is a placeholder of its template.
            fields, _, _, _ = pacing_report.document(out)
            with open(pacing_report.TEMPLATE, encoding="utf-8") as f:
                placeholders = set(string.Template(f.read()).get_identifiers())
            self.assertEqual(set(fields), placeholders)
            self.assertEqual(fields["pass_calls"], "–")  # the costs have none of its calls
            # With every call of a pass in the costs, their sum.
            write("costs.tsv", "".join("call\t%s\t%.4f\n" % (label, 0.25 * (i + 1))
                                       for i, label in enumerate(pacing_report.PASS_CALLS))
                  .encode())
            with contextlib.redirect_stdout(io.StringIO()):
                pacing.main(["pacing.py", folder])
            self.assertEqual(pacing_report.document(out)[0]["pass_calls"], "2.50")
        self.assertIn(stats.RULE, document)
        # passes/s, loop turn, one toggle (none measured), p50 ... runs with a stop
        self.assertIn("| 60 | 0 | 0.1 | – | 2.0 | 4.0 |", document)
        self.assertIn("| 1 of 1 |", document)
        self.assertIn("run1: stop rule detected FAILED (notices 0, runs 1", document)
        self.assertEqual(kinds, ["info", "baseline", "call", "check", "check"] + ["result"] * 3)
        self.assertEqual([(c.name, c.passed) for c in run.checks],
                         [("flushes of runPass recorded", True), ("stop rule detected", False)])
        self.assertEqual((run.info, run.calls), ({"seconds": "10.000"}, {"IsWindow": 0.081}))
        self.assertEqual((run.baseline.gaps, run.baseline.maxUs), (3, 1500))
        self.assertTrue(math.isnan(run.baseline.over1ms))
        self.assertEqual(sorted(run.results), [(d, 60) for d in sorted(pacing.DESIGNS)])
        ours = run.results[("ours", 60)]
        self.assertEqual((ours.stops, ours.p50, ours.max, ours.toggles), (1, 2, 4, 4))
        self.assertEqual((ours.turnIdleUs, ours.lost, run.results[("sleep1", 60)].stops),
                         (0.1, 0, 0))

    def test_the_report_reads_calls_that_platform_costs_times(self):
        source, = glob.glob(os.path.join(support.ROOT, "measure", "*", "platform_costs.cpp"))
        with open(source, encoding="utf-8") as f:
            text = f.read()
        for label in (pacing_report.PEEK, pacing_report.FILL, pacing_report.FLUSH,
                      *pacing_report.PASS_CALLS):
            self.assertIn('reportCall("%s",' % label, text)


if __name__ == "__main__":
    unittest.main()
