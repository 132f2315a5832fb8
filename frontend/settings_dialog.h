// The settings dialog: the tool's main window, a modeless dialog.
#pragma once

#include "frontend/win32.h"

INT_PTR CALLBACK settingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
