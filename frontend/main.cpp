// Program entry and the single loop that serves messages and, whenever the
// queue is empty during a run, runs one pacing pass.
#include "frontend/main.h"

#include "core/pacer.h"
#include "core/settings.h"
#include "frontend/flicker_window.h"
#include "frontend/settings_dialog.h"
#include "resources/resource.h"

void routeMessage(MSG* message) {
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
