#include "frontend/settings_dialog.h"

#include "core/pacer.h"
#include "core/settings.h"
#include "frontend/flicker_window.h"
#include "resources/resource.h"

static void setIcon(HWND dialog, WPARAM which, int size) {
  // The icons live as long as the program; they are never destroyed.
  HANDLE icon = LoadImageW(programInstance(), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, size, size,
                           LR_DEFAULTCOLOR);
  SendMessageW(dialog, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
}

static void destroyFlickerWindowIfAny() {
  if (IsWindow(flickerWindow())) DestroyWindow(flickerWindow());
}

static void startCommand() {
  destroyFlickerWindowIfAny();
  writeRealField(IDC_REPORTED_RATE, reportedRefreshRate());
  beginRun();
  createFlickerWindow();
}

static void command(WORD code, WORD id) {
  if (code == BN_CLICKED) {
    if (id == IDOK) {
      startCommand();
    } else if (id == IDCANCEL) {
      PostMessageW(dialogWindow(), WM_CLOSE, 0, 0);
    }
    return;
  }
  if (code == EN_CHANGE) fieldChanged(id);
}

// Returns 0 for every message, so default dialog processing always follows.
INT_PTR CALLBACK settingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      setIcon(dialog, ICON_BIG, 32);
      setIcon(dialog, ICON_SMALL, 16);
      break;
    case WM_COMMAND:
      command(HIWORD(wParam), LOWORD(wParam));
      break;
    case WM_CLOSE:
      DestroyWindow(dialogWindow());
      break;
    case WM_DESTROY:
      destroyFlickerWindowIfAny();
      PostQuitMessage(0);
      break;
    default:
      break;
  }
  return 0;
}
