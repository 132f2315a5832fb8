// End-to-end test of ルカネミ: starts the program given as the first argument,
// drives it through its windows as a user would (typing into the dialog,
// pressing Start, clicking and keying the flicker window, closing) and checks
// what it shows, including the flicker colours read back from the screen.
//
// Two launches: the first covers start-up, typing, the user guide's worked
// examples (the second and third arguments are the guide, README.md and
// README.txt) typed with real keys, what the guide says of the keyboard, of
// stopping and of text that is not read, a run with its colours, width
// switching, message routing, Esc, restarts and closing during a run;
// the second covers the tab order, Enter, the frame-drop notice and Esc in the
// dialog. Ends with the line "N passed, M failed" and a non-zero exit code on
// any failure.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "harness/program.h"
#include "resources/resource.h"
#include "tests/e2e/guide_examples.h"
#include "tests/e2e/screen.h"

namespace {

// At one flash per second a toggle falls due every half second.
constexpr double togglePeriod = 0.5;

enum ControlKind { controlButton, controlLabel, controlField, controlOutput };

struct ExpectedControl {
  int id;
  ControlKind kind;
  const wchar_t* text;
};

// The dialog's controls in creation order, which is also the tab order.
const ExpectedControl expectedControls[] = {
    {IDOK, controlButton, L"描画を開始する"},
    {-1, controlLabel,
     L"リフレッシュレートの不整合によるギャップの挙動を目で確認することで、\n"
     L"ディスプレイの実際の更新頻度を確認します。\n"
     L"画面が高速に点滅するため、健康に影響を及ぼす可能性があります。\n"
     L"異常を感じた場合はすぐに使用を中止してください。"},
    {-1, controlLabel, L"システムから報告されたリフレッシュレート"},
    {IDC_REPORTED_RATE, controlOutput, L""},
    {-1, controlLabel, L"1秒間に点滅させる回数（推定値を入力）"},
    {IDC_FLASH_RATE, controlField, L""},
    {-1, controlLabel, L"境目が下向きに2回通過するまでの時間（上向きは負）"},
    {IDC_PASS_TIME, controlField, L""},
    {-1, controlLabel, L"計算された実際のリフレッシュレート"},
    {IDC_ESTIMATED_RATE, controlOutput, L""},
    {-1, controlLabel, L"描画オプション（よく分からない場合はそのままにしてください）"},
    {-1, controlLabel, L"最大ドロップフレーム数（落ちる時多く、固まる時少なく）"},
    {IDC_MAX_DROP_FRAMES, controlField, L""},
    {-1, controlLabel, L"最大連続ドロップ回数（落ちる時多く、固まる時少なく）"},
    {IDC_MAX_CONSECUTIVE_DROPS, controlField, L""},
    {-1, controlLabel, L"水平分割数（画面が乱れる時多く、落ちる時少なく）"},
    {IDC_STRIP_COUNT, controlField, L""},
};
constexpr int expectedControlCount = sizeof expectedControls / sizeof expectedControls[0];

// What the display reports, as the driver sees it.
int screenWidth = 0;
int screenHeight = 0;
std::wstring reportedRateText;

// The program's visible dialogs other than the settings dialog, whatever
// their caption: the program shows none but the notice.
std::vector<HWND> noticeWindows(const Program& program) {
  std::vector<HWND> found;
  for (HWND window : topLevelWindows(program.info.dwProcessId, dialogClass)) {
    if (window != program.dialog) found.push_back(window);
  }
  return found;
}

const char* kindName(ControlKind kind) {
  switch (kind) {
    case controlButton: return "start button";
    case controlLabel: return "label";
    case controlField: return "field";
    case controlOutput: return "read-only field";
  }
  return "?";
}

const wchar_t* kindClass(ControlKind kind) {
  switch (kind) {
    case controlButton: return L"Button";
    case controlLabel: return L"Static";
    case controlField:
    case controlOutput: return L"Edit";
  }
  return L"?";
}

// ---- Style checks ------------------------------------------------------------

// Appends the name of `bit` to `problems` when `style` does not have it set
// (or clear) as wanted.
void expectBit(LONG style, LONG bit, bool set, const char* name, std::string* problems) {
  if (((style & bit) != 0) == set) return;
  if (!problems->empty()) *problems += ", ";
  *problems += set ? name : (std::string("no ") + name);
}

// The live style keeps what matters to the user; bits the controls change at
// run time (an edit trading WS_BORDER for a client edge) are only reported.
void checkControlStyle(int index, HWND control, ControlKind kind) {
  const LONG style = GetWindowLongW(control, GWL_STYLE);
  const LONG exStyle = GetWindowLongW(control, GWL_EXSTYLE);
  std::string problems;
  expectBit(style, WS_CHILD, true, "WS_CHILD", &problems);
  expectBit(style, WS_VISIBLE, true, "WS_VISIBLE", &problems);
  const char* expected = "";
  switch (kind) {
    case controlButton:
      expectBit(style, WS_TABSTOP, true, "WS_TABSTOP", &problems);
      if ((style & BS_TYPEMASK) != BS_DEFPUSHBUTTON) {
        if (!problems.empty()) problems += ", ";
        problems += "BS_DEFPUSHBUTTON type";
      }
      expected = "WS_TABSTOP, BS_DEFPUSHBUTTON";
      break;
    case controlLabel:
      expectBit(style, WS_GROUP, true, "WS_GROUP", &problems);
      expectBit(style, WS_TABSTOP, false, "WS_TABSTOP", &problems);
      if ((style & SS_TYPEMASK) != SS_LEFT) {
        if (!problems.empty()) problems += ", ";
        problems += "SS_LEFT type";
      }
      expected = "WS_GROUP, SS_LEFT, no WS_TABSTOP";
      break;
    case controlField:
    case controlOutput:
      expectBit(style, WS_TABSTOP, true, "WS_TABSTOP", &problems);
      expectBit(style, ES_AUTOHSCROLL, true, "ES_AUTOHSCROLL", &problems);
      expectBit(style, ES_MULTILINE, false, "ES_MULTILINE", &problems);
      expectBit(style, ES_READONLY, kind == controlOutput, "ES_READONLY", &problems);
      if ((style & WS_BORDER) == 0 && (exStyle & WS_EX_CLIENTEDGE) == 0) {
        if (!problems.empty()) problems += ", ";
        problems += "a border (WS_BORDER or WS_EX_CLIENTEDGE)";
      }
      expected = kind == controlOutput
                     ? "WS_TABSTOP, ES_AUTOHSCROLL, ES_READONLY, a border, no ES_MULTILINE"
                     : "WS_TABSTOP, ES_AUTOHSCROLL, a border, no ES_READONLY, no ES_MULTILINE";
      break;
  }
  CHECK(problems.empty(),
        "control %d (%s): style 0x%08lX, ex style 0x%08lX: expected WS_CHILD, WS_VISIBLE, %s%s%s",
        index + 1, kindName(kind), static_cast<unsigned long>(style),
        static_cast<unsigned long>(exStyle), expected,
        problems.empty() ? "" : "; missing: ", problems.c_str());
}

// ---- Start-up ------------------------------------------------------------------

void checkDialogWindow(const Program& program) {
  HWND dialog = program.dialog;
  CHECK(classNameOf(dialog) == dialogClass, "dialog class: expected \"#32770\", got %s",
        quoted(classNameOf(dialog)).c_str());
  CHECK(textOf(dialog) == dialogCaption, "dialog caption: expected %s, got %s",
        quoted(dialogCaption).c_str(), quoted(textOf(dialog)).c_str());
  const LONG style = GetWindowLongW(dialog, GWL_STYLE);
  const LONG wanted = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_VISIBLE;
  CHECK((style & wanted) == wanted && (style & WS_CHILD) == 0,
        "dialog style 0x%08lX: expected WS_POPUP, WS_CAPTION, WS_SYSMENU, DS_MODALFRAME and "
        "WS_VISIBLE set (0x%08lX), WS_CHILD clear",
        static_cast<unsigned long>(style), static_cast<unsigned long>(wanted));
  CHECK(GetWindow(dialog, GW_OWNER) == nullptr, "dialog owner: expected none, got %p",
        static_cast<void*>(GetWindow(dialog, GW_OWNER)));

  // Centred on the work area (DS_CENTER), so the flicker window at the left
  // edge does not cover it.
  RECT work = {};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const RECT rect = windowRect(dialog);
  const long dx = (rect.left + rect.right) - (work.left + work.right);
  const long dy = (rect.top + rect.bottom) - (work.top + work.bottom);
  CHECK(dx >= -4 && dx <= 4 && dy >= -4 && dy <= 4,
        "dialog position: expected centred on the work area %s, got %s", rectText(work).c_str(),
        rectText(rect).c_str());

  const bool active = waitUntil(reactionTimeout, [&] { return activeWindowOf(program) == dialog; });
  CHECK(active, "after start-up: expected the dialog %p to be the active window, got %p",
        static_cast<void*>(dialog), static_cast<void*>(activeWindowOf(program)));
}

// The caption shows the program's icon (group 128 of the program file) at the
// small icon size: it is looked for, pixel for pixel, near the caption's left
// end. (The icon handles themselves cannot be asked for across processes
// under Wine.)
void checkCaptionIcon(const Program& program, const std::wstring& path) {
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  const int size = GetSystemMetrics(SM_CXSMICON);
  HICON icon = module == nullptr
                   ? nullptr
                   : static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(128), IMAGE_ICON, size,
                                                   size, LR_DEFAULTCOLOR));
  if (!CHECK(icon != nullptr, "icon 128 of the program file at %dx%d: expected it, got %p", size,
             size, static_cast<void*>(icon))) {
    if (module != nullptr) FreeLibrary(module);
    return;
  }
  const std::vector<DWORD> image = iconPixels(icon, size);
  DestroyIcon(icon);
  FreeLibrary(module);

  const RECT dialog = windowRect(program.dialog);
  const RECT area = {dialog.left, dialog.top, dialog.left + 3 * size,
                     dialog.top + GetSystemMetrics(SM_CYCAPTION) + size};
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  // The caption may be painted a little after the dialog shows.
  const bool found = waitUntil(reactionTimeout, [&] {
    const std::vector<DWORD> screen = screenPixels(area);
    for (int y = 0; y + size <= height; ++y) {
      for (int x = 0; x + size <= width; ++x) {
        bool same = true;
        for (int row = 0; same && row < size; ++row) {
          for (int column = 0; same && column < size; ++column) {
            same = screen[static_cast<size_t>((y + row) * width + x + column)] ==
                   image[static_cast<size_t>(row * size + column)];
          }
        }
        if (same) return true;
      }
    }
    return false;
  });
  CHECK(found, "dialog caption: expected the program's %dx%d icon within %s, %s", size, size,
        rectText(area).c_str(), found ? "found it" : "not found");
}

