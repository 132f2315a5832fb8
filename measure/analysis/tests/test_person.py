"""Tests of the person observer and the flash counts of the display
simulation (run as test_display.py is)."""

import contextlib
import io
import unittest

import numpy as np

import support

import display  # noqa: E402
import flashes  # noqa: E402
import observer  # noqa: E402
import one_run_rule  # noqa: E402
import person  # noqa: E402
import recording  # noqa: E402
import report_person  # noqa: E402
import simulate  # noqa: E402

CORE = support.core()


class IdealRun:
    """Stands for a recorded run: toggles exactly on any rate's schedule."""

    def __init__(self, seconds):
        self.seconds = seconds

    def toggles(self, toggle_rate, rate_scale):
        return support.ideal_toggles(observer.Pacing(toggle_rate, rate_scale).flash_rate,
                                     self.seconds)

    def extended(self, seconds):
        return self


class TypingCore(observer.Core):
    """The core's numbers, noting every flash rate typed into the field."""

    def __init__(self):
        super().__init__(CORE.command)
        self.typed = []

    def answers(self, pairs):
        self.typed += [float(f) for f, _ in pairs]
        return super().answers(pairs)


class PressMomentsTest(unittest.TestCase):
    rate = 60.0

    def test_each_moment_of_a_change_with_flicker_after_it(self):
        # White until 10 s, black after, with white frames at 10.2 and 10.6 s:
        # first black at 10 s, last white at 10.6 s, steady 0.5 s after that.
        times = np.arange(0, 30, 1 / self.rate)
        white = times < 10 - 1e-9
        white[np.isclose(times, 10.2) | np.isclose(times, 10.6)] = True
        moments = person.press_moments(times, white, np.array([10.3]))
        self.assertAlmostEqual(moments["first"][0], 10.0, places=6)
        self.assertAlmostEqual(moments["middle"][0], 10.3, places=6)
        self.assertAlmostEqual(moments["steady"][0], 11.1, places=6)

    def test_steady_is_the_same_delay_after_every_clean_change(self):
        times = np.arange(0, 60, 1 / self.rate)
        white = (np.floor(times / 10) % 2 == 0)
        moments = person.press_moments(times, white, np.array([10.0, 20.0, 30.0, 40.0]))
        # 0.5 s of frames after the last frame of the old colour.
        np.testing.assert_allclose(moments["steady"] - moments["first"], 0.5 - 1 / self.rate,
                                   atol=1e-9)
        np.testing.assert_allclose(np.diff(moments["steady"]), 10.0, atol=1e-9)

    def test_frames_of_the_new_colour_right_after_start_are_not_its_change(self):
        # Black for 0.7 s after Start, white until 10 s, black after: the
        # change to black at 10 s is pressed after it, not at Start.
        times = np.arange(0, 30, 1 / self.rate)
        white = (times >= 0.7) & (times < 10 - 1e-9)
        moments = person.press_moments(times, white, np.array([10.0]))
        self.assertAlmostEqual(moments["first"][0], 10.0, places=6)
        self.assertAlmostEqual(moments["steady"][0], 10.5 - 1 / self.rate, places=6)
        # The earlier rule took the first frames for black held since before
        # Start, and pressed at Start.
        earlier = person.press_moments(times, white, np.array([10.0]), whole=False)
        self.assertEqual((earlier["first"][0], earlier["steady"][0]), (0.0, 0.0))

    def test_a_change_whose_old_colour_never_showed_is_skipped(self):
        # White from Start to 4 s, black to 20 s, white after; the one-second
        # majority saw a change at 2 s (to white) that was never whole.
        times = np.arange(0, 40, 1 / self.rate)
        white = (times < 4) | (times >= 20)
        moments = person.press_moments(times, white, np.array([2.0, 4.0, 20.0]))
        self.assertTrue(np.isnan(moments["steady"][0]))
        # The earlier rule pressed it, at the start of its segment (1 s).
        earlier = person.press_moments(times, white, np.array([2.0, 4.0, 20.0]), whole=False)
        self.assertAlmostEqual(earlier["steady"][0], 1.0, places=6)

        class Seen(person.Look):
            def __init__(self, moments):
                self.moments = moments
        # The first change pressed at starts the span.
        self.assertEqual(Seen(moments).span("steady", 1),
                         (moments["steady"][1], moments["steady"][2]))
        self.assertIsNone(Seen(moments).span("steady", 2))


class TimedTest(unittest.TestCase):
    def test_the_stopwatch_reads_to_a_hundredth_and_divides_by_the_periods(self):
        rng = np.random.default_rng(1)
        time, end = person.timed((2.0, 92.004), 3, 0.0, rng, 4)
        np.testing.assert_array_equal(time, [30.0] * 4)
        np.testing.assert_array_equal(end, [92.004] * 4)
        time, _ = person.timed((0.0, 60.0), 1, 0.3, rng, 20000)
        # Two presses, each with sigma 0.3 s: the period's spread is 0.3 * sqrt(2).
        self.assertAlmostEqual(np.std(time), 0.3 * np.sqrt(2), delta=0.01)


