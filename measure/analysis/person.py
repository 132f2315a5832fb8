"""A person who times the flicker window on a composed desktop, beside the ideal
observer of observer.py.

What the person sees is the composed frames' colour (white when at least half
of its strips are white). Each change of the steady colour is a
segment of frames: from half-way since the previous change to half-way to
the next one, the changes being the ideal observer's (one-second majority).
Within its segment a change is pressed at one of three moments:

- "first": the first frame of the new colour;
- "steady": the frame at which the new colour has held for 0.5 s with no
  frame of the other colour, the moment a person can know that it is steady
  (a fixed delay after the change, so it cancels in a period);
- "middle": half-way between the first frame of the new colour and the last
  frame of the old one, known only afterwards (for comparison).

Every press carries its own Gaussian reaction error. A person times k
periods in one go, from the first whole change after Start (its old colour
seen before it) to the change 2k later, divides by k and reads the stopwatch
to 0.01 s. The rate comes from the core's own estimate (observer.Core) with
what the person types, the flash-rate field holding what they typed last.

Procedures:

- two runs (sign unknown): run 1 at F gives t; F' = F + 1/(2t) typed to
  0.001; run 2 at F' gives t'; the person types +t' when t' > t, else -t';
  the result is F' +- 1/t'.
- one run (the decimal rate D that Windows shows): F = D - a(D), typed to
  0.001 (one_run_rule); the person types +t. Cases: the real rate within the
  clocks' tolerance of D (answered when t falls in the window), a mode that
  runs 1000/1001 off the one shown (below F too: flagged), and the same run
  timed by half periods (one change to the next: flagged).
"""

from typing import NamedTuple

import numpy as np

import display
import observer
import one_run_rule
import stats

STEADY_SECONDS = 0.5
STRATEGIES = ("first", "steady", "middle")
SIGMAS = (0.05, 0.15, 0.3)
PERIODS = (1, 3)
PEOPLE = 1000  # per phase
SEED = 13


def press_moments(times, white, changes, whole=True):
    """Per decided change: the moments of the three strategies, a dict of
    arrays (nan where a segment has no frame of the new colour). Without
    `whole`, the model's earlier rule (kept to show what it changed): frames
    of the new colour before any of the old one, the first after Start,
    count as that colour held since before Start."""
    out = {s: np.full(len(changes), np.nan) for s in STRATEGIES}
    if len(changes) == 0 or len(times) == 0:
        return out
    gaps = np.diff(changes)
    # A lone change is looked at over the whole run.
    before = np.concatenate([[changes[0] - (gaps[0] if len(gaps) else np.inf) / 2],
                             (changes[:-1] + changes[1:]) / 2])
    after = np.concatenate([(changes[:-1] + changes[1:]) / 2,
                            [changes[-1] + (gaps[-1] if len(gaps) else np.inf) / 2]])
    # Time since the last frame of the other colour, per frame.
    index = np.arange(len(white))
    switch = np.concatenate([[True], white[1:] != white[:-1]])
    run_start = np.maximum.accumulate(np.where(switch, index, 0))
    last_other = np.where(run_start > 0, times[np.maximum(run_start - 1, 0)], -np.inf)
    held = times - last_other
    for j, c in enumerate(changes):
        lo, hi = np.searchsorted(times, [before[j], after[j]])
        mid = np.searchsorted(times, c)
        if hi <= lo or mid >= hi:
            continue
        # The new colour is the one most frames show after the change.
        new = np.mean(white[mid:hi]) >= 0.5
        # A change is seen from the first frame of the old colour on: frames
        # of the new colour before it (the first frames after Start) are not
        # a change, and a change whose old colour never showed is not whole.
        old_seen = np.flatnonzero(white[lo:mid] != new)
        if whole and not len(old_seen):
            continue
        lo += old_seen[0] if whole else 0
        seg_white = white[lo:hi]
        is_new = seg_white == new
        if not is_new.any():
            continue
        first = lo + np.argmax(is_new)
        old = np.flatnonzero(~is_new)
        last_old = lo + old[-1] if len(old) else first - 1
        out["first"][j] = times[first]
        out["middle"][j] = (times[first] + times[max(last_old, 0)]) / 2
        steady = np.flatnonzero(is_new & (held[lo:hi] >= STEADY_SECONDS))
        if len(steady):
            out["steady"][j] = times[lo + steady[0]]
    return out


