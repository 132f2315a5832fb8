#!/usr/bin/env python3
"""Writes docs/display.md and the display pictures from the recordings.

  report.py DATA_DIR CORE DOCS_DIR

The page's text is templates/display.md (string.Template placeholders); this
fills in the figures and the tables' rows. The template's optional parts
follow its main text, each after a line `<!-- part: NAME -->`.
"""

import json
import os
import re
import string
import subprocess
import sys
import tempfile

import numpy as np

import display
import observer
import person
import report_one_run
import report_person
import simulate
import stats

CAPTION = "simulated from the program's own toggle times under Wine"
TEMPLATES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "templates")


def template(name):
    """A template's main text and its optional parts, as string.Templates."""
    with open(os.path.join(TEMPLATES, name), encoding="utf-8") as f:
        pieces = re.split(r"^<!-- part: (\w+) -->\n", f.read(), flags=re.M)
    parts = {k: string.Template(v.strip("\n")) for k, v in zip(pieces[1::2], pieces[2::2])}
    return string.Template(pieces[0]), parts


def percentiles(values):
    return stats.median(values), stats.percentile(values, 0.99), np.max(values)


def flicker_spans(times, white, changes, reach):
    """Around each decided change, how long the flicker window flickers: the time
    that holds the middle 90 % of the painted frames showing the other side's
    colour (the new colour before the change, the old one after it), looking
    at most `reach` seconds either side (half the time between changes)."""
    spans = []
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
        low, high = stats.percentile(times[stray], 0.05), stats.percentile(times[stray], 0.95)
        spans.append(float(high - low))
    return spans


def gnuplot(script):
    """Runs a multiplot's script, ending the multiplot."""
    subprocess.run(["gnuplot"], input=script + "unset multiplot\n", text=True, check=True)


def image_panel(path, matrix, x0, dx, rows_to_lines, title):
    """One gnuplot image panel command for a [rows, columns] matrix of 0/1,
    time across."""
    data = (np.nan_to_num(matrix, nan=0.5) * 255).astype(np.uint8)
    data.tofile(path)
    h, w = data.shape
    return ("set title %s\nset xlabel 'time since Start (s)'\n"
            "plot '%s' binary array=(%d,%d) format='%%uchar' dx=%g dy=%g origin=(%g,0) "
            "flipy with image notitle\n"
            % (json.dumps(title), path, w, h, dx, rows_to_lines, x0))


def pictures(longest, docs_dir):
    """docs/display-scanout.png and docs/display-compositor.png, from the
    longest run of each recording."""
    tmp = tempfile.mkdtemp()

    def head(name, axis, layout, title):
        return ("set terminal pngcairo size 1400,900 font 'sans,11'\n"
                "set palette gray\nunset colorbox\n%sset output '%s'\n"
                "set multiplot layout %s title %s\n"
                % (axis, os.path.join(docs_dir, name), layout, json.dumps(title + CAPTION)))
    # Scanout: time across, height down, at two flash rates.
    script = head("display-scanout.png",
                  "set yrange [1080:0]\nset ylabel 'line (of 1080, top = 0)'\n", "2,1",
                  "Scanout (no compositor): the flicker window at every 6th frame, ")
    for flash_rate, rate, seconds in [(60, 60.05, 60), (240, 240.06, 60)]:
        toggles = longest[flash_rate].toggles()
        frames = display.frame_starts(rate, 0.0, seconds)[::6]
        matrix = display.scanout_picture(toggles, rate, 0.0, 0, frames, 270)
        script += "set xrange [0:%g]\n" % seconds
        script += image_panel(os.path.join(tmp, "s%d.bin" % flash_rate), matrix, 0, 6 / rate,
                              1080 / 270.0, "flash rate %d, display %g Hz: two downward passes at "
                              "a fixed height every %.1f s"
                              % (flash_rate, rate, 1 / (rate - flash_rate)))
    gnuplot(script)

    # Compositor: one colour per frame; the whole flicker window, then one
    # change frame by frame.
    script = head("display-compositor.png",
                  "set yrange [3.5:-0.5]\nset ytics 1\nset ylabel 'strip of the flicker window'\n",
                  "3,1", "Composed desktop: the flicker window's four strips, one colour per "
                  "frame, ")
    for flash_rate, rate, seconds, step, zoom in [(60, 60.05, 60, 6, False),
                                                  (240, 240.06, 60, 24, False),
                                                  (240, 240.06, None, 1, True)]:
        toggles = longest[flash_rate].toggles()
        frames = observer.composed(toggles, rate, 0.0)
        times, colours = frames.times, frames.colours
        if zoom:
            changes = frames.changes()
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
                              colours[keep].T, x0, dx, 1.0, title)
    gnuplot(script)