class ProcedureTest(unittest.TestCase):
    phases = [0.0, 0.5]

    def test_two_runs_give_the_real_rate_on_both_sides_with_f_prime_in_the_field(self):
        for flash_rate, rate in [(60.0, 60.04), (60.0, 59.96)]:
            runs = person.Runs(IdealRun(200), rate, CORE)
            rng = np.random.default_rng(2)
            outcome = person.two_runs(runs, flash_rate, "steady", 0.05, 3, self.phases,
                                      rng, people=50)
            self.assertEqual(outcome.missing, 0)
            self.assertEqual(outcome.sign_wrong_count, 0)
            # With F' in the field, typing +-t' gives F' +- 1/t' = R; typing
            # the first run's t instead would be 1/(2t) = 0.02 Hz off.
            self.assertLess(np.percentile(outcome.errors, 95), 0.002)

    def test_the_second_run_is_typed_to_a_thousandth(self):
        core = TypingCore()
        runs = person.Runs(IdealRun(200), 60.03, core)
        person.two_runs(runs, 60.0, "steady", 0.3, 1, self.phases, np.random.default_rng(6),
                        people=50)
        raised = set(core.typed) - {60.0}
        # F' = 60 + 1/(2 × 33.3 s), 60.015, give or take the people's spread.
        self.assertTrue(raised and all(60.01 <= f <= 60.02 for f in raised), raised)
        self.assertEqual({round(f, 3) for f in raised}, raised)

    def test_f_prime_is_half_of_1_over_t_higher_and_at_least_a_thousandth(self):
        raised = observer.second_estimate(60.0, np.array([33.0, -20.0, 900.0]))
        np.testing.assert_array_equal(raised, [60.015, 60.025, 60.001])
        self.assertEqual(observer.second_estimate(143.9, 10.0), 143.95)

    def test_one_run_below_the_shown_rate_reads_plus_t(self):
        # 0.0007 x D = 0.041958 for 59.940 and 0.168 for 240, to a thousandth.
        self.assertEqual(one_run_rule.flash_rate(59.940), 59.898)
        self.assertEqual(one_run_rule.flash_rate(240.0), 239.832)
        self.assertEqual(one_run_rule.flash_rate(143.963), 143.862)
        runs = person.Runs(IdealRun(150), 60000 / 1001, CORE)
        outcome = person.one_run(runs, 59.898, "steady", 0.15, 3, self.phases,
                                 np.random.default_rng(3), people=50)
        self.assertEqual(outcome.sign_wrong_count, 0)
        self.assertLess(np.median(outcome.errors), 0.0005)
        # The answer comes with the sixth change: three periods of about 24 s.
        self.assertGreater(outcome.seconds_median, 3 * 23.8)
        np.testing.assert_allclose(outcome.times, 1 / (60000 / 1001 - 59.898), atol=0.5)

    def test_one_run_below_the_typed_rate_gets_every_sign_wrong(self):
        # R = 59.85 below F = 59.898: t = 20.8 s, and F + 1/t lies 2(F - R)
        # above the real rate.
        runs = person.Runs(IdealRun(200), 59.85, CORE)
        outcome = person.one_run(runs, 59.898, "steady", 0.15, 3, self.phases,
                                 np.random.default_rng(3), people=50)
        self.assertEqual((outcome.sign_wrong_count, outcome.sign_wrong), (100, 100.0))
        self.assertAlmostEqual(np.median(outcome.errors), 2 * (59.898 - 59.85), delta=0.001)

    def test_half_periods_timed_give_half_the_time(self):
        rate = 60000 / 1001
        runs = person.Runs(IdealRun(150), rate, CORE)
        outcome = person.one_run(runs, 59.898, "steady", 0.05, 3, self.phases,
                                 np.random.default_rng(3), people=50, half=True)
        self.assertEqual(len(outcome.times), 100)
        np.testing.assert_allclose(outcome.times, 0.5 / (rate - 59.898), atol=0.2)

    def test_a_display_well_above_the_shown_rate_gives_a_short_t(self):
        # F = 239.832, window 4-8 s: 0.5 Hz above D changes every 1.5 s.
        start, _ = one_run_rule.window(240.0)
        self.assertLess(1 / (240.5 - 239.832), start)
        self.assertFalse(one_run_rule.inside(240.0, 1 / (240.5 - 239.832)))

    def test_runs_too_short_for_the_periods_are_counted_as_missing(self):
        runs = person.Runs(IdealRun(40), 60.02, CORE)
        outcome = person.one_run(runs, 60.0, "steady", 0.15, 3, self.phases,
                                 np.random.default_rng(4), people=10)
        self.assertEqual(outcome.missing, 20)
        self.assertEqual(outcome.people, 0)


