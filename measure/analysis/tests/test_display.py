"""Tests of the display models and the observer of the display simulation
(run as support.py says)."""

import contextlib
import io
import os
import subprocess
import tempfile
import unittest

import numpy as np

import support

import display  # noqa: E402
import observer  # noqa: E402
import recording  # noqa: E402
import simulate  # noqa: E402

CORE = support.core()


def ideal_replay(seconds):
    def replay(second_rate):
        return support.ideal_toggles(CORE.pacing(second_rate).flash_rate, seconds)
    return replay


class IdealTogglesTest(unittest.TestCase):
    def test_both_models_recover_the_rate_within_the_frame_quantisation(self):
        # Changes are seen at frame times only: the time of each is off by up
        # to 1/R, so R comes out within (1/R)(R - F)^2 plus rounding.
        for flash_rate, rate in [(60, 60.04), (60, 59.95), (60, 60.0173), (144, 143.95),
                                 (240, 240.1), (240, 239.93)]:
            toggles = support.ideal_toggles(flash_rate, 180)
            results = simulate.run_case(None, flash_rate, rate, CORE, toggles,
                                        ideal_replay(180))
            bound = (rate - flash_rate) ** 2 / rate + 1e-9
            for r in results:
                where = "F %g, R %g, %s, phase %g" % (flash_rate, rate, r.model, r.phase)
                self.assertIsNotNone(r.estimate, where)
                self.assertLessEqual(r.error, bound, where)
                # The sign is recovered: the estimate is on the side of R.
                self.assertEqual(r.estimate > flash_rate, rate > flash_rate, where)

    def test_equal_rates_read_as_no_movement(self):
        toggles = support.ideal_toggles(60, 120)
        results = simulate.run_case(None, 60, 60.0, CORE, toggles, ideal_replay(120))
        self.assertEqual(simulate.verdict(60, 60.0, results, 120), [])
        self.assertTrue(all(r.changes == 0 for r in results))

    def test_the_scanned_boundary_drifts_down_when_the_display_is_faster(self):
        toggles = support.ideal_toggles(60, 60)
        self.assertAlmostEqual(observer.boundary_drift(toggles, 60.05, 0.3), 0.05, places=4)
        self.assertAlmostEqual(observer.boundary_drift(toggles, 59.95, 0.3), -0.05, places=4)


class ScanoutTest(unittest.TestCase):
    def test_a_late_toggle_moves_its_boundary_down_by_the_lines_scanned_meanwhile(self):
        rate, phase = 60.0, 0.25
        toggles = support.ideal_toggles(60.01, 10)
        _, frame, line = display.scanout_positions(toggles, rate, phase)
        late = display.Toggles(toggles.number, toggles.fills.copy())
        delay = 1e-3  # 1 ms at 60 Hz and 1125 lines: 67.5 lines
        late.fills[200, :] += delay
        _, frame2, line2 = display.scanout_positions(late, rate, phase)
        moved = (frame2 - frame) * display.LINES_TOTAL + (line2 - line)
        self.assertAlmostEqual(moved[100], delay * rate * display.LINES_TOTAL, places=6)
        self.assertEqual(np.count_nonzero(np.abs(moved) > 1e-9), 1)

    def test_wobble_is_the_distance_from_the_drift_of_equally_late_toggles(self):
        run = display.Run(10_000_000, 120_000, 1000, np.arange(1200), np.full(1200, 500),
                          np.zeros((1200, 1), dtype=np.int64))
        toggles = run.toggles()
        # All equally late: the boundary follows its drift exactly.
        self.assertLess(observer.wobble_lines(toggles, 60.05, 0.0).max(), 1e-6)
        # One white toggle 1 ms later than the rest: 67.5 lines at 60 Hz.
        run.lateness[600] += 10_000
        wobble = observer.wobble_lines(run.toggles(), 60.0, 0.0)
        self.assertAlmostEqual(wobble.max(), 1e-3 * 60.0 * display.LINES_TOTAL, places=3)
        self.assertEqual(np.count_nonzero(wobble > 1e-6), 1)

    def test_the_drift_keeps_its_direction_through_toggles_half_a_frame_late(self):
        toggles = support.ideal_toggles(240, 60)
        late = display.Toggles(toggles.number, toggles.fills.copy())
        late.fills[::50] += 0.6 / 240  # every 50th toggle 0.6 frames late
        self.assertAlmostEqual(observer.boundary_drift(late, 239.95, 0.5), -0.05, places=3)

    def test_a_fill_at_the_instant_of_a_sample_is_shown(self):
        toggles = display.Toggles([0, 1], [[0.5], [1.0]])
        colours = display.colours_at(toggles, 0, np.array([0.25, 0.5, 0.75, 1.0]))
        np.testing.assert_array_equal(colours[1:], [1.0, 1.0, 0.0])
        self.assertTrue(np.isnan(colours[0]))


