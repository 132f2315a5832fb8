// The Windows test kit's runner, started by run.cmd once the person at the
// PC has typed "yes". It makes the report folder next to run.cmd
// (report-YYYYMMDD-HHMMSS), points TEMP and TMP there for the programs it
// starts, writes report.txt (the kit, Windows, the processor, the display),
// then runs the suites one after another, each program's output going to a
// log file in that folder:
//   core tests   kit\core_tests.exe (GoogleTest)
//   end-to-end   kit\e2e_driver.exe on lukanemi.exe and the guide
//   stress       kit\stress_driver.exe: a fixed seed, a short walk
//   recording    kit\record_driver.exe driving kit\recorder.exe at the rate
//                the display reports, into recording-<rate>.bin
// Each suite has a time limit: the programs run in a job object, which the
// runner ends at the limit (and which ends them all if the runner itself is
// closed), and the drivers also end themselves through their own watchdogs.
// A suite whose programs need what this Windows lacks (the kit's
// requirements.txt) is not run, and the report says why. Ends with one line
// naming the suites that passed and the folder; exits 1 if any failed.
//
// usage: kit_runner [--short]
//   --short  a shorter stress walk and recording (for the kit's own test
//            under emulation)
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness/text.h"
#include "tests/kit/kit_suite.h"

// Needs <windows.h> first.
#include <tlhelp32.h>

namespace {

// The stress driver's seed (the CTest's, so that a failure replays there).
const wchar_t stressSeed[] = L"20261208";

std::string format(const char* pattern, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));
std::string format(const char* pattern, ...) {
  char text[1024];
  va_list args;
  va_start(args, pattern);
  vsnprintf(text, sizeof text, pattern, args);
  va_end(args);
  return text;
}

// A line on the console (as Unicode, whatever its code page) or, when the
// output is redirected, in UTF-8.
void say(const std::string& line) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(out, &mode)) {
    const std::wstring text = wide(line) + L"\r\n";
    WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  } else {
    const std::string text = line + "\r\n";
    WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

double secondsNow() {
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::wstring quoted(const std::wstring& argument) { return L"\"" + argument + L"\""; }

std::wstring folderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring(L".") : path.substr(0, slash);
}

std::wstring fileNameOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool readFile(const std::wstring& path, std::string* bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
    bytes->append(buffer, got);
  CloseHandle(file);
  return true;
}

// ---- The report ------------------------------------------------------------

// report.txt: UTF-8 with a byte-order mark and CRLF line ends, so that any
// Notepad reads it; each line is written at once, so that a run cut short
// still leaves what it had found.
struct Report {
  HANDLE file;
  std::wstring folder;
};

void reportLine(const Report& report, const std::string& line) {
  const std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(report.file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// Makes the report folder next to run.cmd and opens its report.txt.
bool openReport(const std::wstring& top, Report* report) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  const std::wstring name =
      wide(reportFolderName(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond));
  for (int attempt = 1; attempt < 100; ++attempt) {
    const std::wstring folder =
        top + L"\\" + name + (attempt == 1 ? L"" : L"-" + std::to_wstring(attempt));
    if (CreateDirectoryW(folder.c_str(), nullptr)) {
      report->folder = folder;
      report->file = CreateFileW((folder + L"\\report.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                 nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (report->file == INVALID_HANDLE_VALUE) return false;
      DWORD written = 0;
      WriteFile(report->file, "\xEF\xBB\xBF", 3, &written, nullptr);
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

// ---- This PC -----------------------------------------------------------------

// A string value of a key under HKEY_LOCAL_MACHINE, read only; empty when
// there is none.
std::string registryText(const wchar_t* key, const wchar_t* name) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) {
    return "";
  }
  wchar_t value[256] = {};
  DWORD type = 0, size = sizeof value - sizeof value[0];
  const LONG status =
      RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(handle);
  if (status != ERROR_SUCCESS || type != REG_SZ) return "";
  // Some processors' names are padded with spaces.
  const std::string text = utf8(value);
  const size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? ""
                                    : text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Windows' own version: RtlGetVersion answers truly, where GetVersionEx
// answers 6.2 to a program without a manifest on Windows 8.1 and later.
OSVERSIONINFOEXW windowsVersion() {
  OSVERSIONINFOEXW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  typedef LONG(WINAPI * RtlGetVersionCall)(OSVERSIONINFOEXW*);
  const RtlGetVersionCall call = reinterpret_cast<RtlGetVersionCall>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  if (call == nullptr || call(&version) != 0) {
    GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version));
  }
  return version;
}

bool onWow64() {
  typedef BOOL(WINAPI * IsWow64Call)(HANDLE, BOOL*);
  const IsWow64Call call = reinterpret_cast<IsWow64Call>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
  BOOL wow64 = FALSE;
  return call != nullptr && call(GetCurrentProcess(), &wow64) && wow64;
}

// Desktop composition (Vista and later); "not available" on Windows XP.
const char* composition() {
  HMODULE dwm = LoadLibraryW(L"dwmapi.dll");
  typedef HRESULT(WINAPI * CompositionCall)(BOOL*);
  const CompositionCall call =
      dwm == nullptr ? nullptr
                     : reinterpret_cast<CompositionCall>(
                           reinterpret_cast<void*>(GetProcAddress(dwm, "DwmIsCompositionEnabled")));
  BOOL enabled = FALSE;
  const char* answer = call == nullptr          ? "not available"
                       : call(&enabled) != S_OK ? "unknown"
                       : enabled                ? "on"
                                                : "off";
  if (dwm != nullptr) FreeLibrary(dwm);
  return answer;
}

// The rate the display reports to a program (GetDeviceCaps VREFRESH); 0 and
// 1 stand for the hardware's default.
int reportedRate() {
  HDC screen = GetDC(nullptr);
  const int rate = GetDeviceCaps(screen, VREFRESH);
  ReleaseDC(nullptr, screen);
  return rate;
}

// What cmd's `ver` prints, read through a pipe (cmd would write the
// output of `for /f` into a temporary file); empty when cmd cannot be run.
std::string cmdVer(const std::wstring& folder) {
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherited, 0)) return "";
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  wchar_t comspec[MAX_PATH] = L"cmd.exe";
  GetEnvironmentVariableW(L"ComSpec", comspec, MAX_PATH);
  std::wstring line = quoted(comspec) + L" /c ver";
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process = {};
  const BOOL started = CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                      folder.c_str(), &startup, &process);
  CloseHandle(writeEnd);
  std::string text;
  char buffer[512];
  DWORD got = 0;
  while (started && ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    text.append(buffer, got);
  }
  CloseHandle(readEnd);
  if (started) {
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  // The one line that is not empty, in the console's code page.
  std::string ver;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      if (!ver.empty()) break;
    } else {
      ver += c;
    }
  }
  if (ver.empty()) return ver;
  std::wstring wideVer(ver.size(), L'\0');
  const int size = MultiByteToWideChar(CP_OEMCP, 0, ver.data(), static_cast<int>(ver.size()),
                                       &wideVer[0], static_cast<int>(wideVer.size()));
  return utf8(wideVer.substr(0, static_cast<size_t>(size > 0 ? size : 0)));
}