def results_rows(cases):
    """Per case and model, the phase with the largest error."""
    rows = []
    for case in cases:
        for m in case.models():
            head = "| %d | %s | %s |" % (case.flash_rate, case.rate, m.model)
            r = m.worst
            if case.rate == case.flash_rate:
                rows.append("%s %s | | |" % (head, "%d changes" % m.changes if m.changes else
                                             "no movement in %.0f s (so \\|R − F\\| < %.4f Hz)"
                                             % (case.seconds, 0.5 / case.seconds)))
            elif r.error is None:
                rows.append(head + " no complete period | | |")
            else:
                time = "%+.3f" % r.time if m.model == "scanout" else "±%.3f" % r.time
                if m.model == "compositor" and r.second_time:
                    time += " (F' %.3f: ±%.3f)" % (r.second, r.second_time)
                rows.append("%s %s | %.6f | %.6f%s |" % (head, time, r.estimate, r.error,
                                                         "" if case.judged else " (not judged)"))
    return rows


def motion_fields(longest):
    """Scanout wobble, composed frames whose strips disagree, and the flicker
    around the changes."""
    wobble_rows, disagree_rows, flicker_rows = [], [], []
    for flash_rate, run in sorted(longest.items()):
        toggles = run.toggles()
        rate = flash_rate + 0.05
        p50, p99, top = percentiles(np.concatenate([observer.wobble_lines(toggles, rate, p)
                                                    for p in simulate.PHASES]))
        wobble_rows.append("| %d | %.1f | %.1f | %.0f | %.1f |" % (
            flash_rate, p50, p99, top, top / (rate * display.LINES_TOTAL) * 1e3))
        total = disagree = 0
        for rate in simulate.CASES[flash_rate]:
            spans = []
            for phase in simulate.PHASES:
                frames = observer.composed(toggles, rate, phase)
                colours = frames.colours
                painted = ~np.isnan(frames.share)
                total += painted.sum()
                disagree += np.count_nonzero(
                    painted & (colours.min(axis=1) != colours.max(axis=1)))
                if simulate.judged(flash_rate, rate):
                    spans += flicker_spans(*frames.painted(), frames.changes(),
                                           0.25 / abs(rate - flash_rate))
            if spans:
                flicker_rows.append("| %d | %s | %.1f | %.2f | %.2f | %.2f |" % (
                    flash_rate, rate, 1 / abs(rate - flash_rate), stats.median(spans),
                    stats.percentile(spans, 0.9), max(spans)))
        disagree_rows.append("| %d | %d | %.3f %% |"
                             % (flash_rate, total, 100.0 * disagree / total))
    return {"wobble_rows": "\n".join(wobble_rows), "disagree_rows": "\n".join(disagree_rows),
            "flicker_rows": "\n".join(flicker_rows)}


def recording_rows(recordings, info):
    rows = []
    for flash_rate, runs in sorted(recordings.items()):
        run = simulate.longest_run(runs)
        late = np.concatenate([r.lateness for r in runs]) * 1e6 / run.frequency
        p50, p99, top = percentiles(late)
        rec = info["recordings"].get(str(flash_rate), {})
        rows.append("| %d | %.0f | %d | %d (%d) | %.0f / %.0f / %.0f | %s → %s | %s |" % (
            flash_rate, run.toggles().end, sum(len(r.number) for r in runs), len(runs),
            rec.get("stops", len(runs) - 1), p50, p99, top, rec.get("load_before", "?"),
            rec.get("load_after", "?"), rec.get("busy", "?")))
    return rows


