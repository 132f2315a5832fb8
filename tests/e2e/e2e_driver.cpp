// End-to-end test of ルカネミ: starts the program given as the first argument,
// drives it through its windows as a user would (typing into the dialog,
// pressing Start, clicking and keying the flicker window, closing) and checks
// what it shows, including the flicker colours read back from the screen.
//
// Two launches: the first covers start-up, typing, the user guide's worked
// examples (the second argument is the guide, README.md), a run with its
// colours, width switching, message routing, Esc, restarts and closing during
// a run;
// the second covers the tab order, Enter, the frame-drop notice and Esc in the
// dialog. Ends with the line "N passed, M failed" and a non-zero exit code on
// any failure.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "resources/resource.h"
#include "tests/support/harness.h"

namespace {

// The program's texts.
const wchar_t dialogCaption[] = L"ルカネミ";
const wchar_t noticeCaption[] = L"情報";
const wchar_t noticeText[] = L"フレームドロップが制限に達したため描画を中止します。";
const wchar_t flickerClass[] = L"Popup";
const wchar_t dialogClass[] = L"#32770";
constexpr int stripWidth = 32;

// The program can take about a minute to start under emulation.
constexpr double startTimeout = 180.0;
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

HWND field(const Program& program, int id) { return GetDlgItem(program.dialog, id); }

std::wstring fieldText(const Program& program, int id) { return textOf(field(program, id)); }

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

// Starts the program and waits for its dialog; false (after reporting) when
// it does not appear.
bool startProgram(const std::wstring& path, Program* program) {
  const double launched = secondsNow();
  if (!launchProgram(path, program)) return false;
  const bool found = waitUntil(startTimeout, [&] {
    program->dialog = findCaptioned(program->info.dwProcessId, dialogCaption);
    return program->dialog != nullptr || !programRunning(*program);
  });
  if (!CHECK(found && program->dialog != nullptr,
             "start-up: expected a visible dialog of class #32770 captioned %s within %.0f s; "
             "%s",
             quoted(dialogCaption).c_str(), startTimeout,
             program->dialog != nullptr
                 ? "found it"
                 : (programRunning(*program) ? "found none" : "the process ended"))) {
    return false;
  }
  note("the dialog appeared %.1f s after the launch", secondsNow() - launched);
  return true;
}

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

  // Centred on the work area (DS_CENTER), so the flicker strip at the left
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
  checkEstimate(program, IDC_PASS_TIME, L"1" + std::wstring(61, L'0') + L"e-60", L"60.000000", what);

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
  checkEstimate(program, IDC_PASS_TIME, L"-10", realText(1.0 / -10 + _wtof(reportedRateText.c_str())),
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

// The program's flicker windows, visible or not.
std::vector<HWND> flickerWindows(const Program& program) {
  std::vector<HWND> found;
  for (HWND window : topLevelWindows(program.info.dwProcessId, flickerClass)) {
    found.push_back(window);
  }
  return found;
}

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

std::vector<HWND> noticeWindows(const Program& program) {
  std::vector<HWND> found;
  for (HWND window : topLevelWindows(program.info.dwProcessId, dialogClass)) {
    if (window != program.dialog) found.push_back(window);
  }
  return found;
}

RECT stripRect() { return RECT{0, 0, stripWidth, screenHeight}; }
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
  CHECK(sameRect(rect, stripRect()), "%s: flicker window: expected at %s, got %s", when,
        rectText(stripRect()).c_str(), rectText(rect).c_str());
  const bool active =
      waitUntil(reactionTimeout, [&] { return activeWindowOf(program) == flicker; });
  CHECK(active, "%s: expected the flicker window %p to be active, got %p", when,
        static_cast<void*>(flicker), static_cast<void*>(activeWindowOf(program)));
}

// When a run began: its Start command read the counter somewhere between
// `earliest` and `latest` (the driver's clock is the same counter).
struct RunStart {
  double earliest;
  double latest;
};

// Presses Start by sending the button a click, or by sending the dialog the
// command the button raises.
RunStart pressStart(const Program& program, bool click) {
  RunStart start;
  start.earliest = secondsNow();
  if (click) {
    sendWithTimeout(field(program, IDOK), BM_CLICK, 0, 0);
  } else {
    sendWithTimeout(program.dialog, WM_COMMAND, MAKEWPARAM(IDOK, 0),
                    reinterpret_cast<LPARAM>(field(program, IDOK)));
  }
  start.latest = secondsNow();
  return start;
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

// Points in each of the strip's four default strips, at the top, middle and
// bottom.
void stripPoints(POINT* points) {
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

// The user's guide (README.md), read as UTF-8; empty when it cannot be read.
std::wstring guideText;

bool readGuide(const std::wstring& path) {
  // A Unix path from CTest is tried as it is (on the current drive) and on Z:,
  // where Wine maps the Unix root.
  for (const std::wstring& name : {path, L"Z:" + path}) {
    HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    std::string bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
    CloseHandle(file);
    const int size = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()),
                                         nullptr, 0);
    guideText.assign(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), &guideText[0],
                        size);
    return true;
  }
  return false;
}