void checkControls(const Program& program) {
  std::vector<HWND> controls;
  for (HWND child = GetWindow(program.dialog, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    controls.push_back(child);
  }
  CHECK(controls.size() == expectedControlCount, "dialog controls: expected %d, got %zu",
        expectedControlCount, controls.size());
  for (int i = 0; i < expectedControlCount && i < static_cast<int>(controls.size()); ++i) {
    const ExpectedControl& expected = expectedControls[i];
    HWND control = controls[static_cast<size_t>(i)];
    const int id = GetDlgCtrlID(control);
    const std::wstring className = classNameOf(control);
    CHECK(id == expected.id && className == kindClass(expected.kind),
          "control %d (%s): expected id %d, class %s; got id %d, class %s", i + 1,
          kindName(expected.kind), expected.id, quoted(kindClass(expected.kind)).c_str(), id,
          quoted(className).c_str());
    // The fields are checked for their start-up values separately.
    if (expected.kind == controlButton || expected.kind == controlLabel) {
      const std::wstring text = textOf(control);
      CHECK(text == expected.text, "control %d (%s) text: expected %s, got %s", i + 1,
            kindName(expected.kind), quoted(expected.text).c_str(), quoted(text).c_str());
    }
    checkControlStyle(i, control, expected.kind);
  }
  CHECK(GetDlgItem(program.dialog, IDCANCEL) == nullptr,
        "dialog: expected no control with id 2 (IDCANCEL), found %p",
        static_cast<void*>(GetDlgItem(program.dialog, IDCANCEL)));
}

void checkFieldText(const Program& program, int id, const std::wstring& expected,
                    const char* when) {
  const std::wstring text = fieldText(program, id);
  CHECK(text == expected, "%s: field %d: expected %s, got %s", when, id, quoted(expected).c_str(),
        quoted(text).c_str());
}

bool isWow64(HANDLE process) {
  BOOL wow64 = FALSE;
  IsWow64Process(process, &wow64);
  return wow64 != FALSE;
}

// The rate the program should show is what the display reports to the
// driver. Under Wine, 32-bit and 64-bit processes can be told different rates
// by the same display, so when the program's word size differs from the
// driver's its own figure is taken, provided it is a whole number of hertz in
// "%lf" form.
void settleReportedRate(const Program& program) {
  if (isWow64(program.info.hProcess) == isWow64(GetCurrentProcess())) return;
  const std::wstring shown = fieldText(program, IDC_REPORTED_RATE);
  const int rate = _wtoi(shown.c_str());
  if (!CHECK(rate >= 0 && shown == realText(rate),
             "field 1001 of a program of the other word size: expected a whole rate in \"%%lf\" "
             "form, got %s",
             quoted(shown).c_str())) {
    return;
  }
  if (shown != reportedRateText) {
    note("the program (other word size) is told %s Hz, the driver %s Hz; using the program's",
         utf8(shown).c_str(), utf8(reportedRateText).c_str());
    reportedRateText = shown;
  }
}

void checkStartupFields(const Program& program) {
  const char* when = "after start-up";
  settleReportedRate(program);
  checkFieldText(program, IDC_REPORTED_RATE, reportedRateText, when);
  checkFieldText(program, IDC_FLASH_RATE, reportedRateText, when);
  checkFieldText(program, IDC_PASS_TIME, L"", when);
  checkFieldText(program, IDC_ESTIMATED_RATE, L"", when);
  checkFieldText(program, IDC_MAX_DROP_FRAMES, L"10", when);
  checkFieldText(program, IDC_MAX_CONSECUTIVE_DROPS, L"3", when);
  checkFieldText(program, IDC_STRIP_COUNT, L"4", when);
}

// ---- Typing ----------------------------------------------------------------------

// Replaces a field's text as the user would (the change notification follows
// as for typing) and checks the computed rate that results.
void checkEstimate(const Program& program, int id, const std::wstring& text,
                   const std::wstring& expected, const char* what) {
  setTextOf(field(program, id), text);
  const std::wstring estimate = fieldText(program, IDC_ESTIMATED_RATE);
  CHECK(estimate == expected, "%s: field %d set to %s: expected field 1004 %s, got %s", what, id,
        quoted(text).c_str(), quoted(expected).c_str(), quoted(estimate).c_str());
}

// Posts WM_CHAR `c` to a field with the caret at the end of its text, and
// waits until the field shows `expected`. Messages posted to the program
// before it have then been handled too.
bool typeChar(const Program& program, int id, wchar_t c, const std::wstring& expected) {
  HWND edit = field(program, id);
  const WPARAM end = textOf(edit).size();
  sendWithTimeout(edit, EM_SETSEL, end, static_cast<LPARAM>(end));
  PostMessageW(edit, WM_CHAR, c, 1);
  return waitUntil(reactionTimeout, [&] { return textOf(edit) == expected; });
}

void checkTyping(const Program& program) {
  const char* what = "flash rate 60";
  setTextOf(field(program, IDC_FLASH_RATE), L"60");
  checkFieldText(program, IDC_ESTIMATED_RATE, L"",
                 "after only the flash rate changed (pass time never changed)");
  checkEstimate(program, IDC_PASS_TIME, L"10", L"60.100000", what);
  checkEstimate(program, IDC_PASS_TIME, L"-10", L"59.900000", what);
  checkEstimate(program, IDC_PASS_TIME, L"0", L"0.000000", what);
  checkEstimate(program, IDC_PASS_TIME, L"", L"60.000000", what);
  checkEstimate(program, IDC_PASS_TIME, L"1,5", L"61.000000", what);
  checkEstimate(program, IDC_PASS_TIME, L".5", L"62.000000", what);
  checkEstimate(program, IDC_PASS_TIME, L"１０", L"60.000000", what);  // full-width: no number
  checkEstimate(program, IDC_PASS_TIME, L"2e-1", L"65.000000", what);
  // Only the first 62 characters of a field are read: 1e61 here, not 10.
  checkEstimate(program, IDC_PASS_TIME, L"1" + std::wstring(61, L'0') + L"e-60", L"60.000000",
                what);

  // Real keystrokes: the estimate follows every one.
  setTextOf(field(program, IDC_PASS_TIME), L"");
  const struct {
    wchar_t key;
    const wchar_t* text;
    const wchar_t* estimate;
  } keys[] = {{L'-', L"-", L"60.000000"},
              {L'1', L"-1", L"59.000000"},
              {L'0', L"-10", L"59.900000"},
              {L'\b', L"-1", L"59.000000"},
              {L'5', L"-15", L"59.933333"}};
  std::wstring typed;
  for (const auto& key : keys) {
    typed += key.key == L'\b' ? std::wstring(L"<BS>") : std::wstring(1, key.key);
    const bool arrived = typeChar(program, IDC_PASS_TIME, key.key, key.text);
    const std::wstring estimate = fieldText(program, IDC_ESTIMATED_RATE);
    CHECK(arrived && estimate == key.estimate,
          "typing %s into field 1003: expected it to hold %s and field 1004 %s; got %s and %s",
          quoted(typed).c_str(), quoted(key.text).c_str(), quoted(key.estimate).c_str(),
          quoted(fieldText(program, IDC_PASS_TIME)).c_str(), quoted(estimate).c_str());
  }

  // A new flash rate leaves the estimate alone until the pass time changes,
  // which then uses the new rate.
  setTextOf(field(program, IDC_FLASH_RATE), L"30");
  checkFieldText(program, IDC_ESTIMATED_RATE, L"59.933333", "after the flash rate changed to 30");
  checkEstimate(program, IDC_PASS_TIME, L"10", L"30.100000", "flash rate 30");
  // A flash rate without a number stands for the reported rate.
  setTextOf(field(program, IDC_FLASH_RATE), L"x");
  checkEstimate(program, IDC_PASS_TIME, L"-10",
                realText(1.0 / -10 + _wtof(reportedRateText.c_str())),
                "flash rate \"x\" (the reported rate)");
  setTextOf(field(program, IDC_FLASH_RATE), L"6d1");
  checkEstimate(program, IDC_PASS_TIME, L"4", L"60.250000", "flash rate 6d1");
}

// The two read-only fields ignore typing (they are written only by the
// program) and do not feed the computation.
void checkReadOnlyFields(const Program& program) {
  setTextOf(field(program, IDC_FLASH_RATE), L"60");
  setTextOf(field(program, IDC_PASS_TIME), L"10");
  for (int id : {IDC_REPORTED_RATE, IDC_ESTIMATED_RATE}) {
    HWND edit = field(program, id);
    const LRESULT end = static_cast<LRESULT>(textOf(edit).size());
    sendWithTimeout(edit, EM_SETSEL, static_cast<WPARAM>(end), end);
    PostMessageW(edit, WM_CHAR, L'5', 1);
  }
  // Typed after the characters above, so its arrival means they were handled.
  const bool handled = typeChar(program, IDC_PASS_TIME, L'0', L"100");
  CHECK(handled, "typing '0' after \"10\" in field 1003: expected \"100\", got %s",
        quoted(fieldText(program, IDC_PASS_TIME)).c_str());
  checkFieldText(program, IDC_REPORTED_RATE, reportedRateText, "after typing into field 1001");
  checkFieldText(program, IDC_ESTIMATED_RATE, L"60.010000", "after typing into field 1004");
}

// ---- The flicker window ------------------------------------------------------------

// Waits for a visible flicker window other than `old`.
HWND waitForFlicker(const Program& program, HWND old) {
  HWND found = nullptr;
  waitUntil(reactionTimeout, [&] {
    for (HWND window : flickerWindows(program)) {
      if (window != old && IsWindowVisible(window)) found = window;
    }
    return found != nullptr;
  });
  return found;
}

RECT narrowRect() { return RECT{0, 0, flickerWidth, screenHeight}; }
RECT wideRect() { return RECT{0, 0, screenWidth, screenHeight}; }

bool sameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Checks a newly started flicker window: class, styles, place, size, and that
// it took the activation.
void checkNewFlicker(const Program& program, HWND flicker, const char* when) {
  CHECK(classNameOf(flicker) == flickerClass,
        "%s: flicker window class: expected \"Popup\", got %s", when,
        quoted(classNameOf(flicker)).c_str());
  const DWORD classStyle = GetClassLongW(flicker, GCL_STYLE);
  CHECK(classStyle == CS_CLASSDC,
        "%s: flicker window class style: expected CS_CLASSDC (0x40) only, got 0x%08lX", when,
        static_cast<unsigned long>(classStyle));
  const LONG style = GetWindowLongW(flicker, GWL_STYLE);
  const LONG exStyle = GetWindowLongW(flicker, GWL_EXSTYLE);
  CHECK((style & (WS_POPUP | WS_VISIBLE)) == (WS_POPUP | WS_VISIBLE) &&
            (style & (WS_CHILD | WS_CAPTION | WS_BORDER | WS_THICKFRAME | WS_SYSMENU)) == 0,
        "%s: flicker window style 0x%08lX: expected WS_POPUP and WS_VISIBLE, no caption, border "
        "or frame",
        when, static_cast<unsigned long>(style));
  CHECK((exStyle & WS_EX_TOPMOST) != 0,
        "%s: flicker window ex style 0x%08lX: expected WS_EX_TOPMOST", when,
        static_cast<unsigned long>(exStyle));
  CHECK(GetWindow(flicker, GW_OWNER) == nullptr && textOf(flicker).empty(),
        "%s: flicker window: expected no owner and no title, got owner %p, title %s", when,
        static_cast<void*>(GetWindow(flicker, GW_OWNER)), quoted(textOf(flicker)).c_str());
  const RECT rect = windowRect(flicker);
  CHECK(sameRect(rect, narrowRect()), "%s: flicker window: expected at %s, got %s", when,
        rectText(narrowRect()).c_str(), rectText(rect).c_str());
  const bool active =
      waitUntil(reactionTimeout, [&] { return activeWindowOf(program) == flicker; });
  CHECK(active, "%s: expected the flicker window %p to be active, got %p", when,
        static_cast<void*>(flicker), static_cast<void*>(activeWindowOf(program)));
}

// Checks the colour at `points` in `slots` successive toggle slots of a run
// at one flash per second: toggle k (k >= 1) falls due k/2 s after Start and
// paints white when k is odd, so slot k (until the next toggle) shows white
// for odd k and black for even k. Samples mid-slot, in slots that begin at
// `notBefore` or later, and only counts a sample taken safely inside its slot
// whichever moment within the Start bracket the run began.
void checkColours(const RunStart& start, const char* what, const POINT* points, int count,
                  int slots, double notBefore) {
  const double margin = 0.05;
  const double middle = (start.earliest + start.latest) / 2;
  int k = 1;
  while (start.earliest + k * togglePeriod < notBefore ||
         middle + (k + 0.5) * togglePeriod < secondsNow() + 0.01) {
    ++k;
  }
  int checked = 0;
  for (int attempts = 0; checked < slots && attempts < slots + 4; ++attempts, ++k) {
    sleepUntil(middle + (k + 0.5) * togglePeriod);
    COLORREF colours[16];
    const double before = secondsNow();
    readScreen(points, count, colours);
    const double after = secondsNow();
    if (before < start.latest + k * togglePeriod + margin ||
        after > start.earliest + (k + 1) * togglePeriod - margin) {
      note(
          "%s: the sample for slot %d came at %.3f-%.3f s after Start, outside the slot; "
          "trying the next slot",
          what, k, before - start.earliest, after - start.earliest);
      continue;
    }
    const bool white = k % 2 == 1;
    const COLORREF expected = white ? RGB(255, 255, 255) : RGB(0, 0, 0);
    std::string found;
    bool allMatch = true;
    for (int i = 0; i < count; ++i) {
      if (colours[i] != expected) allMatch = false;
      char item[64];
      snprintf(item, sizeof item, "%s(%ld,%ld)=%s", i == 0 ? "" : " ", points[i].x, points[i].y,
               colourText(colours[i]).c_str());
      found += item;
    }
    CHECK(allMatch,
          "%s: slot %d (toggle %d, due %.1f s after Start), sampled %.3f s after Start: expected "
          "%s (%s) at every point, got %s",
          what, k, k, k * togglePeriod, before - start.earliest, white ? "white" : "black",
          colourText(expected).c_str(), found.c_str());
    ++checked;
  }
  if (checked < slots) {
    CHECK(false, "%s: expected to sample %d slots in time, managed %d (Start bracket %.3f s)", what,
          slots, checked, start.latest - start.earliest);
  }
}

// Posts `message` to the flicker window and waits for its rectangle to
// become `expected`.
bool switchWidth(HWND flicker, UINT message, WPARAM wParam, LPARAM lParam, const RECT& expected,
                 const char* what) {
  PostMessageW(flicker, message, wParam, lParam);
  const bool switched =
      waitUntil(reactionTimeout, [&] { return sameRect(windowRect(flicker), expected); });
  CHECK(switched, "%s: expected the flicker window at %s, got %s", what, rectText(expected).c_str(),
        rectText(windowRect(flicker)).c_str());
  const LONG exStyle = GetWindowLongW(flicker, GWL_EXSTYLE);
  CHECK((exStyle & WS_EX_TOPMOST) != 0,
        "%s: expected the flicker window still topmost, ex style 0x%08lX", what,
        static_cast<unsigned long>(exStyle));
  return switched;
}

// Points in each of the narrow flicker window's four default strips, at the
// top, middle and
// bottom.
void narrowPoints(POINT* points) {
  const POINT all[] = {{1, 1},  {12, screenHeight / 2}, {20, screenHeight - 2},
                       {30, 1}, {30, screenHeight / 2}, {2, screenHeight - 2}};
  for (int i = 0; i < 6; ++i) points[i] = all[i];
}

// Points across the whole screen, in each of the four strips.
void widePoints(POINT* points) {
  const POINT all[] = {{5, screenHeight / 2},
                       {screenWidth / 4 + 10, 1},
                       {screenWidth / 2 + 10, screenHeight / 2},
                       {screenWidth - 2, screenHeight - 2},
                       {screenWidth - 2, 1}};
  for (int i = 0; i < 5; ++i) points[i] = all[i];
}

// ---- The guide's walkthroughs --------------------------------------------------------

// Keys reach the program as a user's do: SendInput puts them into the input
// of the foreground window's thread, and the program's own loop reads them,
// hands them to IsDialogMessageW while the dialog is active (Tab, Shift+Tab,
// Enter, and characters through TranslateMessage) and dispatches them to the
// flicker window otherwise (Esc). Wine in Xvfb delivers SendInput to the
// program this way.
void sendInputs(INPUT* inputs, UINT count) {
  const UINT sent = SendInput(count, inputs, sizeof inputs[0]);
  if (sent != count)
    note("SendInput sent %u of %u inputs (error %lu)", sent, count, GetLastError());
}

void pressKey(WORD key, bool shift) {
  INPUT inputs[4] = {};
  UINT count = 0;
  const auto add = [&](WORD vk, DWORD flags) {
    inputs[count].type = INPUT_KEYBOARD;
    inputs[count].ki.wVk = vk;
    inputs[count].ki.dwFlags = flags;
    ++count;
  };
  if (shift) add(VK_SHIFT, 0);
  add(key, 0);
  add(key, KEYEVENTF_KEYUP);
  if (shift) add(VK_SHIFT, KEYEVENTF_KEYUP);
  sendInputs(inputs, count);
}

// Types one character, whatever the keyboard layout (full-width digits too).
void typeKey(wchar_t c) {
  INPUT inputs[2] = {};
  for (int i = 0; i < 2; ++i) {
    inputs[i].type = INPUT_KEYBOARD;
    inputs[i].ki.wScan = c;
    inputs[i].ki.dwFlags = KEYEVENTF_UNICODE | (i == 1 ? KEYEVENTF_KEYUP : 0);
  }
  sendInputs(inputs, 2);
}

// Whether `window` is the foreground window and the program's active one,
// so that keys sent now reach it.
bool receivesKeys(const Program& program, HWND window) {
  return GetForegroundWindow() == window && activeWindowOf(program) == window;
}

// The dialog's tab stops in tab order.
const int tabStops[] = {IDOK,
                        IDC_REPORTED_RATE,
                        IDC_FLASH_RATE,
                        IDC_PASS_TIME,
                        IDC_ESTIMATED_RATE,
                        IDC_MAX_DROP_FRAMES,
                        IDC_MAX_CONSECUTIVE_DROPS,
                        IDC_STRIP_COUNT};
constexpr int tabStopCount = sizeof tabStops / sizeof tabStops[0];

int tabPosition(const Program& program, HWND window) {
  for (int i = 0; i < tabStopCount; ++i) {
    if (field(program, tabStops[i]) == window) return i;
  }
  return -1;
}

// Presses Tab (or Shift+Tab) once and waits for the focus to reach the next
// (or previous) tab stop.
bool tabOnce(const Program& program, bool back) {
  const int from = tabPosition(program, focusWindowOf(program));
  if (from < 0) return false;
  HWND expected = field(program, tabStops[(from + (back ? tabStopCount - 1 : 1)) % tabStopCount]);
  pressKey(VK_TAB, back);
  return waitUntil(reactionTimeout, [&] { return focusWindowOf(program) == expected; });
}

// The selection of an edit control: EM_GETSEL's start and end.
void selectionOf(HWND edit, DWORD* start, DWORD* end) {
  DWORD_PTR packed = 0;
  sendWithTimeout(edit, EM_GETSEL, 0, 0, &packed);
  *start = LOWORD(packed);
  *end = HIWORD(packed);
}

// Moves the focus to field `id` as a user does, with Tab or Shift+Tab the
// shorter way, and checks that the field's whole text is then selected. A
// field that already has the focus is left and entered again, since only
// entering by a key selects the text. `where` names the step for messages.
bool tabToField(const Program& program, int id, const std::string& where) {
  const int target = tabPosition(program, field(program, id));
  int from = tabPosition(program, focusWindowOf(program));
  if (!CHECK(from >= 0,
             "%s: expected the focus on a tab stop of the dialog before moving to "
             "field %d, found window %p (id %d)",
             where.c_str(), id, static_cast<void*>(focusWindowOf(program)),
             GetDlgCtrlID(focusWindowOf(program)))) {
    return false;
  }
  bool moved = true;
  if (from == target) moved = tabOnce(program, false);
  from = tabPosition(program, focusWindowOf(program));
  const int forward = (target - from + tabStopCount) % tabStopCount;
  const bool back = forward > tabStopCount / 2;
  for (int i = 0; moved && i < (back ? tabStopCount - forward : forward); ++i) {
    moved = tabOnce(program, back);
  }
  HWND edit = field(program, id);
  if (!CHECK(moved && focusWindowOf(program) == edit,
             "%s: Tab/Shift+Tab towards field %d: expected the focus there, got id %d",
             where.c_str(), id, GetDlgCtrlID(focusWindowOf(program)))) {
    return false;
  }
  const std::wstring text = textOf(edit);
  DWORD start = 0, end = 0;
  selectionOf(edit, &start, &end);
  return CHECK(start == 0 && end == text.size(),
               "%s: field %d entered by Tab: expected its whole text %s selected (0-%zu), got "
               "%lu-%lu",
               where.c_str(), id, quoted(text).c_str(), text.size(),
               static_cast<unsigned long>(start), static_cast<unsigned long>(end));
}

// Types `text` into the focused field `id` key by key (the first key replaces
// the selection), waiting for each key to show.
bool typeKeys(const Program& program, int id, const std::wstring& text, const std::string& where) {
  HWND edit = field(program, id);
  std::wstring shown;
  for (wchar_t c : text) {
    shown += c;
    typeKey(c);
    if (!waitUntil(reactionTimeout, [&] { return textOf(edit) == shown; })) {
      return CHECK(false,
                   "%s: typing %s into field %d key by key: expected %s after the key %s, "
                   "the field shows %s",
                   where.c_str(), quoted(text).c_str(), id, quoted(shown).c_str(),
                   quoted(std::wstring(1, c)).c_str(), quoted(textOf(edit)).c_str());
    }
  }
  return true;
}

// Waits until the dialog is active again; reports when it is not.
bool dialogActiveAgain(const Program& program, const std::string& where) {
  const bool active =
      waitUntil(reactionTimeout, [&] { return receivesKeys(program, program.dialog); });
  return CHECK(active, "%s: expected the dialog %p active again, got active %p, foreground %p",
               where.c_str(), static_cast<void*>(program.dialog),
               static_cast<void*>(activeWindowOf(program)),
               static_cast<void*>(GetForegroundWindow()));
}

// Presses Esc on the flicker window, which must be active; waits for it to go
// and the dialog to be active again.
bool escapeFlicker(const Program& program, HWND flicker, const std::string& where) {
  if (!CHECK(receivesKeys(program, flicker),
             "%s: before Esc: expected the flicker window %p active, got active %p, foreground %p",
             where.c_str(), static_cast<void*>(flicker),
             static_cast<void*>(activeWindowOf(program)),
             static_cast<void*>(GetForegroundWindow()))) {
    // Esc in the dialog would end the program: close the flicker window by
    // message.
    PostMessageW(flicker, WM_KEYDOWN, VK_ESCAPE, 1);
    waitUntil(reactionTimeout, [&] { return !IsWindow(flicker); });
    return false;
  }
  pressKey(VK_ESCAPE, false);
  const bool closed = waitUntil(reactionTimeout, [&] { return !IsWindow(flicker); });
  if (!CHECK(closed, "%s: Esc on the flicker window: expected it closed; it is still there",
             where.c_str())) {
    return false;
  }
  return dialogActiveAgain(program, where + ", after Esc on the flicker window");
}

// Presses Enter in the dialog's focused field (Start) and waits for a new
// flicker window, active; null (after reporting) when none comes.
HWND enterStart(const Program& program, HWND old, const std::string& where) {
  if (!CHECK(receivesKeys(program, program.dialog),
             "%s: before Enter: expected the dialog active, got active %p", where.c_str(),
             static_cast<void*>(activeWindowOf(program)))) {
    return nullptr;
  }
  pressKey(VK_RETURN, false);
  HWND flicker = waitForFlicker(program, old);
  if (!CHECK(flicker != nullptr, "%s: Enter in field %d: expected a new flicker window, found none",
             where.c_str(), GetDlgCtrlID(focusWindowOf(program)))) {
    return nullptr;
  }
  const bool active = waitUntil(reactionTimeout, [&] { return receivesKeys(program, flicker); });
  CHECK(active, "%s: Enter: expected the new flicker window %p active, got active %p",
        where.c_str(), static_cast<void*>(flicker), static_cast<void*>(activeWindowOf(program)));
  return flicker;
}

// A step the guide tells: move to the field, type the text; into ② it is
// followed by Enter (Start) and Esc on the flicker window.
bool guideStep(const Program& program, const GuideStep& step, const std::string& where) {
  if (!tabToField(program, step.field, where)) return false;
  if (!typeKeys(program, step.field, wide(step.text), where)) return false;
  if (step.field != IDC_FLASH_RATE) return true;
  HWND flicker = enterStart(program, nullptr, where);
  return flicker != nullptr && escapeFlicker(program, flicker, where);
}

// Follows an example step by step and compares field ④ with its result.
// `sources` names every document, language and line that prints it.
void walkExample(const Program& program, const GuideExample& example, const std::string& sources) {
  if (!receivesKeys(program, program.dialog)) activate(program, program.dialog);
  if (!dialogActiveAgain(program, "before " + sources)) return;
  for (const GuideStep& step : example.steps) {
    const std::string where = sources + ", step at line " + std::to_string(step.line) + " (" +
                              (step.field == IDC_FLASH_RATE ? "\xE2\x91\xA1" : "\xE2\x91\xA2") +
                              " `" + step.text + "`)";
    if (!guideStep(program, step, where)) return;
  }
  const std::wstring shown = fieldText(program, IDC_ESTIMATED_RATE);
  CHECK(shown == wide(example.result),
        "%s: %s: expected field 1004 (\xE2\x91\xA3) to show exactly %s, got %s", sources.c_str(),
        describeExample(example).c_str(), quoted(wide(example.result)).c_str(),
        quoted(shown).c_str());
}

// The guide's documents: README.md and docs/README.txt.
struct GuideDocument {
  const char* name;
  GuideKind kind;
  std::string text;
};

// A file's bytes; a Unix path from CTest is tried as it is (on the current
// drive) and on Z:, where Wine maps the Unix root.
bool readDocument(const std::wstring& path, std::string* bytes) {
  for (const std::wstring& name : {path, L"Z:" + path}) {
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      bytes->append(buffer, got);
    }
    CloseHandle(file);
    return true;
  }
  return false;
}

