"""The one-run parts of docs/display.md: the rule's window per shown rate,
what people got per case, the cases that must be flagged, and the scan of
real rates far from the shown one."""

import numpy as np

import one_run_rule as rule
import person
from report_person import hz, median_p95, ppm, seconds

COMPARED_PPM = 350e-6  # the smaller amount the section compares with


def window_text(shown):
    return "%d–%d" % rule.window(shown)


def spread(s):
    """The people's t, lowest–highest."""
    return "%.2f–%.2f" % (s.times.min(), s.times.max()) if len(s.times) else "–"


def signed(value):
    """A whole number with its sign, a minus sign for the minus."""
    return ("%+d" % value).replace("-", "−")


def offset(case):
    return "%s ppm" % signed(round(case.ppm * 1e6))


def window_rows():
    """The guide's table: what to type and the window of t per shown rate."""
    return ["| %.3f | %.3f | %s |" % (d, rule.flash_rate(d), window_text(d))
            for d in sorted(rule.SHOWN)]


def answered_rows(results, way):
    """Per real rate within the tolerance: the exact t, the people's t and
    their errors, timed the checked way, with σ 0.3 s, and over 1 period."""
    rows = []
    for case, row in results.one:
        if case.confused:
            continue
        s = row[way]
        head = "| %.3f | %.3f | %.5f (%s) | %d | %.2f | %s |" % (
            case.shown, case.flash_rate, case.rate, offset(case), case.recording,
            rule.exact_time(case.shown, case.rate), spread(s))
        if not s.people:
            rows.append(head + " runs too short | | | | |")
            continue
        rows.append("%s %s | %s | %s | %s | %s |" % (
            head, hz(s.median), hz(s.p95), seconds(s), median_p95(row.get((way[0], 0.3, way[2]))),
            median_p95(row.get((way[0], way[1], 1)))))
    return rows


def outcome(shown, exact, s):
    """Flagged (too short / too long) or answered, by the exact t and every
    person's t."""
    start, end = rule.window(shown)
    times = np.append(s.times, exact)
    inside = np.count_nonzero(rule.inside(shown, times))
    missing = ", %d could not time it" % s.missing if s.missing else ""
    if inside:
        return "**answered: %d of %d**%s" % (inside, len(times), missing)
    side = ("too short" if times.max() < start else "too long" if times.min() > end
            else "both sides")
    return "flagged (%s)%s" % (side, missing)


def flagged_rows(results, way):
    """The 1000/1001 confusions and the half periods: each with its exact t,
    the people's t and whether the window flags them all."""
    cases = [(c, "a %.3f mode, %s" % (c.mode, offset(c)), row[way], 1.0)
             for c, row in results.one if c.confused]
    cases += [(c, "half periods, %s" % offset(c), s, 0.5) for c, s in results.half]
    rows = []
    for case, what, s, share in cases:
        exact = rule.exact_time(case.shown, case.rate) * share
        rows.append("| %.3f | %.3f | %.5f | %s | %d | %.2f | %s | %s | %s |" % (
            case.shown, case.flash_rate, case.rate, what, case.recording, exact, spread(s),
            window_text(case.shown), outcome(case.shown, exact, s)))
    return rows


def runs_text(runs, kind):
    return ", ".join("%s to %s" % (signed(first), signed(last))
                     for k, first, last in runs if k == kind) or "–"


def scan_rows():
    """Per shown rate, the real rates answered (R above F) and the mirror band
    (R below F, answered wrongly) in ppm of D from the scan, and the band in
    Hz exactly."""
    rows = []
    for d in sorted(rule.SHOWN):
        runs = rule.scan(d)
        low, high = rule.mirror_band(d)
        rows.append("| %.3f | %.3f | %s | %s | %s | %.4f–%.4f |" % (
            d, rule.flash_rate(d), window_text(d), runs_text(runs, "answered"),
            runs_text(runs, "wrong"), low, high))
    return rows


def one_run_fields(results, way, phases):
    """The one-run section's figures and rows."""
    high = [rule.window(d)[1] for d in rule.SHOWN if d >= rule.HIGH_RATE]
    half, confusion = rule.separations(rule.AMOUNT_PPM)
    compared_half, compared_confusion = rule.separations(COMPARED_PPM)
    band = rule.confusion_band()
    return {
        "half_ratio": "%.2f" % half, "confusion_ratio": "%.2f" % confusion,
        "compared_ppm": ppm(COMPARED_PPM), "compared_half": "%.2f" % compared_half,
        "compared_confusion": "%.2f" % compared_confusion,
        "compared_t": "%.1f" % (1 / ((COMPARED_PPM + rule.CLOCK_PPM) * 240.0)),
        "band_low": "%.0f" % (band[0] * 1e6), "band_high": "%.0f" % (band[1] * 1e6),
        "ntsc_ppm": signed(round((rule.NTSC - 1) * 1e6)),
        "t_144": "%.0f" % rule.exact_time(144.0, 144.0),
        "t_240": "%.0f" % rule.exact_time(240.0, 240.0),
        "people_total": "{:,}".format(person.PEOPLE * len(phases)),
        "amount_floor": "%.2f" % rule.AMOUNT_FLOOR,
        "amount_ppm": ppm(rule.AMOUNT_PPM),
        "clock_ppm": ppm(rule.CLOCK_PPM),
        "triple_ppm": ppm(3 * rule.CLOCK_PPM),
        "timing_margin": "%g" % rule.TIMING_MARGIN,
        "flicker_limit": "%d" % rule.FLICKER_LIMIT,
        "high_rate": "%g" % rule.HIGH_RATE,
        "high_end": "%d" % max(high) if high else "–",
        "scan_ppm": "%d" % rule.SCAN_PPM,
        "window_rows": "\n".join(window_rows()),
        "one_run_rows": "\n".join(answered_rows(results, way)),
        "flagged_rows": "\n".join(flagged_rows(results, way)),
        "scan_rows": "\n".join(scan_rows()),
    }
