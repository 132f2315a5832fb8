// The program under test as a user meets it, for every driver: its names,
// starting it until its dialog shows, the dialog's fields, Start, the
// frame-drop notice and the end of the program.
#pragma once

#include <string>
#include <vector>

#include "harness/harness.h"

// The program's names: the dialog's caption and class (resources/resource.rc),
// the frame-drop notice's caption and text (stopDrawing in core/pacer.cpp),
// and the flicker window's class and width (frontend/flicker_window.cpp).
const wchar_t dialogCaption[] = L"ルカネミ";
const wchar_t dialogClass[] = L"#32770";
const wchar_t noticeCaption[] = L"情報";
const wchar_t noticeText[] = L"フレームドロップが制限に達したため描画を中止します。";
const wchar_t flickerClass[] = L"Popup";
constexpr int flickerWidth = 32;

// How long the program may take to show its dialog: about a minute under
// emulation, so this is generous.
constexpr double startTimeout = 180.0;

// Starts the program and waits for its dialog (`program->dialog`); false,
// after a failed check, when the dialog does not show within startTimeout.
bool startProgram(const std::wstring& path, Program* program);

// Control `id` of the dialog, and its text.
HWND field(const Program& program, int id);
std::wstring fieldText(const Program& program, int id);

// When a run began: its Start command read the counter somewhere between
// `earliest` and `latest` (the driver's clock is the same counter).
struct RunStart {
  double earliest;
  double latest;
};

// Presses Start and waits for the dialog to handle it: sends the dialog the
// command its default button raises, or with `byClick` sends the button a
// click.
RunStart pressStart(const Program& program, bool byClick = false);

// The program's visible flicker windows.
std::vector<HWND> flickerWindows(const Program& program);
// The visible frame-drop notice (a dialog captioned noticeCaption), or null.
HWND findNotice(const Program& program);
// Dismisses a notice with its OK button as a user does; true once it is
// gone, within reactionTimeout.
bool dismissNotice(HWND notice);

// Waits at most `seconds` for the program to end and checks that it ended
// with exit code 0; `how` names what ended it. The exit code is stored in
// `exitCode` (when given) if the program ended.
bool expectExit(const Program& program, const char* how, double seconds, DWORD* exitCode = nullptr);
// Closes the dialog, which ends the program, and checks as expectExit does.
bool closeProgram(const Program& program, double seconds, DWORD* exitCode = nullptr);
