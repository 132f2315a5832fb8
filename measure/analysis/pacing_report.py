#!/usr/bin/env python3
"""Turns the pacing benchmark's outputs into docs/bench.md and docs/bench.png.

Usage: pacing_report.py OUTDIR DOCSDIR

OUTDIR holds machine.txt, native.json, native.txt and run1..runN, each run with
summary.tsv, load.txt and lateness-<design>-<rate>.txt from pacing.py. The
document's prose is templates/bench.md; its tables and figures are made here.
Figures are medians over the runs; ratios are taken within each run first.
"""
import collections
import json
import math
import os
import string
import subprocess
import sys
from typing import Dict, List, NamedTuple, Tuple

import pacing
import recording
import stats

# Each design's name, label and colour in the plot.
DESIGNS = [("ours", "the pacer (busy loop)", "#1b7837"), ("sleep1", "Sleep(1) loop", "#2166ac"),
           ("timer1", "1 ms SetTimer", "#b2182b")]
TEMPLATE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "templates", "bench.md")

# The calls of platform_costs' "call" lines that the text reads, by label:
# the queue check, a toggle's fill and flush, and the calls of a pass.
PEEK = "PeekMessageW(PM_NOREMOVE), empty queue"
FILL = "FillRect (8 px x screen height)"
FLUSH = "GdiFlush"
PASS_CALLS = ("GetDC + ReleaseDC", "GetClientRect", "QueryPerformanceCounter",
              "core arithmetic: layoutStrips(n = 4) + 2 toggleIndex")

# The baseline line: a loop that only reads the counter.
Baseline = collections.namedtuple("Baseline",
                                  "readingsPerSecond gaps over1ms over10ms maxUs lostPercent")


class RunData(NamedTuple):
    """One run's summary.tsv and load.txt."""
    name: str
    info: Dict[str, str]
    baseline: Baseline
    calls: Dict[str, float]  # µs per call, in the file's order
    checks: List[pacing.Check]
    results: Dict[Tuple[str, int], pacing.Result]
    load: str  # load average before → after


def typed(kind, pairs):
    """A record of `kind` from `key=value` fields; fields missing are nan."""
    values = dict(pair.split("=", 1) for pair in pairs)
    return kind(**{name: float(values.get(name, "nan")) for name in kind._fields})


def read_run(out, name):
    info, calls, checks, results = {}, {}, [], {}
    baseline = typed(Baseline, [])
    with open(os.path.join(out, name, "summary.tsv"), encoding="utf-8") as f:
        for line in f:
            cols = line.rstrip("\n").split("\t")
            if cols[0] == "result":
                results[(cols[1], int(cols[2]))] = typed(pacing.Result, cols[3:])
            elif cols[0] == "call":
                calls[cols[1]] = float(cols[2])
            elif cols[0] == "check":
                checks.append(pacing.Check(cols[1], cols[2] == "ok", cols[3]))
            elif cols[0] == "baseline":
                baseline = typed(Baseline, cols[1:])
            elif cols[0] == "info":
                info[cols[1]] = cols[2]
    # The load average when the run's first recording began and its last ended.
    load_path = os.path.join(out, name, "load.txt")
    loads = list(recording.load_lines(load_path).values()) if os.path.exists(load_path) else []
    load = (f"{loads[0].get('load_before', '–')} → {loads[-1].get('load_after', '–')}"
            if loads else "–")
    return RunData(name, info, baseline, calls, checks, results, load)


def med(values):
    return stats.median([v for v in values if not math.isnan(v)])


def fmt(value, digits=1):
    if value is None or (isinstance(value, float) and math.isnan(value)):
        return "–"
    return f"{value:,.{digits}f}"


def table(header, align, rows):
    """A Markdown table: header cells, the alignment row's cells, rows of cells."""
    lines = ["| " + " | ".join(header) + " |", "|" + "|".join(align) + "|"]
    return "\n".join(lines + ["| " + " | ".join(row) + " |" for row in rows])


def lateness_samples(out, runs, design, rate):
    samples = []
    for run in runs:
        path = os.path.join(out, run, f"lateness-{design}-{rate}.txt")
        with open(path, encoding="utf-8") as f:
            samples.extend(float(x) for x in f if x.strip())
    return sorted(samples)


