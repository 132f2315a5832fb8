#!/usr/bin/env bash
# Installs what is missing, builds every variant and runs every test: the
# user guide's check, the core natively (also under AddressSanitizer and
# UndefinedBehaviorSanitizer), clang-tidy, the fuzzers and the display
# simulation's check of the committed recordings, then the Windows builds
# under Wine in a virtual X display (the core tests, the resource and import
# checks, the end-to-end and stress tests of the real program; the 32-bit
# core tests in a tree of their own, whose core objects must be those of the
# program that ships), a build with a compilers-only toolchain file, two
# releases compared file by file, and the Windows test kit: built twice and
# compared, and run under Wine's cmd as a volunteer runs it.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
cd "$root"

setup || exit 1
tools/build.sh native asan win64 win32 win32-core || exit 1

passed=0
failed=0
summary=()
run_suite() {  # name, command...
  local name=$1
  shift
  echo "== $name"
  if "$@"; then
    passed=$((passed + 1))
    summary+=("ok      $name")
  else
    failed=$((failed + 1))
    summary+=("FAILED  $name")
  fi
}

run_suite "user guide" bash tools/check-guide.sh
run_suite "core (native)" ctest --test-dir build/native --output-on-failure
run_suite "core (sanitizers)" ctest --test-dir build/asan --output-on-failure
run_suite "clang-tidy (core)" clang-tidy --quiet -p build/native core/*.cpp
run_suite "fuzzers (bounded)" tools/fuzz.sh
run_suite "display simulation (committed recordings)" bash tools/simulate.sh --check
run_suite "windows (64-bit, Wine)" tools/wine-session.sh ctest --test-dir build/win64 --output-on-failure
run_suite "windows (32-bit, Wine)" tools/wine-session.sh ctest --test-dir build/win32 --output-on-failure
run_suite "core (32-bit, posix threads, Wine)" tools/wine-session.sh ctest --test-dir build/win32-core --output-on-failure
run_suite "core objects the same in both 32-bit trees" tools/same-core.sh
run_suite "plain toolchain (32-bit)" tools/toolchain-check.sh
run_suite "reproducible release" tools/repro-check.sh
run_suite "windows test kit (32-bit, Wine)" tools/kit-check.sh

echo
printf '%s\n' "${summary[@]}"
echo "suites: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
