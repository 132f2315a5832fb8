"""The person-observer and flashing sections of docs/display.md."""

import numpy as np

import flashes
import observer
import person
import simulate


def hz(value):
    return "–" if value is None else "%.4f" % value


def seconds(s):
    return "%.0f (%.0f)" % (s["seconds_median"], s["seconds_p95"])


def pooled(rows):
    """Median and p95 error and the largest share of wrong signs over the
    people of several cases."""
    errors = np.concatenate([s["errors"] for s in rows if s["people"]])
    return (np.median(errors), np.percentile(errors, 95),
            max(s["sign_wrong"] for s in rows if s["people"]))


def person_section(w, results):
    way = person.CHECKED
    w("## A person timing the strip")
    w("")
    w("The ideal observer above shows what the program's timing allows. A person on a "
      "composed desktop sees the whole flicker window's colour frame by frame (white when "
      "most strips are white) and presses a stopwatch at one of three moments of each change. "
      "Each change is looked at from half-way since the previous change to half-way to the "
      "next (the changes of the one-second majority):")
    w("")
    w("- **first**: the first frame of the new colour;")
    w("- **steady**: when the new colour has held for %.1f s with no frame of the other "
      "colour. The person presses then, at the end of those %.1f s, the moment they can know "
      "it; the delay is the same at every change and cancels in a period;"
      % (person.STEADY_SECONDS, person.STEADY_SECONDS))
    w("- **middle**: half-way between the first frame of the new colour and the last frame "
      "of the old one, known only afterwards (for comparison).")
    w("")
    w("Every press carries its own Gaussian reaction error (σ = %s s). A person times 1 or 3 "
      "periods in one go, from the first whole change after Start to the change 2 or 6 "
      "changes later, divides, and reads the stopwatch to 0.01 s; %d people per phase at 8 "
      "phases, with a fixed seed. What they type goes through the core's own estimate, with "
      "the flash-rate field holding what they typed last:"
      % (", ".join("%g" % s for s in person.SIGMAS), person.PEOPLE))
    w("")
    w("- **Two runs** (sign unknown): run 1 at F gives t; the person types F′ = F + 1/(2t) "
      "from their own t, to 0.001, and times t′ the same way; if t′ > t they type t′, "
      "otherwise −t′; the result is F′ ± 1/t′. The second run starts at a phase drawn per "
      "person. It is the recorded lateness replayed onto F′'s schedule.")
    w("- **Long runs**: t′ = 2t = 100 s at t = 50 s, timed over 3 periods after waiting for "
      "the first change, needs about 350 s of one run. Runs are simulated for %.0f s: a "
      "recording shorter than that is replayed longer, its lateness and fill offsets from "
      "the second second on repeated after it (the first pass after Start, painted late "
      "once, is not repeated). The lateness is the program's and the machine's and keeps "
      "its character through a run (the soak below: no stops and steady memory over 600 s), "
      "so the repetition keeps its spread and its rare late toggles at the rate recorded; "
      "it cannot add events rarer than one recording holds." % person.RUN_SECONDS)
    w("- **One run** (Windows shows the decimal rate D): the person types F = D − max(%.2f Hz, "
      "%d ppm of D), to 0.001, times t and types +t; the result is F + 1/t."
      % (person.OFFSET_FLOOR, round(person.OFFSET_PPM * 1e6)))
    w("")
    w("Error is |result − R|; the sign is wrong when the person typed the sign opposite to "
      "that of R − F′. The time to an answer runs from each Start to the last press, both "
      "runs added; typing is not counted, and is given as median (p95).")
    w("")

    w("### Per case, two runs")
    w("")
    w("| F | R | t (s) | steady: median | p95 | sign wrong | answer after, s (p95) "
      "| first: median / p95 | middle: median / p95 |")
    w("|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for flash_rate, rate, row in results["two"]:
        s = row[way]
        f, m = row.get(("first",) + way[1:]), row.get(("middle",) + way[1:])
        name = ("%.5f" % rate).rstrip("0").rstrip(".")
        if not s["people"]:
            w("| %g | %s | %.1f | runs too short | | | | | |" % (
                flash_rate, name, 1 / abs(rate - flash_rate)))
            continue
        w("| %g | %s | %.1f | %s | %s | %.2f %% | %s | %s | %s |" % (
            flash_rate, name, 1 / abs(rate - flash_rate),
            hz(s["median"]), hz(s["p95"]), s["sign_wrong"], seconds(s),
            "%s / %s" % (hz(f["median"]), hz(f["p95"])) if f else "",
            "%s / %s" % (hz(m["median"]), hz(m["p95"])) if m else ""))
    w("")
    w("The first columns time the %s moment with σ = %g s and %d periods, the way the check "
      "judges (it fails above %g %% wrong signs); the last two the other moments the same "
      "way. The rows with F = 59.97 and 59.91 are a 60000/1001 Hz display after the guide's "
      "move of the estimate 59.94 by 0.03 either way." % (way[0], way[1], way[2],
                                                          person.SIGN_LIMIT))
    w("")

    w("### Per flash rate and t, two runs")
    w("")
    w("Timing the steady colour over 3 periods, pooled over the judged cases of each flash "
      "rate with about the same t (both sides of F): median / p95 error in Hz, and the "
      "median time to an answer.")
    w("")
    w("| F | t (s) | cases | " + " | ".join("σ %g s" % s for s in person.SIGMAS)
      + " | answer after (s) |")
    w("|---:|---:|---:|" + "---:|" * len(person.SIGMAS) + "---:|")
    for flash_rate in sorted(simulate.CASES):
        groups = {}
        for f, r, row in results["two"]:
            if f == flash_rate and simulate.judged(f, r):
                groups.setdefault(int(round(1 / abs(r - f))), []).append(row)
        for t in sorted(groups):
            cells = []
            for sigma in person.SIGMAS:
                rows = [row[(way[0], sigma, way[2])] for row in groups[t]
                        if (way[0], sigma, way[2]) in row]
                if not any(r["people"] for r in rows):
                    cells.append("")
                    continue
                med, p95, _ = pooled(rows)
                cells.append("%.4f / %.4f" % (med, p95))
            checked = [row[way] for row in groups[t] if row[way]["people"]]
            after = ", ".join("%.0f" % c["seconds_median"] for c in checked)
            w("| %d | %d | %d | %s | %s |" % (flash_rate, t, len(groups[t]), " | ".join(cells),
                                              after))
    w("")

    w("### Per flash rate and way of timing, two runs")
    w("")
    w("Pooled over the judged cases of each flash rate (median / p95 error in Hz; the "
      "largest share of wrong signs of any case).")
    w("")
    w("| F | moment | periods | " + " | ".join("σ %g s" % s for s in person.SIGMAS) + " |")
    w("|---:|---|---:|" + "---:|" * len(person.SIGMAS))
    for flash_rate in sorted(simulate.CASES):
        chosen = [row for f, r, row in results["two"]
                  if f == flash_rate and simulate.judged(f, r)]
        for strategy in person.STRATEGIES:
            for k in person.PERIODS:
                cells = []
                for sigma in person.SIGMAS:
                    rows = [row[(strategy, sigma, k)] for row in chosen
                            if (strategy, sigma, k) in row]
                    if not rows or not any(r["people"] for r in rows):
                        cells.append("")
                        continue
                    med, p95, wrong = pooled(rows)
                    cells.append("%.4f / %.4f (%.1f %%)" % (med, p95, wrong))
                w("| %d | %s | %d | %s |" % (flash_rate, strategy, k, " | ".join(cells)))
    w("")

    w("### One run where Windows shows the decimal rate")
    w("")
    w("The PC's counter and the graphics card's pixel clock are each within about ±50 ppm, "
      "so in the counter's seconds the real rate lies within ±%d ppm of the shown rate D. "
      "Typing F = D − max(%.2f Hz, %d ppm of D) puts F below the real rate by at least "
      "%d ppm of D, so the sign is known: +t. The 0.03 Hz "
      "floor keeps t near 33 s at 60 Hz, where 150 ppm alone would give t = 111 s. Rows: "
      "the real rate at D and off by ∓%d ppm."
      % (round(person.CLOCK_PPM * 1e6), person.OFFSET_FLOOR, round(person.OFFSET_PPM * 1e6),
         round((person.OFFSET_PPM - person.CLOCK_PPM) * 1e6), round(person.CLOCK_PPM * 1e6)))
    w("")
    w("| shown D | typed F | real R | t (s) | steady: median | p95 | answer after, s (p95) "
      "| σ 0.3 s: median / p95 | 1 period, σ 0.15 s: median / p95 |")
    w("|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for shown, flash_rate, rate, row in results["one"]:
        s = row[way]
        a, b = row.get((way[0], 0.3, way[2])), row.get((way[0], way[1], 1))
        if not s["people"]:
            w("| %.3f | %.3f | %.5f | %.1f | runs too short | | | | |" % (
                shown, flash_rate, rate, 1 / (rate - flash_rate)))
            continue
        w("| %.3f | %.3f | %.5f | %.1f | %s | %s | %s | %s | %s |" % (
            shown, flash_rate, rate, 1 / (rate - flash_rate), hz(s["median"]), hz(s["p95"]),
            seconds(s), "%s / %s" % (hz(a["median"]), hz(a["p95"])) if a else "",
            "%s / %s" % (hz(b["median"]), hz(b["p95"])) if b else ""))
    w("")
    w("Not at the shown rate: within the clocks' tolerance the one run gives t between "
      "1/(offset + %d ppm of D) and 1/(offset − %d ppm of D). A t shorter than "
      "1/(offset + %d ppm of D), a result more than %d ppm above D, means the display is not "
      "at the rate Windows shows: then use the two runs."
      % (round(person.CLOCK_PPM * 1e6), round(person.CLOCK_PPM * 1e6),
         round(person.OFFSET_PPM * 1e6), round(person.OFFSET_PPM * 1e6)))
    w("")
    w("| shown D | typed F | expected t (s) | t within the tolerance (s) | not at D when t < (s) |")
    w("|---:|---:|---:|---:|---:|")
    for shown, real, _ in person.SHOWN:
        f = person.one_run_estimate(shown)
        tol = person.CLOCK_PPM * shown
        w("| %.3f | %.3f | %.1f | %.1f to %.1f | %.1f |" % (
            shown, f, 1 / (shown - f), 1 / (shown - f + tol), 1 / (shown - f - tol),
            person.not_at_shown_rate_time(shown)))
    w("")
    w("A display below F (for example a mode shown as 60.000 that runs at 59.94: F = 59.970) "
      "changes at the rate |R − F| too; typing +t then gives 2F − R, above the real rate by "
      "2(F − R) (60.000, 0.06 Hz off, in the example). One run cannot tell it from a display "
      "at D; only the two runs can.")
    w("")


def exact_5994_section(w, recordings, estimator):
    """59.94 typed on a 60000/1001 Hz display: what the person sees."""
    run = recordings.get(60)
    if run is None:
        return
    flash_rate, rate = 59.94, person.DISPLAY_5994
    toggles = run.toggles(estimator.toggle_rate(flash_rate))
    changes, strays = [], []
    for phase in simulate.PHASES:
        seen = observer.observe_compositor(toggles, rate, phase)
        changes.append(len(seen.changes))
        strays.append(flashes.stray_frames(toggles, rate, phase))
    length = strays[0]["seconds"]
    w("### 59.94 typed for a 60000/1001 Hz display")
    w("")
    w("|R − F| = %.5f Hz: a change would come every %.0f s. In the %.0f s recorded, at the 8 "
      "phases: %s changes seen by the one-second majority; frames of the other colour "
      "%s; flicker bursts (other-colour frames closer than 0.5 s count as one) %s; most "
      "flashes in any one second %s. The strip looks steady, with a stray frame now and "
      "then, and a person reads it as \"no change\": closer than 1/(2T) Hz. The guide's "
      "moves give the rows F = 59.97 and 59.91 above (two runs) and the one run from "
      "the shown 59.940 (typed 59.910)."
      % (rate - flash_rate, 0.5 / (rate - flash_rate), length,
         "–".join(str(x) for x in (min(changes), max(changes))),
         "%d–%d" % (min(s["frames"] for s in strays), max(s["frames"] for s in strays)),
         "%d–%d" % (min(s["bursts"] for s in strays), max(s["bursts"] for s in strays)),
         "%g–%g" % (min(s["most"] for s in strays), max(s["most"] for s in strays))))
    w("")


def flashing_section(w, recordings):
    """Flicker around the changes, the steady beat and the near-exact
    estimate, against WCAG 2.3.1's three flashes in any one second."""
    w("## Flashing")
    w("")
    w("A flash is a pair of opposing changes of the whole strip's colour (WCAG 2.3.1 counts "
      "the same). Composed desktop, all 8 phases.")
    w("")
    w("Around each change (from the first to the last frame of the other side's colour, "
      "within half-way to the neighbouring changes):")
    w("")
    w("| F | R | t (s) | flicker length median / max (s) | flashes/s over it, median "
      "(range; flickers of 1 s or more) | most in one second, median / max |")
    w("|---:|---:|---:|---:|---:|---:|")
    zones_by_rate = {}
    for flash_rate in (144, 240):
        run = recordings.get(flash_rate)
        if run is None:
            continue
        toggles = run.toggles()
        for rate in simulate.CASES[flash_rate]:
            if not simulate.judged(flash_rate, rate):
                continue
            z = np.array([x for p in simulate.PHASES
                          for x in flashes.flicker_zones(toggles, rate, p)])
            if len(z) == 0:
                continue
            zones_by_rate.setdefault(flash_rate, []).append(z)
            flicker = z[z[:, 0] >= 1.0]  # rates over a single stray frame mean little
            if len(flicker) == 0:
                flicker = z
            w("| %d | %s | %.0f | %.1f / %.1f | %.1f (%.1f–%.1f) | %.1f / %.1f |" % (
                flash_rate, rate, 1 / abs(rate - flash_rate), np.median(z[:, 0]),
                z[:, 0].max(), np.median(flicker[:, 1]), flicker[:, 1].min(),
                flicker[:, 1].max(), np.median(z[:, 2]), z[:, 2].max()))
    w("")
    w("Steady beat when the estimate is far off (the whole strip, all the time):")
    w("")
    w("| typed F | display R | flashes/s | most in one second |")
    w("|---:|---:|---:|---:|")
    beats = []
    for flash_rate, rate in ((60, 75.0), (144, 165.0)):
        run = recordings.get(flash_rate)
        if run is None:
            continue
        b = np.array([flashes.beat(run.toggles(), rate, p) for p in simulate.PHASES])
        beats.append((flash_rate, rate, b[:, 0].mean(), b[:, 1].max()))
        w("| %d | %g | %.1f | %.1f |" % beats[-1])
    w("")
    w("The estimate exactly right (R = F), per phase: frames of the minority colour, "
      "bursts (minority frames closer than 0.5 s count as one), and the most flashes in any "
      "one second:")
    w("")
    w("| F | seconds | minority frames per phase | bursts per phase | most in one second |")
    w("|---:|---:|---|---|---|")
    for flash_rate, run in sorted(recordings.items()):
        toggles = run.toggles()
        s = [flashes.stray_frames(toggles, float(flash_rate), p) for p in simulate.PHASES]
        w("| %d | %.0f | %s | %s | %s |" % (
            flash_rate, s[0]["seconds"], ", ".join(str(x["frames"]) for x in s),
            ", ".join(str(x["bursts"]) for x in s), ", ".join("%g" % x["most"] for x in s)))
    w("")
    w("A few stray frames at some phases, and at others a burst every second or two for the "
      "whole run: the strip then flickers the whole time while no change comes.")
    w("")
    if zones_by_rate and beats:
        most = {f: max(z[:, 2].max() for z in zs) for f, zs in zones_by_rate.items()}
        w("Against WCAG 2.3.1 (no more than three flashes in any one second): the far-off "
          "beat flashes the whole strip %s times a second, and on a composed desktop the "
          "flicker around each change reaches %s flashes in one second, so both exceed it; "
          "the narrow strip (32 px wide, under 10 %% of the 341 × 256 px area that WCAG takes "
          "for 10° of view at 1024 × 768) stays within its area allowance, the widened one "
          "does not." % (" and ".join("%.0f" % b[2] for b in beats),
                         " and ".join("%.0f at %d" % (most[f], f) for f in sorted(most))))
        w("")


def busy_section(w, busy_dir, estimator):
    """The same measurements on recordings made while the machine was busy
    with other work: how load shows in the timing and what a person gets."""
    recordings = simulate.load_recordings(busy_dir)
    if not recordings:
        return
    import json
    import os
    with open(os.path.join(busy_dir, "info.json")) as f:
        info = json.load(f)
    way = person.CHECKED
    runs = {f: simulate.longest_run(r) for f, r in recordings.items()}
    people = person.evaluate(runs, estimator, simulate.CASES, simulate.judged, [way],
                             simulate.PHASES)
    w("## A busy PC")
    w("")
    w("The same recordings made again, 420 s each, while other programs (builds) kept the "
      "machine's two cores busy. Not judged by the check; the rest of this page uses the "
      "recordings above. %s" % info.get("notes", ""))
    w("")
    w("| flash rate | seconds | CPU busy | flush lateness p50 / p99 / p99.9 / max (ms) | ideal "
      "observer, largest error (Hz) | person (steady, σ 0.15 s, 3 periods): median / p95 (Hz) "
      "| sign wrong |")
    w("|---:|---:|---:|---:|---:|---:|---:|")
    for flash_rate, run in sorted(runs.items()):
        late = run.lateness * 1e3 / run.frequency
        toggles = run.toggles()
        worst = 0.0
        for rate in simulate.CASES[flash_rate]:
            if simulate.judged(flash_rate, rate):
                results = simulate.run_case(run, flash_rate, rate, estimator, toggles)
                worst = max([worst] + [r["error"] for r in results if r["error"] is not None])
        rows = [row[way] for f, r, row in people["two"] if f == flash_rate and row[way]["people"]]
        med, p95, wrong = pooled(rows)
        w("| %d | %.0f | %s | %.2f / %.2f / %.2f / %.0f | %.4f | %.4f / %.4f | %.2f %% |" % (
            flash_rate, toggles.end, info["recordings"].get(str(flash_rate), {}).get("busy", "?"),
            np.median(late), np.percentile(late, 99), np.percentile(late, 99.9), late.max(),
            worst, med, p95, wrong))
    w("")
    w("With the toggles' lateness spread over milliseconds the flicker around the changes "
      "grows, and even the ideal observer's one-second majority is misled at short t: keep "
      "the tool in the foreground and close other heavy programs.")
    w("")
