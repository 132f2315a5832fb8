#include "harness/harness.h"

#include <cstdarg>
#include <cstdio>

namespace {

int passedCount = 0;
int failedCount = 0;
HANDLE watchedProcess = nullptr;
double watchdogSeconds = 0;

void printLine(const char* prefix, const char* file, int line, const char* format, va_list args) {
  char message[4096];
  vsnprintf(message, sizeof message, format, args);
  if (file != nullptr) {
    const char* name = file;
    for (const char* c = file; *c != 0; ++c) {
      if (*c == '/' || *c == '\\') name = c + 1;
    }
    printf("%s:%d: %s%s\n", name, line, prefix, message);
  } else {
    printf("%s%s\n", prefix, message);
  }
  fflush(stdout);
}

DWORD WINAPI watchdog(void*) {
  Sleep(static_cast<DWORD>(watchdogSeconds * 1000));
  HANDLE process = watchedProcess;
  if (process != nullptr) TerminateProcess(process, 1);
  printf("Test failed: the run took longer than %.0f s; the program was terminated\n",
         watchdogSeconds);
  printf("%d passed, %d failed\n", passedCount, failedCount + 1);
  fflush(stdout);
  ExitProcess(1);
}

struct WindowQuery {
  DWORD pid;
  const wchar_t* className;
  std::vector<HWND>* found;
};

BOOL CALLBACK collectWindow(HWND window, LPARAM context) {
  WindowQuery* query = reinterpret_cast<WindowQuery*>(context);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != query->pid || !IsWindowVisible(window)) return TRUE;
  if (classNameOf(window) == query->className) query->found->push_back(window);
  return TRUE;
}

}  // namespace

bool recordCheck(bool passed, const char* file, int line, const char* format, ...) {
  if (passed) {
    ++passedCount;
    return true;
  }
  ++failedCount;
  va_list args;
  va_start(args, format);
  printLine("Test failed: ", file, line, format, args);
  va_end(args);
  return false;
}

void note(const char* format, ...) {
  va_list args;
  va_start(args, format);
  printLine("note: ", nullptr, 0, format, args);
  va_end(args);
}

int failedChecks() { return failedCount; }

int endChecks() {
  printf("%d passed, %d failed\n", passedCount, failedCount);
  fflush(stdout);
  return failedCount == 0 ? 0 : 1;
}

std::string quoted(const std::wstring& text) {
  std::wstring escaped = L"\"";
  for (wchar_t c : text) {
    if (c == L'\n') {
      escaped += L"\\n";
    } else if (c == L'"' || c == L'\\') {
      escaped += L'\\';
      escaped += c;
    } else if (c < 0x20 || c == 0x7F) {
      wchar_t code[8];
      swprintf(code, 8, L"\\x%02X", static_cast<unsigned>(c));
      escaped += code;
    } else {
      escaped += c;
    }
  }
  escaped += L'"';
  return utf8(escaped);
}

double secondsNow() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

bool launchProgram(const std::wstring& path, Program* program) {
  *program = Program{};
  wchar_t fullPath[MAX_PATH];
  if (GetFullPathNameW(path.c_str(), MAX_PATH, fullPath, nullptr) == 0 ||
      GetFileAttributesW(fullPath) == INVALID_FILE_ATTRIBUTES) {
    CHECK(false, "program %s: expected an existing file, found none", quoted(path).c_str());
    return false;
  }
  std::wstring commandLine = L"\"" + std::wstring(fullPath) + L"\"";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  if (!CreateProcessW(fullPath, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &program->info)) {
    CHECK(false, "CreateProcessW(%s): expected success, got error %lu", quoted(fullPath).c_str(),
          GetLastError());
    return false;
  }
  watchedProcess = program->info.hProcess;
  return true;
}

bool programRunning(const Program& program) {
  return program.info.hProcess != nullptr &&
         WaitForSingleObject(program.info.hProcess, 0) == WAIT_TIMEOUT;
}

void endProgram(Program* program) {
  if (program->info.hProcess == nullptr) return;
  if (programRunning(*program)) {
    note("terminating the program (process %lu)", program->info.dwProcessId);
    TerminateProcess(program->info.hProcess, 1);
    WaitForSingleObject(program->info.hProcess, 10000);
  }
  watchedProcess = nullptr;
  CloseHandle(program->info.hThread);
  CloseHandle(program->info.hProcess);
  *program = Program{};
}

void startWatchdog(double seconds) {
  watchdogSeconds = seconds;
  HANDLE thread = CreateThread(nullptr, 0, watchdog, nullptr, 0, nullptr);
  if (thread != nullptr) CloseHandle(thread);
}

std::vector<HWND> topLevelWindows(DWORD pid, const wchar_t* className) {
  std::vector<HWND> found;
  WindowQuery query = {pid, className, &found};
  EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&query));
  return found;
}

HWND findCaptioned(DWORD pid, const wchar_t* caption) {
  for (HWND window : topLevelWindows(pid, L"#32770")) {
    wchar_t text[64] = {};
    GetWindowTextW(window, text, 64);
    if (std::wstring(text) == caption) return window;
  }
  return nullptr;
}

std::wstring classNameOf(HWND window) {
  wchar_t name[256];
  const int length = GetClassNameW(window, name, 256);
  return std::wstring(name, static_cast<size_t>(length > 0 ? length : 0));
}

bool sendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result) {
  DWORD_PTR ignored = 0;
  return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL,
                             static_cast<UINT>(reactionTimeout * 1000),
                             result != nullptr ? result : &ignored) != 0;
}

std::wstring textOf(HWND window) {
  wchar_t text[1024] = {};
  DWORD_PTR length = 0;
  if (!sendWithTimeout(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), &length)) {
    return L"<no answer>";
  }
  return std::wstring(text, length < 1024 ? length : 1023);
}

bool setTextOf(HWND window, const std::wstring& text) {
  return sendWithTimeout(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

namespace {

// The program's thread's GUI state; all null when it cannot be read.
GUITHREADINFO guiThreadInfo(const Program& program) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(program.info.dwThreadId, &info) ? info : GUITHREADINFO{};
}

}  // namespace

HWND activeWindowOf(const Program& program) { return guiThreadInfo(program).hwndActive; }

HWND focusWindowOf(const Program& program) { return guiThreadInfo(program).hwndFocus; }

bool activate(const Program& program, HWND window) {
  SetForegroundWindow(window);
  return waitUntil(reactionTimeout, [&] { return activeWindowOf(program) == window; });
}
