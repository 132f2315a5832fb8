#!/usr/bin/env bash
# The display simulation: what a display shows of the flicker window, from the
# real program's own toggle times, and whether the guide's measurement
# recovers the display's rate.
#   --check   judges the committed recordings (measure/recordings):
#             deterministic, under two minutes; exits non-zero on a miss,
#             on more than 0.1 % wrong signs among simulated people, and
#             when a one-run case lands on the wrong side of its t window
#   --record  records the real program under Wine (slow: RECORD_SECONDS per
#             flash rate, default 420, and a SOAK_SECONDS soak, default 600;
#             SOAK_SECONDS=0 keeps the committed soak's figures),
#             replaces the committed recordings, and regenerates
#             docs/display.md and its pictures; then checks
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$root"
mode=${1:-}
case "$mode" in
  --check | --record) ;;
  *) echo "usage: bash tools/simulate.sh --check | --record" >&2; exit 2 ;;
esac

setup
data=measure/recordings

# The core's own arithmetic, as a native command of the native build.
tools/build.sh native
numbers="$root/build/native/measure/arithmetic/core_numbers"

if [ "$mode" = "--record" ]; then
  raw=build/sim-out
  rm -rf "$raw"
  mkdir -p "$raw"
  describe_machine ", 64-bit build" >"$raw/machine.txt"
  tools/record-toggles.sh "$raw"
  # Without a soak this time the earlier soak's figures are kept.
  if [ -f "$data/info.json" ]; then cp "$data/info.json" "$raw/previous-info.json"; fi
  # The busy machine's recordings (made once, by hand) stay.
  if [ -d "$data/busy" ]; then mv "$data/busy" "$raw/busy"; fi
  rm -rf "$data"
  "$python" measure/analysis/simulate.py convert "$raw" "$data"
  if [ -d "$raw/busy" ]; then mv "$raw/busy" "$data/busy"; fi
  "$python" measure/analysis/report.py "$data" "$numbers" docs
  echo "wrote $data, docs/display.md and docs/display-*.png"
fi

"$python" measure/analysis/simulate.py check "$data" "$numbers"
