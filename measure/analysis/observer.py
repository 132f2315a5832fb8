"""An automatic observer that measures as the guide tells a user to.

- It watches one place: the flicker window at a fixed height (scanout) or
  the window's colour (compositor); per frame it sees the share of its
  strips that are white.
- It decides the colour by a majority over about one second, as an eye does,
  not by the first flicker: a change counts once the new colour holds at
  least `STEADY` of the frames of a one-second window, and it is timed at the
  moment the one-second majority switched, the middle of any flicker.
- It times all complete periods (from a change to the change after next) and
  averages them: several periods, divided.
- On scanout it takes the direction from the boundary's path over many
  frames; on a composed desktop the direction cannot be seen, and a second
  run at another estimate tells which of the two candidate rates is real.
- The computed rate and the pacing of a typed flash rate come from the
  core itself (toggleRateFor and estimateRefreshRate through the native
  command core_numbers), never from a copy of its arithmetic.
"""

import subprocess
from typing import NamedTuple

import numpy as np

import display
import stats

STEADY = 0.9  # share of a second's frames that makes a colour steady


def one_second_share(times, share, refresh_rate):
    """Centred one-second mean of the per-frame white share (frames before
    the first fill are left out)."""
    keep = ~np.isnan(share)
    times, share = times[keep], share[keep]
    window = max(1, int(round(refresh_rate)))
    if len(share) < window:
        return times[:0], share[:0]
    mean = np.convolve(share, np.ones(window) / window, mode="valid")
    offset = (window - 1) / 2.0
    centre = np.interp(np.arange(len(mean)) + offset, np.arange(len(times)), times)
    return centre, mean


def decide_changes(times, share, refresh_rate):
    """Times at which the steady colour changed, timed at the last crossing
    of one half before the new colour became steady."""
    centre, mean = one_second_share(times, share, refresh_rate)
    steady = np.where(mean >= STEADY, 1, np.where(mean <= 1 - STEADY, -1, 0))
    decided = np.flatnonzero(steady != 0)
    changes = []
    # Only neighbouring decided frames of opposite colours hold a change.
    flips = np.flatnonzero(steady[decided[1:]] != steady[decided[:-1]])
    for a, b in zip(decided[flips], decided[flips + 1]):
        # Last crossing of 1/2 between the old steady frame a and the new b.
        above = mean[a:b + 1] > 0.5
        flips = np.flatnonzero(above[1:] != above[:-1])
        i = a + flips[-1]
        y0, y1 = mean[i] - 0.5, mean[i + 1] - 0.5
        changes.append(centre[i] + (centre[i + 1] - centre[i]) * y0 / (y0 - y1))
    return np.array(changes)


def average_period(changes):
    """Mean time of all complete periods (change i to change i + 2), or None
    when the recording holds no complete period."""
    if len(changes) < 3:
        return None
    return float(np.mean(changes[2:] - changes[:-2]))


class Composed(NamedTuple):
    """One run as a composed desktop shows it at one phase: each frame's time,
    its strips' colours and the share of them that is white (nan before every
    strip's first fill)."""
    rate: float
    times: np.ndarray
    colours: np.ndarray  # [frame, strip]: 1 white, 0 black, nan unpainted
    share: np.ndarray

    def painted(self):
        """The painted frames: their times and whether each shows white (at
        least half of its strips white), the colour a person sees."""
        keep = ~np.isnan(self.share)
        return self.times[keep], self.share[keep] >= 0.5

    def changes(self):
        """The changes of the one-second majority (decide_changes)."""
        return decide_changes(self.times, self.share, self.rate)


def composed(toggles, refresh_rate, phase):
    times, colours = display.scanout_at_line(toggles, refresh_rate, phase, 0)
    return Composed(refresh_rate, times, colours, np.mean(colours, axis=1))


def boundary_drift(toggles, refresh_rate, phase):
    """Direction and speed of the scanned boundary: the visible positions of
    the white fills of the leftmost strip, smoothed by their circular mean
    over each second, unwrapped and fitted with a line. Frames per second,
    positive downward; `None` when too little of it was seen."""
    times, frame, line = display.scanout_positions(toggles, refresh_rate, phase)
    seen = line < display.LINES_VISIBLE
    times, fraction = times[seen], line[seen] / display.LINES_TOTAL
    if len(times) < 2:
        return None
    second = np.floor(times).astype(np.int64)
    angle = np.exp(2j * np.pi * fraction)
    bins = np.unique(second)
    sums = np.bincount(second - bins[0], weights=angle.real) + \
        1j * np.bincount(second - bins[0], weights=angle.imag)
    sums = sums[bins - bins[0]]
    path = np.unwrap(np.angle(sums)) / (2 * np.pi)
    if len(path) < 2:
        return None
    return float(np.polyfit(bins + 0.5, path, 1)[0])


