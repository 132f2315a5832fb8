#!/usr/bin/env bash
# Differential fuzzing of the text rules (core/settings_text.cpp) with
# libFuzzer: builds each harness in tests/fuzz with clang++ into build/fuzz
# and runs it on a writable copy of its seed corpus.
#
#   tools/fuzz.sh                    about 20 s per harness (a fixed number
#                                    of inputs per harness when CI=true)
#   tools/fuzz.sh --long SECONDS     SECONDS per harness
#   tools/fuzz.sh [...] NAME...      only the named harnesses
#
# A failing input is kept in build/fuzz/artifacts/NAME/; replay it with
# build/fuzz/NAME FILE. Exits non-zero when any harness fails.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

all=(parse_real parse_int format_text)
# Inputs per harness when CI=true: about 20 s each on the project's machines.
declare -A ciRuns=([parse_real]=240000 [parse_int]=1350000 [format_text]=2000000)
declare -A maxLen=([parse_real]=2400 [parse_int]=512 [format_text]=16)

seconds=20
long=0
names=()
while [ $# -gt 0 ]; do
  case $1 in
    --long)
      [[ ${2:-} =~ ^[1-9][0-9]*$ ]] || { echo "fuzz: --long needs a number of seconds" >&2; exit 2; }
      seconds=$2
      long=1
      shift 2
      ;;
    -h | --help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *)
      [[ " ${all[*]} " == *" $1 "* ]] || { echo "fuzz: no harness '$1' (${all[*]})" >&2; exit 2; }
      names+=("$1")
      shift
      ;;
  esac
done
[ ${#names[@]} -gt 0 ] || names=("${all[@]}")

out=build/fuzz
mkdir -p "$out/obj"
cxx=${CXX_FUZZ:-clang++}
flags=(-std=c++17 -O1 -g -fno-omit-frame-pointer -Wall -Wextra -I "$root"
       -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined)

echo "== building the fuzzers with $cxx"
build_ok=1
"$cxx" "${flags[@]}" -c core/settings_text.cpp -o "$out/obj/settings_text.o" &&
  "$cxx" "${flags[@]}" -c tests/fuzz/fuzz_support.cpp -o "$out/obj/fuzz_support.o" || build_ok=0
probe='extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }'
if [ $build_ok -eq 0 ] ||
    ! echo "$probe" | "$cxx" -x c++ -fsanitize=fuzzer - -o "$out/obj/probe" 2>/dev/null; then
  [ $build_ok -eq 1 ] &&
    echo "fuzz: clang's libFuzzer runtime is missing (package libclang-rt-14-dev; tools/setup.sh installs it)" >&2
  echo "0 passed, ${#names[@]} failed"
  exit 1
fi

passed=0
failed=0
for name in "${names[@]}"; do
  echo "== $name"
  if ! "$cxx" "${flags[@]}" "tests/fuzz/fuzz_$name.cpp" "$out/obj/settings_text.o" \
      "$out/obj/fuzz_support.o" -o "$out/$name"; then
    echo "$name: build failed"
    failed=$((failed + 1))
    continue
  fi

  corpus=$out/corpus/$name
  artifacts=$out/artifacts/$name
  mkdir -p "$corpus" "$artifacts"
  cp tests/fuzz/corpus/"$name"/* "$corpus"/
  args=(-max_len="${maxLen[$name]}" -timeout=10 -print_final_stats=1
        -artifact_prefix="$artifacts/")
  [ -f "tests/fuzz/$name.dict" ] && args+=(-dict="tests/fuzz/$name.dict")
  if [ "${CI:-}" = true ] && [ $long -eq 0 ]; then
    # A fixed amount of work, with a time limit against a much slower machine.
    args+=(-runs="${ciRuns[$name]}" -max_total_time=300)
  else
    args+=(-max_total_time="$seconds")
  fi

  log=$out/$name.log
  start=$(date +%s)
  "$out/$name" "${args[@]}" "$corpus" >"$log" 2>&1
  rc=$?
  elapsed=$(($(date +%s) - start))

  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  if [ -z "$runs" ]; then
    # Stopped by a failure: libFuzzer prints no final stats, only progress lines.
    runs="at least $(sed -n 's/^#\([0-9][0-9]*\).*/\1/p' "$log" | tail -n 1)"
  fi
  mismatches=$(grep -c '^MISMATCH in' "$log")
  crashes=0
  [ "$rc" -ne 0 ] && [ "$mismatches" -eq 0 ] && crashes=1
  echo "$name: $runs inputs in ${elapsed} s, $mismatches mismatches, $crashes crashes" \
    "(seed $(sed -n 's/.*INFO: Seed: //p' "$log" | head -n 1), corpus $(ls "$corpus" | wc -l) files)"
  if [ "$rc" -eq 0 ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    if [ "$mismatches" -gt 0 ]; then
      sed -n '/^MISMATCH in/,/^got:/p' "$log"
    else
      grep -E 'ERROR:|SUMMARY:|runtime error' "$log" | head -n 20
    fi
    grep -E 'Test unit written to|^artifact_prefix' "$log" | tail -n 1
    echo "full log: $log; replay: $out/$name FILE"
  fi
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