void describePC(const Report& report, const OSVERSIONINFOEXW& version, int rate) {
  const wchar_t currentVersion[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
  const std::string ver = cmdVer(report.folder);
  reportLine(report,
             "windows: " + (ver.empty() ? std::string("(cmd's ver printed nothing)") : ver));
  std::string product = registryText(currentVersion, L"ProductName");
  const std::string release = registryText(currentVersion, L"DisplayVersion");
  if (!release.empty()) product += " " + release;
  reportLine(report,
             format("windows version: %lu.%lu.%lu%s%s, %s, %s Windows; product %s",
                    version.dwMajorVersion, version.dwMinorVersion, version.dwBuildNumber,
                    version.szCSDVersion[0] != 0 ? " " : "", utf8(version.szCSDVersion).c_str(),
                    version.wProductType == VER_NT_WORKSTATION ? "workstation" : "server",
                    onWow64() ? "64-bit" : "32-bit",
                    product.empty() ? "(not named)" : ("\"" + product + "\"").c_str()));
  wchar_t identifier[256] = {};
  GetEnvironmentVariableW(L"PROCESSOR_IDENTIFIER", identifier, 256);
  SYSTEM_INFO system = {};
  GetSystemInfo(&system);
  reportLine(report, format("processor: %s; %s; %lu logical processors",
                            registryText(L"HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0",
                                         L"ProcessorNameString")
                                .c_str(),
                            utf8(identifier).c_str(), system.dwNumberOfProcessors));
  HDC screen = GetDC(nullptr);
  const int bits = GetDeviceCaps(screen, BITSPIXEL);
  ReleaseDC(nullptr, screen);
  reportLine(report, format("display: %d x %d, %d bits per pixel, %d monitor(s); reported "
                            "refresh rate %d Hz; desktop composition %s",
                            GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), bits,
                            GetSystemMetrics(SM_CMONITORS), rate, composition()));
  LARGE_INTEGER frequency = {};
  QueryPerformanceFrequency(&frequency);
  reportLine(report, format("counter: %lld Hz", frequency.QuadPart));
}

