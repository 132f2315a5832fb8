#include "harness/program.h"

#include <cstdio>

bool startProgram(const std::wstring& path, Program* program) {
  const double launched = secondsNow();
  if (!launchProgram(path, program)) return false;
  waitUntil(startTimeout, [&] {
    program->dialog = findCaptioned(program->info.dwProcessId, dialogCaption);
    return program->dialog != nullptr || !programRunning(*program);
  });
  if (!CHECK(program->dialog != nullptr,
             "start-up: expected a visible dialog of class #32770 captioned %s within %.0f s; %s",
             quoted(dialogCaption).c_str(), startTimeout,
             programRunning(*program) ? "found none" : "the process ended")) {
    return false;
  }
  note("the dialog appeared %.1f s after the launch", secondsNow() - launched);
  return true;
}

HWND field(const Program& program, int id) { return GetDlgItem(program.dialog, id); }

std::wstring fieldText(const Program& program, int id) { return textOf(field(program, id)); }

RunStart pressStart(const Program& program, bool byClick) {
  const double earliest = secondsNow();
  if (byClick) {
    sendWithTimeout(field(program, IDOK), BM_CLICK, 0, 0);
  } else {
    sendWithTimeout(program.dialog, WM_COMMAND, MAKEWPARAM(IDOK, 0),
                    reinterpret_cast<LPARAM>(field(program, IDOK)));
  }
  return RunStart{earliest, secondsNow()};
}

std::vector<HWND> flickerWindows(const Program& program) {
  return topLevelWindows(program.info.dwProcessId, flickerClass);
}

HWND findNotice(const Program& program) {
  HWND notice = findCaptioned(program.info.dwProcessId, noticeCaption);
  return notice != program.dialog ? notice : nullptr;
}

bool dismissNotice(HWND notice) {
  if (HWND ok = GetDlgItem(notice, IDOK)) {
    sendWithTimeout(ok, BM_CLICK, 0, 0);
  } else {
    PostMessageW(notice, WM_COMMAND, IDOK, 0);
  }
  return waitUntil(reactionTimeout, [&] { return !IsWindow(notice); });
}

bool expectExit(const Program& program, const char* how, double seconds, DWORD* exitCode) {
  DWORD code = 0;
  const bool ended = WaitForSingleObject(program.info.hProcess,
                                         static_cast<DWORD>(seconds * 1000)) == WAIT_OBJECT_0;
  char found[64] = "it still runs";
  if (ended) {
    GetExitCodeProcess(program.info.hProcess, &code);
    snprintf(found, sizeof found, "it ended with exit code %lu", static_cast<unsigned long>(code));
    if (exitCode != nullptr) *exitCode = code;
  }
  return CHECK(ended && code == 0,
               "%s: expected the program to end with exit code 0 within %.0f s; %s", how, seconds,
               found);
}

bool closeProgram(const Program& program, double seconds, DWORD* exitCode) {
  sendWithTimeout(program.dialog, WM_CLOSE, 0, 0);
  return expectExit(program, "closing the dialog", seconds, exitCode);
}
