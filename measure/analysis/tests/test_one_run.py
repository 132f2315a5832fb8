"""Tests of the one-run rule and its check (run as test_display.py is)."""

import contextlib
import io
import unittest
from unittest import mock

import numpy as np

import support  # noqa: F401  (the analyses on the import path)

import one_run_rule as rule  # noqa: E402
import person  # noqa: E402
import simulate  # noqa: E402

TOLERANCE = 100e-6


def rates_within(centre, count=401):
    """Real rates across centre +- 100 ppm, the ends included."""
    return centre * (1 + np.linspace(-TOLERANCE, TOLERANCE, count))


class RuleTest(unittest.TestCase):
    """The requirements, on plain arithmetic over many real rates."""

    def test_the_guide_table_by_hand(self):
        # 59.940: a = 0.041958, F = 59.898; t from 1/(59.945994 - 59.898) =
        # 20.84 s to 1/(59.934006 - 59.898) = 27.77 s, half a second more
        # either way: 20-29. 240: a = 0.168, t 5.21 to 6.94 s: 4-8.
        self.assertEqual((rule.flash_rate(59.940), rule.window(59.940)), (59.898, (20, 29)))
        self.assertEqual((rule.flash_rate(240.0), rule.window(240.0)), (239.832, (4, 8)))
        self.assertEqual((rule.flash_rate(144.0), rule.window(144.0)), (143.899, (8, 13)))

    def test_every_shown_rate_meets_every_requirement(self):
        for shown, nominal in rule.SHOWN.items():
            f = rule.flash_rate(shown)
            start, end = rule.window(shown)
            where = "shown %.3f" % shown
            self.assertEqual(f, round(f, 3), where)
            self.assertLess(f, shown, where)
            for centre in (shown, nominal):
                t = 1 / (rates_within(centre) - f)
                # Every rate within the tolerance is answered, with room for
                # a person's 0.4 s either side ...
                self.assertTrue(np.all((t - 0.4 >= start) & (t + 0.4 <= end)), where)
                # ... and half a period of any of them is flagged.
                self.assertTrue(np.all(t / 2 + 0.4 < start), where)
            if shown >= 140:
                self.assertLessEqual(end, 40, where)
            self.assertEqual(rule.rule_problems(shown), [], where)

    def test_both_directions_of_each_1000_1001_confusion_are_flagged(self):
        self.assertEqual(len(rule.CONFUSIONS), 8)
        for shown, mode in rule.CONFUSIONS:
            self.assertIn((mode, shown), rule.CONFUSIONS)
            self.assertAlmostEqual(max(shown, mode) / min(shown, mode), 1.001, delta=2e-6)
            start, end = rule.window(shown)
            t = 1 / np.abs(rates_within(rule.SHOWN[mode]) - rule.flash_rate(shown))
            self.assertTrue(np.all((t + 0.4 < start) | (t - 0.4 > end)),
                            "shown %.3f running as %.3f" % (shown, mode))

    def test_the_mirror_band_is_the_only_rate_answered_wrongly(self):
        for shown in rule.SHOWN:
            f = rule.flash_rate(shown)
            runs = rule.scan(shown)
            kinds = [k for k, _, _ in runs]
            self.assertEqual(kinds, ["flagged", "wrong", "flagged", "answered", "flagged"])
            self.assertEqual((runs[0][1], runs[-1][2]), (-rule.SCAN_PPM, rule.SCAN_PPM))
            _, first, last = runs[1]
            low, high = rule.mirror_band(shown)
            # The band's ends in whole ppm lie inside it, their neighbours not.
            for p, expected in ((first - 1, False), (first, True), (last, True),
                                (last + 1, False)):
                rate = shown * (1 + p * 1e-6)
                self.assertEqual(low <= rate <= high, expected, "%s %d" % (shown, p))
            # There F + 1/t = 2F - R: about 2a above the real rate.
            rate = (low + high) / 2
            t = 1 / (f - rate)
            self.assertTrue(rule.inside(shown, t))
            self.assertAlmostEqual(f + 1 / t - rate, 2 * (f - rate), places=9)
            self.assertGreater(2 * (f - rate), rule.amount(shown))
            # Clear of the 1000/1001 mode below D, and the rates around D answered.
            self.assertLess(high, shown * rule.NTSC * (1 - TOLERANCE))
            _, first, last = runs[3]
            self.assertTrue(first <= -100 and last >= 100, shown)

    def test_the_separations_choose_the_amount(self):
        half, confusion = rule.separations(rule.AMOUNT_PPM)
        self.assertAlmostEqual(half, confusion, delta=0.01)
        self.assertGreater(min(half, confusion), 1.4)
        # Three times the tolerance only just separates the half period.
        self.assertAlmostEqual(rule.separations(3 * TOLERANCE)[0], 1.0)
        low, high = rule.confusion_band()
        for amount, inside in ((low - 1e-6, False), ((low + high) / 2, True),
                               (high + 1e-6, False)):
            self.assertEqual(rule.separations(amount)[1] < 1, inside, amount)

    def test_exact_faults_of_a_rule_are_named(self):
        cases = [
            # A half period inside: a below three times the tolerance.
            ({"AMOUNT_PPM": 250e-6, "AMOUNT_FLOOR": 0.0}, 240.0, "half a period"),
            # A confusion inside: a in the 1000/1001 band.
            ({"AMOUNT_PPM": 500e-6, "AMOUNT_FLOOR": 0.0}, 144.0, "the mode shown as 143.856"),
            # A window too long at a high rate.
            ({"AMOUNT_PPM": 120e-6, "AMOUNT_FLOOR": 0.0}, 240.0, "ends past 40 s"),
            # No margin for the tolerance: D + 100 ppm falls short of it.
            ({"TIMING_MARGIN": -1.0}, 60.0, "outside the window"),
        ]
        for patch, shown, text in cases:
            with mock.patch.multiple(rule, **patch):
                problems = rule.rule_problems(shown)
            self.assertTrue(any(text in p for p in problems), (patch, problems))

    def test_a_stretch_of_rates_through_the_window_is_not_outside(self):
        # Ends on both sides of the window, the middle inside.
        f = rule.flash_rate(60.0)
        self.assertFalse(rule.outside_between(60.0, f + 1 / 40, f + 1 / 15))
        self.assertTrue(rule.outside_between(60.0, f + 1 / 60, f + 1 / 40))
        # F itself between the ends: t grows without bound, through the
        # window even when both ends give a t below it.
        self.assertFalse(rule.outside_between(60.0, f - 1 / 10, f + 1 / 10))
        self.assertTrue(rule.outside_between(60.0, f - 1 / 60, f + 1 / 60))


