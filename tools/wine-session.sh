#!/usr/bin/env bash
# Runs a command in a fresh virtual X display with the project's Wine prefix
# ready, and shuts Wine down afterwards so that no Wine process outlives the
# display it was started on.
source "$(dirname "$0")/wine-env.sh"
wine_prepare
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  wineserver -p 30
  "$@"
  status=$?
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  exit $status' lukanemi "$@"
