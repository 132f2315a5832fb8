#!/usr/bin/env bash
# Builds the release twice, from two clean copies of the committed tree in
# different folders, under different time zones and umasks, and checks that
# every file of the two releases is byte-identical; then checks what the
# release holds.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
a=$(mktemp -d /tmp/lukanemi-a.XXXXXX)
b=$(mktemp -d /tmp/lukanemi-bb.XXXXXX)
trap 'rm -rf "$a" "$b"' EXIT
(umask 022 && TZ=UTC "$root/tools/release.sh" "$a/dist" >/dev/null)
(umask 077 && TZ=Pacific/Kiritimati "$root/tools/release.sh" "$b/dist" >/dev/null)
failed=0
files_a=$(cd "$a/dist" && ls)
files_b=$(cd "$b/dist" && ls)
if [ "$files_a" != "$files_b" ]; then
  echo "the two releases hold different files: [$files_a] and [$files_b]"
  failed=1
fi
for f in $files_a; do
  if cmp -s "$a/dist/$f" "$b/dist/$f"; then
    echo "identical: $f $(sha256sum <"$a/dist/$f" | cut -c1-16)"
  else
    echo "differs: $f"
    failed=1
  fi
done
# The release's contents: the zip's entries, modes, times and sums.
"$python" "$root/tests/release/check_release.py" "$a/dist" "$(git -C "$root" show HEAD:VERSION)" \
  "$(git -C "$root" log -1 --format=%cI HEAD)" || failed=1
# release.sh refuses to replace a folder it did not write, and leaves it as it was.
mkdir "$a/mine" && echo kept >"$a/mine/file"
if "$root/tools/release.sh" "$a/mine" 2>/dev/null || [ "$(cat "$a/mine/file")" != kept ]; then
  echo "release.sh replaced a folder it did not write"
  failed=1
fi
end_check
