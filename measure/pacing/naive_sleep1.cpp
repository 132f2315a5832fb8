// Naive design 1: a loop that wakes up every millisecond or so with
// Sleep(1) and paints what fell due. usage: naive_sleep1 FLASH_RATE SECONDS
#include "frontend/win32.h"
#include "measure/pacing/naive.h"

int main(int argc, char** argv) {
  if (!beginNaive(argc, argv)) return 2;
  for (;;) {
    drainMessages();
    if (naiveTimeUp()) break;
    paintDue();
    Sleep(1);
  }
  closeFlickerWindow();
  return 0;
}
