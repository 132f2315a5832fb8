#!/usr/bin/env python3
"""The pacing figures of one benchmark run, from its recordings.

Usage: pacing.py RUN_DIR

RUN_DIR (written by tools/bench.sh) holds, per design and flash rate,
<design>-<rate>.bin (the recording) and .log (the program's output; the
recorder's driver ends it with `summary key=value ...`), costs.tsv (the
info, baseline and call lines of the cost measurements), and stop-check.bin
and .log (the driver at 10^6 flashes/s with both drop limits 0).

Writes RUN_DIR/summary.tsv: those info, baseline and call lines, a `check`
line per check and a `result` line per design and rate; and
RUN_DIR/lateness-<design>-<rate>.txt, one toggle's lateness in µs a line.
Prints each design's figures, the failed checks and a line "N passed, M
failed"; exits 1 when a check fails.
"""

import collections
import math
import os
import sys

import numpy as np

import recording
import stats

DESIGNS = ("ours", "sleep1", "timer1")
RATES = (60, 144, 240, 1000)

# A result line's fields, in order, with their formats.
FIELDS = (("seconds", "%.3f"), ("passes", "%d"), ("passesPerSecond", "%.0f"),
          ("toggleUs", "%.2f"), ("turnIdleUs", "%.2f"), ("toggles", "%d"), ("lost", "%d"),
          ("p50", "%.2f"), ("p90", "%.2f"), ("p99", "%.2f"), ("p999", "%.2f"), ("max", "%.2f"),
          ("dropping", "%d"), ("maxDue", "%d"), ("stops", "%d"), ("stopAfterS", "%.3f"),
          ("ppm", "%.3f"), ("firstPassMs", "%.3f"), ("stalls", "%d"),
          ("stalledPercent", "%.3f"), ("longestStallUs", "%.1f"))
Result = collections.namedtuple("Result", [name for name, _ in FIELDS])
Check = collections.namedtuple("Check", "name passed detail")


def lateness_us(frequency, run):
    """Each flushed toggle's lateness: the counter right after its flush less
    the tick at which it fell due."""
    flushes = run.flushes
    due = recording.due_ticks(flushes["toggle"], run.toggle_rate, run.rate_scale, frequency)
    return (flushes["ticks"] - run.start_ticks - due) * (1e6 / frequency)


def rate_error_ppm(frequency, run, lateness):
    """Achieved average toggle rate against the requested one: the scheduled
    period plus the drift of the median lateness from the first half of the
    run to the second, per toggle in between. Medians keep single late
    toggles (a preempted loop) from tilting it as they would a fitted line."""
    half = len(lateness) // 2
    if half == 0:
        return math.nan
    toggle = run.flushes["toggle"].astype(np.float64)
    first_k = 0.5 * (toggle[0] + toggle[half - 1])
    second_k = 0.5 * (toggle[half] + toggle[2 * half - 1])
    first = stats.median(lateness[:half])
    second = stats.median(lateness[half:2 * half])
    period = run.rate_scale * float(frequency) / run.toggle_rate
    drift = (second - first) / (1e6 / frequency)  # in ticks
    return (period / (period + drift / (second_k - first_k)) - 1) * 1e6


def median_us(frequency, histogram):
    ticks = stats.histogram_percentile(histogram, 0.5)
    return math.nan if ticks is None else ticks * 1e6 / frequency


def measure(recorded, stops):
    """The result of a design's recording, whose first run is the one
    measured (a pacing run ends at its first stop), and its lateness."""
    frequency, passes = recorded.frequency, recorded.passes
    run = recorded.runs[0]
    lateness = lateness_us(frequency, run)
    first_pass = run.start_ticks + passes.first_pass_ticks
    end = int(run.records["ticks"][-1])
    seconds = (end - first_pass) / frequency
    per_second = passes.passes / seconds if seconds > 0 else math.nan
    stalled = passes.stalled_ticks / (frequency * seconds) * 100 if seconds > 0 else math.nan
    result = Result(
        seconds=seconds, passes=passes.passes, passesPerSecond=per_second,
        toggleUs=median_us(frequency, recorded.toggle_costs),
        turnIdleUs=median_us(frequency, recorded.idle_turns), toggles=len(lateness),
        lost=recorded.lost, p50=stats.percentile(lateness, 0.5),
        p90=stats.percentile(lateness, 0.9), p99=stats.percentile(lateness, 0.99),
        p999=stats.percentile(lateness, 0.999),
        max=lateness.max() if len(lateness) else math.nan, dropping=passes.dropping,
        maxDue=passes.max_due, stops=stops,
        stopAfterS=(end - run.start_ticks) / frequency if stops else 0.0,
        ppm=rate_error_ppm(frequency, run, lateness),
        firstPassMs=passes.first_pass_ticks * 1e3 / frequency if passes.passes else math.nan,
        stalls=passes.stalls, stalledPercent=stalled,
        longestStallUs=passes.longest_stall_ticks * 1e6 / frequency)
    return result, lateness


