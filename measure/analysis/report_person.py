"""The person-observer, flashing and busy-PC parts of docs/display.md: the
figures and table rows that fill templates/display.md."""

import json
import os

import numpy as np

import flashes
import observer
import one_run_rule
import person
import simulate
import stats


def hz(value):
    return "–" if value is None else "%.4f" % value


def seconds(s):
    return "%.0f (%.0f)" % (s.seconds_median, s.seconds_p95)


def median_p95(s):
    return "%s / %s" % (hz(s.median), hz(s.p95)) if s else ""


def ppm(share):
    return "%d" % round(share * 1e6)


def pooled(rows):
    """Median and p95 error and the largest share of wrong signs over the
    people of several cases."""
    errors = np.concatenate([s.errors for s in rows if s.people])
    return (stats.median(errors), stats.percentile(errors, 0.95),
            max(s.sign_wrong for s in rows if s.people))


def two_run_rows(results, way):
    rows = []
    for flash_rate, rate, row in results.two:
        s = row[way]
        head = "| %g | %s | %.1f |" % (flash_rate, ("%.5f" % rate).rstrip("0").rstrip("."),
                                       1 / abs(rate - flash_rate))
        if not s.people:
            rows.append(head + " runs too short | | | | | |")
            continue
        rows.append("%s %s | %s | %.2f %% | %s | %s | %s |" % (
            head, hz(s.median), hz(s.p95), s.sign_wrong, seconds(s),
            median_p95(row.get(("first",) + way[1:])), median_p95(row.get(("middle",) + way[1:]))))
    return rows


def pooled_cells(rows_by_sigma, cell):
    """One cell per σ: `cell` of the pooled figures, empty when nobody timed."""
    return " | ".join(cell(*pooled(rows)) if any(r.people for r in rows) else ""
                      for rows in rows_by_sigma)


# Two-run cases pooled by t (upper ends, s): each bin holds cases on both
# sides of F at every flash rate but the third, which only 60's 59.97 fills.
T_BINS = ((12.0, "about 10"), (30.0, "14 to 25"), (40.0, "about 33"), (np.inf, "about 50"))


def by_time(results, flash_rate):
    """The judged two-run cases of one flash rate by bin of T_BINS:
    {bin index: [(R, row)]}."""
    groups = {}
    for f, r, row in results.two:
        if f == flash_rate and simulate.judged(f, r):
            t = 1 / abs(r - f)
            groups.setdefault(next(i for i, (top, _) in enumerate(T_BINS) if t < top),
                              []).append((r, row))
    return groups


def sides(flash_rate, rates):
    above, below = any(r > flash_rate for r in rates), any(r < flash_rate for r in rates)
    return "both" if above and below else "above F only" if above else "below F only"


def by_time_rows(results, way):
    """Per flash rate and bin of t, the pooled errors at each σ, which sides
    of F the bin holds, and the median time to an answer of each case."""
    out = []
    for flash_rate in sorted(simulate.CASES):
        groups = by_time(results, flash_rate)
        for i in sorted(groups):
            rates = [r for r, _ in groups[i]]
            ts = sorted({int(round(1 / abs(r - flash_rate))) for r in rates})
            label = "%d" % ts[0] if len(ts) == 1 else "%d–%d" % (ts[0], ts[-1])
            cells = pooled_cells([[row[k] for _, row in groups[i] if k in row]
                                  for k in ((way[0], sigma, way[2]) for sigma in person.SIGMAS)],
                                 lambda med, p95, _: "%.4f / %.4f" % (med, p95))
            after = ", ".join("%.0f" % row[way].seconds_median for _, row in groups[i]
                              if row[way].people)
            out.append("| %d | %s | %s | %d | %s | %s |" % (
                flash_rate, label, sides(flash_rate, rates), len(rates), cells, after))
    return out


def precision_bins(results):
    """The bins of T_BINS that hold both sides of F at some flash rate."""
    return [i for i in range(len(T_BINS))
            if any(sides(f, [r for r, _ in by_time(results, f).get(i, [])]) == "both"
                   for f in simulate.CASES)]


