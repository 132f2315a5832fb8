#!/usr/bin/env bash
# Runs a command in a fresh virtual X display with the project's Wine prefix
# ready, and shuts Wine down afterwards so that no Wine process outlives the
# display it was started on.
#
# Wine's background processes (services, device drivers, the desktop) start
# with the first program and would keep that program's output open; started
# here first, with their output elsewhere, they cannot hold a test runner's
# pipes, and a persistent server keeps them for every later program.
source "$(dirname "$0")/wine-env.sh"
wine_prepare
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  wineserver -p
  "$WINE" wineboot </dev/null >/dev/null 2>&1
  "$@"
  status=$?
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  exit $status' lukanemi "$@"