def timed_like(times):
    return person.Summary(0.0001, 0.0001, 0.0, 30.0, 31.0, len(times), 0,
                          np.full(len(times), 0.0001), 0, np.asarray(times, dtype=float))


class CheckOneRunTest(unittest.TestCase):
    """The check's line and failures on made-up people around shown 60.000."""

    def results(self, within=0.0, confused=0.0, half=0.0, shown=60.0):
        """People at the exact t, one of each case moved by the given seconds."""
        cases = [c for c in person.one_run_cases([60]) if c.shown == shown]
        one, halves = [], []
        for c in cases:
            t = rule.exact_time(shown, c.rate)
            move = confused if c.confused else within
            one.append((c, {person.CHECKED: timed_like([t, t + move, t])}))
            if not c.confused:
                halves.append((c, timed_like([t / 2, t / 2 + half])))
        return person.People([], one, halves)

    def check(self, results):
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            failures = simulate.check_one_run(results)
        return failures, out.getvalue().splitlines()

    def test_all_cases_on_their_side_pass_with_one_line(self):
        failures, lines = self.check(self.results())
        self.assertEqual(failures, 0)
        self.assertEqual(lines, ["one run: 1 shown rates, t within 20–29 s for real rates within "
                                 "±100 ppm, 3 of 3 mode confusions flagged, 3 of 3 half-period "
                                 "timings flagged"])

    def test_an_unflagged_confusion_fails(self):
        # 60.000 running at 59.94: t 42 to 84 s; a person 30 s short of it
        # lands inside the window of 60.000 only for the -100 ppm case.
        failures, lines = self.check(self.results(confused=-16.0))
        self.assertEqual(failures, 1)
        self.assertRegex(lines[0], r"^FAIL one run: shown 60\.000, F 59\.958, R 59\.934066 "
                                   r"\(a 59\.940 mode\): t 41\.78 s, 1 of 3 people's t inside")
        self.assertIn("2 of 3 mode confusions flagged", lines[-1])

    def test_an_unflagged_half_period_fails(self):
        failures, lines = self.check(self.results(half=10.0))
        self.assertEqual(failures, 3)
        self.assertTrue(all(l.startswith("FAIL one run: half periods, shown 60.000")
                            for l in lines[:3]))
        self.assertIn("0 of 3 half-period timings flagged", lines[-1])

    def test_a_person_outside_the_window_at_the_tolerance_fails(self):
        failures, lines = self.check(self.results(within=10.0))
        self.assertEqual(failures, 3)
        self.assertIn("1 of 3 people's t outside the window 20–29 s", lines[0])

    def test_a_window_past_the_flicker_limit_fails(self):
        # 120 ppm at 240: F = 239.971, t 1/(0.053) to 1/(0.005) s.
        with mock.patch.multiple(rule, AMOUNT_PPM=120e-6, AMOUNT_FLOOR=0.0):
            failures, lines = self.check(self.results(shown=240.0))
            self.assertGreater(failures, 0)
            self.assertTrue(any("window ends past 40 s" in l for l in lines), lines)
            # A = floor(1/(240.024 - 239.971) - 0.5), B = ceil(1/(239.976 - 239.971) + 0.5).
            self.assertTrue(lines[-1].startswith("one run: 1 shown rates, t within 18–201 s"))


if __name__ == "__main__":
    unittest.main()
