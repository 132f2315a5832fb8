"""How often the flicker window flashes on a composed desktop: around each change,
as a steady beat when the estimate is far off, and when it is almost exact.

A flash is a pair of opposing changes of the whole flicker window's colour
(white to black and back, or black to white and back), as in WCAG 2.3.1;
flashes in a window of time are its colour changes divided by two.
"""

from typing import NamedTuple

import numpy as np

import observer


def colour(toggles, rate, phase, skip):
    """Painted composed frames from `skip` seconds on: times and whether each
    shows white."""
    times, white = observer.composed(toggles, rate, phase).painted()
    return times[times >= skip], white[times >= skip]


def change_times(times, white):
    """Times of the frames whose colour differs from the frame before."""
    return times[1:][white[1:] != white[:-1]]


def most_in_one_second(changes):
    """The most flashes in any one-second window (changes / 2)."""
    if len(changes) == 0:
        return 0.0
    ends = np.searchsorted(changes, changes + 1.0, side="left")
    return float((ends - np.arange(len(changes))).max()) / 2.0


def beat(toggles, rate, phase, skip=1.0):
    """Mean flashes per second over the run (after `skip` seconds) and the
    most in any one second."""
    times, white = colour(toggles, rate, phase, skip)
    changes = change_times(times, white)
    return len(changes) / 2.0 / (times[-1] - times[0]), most_in_one_second(changes)


def flicker_zones(toggles, rate, phase):
    """Around each decided change: the flicker's length (the first to the
    last frame of the other side's colour within half-way to the
    neighbouring changes), its flashes per second over that length, and
    the most flashes in any one second."""
    frames = observer.composed(toggles, rate, phase)
    decided = frames.changes()
    times, white = frames.painted()
    zones = []
    if len(decided) < 2:
        return zones
    half = np.diff(decided) / 2
    for j in range(1, len(decided) - 1):
        lo, hi = np.searchsorted(times, [decided[j] - half[j - 1], decided[j] + half[j]])
        seg_t, seg_w = times[lo:hi], white[lo:hi]
        mid = np.searchsorted(seg_t, decided[j])
        old, new = np.mean(seg_w[:mid]) >= 0.5, np.mean(seg_w[mid:]) >= 0.5
        stray = np.concatenate([np.flatnonzero(seg_w[:mid] != old),
                                mid + np.flatnonzero(seg_w[mid:] != new)])
        if len(stray) == 0:
            zones.append((0.0, 0.0, 0.0))
            continue
        start, end = seg_t[stray.min()], seg_t[stray.max()]
        inside = (seg_t >= start - 1e-9) & (seg_t <= end + 1e-9)
        changes = change_times(seg_t[inside], seg_w[inside])
        # Flashes over the zone and the frame after its last stray frame.
        length = end - start + 1.0 / rate
        zones.append((length, len(changes) / 2.0 / length, most_in_one_second(changes)))
    return zones


class Strays(NamedTuple):
    frames: int  # frames of the minority colour
    bursts: int
    most: float  # flashes in any one second, at most
    seconds: float  # the length looked at


def stray_frames(toggles, rate, phase, skip=1.0):
    """With the estimate almost exact: frames of the minority colour, the
    number of flicker bursts (minority frames less than 0.5 s apart count as
    one), and the most flashes in any one second."""
    times, white = colour(toggles, rate, phase, skip)
    minority = white != (np.mean(white) >= 0.5)
    stray = times[minority]
    bursts = 0 if len(stray) == 0 else 1 + int(np.count_nonzero(np.diff(stray) >= 0.5))
    return Strays(int(minority.sum()), bursts,
                  most_in_one_second(change_times(times, white)), float(times[-1] - times[0]))
