@echo off
rem Lukanemi @VERSION@ test kit: runs the program's own tests on this PC
rem and writes a report into a folder next to this file. Nothing starts
rem until the person at the PC has read what it does and typed yes.
rem For cmd.exe of Windows XP SP3 to 11; ASCII only, whatever the code page
rem (the Japanese text is kit\notice-ja.txt, UTF-16, shown by type).
setlocal enableextensions enabledelayedexpansion
pushd "%~dp0"
if not exist "kit\kit_runner.exe" goto unpacked
echo.
type "kit\notice-ja.txt"
echo.
echo  Lukanemi @VERSION@ test kit
echo  ==========================
echo.
echo  This kit runs Lukanemi's own tests on this PC and writes the results into
echo  a folder report-... next to this file.
echo.
echo  WHAT IT DOES TO THE SCREEN
echo  - A narrow strip at the left edge of the screen flashes black and white.
echo  - During some checks the WHOLE SCREEN flashes black and white.
echo  - The tests press keys and move the keyboard focus between windows by
echo    themselves. Do not touch the keyboard or the mouse until it ends
echo    (a few minutes; up to 15 minutes on a slow PC).
echo.
echo  WHO MUST NOT WATCH
echo  If you have photosensitive epilepsy, or flashing light has ever caused
echo  you a seizure, do not run it and do not look at the screen while it runs.
echo  Flashing can cause a first seizure in people who never had one. If you
echo  feel dizzy or sick, close this window at once: that stops the flashing.
echo.
echo  It writes nothing but that folder, changes nothing else on this PC and
echo  sends nothing anywhere.
echo.
set "answer="
set /p "answer=Type yes and press Enter to start; anything else quits: "
rem Refused unless the comparison itself says yes: an answer that breaks
rem the comparison's syntax (a quote in it, for a cmd that expands it
rem before parsing) leaves go undefined.
set "go="
if "!answer!"=="yes" set "go=1"
if not defined go goto refused

rem A window of its own (double-click) stays open at the end.
set "line=!cmdcmdline!"
set "stay="
if not "!line:%~nx0=!"=="!line!" set "stay=1"
set "short="
if "%~1"=="--short" set "short=--short"
echo.
"kit\kit_runner.exe" !short!
set "status=!errorlevel!"
popd
if defined stay pause
exit /b %status%

:refused
echo Nothing was started.
popd
exit /b 1

:unpacked
echo This folder has no kit\kit_runner.exe: unpack the whole zip into a folder
echo (Extract All) and start run.cmd there.
popd
exit /b 1