// ---- What a program needs ------------------------------------------------------

// What this Windows lacks of the requirements: one text each.
std::vector<std::string> missingOf(const std::vector<Requirement>& needs,
                                   const OSVERSIONINFOEXW& version) {
  std::vector<std::string> missing;
  for (const Requirement& need : needs) {
    if (need.dll.empty()) {
      if (static_cast<DWORD>(need.major) > version.dwMajorVersion ||
          (static_cast<DWORD>(need.major) == version.dwMajorVersion &&
           static_cast<DWORD>(need.minor) > version.dwMinorVersion)) {
        missing.push_back(
            format("%s asks for Windows %d.%d", need.program.c_str(), need.major, need.minor));
      }
      continue;
    }
    HMODULE module = LoadLibraryW(wide(need.dll).c_str());
    const bool ordinal = !need.function.empty() && need.function[0] == '#';
    const char* name =
        ordinal ? MAKEINTRESOURCEA(atoi(need.function.c_str() + 1)) : need.function.c_str();
    if (module == nullptr || GetProcAddress(module, name) == nullptr) {
      missing.push_back(need.dll + " " + need.function);
    }
  }
  return missing;
}

// ---- Running a program -------------------------------------------------------

// Ends a process and every process it started, found by their parents (for
// when the job object could not take them).
void endTree(DWORD root) {
  std::vector<DWORD> ending = {root};
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot != INVALID_HANDLE_VALUE) {
    std::vector<PROCESSENTRY32W> all;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
      all.push_back(entry);
    }
    CloseHandle(snapshot);
    for (size_t i = 0; i < ending.size(); ++i) {
      for (const PROCESSENTRY32W& process : all) {
        if (process.th32ParentProcessID == ending[i] && process.th32ProcessID != root) {
          ending.push_back(process.th32ProcessID);
        }
      }
    }
  }
  for (DWORD pid : ending) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
    if (process != nullptr) {
      TerminateProcess(process, 1);
      CloseHandle(process);
    }
  }
}

struct Outcome {
  bool started;
  std::string error;  // why it did not start
  ProgramEnd end;
  double seconds;
};

// Runs a command line in `folder` with its output into `log`, for at most
// `limit` seconds.
Outcome runProgram(const std::wstring& commandLine, const std::wstring& folder,
                   const std::wstring& log, double limit) {
  Outcome outcome = {false, "", {1, false}, 0};
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  HANDLE output = CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (output == INVALID_HANDLE_VALUE || input == INVALID_HANDLE_VALUE) {
    outcome.error = format("cannot open its log (error %lu)", GetLastError());
    if (output != INVALID_HANDLE_VALUE) CloseHandle(output);
    if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
    return outcome;
  }
  // The job ends every process of the suite when it is closed: at the limit,
  // at the end of the suite (a program left running by a driver that
  // failed) and when the runner itself ends.
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_DIE_ON_UNHANDLED_EXCEPTION;
  if (job != nullptr &&
      !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
    CloseHandle(job);
    job = nullptr;
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION process = {};
  std::wstring line = commandLine;
  const double began = secondsNow();
  // Out of a job the runner may have been started in (as Windows 7 starts
  // some programs), so that it can go into the runner's own; where that
  // job allows no breakaway, in it.
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE,
                      CREATE_SUSPENDED | CREATE_BREAKAWAY_FROM_JOB, nullptr, folder.c_str(),
                      &startup, &process) &&
      !CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                      folder.c_str(), &startup, &process)) {
    outcome.error = format("cannot be started (error %lu)", GetLastError());
  } else {
    // A runner already in a job of another's (as some launchers start
    // programs) cannot put the program in its own before Windows 8: the
    // programs are then ended by walking their parents.
    const bool inJob = job != nullptr && AssignProcessToJobObject(job, process.hProcess);
    ResumeThread(process.hThread);
    outcome.started = true;
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(limit * 1000)) == WAIT_TIMEOUT) {
      outcome.end.timedOut = true;
      if (inJob) {
        TerminateJobObject(job, 1);
      } else {
        endTree(process.dwProcessId);
      }
      WaitForSingleObject(process.hProcess, 10000);
    }
    outcome.seconds = secondsNow() - began;
    GetExitCodeProcess(process.hProcess, &outcome.end.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  if (job != nullptr) CloseHandle(job);
  CloseHandle(output);
  CloseHandle(input);
  return outcome;
}

