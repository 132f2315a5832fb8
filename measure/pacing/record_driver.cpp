// Records the real program: starts the recorder with LUKANEMI_RECORDING set,
// types the flash rate (and the options given), presses Start and then only
// watches, every 100 ms, for the frame-drop notice. A notice (a drop limit
// stopped the run, so the flicker window must be gone) is dismissed with its
// OK button and Start is pressed again, or with --end-at-stop the recording
// ends there. After the given time the dialog is closed, so that the
// recorder ends normally and writes its file.
//
// usage: record_driver RECORDER_EXE FLASH_RATE SECONDS OUTPUT_PATH [OPTION...]
//   --max-drop-frames N, --max-consecutive-drops N
//                  typed into that field (else it keeps its start-up text)
//   --end-at-stop  end the recording at the first notice
// Prints the process's memory and GUI object counts at start-up and at the
// end, and a last line "summary ..."; exits non-zero on any failure.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "harness/program.h"
#include "resources/resource.h"

// Needs <windows.h>, which the harness includes.
#include <psapi.h>

namespace {

constexpr double exitTimeout = 120.0;
constexpr SIZE_T notReported = ~SIZE_T{0};

// A field and the text to type into it.
struct Typed {
  int id;
  std::wstring text;
};

// A reading of the recorder's memory counters, in bytes (the private usage
// as text: "n/a" where it was not reported), and its GUI object counts.
struct Usage {
  unsigned long long workingSet, peakWorkingSet, pagefile;
  std::string privateBytes;
  unsigned long gdiObjects, userObjects;
};

// Reads and prints the recorder's usage. Under Wine, GetGuiResources is a
// stub that answers 0; what it answers is printed.
Usage readUsage(const Program& program, const char* when) {
  PROCESS_MEMORY_COUNTERS_EX memory = {};
  memory.cb = sizeof memory;
  // Wine fills only the fields of PROCESS_MEMORY_COUNTERS: a private usage
  // left at this mark was not reported.
  memory.PrivateUsage = notReported;
  const BOOL read = GetProcessMemoryInfo(
      program.info.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
  CHECK(read != 0, "GetProcessMemoryInfo %s: expected success, got error %lu", when,
        read != 0 ? 0ul : GetLastError());
  const Usage usage = {
      memory.WorkingSetSize,
      memory.PeakWorkingSetSize,
      memory.PagefileUsage,
      memory.PrivateUsage == notReported ? "n/a" : std::to_string(memory.PrivateUsage),
      GetGuiResources(program.info.hProcess, GR_GDIOBJECTS),
      GetGuiResources(program.info.hProcess, GR_USEROBJECTS)};
  note(
      "%s: working set %llu, peak working set %llu, private %s, pagefile %llu bytes; "
      "GDI objects %lu, USER objects %lu",
      when, usage.workingSet, usage.peakWorkingSet, usage.privateBytes.c_str(), usage.pagefile,
      usage.gdiObjects, usage.userObjects);
  return usage;
}

// Starts the recorder, waits for its dialog and types the fields' texts.
bool startRecorder(const std::wstring& exe, const std::vector<Typed>& fields, Program* program) {
  if (!startProgram(exe, program)) return false;
  bool typed = true;
  for (const Typed& f : fields) {
    setTextOf(field(*program, f.id), f.text);
    const std::wstring shown = fieldText(*program, f.id);
    typed = CHECK(shown == f.text, "field %d: expected %s, got %s", f.id, quoted(f.text).c_str(),
                  quoted(shown).c_str()) &&
            typed;
  }
  return typed;
}

// Dismisses a notice with its OK button; true once it is gone. A stop has
// destroyed the flicker window before showing its notice.
bool endStop(const Program& program, HWND notice, int stop) {
  CHECK(flickerWindows(program).empty(), "stop %d: expected the flicker window gone, found it open",
        stop);
  return dismissNotice(notice);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  const std::wstring exe = argc > 4 ? argv[1] : L"";
  const std::wstring flashRate = argc > 4 ? argv[2] : L"";
  const double seconds = argc > 4 ? _wtof(argv[3]) : 0;
  const std::wstring output = argc > 4 ? argv[4] : L"";
  std::vector<Typed> fields = {{IDC_FLASH_RATE, flashRate}};
  bool endAtStop = false;
  bool usable = seconds > 0 && !flashRate.empty() && !output.empty();
  for (int i = 5; usable && i < argc; ++i) {
    const std::wstring option = argv[i];
    const int id = option == L"--max-drop-frames"         ? IDC_MAX_DROP_FRAMES
                   : option == L"--max-consecutive-drops" ? IDC_MAX_CONSECUTIVE_DROPS
                                                          : 0;
    if (option == L"--end-at-stop") {
      endAtStop = true;
    } else if (id != 0 && i + 1 < argc) {
      fields.push_back(Typed{id, argv[++i]});
    } else {
      usable = false;
    }
  }
  if (!usable) {
    printf(
        "usage: record_driver RECORDER_EXE FLASH_RATE SECONDS OUTPUT_PATH [--max-drop-frames N] "
        "[--max-consecutive-drops N] [--end-at-stop]\n");
    return 2;
  }
  startWatchdog(seconds + startTimeout + exitTimeout + 300);

  // The recorder inherits the driver's environment.
  DeleteFileW(output.c_str());
  SetEnvironmentVariableW(L"LUKANEMI_RECORDING", output.c_str());

  Program program;
  if (!startRecorder(exe, fields, &program)) {
    endProgram(&program);
    return 1;
  }
  const Usage start = readUsage(program, "after start-up");

  // From here until the end of the recording the driver only polls.
  const double began = secondsNow();
  pressStart(program);
  int stops = 0;
  double recorded = 0;
  while (programRunning(program)) {
    Sleep(100);
    recorded = secondsNow() - began;
    if (HWND notice = findNotice(program)) {
      ++stops;
      if (!endStop(program, notice, stops)) {
        CHECK(false, "notice %d: expected it closed by its OK button; it is still open", stops);
        break;
      }
      const bool restart = !endAtStop && recorded < seconds;
      if (restart) pressStart(program);
      printf("stop %d at %.1f s: notice dismissed%s\n", stops, recorded,
             endAtStop ? ", the recording ends"
             : restart ? ", run restarted"
                       : " at the end");
      fflush(stdout);
      if (endAtStop) break;
    }
    if (recorded >= seconds) break;
  }
  CHECK(programRunning(program), "after %.1f s: expected the recorder running", recorded);
  const Usage end = readUsage(program, "at the end");

  // Closing the dialog ends the program, and the recorder writes its file.
  // A notice that came after the last poll is dismissed first.
  if (HWND notice = findNotice(program)) {
    ++stops;
    note("stop %d after the end: notice dismissed", stops);
    endStop(program, notice, stops);
  }
  DWORD exitCode = 1;
  closeProgram(program, exitTimeout, &exitCode);
  endProgram(&program);
  CHECK(GetFileAttributesW(output.c_str()) != INVALID_FILE_ATTRIBUTES,
        "recording %s: expected the file written at exit", quoted(output).c_str());

  printf(
      "summary flashRate=%s seconds=%.1f stops=%d memStartWorkingSet=%llu memStartPrivate=%s "
      "memStartPeak=%llu memStartPagefile=%llu memEndWorkingSet=%llu memEndPrivate=%s "
      "memEndPeak=%llu memEndPagefile=%llu guiStartGdi=%lu guiStartUser=%lu guiEndGdi=%lu "
      "guiEndUser=%lu exit=%lu failed=%d\n",
      utf8(flashRate).c_str(), recorded, stops, start.workingSet, start.privateBytes.c_str(),
      start.peakWorkingSet, start.pagefile, end.workingSet, end.privateBytes.c_str(),
      end.peakWorkingSet, end.pagefile, start.gdiObjects, start.userObjects, end.gdiObjects,
      end.userObjects, static_cast<unsigned long>(exitCode), failedChecks());
  fflush(stdout);
  return failedChecks() == 0 ? 0 : 1;
}
