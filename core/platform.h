// What the timing core needs from the platform, as plain functions.
// The front end implements them with Win32: platformCounter, platformFill
// and platformFlush each in a file of its own (the static library
// platform_replaceable), the rest in frontend/platform_win32.cpp; the tests
// link a fake. The choice is made at link time.
#pragma once

#include <cstdint>

// A field's text, in UTF-16 units with its terminator. Text the program
// formats takes at most 63 units and the terminator; text fetched from a
// field at most 62 and the terminator (the platform is asked for one unit
// less than the buffer holds).
constexpr int fieldTextCapacity = 64;

// Copies the text of dialog field `id` into `buffer`: at most 62 units and a
// terminator, so longer text is cut; an empty field gives an empty text.
void platformFetchFieldText(uint32_t id, char16_t (&buffer)[fieldTextCapacity]);

// Shows `text` in dialog field `id`. The field's change notification has been
// handled by the dialog before this returns.
void platformStoreFieldText(uint32_t id, const char16_t* text);

// The display's vertical refresh rate in Hz as the system reports it.
int32_t platformReportedRefreshRate();

// Whether a character above U+00FF is white space.
bool platformIsSpace(char16_t c);

// The high-resolution performance counter, in ticks.
int64_t platformCounter();

struct PlatformRect {
  int32_t left, top, right, bottom;
};

// The flicker window's drawing surface, taken and released once per pass.
void* platformAcquireSurface();
void platformReleaseSurface(void* surface);

// The flicker window's client rectangle (left and top are 0).
void platformClientRect(PlatformRect* rect);

// Fills `rect` on `surface` with pure white or pure black; fills are queued
// in call order.
void platformFill(void* surface, const PlatformRect& rect, bool white);

// Hands the queued fills to the display.
void platformFlush();

bool platformFlickerWindowExists();
void platformDestroyFlickerWindow();

// Shows a notice with a single OK button, modal to the settings dialog, and
// returns when the user dismisses it.
void platformShowNotice(const char16_t* text, const char16_t* caption);
