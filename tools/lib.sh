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
