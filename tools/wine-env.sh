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

# Creates the prefix once: no window-manager waits, a CJK font for the
# dialog's "MS Shell Dlg".
wine_prepare() {
  [ -f "$WINEPREFIX/.lukanemi-ready" ] && return 0
  mkdir -p "$WINEPREFIX"
  "$WINE" wineboot -i >/dev/null 2>&1 || true
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
  for face in "MS Shell Dlg" "MS Shell Dlg 2" "MS UI Gothic" "Tahoma"; do
    "$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
      /v "$face" /t REG_SZ /d "Noto Sans CJK JP" /f >/dev/null 2>&1
  done
  wineserver -w
  touch "$WINEPREFIX/.lukanemi-ready"
}
