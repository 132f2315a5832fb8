#!/usr/bin/env bash
# Builds the release twice, from two clean copies of the committed tree in
# different folders, under different time zones and umasks, and checks that
# every file of the two releases is byte-identical; then checks what the
# release holds. Negative controls: the same comparison and the same check
# of the contents must both refuse a copy of the release with one byte of
# the program changed. Prints failures only, then "N passed, M failed".
set -euo pipefail
source "$(dirname "$0")/lib.sh"
a=$(mktemp -d /tmp/lukanemi-a.XXXXXX)
b=$(mktemp -d /tmp/lukanemi-bb.XXXXXX)
trap 'rm -rf "$a" "$b"' EXIT
# The two releases; release.sh's own output is shown only when it fails.
release() {  # folder, umask, time zone
  local out
  if ! out=$(umask "$2" && TZ=$3 "$root/tools/release.sh" "$1" 2>&1); then
    fail_check "release.sh $1 (umask $2, TZ $3) failed:"$'\n'"$out"
    end_check
  fi
}
release "$a/dist" 022 UTC
release "$b/dist" 077 Pacific/Kiritimati

# Compares two releases, one check for the list of files and one a file;
# prints what differs.
compare_releases() {  # folder a, folder b
  local files_a files_b f
  files_a=$(cd "$1" && ls)
  files_b=$(cd "$2" && ls)
  check "$1 and $2 hold different files: [$files_a] and [$files_b]" \
    test "$files_a" = "$files_b"
  for f in $files_a; do
    check "differs: $f" cmp -s "$1/$f" "$2/$f"
  done
}

# The release's contents (the zip's entries, modes, times and sums), each of
# check_release.py's checks counted here; prints its failures.
check_contents() {  # folder
  local out counts
  out=$("$python" "$root/tests/release/check_release.py" "$1" \
          "$(git -C "$root" show HEAD:VERSION)" "$(git -C "$root" log -1 --format=%cI HEAD)") ||
    true
  grep -v -E '^[0-9]+ passed, [0-9]+ failed$' <<<"$out" || true
  counts=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' <<<"$out" | tail -n 1)
  if [ -z "$counts" ]; then
    fail_check "check_release.py $1: expected its summary line, got none"
    return
  fi
  checks_passed=$((checks_passed + ${counts%% passed*}))
  local failed_part=${counts#*passed, }
  checks_failed=$((checks_failed + ${failed_part%% failed}))
}

compare_releases "$a/dist" "$b/dist"
check_contents "$a/dist"

# release.sh refuses to replace a folder it did not write, and leaves it as it was.
mkdir "$a/mine" && echo kept >"$a/mine/file"
if "$root/tools/release.sh" "$a/mine" 2>/dev/null || [ "$(cat "$a/mine/file")" != kept ]; then
  fail_check "release.sh replaced a folder it did not write"
else
  pass_check
fi

# The negative controls, on a copy of the release with one byte of the
# program changed (in its DOS stub's message, which nothing reads): the
# comparison must report exactly the program, and the contents' check must
# fail.
cp -R "$a/dist" "$b/changed"
printf 'X' | dd of="$b/changed/lukanemi.exe" bs=1 seek=100 conv=notrunc status=none
found=$(checks_passed=0 checks_failed=0; compare_releases "$a/dist" "$b/changed")
check "negative control: comparing the release with a copy whose program has one byte changed should report 'differs: lukanemi.exe' alone; it reported: [$found]" \
  test "$found" = "differs: lukanemi.exe"
contents=$(checks_passed=0 checks_failed=0; check_contents "$b/changed"
           echo "$checks_failed")
check "negative control: check_release.py should fail on the release with a changed program; it found no fault" \
  test "$(tail -n 1 <<<"$contents")" -gt 0
end_check
