# Sourced by the scripts that run Windows programs: a private Wine prefix
# under the build folder, quiet, without Mono/Gecko prompts.
: "${LUKANEMI_ROOT:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
export WINEPREFIX="${WINEPREFIX:-$LUKANEMI_ROOT/build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="

# The 64-bit loader starts 64-bit programs at native speed and hands 32-bit
# ones to the 32-bit loader itself; Debian's "wine" script would always go
# through the 32-bit loader, which may be emulated and slow to start.
if [ -x /usr/lib/wine/wine64 ]; then
  WINE=/usr/lib/wine/wine64
else
  WINE=wine
fi
export WINE

# Creates the prefix once and applies the project's settings to it: no
# window-manager waits (Managed=N), Wine's symbol font for the caption
# buttons, and a Japanese font for the dialog's
# "MS Shell Dlg" (IPA P Gothic has the metrics of Windows' Japanese UI fonts,
# so the dialog's labels fit their fields as they do on Windows).
wine_prepare() {
  local marker="$WINEPREFIX/.lukanemi-settings-3"
  [ -f "$marker" ] && return 0
  mkdir -p "$WINEPREFIX"
  [ -f "$WINEPREFIX/system.reg" ] || "$WINE" wineboot -i >/dev/null 2>&1 || true
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
  for face in "MS Shell Dlg" "MS Shell Dlg 2" "MS UI Gothic" "Tahoma"; do
    "$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
      /v "$face" /t REG_SZ /d "IPAPGothic" /f >/dev/null 2>&1
  done
  # Marlett draws the caption buttons (close, minimise); this Wine does not
  # load it from its own font folder, only from the prefix's.
  if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
    cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  fi
  wineserver -w
  touch "$marker"
}