// An example to drive, and every place of the guide that prints it.
struct DrivenExample {
  GuideExample example;
  std::string sources;
};

// Reads the examples of README.md and README.txt (reporting their problems and
// where their lists differ) and returns each distinct example once, with its
// sources.
std::vector<DrivenExample> guideExamples(const GuideDocument (&documents)[2]) {
  std::vector<DrivenExample> driven;
  ParsedGuide guides[2];
  for (int d = 0; d < 2; ++d) {
    const GuideDocument& document = documents[d];
    guides[d] = parseGuide(document.text, document.kind);
    for (const GuideProblem& problem : guides[d].problems) {
      CHECK(false, "%s line %d: %s", document.name, problem.line, problem.text.c_str());
    }
    for (const GuidePart* part : {&guides[d].japanese, &guides[d].english}) {
      for (const GuideExample& example : part->examples) {
        const std::string source = std::string(document.name) + " " + part->language + " line " +
                                   std::to_string(example.line);
        bool known = false;
        for (DrivenExample& seen : driven) {
          if (!known && sameExample(seen.example, example)) {
            seen.sources += ", " + source;
            known = true;
          }
        }
        if (!known) driven.push_back(DrivenExample{example, source});
      }
    }
  }
  const auto expectSame = [](const std::vector<GuideExample>& a, const std::string& aName,
                             const std::vector<GuideExample>& b, const std::string& bName) {
    const std::string difference = compareExamples(a, aName, b, bName);
    CHECK(difference.empty(), "the guide's examples: %s", difference.c_str());
  };
  for (int d = 0; d < 2; ++d) {
    const std::string name = documents[d].name;
    expectSame(guides[d].japanese.examples, name + " Japanese", guides[d].english.examples,
               name + " English");
  }
  // README.txt holds README.md's quick start.
  const std::string readme = documents[0].name;
  const std::string readmeTxt = documents[1].name;
  expectSame(guides[1].japanese.examples, readmeTxt + " Japanese",
             quickStartExamples(guides[0].japanese), readme + " quick start (Japanese)");
  expectSame(guides[1].english.examples, readmeTxt + " English",
             quickStartExamples(guides[0].english), readme + " quick start (English)");
  CHECK(!driven.empty(), "the guide's examples: expected worked examples in %s and %s, found none",
        readme.c_str(), readmeTxt.c_str());
  return driven;
}

