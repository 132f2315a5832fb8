// The drivers' general pieces: check reporting, time, starting and ending a
// process, and looking at its windows from outside. What is particular to the
// program under test is in harness/program.h.
#pragma once

// Lean, without min and max macros: the library's CMake file defines
// WIN32_LEAN_AND_MEAN and NOMINMAX for it and for every driver.
#include <windows.h>

#include <string>
#include <vector>

#include "harness/text.h"

// ---- Reporting -------------------------------------------------------------

// Records one check; a failed one is printed as "FILE:LINE: Test failed: ...",
// a passed one only counted. The message (printf format, UTF-8) says what was
// expected and what was found. Returns `passed`.
bool recordCheck(bool passed, const char* file, int line, const char* format, ...)
    __attribute__((format(__MINGW_PRINTF_FORMAT, 4, 5)));
#define CHECK(passed, ...) recordCheck((passed), __FILE__, __LINE__, __VA_ARGS__)

// Prints an informational line that is not a check.
void note(const char* format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));

int failedChecks();
// Prints the summary line "N passed, M failed" (what CTest matches) and
// returns the driver's exit code: 0 when no check failed, else 1.
int endChecks();

// A wide text as UTF-8 in double quotes, with control characters and
// non-printable units escaped, for messages.
std::string quoted(const std::wstring& text);

// ---- Time ------------------------------------------------------------------

// Seconds on the performance counter, the clock the program paces by.
double secondsNow();

// Calls `condition` every 10 ms until it holds or `seconds` have passed;
// returns its last result.
template <typename Condition>
bool waitUntil(double seconds, Condition condition) {
  const double deadline = secondsNow() + seconds;
  for (;;) {
    if (condition()) return true;
    if (secondsNow() > deadline) return condition();
    Sleep(10);
  }
}

// How long the driver waits for the program to react to one action. Under
// emulation every round trip is slow, so this is generous.
constexpr double reactionTimeout = 20.0;

// ---- The program under test ------------------------------------------------

struct Program {
  PROCESS_INFORMATION info;  // process and main thread
  HWND dialog;               // the settings dialog, once found
};

// Starts the program; reports and returns false when it cannot be started.
bool launchProgram(const std::wstring& path, Program* program);
bool programRunning(const Program& program);
// Terminates the process if it still runs and closes its handles.
void endProgram(Program* program);

// Kills the program launched last, unless it was ended, and ends the driver
// with a failure once `seconds` have passed, so that a hang never blocks the
// test run.
void startWatchdog(double seconds);

// ---- Windows ---------------------------------------------------------------

// Visible top-level windows of process `pid` of class `className`.
std::vector<HWND> topLevelWindows(DWORD pid, const wchar_t* className);
// The visible dialog (class #32770) of process `pid` captioned `caption`, or
// null.
HWND findCaptioned(DWORD pid, const wchar_t* caption);

std::wstring classNameOf(HWND window);
// The text of a window, asked with WM_GETTEXT (an edit control keeps its text
// where only that message reaches it); "<no answer>" when the send fails.
std::wstring textOf(HWND window);
// Sets a window's text with WM_SETTEXT, as if the user had replaced it.
bool setTextOf(HWND window, const std::wstring& text);
// Sends a message and waits for its handling, at most `reactionTimeout`.
bool sendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                     DWORD_PTR* result = nullptr);

// The active and the focus window of the program's thread (null if none).
HWND activeWindowOf(const Program& program);
HWND focusWindowOf(const Program& program);

// Makes `window` the foreground (and so active) window and waits for the
// program's thread to report it active.
bool activate(const Program& program, HWND window);
