#!/usr/bin/env python3
"""Writes docs/display.md and the display pictures from the recordings.

  report.py DATA_DIR ESTIMATE DOCS_DIR
"""

import json
import os
import subprocess
import sys
import tempfile

import numpy as np

import display
import observer
import person
import report_person
import simulate

CAPTION = "simulated from the program's own toggle times under Wine"


def percentiles(values):
    values = np.asarray(values)
    return np.percentile(values, 50), np.percentile(values, 99), values.max()


def flicker_spans(times, share, changes, reach):
    """Around each decided change, how long the strip flickers: the time
    that holds the middle 90 % of the frames showing the other side's colour
    (the new colour before the change, the old one after it), looking at
    most `reach` seconds either side (half the time between changes)."""
    spans = []
    white = share >= 0.5
    for c in changes:
        near = np.flatnonzero(np.abs(times - c) < reach)
        before, after = near[times[near] < c], near[times[near] >= c]
        if len(before) == 0 or len(after) == 0:
            continue
        old = white[before[0]]
        stray = np.concatenate([before[white[before] != old], after[white[after] == old]])
        if len(stray) == 0:
            spans.append(0.0)
            continue
        low, high = np.percentile(times[stray], [5, 95])
        spans.append(float(high - low))
    return spans


def gnuplot(script):
    subprocess.run(["gnuplot"], input=script, text=True, check=True)


def image_panel(path, matrix, x0, dx, rows_to_lines, title, xlabel):
    """One gnuplot image panel command for a [rows, columns] matrix of 0/1."""
    data = (np.nan_to_num(matrix, nan=0.5) * 255).astype(np.uint8)
    data.tofile(path)
    h, w = data.shape
    return ("set title %s\nset xlabel '%s'\n"
            "plot '%s' binary array=(%d,%d) format='%%uchar' dx=%g dy=%g origin=(%g,0) "
            "flipy with image notitle\n"
            % (json.dumps(title), xlabel, path, w, h, dx, rows_to_lines, x0))