def until(toggles, seconds):
    """The toggles filled by `seconds` after Start."""
    n = int(np.searchsorted(toggles.fills.max(axis=1), seconds, side="right"))
    scheduled = None if toggles.scheduled is None else toggles.scheduled[:n]
    return display.Toggles(toggles.number[:n], toggles.fills[:n], scheduled)


def needed_seconds(flash_rate, rate):
    """How much of a run a person needs for the most periods they time: the
    first whole change comes within half a period and a second, the change
    after the last one timed closes its segment; 5 s to spare."""
    gap = abs(rate - flash_rate)
    return np.inf if gap == 0 else (max(PERIODS) + 1.5) / gap + 5.0


class Look:
    """One run as seen at one phase: decided changes and press moments (of
    whole changes, or by the earlier rule: press_moments)."""

    def __init__(self, toggles, rate, phase, whole=True):
        frames = observer.composed(toggles, rate, phase)
        self.changes = frames.changes()
        self.moments = press_moments(*frames.painted(), self.changes, whole)

    def span(self, strategy, changes):
        """(start press, end press) from the first change pressed at to the
        change `changes` later (2 a period), or None when the run is too
        short."""
        m = self.moments[strategy]
        pressed = np.flatnonzero(~np.isnan(m))
        if not len(pressed) or pressed[0] + changes >= len(m) or np.isnan(m[pressed[0] + changes]):
            return None
        return m[pressed[0]], m[pressed[0] + changes]


# A person's two runs need up to t' = 2t = 100 s, 3 periods and the wait for
# the first change: 350 s and more; shorter recordings are replayed longer
# (display.Run.extended).
RUN_SECONDS = 420.0


class Runs:
    """Toggles of the recorded run replayed onto the schedule of any typed
    flash rate, and what each phase shows of them (cached)."""

    def __init__(self, run, rate, core, whole=True):
        self.run, self.rate, self.core = run.extended(RUN_SECONDS), rate, core
        self.whole = whole
        self.toggles, self.looks = {}, {}

    def replayed(self, flash_rate):
        """The toggles at a typed flash rate's pacing, as long as needed."""
        pacing = self.core.pacing(round(flash_rate, 3))  # typed to a thousandth
        if pacing not in self.toggles:
            self.toggles[pacing] = until(self.run.toggles(*pacing),
                                         needed_seconds(pacing.flash_rate, self.rate))
        return self.toggles[pacing]

    def look(self, flash_rate, phase):
        key = (self.core.pacing(round(flash_rate, 3)), phase)
        if key not in self.looks:
            self.looks[key] = Look(self.replayed(flash_rate), self.rate, phase, self.whole)
        return self.looks[key]


def timed(span, periods, sigma, rng, count):
    """`count` people's stopwatch readings of one span divided by the
    number of periods, to 0.01 s; and the moment each pressed the last time."""
    start, end = span
    noise = rng.normal(0.0, sigma, size=(count, 2))
    time = np.round((end - start + noise[:, 1] - noise[:, 0]) / periods, 2)
    return time, end + noise[:, 1]


class Summary(NamedTuple):
    """People's results for one case and one way of timing, summed up;
    figures are None when nobody could time the run."""
    median: float  # error, Hz
    p95: float
    sign_wrong: float  # % of people
    seconds_median: float  # from the first Start to the last press
    seconds_p95: float
    people: int
    missing: int  # people whose run was too short to time
    errors: np.ndarray  # every person's error, Hz
    sign_wrong_count: int
    times: np.ndarray = None  # every person's t of the (first) run as read, s