// One thing the guide tells the user to do: type `text` into field `id`
// (the flash rate or the time), then, for the flash rate, press Start and
// stop the flashing with Esc once it has begun.
struct GuideStep {
  int id;
  const wchar_t* text;
};

// A worked example of the guide: its steps in order and the rate the result
// field must then show (the display's rate the example stands for).
struct GuideExample {
  const char* name;
  GuideStep steps[3];
  double rate;
};

// Each text is typed key by key exactly as the guide prints it, and must
// stand in the guide as `text` in both languages.
const GuideExample guideExamples[] = {
    {"formula, boundary moving down", {{IDC_FLASH_RATE, L"60"}, {IDC_PASS_TIME, L"25"}}, 60.04},
    {"formula, boundary moving up", {{IDC_FLASH_RATE, L"60"}, {IDC_PASS_TIME, L"-20"}}, 59.95},
    {"two runs, real rate above the first estimate",
     {{IDC_FLASH_RATE, L"60"}, {IDC_FLASH_RATE, L"60.03"}, {IDC_PASS_TIME, L"33.33"}},
     60.06},
    {"two runs, real rate below the first estimate",
     {{IDC_FLASH_RATE, L"60"}, {IDC_FLASH_RATE, L"60.03"}, {IDC_PASS_TIME, L"-11.11"}},
     59.94},
    {"one run below the shown 59.940 Hz", {{IDC_FLASH_RATE, L"59.91"}, {IDC_PASS_TIME, L"33.33"}},
     59.94},
    {"one run below the shown 240.000 Hz",
     {{IDC_FLASH_RATE, L"239.964"}, {IDC_PASS_TIME, L"27.78"}},
     240.0},
};

// Whether the guide shows `text` as code (`text`) in the Japanese and in the
// English part.
bool guideShows(const std::wstring& text) {
  const size_t english = guideText.find(L"\n## English");
  if (english == std::wstring::npos) return false;
  const std::wstring code = L"`" + text + L"`";
  const size_t first = guideText.find(code);
  return first < english && guideText.find(code, english) != std::wstring::npos;
}

// Starts a run as the guide says (the Start button), waits for the strip and
// stops it with Esc.
bool startAndStop(const Program& program, const char* what) {
  pressStart(program, true);
  HWND flicker = waitForFlicker(program, nullptr);
  if (!CHECK(flicker != nullptr, "%s: Start: expected a flicker window, found none", what)) {
    return false;
  }
  PostMessageW(flicker, WM_KEYDOWN, VK_ESCAPE, 1);
  return CHECK(waitUntil(reactionTimeout, [&] { return !IsWindow(flicker); }),
               "%s: Esc on the strip: expected it closed; it is still there", what);
}

// Replaces a field's text by typing it key by key after emptying the field.
bool typeText(const Program& program, int id, const std::wstring& text) {
  setTextOf(field(program, id), L"");
  std::wstring shown;
  for (wchar_t c : text) {
    shown += c;
    if (!typeChar(program, id, c, shown)) return false;
  }
  return true;
}

void checkGuideExamples(const Program& program) {
  CHECK(!guideText.empty(), "the guide: expected README.md to be readable; it is not");
  for (const GuideExample& example : guideExamples) {
    bool done = true;
    for (const GuideStep& step : example.steps) {
      if (step.text == nullptr) break;
      CHECK(guideShows(step.text),
            "%s: expected the guide to print `%s` in both languages; it does not", example.name,
            utf8(step.text).c_str());
      const bool typed = typeText(program, step.id, step.text);
      done = CHECK(typed, "%s: typing %s into field %d: the field shows %s", example.name,
                   quoted(step.text).c_str(), step.id,
                   quoted(fieldText(program, step.id)).c_str()) &&
             done;
      if (step.id == IDC_FLASH_RATE) done = startAndStop(program, example.name) && done;
    }
    const std::wstring result = fieldText(program, IDC_ESTIMATED_RATE);
    const double shown = _wtof(result.c_str());
    CHECK(done && shown > example.rate - 0.001 && shown < example.rate + 0.001,
          "%s: expected field 1004 within 0.001 of %.6f, got %s", example.name, example.rate,
          quoted(result).c_str());
  }
}

