#!/usr/bin/env python3
"""The display simulation: what a user sees and measures, from the program's
own recorded toggle times.

  simulate.py convert RAW_DIR DATA_DIR   recorder files -> compact recordings
  simulate.py check DATA_DIR CORE        judges every case; exit 1 on a miss
(report.py DATA_DIR CORE DOCS_DIR writes docs/display.md and the pictures.)

CORE is the native command core_numbers: the core's estimate and pacing for
typed texts. DATA_DIR holds recording-<F>.npz and info.json (machine, load,
soak).
"""

import json
import os
import sys
from dataclasses import dataclass
from typing import NamedTuple, Optional

import numpy as np

import display
import observer
import one_run_rule
import person
import recording
import stats

PHASES = [i / 8.0 for i in range(8)]
# True refresh rates per flash rate: both sides of F, F itself, and rates
# with no small whole-number ratio to F.
CASES = {
    60: [59.9, 59.94, 59.97, 59.98, 60.0, 60.0173, 60.02, 60.05, 60.1],
    144: [143.9, 143.95, 143.98, 144.0, 144.02, 144.0417, 144.1],
    240: [239.9, 239.93, 239.95, 239.98, 240.0, 240.02, 240.05, 240.06, 240.1],
}
JUDGED = (0.02, 0.1)  # |R - F| range that must be recovered ...
TOLERANCE = 0.001  # ... within this many Hz, on both models at every phase
MODELS = ("scanout", "compositor")


def judged(flash_rate, rate):
    gap = abs(rate - flash_rate)
    return JUDGED[0] - 1e-9 <= gap <= JUDGED[1] + 1e-9


def longest_run(runs):
    return max(runs, key=lambda r: len(r.number))


@dataclass
class Result:
    """One model's measurement at one phase of a case."""
    model: str
    phase: float
    changes: int  # changes decided
    time: Optional[float] = None  # typed: signed on scanout, |t| on the compositor
    estimate: Optional[float] = None  # Hz (None: no complete period)
    error: Optional[float] = None  # |estimate - R|
    drift: Optional[float] = None  # scanout: frames per second, positive downward
    second: Optional[float] = None  # compositor: F' of the second run
    second_time: Optional[float] = None  # compositor: |t'| (None: no period)


def measure_scanout(toggles, flash_rate, rate, phase, core):
    """The guide's scanout measurement: time at a fixed height, direction
    from the boundary's path."""
    seen = observer.observe_scanout(toggles, rate, phase)
    result = Result("scanout", phase, len(seen.changes), drift=seen.drift)
    if seen.period is not None:
        result.time = seen.period if seen.drift > 0 else -seen.period
        result.estimate = core.estimates([(flash_rate, result.time)])[0]
    return result


def measure_compositor(toggles, flash_rate, rate, phase, core, replay):
    """The guide's composed-desktop measurement: |t| from the window's colour,
    then a second run at a raised estimate F'; the real rate is the candidate
    both runs share. The second run is the recorded lateness replayed onto
    F''s schedule."""
    seen = observer.observe_compositor(toggles, rate, phase)
    result = Result("compositor", phase, len(seen.changes), time=seen.period)
    if seen.period is None:
        return result
    period = seen.period
    result.second = observer.second_estimate(flash_rate, period)
    again = observer.observe_compositor(replay(result.second), rate, phase)
    first = core.estimates([(flash_rate, -period), (flash_rate, period)])
    if again.period is None:
        # No complete period in the second run: the drift slowed down a lot,
        # so the real rate lies above the first estimate.
        result.estimate = first[1]
        return result
    result.second_time = again.period
    second = core.estimates([(result.second, -again.period), (result.second, again.period)])
    result.estimate = observer.shared_candidate(first, second)
    return result


def run_case(run, flash_rate, rate, core, toggles=None, replay=None):
    """Every phase of one case on both models: a list of Results."""
    toggles = run.toggles() if toggles is None else toggles
    replay = replay or (lambda second_rate: run.toggles(*core.pacing(second_rate)))
    results = []
    for phase in PHASES:
        results.append(measure_scanout(toggles, flash_rate, rate, phase, core))
        results.append(measure_compositor(toggles, flash_rate, rate, phase, core, replay))
    for r in results:
        r.error = None if r.estimate is None else abs(r.estimate - rate)
    return results