// Drives every worked example of the guide once, as the guide tells it.
void checkGuideWalkthrough(const Program& program, const std::vector<DrivenExample>& examples) {
  for (const DrivenExample& example : examples) {
    walkExample(program, example.example, example.sources);
  }
}

// Tab into a field selects its whole text. After Esc on the flicker window the
// dialog
// is active again with the field that had the focus still focused (its text
// not selected again), and one Tab, as the guide's step after Esc says,
// moves to the time field with its whole text selected, so that typing
// replaces it.
void checkSelectionAfterEsc(const Program& program) {
  const std::string what = "selection after Esc";
  if (!receivesKeys(program, program.dialog)) activate(program, program.dialog);
  if (!tabToField(program, IDC_PASS_TIME, what) ||
      !typeKeys(program, IDC_PASS_TIME, L"12.5", what) ||
      !tabToField(program, IDC_FLASH_RATE, what) ||  // from ③: Shift+Tab
      !typeKeys(program, IDC_FLASH_RATE, L"59.9", what)) {
    return;
  }
  HWND flicker = enterStart(program, nullptr, what);
  if (flicker == nullptr || !escapeFlicker(program, flicker, what)) return;
  HWND edit = field(program, IDC_FLASH_RATE);
  const bool focused = waitUntil(reactionTimeout, [&] { return focusWindowOf(program) == edit; });
  if (!CHECK(focused, "%s: expected field 1002 (\xE2\x91\xA1) to have the focus again, got id %d",
             what.c_str(), GetDlgCtrlID(focusWindowOf(program)))) {
    return;
  }
  HWND time = field(program, IDC_PASS_TIME);
  pressKey(VK_TAB, false);
  const bool moved = waitUntil(reactionTimeout, [&] { return focusWindowOf(program) == time; });
  DWORD start = 0, end = 0;
  selectionOf(time, &start, &end);
  if (!CHECK(moved && start == 0 && end == 4,
             "%s: one Tab after Esc: expected field 1003 (\xE2\x91\xA2) focused with its whole "
             "text \"12.5\" selected (0-4); got id %d, selection %lu-%lu",
             what.c_str(), GetDlgCtrlID(focusWindowOf(program)), static_cast<unsigned long>(start),
             static_cast<unsigned long>(end))) {
    return;
  }
  typeKey(L'7');
  waitUntil(reactionTimeout, [&] { return textOf(time) != L"12.5"; });
  const std::wstring typed = textOf(time);
  CHECK(typed == L"7", "%s: typing '7' into the selected field 1003: expected \"7\", got %s",
        what.c_str(), quoted(typed).c_str());
}

