#!/usr/bin/env bash
# Builds the Windows test kit from a clean copy of the committed tree (HEAD)
# and writes into OUTPUT_DIR (default: dist-testkit):
#   lukanemi-<version>-testkit-win32.zip   the kit and, last, its SHA256SUMS.txt
#   SHA256SUMS.txt                         the zip's sum
# The kit, for anyone's Windows PC (XP SP3 to 11), in this order:
#   run.cmd                   asks first, then runs the suites (tests/kit/run.cmd)
#   README.txt                the bilingual read-me (tests/kit/README.txt)
#   lukanemi.exe              the program, built as tools/release.sh builds it
#   kit/kit_runner.exe        runs the suites into a report folder
#   kit/core_tests.exe        the core tests (32-bit, posix-thread compilers)
#   kit/e2e_driver.exe        the 32-bit end-to-end driver ...
#   kit/stress_driver.exe     ... and stress driver
#   kit/recorder.exe          the recorder and its driver (32-bit)
#   kit/record_driver.exe
#   kit/guide/README.md       the guide, whose worked examples the end-to-end
#   kit/guide/README.txt      driver types
#   kit/notice-ja.txt         run.cmd's Japanese notice, UTF-16
#   kit/requirements.txt      what each program needs beyond the shipped
#                             program's import list (the runner checks it)
# Every file comes from the commit, not the working tree; the programs are
# found by their CMake targets. Reproducible as the release: the same bytes
# from any two builds (entry times the commit's, fixed order, mode 0644, no
# extra fields; no link timestamps or build paths in the programs).
# OUTPUT_DIR is replaced only if it is empty or holds the marker file that
# windows-kit.sh writes into it.
# Usage: tools/windows-kit.sh [OUTPUT_DIR]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
out=$(realpath -m "${1:-$root/dist-testkit}")
marker=.lukanemi-testkit
may_replace "$out" "$marker" windows-kit.sh
setup

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
src=$work/src
clean_tree "$src" windows-kit.sh
program=$(build_release_program "$src" "$work/release")
drivers="kit_runner e2e_driver stress_driver recorder record_driver"
build_targets "$src" "$work/win32" "$drivers" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-i686.cmake"
build_targets "$src" "$work/core" core_tests \
  -DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-i686-posix.cmake" \
  -DLUKANEMI_PROGRAM=OFF -DLUKANEMI_MEASURE=OFF

stage=$work/stage
mkdir -p "$stage/kit/guide"
cp "$program" "$stage/lukanemi.exe"
programs=()
for target in $drivers; do
  programs+=("$(target_file "$work/win32" "$target")")
done
programs+=("$(target_file "$work/core" core_tests)")
# Without their symbol tables the programs are smaller. strip would write
# the time into the header; SOURCE_DATE_EPOCH=0 keeps the link's 0 there.
for p in "${programs[@]}"; do
  SOURCE_DATE_EPOCH=0 i686-w64-mingw32-strip -o "$stage/kit/$(basename "$p")" "$p"
done
cp "$src/README.md" "$stage/kit/guide/README.md"
cp "$src/docs/README.txt" "$stage/kit/guide/README.txt"
windows_text "$src/tests/kit/run.cmd" "$version" >"$stage/run.cmd"
windows_text --bom "$src/tests/kit/README.txt" "$version" >"$stage/README.txt"
"$python" "$src/tools/windows_kit.py" batch "$stage/run.cmd" >&2
"$python" "$src/tools/windows_kit.py" notice "$src/tests/kit/notice-ja.txt" "$version" \
  "$stage/kit/notice-ja.txt"
names=(kit_runner.exe core_tests.exe e2e_driver.exe stress_driver.exe recorder.exe record_driver.exe)
(cd "$stage" && "$python" "$src/tools/windows_kit.py" requirements \
  "$src/tools/allowed-imports.txt" lukanemi.exe "${names[@]/#/kit/}") >"$stage/kit/requirements.txt"

zip="lukanemi-$version-testkit-win32.zip"
replace_folder "$out" "$marker"
write_zip "$stage" "$out/$zip" "$commit_time" run.cmd README.txt lukanemi.exe \
  "${names[@]/#/kit/}" kit/guide/README.md kit/guide/README.txt kit/notice-ja.txt \
  kit/requirements.txt
write_sums "$out" "$zip"
cat "$out/SHA256SUMS.txt"
echo "test kit $version written to $out ($(stat -c %s "$out/$zip") bytes)"
