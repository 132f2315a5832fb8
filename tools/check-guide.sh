#!/usr/bin/env bash
# Checks the user guide's quick starts (README.md and docs/README.txt, both
# languages) without building anything: their length, and that each row of
# their one-run table is a row of docs/display.md's table. The counting rules
# are in tools/check_guide.py. Options name other copies of the documents:
# --readme FILE, --readme-txt FILE, --display FILE.
set -uo pipefail
source "$(dirname "$0")/lib.sh"
exec "$python" "$root/tools/check_guide.py" "$@"