// Stopping without widening: during a run the user makes the dialog active
// (as by clicking it) and presses Enter: a new flicker window, active and 32 pixels
// wide, replaces the old one, and Esc on it stops the run.
void checkStopWithoutWidening(const Program& program) {
  const std::string what = "stopping without widening";
  if (!receivesKeys(program, program.dialog)) activate(program, program.dialog);
  if (!tabToField(program, IDC_FLASH_RATE, what) ||
      !typeKeys(program, IDC_FLASH_RATE, L"60", what)) {
    return;
  }
  HWND first = enterStart(program, nullptr, what);
  if (first == nullptr) return;
  const bool dialogActive = activate(program, program.dialog);
  CHECK(dialogActive, "%s: SetForegroundWindow(dialog) during a run: expected it active, got %p",
        what.c_str(), static_cast<void*>(activeWindowOf(program)));
  HWND second = dialogActive ? enterStart(program, first, what + ", Enter in the dialog") : nullptr;
  if (second == nullptr) {
    if (IsWindow(first)) PostMessageW(first, WM_KEYDOWN, VK_ESCAPE, 1);
    return;
  }
  CHECK(!IsWindow(first) && sameRect(windowRect(second), narrowRect()),
        "%s: Enter in the active dialog: expected the old flicker window gone and a new one at "
        "%s; the "
        "old one is %s, the new one at %s",
        what.c_str(), rectText(narrowRect()).c_str(), IsWindow(first) ? "still there" : "gone",
        rectText(windowRect(second)).c_str());
  if (!escapeFlicker(program, second, what + ", the new flicker window")) return;
  CHECK(flickerWindows(program).empty() && fieldText(program, IDC_FLASH_RATE) == L"60",
        "%s: after Esc on the new flicker window: expected none and field 1002 "
        "(\xE2\x91\xA1) still \"60\"; got %zu flicker window(s) and %s",
        what.c_str(), flickerWindows(program).size(),
        quoted(fieldText(program, IDC_FLASH_RATE)).c_str());
}

