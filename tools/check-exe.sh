#!/usr/bin/env bash
# Static checks of a built lukanemi.exe, read with the cross toolchain's
# objdump: it imports only DLLs that ship with Windows (the C++ runtime,
# libgcc and the thread library are linked in), and, with --release, it is
# stripped and at most 450 KB.
# Usage: tools/check-exe.sh [--release] EXE
set -euo pipefail
release=0
if [ "${1:-}" = "--release" ]; then
  release=1
  shift
fi
exe=$1
objdump=""
for tool in i686-w64-mingw32-objdump x86_64-w64-mingw32-objdump objdump; do
  command -v "$tool" >/dev/null && { objdump=$tool; break; }
done
[ -n "$objdump" ] || { echo "check-exe: no objdump" >&2; exit 2; }

failed=0
fail() { echo "check-exe: $exe: $*"; failed=1; }

system_dlls=" kernel32.dll user32.dll gdi32.dll msvcrt.dll advapi32.dll ntdll.dll "
imports=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$imports" ] || fail "no imports found"
for dll in $imports; do
  lower=$(echo "$dll" | tr '[:upper:]' '[:lower:]')
  case "$system_dlls" in
    *" $lower "*) ;;
    *) fail "imports $dll, which is not a Windows system DLL" ;;
  esac
done

if [ "$release" -eq 1 ]; then
  size=$(stat -c %s "$exe")
  [ "$size" -le 460800 ] || fail "$size bytes, more than 450 KB (460,800 bytes)"
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
  echo "check-exe: $exe: imports only $(echo $imports | tr ' ' ',')$([ "$release" -eq 1 ] && echo ", $(stat -c %s "$exe") bytes, stripped")"
fi
exit "$failed"
