#!/usr/bin/env bash
# Builds and runs the pacing benchmarks and regenerates docs/bench.md and
# docs/bench.png:
#   - the native microbenchmark of a pass's arithmetic, with its check that a
#     pass allocates no memory (fails this command if one does);
#   - the Wine benchmark of the pacer against two naive designs, three times.
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
build_in build/bench-win64 pacing_bench -DLUKANEMI_TESTS=OFF -DLUKANEMI_MEASURE=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake"

out=build/bench-out
rm -rf "$out"
mkdir -p "$out"

# A Wine prefix of its own, so that the benchmark neither waits on nor shuts
# down the Wine server of other programs running at the same time.
export WINEPREFIX="$root/build/wineprefix-bench"
wine_prepare

{
  describe_machine ""
  echo "$(x86_64-w64-mingw32-g++-posix --version | head -1)"
} >"$out/machine.txt"

echo "== native: allocation check and pass arithmetic"
build/bench-native/measure/native/pass_arithmetic_bench --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true --benchmark_out="$out/native.json" \
  --benchmark_out_format=json | tee "$out/native.txt"

exe="$root/build/bench-win64/measure/recorder/pacing_bench.exe"
for i in $(seq 1 "$runs"); do
  echo "== Wine run $i of $runs (load: $(uptime | sed 's/.*load average: //'))"
  mkdir -p "$out/run$i"
  before=$(uptime | sed 's/.*load average: //')
  timeout 1200 tools/wine-session.sh "$WINE" "$exe" "$out/run$i" "$seconds"
  after=$(uptime | sed 's/.*load average: //')
  printf 'load average %s\n%s\n' "$before" "$after" >"$out/run$i/load.txt"
done

"$python" measure/analysis/pacing_report.py "$out" docs >/dev/null
echo "wrote docs/bench.md and docs/bench.png"