// Text that is not read: full-width digits in ② make Start read no flash
// rate, so the flicker window is never painted and the result is 1/time
// alone; in ③
// they make the time unread, so ④ shows the flash rate itself.
void checkTextNotRead(const Program& program) {
  const std::string what = "full-width flash rate";
  const std::wstring fullWidth = L"５９．９１";
  if (!receivesKeys(program, program.dialog)) activate(program, program.dialog);
  if (!tabToField(program, IDC_FLASH_RATE, what) ||
      !typeKeys(program, IDC_FLASH_RATE, fullWidth, what)) {
    return;
  }
  POINT points[8];
  narrowPoints(points);
  COLORREF before[8];
  readScreen(points, 6, before);
  HWND flicker = enterStart(program, nullptr, what);
  if (flicker == nullptr) return;
  // Nothing paints the flicker window: the screen keeps what was there
  // before Start.
  const double shown = secondsNow();
  std::string changed;
  while (changed.empty() && secondsNow() < shown + 1.5) {
    COLORREF now[8];
    readScreen(points, 6, now);
    for (int i = 0; i < 6 && changed.empty(); ++i) {
      if (now[i] != before[i]) {
        char text[160];
        snprintf(text, sizeof text, "(%ld,%ld) turned from %s to %s %.2f s after the window showed",
                 points[i].x, points[i].y, colourText(before[i]).c_str(),
                 colourText(now[i]).c_str(), secondsNow() - shown);
        changed = text;
      }
    }
    Sleep(20);
  }
  CHECK(changed.empty(),
        "%s %s: expected the flicker window never painted for 1.5 s after Start (no toggle); "
        "%s",
        what.c_str(), quoted(fullWidth).c_str(), changed.c_str());
  if (!escapeFlicker(program, flicker, what)) return;

  const std::string fullWidthText = utf8(fullWidth);
  const struct {
    GuideStep steps[2];
    const char* result;
    const char* name;
  } cases[] = {
      // Start read no flash rate (0); the unread time gives 1/(largest double).
      {{{IDC_PASS_TIME, "\xEF\xBC\x92\xEF\xBC\x95", 0}, {0, "", 0}},
       "0.000000",
       "full-width ② after Start, then full-width ③ `２５`"},
      // The unread time leaves the flash rate itself.
      {{{IDC_FLASH_RATE, "59.91", 0},
        {IDC_PASS_TIME,
         "\xEF\xBC\x91\xEF\xBC\x96\xEF\xBC\x8E\xEF"
         "\xBC\x96\xEF\xBC\x97",
         0}},
       "59.910000",
       "② `59.91`, then full-width ③ `１６．６７`"},
      // Start with a full-width flash rate reads 0: the result is 1/25.
      {{{IDC_FLASH_RATE, fullWidthText, 0}, {IDC_PASS_TIME, "25", 0}},
       "0.040000",
       "full-width ② `５９．９１` and Start, then ③ `25`"},
  };
  for (const auto& c : cases) {
    GuideExample example{{}, c.result, 0, false};
    for (const GuideStep& step : c.steps) {
      if (step.field != 0) example.steps.push_back(step);
    }
    walkExample(program, example, std::string("text that is not read: ") + c.name);
  }
}

