#include "tests/e2e/screen.h"

#include <cstdio>
#include <cstring>

std::wstring realText(double value) {
  char text[512];
  snprintf(text, sizeof text, "%lf", value);
  return std::wstring(text, text + strlen(text));
}

void sleepUntil(double when) {
  for (;;) {
    const double left = when - secondsNow();
    if (left <= 0) return;
    // Sleep coarsely, then finish on the counter.
    if (left > 0.02) {
      Sleep(static_cast<DWORD>((left - 0.01) * 1000));
    } else {
      Sleep(0);
    }
  }
}

RECT windowRect(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return rect;
}

std::string rectText(const RECT& rect) {
  char text[96];
  snprintf(text, sizeof text, "(%ld,%ld)-(%ld,%ld)", rect.left, rect.top, rect.right, rect.bottom);
  return text;
}

namespace {

// A 32-bit top-down DIB section selected into a memory DC.
struct Canvas {
  HDC dc;
  HBITMAP bitmap;
  HGDIOBJ previous;
  DWORD* bits;
};

Canvas makeCanvas(int width, int height) {
  Canvas canvas = {};
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  canvas.dc = CreateCompatibleDC(nullptr);
  canvas.bitmap = CreateDIBSection(canvas.dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  canvas.previous = SelectObject(canvas.dc, canvas.bitmap);
  canvas.bits = static_cast<DWORD*>(bits);
  return canvas;
}

std::vector<DWORD> takePixels(Canvas* canvas, int width, int height) {
  GdiFlush();
  std::vector<DWORD> pixels;
  if (canvas->bits != nullptr) {
    pixels.assign(canvas->bits, canvas->bits + width * height);
    for (DWORD& pixel : pixels) pixel &= 0xFFFFFF;
  }
  SelectObject(canvas->dc, canvas->previous);
  DeleteObject(canvas->bitmap);
  DeleteDC(canvas->dc);
  return pixels;
}

}  // namespace

std::vector<DWORD> screenPixels(const RECT& area) {
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  Canvas canvas = makeCanvas(width, height);
  HDC screen = GetDC(nullptr);
  BitBlt(canvas.dc, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
  ReleaseDC(nullptr, screen);
  return takePixels(&canvas, width, height);
}

std::vector<DWORD> iconPixels(HICON icon, int size) {
  Canvas canvas = makeCanvas(size, size);
  RECT all = {0, 0, size, size};
  FillRect(canvas.dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  DrawIconEx(canvas.dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL);
  return takePixels(&canvas, size, size);
}

void readScreen(const POINT* points, int count, COLORREF* colours) {
  HDC screen = GetDC(nullptr);
  for (int i = 0; i < count; ++i) colours[i] = GetPixel(screen, points[i].x, points[i].y);
  ReleaseDC(nullptr, screen);
}

std::string colourText(COLORREF colour) {
  char text[16];
  if (colour == CLR_INVALID) return "invalid";
  snprintf(text, sizeof text, "#%02X%02X%02X", GetRValue(colour), GetGValue(colour),
           GetBValue(colour));
  return text;
}
