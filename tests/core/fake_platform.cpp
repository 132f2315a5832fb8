#include "tests/core/fake_platform.h"

#include <cstring>

#include "core/front_end_state.h"
#include "core/pacer.h"
#include "core/settings.h"

namespace fake {

Platform platform;

bool Platform::isSpace(char16_t c) {
  return c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
         c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

void reset() {
  platform = Platform{};
  pacerSettings = PacerSettings{};
  pacerState = PacerState{};
  frontEndState = FrontEndState{};
}

void type(uint32_t id, const std::u16string& text) {
  platform.fields[id] = text;
  if (platform.notify) fieldChanged(id);
}

}  // namespace fake

using fake::platform;

void platformFetchFieldText(uint32_t id, char16_t (&buffer)[fieldTextCapacity]) {
  const std::u16string& text = platform.fields[id];
  size_t n = text.size() < 62 ? text.size() : 62;
  std::memcpy(buffer, text.data(), n * sizeof(char16_t));
  buffer[n] = 0;
}

void platformStoreFieldText(uint32_t id, const char16_t* text) {
  platform.storedIds.push_back(id);
  fake::type(id, text);
}

int32_t platformReportedRefreshRate() {
  ++platform.refreshQueries;
  return platform.refreshRate;
}

bool platformIsSpace(char16_t c) { return fake::Platform::isSpace(c); }

int64_t platformCounter() {
  ++platform.counterReads;
  int64_t now = platform.counter;
  platform.counter += platform.counterStepPerRead;
  return now;
}

void* platformAcquireSurface() {
  ++platform.acquires;
  ++platform.surfacesHeld;
  platform.trace += 'A';
  return &platform;
}

void platformReleaseSurface(void* surface) {
  if (surface == &platform) {
    ++platform.releases;
    --platform.surfacesHeld;
  }
  platform.trace += 'R';
}

void platformClientRect(PlatformRect* rect) { *rect = platform.client; }

void platformFill(void* surface, const PlatformRect& rect, bool white) {
  if (surface != &platform) return;
  ++platform.fillCount;
  platform.lastFillWhite = white;
  if (platform.recordFills) platform.fills.push_back({rect, white});
}

void platformFlush() {
  ++platform.flushes;
  if (platform.recordFills) platform.trace += 'F';
}

bool platformFlickerWindowExists() { return platform.windowExists; }

void platformDestroyFlickerWindow() {
  ++platform.destroys;
  platform.surfaceHeldAtDestroy = platform.surfacesHeld > 0;
  platform.windowExists = false;
  platform.trace += 'D';
}

void platformShowNotice(const char16_t* text, const char16_t* caption) {
  platform.notices.push_back(text);
  platform.noticeCaptions.push_back(caption);
  platform.windowExistedAtNotice = platform.windowExists;
  platform.trace += 'N';
}