def verdict(flash_rate, rate, results, seconds):
    """Problems with one case's results (empty when it passes)."""
    problems = []
    for r in results:
        where = "%s at phase %d/8" % (r.model, int(r.phase * 8))
        if rate == flash_rate:
            if r.changes != 0:
                problems.append("%s: R = F read as %d changes, expected no movement"
                                % (where, r.changes))
            if r.model == "scanout" and r.drift is not None and abs(r.drift) * seconds >= 0.5:
                problems.append("%s: R = F read as a drift of %.3f frames/s"
                                % (where, r.drift))
        elif judged(flash_rate, rate):
            if r.error is None:
                problems.append("%s: no complete period observed" % where)
            elif r.error > TOLERANCE:
                problems.append("%s: estimate %.6f, error %.6f Hz > %.3f Hz"
                                % (where, r.estimate, r.error, TOLERANCE))
    return problems


class ModelSummary(NamedTuple):
    """One model over a case's phases."""
    model: str
    changes: int  # the most changes any phase saw
    worst: Result  # the phase with the largest error (the first when none has one)


class Case(NamedTuple):
    """One true rate R against one flash rate F, on the longest recorded run."""
    flash_rate: int
    rate: float
    seconds: float  # the run's length
    results: list

    @property
    def judged(self):
        return judged(self.flash_rate, self.rate)

    def models(self):
        out = []
        for model in MODELS:
            chosen = [r for r in self.results if r.model == model]
            worst = max(chosen, key=lambda r: -1.0 if r.error is None else r.error)
            out.append(ModelSummary(model, max(r.changes for r in chosen), worst))
        return out


def max_errors(cases):
    """Per model, the largest error of the judged cases."""
    out = {m: 0.0 for m in MODELS}
    for case in cases:
        for m in case.models():
            if case.judged and m.worst.error is not None:
                out[m.model] = max(out[m.model], m.worst.error)
    return out


def load_recordings(data_dir):
    """The runs of every flash rate's recording; exits naming the recordings
    that are missing."""
    paths = {f: os.path.join(data_dir, "recording-%d.npz" % f) for f in CASES}
    missing = [p for p in paths.values() if not os.path.exists(p)]
    if missing:
        raise SystemExit("missing recordings: %s (bash tools/simulate.sh --record makes them)"
                         % ", ".join(missing))
    return {f: display.load_runs(p) for f, p in paths.items()}


def all_cases(runs, core):
    """Every case of every recording's longest run."""
    out = []
    for flash_rate, run in sorted(runs.items()):
        toggles = run.toggles()
        for rate in CASES[flash_rate]:
            out.append(Case(flash_rate, rate, toggles.end,
                            run_case(run, flash_rate, rate, core, toggles)))
    return out


def check(data_dir, core):
    runs = {f: longest_run(r) for f, r in load_recordings(data_dir).items()}
    cases = all_cases(runs, core)
    failures = 0
    for case in cases:
        problems = verdict(case.flash_rate, case.rate, case.results, case.seconds)
        failures += len(problems)
        if not problems:
            continue
        line = []
        for m in case.models():
            w = m.worst
            if case.rate == case.flash_rate:
                line.append("%s: %s" % (m.model, "no movement" if m.changes == 0
                                        else "%d changes" % m.changes))
            elif w.error is None:
                line.append("%s: no period" % m.model)
            else:
                time = "t %+.3f s" % w.time if m.model == "scanout" else "|t| %.3f s" % w.time
                line.append("%s: %s -> %.6f Hz, error %.6f" % (m.model, time, w.estimate, w.error))
        tag = "" if case.judged or case.rate == case.flash_rate else " (not judged)"
        print("FAIL F %g, R %s%s: %s" % (case.flash_rate, case.rate, tag, "; ".join(line)))
        for p in problems:
            print("     " + p)
    print("%d phases each, both models; judged: %g <= |R - F| <= %g Hz within %g Hz, "
          "and R = F as no movement" % (len(PHASES), JUDGED[0], JUDGED[1], TOLERANCE))
    people = person_results(runs, core, [person.CHECKED])
    failures += check_people(people)
    failures += check_one_run(people)
    errors = max_errors(cases)
    print("%d cases, max error %.6f Hz (scanout), %.6f Hz (compositor)"
          % (len(cases), errors["scanout"], errors["compositor"]))
    return 1 if failures else 0


def person_results(runs, core, ways=None, whole=True):
    """The person observer on every person case (person.evaluate)."""
    return person.evaluate(runs, core, CASES, judged, ways, PHASES, person.PEOPLE, whole)