class ObserverTest(unittest.TestCase):
    rate = 60.0

    def frames(self, seconds):
        return np.arange(int(seconds * self.rate)) / self.rate

    def test_a_change_is_timed_at_the_middle_of_its_flicker_not_at_the_first_flicker(self):
        # White, then 4 s in which black frames grow from none to all, then
        # black: the eye's one-second majority switches in the middle, at 12 s.
        times = self.frames(30)
        rng = np.random.default_rng(7)
        black_share = np.clip((times - 10) / 4, 0, 1)
        share = (rng.random(len(times)) >= black_share).astype(float)
        changes = observer.decide_changes(times, share, self.rate)
        self.assertEqual(len(changes), 1)
        self.assertAlmostEqual(changes[0], 12.0, delta=0.3)

    def test_steady_flicker_without_a_trend_is_no_change(self):
        times = self.frames(180)
        share = (np.random.default_rng(3).random(len(times)) < 0.5).astype(float)
        self.assertEqual(len(observer.decide_changes(times, share, self.rate)), 0)


class SignRuleTest(unittest.TestCase):
    def test_the_candidate_both_runs_share_is_the_real_rate(self):
        for flash_rate, rate in [(60, 60.04), (60, 59.96), (240, 240.07), (240, 239.93)]:
            period = 1 / abs(rate - flash_rate)
            second_rate = observer.second_estimate(flash_rate, period)
            # The raise stays below 2/|t|, where it still tells the direction.
            self.assertLess(second_rate - flash_rate, 2 / period)
            second_period = 1 / abs(rate - second_rate)
            first = CORE.estimates([(flash_rate, -period), (flash_rate, period)])
            second = CORE.estimates([(second_rate, -second_period),
                                          (second_rate, second_period)])
            self.assertAlmostEqual(observer.shared_candidate(first, second), rate, places=6)


    def test_a_second_run_too_slow_to_time_means_the_rate_is_above(self):
        # t = 50 s; the second run at F + 0.01 changes every 50 s, too slowly
        # for a complete period in 90 s: the drift slowed, so R is above F.
        toggles = support.ideal_toggles(60, 90)
        results = simulate.run_case(None, 60, 60.02, CORE, toggles, ideal_replay(90))
        for r in results:
            if r.model == "compositor":
                self.assertIsNone(r.second_time)
                self.assertAlmostEqual(r.estimate, 60.02, places=4)


class CoreNumbersTest(unittest.TestCase):
    def test_each_line_gives_the_estimate_its_text_and_the_pacing(self):
        # toggleRate is 2 F toggles per rateScale = 1000 s, rounded half up;
        # the estimate is 1/t plus the paced flash rate, toggleRate / (2 rateScale).
        answers = CORE.answers([(60, 10), (60.0004, 2), (60.0002, -4)])
        self.assertEqual([tuple(a.pacing) for a in answers],
                         [(120000, 1000), (120001, 1000), (120000, 1000)])
        self.assertEqual([a.text for a in answers], ["60.100000", "60.500500", "59.750000"])
        self.assertAlmostEqual(answers[1].estimate, 60.5005, places=9)
        self.assertEqual(CORE.pacing(60.0004).flash_rate, 60.0005)