def soak(parts, info):
    """The soak's part of the page, empty without a soak."""
    soak = info.get("soak")
    if not soak:
        return ""
    fields = {k: str(v) for k, v in soak.items()}
    fields.update({k: soak.get(k, "?") for k in ("load_before", "load_after", "busy")})
    fields.update(
        earlier=parts["soak_earlier"].substitute(earlier=soak["earlier"])
        if soak.get("earlier") else "", seconds="%.0f" % soak["seconds"],
        per_hour="%.1f" % (soak["stops"] * 3600.0 / soak["seconds"]),
        difference="%+d" % (soak["flushes"] - soak["scheduled"]),
        recordings_ws=", ".join(info["recordings"][k].get("mem_end_ws", "?")
                                for k in sorted(info["recordings"], key=int)))
    return parts["soak"].substitute(fields)


def write(data_dir, core, docs_dir):
    recordings = simulate.load_recordings(data_dir)
    with open(os.path.join(data_dir, "info.json")) as f:
        info = json.load(f)
    longest = {f: simulate.longest_run(r) for f, r in recordings.items()}
    cases = simulate.all_cases(longest, core)
    errors = simulate.max_errors(cases)
    people = simulate.person_results(longest, core)
    answered = [row for _, _, row in people.two] + [row for c, row in people.one if not c.confused]
    checked = [row[person.CHECKED] for row in answered if row[person.CHECKED].people]
    person_errors = np.concatenate([c.errors for c in checked])
    main, parts = template("display.md")
    fields = {
        "caption": CAPTION, "machine": info["machine"], "percentile_rule": stats.RULE,
        "lines_visible": "%d" % display.LINES_VISIBLE,
        "lines_blanking": "%d" % (display.LINES_TOTAL - display.LINES_VISIBLE),
        "steady_percent": "%d" % round(observer.STEADY * 100),
        "judged_low": "%g" % simulate.JUDGED[0], "judged_high": "%g" % simulate.JUDGED[1],
        "tolerance": "%g" % simulate.TOLERANCE,
        "results_rows": "\n".join(results_rows(cases)),
        "max_scanout": "%.6f" % errors["scanout"], "max_compositor": "%.6f" % errors["compositor"],
        "exact_5994": report_person.exact_5994(parts["exact_5994"], longest, core),
        "busy": report_person.busy(parts["busy"], os.path.join(data_dir, "busy"), core),
        "recording_rows": "\n".join(recording_rows(recordings, info)),
        "notes": " " + info["notes"] if info.get("notes") else "",
        "soak": soak(parts, info),
        "person_cases": "%d" % len(checked), "person_median": "%.4f" % stats.median(person_errors),
        "person_p95": "%.4f" % stats.percentile(person_errors, 0.95),
        "stopwatch_rows": "\n".join("| %d | %.1f | %.5f | %.5f |" % (t, dt, dt / t ** 2,
                                                                     dt / (3 * t ** 2))
                                    for t in (10, 25, 60) for dt in (0.1, 0.3)),
    }
    fields.update(report_person.person_fields(people))
    earlier = simulate.person_results(longest, core, [person.CHECKED], whole=False)
    fields["start_press"] = report_person.start_press(parts, longest, core, people, earlier)
    fields.update(report_one_run.one_run_fields(people, person.CHECKED, simulate.PHASES))
    fields.update(motion_fields(longest))
    fields.update(report_person.flashing_fields(parts["wcag"], longest))
    # An empty part leaves blank lines behind: at most one between paragraphs.
    text = re.sub(r"\n{3,}", "\n\n", main.substitute(fields))
    with open(os.path.join(docs_dir, "display.md"), "w") as f:
        f.write(text)
    pictures(longest, docs_dir)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        print(__doc__)
        sys.exit(2)
    write(sys.argv[1], observer.Core(sys.argv[2]), sys.argv[3])
