#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it under Wine.
# With a display it simply starts the program. Without one it runs the
# program in a virtual display, follows the guide's quick-start example
# (59.900 flashes per second, then a time of 25.02 s), and saves screenshots
# of the dialog, the narrow and the full-width flicker window and the
# frame-drop notice under build/screenshots/, with the dialog's picture for
# the guide, its fields numbered.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$root"
setup
tools/build.sh win32
exe="$root/build/win32/frontend/lukanemi.exe"
wine_prepare

if [ -n "${DISPLAY:-}" ] && [ "${1:-}" != "--screenshots" ]; then
  exec "$WINE" "$exe"
fi

out="${SCREENSHOTS:-$root/build/screenshots}"
mkdir -p "$out"
EXE="${LUKANEMI_EXE:-$exe}" OUT="$out" xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -u
  shot() { import -window root "$OUT/$1.png"; echo "saved $OUT/$1.png"; }
  keys() { xdotool key --delay 150 "$@"; sleep 1; }
  # A virtual desktop draws the caption bars that a bare X display lacks;
  # keys typed into it reach the active window of the program.
  "$WINE" explorer /desktop=lukanemi,1280x1024 "$EXE" &
  for _ in $(seq 1 240); do
    xdotool search --name "lukanemi" >/dev/null 2>&1 && break
    sleep 1
  done
  # The dialog is centred on the desktop; its first appearance can take a
  # minute where 32-bit code is emulated. Wait until the centre of the
  # screen shows something other than the desktop (the top-left corner).
  for _ in $(seq 1 150); do
    import -window root /tmp/lukanemi-wait.png
    colours=$(convert /tmp/lukanemi-wait.png -format "%[pixel:p{4,4}] %[pixel:p{640,512}]" info:)
    set -- $colours
    [ "$1" != "gray(0)" ] && [ "$1" != "$2" ] && break
    sleep 2
  done
  rm -f /tmp/lukanemi-wait.png
  sleep 3
  desktop=$(xdotool search --name "lukanemi" | head -1)
  xdotool windowfocus "$desktop" 2>/dev/null
  # Flash rate 59.900 (the focus is on the Start button: Tab twice reaches
  # the flash-rate field, whose text Tab selects), then Start with Enter.
  keys Tab Tab 5 9 period 9 0 0 Return
  sleep 3
  shot strip
  keys space
  sleep 1
  shot fullscreen
  keys Escape
  # Back in the dialog the focus is on the flash-rate field again, its text
  # selected: a measured time of 25.02 s in the next field shows the
  # computed rate. Then a
  # flash rate no machine keeps up with and no tolerance for drops, so that
  # the run stops with the frame-drop notice.
  keys Tab 2 5 period 0 2
  sleep 1
  shot dialog
  keys shift+Tab 1 0 0 0 0 0 Tab Tab Tab 0 Tab 0 Return
  sleep 6
  shot notice
  keys Return
  wineserver -k
'
# The README's pictures: the dialog and the notice cut out, the screen scaled
# down (copy them over docs/screenshot-*.png).
convert "$out/dialog.png" -crop 433x372+422+326 +repage "$out/readme-dialog.png"
# The guide names the fields by these numbers: a red disc left of each of
# the four rate fields and of the Start button.
marks=()
for mark in "1 336 121" "2 336 147" "3 336 173" "4 336 199" "5 128 346"; do
  set -- $mark
  marks+=(-fill "#c00000" -stroke white -strokewidth 1 -draw "circle $2,$3 $(($2 + 9)),$3"
          -fill white -stroke none -annotate "+$(($2 - 4))+$(($3 + 5))" "$1")
done
convert "$out/readme-dialog.png" -font /usr/share/fonts/opentype/ipafont-gothic/ipag.ttf \
  -pointsize 14 "${marks[@]}" "$out/readme-dialog-fields.png"
convert "$out/notice.png" -crop 433x372+422+326 +repage "$out/readme-notice.png"
convert "$out/strip.png" -resize 40% "$out/readme-strip.png"
convert "$out/fullscreen.png" -resize 25% "$out/readme-fullscreen.png"
echo "screenshots are in $out"
