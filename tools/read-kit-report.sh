#!/usr/bin/env bash
# Prints what a report folder of the Windows test kit holds (the folder
# report-<date>-<time> that run.cmd wrote next to itself): the PC, each
# suite's result, and the recording's pacing figures and display simulation
# (measure/analysis/kit_report.py), through the reader and analyses of the
# committed recordings, with the core's own numbers from the native build.
# Exits non-zero when the folder holds no report of the kit or its recording
# cannot be read.
# Usage: tools/read-kit-report.sh FOLDER
set -euo pipefail
source "$(dirname "$0")/lib.sh"
if [ $# -ne 1 ]; then
  echo "usage: tools/read-kit-report.sh FOLDER" >&2
  exit 2
fi
folder=$(realpath "$1")
setup >/dev/null
"$root/tools/build.sh" native >/dev/null
"$python" "$root/measure/analysis/kit_report.py" "$folder" \
  "$root/build/native/measure/arithmetic/core_numbers"