def check_flushes(recorded):
    """The recording reaches the core's flushes: in every run the toggle
    numbers of the flushes count up from 0 without a gap."""
    counts = [len(run.flushes) for run in recorded.runs]
    counting = sum(counts) > 0 and all(
        np.array_equal(run.flushes["toggle"], np.arange(len(run.flushes)))
        for run in recorded.runs)
    return Check("flushes of runPass recorded", counting, "%d flushes recorded" % sum(counts))


def check_stop(recorded, stops):
    """At 10^6 flashes/s with both drop limits 0 the first pass drops and
    stops the run: one notice, and one run whose painting ended within the
    second after its start instead of going on."""
    frequency = recorded.frequency
    spans = [(int(run.records["ticks"][-1]) - run.start_ticks) / frequency
             for run in recorded.runs]
    ended = len(spans) == 1 and spans[0] < 1.0
    detail = "notices %d, runs %d, painting for %s s" % (
        stops, len(spans), ", ".join("%.3f" % s for s in spans) or "no")
    return Check("stop rule detected", stops == 1 and ended, detail)


def stops_in(log):
    return int(recording.log_summary(log).get("stops", 0))


def main(argv):
    if len(argv) != 2:
        print(__doc__)
        return 2
    folder = argv[1]

    def path(name):
        return os.path.join(folder, name)
    with open(path("costs.tsv"), encoding="utf-8") as f:
        lines = [line.rstrip("\n") for line in f if line.strip()]
    measured = [(design, rate) for rate in RATES for design in DESIGNS
                if os.path.exists(path("%s-%d.bin" % (design, rate)))]
    results = []
    for design, rate in measured:
        name = "%s-%d" % (design, rate)
        recorded = recording.read(path(name + ".bin"))
        if not recorded.runs:
            raise SystemExit("%s.bin: no run recorded" % name)
        result, lateness = measure(recorded, stops_in(path(name + ".log")))
        with open(path("lateness-%s.txt" % name), "w", encoding="utf-8") as f:
            f.writelines("%.2f\n" % v for v in lateness)
        results.append("\t".join(["result", design, str(rate)] + [
            "%s=%s" % (key, form % value) for (key, form), value in zip(FIELDS, result)]))
        print("%-6s %4d/s: %7.0f passes/s, turn %6.2f us, toggle %6.2f us, lateness p50 %8.2f "
              "p99 %9.2f max %9.2f us, drops %d, max due %d, stops %d, %+.2f ppm"
              % (design, rate, result.passesPerSecond, result.turnIdleUs, result.toggleUs,
                 result.p50, result.p99, result.max, result.dropping, result.maxDue,
                 result.stops, result.ppm))
    # The lowest rate's: `measured` goes up in rate.
    first_ours = next(("ours-%d" % r for d, r in measured if d == "ours"), "ours-60")
    checks = [check_flushes(recording.read(path(first_ours + ".bin"))),
              check_stop(recording.read(path("stop-check.bin")), stops_in(path("stop-check.log")))]
    for c in checks:
        lines.append("check\t%s\t%s\t%s" % (c.name, "ok" if c.passed else "FAILED", c.detail))
        if not c.passed:
            print("FAIL check %s (%s)" % (c.name, c.detail))
    failed = sum(not c.passed for c in checks)
    print("%d passed, %d failed" % (len(checks) - failed, failed))
    with open(path("summary.tsv"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines + results) + "\n")
    return 0 if all(c.passed for c in checks) else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
