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

describe_machine() {  # text after the Wine version
  echo "$(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores"
  echo "$(. /etc/os-release && echo "$PRETTY_NAME")"
  echo "Wine $("$WINE" --version 2>/dev/null | sed 's/^wine-//')$1"
  echo "Xvfb $(dpkg-query -W -f='${Version}' xvfb) at 1280×1024×24"
}

# Ends a check script (failed is 0 or 1) with the summary line CTest matches.
end_check() { if [ "$failed" -eq 0 ]; then echo "1 passed, 0 failed"; else echo "0 passed, 1 failed"; fi; exit "$failed"; }
