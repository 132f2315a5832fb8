#!/usr/bin/env bash
# Builds and runs the pacing benchmarks and regenerates docs/bench.md and
# docs/bench.png:
#   - the native microbenchmark of a pass's arithmetic, with its check that a
#     pass allocates no memory (fails this command if one does);
#   - the Wine benchmark of the pacer (the recorder driven by record_driver)
#     against two naive designs (naive_sleep1, naive_timer1), with the
#     platform calls' costs (platform_costs), three times; each recording is
#     one run of record_run in build/bench-out/run<i>, judged and summed up
#     by measure/analysis/pacing.py.
# The Wine benchmark is the 64-bit build: on machines that emulate 32-bit
# code, a 32-bit program's timing would measure the emulator.
# BENCH_SECONDS (default 10) sets the length of each measured run and
# BENCH_RUNS (default 3) the number of runs.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$root"
seconds=${BENCH_SECONDS:-10}
runs=${BENCH_RUNS:-3}

setup

# Own build folders without the tests: only what the benchmarks need.
build_in build/bench-native pass_arithmetic_bench -DLUKANEMI_TESTS=OFF -DLUKANEMI_MEASURE=ON
build_measure build/bench-win64 "recorder record_driver naive_sleep1 naive_timer1 platform_costs"

out=build/bench-out
rm -rf "$out"
mkdir -p "$out"

own_wine_prefix bench

{
  describe_machine ""
  echo "$(x86_64-w64-mingw32-g++-posix --version | head -1)"
} >"$out/machine.txt"

echo "== native: allocation check and pass arithmetic"
build/bench-native/measure/arithmetic/pass_arithmetic_bench --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true --benchmark_out="$out/native.json" \
  --benchmark_out_format=json | tee "$out/native.txt"

bin="$root/build/bench-win64/measure/pacing"
for i in $(seq 1 "$runs"); do
  dir="$out/run$i"
  echo "== Wine run $i of $runs (load: $(uptime | sed 's/.*load average: //'))"
  mkdir -p "$dir"
  timeout 300 tools/wine-session.sh "$WINE" "$(windows_path "$bin/platform_costs.exe")" \
    "$seconds" >"$dir/costs.tsv"
  # A stop must be seen and must not hang the recording: at 10^6 flashes
  # per second with both limits 0 the first pass drops and stops the run.
  record_driven "$dir" stop-check 600 "$bin" 1000000 3 --max-drop-frames 0 \
    --max-consecutive-drops 0 --end-at-stop || true
  for rate in 60 144 240 1000; do
    # The pacer's run is measured up to its first stop, if any.
    record_driven "$dir" "ours-$rate" 600 "$bin" "$rate" "$seconds" --end-at-stop || true
    for design in sleep1 timer1; do
      record_run "$dir" "$design-$rate" 300 "$(windows_path "$bin/naive_$design.exe")" \
        "$rate" "$seconds" || true
    done
  done
  # Writes summary.tsv and lateness-<design>-<rate>.txt; fails on a failed check.
  "$python" measure/analysis/pacing.py "$dir"
done

"$python" measure/analysis/pacing_report.py "$out" docs >/dev/null
echo "wrote docs/bench.md and docs/bench.png"
