#include "frontend/flicker_window.h"

static const wchar_t flickerClassName[] = L"Popup";
static const int narrowWidth = 32;  // the flicker window's width unless widened

bool registerFlickerWindowClass() {
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  // One device context shared by the class; no background brush, so erasing
  // paints nothing and all painting comes from the pacer.
  windowClass.style = CS_CLASSDC;
  windowClass.lpfnWndProc = flickerWindowProc;
  windowClass.hInstance = programInstance();
  windowClass.lpszClassName = flickerClassName;
  return RegisterClassExW(&windowClass) != 0;
}

void createFlickerWindow() {
  HWND window = CreateWindowExW(0, flickerClassName, nullptr, WS_POPUP, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                programInstance(), nullptr);
  frontEndState.flickerWindow = window;
  SetWindowPos(window, HWND_TOPMOST, 0, 0, narrowWidth, GetSystemMetrics(SM_CYSCREEN), 0);
  frontEndState.flickerWide = 0;
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
}

void toggleFlickerWidth() {
  if (frontEndState.flickerWide == 1) {
    SetWindowPos(flickerWindow(), HWND_TOPMOST, 0, 0, narrowWidth, GetSystemMetrics(SM_CYSCREEN),
                 0);
    frontEndState.flickerWide = 0;
  } else {
    SetWindowPos(flickerWindow(), HWND_TOPMOST, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                 GetSystemMetrics(SM_CYSCREEN), 0);
    frontEndState.flickerWide = 1;
  }
}

LRESULT CALLBACK flickerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_KEYDOWN:
      switch (LOWORD(wParam)) {
        case VK_RETURN:
        case VK_SPACE:
          toggleFlickerWidth();
          break;
        case VK_ESCAPE:
          PostMessageW(flickerWindow(), WM_CLOSE, 0, 0);
          break;
        default:
          break;
      }
      return 0;
    case WM_LBUTTONDOWN:
      toggleFlickerWidth();
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}