// Start, the colours of the strip and the full screen, width switching and
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
  stripPoints(points);
  checkColours(start, "strip colours", points, 6, 4, start.earliest);

  // Click, Enter and Space switch the width; nothing else does.
  if (!switchWidth(flicker, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10), wideRect(),
                   "click on the strip")) {
    return nullptr;
  }
  widePoints(points);
  checkColours(start, "full-width colours", points, 5, 2, secondsNow());
  switchWidth(flicker, WM_KEYDOWN, VK_RETURN, 1, stripRect(), "Enter on the full-width window");
  switchWidth(flicker, WM_KEYDOWN, VK_SPACE, 1, wideRect(), "Space on the strip");
  // Messages that must not switch, then one that must: exactly one switch.
  PostMessageW(flicker, WM_KEYDOWN, 'A', 1);
  PostMessageW(flicker, WM_KEYDOWN, VK_TAB, 1);
  PostMessageW(flicker, WM_KEYUP, VK_SPACE, 0xC0000001);
  PostMessageW(flicker, WM_CHAR, L' ', 1);
  PostMessageW(flicker, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
  PostMessageW(flicker, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(10, 10));
  switchWidth(flicker, WM_KEYDOWN, VK_SPACE, 1, stripRect(),
              "A, Tab, Space key-up, a space character, left-button up, right-button down, "
              "then Space");
  stripPoints(points);
  checkColours(start, "strip colours after switching back", points, 6, 1, secondsNow());

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
    CHECK(handled && sameRect(windowRect(flicker), stripRect()) &&
              activeWindowOf(program) == program.dialog,
          "Space posted to the flicker window while the dialog is active: expected it dropped "
          "(window still at %s, dialog still active); got %s, active %p (later typing %s)",
          rectText(stripRect()).c_str(), rectText(windowRect(flicker)).c_str(),
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
// fresh run in a fresh strip, and Start during a run replaces the run.
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

  // The old window was wide; the new one starts as the strip again.
  RunStart start = pressStart(program, false);
  HWND second = waitForFlicker(program, flicker);
  if (!CHECK(second != nullptr, "Start after Esc: expected a new flicker window, found %p",
             static_cast<void*>(second))) {
    return nullptr;
  }
  checkNewFlicker(program, second, "Start after Esc");
  POINT points[8];
  stripPoints(points);
  checkColours(start, "strip colours of the run after Esc", points, 6, 1, start.earliest);
  switchWidth(second, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10), wideRect(),
              "first click on the new strip");

  // Start during a run: the old window goes, a new strip comes, no notice,
  // and the colours start from the first toggle again.
  start = pressStart(program, false);
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
  checkColours(start, "strip colours of the restarted run", points, 6, 2, start.earliest);
  return third;
}

void checkExit(Program* program, const char* how) {
  DWORD exitCode = 0;
  const bool ended = waitForExit(*program, reactionTimeout * 2, &exitCode);
  CHECK(ended && exitCode == 0, "%s: expected the program to end with exit code 0, %s %lu", how,
        ended ? "got" : "still running after (s)",
        ended ? static_cast<unsigned long>(exitCode)
              : static_cast<unsigned long>(reactionTimeout * 2));
}

// First launch: start-up, typing, a run and closing during a run.
void firstLaunch(const std::wstring& path) {
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
  checkGuideExamples(program);
  HWND flicker = checkRun(program);
  if (flicker != nullptr) flicker = checkEscapeAndRestart(program, flicker);
  if (flicker != nullptr && programRunning(program)) {
    // The close box during a run ends the program without a notice.
    sendWithTimeout(program.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    checkExit(&program, "close box (SC_CLOSE) during a run");
    CHECK(!IsWindow(flicker),
          "after closing during a run: expected the flicker window gone; it is %s",
          IsWindow(flicker) ? "still there" : "gone");
  }
  endProgram(&program);
}

// ---- Second launch: keyboard in the dialog and the frame-drop notice -----------------

// Tab moves through the tab stops in creation order, wrapping around.
void checkTabOrder(const Program& program) {
  const int order[] = {IDOK,   IDC_REPORTED_RATE,  IDC_FLASH_RATE,           IDC_PASS_TIME,
                       IDC_ESTIMATED_RATE, IDC_MAX_DROP_FRAMES, IDC_MAX_CONSECUTIVE_DROPS, IDC_STRIP_COUNT};
  const int stops = 8;
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

  sendWithTimeout(buttons[0], BM_CLICK, 0, 0);
  const bool dismissed = waitUntil(reactionTimeout, [&] { return !IsWindow(notice); });
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
  pressStart(program, false);
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
  checkExit(&program, "Esc in the active dialog");
  endProgram(&program);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc != 3) {
    printf("usage: e2e_driver PROGRAM.exe README.md\n");
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

  readGuide(argv[2]);
  firstLaunch(argv[1]);
  secondLaunch(argv[1]);

  note("the test took %.1f s", secondsNow() - began);
  printf("%d passed, %d failed\n", passedChecks(), failedChecks());
  fflush(stdout);
  return failedChecks() == 0 ? 0 : 1;
}