def summarise(rate, answers, sign_wrong, seconds, missing, times=()):
    """People's answers (Hz), wrong signs, seconds to an answer and times
    for one case and one way of timing, as a Summary."""
    e = np.abs(np.asarray(answers) - rate)
    times = np.concatenate([np.ravel(t) for t in times]) if len(times) else np.zeros(0)
    if not len(e):
        return Summary(None, None, None, None, None, 0, missing, e, 0, times)
    wrong, seconds = np.asarray(sign_wrong, dtype=bool), np.asarray(seconds)
    return Summary(stats.median(e), stats.percentile(e, 0.95), 100.0 * wrong.mean(),
                   stats.median(seconds), stats.percentile(seconds, 0.95), len(e), missing,
                   e, int(wrong.sum()), times)


def every_phase(runs, flash_rate, strategy, sigma, periods, phases, rng, people, answer,
                changes=None):
    """Every person at every phase: each times the run at F over `changes`
    changes (None: 2 per period) and divides by `periods`; `answer` turns
    their times and last presses into (answers, wrong signs, seconds, people
    who could not answer)."""
    changes = 2 * periods if changes is None else changes
    answers, wrong, seconds, times = [], [], [], []
    missing = 0
    for phase in phases:
        span = runs.look(flash_rate, phase).span(strategy, changes)
        if span is None:
            missing += people
            continue
        time, end = timed(span, periods, sigma, rng, people)
        got = answer(time, end)
        answers, wrong, seconds = answers + got[0], wrong + got[1], seconds + got[2]
        times.append(time)
        missing += got[3]
    return summarise(runs.rate, answers, wrong, seconds, missing, times)


def wrong_side(answers, typed, rate):
    """Per answer, whether it lies on the other side of the typed flash rate
    than the real rate: the sign of R − F the person typed was wrong."""
    return list((np.asarray(answers) > typed) != (rate > typed))


def two_runs(runs, flash_rate, strategy, sigma, periods, phases, rng, people):
    """The two-run procedure for every person at every phase. The second run
    starts at another phase, drawn per person."""
    def answer(time, end):
        second_rates = observer.second_estimate(flash_rate, time)
        second_phase = rng.integers(0, len(phases), size=people)
        noise = rng.normal(0.0, sigma, size=(people, 2))
        start2, end2 = np.full((2, people), np.nan)
        keys = np.stack([second_rates, second_phase], axis=1)
        for key in np.unique(keys, axis=0):
            chosen = np.all(keys == key, axis=1)
            span2 = runs.look(key[0], phases[int(key[1])]).span(strategy, 2 * periods)
            if span2 is not None:
                start2[chosen], end2[chosen] = span2
        done = ~np.isnan(end2)
        time2 = np.round((end2 - start2 + noise[:, 1] - noise[:, 0]) / periods, 2)[done]
        signed = np.where(time2 > time[done], time2, -time2)
        answers = runs.core.estimates(list(zip(second_rates[done], signed)))
        return (answers, wrong_side(answers, second_rates[done], runs.rate),
                list(end[done] + end2[done] + noise[done, 1]), int(np.count_nonzero(~done)))
    return every_phase(runs, flash_rate, strategy, sigma, periods, phases, rng, people, answer)


def one_run(runs, flash_rate, strategy, sigma, periods, phases, rng, people, half=False):
    """One run at F: the person types +t, a wrong sign when the real rate is
    below F. With `half` they time `periods` half periods instead (one change
    to the next each) and divide by their number."""
    def answer(time, end):
        answers = runs.core.estimates([(flash_rate, t) for t in time])
        return answers, wrong_side(answers, flash_rate, runs.rate), list(end), 0
    return every_phase(runs, flash_rate, strategy, sigma, periods, phases, rng, people, answer,
                       periods if half else None)