def pictures(recordings, docs_dir):
    """docs/display-scanout.png and docs/display-compositor.png."""
    tmp = tempfile.mkdtemp()
    # Scanout: time across, height down, at two flash rates.
    head = ("set terminal pngcairo size 1400,900 font 'sans,11'\n"
            "set palette gray\nunset colorbox\nset yrange [1080:0]\n"
            "set ylabel 'line (of 1080, top = 0)'\n")
    script = head + "set output '%s'\n" % os.path.join(docs_dir, "display-scanout.png")
    script += "set multiplot layout 2,1 title %s\n" % json.dumps(
        "Scanout (no compositor): the strip at every 6th frame, " + CAPTION)
    for flash_rate, rate, seconds in [(60, 60.05, 60), (240, 240.06, 60)]:
        if flash_rate not in recordings:
            continue
        toggles = simulate.longest_run(recordings[flash_rate]).toggles()
        frames = display.frame_starts(rate, 0.0, seconds)[::6]
        matrix = display.scanout_picture(toggles, rate, 0.0, 0, frames, 270)
        script += "set xrange [0:%g]\n" % seconds
        script += image_panel(os.path.join(tmp, "s%d.bin" % flash_rate), matrix, 0, 6 / rate,
                              1080 / 270.0,
                              "flash rate %d, display %g Hz: two downward passes at a fixed "
                              "height every %.1f s" % (flash_rate, rate, 1 / (rate - flash_rate)),
                              "time since Start (s)")
    script += "unset multiplot\n"
    gnuplot(script)

    # Compositor: one colour per frame; the whole strip, then one change
    # frame by frame.
    script = ("set terminal pngcairo size 1400,900 font 'sans,11'\n"
              "set palette gray\nunset colorbox\nset yrange [3.5:-0.5]\nset ytics 1\n"
              "set ylabel 'strip of the flicker window'\n"
              "set output '%s'\n" % os.path.join(docs_dir, "display-compositor.png"))
    script += "set multiplot layout 3,1 title %s\n" % json.dumps(
        "Composed desktop: the flicker window's four strips, one colour per frame, " + CAPTION)
    for flash_rate, rate, seconds, step, zoom in [(60, 60.05, 60, 6, False),
                                                  (240, 240.06, 60, 24, False),
                                                  (240, 240.06, None, 1, True)]:
        if flash_rate not in recordings:
            continue
        toggles = simulate.longest_run(recordings[flash_rate]).toggles()
        times, colours = display.compositor_frames(toggles, rate, 0.0)
        if zoom:
            share = observer.white_share(colours)
            changes = observer.decide_changes(times, share, rate)
            if len(changes) == 0:
                continue
            c = changes[len(changes) // 2]
            keep = np.abs(times - c) <= 2.0
            title = ("flash rate 240, display 240.06 Hz: every frame for 4 s around one "
                     "change (at %.1f s)" % c)
            x0, dx = times[keep][0], 1 / rate
            script += "set xrange [%g:%g]\n" % (x0, times[keep][-1])
        else:
            keep = (times <= seconds) & (np.arange(len(times)) % step == 0)
            title = ("flash rate %d, display %g Hz: every %dth frame; the colour changes "
                     "every %.1f s" % (flash_rate, rate, step, 0.5 / (rate - flash_rate)))
            x0, dx = 0, step / rate
            script += "set xrange [0:%g]\n" % seconds
        script += image_panel(os.path.join(tmp, "c%d%d.bin" % (flash_rate, zoom)),
                              colours[keep].T, x0, dx, 1.0, title, "time since Start (s)")
    script += "unset multiplot\n"
    gnuplot(script)


def write(data_dir, estimator, docs_dir):
    recordings = simulate.load_recordings(data_dir)
    with open(os.path.join(data_dir, "info.json")) as f:
        info = json.load(f)
    cases = simulate.all_cases(data_dir, estimator)
    lines = []
    w = lines.append

    w("# What the display shows")
    w("")
    w("No machine of this project scans out a picture, so this page shows what a display "
      "would show of the flicker strip, %s. The program is the real one (its pacer, main "
      "loop, flicker window and Win32 platform layer; the 64-bit build), linked with a "
      "`platformFill` and `platformFlush` of the recorder's own that read the counter "
      "after every strip's fill and every toggle's flush. It ran with the default "
      "settings (10, 3, 4 strips) at 60, 144 and 240 flashes per second. "
      "Regenerate everything with `bash tools/simulate.sh --record`; "
      "`bash tools/simulate.sh --check` judges the committed recordings." % CAPTION)
    w("")
    w("Machine: %s." % info["machine"])
    w("")
    w("## The two display models")
    w("")
    w("- **Scanout** (no compositor: Windows XP; Vista and 7 with the Basic or Classic "
      "theme). The display scans %d visible lines and %d lines of vertical blanking "
      "(CEA-861 1080p timing) from top to bottom once per 1/R s; each line shows the colour "
      "of the latest fill of its strip made at or before the moment the scan "
      "reaches it." % (display.LINES_VISIBLE, display.LINES_TOTAL - display.LINES_VISIBLE))
    w("- **Compositor** (Windows 8 and later; Vista and 7 with Aero). Once per 1/R s every "
      "strip of the flicker window takes the colour of its latest fill made at or before the "
      "composition; the frame shows that.")
    w("- Frame n starts (line 0, or the composition) (phase + n)/R s after Start. Every case "
      "runs at 8 phases, 0, 1/8, ..., 7/8, and the worst is reported. A fill at the very "
      "instant of a sample is shown by it. Frames are computed from the fill times directly "
      "(a binary search per sample), not line by line.")
    w("")
    w("## The observer")
    w("")
    w("It measures as the guide tells users to: it watches the strip at a fixed height "
      "(line 540, scanout) or the strip's colour (compositor); it decides the colour by a "
      "majority over one second (a change counts once the new colour holds %d %% of a "
      "second's frames) and times each change at the moment the one-second majority "
      "switched, the middle of any flicker; it times every complete period (a change to the "
      "change after next) and averages them. On scanout it takes the direction from the "
      "boundary's path over many frames (the circular mean of its position over each "
      "second, fitted with a line). On a composed desktop it cannot see the direction: it "
      "makes a second run at F' = F + 1/(2|t|), to a thousandth, and takes the candidate "
      "F ± 1/|t| that lies nearest to one of F' ± 1/|t'|. The second run is simulated by "
      "replaying the recorded lateness of every toggle onto F''s schedule. The computed "
      "rate is the tool's own: the core's `estimateRefreshRate`, through a small native "
      "command." % round(observer.STEADY * 100))
    w("")
    w("## Results")
    w("")
    w("Per case and model, the phase with the largest error (for R = F: whether any phase "
      "saw a change). Judged: every case with %g ≤ |R − F| ≤ %g Hz must come within %g Hz "
      "on both models at every phase, and R = F must read as no movement."
      % (simulate.JUDGED[0], simulate.JUDGED[1], simulate.TOLERANCE))
    w("")
    w("| flash rate F | true rate R | model | observed time t (s) | computed rate (Hz) "
      "| error (Hz) |")
    w("|---:|---:|---|---:|---:|---:|")
    max_error = {m: 0.0 for m in simulate.MODELS}
    for flash_rate, rate, run, results in cases:
        for model in simulate.MODELS:
            chosen = [r for r in results if r["model"] == model]
            if rate == flash_rate:
                changes = max(r["changes"] for r in chosen)
                seconds = run.toggles().end
                text = ("no movement in %.0f s (so \\|R − F\\| < %.4f Hz)" % (seconds, 0.5 / seconds)
                        if changes == 0 else "%d changes" % changes)
                w("| %d | %s | %s | %s | | |" % (flash_rate, rate, model, text))
                continue
            r = simulate.worst(results, model)
            if r["error"] is None:
                w("| %d | %s | %s | no complete period | | |" % (flash_rate, rate, model))
                continue
            note = "" if simulate.judged(flash_rate, rate) else " (not judged)"
            if simulate.judged(flash_rate, rate):
                max_error[model] = max(max_error[model], r["error"])
            time = "%+.3f" % r["time"] if model == "scanout" else "±%.3f" % r["time"]
            if model == "compositor" and r.get("second_time"):
                time += " (F' %.3f: ±%.3f)" % (r["second"], r["second_time"])
            w("| %d | %s | %s | %s | %.6f | %.6f%s |" % (
                flash_rate, rate, model, time, r["estimate"], r["error"], note))
    w("")
    w("Largest error of the judged cases: **%.6f Hz** on scanout, **%.6f Hz** on the "
      "compositor." % (max_error["scanout"], max_error["compositor"]))
    w("")

    longest = {f: simulate.longest_run(r) for f, r in recordings.items()}
    people = simulate.person_results(data_dir, estimator)
    report_person.person_section(w, people)
    report_person.exact_5994_section(w, longest, estimator)

    w("## How the picture moves")
    w("")
    w("Scanout boundary wobble: how far the boundary of each white toggle lands, frame by "
      "frame, from its smooth drift (the path it would take if every toggle were equally "
      "late), in lines of the 1080, display at F + 0.05 Hz, all 8 phases. One line is "
      "1/(1125 R) s: 14.8 µs at 60 Hz, 3.7 µs at 240 Hz; a whole frame is 1125 lines, so "
      "the largest figures are toggles that came one or more frames late, when the process "
      "did not run for a while (the first toggles after Start among them: they are painted "
      "together in the first pass, after the flicker window has been created and shown).")
    w("")
    w("| flash rate | p50 (lines) | p99 (lines) | max (lines) | max (ms) |")
    w("|---:|---:|---:|---:|---:|")
    for flash_rate, runs in sorted(recordings.items()):
        toggles = simulate.longest_run(runs).toggles()
        rate = flash_rate + 0.05
        wobble = np.concatenate([observer.wobble_lines(toggles, rate, p)
                                 for p in simulate.PHASES])
        p50, p99, top = percentiles(wobble)
        w("| %d | %.1f | %.1f | %.0f | %.1f |" % (
            flash_rate, p50, p99, top, top / (rate * display.LINES_TOTAL) * 1e3))
    w("")
    w("Composed frames whose four strips disagree (one strip already in the new "
      "colour, another not), over every case and phase. This is Wine's upper bound: Wine "
      "draws each fill as it is made, while Windows batches GDI calls until the flush, so "
      "on Windows the strips change together far more often.")
    w("")
    w("| flash rate | composed frames | strips disagree |")
    w("|---:|---:|---:|")
    flicker = []
    for flash_rate, runs in sorted(recordings.items()):
        toggles = simulate.longest_run(runs).toggles()
        total = disagree = 0
        for rate in simulate.CASES[flash_rate]:
            spans = []
            for phase in simulate.PHASES:
                times, colours = display.compositor_frames(toggles, rate, phase)
                painted = ~np.isnan(colours).any(axis=1)
                total += painted.sum()
                disagree += np.count_nonzero(
                    painted & (colours.min(axis=1) != colours.max(axis=1)))
                if simulate.judged(flash_rate, rate):
                    share = observer.white_share(colours)
                    spans += flicker_spans(times[painted], share[painted],
                                           observer.decide_changes(times, share, rate),
                                           0.25 / abs(rate - flash_rate))
            if spans:
                flicker.append((flash_rate, rate, spans))
        w("| %d | %d | %.3f %% |" % (flash_rate, total, 100.0 * disagree / total))
    w("")
    w("Flicker around a change on a composed desktop: the time that holds the middle 90 % "
      "of the frames in the other side's colour (the new colour before the change, the old "
      "one after), over every change at the 8 phases. It grows with the flash rate and as "
      "the estimate comes closer, about as the timing's spread × F / |R − F|.")
    w("")
    w("| flash rate F | true rate R | t (s) | median (s) | p90 (s) | max (s) |")
    w("|---:|---:|---:|---:|---:|---:|")
    for flash_rate, rate, spans in flicker:
        w("| %d | %s | %.1f | %.2f | %.2f | %.2f |" % (
            flash_rate, rate, 1 / abs(rate - flash_rate), np.median(spans),
            np.percentile(spans, 90), max(spans)))
    w("")

    report_person.flashing_section(w, longest)
    report_person.busy_section(w, os.path.join(data_dir, "busy"), estimator)

    w("## The recordings")
    w("")
    w("| flash rate | seconds | toggles | runs (stops) | lateness of the flush p50 / p99 / "
      "max (µs) | load before → after | CPU busy |")
    w("|---:|---:|---:|---:|---:|---|---:|")
    for flash_rate, runs in sorted(recordings.items()):
        run = simulate.longest_run(runs)
        late = np.concatenate([r.lateness for r in runs]) * 1e6 / run.frequency
        p50, p99, top = percentiles(late)
        rec = info["recordings"].get(str(flash_rate), {})
        w("| %d | %.0f | %d | %d (%d) | %.0f / %.0f / %.0f | %s → %s | %s |" % (
            flash_rate, run.toggles().end, sum(len(r.number) for r in runs), len(runs),
            rec.get("stops", len(runs) - 1), p50, p99, top, rec.get("load_before", "?"),
            rec.get("load_after", "?"), rec.get("busy", "?")))
    w("")
    w("Lateness is the counter right after the flush minus the toggle's scheduled time. "
      "The longest run of each recording is the one simulated. CPU busy is the share of the "
      "machine's two cores in use during the recording; the program's own busy loop is one "
      "core, 50 %%.%s" % (" " + info["notes"] if info.get("notes") else ""))
    w("")
    soak = info.get("soak")
    if soak:
        w("## Soak")
        w("")
        if soak.get("earlier"):
            w("Recorded in an earlier session than the recordings above (%s), with the "
              "same program." % soak["earlier"])
            w("")
        w("%.0f s at %d flashes per second with the default settings, the recorder "
          "driven as above; load average %s → %s, CPUs busy %s." % (
              soak["seconds"], soak["flash_rate"], soak.get("load_before", "?"),
              soak.get("load_after", "?"), soak.get("busy", "?")))
        w("")
        w("- Stops: %d in %.0f s, %.1f per hour (the driver dismisses each notice and starts "
          "the run again)." % (soak["stops"], soak["seconds"],
                               soak["stops"] * 3600.0 / soak["seconds"]))
        w("- Flushes against the schedule: %d toggles flushed in %d run(s), against %d that "
          "the schedule called for by each run's last flush (%+d: toggles counted but not "
          "painted by the 100 ms bound of a pass)." % (
              soak["flushes"], soak["runs"], soak["scheduled"],
              soak["flushes"] - soak["scheduled"]))
        w("- Memory of the process (`GetProcessMemoryInfo`, KB) at start → end: working "
          "set %s → %s, peak working set %s → %s, pagefile use %s → %s. The private bytes "
          "read %s → %s: Wine leaves that field empty. The recorder's own buffer (64 MB) is "
          "allocated and touched before Start, so it is in both readings. The recordings "
          "above ended at %s KB: the working set grows once, when Start creates the "
          "flicker window, and not with time." % (
              soak["mem_start_ws"], soak["mem_end_ws"], soak["mem_start_peak"],
              soak["mem_end_peak"], soak["mem_start_pagefile"], soak["mem_end_pagefile"],
              soak["mem_start_private"], soak["mem_end_private"],
              ", ".join(info["recordings"][k].get("mem_end_ws", "?")
                        for k in sorted(info["recordings"], key=int))))
        w("- `GetGuiResources` returned %s GDI and %s USER objects (start/end): under Wine "
          "it is a stub that always returns 0, so the soak says nothing about GDI or USER "
          "handle counts." % (soak["gui_gdi"], soak["gui_user"]))
        w("")

    w("## What a measurement's error is made of")
    w("")
    w("- **Pacing**: with the program's own timing under Wine, the observer's error stays "
      "at most %.6f Hz (scanout) and %.6f Hz (compositor) for 0.02 ≤ |R − F| ≤ 0.1 Hz "
      "(above). Pacing is not what limits a measurement." % (
          max_error["scanout"], max_error["compositor"]))
    checked = [row[person.CHECKED] for _, _, row in people["two"] + [
        (d, r, row) for d, _, r, row in people["one"]] if row[person.CHECKED]["people"]]
    errors = np.concatenate([c["errors"] for c in checked])
    w("- **A person** (above): timing the steady colour, 3 periods, σ = 0.15 s, over the "
      "%d person cases: median %.4f Hz, p95 %.4f Hz. The stopwatch and the flicker around "
      "the changes together; the smaller t, the larger both." % (
          len(checked), np.median(errors), np.percentile(errors, 95)))
    w("- **The stopwatch**: an error δt in timing k periods of t seconds each moves the "
      "result by about δR ≈ δt / (k·t²):")
    w("")
    w("| t (s) | δt (s) | k = 1 (Hz) | k = 3 (Hz) |")
    w("|---:|---:|---:|---:|")
    for t in (10, 25, 60):
        for dt in (0.1, 0.3):
            w("| %d | %.1f | %.5f | %.5f |" % (t, dt, dt / t ** 2, dt / (3 * t ** 2)))
    w("")
    w("- **The PC's clock**: the flashes are timed by the performance counter, so the "
      "result is in the counter's seconds. A counter off by 50 ppm moves the result by "
      "50 ppm: 0.003 Hz at 60 Hz, 0.012 Hz at 240 Hz.")
    w("")
    w("## What the simulation cannot tell")
    w("")
    w("- A given display's blanking: the model assumes 45 lines of 1125; a display with "
      "another timing hides a different share of each period, which changes how long a "
      "boundary is out of sight, not the time between passes at a fixed height.")
    w("- Windows' own GDI and compositor timing: the recordings are Wine on Linux drawing "
      "into Xvfb; on Windows the fills reach the screen at the flush, and the lateness "
      "differs.")
    w("- A real person: the person observer presses with an unbiased Gaussian error, never "
      "miscounts a change, never loses the place, and sees every composed frame; people who "
      "blink through a flicker or count a stray frame as a change do worse.")
    w("- How much a real PC's timing jitters: the flicker around each change comes from the "
      "recorded lateness under Wine on a busy two-core machine (the load is in the table of "
      "the recordings); a PC whose toggles land more evenly flickers for less time.")
    w("- The compositor's sampling jitter and missed frames: the model composes exactly "
      "once per 1/R; a real compositor that misses or repeats a frame adds flicker around "
      "the changes.")
    w("")
    w("## Pictures")
    w("")
    w("![Scanout, simulated](display-scanout.png)")
    w("")
    w("![Composed desktop, simulated](display-compositor.png)")
    w("")
    with open(os.path.join(docs_dir, "display.md"), "w") as f:
        f.write("\n".join(lines))
    pictures(recordings, docs_dir)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        print(__doc__)
        sys.exit(2)
    write(sys.argv[1], observer.Estimator(sys.argv[2]), sys.argv[3])
