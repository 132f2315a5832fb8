"""The one-run rule, for a display whose rate Windows shows with decimals.

The user types F = D - a(D), to a thousandth, below the shown rate D, times t
(a full period: from one change to the change after next, over 3 periods,
divided by 3) and types +t; F + 1/t is the real rate R. The guide prints for
each shown rate a window [A, B] of whole seconds: a t outside it sends the
user to the two runs.

Assumption: R lies within D +- 100 ppm of D in the counter's seconds (the PC's
counter and the pixel clock, about +-50 ppm each). Why a(D) is the larger of
0.04 Hz and 700 ppm of D (separations() gives the ratios):

- Half a period timed (one change to the next) gives t/2; it stays below the
  window only when a exceeds three times the tolerance, and whole seconds
  and a person's spread need a margin on top: at 350 ppm the slowest half
  period lies only 1.11 times below the window's exact start, and at 240 Hz
  (t about 9 s) no whole second separates it from the people's t.
- A mode shown as D that runs 1000/1001 off (60.000 running at 59.940, and
  the reverse) lies 1000 ppm from D; below F it gives the same t as a rate
  as far above F, inside the window's exact ends for a from 400 to 600 ppm,
  and too close to it for the people's spread up to about 650 ppm.
- At 700 ppm both the half period and the nearest confusion lie 1.5 times
  outside the window's exact ends. The window ends by 13 s from 140 Hz on,
  well within the guide's flicker limit of about 40 s; the 0.04 Hz floor
  keeps t near 25 s below 57 Hz.
- The cost: t is short at high rates (10 s at 144, 6 s at 240), and a
  person's error grows as 1/t squared.
"""

import math
from fractions import Fraction

import numpy as np

CLOCK_PPM = 100e-6  # counter and pixel clock together, worst case
AMOUNT_PPM = 700e-6
AMOUNT_FLOOR = 0.04  # Hz
# A person's t lands up to about 0.4 s from the exact t (the simulation's
# 8000 people per case at 240 Hz); the window keeps half a second for that.
TIMING_MARGIN = 0.5
FLICKER_LIMIT = 40  # s: the longest window end at high rates ...
HIGH_RATE = 140.0  # ... from this shown rate on (144 and 240 flashes/s)
SCAN_PPM = 2000  # the deviation scan reaches this far either side of D

NTSC = 1000.0 / 1001.0
# The shown rates the guide covers and the nominal rate of each mode.
SHOWN = {59.940: 60.0 * NTSC, 60.000: 60.0, 119.880: 120.0 * NTSC, 120.000: 120.0,
         143.856: 144.0 * NTSC, 143.963: 143.963, 144.000: 144.0, 165.000: 165.0,
         239.760: 240.0 * NTSC, 240.000: 240.0}
# The 1000/1001 confusions: (shown D, the shown rate of the mode it runs at).
CONFUSIONS = [(60.000, 59.940), (59.940, 60.000), (120.000, 119.880), (119.880, 120.000),
              (144.000, 143.856), (143.856, 144.000), (240.000, 239.760), (239.760, 240.000)]


def amount(shown):
    """a(D), Hz."""
    return max(AMOUNT_FLOOR, AMOUNT_PPM * shown)


def flash_rate(shown):
    """F, what the user types for a shown rate, to a thousandth."""
    return round(shown - amount(shown), 3)


def exact(value):
    """A decimal as typed or shown, as an exact fraction."""
    return Fraction(repr(float(value)))


def window(shown):
    """(A, B): the whole seconds that t falls within for any real rate
    within the tolerance, with a person's margin either side."""
    d, f = exact(shown), exact(flash_rate(shown))
    tolerance, margin = exact(CLOCK_PPM), exact(TIMING_MARGIN)
    start = 1 / (d * (1 + tolerance) - f) - margin
    end = 1 / (d * (1 - tolerance) - f) + margin
    return math.floor(start), math.ceil(end)


def inside(shown, times):
    """Per time, whether the one run answers it (True) or flags it."""
    start, end = window(shown)
    times = np.asarray(times, dtype=float)
    return (times >= start) & (times <= end)


def exact_time(shown, rate):
    """The t a display at `rate` gives from the typed F: 1/|R - F| (inf at F)."""
    gap = abs(rate - flash_rate(shown))
    return math.inf if gap == 0 else 1.0 / gap


