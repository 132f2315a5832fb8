#!/usr/bin/env bash
# The Windows test kit, proven under Wine. Builds the kit twice from clean
# copies of the committed tree, in different folders, time zones and umasks,
# and checks that the two are byte-identical and hold what they must, with
# the release's own lukanemi.exe (tests/release/check_kit.py). Then unpacks
# it into a scratch folder and runs its run.cmd through Wine's cmd in a
# virtual display:
# - answered `yes`, with --short (a shorter stress walk and recording:
#   32-bit programs start through an emulator here): every suite must pass
#   in report.txt and in run.cmd's last line, the recording must read back
#   through tools/read-kit-report.sh, and nothing may be written but the
#   report folder, neither in the kit's folder nor in the Wine prefix's
#   drive C: (where TEMP would be);
# - answered `yes` with requirements that no Windows meets for three suites:
#   those are not run, each with its reason, and the fourth passes;
# - answered anything else (no, nothing, YES, an answer that tries to run
#   a command): cmd must start no program (Wine's process trace) and write
#   nothing.
# Negative controls: the comparison must refuse a kit with one byte changed,
# check_kit.py a kit whose program is not the release's, the result check a
# report with one suite failed, the read-back a cut recording, and the trace
# check a run.cmd that starts a program on refusal.
# Prints failures only, the time each part took, then "N passed, M failed".
set -euo pipefail
source "$(dirname "$0")/lib.sh"
scratch=$(mktemp -d /tmp/lukanemi-kit.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
version=$(git -C "$root" show HEAD:VERSION)
commit_date=$(git -C "$root" log -1 --format=%cI HEAD)
zip="lukanemi-$version-testkit-win32.zip"
began=$(date +%s)
took() { echo "$1: $(($(date +%s) - began)) s"; began=$(date +%s); }

# ---- Building ----------------------------------------------------------------

build() {  # folder, umask, time zone, script
  local out
  if ! out=$(umask "$2" && TZ=$3 "$root/tools/$4" "$1" 2>&1); then
    fail_check "$4 $1 (umask $2, TZ $3) failed:"$'\n'"$out"
    end_check
  fi
}
build "$scratch/a" 022 UTC windows-kit.sh
build "$scratch/bb" 077 Pacific/Kiritimati windows-kit.sh
build "$scratch/release" 022 UTC release.sh
for f in "$zip" SHA256SUMS.txt; do
  check "two builds of the kit differ: $f" cmp -s "$scratch/a/$f" "$scratch/bb/$f"
done
# check_kit.py's checks, each counted here; prints its failures.
check_contents() {  # kit folder
  local out counts failed_part
  out=$("$python" "$root/tests/release/check_kit.py" "$1" "$version" "$commit_date" \
          "$scratch/release") || true
  grep -v -E '^[0-9]+ passed, [0-9]+ failed$' <<<"$out" || true
  counts=$(grep -E '^[0-9]+ passed, [0-9]+ failed$' <<<"$out" | tail -n 1)
  [ -n "$counts" ] || { fail_check "check_kit.py $1: no summary line"; return; }
  checks_passed=$((checks_passed + ${counts%% passed*}))
  failed_part=${counts#*passed, }
  checks_failed=$((checks_failed + ${failed_part%% failed}))
}
check_contents "$scratch/a"
# Negative controls: one byte of the zip changed, and a kit whose program
# is not the release's (rezipped with one byte of it changed).
mkdir "$scratch/changed"
cp "$scratch/a/$zip" "$scratch/a/SHA256SUMS.txt" "$scratch/changed/"
printf 'X' | dd of="$scratch/changed/$zip" bs=1 seek=100 conv=notrunc status=none
check "negative control: the comparison found no difference in a kit with one byte changed" \
  bash -c "! cmp -s '$scratch/a/$zip' '$scratch/changed/$zip'"
"$python" - "$scratch/a/$zip" "$scratch/changed/$zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as a, zipfile.ZipFile(sys.argv[2], "w") as b:
    for info in a.infolist():
        data = a.read(info)
        if info.filename == "lukanemi.exe":
            data = data[:100] + b"X" + data[101:]
        b.writestr(info, data)
PY
controlled=$(checks_passed=0 checks_failed=0; check_contents "$scratch/changed" >/dev/null
             echo "$checks_failed")
check "negative control: check_kit.py found no fault in a kit whose lukanemi.exe is not the release's" \
  test "$controlled" -gt 0
took "two kits and a release built and compared"

# ---- Running it under Wine -------------------------------------------------------

unzip -q "$scratch/a/$zip" -d "$scratch/yes"
unzip -q "$scratch/a/$zip" -d "$scratch/no"
listing() { (cd "$1" && find . -path ./report-\* -prune -o -type f -print0 | sort -z |
             xargs -0 sha256sum); }
listing "$scratch/yes" >"$scratch/yes.before"
wine_prepare
touch "$scratch/started"
status=0
(cd "$scratch/yes" && printf 'yes\r\n' |
   "$root/tools/wine-session.sh" "$WINE" cmd /c run.cmd --short) >"$scratch/yes.out" 2>&1 ||
  status=$?
took "run.cmd answered yes (--short) under Wine"
last=$(tr -d '\r' <"$scratch/yes.out" | grep -E '^Passed: ' | tail -n 1 || true)
check "run.cmd yes: expected exit status 0, got $status; its output ends:"$'\n'"$(tail -n 15 "$scratch/yes.out")" \
  test "$status" -eq 0
check "run.cmd yes: expected the last line to name every suite passed, got [$last]" \
  test "${last%%. Report:*}" = "Passed: core tests, end-to-end, stress, recording; failed: none; not run: none"
reports=("$scratch"/yes/report-*/report.txt)
if [ ! -f "${reports[0]}" ] || [ "${#reports[@]}" -ne 1 ]; then
  fail_check "run.cmd yes: expected one report folder with its report.txt, found: ${reports[*]}"
  end_check
fi
report=$(dirname "${reports[0]}")
check "run.cmd yes: the last line does not name the report folder $(basename "$report")" \
  grep -q "Report: .*$(basename "$report")" <<<"$last"

# Every suite passed, as report.txt says it.
all_passed() {  # report.txt
  [ "$(grep -c '^result: ' "$1")" -eq 4 ] && ! grep '^result: ' "$1" | grep -qv '^result: passed'
}
check "report.txt: expected four suites, each 'result: passed':"$'\n'"$(cat "$report/report.txt")" \
  all_passed "$report/report.txt"
sed '0,/^result: passed/s//result: FAILED/' "$report/report.txt" >"$scratch/failed-report.txt"
check "negative control: the result check passed a report with a failed suite" \
  bash -c "$(declare -f all_passed); ! all_passed '$scratch/failed-report.txt'"

# The report folder holds the report, the logs and the recording, nothing else.
found=$(cd "$report" && ls | tr '\n' ' ')
check "report folder: expected report.txt, four logs and one recording, found: $found" \
  bash -c "cd '$report' && ls | grep -v -E '^(report.txt|(core|e2e|stress|recording).log|recording-[0-9]+.bin)$' | wc -l | grep -qx 0 && [ \$(ls | wc -l) -eq 6 ]"
listing "$scratch/yes" >"$scratch/yes.after"
check "run.cmd yes: files of the kit changed:"$'\n'"$(diff "$scratch/yes.before" "$scratch/yes.after" || true)" \
  cmp -s "$scratch/yes.before" "$scratch/yes.after"
written=$(find "$WINEPREFIX/drive_c" -newer "$scratch/started" -type f 2>/dev/null | head -n 20)
check "run.cmd yes: files written in the Wine prefix's drive C: $written" test -z "$written"

# The recording reads back through the read-back command.
if "$root/tools/read-kit-report.sh" "$report" >"$scratch/read.out" 2>&1; then
  for expected in "suites: 4 passed, 0 failed, 0 not run" "^recording-[0-9]+.bin: " \
                  "^pacing \(first run" "^display simulation: " "^\| [0-9]+ \| [0-9]+ \| n/a \|"; do
    check "read-kit-report.sh: expected a line matching '$expected' in:"$'\n'"$(cat "$scratch/read.out")" \
      grep -q -E "$expected" "$scratch/read.out"
  done
else
  fail_check "read-kit-report.sh $report failed:"$'\n'"$(cat "$scratch/read.out")"
fi
cp -R "$report" "$scratch/cut"
truncate -s 100 "$scratch"/cut/recording-*.bin
check "negative control: read-kit-report.sh read a cut recording" \
  bash -c "! '$root/tools/read-kit-report.sh' '$scratch/cut' >/dev/null 2>&1"
took "the report checked and read back"

# ---- Suites that cannot run on the Windows at hand ----------------------------

# requirements.txt made to ask for what no Windows has: for core_tests.exe an
# import, for lukanemi.exe a later Windows. The core tests, the end-to-end
# and the stress test are then not started, each with its reason in the
# report, and the recording still runs and passes.
unzip -q "$scratch/a/$zip" -d "$scratch/lacking"
printf 'import core_tests.exe KERNEL32.dll LukanemiNoSuchFunction\r\nsubsystem lukanemi.exe 99.0\r\n' \
  >>"$scratch/lacking/kit/requirements.txt"
(cd "$scratch/lacking" && printf 'yes\r\n' |
   "$root/tools/wine-session.sh" "$WINE" cmd /c run.cmd --short) >"$scratch/lacking.out" 2>&1 ||
  true
last=$(tr -d '\r' <"$scratch/lacking.out" | grep -E '^Passed: ' | tail -n 1 || true)
check "lacking: expected the last line to name the three suites not run, got [$last]" \
  test "${last%%. Report:*}" = "Passed: recording; failed: none; not run: core tests, end-to-end, stress"
lacking=$(cat "$scratch"/lacking/report-*/report.txt 2>/dev/null || true)
for reason in "KERNEL32.dll LukanemiNoSuchFunction" "lukanemi.exe asks for Windows 99.0"; do
  check "lacking: expected report.txt to give the reason '$reason':"$'\n'"$lacking" \
    grep -q "^reason: this Windows lacks what it needs: .*$reason" <<<"$lacking"
done
found=$(cd "$scratch"/lacking/report-* 2>/dev/null && ls | tr '\n' ' ')
check "lacking: expected no log of the suites not run, found: $found" \
  test -z "$(ls "$scratch"/lacking/report-*/{core,e2e,stress}.log 2>/dev/null)"
took "run.cmd with three suites lacking what they need"

# ---- Any other answer starts nothing ----------------------------------------

# Runs run.cmd in FOLDER with ANSWER on its input and Wine's process trace;
# prints the programs that cmd started (none when it started none).
started_by_cmd() {  # folder, answer
  local trace="$scratch/trace.txt" tid
  (cd "$1" && printf '%s\r\n' "$2" |
     "$root/tools/wine-session.sh" env WINEDEBUG=+process "$WINE" cmd /c run.cmd \
       >"$trace" 2>&1) || true
  # cmd's own thread: the one its parent reports started for
  # `cmd.exe /c run.cmd`.
  tid=$(awk '/CreateProcessInternalW app .*cmd\.exe.*run\.cmd/ { split($0, f, ":"); parent = f[1] }
             parent != "" && index($0, parent ":trace:process:CreateProcessInternalW started") == 1 {
               sub(/.* tid /, ""); print; exit }' "$trace")
  if [ -z "$tid" ]; then
    echo "(no trace of cmd.exe running run.cmd)"
  fi
  grep -E "^$tid:trace:process:CreateProcessInternalW app" "$trace" || true
  grep -q 'Nothing was started.' "$trace" || echo "(no 'Nothing was started.')"
}
listing "$scratch/no" >"$scratch/no.before"
for answer in no "" YES ' yes' 'yes" & cmd /c rem & "' 'x & cmd /c rem'; do
  started=$(started_by_cmd "$scratch/no" "$answer")
  check "run.cmd answered [$answer]: expected no program started, found: $started" \
    test -z "$started"
done
listing "$scratch/no" >"$scratch/no.after"
check "run.cmd refused: files of the kit changed or added:"$'\n'"$(diff "$scratch/no.before" "$scratch/no.after" || true)" \
  bash -c "cmp -s '$scratch/no.before' '$scratch/no.after' && ! ls -d '$scratch'/no/report-* 2>/dev/null"
# Negative control: a run.cmd that starts a program when refused.
sed -i 's/^echo Nothing was started\.\r$/cmd \/c rem\r\necho Nothing was started.\r/' "$scratch/no/run.cmd"
started=$(started_by_cmd "$scratch/no" no)
check "negative control: the trace check found no program started by a run.cmd that starts one" \
  grep -q 'cmd /c rem' <<<"$started"
took "six other answers and the control"
end_check
