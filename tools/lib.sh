# Sourced by the scripts in tools/: the project's folder (root), Debian's
# Python (it has the numpy that tools/setup.sh installs), set-up, building,
# the machine's description, and Wine (tools/wine-env.sh: WINE, WINEPREFIX,
# wine_prepare).
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
python=/usr/bin/python3
source "$root/tools/wine-env.sh"

setup() { bash "$root/tools/setup.sh"; }

# Configures FOLDER once with the cmake arguments, then builds the targets
# (all when empty), leaving out the progress lines.
build_in() {  # folder, targets, cmake arguments...
  local dir=$1 targets=$2
  shift 2
  [ -f "$dir/CMakeCache.txt" ] || cmake -S "$root" -B "$dir" "$@" >/dev/null
  # shellcheck disable=SC2086
  cmake --build "$dir" -j "$(nproc)" ${targets:+--target $targets} 2>&1 |
    { grep -v -E '^\[ *[0-9]+%\]' || true; }
}

# ---- Packages built from the committed tree (release.sh, windows-kit.sh) ----

# Fails, naming SCRIPT, unless FOLDER may be replaced: it does not exist, is
# empty, or holds MARKER, which SCRIPT writes into what it makes.
may_replace() {  # folder, marker, script
  if [ -e "$1" ] && [ ! -f "$1/$2" ] && [ -n "$(ls -A "$1")" ]; then
    echo "$3: $1 is not empty and was not written by $3; not replacing it" >&2
    return 1
  fi
}

# Replaces FOLDER (checked by may_replace) with an empty one holding MARKER.
replace_folder() {  # folder, marker
  rm -rf "$1"
  mkdir -p "$1"
  : >"$1/$2"
}

# Unpacks a clean copy of the committed tree (HEAD) into FOLDER and sets
# `version` (its VERSION, which must be MAJOR.MINOR.PATCH) and
# `commit_time` (the commit's, seconds since 1970).
clean_tree() {  # folder, script
  mkdir -p "$1"
  git -C "$root" archive --format=tar HEAD | tar -x -C "$1/"
  version=$(head -n 1 "$1/VERSION")
  commit_time=$(git -C "$root" log -1 --format=%ct HEAD)
  case "$version" in
    [0-9]*.[0-9]*.[0-9]*) ;;
    *) echo "$2: VERSION holds '$version', expected MAJOR.MINOR.PATCH" >&2; return 1 ;;
  esac
}

# Configures FOLDER from SOURCE with the cmake arguments, asking CMake's file
# API for the build's targets, and builds TARGETS; their files are then
# found by name (target_file), wherever the project's folders put them.
build_targets() {  # source, folder, targets, cmake arguments...
  local source=$1 dir=$2 targets=$3
  shift 3
  mkdir -p "$dir/.cmake/api/v1/query"
  : >"$dir/.cmake/api/v1/query/codemodel-v2"
  cmake -S "$source" -B "$dir" "$@" >/dev/null
  # shellcheck disable=SC2086
  cmake --build "$dir" -j "$(nproc)" --target $targets >/dev/null
}

# The file that build_targets built in FOLDER for TARGET, from CMake's reply.
target_file() {  # folder, target
  "$python" - "$1" "$2" <<'PY'
import glob, json, os, sys

folder, name = sys.argv[1], sys.argv[2]
reply = os.path.join(folder, ".cmake", "api", "v1", "reply")

def load(file):
    with open(os.path.join(reply, file)) as f:
        return json.load(f)

index = load(os.path.basename(sorted(glob.glob(os.path.join(reply, "index-*.json")))[-1]))
model = next(o for o in index["objects"] if o["kind"] == "codemodel")
targets = load(model["jsonFile"])["configurations"][0]["targets"]
found = [t for t in targets if t["name"] == name]
if not found:
    sys.exit("target_file: no target %s in %s" % (name, folder))
artifacts = load(found[0]["jsonFile"]).get("artifacts", [])
if not artifacts:
    sys.exit("target_file: target %s builds no file" % name)
print(os.path.join(folder, artifacts[0]["path"]))
PY
}

# Builds the program as it ships from the clean tree SOURCE in FOLDER (the
# 32-bit build of the win32 thread-model compilers, without tests or the
# measuring wing), checks it with SOURCE's own checks and allow-list (every
# import on the list, stripped, at most 400 KB) and prints its path.
build_release_program() {  # source, folder
  build_targets "$1" "$2" lukanemi -DCMAKE_TOOLCHAIN_FILE="$1/cmake/mingw-i686.cmake" \
    -DLUKANEMI_TESTS=OFF -DLUKANEMI_MEASURE=OFF
  local exe
  exe=$(target_file "$2" lukanemi)
  "$1/tools/check-exe.sh" --release "$exe" >&2
  echo "$exe"
}

# Prints a text file for Windows: @VERSION@ filled in, CRLF line ends and,
# with --bom, a byte-order mark, so that older Notepads read UTF-8 as such.
windows_text() {  # [--bom] file, version
  if [ "$1" = --bom ]; then
    printf '\xef\xbb\xbf'
    shift
  fi
  sed -e "s/@VERSION@/$2/g" -e 's/$/\r/' "$1"
}

# The deterministic zip of a package: ZIP holds FOLDER's files ENTRY... (paths
# relative to FOLDER, in that order) and, last, their SHA256SUMS.txt. Every
# entry has the commit's time in UTC (COMMIT_TIME, not before 1980), mode
# 0644 and no extra fields.
write_zip() {  # folder, zip, commit time, entries...
  "$python" - "$@" <<'PY'
import hashlib, os, sys, time, zipfile

folder, path, commit_time, names = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4:]
stamp = max(time.gmtime(commit_time)[:6], (1980, 1, 1, 0, 0, 0))