def check_people(results):
    """People timing the composed desktop the checked way (person.People): a
    line per failed case, then the pooled summary of the answered cases.
    Problems: a case with more than person.SIGN_LIMIT % wrong signs, or
    people whose run was too short. The one-run confusions, below F by
    design, are not answered but flagged, and check_one_run judges them."""
    way = person.CHECKED
    rows = [("F %g, R %s" % (f, ("%.5f" % r).rstrip("0").rstrip(".")), row[way])
            for f, r, row in results.two]
    rows += [("shown %.3f, F %.3f, R %.6f (one run)" % (c.shown, c.flash_rate, c.rate), row[way])
             for c, row in results.one if not c.confused]
    problems = 0
    for name, s in rows:
        bad = s.missing > 0 or s.sign_wrong is None or s.sign_wrong > person.SIGN_LIMIT
        problems += bad
        if not bad:
            continue
        if s.people:
            print("FAIL person %s: median %.6f Hz, p95 %.6f Hz, sign wrong %.2f %%, answer after "
                  "%.0f s (p95 %.0f s)%s" % (name, s.median, s.p95, s.sign_wrong,
                                             s.seconds_median, s.seconds_p95,
                                             ", %d runs too short" % s.missing
                                             if s.missing else ""))
        else:
            print("FAIL person %s: every run too short to time" % name)
    errors = np.concatenate([s.errors for _, s in rows])
    wrong = sum(s.sign_wrong_count for _, s in rows)
    print("person (%s, σ %g s, %d periods): median %.6f Hz, p95 %.6f Hz, sign wrong %.2f %% "
          "over %d cases" % (way[0], way[1], way[2], stats.median(errors),
                             stats.percentile(errors, 0.95), 100.0 * wrong / max(1, len(errors)),
                             len(rows)))
    return problems


def window_misses(case, summary, exact, answered):
    """A FAIL text when a one-run case's exact t or a person's t falls on the
    wrong side of the window (inside when it must be flagged, outside when
    it must be answered), or people could not time a run that must be
    answered; None when it holds."""
    start, end = one_run_rule.window(case.shown)
    inside = one_run_rule.inside(case.shown, summary.times)
    wrong = np.count_nonzero(inside != answered)
    missing = summary.missing if answered else 0
    if bool(one_run_rule.inside(case.shown, exact)) == answered and not wrong and not missing:
        return None
    return ("shown %.3f, F %.3f, R %.6f%s: t %.2f s, %d of %d people's t %s the window %d–%d s%s"
            % (case.shown, case.flash_rate, case.rate,
               " (a %.3f mode)" % case.mode if case.confused else "", exact, wrong,
               len(summary.times), "outside" if answered else "inside", start, end,
               ", %d could not time it" % missing if missing else ""))


def check_one_run(results):
    """The one-run rule (one_run_rule) in exact arithmetic at every shown rate
    of the cases, and people timing the checked way: every t for a real rate
    within the clocks' tolerance inside the window, every t of a 1000/1001
    confusion and of half periods outside it (flagged). Prints the failures
    and a summary line; returns the number of failures."""
    way = person.CHECKED
    shown = sorted({case.shown for case, _ in results.one})
    failures = [p for d in shown for p in one_run_rule.rule_problems(d)]
    confusions = [(c, row[way]) for c, row in results.one if c.confused]
    for case, s in [(c, row[way]) for c, row in results.one if not c.confused]:
        failures.append(window_misses(case, s, one_run_rule.exact_time(case.shown, case.rate),
                                      True))
    unflagged = [window_misses(c, s, one_run_rule.exact_time(c.shown, c.rate), False)
                 for c, s in confusions]
    half = [window_misses(c, s, one_run_rule.exact_time(c.shown, c.rate) / 2, False)
            for c, s in results.half]
    failures = [f for f in failures if f]
    failures += ["half periods, " + f for f in half if f]
    failures += [f for f in unflagged if f]
    for f in failures:
        print("FAIL one run: %s" % f)
    windows = [one_run_rule.window(d) for d in shown] or [(0, 0)]
    print("one run: %d shown rates, t within %d–%d s for real rates within ±%d ppm, "
          "%d of %d mode confusions flagged, %d of %d half-period timings flagged"
          % (len(shown), min(w[0] for w in windows), max(w[1] for w in windows),
             round(one_run_rule.CLOCK_PPM * 1e6), unflagged.count(None), len(unflagged),
             half.count(None), len(half)))
    return len(failures)