def write_plot(out, docs, runs, rates):
    """Complementary CDF of lateness, log-log, one panel per rate."""
    data = os.path.join(out, "ccdf.dat")
    with open(data, "w", encoding="utf-8") as f:  # a block per rate and design, in order
        for rate in rates:
            for design, _, _ in DESIGNS:
                s = lateness_samples(out, runs, design, rate)
                n = len(s)
                # At most about 3000 points a curve, always with the tail.
                step = max(1, n // 2000)
                picks = list(range(0, n, step)) + list(range(max(0, n - 1000), n))
                for i in sorted(set(picks)):
                    f.write(f"{max(s[i], 0.1):.2f} {(n - i) / n:.6g}\n")
                f.write("\n\n")
    script = os.path.join(out, "bench.gp")
    png = os.path.join(docs, "bench.png")
    with open(script, "w", encoding="utf-8") as f:
        f.write("set terminal pngcairo size 1400,1000 font 'sans,11'\n")
        f.write(f"set output '{png}'\n")
        f.write("set multiplot layout 2,2 title 'Toggle lateness under Wine + Xvfb "
                f"({len(runs)} runs pooled): share of toggles flushed later than x' "
                "font 'sans,13'\n")
        f.write("set logscale xy\nset xrange [1:200000]\nset yrange [1e-5:1.2]\n")
        f.write("set format x '10^{%L}'\nset format y '10^{%L}'\n")
        f.write("set xlabel 'lateness (µs)'\nset ylabel 'share of toggles later'\n")
        f.write("set grid\nset key bottom left\n")
        for i, rate in enumerate(rates):
            f.write(f"set title '{rate} flashes per second ({2 * rate} toggles per second)'\n")
            parts = [f"'{data}' index {len(DESIGNS) * i + j} using 1:2 with steps "
                     f"lw 2 lc rgb '{colour}' title '{label}'"
                     for j, (_, label, colour) in enumerate(DESIGNS)]
            f.write("plot " + ", \\\n     ".join(parts) + "\n")
        f.write("unset multiplot\n")
    subprocess.run(["gnuplot", script], check=True)


def document(out):
    """The template's fields from the benchmark's outputs in `out`, the runs,
    the rates, and the failed checks."""
    runs = sorted(d for d in os.listdir(out) if d.startswith("run"))
    data = [read_run(out, r) for r in runs]
    rates = sorted({rate for d in data for (_, rate) in d.results})
    with open(os.path.join(out, "machine.txt"), encoding="utf-8") as f:
        machine = [line.rstrip("\n") for line in f if line.strip()]
    with open(os.path.join(out, "native.json"), encoding="utf-8") as f:
        native = json.load(f)
    with open(os.path.join(out, "native.txt"), encoding="utf-8") as f:
        native_alloc = next((line.strip() for line in f if line.startswith("allocations")), "")
    # CPU time: other work on the machine stretches the wall time.
    native_ns = {b["run_name"]: b["cpu_time"] for b in native["benchmarks"]
                 if b.get("aggregate_name", "median") == "median"}

    def values(design, rate, key):
        return [getattr(d.results[(design, rate)], key) for d in data]

    def m(design, rate, key):
        return med(values(design, rate, key))

    def full_runs(design, rate, key):
        """Median over the runs that no stop rule ended (all runs if every one was)."""
        every = [d.results[(design, rate)] for d in data]
        return med([getattr(r, key) for r in [r for r in every if r.stops == 0] or every])

    def ratio(design, rate, key):
        return med([getattr(d.results[(design, rate)], key) /
                    getattr(d.results[("ours", rate)], key) for d in data])

    load_rows = [[d.name, d.load,
                  fmt(d.baseline.over1ms, 0), fmt(d.baseline.over10ms, 0),
                  fmt(d.baseline.maxUs / 1000, 1), fmt(d.baseline.lostPercent, 2) + " %"]
                 for d in data]
    pacer_rows = [[str(rate), fmt(m("ours", rate, "passesPerSecond"), 0)]
                  + [fmt(m("ours", rate, key)) for key in
                     ("turnIdleUs", "toggleUs", "p50", "p90", "p99", "p999", "max")]
                  + [fmt(m("ours", rate, "dropping"), 0),
                     fmt(max(values("ours", rate, "maxDue")), 0),
                     f"{sum(v > 0 for v in values('ours', rate, 'stops'))} of {len(runs)}",
                     fmt(full_runs("ours", rate, "ppm"), 2),
                     fmt(m("ours", rate, "firstPassMs"), 1)] for rate in rates]
    per_run_rows = [[d.name] + [
        f"{fmt(v.p50)} / {fmt(v.p99)}{' (stop)' if v.stops > 0 else ''}; "
        f"{fmt(v.stalls, 0)} gaps, {fmt(v.stalledPercent, 1)} %"
        for v in (d.results[("ours", rate)] for rate in rates)] for d in data]
    naive_rows = [[str(rate), label, fmt(m(design, rate, "passesPerSecond"), 0)]
                  + [fmt(m(design, rate, key)) for key in ("p50", "p90", "p99", "p999", "max")]
                  + [fmt(full_runs(design, rate, "ppm"), 2)]
                  + ["" if design == "ours" else f"{fmt(ratio(design, rate, key))}×"
                     for key in ("p50", "p99")]
                  for rate in rates for design, label, _ in DESIGNS]
    call = {name: med([d.calls[name] for d in data]) for name in data[0].calls}
    nan = float("nan")
    peek = call.get(PEEK, nan)
    # A call missing from the costs leaves the sum unknown, not smaller.
    pass_calls = sum(call.get(label, nan) for label in PASS_CALLS)
    turn = {r: m("ours", r, "turnIdleUs") for r in rates}
    turns = med(list(turn.values()))

    def met(passed):
        return "met" if passed else "not met"
    latency = [(r, m("ours", r, "p50"), med([v.p50 / (v.turnIdleUs + v.toggleUs)
                                             for v in (d.results[("ours", r)] for d in data)]))
               for r in rates]
    sleep_ratios = [ratio("sleep1", r, "p50") for r in rates]
    timer_ratios = [ratio("timer1", r, "p50") for r in rates]
    ppm = {r: full_runs("ours", r, "ppm") for r in rates}
    calm = [r for r in rates if r <= 240]
    calm_stops = sum(v > 0 for r in calm for v in values("ours", r, "stops"))
    arithmetic = native_ns.get("passArithmetic/4", nan)
    turn_min = min(turn.values())
    share = arithmetic / (turn_min * 1000) * 100
    failed = [(d.name, c) for d in data for c in d.checks if not c.passed]
    fields = {
        "seconds": f"{float(data[0].info.get('seconds', 'nan')):g}", "runs": len(runs),
        "percentile_rule": stats.RULE,
        "machine": "; ".join(machine),
        "load_table": table(["run", "load average (1 min) before → after", "gaps > 1 ms",
                             "gaps > 10 ms", "longest gap (ms)", "time lost"],
                            ["---"] * 2 + ["---:"] * 4, load_rows),
        "pacer_table": table(["flashes/s", "passes/s", "loop turn (µs)", "one toggle (µs)",
                              "p50 (µs)", "p90 (µs)", "p99 (µs)", "p99.9 (µs)", "max (µs)",
                              "dropping passes", "largest due", "runs with a stop",
                              "rate error (ppm)", "first pass (ms)"], ["---:"] * 14, pacer_rows),
        "per_run_table": table(["run"] + [f"{r}/s" for r in rates],
                               ["---"] + ["---:"] * len(rates), per_run_rows),
        "naive_table": table(["flashes/s", "design", "wake-ups/s", "p50 (µs)", "p90 (µs)",
                              "p99 (µs)", "p99.9 (µs)", "max (µs)", "rate error (ppm)",
                              "p50 naive/ours", "p99 naive/ours"],
                             ["---:", "---"] + ["---:"] * 9, naive_rows),
        "calls_table": table(["call", "µs"], ["---", "---:"],
                             [[name, fmt(v, 3)] for name, v in call.items()]),
        "turn": fmt(turns), "peek": fmt(peek), "pass_calls": fmt(pass_calls, 2),
        "peek_share": fmt(peek / turns * 100, 0),
        "fill": fmt(call.get(FILL, nan)),
        "flush": fmt(call.get(FLUSH, nan), 2),
        "native_table": table(["case", "ns"], ["---", "---:"],
                              [[f"`{name.split('/repeats')[0]}`", fmt(ns, 1)]
                               for name, ns in native_ns.items()]),
        "allocations": native_alloc.split(":", 1)[-1].strip(),
        "latency_met": met(all(t <= 1.5 for _, _, t in latency)),
        "latency": ", ".join(f"{r}/s: {fmt(p50)} µs = {t:.2f} × ({fmt(turn[r])} + "
                             f"{fmt(m('ours', r, 'toggleUs'))})" for r, p50, t in latency),
        "naive_met": met(all(v >= 8 for v in sleep_ratios) and all(v >= 50 for v in timer_ratios)),
        "sleep_ratios": ", ".join(f"{fmt(v)}×" for v in sleep_ratios),
        "timer_ratios": ", ".join(f"{fmt(v)}×" for v in timer_ratios),
        "rates": ", ".join(str(r) for r in rates),
        "ppm_met": met(all(abs(v) <= 5 for v in ppm.values())),
        "ppm": ", ".join(f"{r}/s: {fmt(v, 2)} ppm" for r, v in ppm.items()),
        "calm_rates": ", ".join(str(r) for r in calm), "stops_met": met(calm_stops == 0),
        "calm_stops": calm_stops, "calm_runs": len(calm) * len(runs),
        "arithmetic_met": met(share < 1), "arithmetic": fmt(arithmetic, 1),
        "turn_min": fmt(turn_min), "arithmetic_share": f"{share:.3f}",
        "checks": ("all passed" if not failed else
                   "; ".join(f"{r}: {c.name} FAILED ({c.detail})" for r, c in failed))
        + " (" + ", ".join(sorted({c.name for d in data for c in d.checks})) + ")",
    }
    return fields, runs, rates, failed


def main():
    out, docs = sys.argv[1], sys.argv[2]
    fields, runs, rates, failed = document(out)
    with open(TEMPLATE, encoding="utf-8") as f:
        text = string.Template(f.read()).substitute(fields)
    os.makedirs(docs, exist_ok=True)
    with open(os.path.join(docs, "bench.md"), "w", encoding="utf-8") as f:
        f.write(text)
    write_plot(out, docs, runs, rates)
    print(text, end="")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