// ---- The suites --------------------------------------------------------------

struct Suite {
  const char* name;
  std::wstring log;                    // its output, in the report folder
  std::vector<std::wstring> programs;  // the programs it runs, for the requirements
  std::wstring commandLine;
  double limit;         // seconds
  std::wstring writes;  // a file it must write (the recording), or empty
};

enum SuiteResult { suitePassed, suiteFailed, suiteNotRun };

std::string minutes(double seconds) { return format("%.0f min", seconds / 60); }

SuiteResult runSuite(const Report& report, const Suite& suite,
                     const std::vector<Requirement>& requirements,
                     const OSVERSIONINFOEXW& version) {
  reportLine(report, "");
  reportLine(report, std::string("== ") + suite.name);
  reportLine(report, "program: " + utf8(fileNameOf(suite.programs[0])));
  std::vector<std::string> missing;
  for (const std::wstring& program : suite.programs) {
    for (const std::string& lack :
         missingOf(requirementsOf(requirements, utf8(fileNameOf(program))), version)) {
      missing.push_back(lack);
    }
  }
  if (!missing.empty()) {
    std::string list;
    for (size_t i = 0; i < missing.size(); ++i) list += (i ? ", " : "") + missing[i];
    reportLine(report, "result: not run");
    reportLine(report, "reason: this Windows lacks what it needs: " + list);
    say(std::string(suite.name) + ": not run: this Windows lacks what it needs: " + missing[0] +
        (missing.size() > 1 ? format(" and %zu more", missing.size() - 1) : std::string()));
    return suiteNotRun;
  }
  say(std::string(suite.name) + ": running (at most " + minutes(suite.limit) + ") ...");
  const std::wstring log = report.folder + L"\\" + suite.log;
  const Outcome outcome = runProgram(suite.commandLine, report.folder, log, suite.limit);
  if (!outcome.started) {
    reportLine(report, "result: FAILED");
    reportLine(report, "reason: its program " + outcome.error);
    say(std::string(suite.name) + ": FAILED: its program " + outcome.error);
    return suiteFailed;
  }
  std::string output;
  readFile(log, &output);
  SuiteVerdict verdict = judgeOutput(output, outcome.end);
  if (verdict.passed && !suite.writes.empty()) {
    std::string written;
    if (!readFile(suite.writes, &written) || written.compare(0, 6, "LKREC2") != 0) {
      verdict.passed = false;
      verdict.problem = "it wrote no recording";
    }
  }
  reportLine(report, std::string("result: ") + (verdict.passed ? "passed" : "FAILED"));
  if (!verdict.passed) reportLine(report, "reason: " + verdict.problem);
  reportLine(report, format("time: %.1f s (limit %.0f s)", outcome.seconds, suite.limit));
  reportLine(report, "summary: " + (verdict.summary.empty() ? "(none)" : verdict.summary));
  for (const std::string& failure : verdict.failures) reportLine(report, "failure: " + failure);
  if (verdict.failureLines > static_cast<int>(verdict.failures.size())) {
    reportLine(report, format("failure: ... %d more in the log",
                              verdict.failureLines - static_cast<int>(verdict.failures.size())));
  }
  reportLine(report, "log: " + utf8(suite.log));
  if (!suite.writes.empty()) reportLine(report, "recording: " + utf8(fileNameOf(suite.writes)));
  say(format("%s: %s in %.0f s%s", suite.name, verdict.passed ? "passed" : "FAILED",
             outcome.seconds, verdict.passed ? "" : (": " + verdict.problem).c_str()));
  return verdict.passed ? suitePassed : suiteFailed;
}

