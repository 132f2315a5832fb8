// <windows.h> for the front end, and the program-wide handles in their
// Win32 types.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "core/front_end_state.h"

inline HINSTANCE programInstance() { return static_cast<HINSTANCE>(frontEndState.instance); }
inline HWND dialogWindow() { return static_cast<HWND>(frontEndState.dialogWindow); }
inline HWND flickerWindow() { return static_cast<HWND>(frontEndState.flickerWindow); }

// The core's text is char16_t; Windows' wide text is the same 16-bit units.
inline const wchar_t* wideText(const char16_t* text) {
  return reinterpret_cast<const wchar_t*>(text);
}
