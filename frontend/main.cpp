// Program entry and the single loop that serves messages and, whenever the
// queue is empty during a run, runs one pacing pass.
#include "core/pacer.h"
#include "core/settings.h"
#include "frontend/flicker_window.h"
#include "frontend/settings_dialog.h"
#include "frontend/win32.h"
#include "resources/resource.h"

// While the dialog is active it takes every message; what it does not take
// is dropped. Otherwise the message is dispatched. Nothing is translated.
static void routeMessage(MSG* message) {
  if (GetActiveWindow() == dialogWindow()) {
    IsDialogMessageW(dialogWindow(), message);
  } else {
    DispatchMessageW(message);
  }
}

static int runMainLoop() {
  MSG message;
  for (;;) {
    while (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
      if (GetMessageW(&message, nullptr, 0, 0) == 0) return 0;
      routeMessage(&message);
    }
    if (pacerState.drawing && IsWindow(flickerWindow())) {
      runPass();
    } else {
      WaitMessage();
    }
  }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  frontEndState.instance = instance;
  frontEndState.dialogWindow =
      CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_SETTINGS), nullptr, settingsDialogProc, 0);
  // Without the dialog nothing could ever end the loop.
  if (dialogWindow() == nullptr) return 0;

  writeStartupFields();
  ShowWindow(dialogWindow(), SW_SHOW);
  SetActiveWindow(dialogWindow());

  if (!registerFlickerWindowClass()) return 0;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  pacerState.tickFrequency = frequency.QuadPart;

  return runMainLoop();
}
