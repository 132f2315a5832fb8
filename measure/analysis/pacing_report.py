#!/usr/bin/env python3
"""Turns the outputs of the pacing benchmarks into docs/bench.md and docs/bench.png.

Usage: report.py OUTDIR DOCSDIR

OUTDIR holds machine.txt, native.json, native.txt and run1..runN, each run with
summary.tsv, load.txt and lateness-<design>-<rate>.txt from pacing_bench.
Figures are medians over the runs; ratios are taken within each run first.
"""
import json
import math
import os
import statistics
import subprocess
import sys

DESIGNS = [("ours", "the pacer (busy loop)"), ("sleep1", "Sleep(1) loop"),
           ("timer1", "1 ms SetTimer")]


def read_run(path):
    results, calls, checks, info, baseline = {}, {}, [], {}, {}
    with open(os.path.join(path, "summary.tsv"), encoding="utf-8") as f:
        for line in f:
            cols = line.rstrip("\n").split("\t")
            if cols[0] == "result":
                values = {}
                for kv in cols[3:]:
                    k, v = kv.split("=", 1)
                    values[k] = float(v)
                results[(cols[1], int(cols[2]))] = values
            elif cols[0] == "call":
                calls[cols[1]] = float(cols[2])
            elif cols[0] == "check":
                checks.append((cols[1], cols[2], cols[3]))
            elif cols[0] == "baseline":
                baseline = {}
                for kv in cols[1:]:
                    k, v = kv.split("=", 1)
                    baseline[k] = float(v)
            elif cols[0] == "info":
                info[cols[1]] = cols[2]
    load = ""
    load_path = os.path.join(path, "load.txt")
    if os.path.exists(load_path):
        with open(load_path, encoding="utf-8") as f:
            load = f.read().strip()
    return {"results": results, "calls": calls, "checks": checks, "info": info, "load": load,
            "baseline": baseline}


def med(values):
    values = [v for v in values if not math.isnan(v)]
    return statistics.median(values) if values else float("nan")


