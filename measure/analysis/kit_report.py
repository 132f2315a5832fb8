#!/usr/bin/env python3
"""Reads back a report folder of the Windows test kit (written by its
run.cmd on a volunteer's PC, or under Wine by the kit's own test) and prints
what it holds: the PC, each suite's result, and the recording through the
reader and analyses of the committed recordings: its pacing figures
(pacing.py's, of its first run) and the display simulation on its longest
run, replayed to SIMULATED_SECONDS as the committed recordings are long:
the ideal observer on both display models and people timing the composed
desktop the checked way, at true rates around the recorded flash rate. The
last line is a row of docs/display.md's table of the busy machine's
recordings, so that a real PC's recording can stand beside the ones made
under Wine.

Usage: kit_report.py FOLDER CORE
CORE is the native command core_numbers (observer.Core). Exits 1 when
FOLDER holds no report of the kit or its recording cannot be read,
whatever the suites' results; 0 otherwise.
"""

import os
import sys
from typing import List, NamedTuple

import display
import observer
import pacing
import person
import recording
import report_person
import simulate
import stats

# The committed recordings' length; a shorter recording is replayed longer
# (display.Run.extended), as the person observer does to its own length.
SIMULATED_SECONDS = 180.0
# True rates for a flash rate without cases of its own in simulate.CASES.
OFFSETS = (-0.1, -0.05, -0.02, 0.0, 0.02, 0.05, 0.1)
RESULTS = ("passed", "FAILED", "not run")


class Suite(NamedTuple):
    name: str
    fields: dict  # the first value of each key
    failures: List[str]


class KitReport(NamedTuple):
    title: str  # the first line, naming the kit's version
    pc: dict  # the lines before the first suite, by key
    suites: List[Suite]
    result: dict  # the "== result" section, by key

    def named(self, result):
        return [s.name for s in self.suites if s.fields["result"] == result]


def parse(text):
    """A KitReport from report.txt's text; ValueError naming the line when
    it is not one."""
    lines = text.lstrip("\ufeff").splitlines()
    if not lines or not lines[0].startswith("Lukanemi test kit "):
        raise ValueError("line 1: not a report of the test kit: %r" % (lines[:1] or [""])[0])
    pc, suites, result = {}, [], None
    section = pc
    for number, line in enumerate(lines[1:], 2):
        if not line:
            continue
        if line.startswith("== "):
            if line == "== result":
                section = result = {}
            else:
                suites.append(Suite(line[3:], {}, []))
                section = suites[-1].fields
            continue
        key, colon, value = line.partition(": ")
        if not colon:
            raise ValueError("line %d: expected 'key: value', got %r" % (number, line))
        if key == "failure" and suites and section is suites[-1].fields:
            suites[-1].failures.append(value)
        else:
            section.setdefault(key, value)
    for s in suites:
        if s.fields.get("result") not in RESULTS:
            raise ValueError("suite %s: result %r, expected one of %s"
                             % (s.name, s.fields.get("result"), ", ".join(RESULTS)))
    if result is None:
        raise ValueError("no '== result' section: the run did not end")
    return KitReport(lines[0], pc, suites, result)


def read(folder):
    with open(os.path.join(folder, "report.txt"), encoding="utf-8", errors="replace") as f:
        return parse(f.read())


def suite_lines(report):
    out = ["suites: %d passed, %d failed, %d not run"
           % tuple(len(report.named(r)) for r in RESULTS)]
    for s in report.suites:
        f = s.fields
        out.append("  %-11s %-7s %s  %s" % (s.name, f["result"], f.get("time", ""),
                                             f.get("summary", f.get("reason", ""))))
        if f["result"] != "passed" and "reason" in f and "summary" in f:
            out.append("    reason: %s" % f["reason"])
        out += ["    failure: %s" % line for line in s.failures]
    return out


def recording_path(folder, report):
    """The recording the report names, or None when its suite wrote none."""
    for s in report.suites:
        if "recording" in s.fields:
            return os.path.join(folder, s.fields["recording"])
    return None


def pacing_line(recorded, stops):
    """pacing.py's figures of the first run, in µs."""
    r, _ = pacing.measure(recorded, stops)
    return ("pacing (first run, %.1f s): %.0f passes/s, loop turn %.1f µs, toggle %.1f µs; "
            "flush lateness p50 %.1f, p99 %.1f, p99.9 %.1f, max %.1f µs; rate error %+.2f ppm; "
            "%d dropping passes, %d stalls (longest %.0f µs)"
            % (r.seconds, r.passesPerSecond, r.turnIdleUs, r.toggleUs, r.p50, r.p99, r.p999,
               r.max, r.ppm, r.dropping, r.stalls, r.longestStallUs))


