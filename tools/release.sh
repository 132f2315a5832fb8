#!/usr/bin/env bash
# Builds the program from a clean copy of the committed tree (HEAD) and
# writes a release into OUTPUT_DIR (default: dist):
#   lukanemi.exe                    the stripped 32-bit program
#   README.txt                      the bilingual read-me, naming the version
#   lukanemi-<version>-win32.zip    the two above and their SHA256SUMS.txt
#   SHA256SUMS.txt                  sums of the program, the read-me and the zip
# VERSION and docs/README.txt are taken from the commit, not the working
# tree. The zip is deterministic: entry times are the commit's, in UTC, every
# entry has mode 0644, the order is fixed and there are no extra fields.
# OUTPUT_DIR is replaced only if it is empty or holds the marker file that
# release.sh writes into it; any other folder is left as it is.
# Usage: tools/release.sh [OUTPUT_DIR]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
out=$(realpath -m "${1:-$root/dist}")
marker=.lukanemi-release
may_replace "$out" "$marker" release.sh
setup

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
clean_tree "$work/src" release.sh
program=$(build_release_program "$work/src" "$work/build")
grep -q '@VERSION@' "$work/src/docs/README.txt" ||
  { echo "release: docs/README.txt does not name @VERSION@" >&2; exit 1; }

replace_folder "$out" "$marker"
zip="lukanemi-$version-win32.zip"
cp "$program" "$out/lukanemi.exe"
# The read-me for Windows: the version filled in, CRLF line ends, and a
# byte-order mark so that older Notepads read the Japanese as UTF-8.
windows_text --bom "$work/src/docs/README.txt" "$version" >"$out/README.txt"
write_zip "$out" "$out/$zip" "$commit_time" lukanemi.exe README.txt
write_sums "$out" lukanemi.exe README.txt "$zip"
cat "$out/SHA256SUMS.txt"
echo "release $version written to $out"