std::vector<Suite> kitSuites(const std::wstring& kit, const std::wstring& top,
                             const std::wstring& folder, bool shortRun, int rate) {
  const std::wstring program = top + L"\\lukanemi.exe";
  const std::wstring steps = shortRun ? L"40" : L"150";
  // Under emulation a dialog takes seconds to answer; on a PC well under one.
  const std::wstring answer = shortRun ? L"5" : L"1";
  const int seconds = shortRun ? 20 : 60;
  const std::wstring recording = folder + L"\\recording-" + std::to_wstring(rate) + L".bin";
  std::vector<Suite> suites;
  suites.push_back(Suite{"core tests",
                         L"core.log",
                         {kit + L"\\core_tests.exe"},
                         quoted(kit + L"\\core_tests.exe"),
                         900,
                         L""});
  // The drivers end themselves after 1500 s (their watchdogs).
  suites.push_back(Suite{"end-to-end",
                         L"e2e.log",
                         {kit + L"\\e2e_driver.exe", program},
                         quoted(kit + L"\\e2e_driver.exe") + L" " + quoted(program) + L" " +
                             quoted(kit + L"\\guide\\README.md") + L" " +
                             quoted(kit + L"\\guide\\README.txt"),
                         1800,
                         L""});
  suites.push_back(Suite{"stress",
                         L"stress.log",
                         {kit + L"\\stress_driver.exe", program},
                         quoted(kit + L"\\stress_driver.exe") + L" " + quoted(program) + L" " +
                             steps + L" " + stressSeed + L" " + answer,
                         1600,
                         L""});
  // The record driver's watchdog: the recording and 600 s.
  suites.push_back(Suite{"recording",
                         L"recording.log",
                         {kit + L"\\record_driver.exe", kit + L"\\recorder.exe"},
                         quoted(kit + L"\\record_driver.exe") + L" " +
                             quoted(kit + L"\\recorder.exe") + L" " + std::to_wstring(rate) + L" " +
                             std::to_wstring(seconds) + L" " + quoted(recording),
                         seconds + 660.0,
                         recording});
  return suites;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // No error dialog from a program that fails to load or crashes: the
  // suite fails and the run goes on. Inherited by every program started.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  const bool shortRun = argc == 2 && std::wstring(argv[1]) == L"--short";
  if (argc > 2 || (argc == 2 && !shortRun)) {
    say("usage: kit_runner [--short]");
    return 2;
  }
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::wstring kit = folderOf(self);
  const std::wstring top = folderOf(kit);

  Report report = {};
  if (!openReport(top, &report)) {
    say(
        format("Cannot make a report folder next to run.cmd (error %lu). Unpack the kit into "
               "a folder you can write to.",
               GetLastError()));
    return 1;
  }
  // Whatever a program writes to a temporary folder stays in the report.
  SetEnvironmentVariableW(L"TEMP", report.folder.c_str());
  SetEnvironmentVariableW(L"TMP", report.folder.c_str());
  const double began = secondsNow();

  SYSTEMTIME now;
  GetLocalTime(&now);
  reportLine(report, "Lukanemi test kit " LUKANEMI_VERSION " report");
  reportLine(report, "kit: " LUKANEMI_VERSION);
  reportLine(report, format("started: %04u-%02u-%02u %02u:%02u:%02u local time; %s run", now.wYear,
                            now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                            shortRun ? "short" : "full"));
  const OSVERSIONINFOEXW version = windowsVersion();
  // The recording runs at the rate the display reports; for the hardware's
  // default (0 or 1) at 60.
  const int reported = reportedRate();
  const int rate = reported > 1 ? reported : 60;
  describePC(report, version, reported);

  std::string requirementsText;
  std::vector<std::string> problems;
  std::vector<Requirement> requirements;
  if (!readFile(kit + L"\\requirements.txt", &requirementsText)) {
    problems.push_back("kit\\requirements.txt is missing");
  }
  requirements = parseRequirements(requirementsText, &problems);
  for (const std::string& problem : problems) reportLine(report, "requirements: " + problem);

  std::string passed, failed, notRun;
  for (const Suite& suite : kitSuites(kit, top, report.folder, shortRun, rate)) {
    std::string* list = &passed;
    switch (runSuite(report, suite, requirements, version)) {
      case suitePassed: list = &passed; break;
      case suiteFailed: list = &failed; break;
      case suiteNotRun: list = &notRun; break;
    }
    *list += (list->empty() ? "" : ", ") + std::string(suite.name);
  }
  const auto named = [](const std::string& list) { return list.empty() ? "none" : list.c_str(); };
  reportLine(report, "");
  reportLine(report, "== result");
  reportLine(report, std::string("passed: ") + named(passed));
  reportLine(report, std::string("failed: ") + named(failed));
  reportLine(report, std::string("not run: ") + named(notRun));
  reportLine(report, format("total time: %.0f s", secondsNow() - began));
  CloseHandle(report.file);
  say("");
  say(format("Passed: %s; failed: %s; not run: %s. Report: %s", named(passed), named(failed),
             named(notRun), utf8(report.folder).c_str()));
  return failed.empty() ? 0 : 1;
}
