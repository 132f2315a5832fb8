#!/usr/bin/env bash
# Shows that the core tests of the posix-thread tree test the shipped code:
# each core object file of build/win32 (win32 thread-model compilers, the
# program that ships) must be byte-identical to the same file of
# build/win32-core (posix thread-model compilers, where GoogleTest builds),
# once the section naming the compiler (.rdata$zzz) is taken out of both.
# That section must name the two thread models, so the trees do differ.
# Negative control: the same comparison must find every shipped object that
# holds code different from the core compiled by the posix compilers with
# the tree's flags at -O1. Prints failures only, then "N passed, M failed".
set -euo pipefail
source "$(dirname "$0")/lib.sh"
shipped="$root/build/win32/core/CMakeFiles/core.dir"
tested="$root/build/win32-core/core/CMakeFiles/core.dir"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
objcopy=i686-w64-mingw32-objcopy

# The core objects of a folder, one name a line.
objects_in() { (cd "$1" && ls -- *.obj 2>/dev/null) || true; }

# Compares the core objects of folder A (win32 compilers) with those of
# folder B (posix compilers), one check an object, and prints what differs.
# Each side's object is copied once and both its compiler's name and its
# code are read from that copy, so one side cannot be compared with itself.
compare_objects() {  # folder a, folder b
  local folders=("$1" "$2") models=(win32 posix) names=() i obj
  names[0]=$(objects_in "$1")
  names[1]=$(objects_in "$2")
  if [ -z "${names[0]}" ] || [ "${names[0]}" != "${names[1]}" ]; then
    fail_check "$1 and $2 hold different core objects: [${names[0]}] and [${names[1]}]"
    return
  fi
  for obj in ${names[0]}; do
    local idents=() problem=""
    for i in 0 1; do
      cp "${folders[i]}/$obj" "$work/$i.obj"
      "$objcopy" -O binary --only-section='.rdata$zzz' "$work/$i.obj" "$work/ident"
      idents[i]=$(tr -d '\0' <"$work/ident")
      "$objcopy" --remove-section='.rdata$zzz' "$work/$i.obj"
      case "${idents[i]}" in
        *"${models[i]}"*) ;;
        *) problem+=" ${folders[i]}/$obj: expected a compiler of the ${models[i]} thread model,"
           problem+=" got '${idents[i]}';" ;;
      esac
    done
    if ! cmp -s "$work/0.obj" "$work/1.obj"; then
      problem+=" differs, from the first difference of their code on:"$'\n'
      problem+=$(diff <(i686-w64-mingw32-objdump -d -r "$work/0.obj" | tail -n +3) \
                      <(i686-w64-mingw32-objdump -d -r "$work/1.obj" | tail -n +3) | head -20 ||
                 true)
    fi
    if [ -z "$problem" ]; then pass_check; else fail_check "$obj:$problem"; fi
  done
}

compare_objects "$shipped" "$tested"

# The negative control: the core built as the posix tree builds it, but at
# -O1. Each object that holds code must be reported as differing.
# CMake's flags file names the compiler and its flags, relative to the
# library's build folder.
flags="$tested/flags.make"
if [ ! -f "$flags" ]; then
  fail_check "negative control: expected build/win32-core's flags ($flags), found none"
  end_check
fi
cxx=$(sed -n 's/^# compile CXX with //p' "$flags")
read -r -a cxx_flags <<<"$(sed -n 's/^CXX_\(DEFINES\|INCLUDES\|FLAGS\) = //p' "$flags" | tr '\n' ' ')"
mkdir "$work/control"
for obj in $(objects_in "$tested"); do
  (cd "$tested/../.." &&
    "$cxx" "${cxx_flags[@]}" -O1 -c "$root/core/${obj%.obj}" -o "$work/control/$obj")
done
with_code=""
for obj in $(objects_in "$work/control"); do
  if i686-w64-mingw32-objdump -h "$work/control/$obj" | awk '$2 == ".text" && $3 != "00000000" { f = 1 } END { exit !f }'; then
    with_code+="$obj "
  fi
done
control=$(checks_passed=0 checks_failed=0; compare_objects "$shipped" "$work/control")
missed=""
for obj in $with_code; do
  grep -q "^$obj: differs" <<<"$control" || missed+="$obj "
done
check "negative control: the comparison with the core built at -O1 should report every object with code ($with_code) as differing; it missed: ${missed:-nothing, but no object holds code}" \
  test -n "$with_code" -a -z "$missed"
end_check
