#!/usr/bin/env bash
# Builds the program from a clean copy of the committed tree and writes dist/:
# the executable, a short bilingual read-me and its SHA-256 checksum.
# Usage: tools/release.sh [OUTPUT_DIR]   (default: dist)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/dist}")
bash "$root/tools/setup.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
git -C "$root" archive --format=tar HEAD | tar -x -C "$work"
cmake -S "$work" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$work/cmake/mingw-i686.cmake" \
  -DLUKANEMI_TESTS=OFF -DLUKANEMI_BENCH=OFF >/dev/null
cmake --build "$work/build" --target lukanemi -j "$(nproc)" >/dev/null

rm -rf "$out"
mkdir -p "$out"
cp "$work/build/frontend/lukanemi.exe" "$out/lukanemi.exe"
cp "$root/docs/README.txt" "$out/README.txt"
(cd "$out" && sha256sum lukanemi.exe README.txt > SHA256SUMS.txt)
cat "$out/SHA256SUMS.txt"
echo "release written to $out"