def wobble_lines(toggles, refresh_rate, phase):
    """How far each visible white boundary of the leftmost strip lands from
    its smooth drift, in lines of the 1080. The smooth drift is the path the
    boundary would take if every toggle were late by the same (median)
    amount: the schedule's own drift, shifted."""
    times, frame, line = display.scanout_positions(toggles, refresh_rate, phase)
    chosen = toggles.white == 1.0
    late = times - toggles.scheduled[chosen]
    seen = line < display.LINES_VISIBLE
    offset = late[seen] - stats.median(late)
    return np.abs(offset) * refresh_rate * display.LINES_TOTAL


class Pacing(NamedTuple):
    """The pacer's rate as toggleRateFor sets it: toggle_rate colour toggles
    per rate_scale seconds."""
    toggle_rate: int
    rate_scale: int

    @property
    def flash_rate(self):
        """Flashes per second paced: a flash is two toggles."""
        return self.toggle_rate / (2.0 * self.rate_scale)


class Answer(NamedTuple):
    """What the core computes for a typed flash rate and pass time."""
    estimate: float  # the estimate, Hz
    text: str  # the estimate's field text
    pacing: Pacing


class Core:
    """The core's own numbers: a native command (core_numbers) that reads
    "FLASH TIME" lines and answers each with the estimate the dialog would
    show and the pacing toggleRateFor set. Pacings are kept per flash rate."""

    def __init__(self, command):
        self.command = command
        self.pacings = {}

    def answers(self, pairs):
        if not pairs:
            return []
        pairs = [(float(f), float(t)) for f, t in pairs]
        text = "".join("%r %r\n" % pair for pair in pairs)
        out = subprocess.run([self.command], input=text, capture_output=True, text=True,
                             check=True).stdout
        answers = []
        for (flash_rate, _), line in zip(pairs, out.splitlines()):
            estimate, field, toggle_rate, rate_scale = line.split("\t")
            pacing = Pacing(int(toggle_rate), int(rate_scale))
            self.pacings[flash_rate] = pacing
            answers.append(Answer(float(estimate), field, pacing))
        return answers

    def estimates(self, pairs):
        return [a.estimate for a in self.answers(pairs)]

    def pacing(self, flash_rate):
        """The pacing a typed flash rate gives (any time will do)."""
        flash_rate = float(flash_rate)
        if flash_rate not in self.pacings:
            self.answers([(flash_rate, 1.0)])
        return self.pacings[flash_rate]


class Observation(NamedTuple):
    """What one look at one picture gave."""
    changes: np.ndarray  # decided change times, s
    period: float  # averaged complete period, s (None: no period)
    drift: float = None  # scanout only: frames per second, positive downward


def observe_scanout(toggles, refresh_rate, phase, line=display.LINES_VISIBLE // 2):
    times, colours = display.scanout_at_line(toggles, refresh_rate, phase, line)
    changes = decide_changes(times, np.mean(colours, axis=1), refresh_rate)
    return Observation(changes, average_period(changes),
                       boundary_drift(toggles, refresh_rate, phase))


def observe_compositor(toggles, refresh_rate, phase):
    changes = composed(toggles, refresh_rate, phase).changes()
    return Observation(changes, average_period(changes))


def second_estimate(flash_rate, period):
    """F′, the estimate for the second run on a composed desktop: F raised by
    half of 1/|t| (well inside 2/|t|, where a raise still tells the
    direction) and by at least 0.001, as typed, to a thousandth. For one t
    or an array of them (the ideal observer's, or every person's)."""
    return np.round(flash_rate + np.maximum(0.001, 0.5 / np.abs(period)), 3)


def shared_candidate(first, second):
    """The candidate rate two runs share: of first = (F - 1/|t|, F + 1/|t|)
    and second = (F' - 1/|t'|, F' + 1/|t'|), the one of the first run that
    lies nearest to one of the second."""
    distances = [(abs(a - b), a) for a in first for b in second]
    return min(distances)[1]