class ExtendedRunTest(unittest.TestCase):
    def test_a_short_run_is_replayed_longer_from_after_its_first_second(self):
        # 120 toggles a second for 10 s; toggle k late by k ticks.
        count = 1200
        run = display.Run(10_000_000, 120_000, 1000, np.arange(count), np.arange(count),
                          np.zeros((count, 1), dtype=np.int64))
        longer = run.extended(25.0)
        self.assertGreaterEqual(len(longer.number), 25 * 120)
        np.testing.assert_array_equal(longer.number, np.arange(len(longer.number)))
        # The copy starts with the toggle after the first second (120).
        np.testing.assert_array_equal(longer.lateness[count:count + 3], [120, 121, 122])
        self.assertGreater(longer.toggles().end, 25.0)
        self.assertIs(run.extended(5.0), run)
        # A run within its first second has nothing to repeat.
        with self.assertRaisesRegex(ValueError, "120 toggles ends within 1 s"):
            display.Run(10_000_000, 120_000, 1000, np.arange(120), np.zeros(120),
                        np.zeros((120, 1), dtype=np.int64)).extended(25.0)


def summary(wrong_share, people=1000, missing=0):
    errors = np.full(people, 0.0001)
    wrong = int(round(wrong_share * people))
    return person.Summary(0.0001, 0.0001, 100.0 * wrong / people, 100.0, 110.0, people, missing,
                          errors, wrong)


class StartPressTest(unittest.TestCase):
    def test_a_first_frame_between_the_catch_up_toggles_and_the_next_was_pressed_early(self):
        # 60 flashes/s, 10 MHz: toggle k due at (k + 1)/120 s. The first pass
        # paints toggles 0-3 at 43.0-43.3 ms; toggle 4 (white), due at
        # 41.67 ms, comes at 43.8 ms; the rest on time. At 60.05 Hz, phase
        # 5/8, the first frame (2.625/60.05 s = 43.71 ms) shows toggle 3's
        # black, 2.05 ms after toggle 4 fell due; each frame comes
        # 1/60 - 1/60.05 s earlier against the toggles, and reaches that due
        # time after 147.5 frames, 2.46 s.
        count = 120 * 30
        due = recording.due_ticks(np.arange(count), 120_000, 1000, 10_000_000)
        painted = due.copy()
        painted[:5] = [430_000, 431_000, 432_000, 433_000, 438_000]
        run = display.Run(10_000_000, 120_000, 1000, np.arange(count), painted - due,
                          np.zeros((count, 1), dtype=np.int64))
        found = report_person.early_presses({60: run}, CORE,
                                            person.People([(60, 60.05, {})], []))
        self.assertIn((60, 60, 60.05, 0.625), [e[:4] for e in found])
        _, _, _, phase, earlier, whole = [e for e in found if e[3] == 0.625][0]
        frames = report_person.start_frames(60, phase, earlier, whole)
        self.assertEqual([frames[k] for k in ("first_frame", "last", "colour", "next", "other")],
                         ["0.0437", "3", "black", "4", "white"])
        self.assertEqual((frames["offset"], frames["reach"], frames["early"]),
                         ("2.05", "2.46", "0.044"))
        # The whole change to black comes as the frames reach toggle 4's due
        # time, and is pressed when black has held 0.5 s.
        self.assertAlmostEqual(float(frames["change"]), 2.46, delta=0.05)
        self.assertAlmostEqual(float(frames["now"]) - float(frames["change"]), 0.5, delta=0.05)

    def test_a_list_in_prose(self):
        self.assertEqual([report_person.listed(w) for w in ([], ["60"], ["60", "240"],
                                                             ["a", "b", "c"])],
                         ["none", "60", "60 and 240", "a, b and c"])