def precision_rows(results, way):
    """The guide's precision table: per flash rate, the two-run bins that
    hold both sides of F and the one run at the shown rates near the flash
    rate (within 1 Hz), median / p95 error in Hz."""
    out = []
    for flash_rate in sorted(simulate.CASES):
        groups = by_time(results, flash_rate)
        cells = []
        for i in precision_bins(results):
            group = groups.get(i, [])
            side = sides(flash_rate, [r for r, _ in group])
            if not group:
                cells.append("")
                continue
            med, p95, _ = pooled([row[way] for _, row in group])
            cells.append("%.4f / %.4f%s" % (med, p95, "" if side == "both" else " (%s)" % side))
        one = [row[way] for c, row in results.one
               if not c.confused and c.recording == flash_rate and abs(c.shown - flash_rate) < 1]
        cells.append("%.4f / %.4f" % pooled(one)[:2] if any(s.people for s in one) else "")
        out.append("| %d | %s |" % (flash_rate, " | ".join(cells)))
    return out


def precision_head(results):
    bins = ["t %s s, two runs" % T_BINS[i][1] for i in precision_bins(results)]
    return " | ".join(bins + ["one run (shown D near F)"]), "---:|" * (len(bins) + 1)


def by_way_rows(results):
    out = []
    for flash_rate in sorted(simulate.CASES):
        chosen = [row for f, r, row in results.two if f == flash_rate and simulate.judged(f, r)]
        for strategy in person.STRATEGIES:
            for k in person.PERIODS:
                cells = pooled_cells([[row[w] for row in chosen if w in row]
                                      for w in ((strategy, sigma, k) for sigma in person.SIGMAS)],
                                     lambda med, p95, wrong: "%.4f / %.4f (%.1f %%)"
                                     % (med, p95, wrong))
                out.append("| %d | %s | %d | %s |" % (flash_rate, strategy, k, cells))
    return out


def person_fields(results):
    """The person section's figures and rows."""
    way = person.CHECKED
    return {
        "steady_seconds": "%.1f" % person.STEADY_SECONDS,
        "sigmas": ", ".join("%g" % s for s in person.SIGMAS),
        "people": "%d" % person.PEOPLE,
        "run_seconds": "%.0f" % person.RUN_SECONDS,
        "checked_moment": way[0], "checked_sigma": "%g" % way[1],
        "checked_periods": "%d" % way[2], "sign_limit": "%g" % person.SIGN_LIMIT,
        "sigma_heads": " | ".join("σ %g s" % s for s in person.SIGMAS),
        "sigma_aligns": "---:|" * len(person.SIGMAS),
        "two_run_rows": "\n".join(two_run_rows(results, way)),
        "by_time_rows": "\n".join(by_time_rows(results, way)),
        "precision_heads": precision_head(results)[0],
        "precision_aligns": precision_head(results)[1],
        "precision_rows": "\n".join(precision_rows(results, way)),
        "by_way_rows": "\n".join(by_way_rows(results)),
    }


def early_presses(recordings, core, people):
    """The first runs of the person cases (`people`: the two-run cases at
    their flash rate, the one-run cases each at its F), per (F, R, phase),
    in which the earlier rule (person.press_moments without `whole`)
    pressed the steady colour before the first change:
    [(recording, F, R, phase, Runs by the earlier rule, Runs)]."""
    cases = [(f, f, r) for f, r, _ in people.two if f in recordings]
    cases += [(c.recording, c.flash_rate, c.rate) for c, _ in people.one if not c.confused]
    out = []
    for recording, flash_rate, rate in cases:
        earlier = person.Runs(recordings[recording], rate, core, whole=False)
        for phase in simulate.PHASES:
            look = earlier.look(flash_rate, phase)
            if len(look.changes) and look.moments["steady"][0] < look.changes[0]:
                out.append((recording, flash_rate, rate, phase, earlier,
                            person.Runs(recordings[recording], rate, core)))
    return out


def listed(words):
    """Words as a list in prose: "a", "a and b", "a, b and c"; "none"."""
    if len(words) < 2:
        return words[0] if words else "none"
    return ", ".join(words[:-1]) + " and " + words[-1]


def colour_name(white):
    return "white" if white else "black"


