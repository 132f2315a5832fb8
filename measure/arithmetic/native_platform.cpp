// A minimal platform for the native programs on the core: the counter is a
// number the microbenchmark sets, the fields hold fixed texts, drawing only
// counts.
#include "measure/arithmetic/native_platform.h"

#include <cstring>

#include "core/settings.h"
#include "resources/resource.h"

int64_t benchCounter;
int64_t benchCounterStep;
uint64_t benchFills;
uint64_t benchFlushes;
uint32_t benchNotices;

namespace {

void copyText(const char16_t* text, char16_t (&buffer)[fieldTextCapacity]) {
  int i = 0;
  for (; text[i] != 0 && i < fieldTextCapacity - 2; ++i) buffer[i] = text[i];
  buffer[i] = 0;
}

}  // namespace

const char16_t* benchStripCountText;

void platformFetchFieldText(uint32_t id, char16_t (&buffer)[fieldTextCapacity]) {
  switch (id) {
    case IDC_FLASH_RATE: copyText(u"60", buffer); break;
    case IDC_MAX_DROP_FRAMES: copyText(formatIntText(defaultMaxDropFrames).text, buffer); break;
    case IDC_MAX_CONSECUTIVE_DROPS:
      copyText(formatIntText(defaultMaxConsecutiveDrops).text, buffer);
      break;
    case IDC_STRIP_COUNT:
      copyText(benchStripCountText ? benchStripCountText : formatIntText(defaultStripCount).text,
               buffer);
      break;
    default: buffer[0] = 0; break;
  }
}

void platformStoreFieldText(uint32_t, const char16_t*) {}
int32_t platformReportedRefreshRate() { return 60; }
bool platformIsSpace(char16_t) { return false; }

int64_t platformCounter() {
  const int64_t now = benchCounter;
  benchCounter += benchCounterStep;
  return now;
}

void* platformAcquireSurface() { return &benchFills; }
void platformReleaseSurface(void*) {}

void platformClientRect(PlatformRect* rect) { *rect = PlatformRect{0, 0, 32, 1080}; }

void platformFill(void*, const PlatformRect& rect, bool white) {
  benchFills += static_cast<uint64_t>(rect.right - rect.left) + (white ? 1 : 0);
}

void platformFlush() { ++benchFlushes; }
bool platformFlickerWindowExists() { return true; }
void platformDestroyFlickerWindow() {}
void platformShowNotice(const char16_t*, const char16_t*) { ++benchNotices; }