class CheckPeopleTest(unittest.TestCase):
    def check_with(self, shares, missing=0):
        results = person.People([(60.0, 60.02 + i, {person.CHECKED: summary(w, missing=missing)})
                                 for i, w in enumerate(shares)], [])
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            problems = simulate.check_people(results)
        return problems, out.getvalue().splitlines()

    def test_more_than_a_tenth_of_a_percent_wrong_signs_fails(self):
        problems, lines = self.check_with([0.0, 0.001])
        self.assertEqual(problems, 0)
        self.assertEqual(len(lines), 1)  # the summary alone: no line per case passed
        problems, lines = self.check_with([0.0, 0.002])
        self.assertEqual(problems, 1)
        self.assertTrue(lines[0].startswith("FAIL person F 60, R 61.02"))
        self.assertEqual(len(lines), 2)

    def test_people_whose_run_was_too_short_fail(self):
        problems, lines = self.check_with([0.0], missing=5)
        self.assertEqual(problems, 1)
        self.assertTrue(lines[0].startswith("FAIL person F 60, R 60.02") and
                        lines[0].endswith(", 5 runs too short"), lines[0])
        results = person.People([(60.0, 60.02, {person.CHECKED: person.summarise(
            60.02, [], [], [], 8000)})], [])
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            self.assertEqual(simulate.check_people(results), 1)
        self.assertEqual(out.getvalue().splitlines()[0],
                         "FAIL person F 60, R 60.02: every run too short to time")

    def test_confusions_below_f_are_left_to_the_one_run_check(self):
        # A shown 60.000 running at 59.94: everybody types +t, the sign is
        # wrong by design; the case is flagged, not answered.
        case = [c for c in person.one_run_cases([60]) if c.confused and c.shown == 60.0][0]
        results = person.People([(60.0, 60.02, {person.CHECKED: summary(0.0)})],
                                [(case, {person.CHECKED: summary(1.0)})])
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            problems = simulate.check_people(results)
        self.assertEqual(problems, 0)
        self.assertTrue(out.getvalue().splitlines()[-1].endswith("sign wrong 0.00 % over 1 cases"))

    def test_the_summary_line_pools_every_case(self):
        _, lines = self.check_with([0.0, 0.002])
        self.assertEqual(lines[-1], "person (steady, σ 0.15 s, 3 periods): median 0.000100 Hz, "
                                    "p95 0.000100 Hz, sign wrong 0.10 % over 2 cases")


class EvaluateTest(unittest.TestCase):
    def test_the_same_seed_gives_the_same_people(self):
        runs = {60: IdealRun(120)}
        cases = {60: [60.05]}

        def once():
            out = person.evaluate(runs, CORE, cases, lambda f, r: True,
                                  [("steady", 0.3, 1)], [0.0], people=20)
            return out.two[0][2][("steady", 0.3, 1)].errors
        first, second = once(), once()
        self.assertEqual(len(first), 20)  # 20 people at the one phase
        np.testing.assert_array_equal(first, second)
        self.assertGreater(np.ptp(first), 0)  # the reaction noise is there


class FlashesTest(unittest.TestCase):
    def test_changes_on_schedule_do_not_flicker_and_late_toggles_do(self):
        toggles = support.ideal_toggles(240, 60)
        zones = flashes.flicker_zones(toggles, 240.1, 0.3)
        self.assertGreater(len(zones), 5)
        self.assertTrue(all(z == (0.0, 0.0, 0.0) for z in zones))
        rng = np.random.default_rng(5)
        late = display.Toggles(toggles.number,
                               toggles.fills + rng.uniform(0, 2e-3, size=(len(toggles.number), 1)))
        zones = flashes.flicker_zones(late, 240.1, 0.3)
        # 2 ms of spread at 240 Hz and |R - F| = 0.1 Hz: about 2e-3 * 240 / 0.1 = 4.8 s.
        lengths = [z[0] for z in zones]
        self.assertGreater(np.median(lengths), 1.0)
        self.assertLess(max(lengths), 5.0)

    def test_a_far_off_estimate_beats_at_the_aliased_rate(self):
        toggles = support.ideal_toggles(60, 20)
        mean, most = flashes.beat(toggles, 75.0, 0.3)
        self.assertAlmostEqual(mean, 15.0, delta=0.2)
        self.assertLessEqual(most, 16.0)
        mean, _ = flashes.beat(support.ideal_toggles(144, 20), 165.0, 0.3)
        self.assertAlmostEqual(mean, 21.0, delta=0.2)

    def test_flashes_in_one_second_are_changes_over_two(self):
        self.assertEqual(flashes.most_in_one_second(np.array([0.1, 0.2, 0.3, 0.4, 2.0])), 2.0)
        self.assertEqual(flashes.most_in_one_second(np.array([])), 0.0)

    def test_an_exact_estimate_on_the_schedule_shows_no_stray_frame(self):
        toggles = support.ideal_toggles(60, 30)
        stray = flashes.stray_frames(toggles, 60.0, 0.3)
        self.assertEqual((stray.frames, stray.bursts, stray.most), (0, 0, 0.0))
        late = display.Toggles(toggles.number, toggles.fills.copy())
        # Every composition at this phase shows black; one black toggle most
        # of a frame late lets the white before it show for a frame.
        late.fills[999] += 0.6 / 60
        stray = flashes.stray_frames(late, 60.0, 0.3)
        self.assertEqual((stray.frames, stray.bursts), (1, 1))


if __name__ == "__main__":
    unittest.main()