def start_frames(flash_rate, phase, earlier, whole):
    """The frames of one early press (Runs by either rule): how the first
    frame came to show the colour of the first change, and that colour's
    frames per half second up to the press of the whole change."""
    toggles = earlier.replayed(flash_rate)
    early = earlier.look(flash_rate, phase)
    pressed = whole.look(flash_rate, phase).moments["steady"]
    now = pressed[~np.isnan(pressed)][0]
    times, white = observer.composed(toggles, earlier.rate, phase).painted()
    painted = toggles.fills.max(axis=1)  # when each toggle's last strip was filled
    last = int(np.searchsorted(painted, times[0], side="right")) - 1
    colour = bool(white[0])
    change, press = early.changes[0], early.moments["steady"][0]
    paced = earlier.core.pacing(flash_rate).flash_rate
    offset = times[0] - toggles.scheduled[last + 1]
    edges = np.arange(0.0, np.ceil(now * 2) / 2 + 0.25, 0.5)
    counts = np.histogram(times, edges)[0], np.histogram(times[white == colour], edges)[0]
    periods = person.CHECKED[2]
    return {
        "first_late": "%.1f" % (earlier.run.lateness[0] * 1e3 / earlier.run.frequency),
        "first_frame": "%.4f" % times[0], "last": "%d" % last, "colour": colour_name(colour),
        "other": colour_name(not colour), "last_fill": "%.4f" % painted[last],
        "next": "%d" % (last + 1), "next_due": "%.4f" % toggles.scheduled[last + 1],
        "next_fill": "%.4f" % painted[last + 1], "offset": "%.2f" % (offset * 1e3),
        "toggle_ms": "%.2f" % (1e3 / (2 * paced)),
        "reach": "%.2f" % (offset / (1 / paced - 1 / earlier.rate) / earlier.rate),
        "change": "%.2f" % change, "early": "%.3f" % press, "gap": "%.1f" % (change - press),
        "gap_per_period": "%.1f" % ((now - press) / periods), "periods": "%d" % periods,
        "now": "%.2f" % now, "window_ms": "%.2f" % ((painted[last + 1] - painted[last]) * 1e3),
        "rows": "\n".join("| %.1f–%.1f | %d | %d |" % (a, b, n, c)
                          for a, b, n, c in zip(edges, edges[1:], *counts)),
    }


def start_press(parts, recordings, core, people, earlier):
    """The person section's account of whole changes: every early press of
    the earlier rule, the frames of the one furthest from its change (a
    first run of the two-run table), and the answered rows whose p95 the rule
    moved (`people` by whole changes, `earlier` by the earlier rule, both
    timed the checked way)."""
    found = early_presses(recordings, core, people)
    if not found:
        return parts["start_press_none"].template
    phases, rates = {}, {}
    for _, f, r, phase, _, _ in found:
        phases.setdefault(f, set()).add(phase)
        rates.setdefault(f, set()).add(r)
    two_run = [e for e in found if e[0] == e[1]] or found

    def early(entry):
        look = entry[4].look(entry[1], entry[3])
        return look.changes[0] - look.moments["steady"][0]
    recording, f, r, phase, runs_earlier, runs_whole = max(two_run, key=early)
    fields = start_frames(f, phase, runs_earlier, runs_whole)
    way = person.CHECKED
    rows = [("F %g, R %s, two runs" % (f2, r2), a[way], b[way])
            for (f2, r2, a), (_, _, b) in zip(people.two, earlier.two)]
    rows += [("shown %.3f, R %.5f, one run" % (c.shown, c.rate), a[way], b[way])
             for (c, a), (_, b) in zip(people.one, earlier.one) if not c.confused]
    moved = ["| %s | %.4f | %.4f |" % (name, before.p95, now.p95) for name, now, before in rows
             if now.people and before.people and round(now.p95, 4) != round(before.p95, 4)]
    fields.update(
        early_count="%d" % len(found), f="%g" % f, r="%s" % r, phase="%d" % round(phase * 8),
        early_cases="; ".join("F %g (R %s) at phase%s %s" % (
            g, ", ".join(("%.5f" % x).rstrip("0").rstrip(".") for x in sorted(rates[g])),
            "s" if len(phases[g]) > 1 else "",
            listed(["%d/8" % round(p * 8) for p in sorted(phases[g])])) for g in sorted(rates)),
        unaffected=listed(["%d" % g for g in sorted(recordings)
                           if g not in {e[0] for e in found}]),
        steady_seconds="%.1f" % person.STEADY_SECONDS, moved_rows="\n".join(moved))
    return parts["start_press"].substitute(fields)


def span(values, form="%d"):
    return "%s–%s" % (form % min(values), form % max(values))