def driver_summary(path):
    """The driver's last line, `summary key=value ...`, as a dict."""
    summary = recording.log_summary(path)
    if not summary:
        raise SystemExit("%s: no summary line" % path)
    return summary


def soak_figures(raw_dir):
    """Stops, flushes against the schedule and memory of the soak run."""
    summary = driver_summary(os.path.join(raw_dir, "soak-240.log"))
    recorded = recording.read(os.path.join(raw_dir, "soak-240.bin"))
    runs, lost = display.recorded_runs(recorded), recorded.lost
    flushes = sum(len(r.number) for r in runs)
    # Toggles the schedule called for by each run's last flush.
    scheduled = sum(int(r.number[-1]) + 1 for r in runs if len(r.number))

    def kb(key):
        value = summary.get(key, "n/a")
        return value if value == "n/a" else "{:,}".format(int(value) // 1024)
    return {"seconds": float(summary["seconds"]), "flash_rate": int(summary["flashRate"]),
            "stops": int(summary["stops"]), "runs": len(runs), "flushes": flushes,
            "scheduled": scheduled, "lost": lost,
            "mem_start_ws": kb("memStartWorkingSet"), "mem_end_ws": kb("memEndWorkingSet"),
            "mem_start_peak": kb("memStartPeak"), "mem_end_peak": kb("memEndPeak"),
            "mem_start_private": kb("memStartPrivate"), "mem_end_private": kb("memEndPrivate"),
            "mem_start_pagefile": kb("memStartPagefile"), "mem_end_pagefile": kb("memEndPagefile"),
            "gui_gdi": "%s/%s" % (summary["guiStartGdi"], summary["guiEndGdi"]),
            "gui_user": "%s/%s" % (summary["guiStartUser"], summary["guiEndUser"])}


def convert(raw_dir, data_dir):
    """Recorder files -> compact recordings, and info.json: the machine, the
    load during each recording, its stops, and the soak's figures."""
    os.makedirs(data_dir, exist_ok=True)
    load = recording.load_lines(os.path.join(raw_dir, "load.txt"))
    with open(os.path.join(raw_dir, "machine.txt")) as f:
        info = {"machine": "; ".join(l.strip() for l in f if l.strip()), "recordings": {}}
    for flash_rate in CASES:
        name = "recording-%d" % flash_rate
        raw = os.path.join(raw_dir, name + ".bin")
        if not os.path.exists(raw):
            continue
        recorded = recording.read(raw)
        if recorded.lost:
            raise SystemExit("%s: %d records lost" % (raw, recorded.lost))
        runs = display.recorded_runs(recorded)
        display.save_runs(os.path.join(data_dir, name + ".npz"), runs)
        summary = driver_summary(os.path.join(raw_dir, name + ".log"))
        entry = dict(load.get(name, {}))
        entry["stops"] = int(summary["stops"])
        entry["mem_end_ws"] = "{:,}".format(int(summary["memEndWorkingSet"]) // 1024)
        info["recordings"][str(flash_rate)] = entry
        print("%s: %d runs, %d toggles, %s stops"
              % (raw, len(runs), sum(len(r.number) for r in runs), summary["stops"]))
    if os.path.exists(os.path.join(raw_dir, "soak-240.bin")):
        info["soak"] = soak_figures(raw_dir)
        info["soak"].update(load.get("soak-240", {}))
    elif os.path.exists(os.path.join(raw_dir, "previous-info.json")):
        # No soak this time (SOAK_SECONDS=0): the earlier one is kept, marked.
        with open(os.path.join(raw_dir, "previous-info.json")) as f:
            earlier = json.load(f)
        if "soak" in earlier:
            info["soak"] = earlier["soak"]
            info["soak"].setdefault("earlier", earlier["machine"])
    notes = os.path.join(raw_dir, "notes.txt")
    if os.path.exists(notes):
        with open(notes) as f:
            info["notes"] = f.read().strip()
    with open(os.path.join(data_dir, "info.json"), "w") as f:
        json.dump(info, f, indent=1, sort_keys=True)
        f.write("\n")


def main(argv):
    if len(argv) == 4 and argv[1] == "convert":
        convert(argv[2], argv[3])
        return 0
    if len(argv) == 4 and argv[1] == "check":
        return check(argv[2], observer.Core(argv[3]))
    print(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
