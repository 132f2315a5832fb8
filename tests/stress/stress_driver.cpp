// Stress test of the real program: a seeded random sequence of user actions
// (Start, edits of every field with random text, clicks and keys on the
// flicker window, Start during a run), checking after each step that the
// program is alive and its dialog answers, and at the end that closing the
// dialog ends the process with exit code 0.
//
// usage: stress_driver PROGRAM.exe [STEPS] [SEED] [ANSWER_SECONDS]
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "harness/program.h"
#include "resources/resource.h"

namespace {

const int editableFields[] = {IDC_FLASH_RATE, IDC_PASS_TIME, IDC_MAX_DROP_FRAMES,
                              IDC_MAX_CONSECUTIVE_DROPS, IDC_STRIP_COUNT};

std::mt19937 rng;
unsigned seed = 0;
double answerSeconds = 1.0;

int pick(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }

HWND flickerOf(const Program& program) {
  const std::vector<HWND> windows = flickerWindows(program);
  return windows.empty() ? nullptr : windows.front();
}

// Random field text: numbers of every kind the rules know, and the texts a
// careless or hostile user may type.
std::wstring randomText() {
  static const wchar_t* const pieces[] = {
      L"",    L"0",   L"1",   L"60",  L"59.94", L"-1",  L"+",   L"-",   L"0x",  L"0x1F",
      L"e",   L"d5",  L".",   L"..",  L"1e308", L"1e-320", L"-0", L"１０", L"６０", L"٣",
      L"\t",  L"\r\n", L"\x01", L"\x7f", L"　",  L"\xD800", L"\xDFFF", L"99999999999",
      L"-99999999999", L"1024", L"1025", L"0.0000001", L"abc", L"NaN", L"inf", L"1,5",
  };
  const int kinds = pick(4);
  std::wstring text;
  if (kinds == 0) {
    text = pieces[pick(sizeof pieces / sizeof *pieces)];
  } else if (kinds == 1) {
    const int length = 60 + pick(200);  // over the 62 units a field read keeps
    for (int i = 0; i < length; ++i) text += static_cast<wchar_t>(L'0' + pick(10));
  } else if (kinds == 2) {
    const int length = 1 + pick(8);
    for (int i = 0; i < length; ++i) text += static_cast<wchar_t>(1 + pick(0xFFFE));
  } else {
    const int count = 1 + pick(4);
    for (int i = 0; i < count; ++i) text += pieces[pick(sizeof pieces / sizeof *pieces)];
  }
  return text;
}

// Dismisses frame-drop notices; returns how many there were.
int dismissNotices(const Program& program) {
  int count = 0;
  for (int round = 0; round < 4; ++round) {
    HWND notice = findNotice(program);
    if (notice == nullptr) break;
    dismissNotice(notice);
    ++count;
  }
  return count;
}

bool dialogAnswers(const Program& program) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(program.dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG,
                             static_cast<UINT>(answerSeconds * 1000), &result) != 0;
}

const char* act(const Program& program, int step) {
  HWND flicker = flickerOf(program);
  switch (pick(10)) {
    case 0:
    case 1:
      pressStart(program);
      return flicker != nullptr ? "Start during a run" : "Start";
    case 2:
    case 3:
    case 4: {
      const int id = editableFields[pick(5)];
      const std::wstring text = randomText();
      setTextOf(field(program, id), text);
      static char what[128];
      snprintf(what, sizeof what, "field %d := %s", id, quoted(text).c_str());
      return what;
    }
    case 5:
      if (flicker == nullptr) return "no flicker window to click";
      PostMessageW(flicker, WM_LBUTTONDOWN, MK_LBUTTON, 0);
      PostMessageW(flicker, WM_LBUTTONUP, 0, 0);
      return "click";
    case 6:
    case 7: {
      if (flicker == nullptr) return "no flicker window for a key";
      static const WPARAM keys[] = {VK_RETURN, VK_SPACE, VK_ESCAPE, 'A', VK_F4};
      static const char* const names[] = {"Enter", "Space", "Esc", "A", "F4"};
      const int k = pick(5);
      activate(program, flicker);
      PostMessageW(flicker, WM_KEYDOWN, keys[k], 1);
      PostMessageW(flicker, WM_KEYUP, keys[k], 0xC0000001);
      return names[k];
    }
    case 8:
      activate(program, program.dialog);
      return "activate the dialog";
    default:
      (void)step;
      Sleep(static_cast<DWORD>(pick(300)));
      return "wait";
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc < 2) {
    printf("usage: stress_driver PROGRAM.exe [STEPS] [SEED] [ANSWER_SECONDS]\n");
    return 2;
  }
  const int steps = argc > 2 ? _wtoi(argv[2]) : 300;
  seed = argc > 3 ? static_cast<unsigned>(wcstoul(argv[3], nullptr, 10))
                  : static_cast<unsigned>(GetTickCount());
  answerSeconds = argc > 4 ? _wtof(argv[4]) : 1.0;
  rng.seed(seed);
  printf("seed %u, %d steps (replay: stress_driver PROGRAM.exe %d %u)\n", seed, steps, steps,
         seed);
  fflush(stdout);
  startWatchdog(1500);

  Program program;
  if (!startProgram(argv[1], &program)) {
    endProgram(&program);
    printf("seed %u\n", seed);
    return endChecks();
  }

  int notices = 0, failedAt = -1;
  const double began = secondsNow();
  for (int step = 1; step <= steps && failedAt < 0; ++step) {
    const char* what = act(program, step);
    notices += dismissNotices(program);
    const bool alive = programRunning(program);
    const bool answers = alive && dialogAnswers(program);
    if (!CHECK(answers,
               "step %d (%s): expected the program alive and its dialog answering within %.1f s; "
               "%s (seed %u)",
               step, what, answerSeconds, alive ? "the dialog did not answer" : "the process ended",
               seed)) {
      failedAt = step;
    }
  }
  if (failedAt < 0) {
    note("%d steps in %.1f s, %d frame-drop notices dismissed", steps, secondsNow() - began,
         notices);
    notices += dismissNotices(program);
    if (!closeProgram(program, 60)) note("seed %u", seed);
  }
  endProgram(&program);
  return endChecks();
}