def fmt(value, digits=1):
    if value is None or (isinstance(value, float) and math.isnan(value)):
        return "–"
    return f"{value:,.{digits}f}"


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
    index = {}
    with open(data, "w", encoding="utf-8") as f:
        block = 0
        for rate in rates:
            for design, _ in DESIGNS:
                s = lateness_samples(out, runs, design, rate)
                n = len(s)
                # At most about 3000 points a curve, always with the tail.
                step = max(1, n // 2000)
                picks = list(range(0, n, step)) + list(range(max(0, n - 1000), n))
                for i in sorted(set(picks)):
                    f.write(f"{max(s[i], 0.1):.2f} {(n - i) / n:.6g}\n")
                f.write("\n\n")
                index[(design, rate)] = block
                block += 1
    script = os.path.join(out, "bench.gp")
    png = os.path.join(docs, "bench.png")
    colours = {"ours": "#1b7837", "sleep1": "#2166ac", "timer1": "#b2182b"}
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
        for rate in rates:
            f.write(f"set title '{rate} flashes per second ({2 * rate} toggles per second)'\n")
            parts = []
            for design, label in DESIGNS:
                parts.append(f"'{data}' index {index[(design, rate)]} using 1:2 with steps "
                             f"lw 2 lc rgb '{colours[design]}' title '{label}'")
            f.write("plot " + ", \\\n     ".join(parts) + "\n")
        f.write("unset multiplot\n")
    subprocess.run(["gnuplot", script], check=True)


def main():
    out, docs = sys.argv[1], sys.argv[2]
    runs = sorted(d for d in os.listdir(out) if d.startswith("run"))
    data = [read_run(os.path.join(out, r)) for r in runs]
    rates = sorted({rate for d in data for (_, rate) in d["results"]})
    with open(os.path.join(out, "machine.txt"), encoding="utf-8") as f:
        machine = [line.rstrip("\n") for line in f if line.strip()]
    with open(os.path.join(out, "native.json"), encoding="utf-8") as f:
        native = json.load(f)
    with open(os.path.join(out, "native.txt"), encoding="utf-8") as f:
        native_alloc = next((line.strip() for line in f if line.startswith("allocations")), "")

    def m(design, rate, key):
        return med([d["results"][(design, rate)][key] for d in data])

    def all_runs(design, rate, key):
        return [d["results"][(design, rate)][key] for d in data]

    def full_runs(design, rate, key):
        """Median over the runs that no stop rule ended (all runs if every one was)."""
        full = [d["results"][(design, rate)] for d in data
                if d["results"][(design, rate)]["stops"] == 0]
        if not full:
            full = [d["results"][(design, rate)] for d in data]
        return med([v[key] for v in full])

    def ratio(design, rate, key):
        return med([d["results"][(design, rate)][key] / d["results"][("ours", rate)][key]
                    for d in data])

    native_ns = {}
    for b in native["benchmarks"]:
        if b.get("aggregate_name", "median") == "median":
            # CPU time: other work on the machine stretches the wall time.
            native_ns[b["run_name"]] = b["cpu_time"]  # nanoseconds

    seconds = f"{float(data[0]['info'].get('seconds', 'nan')):g}"
    lines = []
    w = lines.append
    w("# Pacing benchmark")
    w("")
    w("Made by `tools/bench.sh`: the pacer, built for 64-bit Windows, runs under Wine in a "
      "virtual X display, driven through the real settings dialog (Start), flicker window and "
      "main-loop message handling; the counter is read right after each toggle's flush by a "
      "platformFlush of the benchmark's own, linked in place of the front end's. Each rate "
      f"runs {seconds} s with 4 "
      "strips in the 32-pixel window and the default limits (10, 3). Every figure is the median of "
      f"{len(runs)} runs; ratios are taken within each run, then the median.")
    w("")
    w("Machine: " + "; ".join(machine) + ".")
    w("")
    w("Other work shares the machine's two cores. For each run: the load average before and "
      f"after it, and what a loop that only reads the counter saw for {seconds} s under Wine "
      "before the designs ran: gaps between two readings are time the thread did not run.")
    w("")
    w("| run | load average before → after | gaps > 1 ms | gaps > 10 ms | longest gap (ms) "
      "| time lost |")
    w("|---|---|---:|---:|---:|---:|")
    for r, d in zip(runs, data):
        b = d["baseline"]
        load = d["load"].replace("load average ", "").replace("\n", " → ")
        w(f"| {r} | {load} | {fmt(b.get('over1ms'), 0)} | {fmt(b.get('over10ms'), 0)} "
          f"| {fmt(b.get('maxUs', float('nan')) / 1000, 1)} "
          f"| {fmt(b.get('lostPercent'), 2)} % |")
    w("")
    w("## The pacer")
    w("")
    w("Lateness of a toggle: counter right after its flush minus its scheduled time "
      "k × `rateScale` × `tickFrequency` / `toggleRate` after Start. A loop turn is the time "
      "from one pass to the next when the first had nothing due: the queue check "
      "(`PeekMessageW`, a round trip to the Wine server), `IsWindow` and `runPass`. "
      "One toggle is the median pass with one toggle due less the median pass with none. "
      "Rate error: the achieved average toggle rate against the requested one, the achieved "
      "period being the scheduled one plus the drift of the median lateness from the first "
      "half of the run to the second, per toggle in between.")
    w("")
    w("| flashes/s | passes/s | loop turn (µs) | runPass, nothing due (µs) | one toggle (µs) "
      "| p50 (µs) | p90 (µs) | p99 (µs) | p99.9 (µs) | max (µs) | dropping passes "
      "| largest due | runs with a stop | rate error (ppm) | first pass (ms) |")
    w("|" + "---:|" * 15)
    for rate in rates:
        stops = sum(1 for v in all_runs("ours", rate, "stops") if v > 0)
        w(f"| {rate} | {fmt(m('ours', rate, 'passesPerSecond'), 0)} "
          f"| {fmt(m('ours', rate, 'turnIdleUs'))} | {fmt(m('ours', rate, 'passIdleUs'))} "
          f"| {fmt(m('ours', rate, 'toggleUs'))} | {fmt(m('ours', rate, 'p50'))} "
          f"| {fmt(m('ours', rate, 'p90'))} | {fmt(m('ours', rate, 'p99'))} "
          f"| {fmt(m('ours', rate, 'p999'))} | {fmt(m('ours', rate, 'max'))} "
          f"| {fmt(m('ours', rate, 'dropping'), 0)} "
          f"| {fmt(max(all_runs('ours', rate, 'maxDue')), 0)} "
          f"| {stops} of {len(runs)} | {fmt(full_runs('ours', rate, 'ppm'), 2)} "
          f"| {fmt(m('ours', rate, 'firstPassMs'), 1)} |")
    w("")
    w("Largest due is the largest over the runs. A run that a stop rule ends is measured "
      "up to the stop; the rate error is the median over the runs that ran their full time. "
      "First pass: from Start's counter reading to the first pass, the time Start takes to "
      "create and show the flicker window after `beginRun`; the toggles due by then are "
      "painted late, back to back, by that first pass.")
    w("")
    w("Each run: lateness p50 / p99 in µs, then the gaps of more than 1 ms between the end of "
      "one pass and the start of the next (a loop turn's message check takes about 45 µs, so "
      "these are times the loop was not running) and the share of the run they took.")
    w("")
    w("| run | " + " | ".join(f"{r}/s" for r in rates) + " |")
    w("|---|" + "---:|" * len(rates))
    for r, d in zip(runs, data):
        cells = []
        for rate in rates:
            v = d["results"][("ours", rate)]
            stop = " (stop)" if v["stops"] > 0 else ""
            cells.append(f"{fmt(v['p50'])} / {fmt(v['p99'])}{stop}; "
                         f"{fmt(v.get('stalls'), 0)} gaps, {fmt(v.get('stalledPercent'), 1)} %")
        w(f"| {r} | " + " | ".join(cells) + " |")
    w("")
    w("## Against naive designs")
    w("")
    w("The same window, schedule and painting calls, without drop limits: a loop that "
      "sleeps with `Sleep(1)` between wake-ups, and a 1 ms `SetTimer` whose `WM_TIMER` "
      "paints; each paints every toggle that fell due since its last wake-up.")
    w("")
    w("| flashes/s | design | wake-ups/s | p50 (µs) | p90 (µs) | p99 (µs) | p99.9 (µs) "
      "| max (µs) | rate error (ppm) | p50 naive/ours | p99 naive/ours |")
    w("|---:|---|" + "---:|" * 9)
    for rate in rates:
        for design, label in DESIGNS:
            r50 = "" if design == "ours" else f"{fmt(ratio(design, rate, 'p50'))}×"
            r99 = "" if design == "ours" else f"{fmt(ratio(design, rate, 'p99'))}×"
            w(f"| {rate} | {label} | {fmt(m(design, rate, 'passesPerSecond'), 0)} "
              f"| {fmt(m(design, rate, 'p50'))} | {fmt(m(design, rate, 'p90'))} "
              f"| {fmt(m(design, rate, 'p99'))} | {fmt(m(design, rate, 'p999'))} "
              f"| {fmt(m(design, rate, 'max'))} | {fmt(full_runs(design, rate, 'ppm'), 2)} "
              f"| {r50} | {r99} |")
    w("")
    w("Above about p90 every design's lateness is set by the time the process was not "
      "running (the gaps in the load table; the busy loop competes with the other work for a "
      "core, while a sleeping loop is woken promptly), so the p99 ratios say more about the "
      "machine's other work than about the designs.")
    w("")
    w("![Toggle lateness of the three designs](bench.png)")
    w("")
    w("## Where a loop turn goes")
    w("")
    w("Each call timed alone on a live flicker window under Wine (median over batches):")
    w("")
    w("| call | µs |")
    w("|---|---:|")
    names = list(data[0]["calls"].keys())
    call = {name: med([d["calls"][name] for d in data]) for name in names}
    for name in names:
        w(f"| {name} | {fmt(call[name], 3)} |")
    w("")
    peek = call.get("PeekMessageW(PM_NOREMOVE), empty queue", float("nan"))
    pass_calls = (call.get("GetDC + ReleaseDC", 0) + call.get("GetClientRect", 0)
                  + call.get("QueryPerformanceCounter", 0)
                  + call.get("core arithmetic: layoutStrips(n = 4) + 2 toggleIndex", 0))
    turns = med([m("ours", r, "turnIdleUs") for r in rates])
    w(f"A loop turn with nothing due ({fmt(turns)} µs, median over the rates) is the queue "
      f"check `PeekMessageW` ({fmt(peek)} µs) plus `IsWindow` and a pass whose calls "
      f"(`GetDC`, `GetClientRect`, the counter, `ReleaseDC` and the arithmetic) add up to "
      f"{fmt(pass_calls, 2)} µs: {fmt(peek / turns * 100, 0)} % of the turn is the round trip "
      f"to the Wine server. A toggle is four `FillRect` of an 8-pixel strip into Wine's "
      f"window surface ({fmt(call.get('FillRect (8 px x screen height)', float('nan')))} µs "
      f"each) and a `GdiFlush` ({fmt(call.get('GdiFlush', float('nan')), 2)} µs). "
      f"`GetActiveWindow`, also a server round trip, runs only when a message is waiting.")
    w("")
    w("## The pass's own arithmetic (native, Google Benchmark)")
    w("")
    w("Linux build of the core with a platform whose calls do nothing; CPU time per "
      "iteration, median of 5 repetitions. `passArithmetic` is the strip layout and the two "
      "toggle indices of a pass; `idlePass` a whole pass with nothing due.")
    w("")
    w("| case | ns |")
    w("|---|---:|")
    for name, ns in native_ns.items():
        w(f"| `{name.split('/repeats')[0]}` | {fmt(ns, 1)} |")
    w("")
    w(f"Heap allocations over passes (nothing, one, several and too many due; n = 4 and 1024; "
      f"a pass past its painting deadline): {native_alloc.split(':', 1)[-1].strip()}.")
    w("")

    # Targets.
    w("## Targets")
    w("")
    turn = {r: m("ours", r, "turnIdleUs") for r in rates}
    tog = {r: m("ours", r, "toggleUs") for r in rates}
    p50 = {r: m("ours", r, "p50") for r in rates}
    t1 = [med([d["results"][("ours", r)]["p50"] /
               (d["results"][("ours", r)]["turnIdleUs"] + d["results"][("ours", r)]["toggleUs"])
               for d in data]) for r in rates]
    ok1 = all(v <= 1.5 for v in t1)
    w(f"- p50 lateness ≤ 1.5 × (loop turn + one toggle): **{'met' if ok1 else 'not met'}** — "
      + ", ".join(f"{r}/s: {fmt(p50[r])} µs = {t:.2f} × ({fmt(turn[r])} + {fmt(tog[r])})"
                  for r, t in zip(rates, t1)) + ".")
    s50 = [ratio("sleep1", r, "p50") for r in rates]
    q50 = [ratio("timer1", r, "p50") for r in rates]
    ok2 = all(v >= 8 for v in s50) and all(v >= 50 for v in q50)
    w(f"- p50 ≥ 8× better than `Sleep(1)` and ≥ 50× better than the timer: "
      f"**{'met' if ok2 else 'not met'}** — Sleep(1) "
      + ", ".join(f"{fmt(v)}×" for v in s50) + "; timer " + ", ".join(f"{fmt(v)}×" for v in q50)
      + f" (at {', '.join(str(r) for r in rates)} flashes/s).")
    ppm = {r: full_runs("ours", r, "ppm") for r in rates}
    ok3a = all(abs(v) <= 5 for v in ppm.values())
    calm = [r for r in rates if r <= 240]
    stops_calm = sum(1 for r in calm for v in all_runs("ours", r, "stops") if v > 0)
    w(f"- |average rate error| ≤ 5 ppm at every rate: **{'met' if ok3a else 'not met'}** — "
      + ", ".join(f"{r}/s: {fmt(v, 2)} ppm" for r, v in ppm.items()) + ".")
    w(f"- no stop at {', '.join(str(r) for r in calm)} flashes/s with the default limits: "
      f"**{'met' if stops_calm == 0 else 'not met'}** — {stops_calm} stopped runs out of "
      f"{len(calm) * len(runs)}.")
    arith = native_ns.get("passArithmetic/4", float("nan"))
    turn_min = min(turn.values())
    pass_alone = med([m("ours", r, "passIdleUs") for r in rates])
    share = arith / (turn_min * 1000) * 100
    w(f"- the core's arithmetic < 1 % of a pass at n = 4: **{'met' if share < 1 else 'not met'}** "
      f"— {fmt(arith, 1)} ns of a {fmt(turn_min)} µs loop turn ({share:.3f} %); of "
      f"`runPass` alone ({fmt(pass_alone)} µs with nothing due, timed with a 0.1 µs counter) "
      f"it is {arith / (pass_alone * 1000) * 100:.0f} %.")
    w("")
    failed = [(r, c) for r, d in zip(runs, data) for c in d["checks"] if c[1] != "ok"]
    w("Checks in every run: " + ("all passed" if not failed else
                                 "; ".join(f"{r}: {c[0]} {c[1]} ({c[2]})" for r, c in failed))
      + " (" + ", ".join(sorted({c[0] for d in data for c in d["checks"]})) + ").")

    os.makedirs(docs, exist_ok=True)
    with open(os.path.join(docs, "bench.md"), "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")
    write_plot(out, docs, runs, rates)
    print("\n".join(lines))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