def separations(amount_ppm, tolerance=CLOCK_PPM):
    """For an amount in ppm of D (F's rounding aside): how many times shorter
    than the window's exact start the slowest half period is, and how many
    times the nearest 1000/1001 confusion below D lies outside the window's
    exact ends (below 1: inside). The confusion above D lies further off."""
    half = 2 * (amount_ppm - tolerance) / (amount_ppm + tolerance)
    near, far = 1 - NTSC * (1 + tolerance), 1 - NTSC * (1 - tolerance)  # D - R, ppm
    confusion = max((near - amount_ppm) / (amount_ppm + tolerance),
                    (amount_ppm - tolerance) / (far - amount_ppm))
    return half, confusion


def confusion_band(tolerance=CLOCK_PPM):
    """(low, high), in ppm of D as a share: the amounts at which the nearest
    1000/1001 confusion below D lands inside the window's exact ends."""
    near, far = 1 - NTSC * (1 + tolerance), 1 - NTSC * (1 - tolerance)
    return (near - tolerance) / 2, (far + tolerance) / 2


def outside_between(shown, low, high):
    """Whether every real rate from `low` to `high` gives a t outside the
    window: t runs monotonically between the ends' t, or up to infinity
    when F lies between them."""
    start, end = window(shown)
    ends = sorted((exact_time(shown, low), exact_time(shown, high)))
    if low <= flash_rate(shown) <= high:
        return ends[0] > end
    return ends[1] < start or ends[0] > end


def mirror_band(shown):
    """(lowest, highest) real rate, Hz, below F whose t falls in the window:
    one run answers F + 1/t, above the real rate by 2(F - R)."""
    start, end = window(shown)
    f = flash_rate(shown)
    return f - 1.0 / start, f - 1.0 / end


def scan(shown, reach=SCAN_PPM):
    """Real rates D(1 + p) for every whole p ppm within +-reach: runs of
    (outcome, first ppm, last ppm), outcome 'flagged' (t outside the
    window), 'answered' (R above F: F + 1/t = R) or 'wrong' (R below F)."""
    ppm = np.arange(-reach, reach + 1)
    rate = shown * (1 + ppm * 1e-6)
    f = flash_rate(shown)
    with np.errstate(divide="ignore"):
        t = 1.0 / np.abs(rate - f)
    outcome = np.where(inside(shown, t), np.where(rate > f, "answered", "wrong"), "flagged")
    edges = np.flatnonzero(outcome[1:] != outcome[:-1]) + 1
    starts, ends = np.concatenate([[0], edges]), np.concatenate([edges, [len(ppm)]]) - 1
    return [(str(outcome[s]), int(ppm[s]), int(ppm[e])) for s, e in zip(starts, ends)]


def tolerance_rates(shown):
    """The lowest and highest real rate the tolerance allows: around D and
    around the mode's nominal rate (59.940 is 60000/1001 Hz)."""
    centres = (shown, SHOWN.get(shown, shown))
    return min(centres) * (1 - CLOCK_PPM), max(centres) * (1 + CLOCK_PPM)


def rule_problems(shown):
    """What the rule gets wrong at one shown rate in exact arithmetic (empty
    when nothing): t at the tolerance's ends outside the window, a half
    period at the slowest rate inside it, a 1000/1001 confusion inside it,
    or a window that ends past the flicker limit at a high rate."""
    start, end = window(shown)
    where = "shown %.3f (F %.3f, window %d–%d s)" % (shown, flash_rate(shown), start, end)
    problems = []
    low, high = tolerance_rates(shown)
    for rate in (low, high):
        if not inside(shown, exact_time(shown, rate)):
            problems.append("%s: R %.5f gives t %.2f s, outside the window"
                            % (where, rate, exact_time(shown, rate)))
    half = exact_time(shown, low) / 2
    if half >= start:
        problems.append("%s: half a period at R %.5f is %.2f s, not below the window"
                        % (where, low, half))
    for confused, mode in CONFUSIONS:
        if confused == shown and not outside_between(shown, SHOWN[mode] * (1 - CLOCK_PPM),
                                                     SHOWN[mode] * (1 + CLOCK_PPM)):
            problems.append("%s: the mode shown as %.3f (%.5f Hz +- 100 ppm) gives a t inside"
                            % (where, mode, SHOWN[mode]))
    if shown >= HIGH_RATE and end > FLICKER_LIMIT:
        problems.append("%s: the window ends past %d s" % (where, FLICKER_LIMIT))
    return problems