// Start, the colours of the narrow and the full-width flicker window, width
// switching and
// the routing of the main loop. Returns the flicker window of the run still
// going at the end, or null when something failed badly.
HWND checkRun(const Program& program) {
  setTextOf(field(program, IDC_FLASH_RATE), L"1");
  setTextOf(field(program, IDC_REPORTED_RATE), L"stale");
  const RunStart start = pressStart(program, true);
  note("Start by a click took %.3f s", start.latest - start.earliest);
  HWND flicker = waitForFlicker(program, nullptr);
  if (!CHECK(flicker != nullptr,
             "Start (button click): expected a visible window of class \"Popup\" of the "
             "program, found %p",
             static_cast<void*>(flicker))) {
    return nullptr;
  }
  checkNewFlicker(program, flicker, "Start (button click)");
  checkFieldText(program, IDC_REPORTED_RATE, reportedRateText, "after Start (rate refreshed)");

  POINT points[8];
  narrowPoints(points);
  checkColours(start, "narrow window's colours", points, 6, 4, start.earliest);

  // Click, Enter and Space switch the width; nothing else does.
  if (!switchWidth(flicker, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10), wideRect(),
                   "click on the narrow window")) {
    return nullptr;
  }
  widePoints(points);
  checkColours(start, "full-width colours", points, 5, 2, secondsNow());
  switchWidth(flicker, WM_KEYDOWN, VK_RETURN, 1, narrowRect(), "Enter on the full-width window");
  switchWidth(flicker, WM_KEYDOWN, VK_SPACE, 1, wideRect(), "Space on the narrow window");
  // Messages that must not switch, then one that must: exactly one switch.
  PostMessageW(flicker, WM_KEYDOWN, 'A', 1);
  PostMessageW(flicker, WM_KEYDOWN, VK_TAB, 1);
  PostMessageW(flicker, WM_KEYUP, VK_SPACE, 0xC0000001);
  PostMessageW(flicker, WM_CHAR, L' ', 1);
  PostMessageW(flicker, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
  PostMessageW(flicker, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
  switchWidth(flicker, WM_KEYDOWN, VK_SPACE, 1, narrowRect(),
              "A, Tab, Space key-up, a space character, left-button up, right-button down, "
              "then Space");
  narrowPoints(points);
  checkColours(start, "narrow window's colours after switching back", points, 6, 1, secondsNow());

  // While the dialog is active, the loop hands every message to the dialog
  // and drops those for other windows.
  const bool dialogActive = activate(program, program.dialog);
  CHECK(dialogActive,
        "SetForegroundWindow(dialog) during a run: expected the dialog active, got %p",
        static_cast<void*>(activeWindowOf(program)));
  if (dialogActive) {
    // One message only: a dispatched Space would switch the width and
    // activate the flicker window, and a second one would hide the first.
    setTextOf(field(program, IDC_PASS_TIME), L"");
    PostMessageW(flicker, WM_KEYDOWN, VK_SPACE, 1);
    const bool handled = typeChar(program, IDC_PASS_TIME, L'7', L"7");
    CHECK(handled && sameRect(windowRect(flicker), narrowRect()) &&
              activeWindowOf(program) == program.dialog,
          "Space posted to the flicker window while the dialog is active: expected it dropped "
          "(window still at %s, dialog still active); got %s, active %p (later typing %s)",
          rectText(narrowRect()).c_str(), rectText(windowRect(flicker)).c_str(),
          static_cast<void*>(activeWindowOf(program)), handled ? "handled" : "not handled");
  }
  const bool flickerActive = activate(program, flicker);
  CHECK(flickerActive, "SetForegroundWindow(flicker window): expected it active, got %p",
        static_cast<void*>(activeWindowOf(program)));
  if (!flickerActive) return nullptr;
  switchWidth(flicker, WM_KEYDOWN, VK_SPACE, 1, wideRect(),
              "Space posted to the flicker window once it is active again");
  // While the flicker window is active, the dialog's messages are dispatched
  // without dialog handling: Tab in a field does not move the focus (which
  // would also activate the dialog).
  PostMessageW(field(program, IDC_PASS_TIME), WM_KEYDOWN, VK_TAB, 1);
  const bool typed = typeChar(program, IDC_PASS_TIME, L'8', L"78");
  CHECK(typed && activeWindowOf(program) == flicker && focusWindowOf(program) == flicker,
        "Tab posted to field 1003 while the flicker window is active: expected no dialog "
        "navigation (the flicker window %p keeps activation and focus), got active %p, focus %p",
        static_cast<void*>(flicker), static_cast<void*>(activeWindowOf(program)),
        static_cast<void*>(focusWindowOf(program)));
  return flicker;
}

// Esc closes the flicker window but not the program; Start then begins a
// fresh run in a fresh narrow flicker window, and Start during a run replaces
// the run.
HWND checkEscapeAndRestart(const Program& program, HWND flicker) {
  PostMessageW(flicker, WM_KEYDOWN, VK_ESCAPE, 1);
  const bool closed = waitUntil(reactionTimeout, [&] { return !IsWindow(flicker); });
  CHECK(closed, "Esc on the flicker window: expected it destroyed; it is %s",
        closed ? "gone" : "still there");
  if (!closed) return nullptr;
  CHECK(programRunning(program),
        "after Esc on the flicker window: expected the program running; it is %s",
        programRunning(program) ? "running" : "gone");
  std::wstring answer = fieldText(program, IDC_FLASH_RATE);
  CHECK(answer == L"1",
        "after Esc on the flicker window: expected the dialog to answer (field 1002 \"1\"), got "
        "%s",
        quoted(answer).c_str());
  CHECK(flickerWindows(program).empty() && noticeWindows(program).empty(),
        "after Esc on the flicker window: expected no flicker window and no notice, got %zu and "
        "%zu",
        flickerWindows(program).size(), noticeWindows(program).size());

  // The old window was wide; the new one starts narrow again.
  RunStart start = pressStart(program);
  HWND second = waitForFlicker(program, flicker);
  if (!CHECK(second != nullptr, "Start after Esc: expected a new flicker window, found %p",
             static_cast<void*>(second))) {
    return nullptr;
  }
  checkNewFlicker(program, second, "Start after Esc");
  POINT points[8];
  narrowPoints(points);
  checkColours(start, "narrow window's colours of the run after Esc", points, 6, 1, start.earliest);
  switchWidth(second, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10), wideRect(),
              "first click on the new narrow window");

  // Start during a run: the old window goes, a new narrow one comes, no notice,
  // and the colours start from the first toggle again.
  start = pressStart(program);
  HWND third = waitForFlicker(program, second);
  if (!CHECK(third != nullptr, "Start during a run: expected a new flicker window, found %p",
             static_cast<void*>(third))) {
    return nullptr;
  }
  CHECK(!IsWindow(second),
        "Start during a run: expected the old flicker window %p destroyed; it is %s",
        static_cast<void*>(second), IsWindow(second) ? "still there" : "gone");
  checkNewFlicker(program, third, "Start during a run");
  CHECK(noticeWindows(program).empty(), "Start during a run: expected no notice, got %zu window(s)",
        noticeWindows(program).size());
  checkColours(start, "narrow window's colours of the restarted run", points, 6, 2, start.earliest);
  return third;
}

