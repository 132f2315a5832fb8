#!/usr/bin/env bash
# Records the real program's toggles for the display simulation: the 64-bit
# recorder (the shipped program with the recording's platformCounter,
# platformFill and platformFlush) driven by record_driver under Wine, each
# run in a fresh virtual display.
#
# usage: tools/record-toggles.sh OUTDIR
# Writes OUTDIR/recording-<rate>.bin and .log for 60, 144 and 240 flashes
# per second (RECORD_RATES, e.g. "240" for one; RECORD_SECONDS each,
# default 420), the soak run soak-240.bin and .log (SOAK_SECONDS, default
# 600; 0 skips it), and OUTDIR/load.txt: the load average before and after
# each run and how busy the CPUs were during it.
# Fails if any run fails.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$root"
if [ $# -ne 1 ]; then
  echo "usage: tools/record-toggles.sh OUTDIR" >&2
  exit 2
fi
mkdir -p "$1"
out=$(cd "$1" && pwd)
seconds=${RECORD_SECONDS:-420}
soak_seconds=${SOAK_SECONDS:-600}

setup

build_measure build/record-win64 "recorder record_driver"
bin="$root/build/record-win64/measure/pacing"
own_wine_prefix record

failed=()
record() {  # name, flash rate, seconds
  echo "== $1: $2 flashes/s for $3 s"
  record_driven "$out" "$1" $(($3 + 900)) "$bin" "$2" "$3" || failed+=("$1")
}

for rate in ${RECORD_RATES:-60 144 240}; do
  record "recording-$rate" "$rate" "$seconds"
done
if [ "$soak_seconds" != 0 ]; then
  record soak-240 240 "$soak_seconds"
fi

if [ ${#failed[@]} -gt 0 ]; then
  echo "record-toggles: failed: ${failed[*]}" >&2
  exit 1
fi
echo "record-toggles: recordings in $out"
