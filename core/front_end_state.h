// Handles of the front end. The core treats them as opaque pointers; the
// Windows front end stores HINSTANCE and HWND values in them.
#pragma once

#include <cstdint>

struct FrontEndState {
  void* instance;        // module instance handle
  void* dialogWindow;    // settings dialog, set once its creation has returned
  void* flickerWindow;   // current flicker window; stale once it is destroyed
  uint32_t flickerWide;  // 1 while the flicker window spans the screen width
};

extern FrontEndState frontEndState;
