// The platform operations of the timing core, carried out with Win32.
// platformFill and platformFlush have files of their own
// (platform_fill.cpp, platform_flush.cpp).
#include "core/platform.h"

#include "frontend/win32.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide text is UTF-16");
static_assert(sizeof(RECT) == sizeof(PlatformRect) && offsetof(RECT, bottom) == 12,
              "PlatformRect has RECT's layout");

void platformFetchFieldText(uint32_t id, char16_t (&buffer)[fieldTextCapacity]) {
  buffer[0] = 0;
  GetDlgItemTextW(dialogWindow(), static_cast<int>(id), reinterpret_cast<wchar_t*>(buffer),
                  fieldTextCapacity - 1);
}

void platformStoreFieldText(uint32_t id, const char16_t* text) {
  SetDlgItemTextW(dialogWindow(), static_cast<int>(id), wideText(text));
}

int32_t platformReportedRefreshRate() {
  HDC screen = GetDC(nullptr);
  const int rate = GetDeviceCaps(screen, VREFRESH);
  ReleaseDC(nullptr, screen);
  return rate;
}

bool platformIsSpace(char16_t c) {
  WORD type = 0;
  const wchar_t ch = static_cast<wchar_t>(c);
  GetStringTypeW(CT_CTYPE1, &ch, 1, &type);
  return (type & C1_SPACE) != 0;
}

void* platformAcquireSurface() { return GetDC(flickerWindow()); }

void platformReleaseSurface(void* surface) {
  ReleaseDC(flickerWindow(), static_cast<HDC>(surface));
}

void platformClientRect(PlatformRect* rect) {
  GetClientRect(flickerWindow(), reinterpret_cast<RECT*>(rect));
}

bool platformFlickerWindowExists() { return IsWindow(flickerWindow()) != 0; }

void platformDestroyFlickerWindow() { DestroyWindow(flickerWindow()); }

void platformShowNotice(const char16_t* text, const char16_t* caption) {
  MessageBoxW(dialogWindow(), wideText(text), wideText(caption), MB_OK);
}