// First launch: start-up, typing, the guide's walkthroughs, a run and closing
// during a run.
void firstLaunch(const std::wstring& path, const std::vector<DrivenExample>& examples) {
  Program program;
  if (!startProgram(path, &program)) {
    endProgram(&program);
    return;
  }
  checkDialogWindow(program);
  checkCaptionIcon(program, path);
  checkControls(program);
  checkStartupFields(program);
  checkTyping(program);
  checkReadOnlyFields(program);
  checkGuideWalkthrough(program, examples);
  checkSelectionAfterEsc(program);
  checkStopWithoutWidening(program);
  checkTextNotRead(program);
  HWND flicker = checkRun(program);
  if (flicker != nullptr) flicker = checkEscapeAndRestart(program, flicker);
  if (flicker != nullptr && programRunning(program)) {
    // The close box during a run ends the program without a notice.
    sendWithTimeout(program.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    expectExit(program, "close box (SC_CLOSE) during a run", reactionTimeout * 2);
    CHECK(!IsWindow(flicker),
          "after closing during a run: expected the flicker window gone; it is %s",
          IsWindow(flicker) ? "still there" : "gone");
  }
  endProgram(&program);
}

// ---- Second launch: keyboard in the dialog and the frame-drop notice -----------------

// Tab moves through the tab stops in creation order, wrapping around.
void checkTabOrder(const Program& program) {
  const int* order = tabStops;
  const int stops = tabStopCount;
  // Which control has the focus at first is the platform's choice. Under
  // Wine the dialog itself holds it for a moment after start-up until its
  // default handling hands it to a control; wait for that, or bring it to a
  // control with one Tab if it does not happen.
  const auto inControl = [&] { return IsChild(program.dialog, focusWindowOf(program)) != 0; };
  if (!waitUntil(5.0, inControl)) {
    PostMessageW(focusWindowOf(program), WM_KEYDOWN, VK_TAB, 1);
    waitUntil(reactionTimeout, inControl);
  }
  HWND focus = focusWindowOf(program);
  int position = -1;
  for (int i = 0; i < stops; ++i) {
    if (focus == field(program, order[i])) position = i;
  }
  if (!CHECK(position >= 0, "dialog focus: expected a tab stop, got %p (id %d)",
             static_cast<void*>(focus), GetDlgCtrlID(focus))) {
    return;
  }
  std::string path;
  bool inOrder = true;
  for (int step = 1; step <= stops; ++step) {
    HWND from = focusWindowOf(program);
    PostMessageW(from, WM_KEYDOWN, VK_TAB, 1);
    HWND expected = field(program, order[(position + step) % stops]);
    waitUntil(reactionTimeout, [&] { return focusWindowOf(program) == expected; });
    HWND now = focusWindowOf(program);
    path += " " + std::to_string(GetDlgCtrlID(now));
    if (now != expected) {
      inOrder = false;
      break;
    }
  }
  CHECK(inOrder,
        "Tab from id %d, %d times: expected the focus to visit 1, 1001, ..., 1007 in order and "
        "wrap; it visited%s",
        order[position], stops, path.c_str());
}

// Moves the focus with Tab until it is in control `id`.
bool tabTo(const Program& program, int id) {
  for (int i = 0; i < 9 && focusWindowOf(program) != field(program, id); ++i) {
    HWND from = focusWindowOf(program);
    PostMessageW(from, WM_KEYDOWN, VK_TAB, 1);
    waitUntil(reactionTimeout, [&] { return focusWindowOf(program) != from; });
  }
  return focusWindowOf(program) == field(program, id);
}

void checkNotice(const Program& program) {
  // Limits of 0 stop the run at the first pass with two or more toggles due.
  // At 10000 flashes per second a toggle is due every 50 us, and the first
  // pass comes only after the window has been created and shown, so it has
  // many due; 1024 strips make every pass slow as well.
  setTextOf(field(program, IDC_FLASH_RATE), L"10000");
  setTextOf(field(program, IDC_MAX_DROP_FRAMES), L"0");
  setTextOf(field(program, IDC_MAX_CONSECUTIVE_DROPS), L"0");
  setTextOf(field(program, IDC_STRIP_COUNT), L"1024");
  if (!CHECK(tabTo(program, IDC_STRIP_COUNT), "Tab to field 1007: expected the focus there, got %p",
             static_cast<void*>(focusWindowOf(program)))) {
    return;
  }
  // Enter in a field presses the default button.
  PostMessageW(field(program, IDC_STRIP_COUNT), WM_KEYDOWN, VK_RETURN, 1);
  HWND notice = nullptr;
  waitUntil(reactionTimeout * 3, [&] {
    std::vector<HWND> found = noticeWindows(program);
    notice = found.empty() ? nullptr : found[0];
    return notice != nullptr && IsWindowVisible(notice);
  });
  if (!CHECK(notice != nullptr,
             "Enter in field 1007 with flash rate 10000 and drop limits 0: expected a notice "
             "window (class #32770) within %.0f s; found %p, and %zu flicker window(s)",
             reactionTimeout * 3, static_cast<void*>(notice), flickerWindows(program).size())) {
    return;
  }
  CHECK(textOf(notice) == noticeCaption, "notice caption: expected %s, got %s",
        quoted(noticeCaption).c_str(), quoted(textOf(notice)).c_str());
  CHECK(GetWindow(notice, GW_OWNER) == program.dialog,
        "notice owner: expected the dialog %p, got %p", static_cast<void*>(program.dialog),
        static_cast<void*>(GetWindow(notice, GW_OWNER)));
  CHECK(!IsWindowEnabled(program.dialog),
        "while the notice shows: expected the dialog disabled (the notice is modal); it is %s",
        IsWindowEnabled(program.dialog) ? "enabled" : "disabled");
  std::string texts;
  bool textFound = false;
  std::vector<HWND> buttons;
  for (HWND child = GetWindow(notice, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    const std::wstring className = classNameOf(child);
    if (className == L"Static") {
      const std::wstring text = textOf(child);
      if (text == noticeText) textFound = true;
      texts += " " + quoted(text);
    } else if (className == L"Button") {
      buttons.push_back(child);
    }
  }
  CHECK(textFound, "notice text: expected %s, the visible static texts are%s",
        quoted(noticeText).c_str(), texts.c_str());
  CHECK(buttons.size() == 1 && GetDlgCtrlID(buttons[0]) == IDOK,
        "notice buttons: expected one, OK (id 1); got %zu, first id %d (%s)", buttons.size(),
        buttons.empty() ? 0 : GetDlgCtrlID(buttons[0]),
        buttons.empty() ? "" : quoted(textOf(buttons[0])).c_str());
  CHECK(flickerWindows(program).empty(),
        "while the notice shows: expected the flicker window gone, found %zu",
        flickerWindows(program).size());
  if (buttons.empty()) return;

  const bool dismissed = dismissNotice(notice);
  if (!CHECK(dismissed, "clicking the notice's OK: expected the notice closed; it is %s",
             dismissed ? "closed" : "still open")) {
    return;
  }
  // One stop rule fired, so there is only one notice.
  Sleep(1500);
  CHECK(noticeWindows(program).empty() && IsWindowEnabled(program.dialog),
        "after the notice was dismissed: expected no further notice and the dialog enabled, "
        "got %zu notice(s), dialog %s",
        noticeWindows(program).size(), IsWindowEnabled(program.dialog) ? "enabled" : "disabled");
  const char* when = "after the stop";
  checkFieldText(program, IDC_FLASH_RATE, L"10000", when);
  checkFieldText(program, IDC_MAX_DROP_FRAMES, L"0", when);
  checkFieldText(program, IDC_MAX_CONSECUTIVE_DROPS, L"0", when);
  checkFieldText(program, IDC_STRIP_COUNT, L"1024", when);

  // The next Start rereads the fields: without limits the same rate runs on.
  setTextOf(field(program, IDC_MAX_DROP_FRAMES), L"-1");
  setTextOf(field(program, IDC_MAX_CONSECUTIVE_DROPS), L"-1");
  pressStart(program);
  HWND flicker = waitForFlicker(program, nullptr);
  Sleep(1000);
  CHECK(flicker != nullptr && IsWindow(flicker) && noticeWindows(program).empty(),
        "Start with limits -1 after the stop: expected a run without a notice after 1 s; "
        "flicker window %s, %zu notice(s)",
        flicker == nullptr ? "never seen" : (IsWindow(flicker) ? "present" : "gone"),
        noticeWindows(program).size());
  if (flicker != nullptr) {
    PostMessageW(flicker, WM_KEYDOWN, VK_ESCAPE, 1);
    const bool closed = waitUntil(reactionTimeout, [&] { return !IsWindow(flicker); });
    CHECK(closed, "Esc on the flicker window: expected it destroyed; it is %s",
          closed ? "gone" : "still there");
  }
}

void secondLaunch(const std::wstring& path) {
  Program program;
  if (!startProgram(path, &program)) {
    endProgram(&program);
    return;
  }
  const bool active =
      waitUntil(reactionTimeout, [&] { return activeWindowOf(program) == program.dialog; });
  CHECK(active, "after start-up: expected the dialog active, got %p",
        static_cast<void*>(activeWindowOf(program)));
  checkTabOrder(program);
  checkNotice(program);
  if (!CHECK(programRunning(program),
             "before closing with Esc: expected the program running; it is %s",
             programRunning(program) ? "running" : "gone")) {
    endProgram(&program);
    return;
  }
  // Esc in the dialog closes it, and so the program, while it is active.
  if (!waitUntil(reactionTimeout, [&] { return activeWindowOf(program) == program.dialog; })) {
    note("the dialog did not become active again by itself; activating it");
    activate(program, program.dialog);
  }
  HWND focus = focusWindowOf(program);
  PostMessageW(focus != nullptr ? focus : program.dialog, WM_KEYDOWN, VK_ESCAPE, 1);
  expectExit(program, "Esc in the active dialog", reactionTimeout * 2);
  endProgram(&program);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc != 4) {
    printf("usage: e2e_driver PROGRAM.exe README.md README.txt\n");
    return 2;
  }
  // A hang anywhere must not block the test run.
  startWatchdog(1500);
  const double began = secondsNow();

  HDC screen = GetDC(nullptr);
  const int rate = GetDeviceCaps(screen, VREFRESH);
  ReleaseDC(nullptr, screen);
  reportedRateText = realText(rate);
  screenWidth = GetSystemMetrics(SM_CXSCREEN);
  screenHeight = GetSystemMetrics(SM_CYSCREEN);
  note("screen %dx%d, reported refresh rate %d", screenWidth, screenHeight, rate);

  GuideDocument documents[] = {{"README.md", guideMarkdown, ""},
                               {"README.txt", guidePlainText, ""}};
  for (int i = 0; i < 2; ++i) {
    CHECK(readDocument(argv[2 + i], &documents[i].text) && !documents[i].text.empty(),
          "the guide: expected %s at %s, cannot read it", documents[i].name,
          quoted(argv[2 + i]).c_str());
  }
  const std::vector<DrivenExample> examples = guideExamples(documents);
  note("%zu distinct worked examples in the guide", examples.size());
  firstLaunch(argv[1], examples);
  secondLaunch(argv[1]);

  note("the test took %.1f s", secondsNow() - began);
  return endChecks();
}
