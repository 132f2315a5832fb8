#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it under Wine.
# With a display it simply starts the program. Without one it runs the
# program in a virtual display, presses Start, and saves screenshots of the
# dialog, the strip and the full-screen flicker under build/screenshots/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash tools/setup.sh
tools/build.sh win32
exe="$root/build/win32/frontend/lukanemi.exe"
source tools/wine-env.sh
wine_prepare

if [ -n "${DISPLAY:-}" ] && [ "${1:-}" != "--screenshots" ]; then
  exec "$WINE" "$exe"
fi

out="$root/build/screenshots"
mkdir -p "$out"
EXE="$exe" OUT="$out" xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -u
  shot() { import -window root "$OUT/$1.png"; echo "saved $OUT/$1.png"; }
  wait_for() {  # window name, seconds
    for _ in $(seq 1 "$2"); do
      xdotool search --name "$1" >/dev/null 2>&1 && return 0
      sleep 1
    done
    return 1
  }
  # A virtual desktop draws the caption bars that a bare X display lacks.
  "$WINE" explorer /desktop=lukanemi,1280x1024 "$EXE" &
  wait_for "ルカネミ" 240 || { echo "the dialog did not appear" >&2; exit 1; }
  sleep 3
  shot dialog
  xdotool search --name "ルカネミ" windowactivate --sync key Return 2>/dev/null || true
  sleep 4
  shot strip
  xdotool key space
  sleep 2
  shot fullscreen
  wineserver -k
'
echo "screenshots are in $out"
