// What only the end-to-end driver reads from outside the program: window
// places, the screen's and an icon's pixels, a real field's text, and waiting
// for a moment on the counter.
#pragma once

#include <string>
#include <vector>

#include "harness/harness.h"

// Text of the "%lf" format, as the program writes its real fields.
std::wstring realText(double value);

void sleepUntil(double when);

RECT windowRect(HWND window);
std::string rectText(const RECT& rect);

// The pixels of a screen area, row by row from the top, as 0xRRGGBB.
std::vector<DWORD> screenPixels(const RECT& area);
// The pixels of an icon drawn at `size` x `size` over white, as 0xRRGGBB.
std::vector<DWORD> iconPixels(HICON icon, int size);

// Reads the screen colour at each point; all reads in one go.
void readScreen(const POINT* points, int count, COLORREF* colours);
std::string colourText(COLORREF colour);
