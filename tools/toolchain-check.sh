#!/usr/bin/env bash
# Shows that the project itself makes a 32-bit build exact and
# self-contained: it configures the program with a toolchain file that names
# only the system and the compilers (the win32 thread model, which ships),
# builds it, and checks the executable's imports against the allow-list;
# shows that the same check refuses the program of the posix thread-model
# compilers, naming GetTickCount64 (Vista and later), which their thread
# runtime imports; then it checks that the core refuses to compile as
# 32-bit x86 code without SSE2 double arithmetic. The refusals are the
# negative controls of the executable check and of the core's guard.
# Prints failures only, then "N passed, M failed".
set -euo pipefail
source "$(dirname "$0")/lib.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/toolchain.cmake" <<'TOOLCHAIN'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-win32)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-win32)
TOOLCHAIN
build_in "$work/build" lukanemi -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
  -DLUKANEMI_TESTS=OFF -DLUKANEMI_MEASURE=OFF
exe="$work/build/frontend/lukanemi.exe"
if out=$("$root/tools/check-exe.sh" --release "$exe"); then pass_check; else fail_check "$out"; fi
shipped="$root/build/win32/frontend/lukanemi.exe"
check "the plain toolchain's program differs from build/win32's (or that is missing: tools/build.sh win32)" \
  cmp -s "$exe" "$shipped"

# The executable check must refuse what may not ship: the unstripped link,
# for each of its three faults (over 400 KB, debug sections, symbols).
unstripped="$work/build/frontend/lukanemi-unstripped.exe"
build_in "$work/build" lukanemi_unstripped
if out=$("$root/tools/check-exe.sh" --release "$unstripped"); then
  fail_check "negative control: check-exe passed the unstripped program"
else
  for fault in "more than 400 KB" "has debug sections" "has a symbol table"; do
    check "negative control: check-exe refuses the unstripped program without saying '$fault':"$'\n'"$out" \
      grep -q "$fault" <<<"$out"
  done
fi

# The posix thread model's runtime imports what Windows XP lacks.
sed 's/-win32)$/-posix)/' "$work/toolchain.cmake" >"$work/toolchain-posix.cmake"
build_in "$work/posix" lukanemi -DCMAKE_TOOLCHAIN_FILE="$work/toolchain-posix.cmake" \
  -DLUKANEMI_TESTS=OFF -DLUKANEMI_MEASURE=OFF
if out=$("$root/tools/check-exe.sh" --release "$work/posix/frontend/lukanemi.exe"); then
  fail_check "negative control: check-exe passed the posix-thread program"
elif grep -q 'imports GetTickCount64 from KERNEL32.dll, not on the allow-list' <<<"$out"; then
  pass_check
else
  fail_check "negative control: check-exe refuses the posix-thread program, but without" \
    "naming GetTickCount64:"$'\n'"$(head -5 <<<"$out")"
fi

# x87 arithmetic (the compiler's default for 32-bit x86) must not compile.
for flags in "" "-msse2 -mfpmath=387"; do
  # shellcheck disable=SC2086
  if out=$(i686-w64-mingw32-g++-win32 -std=c++17 -I"$root" -fsyntax-only $flags \
             "$root/core/settings.cpp" 2>&1); then
    fail_check "the core compiled as 32-bit x86 with x87 arithmetic (flags: ${flags:-none})"
  elif ! grep -q "need SSE2 double arithmetic" <<<"$out"; then
    fail_check "the core failed to compile with flags '${flags:-none}', but not by its guard:" \
      $'\n'"$(head -5 <<<"$out")"
  else
    pass_check
  fi
done

end_check
