"""What a display shows of the flicker window, computed from toggle times.

A run is a `Toggles`: for every painted toggle k (0-based; white when k is
even) the counter time of each strip's fill, in seconds from the run's start.
Two small display models turn it into pictures:

- Scanout (no compositor): the display scans 1080 visible lines and 45
  blanking lines (CEA-861 1080p timing, 1125 lines a frame) from top to
  bottom once per 1/R s; each line shows the colour of the latest fill of its
  strip made at or before the moment the scan reaches it.
- Compositor: once per 1/R s every strip takes the colour of its latest fill
  made at or before the composition; the whole frame shows that.

Frame n starts (line 0 of scanout, or the composition) at (phase + n) / R s
after the run's start, phase in [0, 1). Ties: a fill at the very instant of
a sample is shown by it. Everything is computed from the fill times
directly (a binary search per sample), never line by line.
"""

import numpy as np

import recording

LINES_VISIBLE = 1080
LINES_TOTAL = 1125  # 45 lines of vertical blanking
UNPAINTED = np.nan  # a strip before its first fill


class Toggles:
    """Painted toggles of one run: numbers and fill times per strip."""

    def __init__(self, number, fills, scheduled=None):
        self.number = np.asarray(number, dtype=np.int64)  # toggle k of each row
        self.fills = np.asarray(fills, dtype=np.float64)  # [toggle, strip] seconds
        self.white = (self.number % 2 == 0).astype(np.float64)
        # When each toggle fell due, seconds (None: exactly at its fills).
        self.scheduled = None if scheduled is None else np.asarray(scheduled, dtype=np.float64)

    @property
    def strips(self):
        return self.fills.shape[1]

    @property
    def end(self):
        return float(self.fills[-1].max()) if len(self.number) else 0.0


# ---- Recordings --------------------------------------------------------------

class Run:
    """One recorded run: the schedule it followed and how late each toggle's
    fills and flush came, in counter ticks."""

    def __init__(self, frequency, toggle_rate, rate_scale, number, lateness, fill_offsets):
        self.frequency = int(frequency)
        self.toggle_rate = int(toggle_rate)
        self.rate_scale = int(rate_scale)
        self.number = np.asarray(number, dtype=np.int64)
        self.lateness = np.asarray(lateness, dtype=np.int64)  # flush - scheduled
        self.fill_offsets = np.asarray(fill_offsets, dtype=np.int64)  # fill - flush

    def toggles(self, toggle_rate=None, rate_scale=None):
        """The run's toggles; with another pacing (a toggle rate and its rate
        scale, as the core sets them), its recorded lateness replayed onto
        that schedule."""
        rate = self.toggle_rate if toggle_rate is None else int(toggle_rate)
        scale = self.rate_scale if rate_scale is None else int(rate_scale)
        due = recording.due_ticks(self.number, rate, scale, self.frequency)
        fills = (due + self.lateness)[:, None] + self.fill_offsets
        return Toggles(self.number, fills / float(self.frequency), due / float(self.frequency))

    def extended(self, seconds, skip=1.0):
        """The run lengthened to at least `seconds` of toggles by repeating
        its recorded lateness and fill offsets from `skip` seconds on (the
        first pass after Start paints its toggles together, late, once): the
        same timing, replayed for longer. The run itself when long enough;
        ValueError when it ends within `skip` seconds, with nothing to repeat."""
        count = len(self.number)
        period = self.rate_scale / float(self.toggle_rate)  # seconds per toggle
        if count == 0 or (self.number[-1] + 1) * period >= seconds:
            return self
        first = int(np.searchsorted(self.number, int(skip / period)))
        if first == count:
            raise ValueError("a run of %d toggles ends within %g s: nothing to replay"
                             % (count, skip))
        step = np.diff(self.number, prepend=-1)
        steps, lateness, offsets = [step], [self.lateness], [self.fill_offsets]
        total = int(self.number[-1]) + 1
        while total * period < seconds:
            steps.append(step[first:])
            lateness.append(self.lateness[first:])
            offsets.append(self.fill_offsets[first:])
            total += int(step[first:].sum())
        number = np.cumsum(np.concatenate(steps)) - 1
        return Run(self.frequency, self.toggle_rate, self.rate_scale, number,
                   np.concatenate(lateness), np.concatenate(offsets))


def recorded_runs(recorded):
    """The display runs of a recording (recording.Recording)."""
    return [run_from_records(recorded.frequency, run) for run in recorded.runs]


