#!/usr/bin/env bash
# Static checks of a built lukanemi.exe: every import is on the allow-list
# (tools/allowed-imports.txt, checked by tools/check_imports.py, which also
# checks that Windows XP accepts its subsystem version) and, with --release,
# read with the cross toolchain's objdump, it is stripped and at most
# 400 KB.
# Usage: tools/check-exe.sh [--release] EXE
set -euo pipefail
release=0
if [ "${1:-}" = "--release" ]; then
  release=1
  shift
fi
exe=$1
source "$(dirname "$0")/lib.sh"
objdump=i686-w64-mingw32-objdump

failed=0
fail() { echo "check-exe: $exe: $*"; failed=1; }

imports=$("$python" "$root/tools/check_imports.py" "$root/tools/allowed-imports.txt" "$exe") ||
  fail "$(grep -v ' passed, ' <<<"$imports")"

if [ "$release" -eq 1 ]; then
  size=$(stat -c %s "$exe")
  [ "$size" -le 409600 ] || fail "$size bytes, more than 400 KB (409,600 bytes)"
  sections=$("$objdump" -h "$exe")
  symbols=$("$objdump" -t "$exe")
  if grep -q -E '[[:space:]]\.debug_|[[:space:]]/[0-9]+' <<<"$sections"; then
    fail "has debug sections: not stripped"
  fi
  if grep -q -E '^\[ *[0-9]+\]' <<<"$symbols"; then
    fail "has a symbol table: not stripped"
  fi
fi

if [ "$failed" -eq 0 ]; then
  echo "check-exe: $(grep ': imports ' <<<"$imports"), all on the allow-list$([ "$release" -eq 1 ] && echo "; $(stat -c %s "$exe") bytes, stripped")"
fi
exit "$failed"
