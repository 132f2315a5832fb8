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
if [ -e "$out" ] && [ ! -f "$out/$marker" ] && [ -n "$(ls -A "$out")" ]; then
  echo "release: $out is not empty and was not written by release.sh; not replacing it" >&2
  exit 1
fi
setup

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
git -C "$root" archive --format=tar HEAD | tar -x -C "$work/"
version=$(head -n 1 "$work/VERSION")
commit_time=$(git -C "$root" log -1 --format=%ct HEAD)
case "$version" in
  [0-9]*.[0-9]*.[0-9]*) ;;
  *) echo "release: VERSION holds '$version', expected MAJOR.MINOR.PATCH" >&2; exit 1 ;;
esac

cmake -S "$work" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$work/cmake/mingw-i686.cmake" \
  -DLUKANEMI_TESTS=OFF -DLUKANEMI_MEASURE=OFF >/dev/null
cmake --build "$work/build" --target lukanemi -j "$(nproc)" >/dev/null
# The committed tree's checks and allow-list: every import on the list,
# stripped, at most 400 KB.
"$work/tools/check-exe.sh" --release "$work/build/frontend/lukanemi.exe" >&2

rm -rf "$out"
mkdir -p "$out"
: >"$out/$marker"
zip="lukanemi-$version-win32.zip"
cp "$work/build/frontend/lukanemi.exe" "$out/lukanemi.exe"
# The read-me for Windows: the version filled in, CRLF line ends, and a
# byte-order mark so that older Notepads read the Japanese as UTF-8.
grep -q '@VERSION@' "$work/docs/README.txt" ||
  { echo "release: docs/README.txt does not name @VERSION@" >&2; exit 1; }
{
  printf '\xef\xbb\xbf'
  sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$work/docs/README.txt"
} >"$out/README.txt"

"$python" - "$out" "$zip" "$commit_time" <<'PY'
import hashlib, os, sys, time, zipfile

out, name, commit_time = sys.argv[1], sys.argv[2], int(sys.argv[3])
stamp = max(time.gmtime(commit_time)[:6], (1980, 1, 1, 0, 0, 0))

def read(path):
    with open(os.path.join(out, path), "rb") as f:
        return f.read()

def sums(names):
    return "".join("%s  %s\n" % (hashlib.sha256(read(n)).hexdigest(), n) for n in names).encode()

entries = [("lukanemi.exe", read("lukanemi.exe")), ("README.txt", read("README.txt")),
           ("SHA256SUMS.txt", sums(["lukanemi.exe", "README.txt"]))]
with zipfile.ZipFile(os.path.join(out, name), "w") as archive:
    for entry, data in entries:
        info = zipfile.ZipInfo(entry, date_time=stamp)
        info.create_system = 3  # Unix, so that the mode below is read
        info.external_attr = 0o100644 << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        archive.writestr(info, data, compresslevel=9)
with open(os.path.join(out, "SHA256SUMS.txt"), "wb") as f:
    f.write(sums(["lukanemi.exe", "README.txt", name]))
PY
cat "$out/SHA256SUMS.txt"
echo "release $version written to $out"