# ---- The cases a person is simulated on ----------------------------------------

CHECKED = ("steady", 0.15, 3)  # the way of timing the check judges
SIGN_LIMIT = 0.1  # % of people with the wrong sign the check allows
DISPLAY_5994 = 60000.0 / 1001.0


def two_run_cases(cases, judged):
    """(recording, F, R) of the two-run table: the judged cases, and 59.94 on
    a 60000/1001 Hz display after the guide's move of the estimate by 0.03."""
    out = [(f, f, r) for f in sorted(cases) for r in cases[f] if judged(f, r)]
    out += [(60, 59.97, DISPLAY_5994), (60, 59.91, DISPLAY_5994)]
    return out


class OneRunCase(NamedTuple):
    """One real rate behind a shown rate, and the recording replayed."""
    recording: int  # the recorded flash rate nearest to the shown one
    shown: float  # D
    flash_rate: float  # F, as typed
    rate: float  # R
    ppm: float  # R off the nominal rate of the mode it runs at
    mode: float  # the shown rate of that mode: D, or its 1000/1001 neighbour

    @property
    def confused(self):
        return self.mode != self.shown


def one_run_cases(recordings):
    """Per shown rate, its mode's nominal rate and that rate off by the
    clocks' tolerance; then the same for each 1000/1001 confusion. Each is
    replayed on the recording (flash rates recorded) nearest to its shown
    rate."""
    pairs = [(shown, shown) for shown in sorted(one_run_rule.SHOWN)] + one_run_rule.CONFUSIONS
    tolerance = one_run_rule.CLOCK_PPM
    return [OneRunCase(min(recordings, key=lambda f: (abs(f - shown), f)), shown,
                       one_run_rule.flash_rate(shown), one_run_rule.SHOWN[mode] * (1 + ppm), ppm,
                       mode)
            for shown, mode in pairs for ppm in (-tolerance, 0.0, tolerance)]


class People(NamedTuple):
    """Every person-observer figure: per case a row {way: Summary}."""
    two: list  # (F, R, row) of the two-run cases
    one: list  # (OneRunCase, row) of the one-run cases; confusions timed CHECKED only
    half: list = ()  # (OneRunCase, Summary): the unconfused cases timed by half periods


def seeded(flash_rate, rate, way, *more):
    """The people of one case and way of timing: a generator seeded by
    their numbers."""
    numbers = (flash_rate, rate, STRATEGIES.index(way[0])) + tuple(way[1:]) + more
    return np.random.default_rng([SEED] + [int(round(abs(x) * 1e4)) for x in numbers])


def evaluate(recordings, core, cases, judged, ways, phases, people, whole=True):
    """Every person case of the recordings (longest runs by flash rate, one
    for every flash rate of `cases`), timed each way of `ways` (None: every
    way) at `phases` by `people` people per phase; the one-run confusions and
    half periods only the checked way. `whole`: as press_moments."""
    if ways is None:
        ways = [(s, sigma, k) for s in STRATEGIES for sigma in SIGMAS for k in PERIODS]

    def row(procedure, runs, flash_rate, chosen):
        return {way: procedure(runs, flash_rate, *way, phases, seeded(flash_rate, runs.rate, way),
                               people)
                for way in chosen}
    two = [(f, r, row(two_runs, Runs(recordings[recording], r, core, whole), f, ways))
           for recording, f, r in two_run_cases(cases, judged)]
    one, half = [], []
    for case in one_run_cases(recordings):
        runs = Runs(recordings[case.recording], case.rate, core, whole)
        one.append((case, row(one_run, runs, case.flash_rate,
                              [CHECKED] if case.confused else ways)))
        if not case.confused:
            rng = seeded(case.flash_rate, case.rate, CHECKED, 1)
            half.append((case, one_run(runs, case.flash_rate, *CHECKED, phases, rng, people,
                                       half=True)))
    return People(two, one, half)