def run_from_records(frequency, run):
    """Groups a recorded run's records (recording.Run) by toggle: the fills
    of strips 0..n-1 of one toggle, then its flush."""
    strips, records = run.strip_count, run.records
    if len(records) % (strips + 1) != 0:
        raise ValueError("%d records do not make whole toggles of %d fills and a flush"
                         % (len(records), strips))
    groups = records.reshape(-1, strips + 1)
    pattern = np.append(np.arange(strips), recording.FLUSH)
    bad = np.flatnonzero(np.any(groups["kind"] != pattern, axis=1)
                         | np.any(groups["toggle"] != groups["toggle"][:, :1], axis=1))
    if len(bad):
        raise ValueError("toggle group %d is not fills 0..%d and a flush: %s"
                         % (bad[0], strips - 1, groups[bad[0]]))
    number = groups["toggle"][:, -1].astype(np.int64)
    flush = groups["ticks"][:, -1].astype(np.int64)
    scheduled = recording.due_ticks(number, run.toggle_rate, run.rate_scale, frequency)
    lateness = flush - run.start_ticks - scheduled
    offsets = groups["ticks"][:, :-1].astype(np.int64) - flush[:, None]
    return Run(frequency, run.toggle_rate, run.rate_scale, number, lateness, offsets)


def save_runs(path, runs):
    """Writes runs compactly (numpy's compressed archive): lateness and fill
    offsets are small numbers, the toggle numbers nearly consecutive."""
    arrays = {"runs": np.array([[r.frequency, r.toggle_rate, r.rate_scale, len(r.number)]
                                for r in runs], dtype=np.int64)}
    for i, r in enumerate(runs):
        arrays["step%d" % i] = np.diff(r.number, prepend=-1).astype(np.int32)
        arrays["lateness%d" % i] = r.lateness.astype(np.int32)
        arrays["offsets%d" % i] = r.fill_offsets.astype(np.int32)
    np.savez_compressed(path, **arrays)


def load_runs(path):
    with np.load(path) as archive:
        return [Run(frequency, rate, scale, np.cumsum(archive["step%d" % i].astype(np.int64)) - 1,
                    archive["lateness%d" % i], archive["offsets%d" % i])
                for i, (frequency, rate, scale, _) in enumerate(archive["runs"])]


# ---- The two models ------------------------------------------------------------

def frame_starts(refresh_rate, phase, end):
    """Start of every frame up to `end` seconds."""
    count = int(np.floor((end * refresh_rate) - phase)) + 1
    return (phase + np.arange(count)) / refresh_rate


def colours_at(toggles, strip, times):
    """Colour of one strip at each time: 1 white, 0 black, nan unpainted."""
    index = np.searchsorted(toggles.fills[:, strip], times, side="right") - 1
    colour = np.full(len(times), UNPAINTED)
    painted = index >= 0
    colour[painted] = toggles.white[index[painted]]
    return colour


def scanout_at_line(toggles, refresh_rate, phase, line):
    """Per scanned frame: when the scan reaches `line`, and every strip's
    colour there [frame, strip]. At line 0, the frame's start, it is the
    composed frame."""
    times = frame_starts(refresh_rate, phase, toggles.end) + line / (LINES_TOTAL * refresh_rate)
    colours = np.stack([colours_at(toggles, j, times) for j in range(toggles.strips)], axis=1)
    return times, colours


def scanout_positions(toggles, refresh_rate, phase, strip=0, colour=1.0):
    """Where each fill of `strip` in `colour` shows on a scanned display: its
    time, the frame it lands in, and the line (fractional, 0 at the top) at
    which the picture changes to that colour. Lines of 1080 and above fall
    in the blanking and are not seen."""
    chosen = toggles.white == colour
    times = toggles.fills[chosen, strip]
    position = times * refresh_rate - phase
    frame = np.floor(position)
    line = (position - frame) * LINES_TOTAL
    return times, frame.astype(np.int64), line


def scanout_picture(toggles, refresh_rate, phase, strip, times, rows):
    """Colour of `strip` at frame-start times `times` (columns) on `rows`
    visible lines from the top (for pictures)."""
    lines = (np.arange(rows) + 0.5) * LINES_VISIBLE / rows
    grid = times[None, :] + lines[:, None] / (LINES_TOTAL * refresh_rate)
    return colours_at(toggles, strip, grid.ravel()).reshape(grid.shape)
