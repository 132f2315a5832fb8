"""What the analyses' tests share: the analyses on the import path, the
project's root, and the core's own numbers, from the native command
core_numbers that CTest names in CORE_NUMBERS.

Run with: ctest --test-dir build/native -R measure_analysis
"""

import os
import sys

ANALYSIS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ROOT = os.path.dirname(os.path.dirname(ANALYSIS))
sys.path.insert(0, ANALYSIS)

import observer  # noqa: E402


def core():
    """The core's numbers; an error naming what is missing without them."""
    command = os.environ.get("CORE_NUMBERS", "")
    if not os.access(command, os.X_OK):
        raise RuntimeError("CORE_NUMBERS=%r is not the core_numbers program of the native "
                           "build (ctest sets it)" % command)
    return observer.Core(command)