def simulation(run, flash_rate, core):
    """The ideal observer on both models (simulate.Case per true rate) and
    people timing the judged cases the checked way (person.Summary per
    true rate)."""
    cases = [simulate.Case(flash_rate, rate, run.toggles().end,
                           simulate.run_case(run, flash_rate, rate, core))
             for rate in simulate.CASES.get(flash_rate,
                                            [round(flash_rate + d, 6) for d in OFFSETS])]
    people = {c.rate: person.two_runs(person.Runs(run, c.rate, core), flash_rate, *person.CHECKED,
                                      simulate.PHASES,
                                      person.seeded(flash_rate, c.rate, person.CHECKED),
                                      person.PEOPLE)
              for c in cases if c.judged}
    return cases, people


def case_lines(cases, people):
    out = ["| true rate R | scanout: largest error (Hz) | composed: largest error (Hz) | "
           "person: median / p95 (Hz) | sign wrong | ideal observer |",
           "|---:|---:|---:|---:|---:|---|"]
    for case in cases:
        cells = []
        for m in case.models():
            if case.rate == case.flash_rate:
                cells.append("%d changes" % m.changes if m.changes else "no movement")
            else:
                cells.append("no period" if m.worst.error is None else "%.6f" % m.worst.error)
        s = people.get(case.rate)
        problems = simulate.verdict(case.flash_rate, case.rate, case.results, case.seconds)
        out.append("| %s | %s | %s | %s | %s | %s |" % (
            case.rate, cells[0], cells[1], report_person.median_p95(s) if s else "",
            "%.2f %%" % s.sign_wrong if s and s.people else "",
            "ok" if not problems else "; ".join(problems)))
    return out


def busy_row(flash_rate, seconds, lateness_ms, cases, people):
    """A row of docs/display.md's table of the busy machine's recordings."""
    answered = [s for s in people.values() if s.people]
    if answered:
        med, p95, wrong = report_person.pooled(answered)
        person_cells = "%.4f / %.4f | %.2f %%" % (med, p95, wrong)
    else:
        person_cells = "runs too short | "
    return ("| %d | %.0f | n/a | %.2f / %.2f / %.2f / %.0f | %.4f | %s |"
            % (flash_rate, seconds, stats.median(lateness_ms),
               stats.percentile(lateness_ms, 0.99), stats.percentile(lateness_ms, 0.999),
               lateness_ms.max(), max(simulate.max_errors(cases).values()), person_cells))


def recording_lines(path, log, core):
    recorded = recording.read(path)
    stops = int(recording.log_summary(log).get("stops", 0)) if os.path.exists(log) else 0
    runs = display.recorded_runs(recorded)
    toggles = sum(len(r.number) for r in runs)
    longest = simulate.longest_run(runs)
    flash_rate = longest.toggle_rate / (2.0 * longest.rate_scale)
    out = ["%s: %g flashes/s, %d run(s) (%d stops), %d toggles, %d records lost"
           % (os.path.basename(path), flash_rate, len(runs), stops, toggles, recorded.lost),
           pacing_line(recorded, stops)]
    try:
        run = longest.extended(SIMULATED_SECONDS)
    except ValueError as e:
        return out + ["display simulation: the longest run cannot be replayed: %s" % e]
    cases, people = simulation(run, round(flash_rate), core)
    lateness_ms = longest.lateness * 1e3 / longest.frequency
    out.append("display simulation: the longest run (%.1f s) replayed to %.0f s, %d phases; "
               "people: %s, σ %g s, %d periods, %d a phase"
               % (longest.toggles().end, run.toggles().end, len(simulate.PHASES),
                  person.CHECKED[0], person.CHECKED[1], person.CHECKED[2], person.PEOPLE))
    out += case_lines(cases, people)
    out.append("docs/display.md row (busy table's columns; seconds recorded, CPU busy not "
               "measured):")
    out.append(busy_row(round(flash_rate), longest.toggles().end, lateness_ms, cases, people))
    return out


def main(argv):
    if len(argv) != 3:
        print(__doc__)
        return 2
    folder, core = argv[1], observer.Core(argv[2])
    try:
        report = read(folder)
    except (OSError, ValueError) as e:
        print("%s: %s" % (folder, e))
        return 1
    print(report.title)
    for key, value in report.pc.items():
        print("%s: %s" % (key, value))
    for line in suite_lines(report):
        print(line)
    path = recording_path(folder, report)
    if path is None:
        print("recording: none (its suite wrote none)")
        return 0
    try:
        lines = recording_lines(path, os.path.join(folder, "recording.log"), core)
    except (OSError, ValueError) as e:
        print("%s: %s" % (path, e))
        return 1
    for line in lines:
        print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