def read(name):
    with open(os.path.join(folder, name), "rb") as f:
        return f.read()

entries = [(name, read(name)) for name in names]
sums = "".join("%s  %s\n" % (hashlib.sha256(data).hexdigest(), name) for name, data in entries)
entries.append(("SHA256SUMS.txt", sums.encode()))
with zipfile.ZipFile(path, "w") as archive:
    for entry, data in entries:
        info = zipfile.ZipInfo(entry, date_time=stamp)
        info.create_system = 3  # Unix, so that the mode below is read
        info.external_attr = 0o100644 << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        archive.writestr(info, data, compresslevel=9)
PY
}

# Writes FOLDER/SHA256SUMS.txt: the sums of FOLDER's files NAME..., in order.
write_sums() {  # folder, names...
  local folder=$1
  shift
  (cd "$folder" && sha256sum -- "$@") >"$folder/SHA256SUMS.txt"
}

# Builds TARGETS of the measuring wing's 64-bit Windows programs, without the
# tests, in FOLDER.
build_measure() {  # folder, targets
  build_in "$1" "$2" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
    -DLUKANEMI_TESTS=OFF -DLUKANEMI_MEASURE=ON
}

describe_machine() {  # text after the Wine version
  echo "$(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores"
  echo "$(. /etc/os-release && echo "$PRETTY_NAME")"
  echo "Wine $("$WINE" --version 2>/dev/null | sed 's/^wine-//')$1"
  echo "Xvfb $(dpkg-query -W -f='${Version}' xvfb) at 1280×1024×24"
}

# A check script counts each of its checks: passed when it holds; failed,
# printing MESSAGE (what was expected and found), when it does not.
# end_check ends the script with the summary line that CTest and test.sh
# match, "N passed, M failed", and a non-zero status if any check failed.
checks_passed=0
checks_failed=0
pass_check() { checks_passed=$((checks_passed + 1)); }
fail_check() {  # message...
  echo "$*"
  checks_failed=$((checks_failed + 1))
}
# One check: passed if COMMAND succeeds, else failed with MESSAGE.
check() {  # message, command...
  local message=$1
  shift
  if "$@"; then pass_check; else fail_check "$message"; fi
}
# A script that ran no check fails.
end_check() {
  [ $((checks_passed + checks_failed)) -gt 0 ] || fail_check "no check ran"
  echo "$checks_passed passed, $checks_failed failed"
  [ "$checks_failed" -eq 0 ] || exit 1
  exit 0
}

# Makes build/wineprefix-NAME the Wine prefix of the calling script alone, so
# that it neither waits on nor shuts down other programs' Wine servers.
own_wine_prefix() {  # name
  export WINEPREFIX="$root/build/wineprefix-$1"
  wine_prepare
}

# Windows programs get Unix paths through Wine's Z: drive.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# Busy and total jiffies of all CPUs, from /proc/stat's first line.
cpu_times() {
  local _ user nice system idle iowait irq softirq steal
  read -r _ user nice system idle iowait irq softirq steal _ </proc/stat
  local busy=$((user + nice + system + irq + softirq + steal))
  echo "$busy $((busy + idle + iowait))"
}

# One line of a recording's load.txt: the load average before the run, or
# after it and how busy the CPUs were since cpu_times gave BUSY TOTAL.
load_line() {  # name, before | after, [busy total]
  if [ "$2" = before ]; then
    echo "$1 before: loadavg $(cat /proc/loadavg)"
    return
  fi
  local busy total
  read -r busy total < <(cpu_times)
  echo "$1 after: loadavg $(cat /proc/loadavg); CPUs busy during the run" \
    "$(awk -v b=$((busy - $3)) -v t=$((total - $4)) \
      'BEGIN { printf "%.1f%%", (t > 0 ? 100 * b / t : 0) }') of $(nproc) cores"
}

# Records one run under Wine in a fresh virtual display: runs the Windows
# program with LUKANEMI_RECORDING naming OUT/NAME.bin, its output shown and
# kept in OUT/NAME.log, for at most LIMIT seconds, and adds its load lines to
# OUT/load.txt. Fails if the program fails or leaves no recording.
record_run() {  # out, name, limit, program, arguments...
  local out=$1 name=$2 limit=$3
  shift 3
  local start status=0
  start=$(cpu_times)
  rm -f "$out/$name.bin"
  load_line "$name" before >>"$out/load.txt"
  LUKANEMI_RECORDING=$(windows_path "$out/$name.bin") timeout "$limit" \
    "$root/tools/wine-session.sh" "$WINE" "$@" 2>&1 | tee "$out/$name.log" || status=$?
  # shellcheck disable=SC2086
  load_line "$name" after $start >>"$out/load.txt"
  if [ "$status" -ne 0 ] || [ ! -s "$out/$name.bin" ]; then
    echo "== $name FAILED (status $status)"
    return 1
  fi
}

# record_run of the recorder (BIN/recorder.exe) driven by BIN/record_driver.exe
# at RATE flashes per second for SECONDS, with the driver's options.
record_driven() {  # out, name, limit, bin, rate, seconds, driver options...
  local out=$1 name=$2 limit=$3 bin=$4
  shift 4
  record_run "$out" "$name" "$limit" "$(windows_path "$bin/record_driver.exe")" \
    "$(windows_path "$bin/recorder.exe")" "$1" "$2" "$(windows_path "$out/$name.bin")" "${@:3}"
}