def exact_5994(template, recordings, core):
    """59.94 typed on a 60000/1001 Hz display: what the person sees."""
    run = recordings[60]
    flash_rate, rate = 59.94, person.DISPLAY_5994
    toggles = run.toggles(*core.pacing(flash_rate))
    changes, strays = [], []
    for phase in simulate.PHASES:
        changes.append(len(observer.observe_compositor(toggles, rate, phase).changes))
        strays.append(flashes.stray_frames(toggles, rate, phase))
    return template.substitute(
        difference="%.5f" % (rate - flash_rate), change_every="%.0f" % (0.5 / (rate - flash_rate)),
        length="%.0f" % strays[0].seconds, changes=span(changes),
        frames=span([s.frames for s in strays]), bursts=span([s.bursts for s in strays]),
        most=span([s.most for s in strays], "%g"), typed="%.3f" % one_run_rule.flash_rate(59.94))


def flashing_fields(wcag, recordings):
    """Flicker around the changes, the steady beat and the near-exact
    estimate, against WCAG 2.3.1's three flashes in any one second."""
    zone_rows, most = [], {}
    for flash_rate in (144, 240):
        toggles = recordings[flash_rate].toggles()
        for rate in simulate.CASES[flash_rate]:
            if not simulate.judged(flash_rate, rate):
                continue
            z = np.array([x for p in simulate.PHASES
                          for x in flashes.flicker_zones(toggles, rate, p)])
            if len(z) == 0:
                continue
            most[flash_rate] = max(most.get(flash_rate, 0.0), z[:, 2].max())
            # Rates over a single stray frame mean little.
            flicker = z[z[:, 0] >= 1.0] if (z[:, 0] >= 1.0).any() else z
            zone_rows.append("| %d | %s | %.0f | %.1f / %.1f | %.1f (%.1f–%.1f) | %.1f / %.1f |"
                             % (flash_rate, rate, 1 / abs(rate - flash_rate), stats.median(z[:, 0]),
                                z[:, 0].max(), stats.median(flicker[:, 1]), flicker[:, 1].min(),
                                flicker[:, 1].max(), stats.median(z[:, 2]), z[:, 2].max()))
    beats = []
    for flash_rate, rate in ((60, 75.0), (144, 165.0)):
        toggles = recordings[flash_rate].toggles()
        b = np.array([flashes.beat(toggles, rate, p) for p in simulate.PHASES])
        beats.append((flash_rate, rate, b[:, 0].mean(), b[:, 1].max()))
    stray_rows = []
    for flash_rate, run in sorted(recordings.items()):
        toggles = run.toggles()
        s = [flashes.stray_frames(toggles, float(flash_rate), p) for p in simulate.PHASES]
        stray_rows.append("| %d | %.0f | %s | %s | %s |" % (
            flash_rate, s[0].seconds, ", ".join(str(x.frames) for x in s),
            ", ".join(str(x.bursts) for x in s), ", ".join("%g" % x.most for x in s)))
    return {
        "zone_rows": "\n".join(zone_rows),
        "beat_rows": "\n".join("| %d | %g | %.1f | %.1f |" % b for b in beats),
        "stray_rows": "\n".join(stray_rows),
        "wcag": wcag.substitute(
            beats=" and ".join("%.0f" % b[2] for b in beats),
            most=" and ".join("%.0f at %d" % (most[f], f) for f in sorted(most)))
        if most and beats else "",
    }


def busy(template, busy_dir, core):
    """The same measurements on recordings made while the machine was busy
    with other work: how load shows in the timing and what a person gets."""
    if not os.path.isdir(busy_dir):
        return ""
    recordings = simulate.load_recordings(busy_dir)
    with open(os.path.join(busy_dir, "info.json")) as f:
        info = json.load(f)
    way = person.CHECKED
    runs = {f: simulate.longest_run(r) for f, r in recordings.items()}
    people = simulate.person_results(runs, core, [way])
    cases = simulate.all_cases(runs, core)
    rows = []
    for flash_rate, run in sorted(runs.items()):
        late = run.lateness * 1e3 / run.frequency
        own = [c for c in cases if c.flash_rate == flash_rate]
        med, p95, wrong = pooled([row[way] for f, r, row in people.two
                                  if f == flash_rate and row[way].people])
        rows.append("| %d | %.0f | %s | %.2f / %.2f / %.2f / %.0f | %.4f | %.4f / %.4f | %.2f %% |"
                    % (flash_rate, own[0].seconds,
                       info["recordings"].get(str(flash_rate), {}).get("busy", "?"),
                       stats.median(late), stats.percentile(late, 0.99),
                       stats.percentile(late, 0.999),
                       late.max(), max(simulate.max_errors(own).values()), med, p95, wrong))
    return template.substitute(notes=info.get("notes", ""), rows="\n".join(rows))
