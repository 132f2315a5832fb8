#!/usr/bin/env bash
# Records the real program's toggles for the display simulation: the 64-bit
# sim_recorder (the shipped program with timestamping platformFill and
# platformFlush) driven by sim_driver under Wine, each run in a fresh virtual
# display.
#
# usage: tools/sim-record.sh OUTDIR
# Writes OUTDIR/recording-<rate>.bin and .log for 60, 144 and 240 flashes
# per second (SIM_RATES, e.g. "240" for one; SIM_SECONDS each, default 420),
# the soak run soak-240.bin and .log (SOAK_SECONDS, default 600; 0 skips it),
# and OUTDIR/load.txt: the load average before and after each run and how
# busy the CPUs were during it.
# Fails if any run fails.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$root"
if [ $# -ne 1 ]; then
  echo "usage: tools/sim-record.sh OUTDIR" >&2
  exit 2
fi
mkdir -p "$1"
out=$(cd "$1" && pwd)
seconds=${SIM_SECONDS:-420}
soak_seconds=${SOAK_SECONDS:-600}

setup

dir=build/sim-win64
build_in "$dir" "sim_recorder sim_driver" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
  -DLUKANEMI_TESTS=OFF -DLUKANEMI_MEASURE=OFF
recorder="$root/$dir/measure/recorder/sim_recorder.exe"
driver="$root/$dir/measure/recorder/sim_driver.exe"

# A Wine prefix of its own: other programs' Wine servers are neither waited
# on nor shut down.
export WINEPREFIX="$root/build/wineprefix-sim"
wine_prepare

# Windows programs get Unix paths through Wine's Z: drive.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# Busy and total jiffies of all CPUs, from /proc/stat's first line.
cpu_times() {
  local _ user nice system idle iowait irq softirq steal
  read -r _ user nice system idle iowait irq softirq steal _ </proc/stat
  local busy=$((user + nice + system + irq + softirq + steal))
  echo "$busy $((busy + idle + iowait))"
}

failed=()
record() {  # name, flash rate, seconds
  local name=$1 rate=$2 length=$3
  echo "== $name: $rate flashes/s for $length s"
  local busy0 total0 busy1 total1
  read -r busy0 total0 < <(cpu_times)
  echo "$name before: loadavg $(cat /proc/loadavg)" >>"$out/load.txt"
  local status=0
  timeout $((length + 900)) tools/wine-session.sh "$WINE" "$(windows_path "$driver")" \
    "$(windows_path "$recorder")" "$rate" "$length" "$(windows_path "$out/$name.bin")" \
    2>&1 | tee "$out/$name.log" || status=$?
  read -r busy1 total1 < <(cpu_times)
  echo "$name after: loadavg $(cat /proc/loadavg); CPUs busy during the run" \
    "$(awk -v b=$((busy1 - busy0)) -v t=$((total1 - total0)) \
      'BEGIN { printf "%.1f%%", (t > 0 ? 100 * b / t : 0) }') of $(nproc) cores" >>"$out/load.txt"
  if [ "$status" -ne 0 ] || [ ! -s "$out/$name.bin" ]; then
    echo "== $name FAILED (status $status)"
    failed+=("$name")
  fi
}

for rate in ${SIM_RATES:-60 144 240}; do
  record "recording-$rate" "$rate" "$seconds"
done
if [ "$soak_seconds" != 0 ]; then
  record soak-240 240 "$soak_seconds"
fi

if [ ${#failed[@]} -gt 0 ]; then
  echo "sim-record: failed: ${failed[*]}" >&2
  exit 1
fi
echo "sim-record: recordings in $out"
