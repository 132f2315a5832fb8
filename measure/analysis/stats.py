"""The one percentile rule of the measuring wing's figures, in docs/bench.md
and docs/display.md alike: the p-quantile of n values is the value at rank
ceil(p n) in ascending order, the smallest value that a share p of the
values do not exceed. It is always one of the values, never a mix of two;
the median is p = 0.5.
"""

import math

import numpy as np

# The rule as both documents state it.
RULE = ("pN is the value at rank ⌈N/100 × n⌉ of the n values in ascending order, "
        "always one of the values, and the median is p50")


def rank(p, n):
    """The 1-based rank of the p-quantile among n values (n > 0); p n is
    rounded to 9 places first, so that 0.95 × 8000 is 7600, not 7600.000001."""
    return min(max(math.ceil(round(p * n, 9)), 1), n)


def percentile(values, p):
    """The p-quantile (p from 0 to 1) of values; nan when there are none."""
    values = np.asarray(values, dtype=np.float64).ravel()
    if len(values) == 0:
        return math.nan
    k = rank(p, len(values)) - 1
    return float(np.partition(values, k)[k])


def median(values):
    return percentile(values, 0.5)


def histogram_percentile(counts, p):
    """The same rule on a histogram (counts per length in ticks): the length
    at that rank; None when it is empty or when the rank falls in the last
    bucket, which also counts everything longer."""
    total = int(np.sum(counts))
    if total == 0:
        return None
    bucket = int(np.searchsorted(np.cumsum(counts), rank(p, total)))
    return bucket if bucket < len(counts) - 1 else None