class CommandTest(unittest.TestCase):
    def test_a_missing_recording_stops_the_check_naming_it(self):
        with tempfile.TemporaryDirectory() as data:
            run = display.Run(10_000_000, 120_000, 1000, np.arange(10), np.zeros(10),
                              np.zeros((10, 1)))
            display.save_runs(os.path.join(data, "recording-60.npz"), [run])
            with self.assertRaises(SystemExit) as raised:
                simulate.check(data, CORE)
        message = str(raised.exception)
        self.assertRegex(message, r"^missing recordings: \S*recording-144\.npz, "
                                  r"\S*recording-240\.npz \(")

    def test_convert_wants_both_folders(self):
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            self.assertEqual(simulate.main(["simulate.py", "convert", "raw"]), 2)
        self.assertIn("simulate.py convert RAW_DIR DATA_DIR", out.getvalue())


class ScheduleTest(unittest.TestCase):
    def test_a_toggle_falls_due_at_the_first_tick_whose_toggle_index_exceeds_it(self):
        # The pacer's toggleIndex of t ticks after Start, in whole numbers:
        # (t × toggleRate div rateScale) div frequency.
        def index(ticks, pacing, frequency):
            return ticks * pacing.toggle_rate // pacing.rate_scale // frequency
        toggles = [0, 1, 2, 7, 999, 123_457]
        for flash_rate in (60.0, 59.94, 143.963, 239.916, 1000.0, 0.00225):
            pacing = CORE.pacing(flash_rate)
            for frequency in (10_000_000, 3_579_545, 2_400_000_000):
                due = recording.due_ticks(toggles, *pacing, frequency)
                for k, t in zip(toggles, due.tolist()):
                    where = (flash_rate, frequency, k)
                    self.assertGreater(index(t, pacing, frequency), k, where)
                    self.assertLessEqual(index(t - 1, pacing, frequency), k, where)


class RecordLogsTest(unittest.TestCase):
    def test_the_driver_summary_and_the_load_log_are_read_per_recording(self):
        with tempfile.TemporaryDirectory() as folder:
            log = os.path.join(folder, "soak-240.log")
            with open(log, "w") as f:
                f.write("note: started\nsummary flashRate=240 seconds=600.0 stops=2 "
                        "memEndWorkingSet=2048 memEndPrivate=n/a\n")
            # load.txt as the recording scripts write it (tools/lib.sh), busy
            # since the CPU times it is given (0 0: since boot).
            load = os.path.join(folder, "load.txt")
            lib = os.path.join(support.ROOT, "tools", "lib.sh")
            # The one-minute load average read around the lines, which it
            # may change between (every 5 s).
            def minute_load():
                with open("/proc/loadavg") as f:
                    return f.read().split()[0]
            around = {minute_load()}
            subprocess.run(["bash", "-c", 'source "$0"; load_line soak-240 before >"$1";'
                            ' load_line soak-240 after 0 0 >>"$1"', lib, load], check=True)
            around.add(minute_load())
            summary = simulate.driver_summary(log)
            self.assertEqual((summary["stops"], summary["memEndPrivate"]), ("2", "n/a"))
            self.assertEqual(recording.log_summary(load), {})  # no summary line
            lines = recording.load_lines(load)
            self.assertEqual(list(lines), ["soak-240"])
            entry = lines["soak-240"]
            self.assertEqual(sorted(entry), ["busy", "load_after", "load_before"])
            self.assertIn(entry["load_before"], around)
            self.assertIn(entry["load_after"], around)
            self.assertTrue(entry["busy"].endswith("%"), entry["busy"])
            self.assertTrue(0 < float(entry["busy"][:-1]) <= 100, entry["busy"])


if __name__ == "__main__":
    unittest.main()
