// The flicker window: the topmost 32-pixel-wide window at the screen's left
// edge that the pacer paints in strips, switched to the full screen width and
// back by the user.
#pragma once

#include "frontend/win32.h"

// Registers the window class "Popup"; false if registration failed.
bool registerFlickerWindowClass();
void createFlickerWindow();
void toggleFlickerWidth();
LRESULT CALLBACK flickerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
