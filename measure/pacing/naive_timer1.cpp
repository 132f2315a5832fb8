// Naive design 2: a 1 ms window timer; each WM_TIMER paints what fell due.
// usage: naive_timer1 FLASH_RATE SECONDS
#include "frontend/win32.h"
#include "measure/pacing/naive.h"

int main(int argc, char** argv) {
  if (!beginNaive(argc, argv)) return 2;
  const UINT_PTR timer = SetTimer(flickerWindow(), 1, 1, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.hwnd == flickerWindow()) {
      if (naiveTimeUp()) break;
      paintDue();
    } else {
      DispatchMessageW(&message);
    }
  }
  KillTimer(flickerWindow(), timer);
  closeFlickerWindow();
  return 0;
}
