"""The one reader of recording files, laid out as measure/pacing/recording.h
defines them: the runs, every fill and flush, the passes and the two
histograms of loop turns and toggles. Both analyses read through it: the
display simulation (simulate.py convert) and the pacing figures (pacing.py).
"""

import struct
from typing import List, NamedTuple

import numpy as np

MAGIC = b"LKREC2\0\0"
FLUSH = 0xFFFF  # a record's kind for a flush; a fill's kind is its strip
HEADER = struct.Struct("<8sqIIII")
RUN = np.dtype([("start", "<i8"), ("rate", "<u4"), ("scale", "<u4"), ("first", "<u4"),
                ("strips", "<u4")])
RECORD = np.dtype([("ticks", "<i8"), ("toggle", "<u4"), ("kind", "<u2"), ("white", "<u2")])
PASSES = struct.Struct("<QIIqIIqq")


class Passes(NamedTuple):
    """The passes of all runs (RecordingPasses)."""
    passes: int
    dropping: int  # passes that found more than one toggle due
    max_due: int
    first_pass_ticks: int  # first run: from its start reading to its first pass
    stalls: int  # turns whose gap exceeded 1 ms
    stalled_ticks: int
    longest_stall_ticks: int


class Run(NamedTuple):
    """One run: its schedule and its records (RECORD rows), in order."""
    start_ticks: int
    toggle_rate: int
    rate_scale: int
    strip_count: int
    records: np.ndarray

    @property
    def flushes(self):
        return self.records[self.records["kind"] == FLUSH]


class Recording(NamedTuple):
    frequency: int  # counter ticks per second
    runs: List[Run]
    lost: int  # records and runs past the recorder's storage
    passes: Passes
    idle_turns: np.ndarray  # loop turns that painted nothing, per length in ticks
    toggle_costs: np.ndarray  # from a pass's reading to its first flush, per length in ticks


def due_ticks(toggle, toggle_rate, rate_scale, frequency):
    """Counter ticks after Start at which toggle k (0 first) falls due, as the
    pacer's toggleIndex has it: the first t whose index
    (t × toggleRate div rateScale) div frequency exceeds k, that is
    (k + 1) × rateScale × frequency / toggleRate rounded up."""
    numerator = (np.asarray(toggle, dtype=np.int64) + 1) * (int(rate_scale) * int(frequency))
    return -(-numerator // int(toggle_rate))


def parse(data, name="recording"):
    """A recording from the file's bytes; ValueError when they are not one."""
    if len(data) < HEADER.size or data[:8] != MAGIC:
        raise ValueError("%s: not a recording (%s)" % (name, MAGIC[:6].decode()))
    _, frequency, run_count, record_count, lost, buckets = HEADER.unpack_from(data, 0)
    sizes = [HEADER.size, RUN.itemsize * run_count, RECORD.itemsize * record_count,
             PASSES.size, 4 * buckets, 4 * buckets]
    offsets = np.cumsum(sizes)
    if offsets[-1] != len(data):
        raise ValueError("%s: %d bytes, the header calls for %d" % (name, len(data), offsets[-1]))
    table = np.frombuffer(data, RUN, run_count, offsets[0])
    records = np.frombuffer(data, RECORD, record_count, offsets[1])
    values = PASSES.unpack_from(data, offsets[2])
    passes = Passes(*values[:5], *values[6:])  # without the reserved field
    idle_turns = np.frombuffer(data, "<u4", buckets, offsets[3]).astype(np.int64)
    toggle_costs = np.frombuffer(data, "<u4", buckets, offsets[4]).astype(np.int64)
    bounds = [int(i) for i in table["first"]] + [record_count]
    if any(a > b for a, b in zip(bounds, bounds[1:])):
        raise ValueError("%s: runs' first records out of order: %s" % (name, bounds))
    runs = [Run(int(e["start"]), int(e["rate"]), int(e["scale"]), int(e["strips"]),
                records[bounds[i]:bounds[i + 1]]) for i, e in enumerate(table)]
    return Recording(int(frequency), runs, int(lost), passes, idle_turns, toggle_costs)


def read(path):
    with open(path, "rb") as f:
        return parse(f.read(), path)


def log_summary(path):
    """The last line `summary key=value ...` of a program's log as a dict
    (empty when it has none)."""
    with open(path, encoding="utf-8", errors="replace") as f:
        lines = [l for l in f if l.startswith("summary ")]
    return dict(item.split("=", 1) for item in lines[-1].split()[1:]) if lines else {}


def load_lines(path):
    """load.txt: per recording, the load average before and after, and how
    busy the CPUs were during it."""
    out = {}
    with open(path) as f:
        for line in f:
            name, _, rest = line.partition(" ")
            entry = out.setdefault(name, {})
            when = "load_before" if rest.startswith("before") else "load_after"
            entry[when] = rest.split("loadavg ")[1].split()[0]
            if "busy during the run " in rest:  # only after a run
                entry["busy"] = rest.split("busy during the run ")[1].split(" of")[0]
    return out
