#!/usr/bin/env bash
# Shows that the core tests of the posix-thread tree test the shipped code:
# each core object file of build/win32 (win32 thread-model compilers, the
# program that ships) must be byte-identical to the same file of
# build/win32-core (posix thread-model compilers, where GoogleTest builds),
# once the section naming the compiler (.rdata$zzz) is taken out of both.
# That section must name the two thread models, so the trees do differ.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
shipped="$root/build/win32/core/CMakeFiles/core.dir"
tested="$root/build/win32-core/core/CMakeFiles/core.dir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

ident() {  # the compiler's identification string in an object file
  i686-w64-mingw32-objcopy -O binary --only-section='.rdata$zzz' "$1" "$work/ident"
  tr -d '\0' <"$work/ident"
}

objects=$(cd "$shipped" && ls -- *.obj 2>/dev/null || true)
tested_objects=$(cd "$tested" && ls -- *.obj 2>/dev/null || true)
if [ -z "$objects" ] || [ "$objects" != "$tested_objects" ]; then
  echo "the two trees hold different core objects: [$objects] and [$tested_objects]"
  failed=1
  objects=""
fi
for obj in $objects; do
  a=$(ident "$shipped/$obj")
  b=$(ident "$tested/$obj")
  case "$a|$b" in
    *win32*"|"*posix*) ;;
    *) echo "$obj: expected compilers of the win32 and the posix thread model, got '$a' and '$b'"
       failed=1 ;;
  esac
  i686-w64-mingw32-objcopy --remove-section='.rdata$zzz' "$shipped/$obj" "$work/a.obj"
  i686-w64-mingw32-objcopy --remove-section='.rdata$zzz' "$tested/$obj" "$work/b.obj"
  if cmp -s "$work/a.obj" "$work/b.obj"; then
    echo "identical: $obj ($(stat -c %s "$work/a.obj") bytes; $a / $b)"
  else
    echo "differs: $obj"
    diff <(i686-w64-mingw32-objdump -d -r "$work/a.obj" | tail -n +3) \
         <(i686-w64-mingw32-objdump -d -r "$work/b.obj" | tail -n +3) | head -20 || true
    failed=1
  fi
done
end_check
