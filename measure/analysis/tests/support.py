"""What the analyses' tests share: the analyses on the import path, the
project's root, the core's own numbers, from the native command
core_numbers that CTest names in CORE_NUMBERS, and toggles exactly on the
schedule.

Run with: ctest --test-dir build/native -R measure_analysis
"""

import os
import sys

import numpy as np

ANALYSIS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ROOT = os.path.dirname(os.path.dirname(ANALYSIS))
sys.path.insert(0, ANALYSIS)

import display  # noqa: E402
import observer  # noqa: E402


def core():
    """The core's numbers; an error naming what is missing without them."""
    command = os.environ.get("CORE_NUMBERS", "")
    if not os.access(command, os.X_OK):
        raise RuntimeError("CORE_NUMBERS=%r is not the core_numbers program of the native "
                           "build (ctest sets it)" % command)
    return observer.Core(command)


def ideal_toggles(flash_rate, seconds, strips=4):
    """Toggles exactly on the schedule: toggle k at (k + 1) / (2 F) s."""
    k = np.arange(int(2 * flash_rate * seconds), dtype=np.int64)
    times = (k + 1) / (2.0 * flash_rate)
    return display.Toggles(k, np.repeat(times[:, None], strips, axis=1))
