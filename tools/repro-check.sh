#!/usr/bin/env bash
# Builds the program twice, from two clean copies of the committed tree in
# different folders, and checks that the two executables are byte-identical.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
a=$(mktemp -d /tmp/lukanemi-a.XXXXXX)
b=$(mktemp -d /tmp/lukanemi-bb.XXXXXX)
trap 'rm -rf "$a" "$b"' EXIT
"$root/tools/release.sh" "$a/dist" >/dev/null
"$root/tools/release.sh" "$b/dist" >/dev/null
if cmp "$a/dist/lukanemi.exe" "$b/dist/lukanemi.exe"; then
  echo "reproducible: $(sha256sum < "$a/dist/lukanemi.exe" | cut -c1-64)"
  echo "1 passed, 0 failed"
else
  echo "the two builds differ"
  echo "0 passed, 1 failed"
  exit 1
fi
