// The screen's pixels read back, for tests and benchmarks that look for what the program shows.
#pragma once

#include <windows.h>

#include <vector>

namespace quill_test {

// Pixels of the screen rectangle, 32 bits each, top-down.
inline std::vector<DWORD> GrabScreen(const RECT& Rect) {
    const int width = Rect.right - Rect.left;
    const int height = Rect.bottom - Rect.top;
    std::vector<DWORD> pixels;
    if (width <= 0 || height <= 0) return pixels;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap != nullptr) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width, height, screen, Rect.left, Rect.top, SRCCOPY);
        GdiFlush();
        pixels.assign(static_cast<DWORD*>(bits), static_cast<DWORD*>(bits) + width * height);
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Pixels of one colour (its red, green and blue).
inline int CountColour(const std::vector<DWORD>& Pixels, DWORD Colour) {
    int n = 0;
    for (DWORD p : Pixels) n += (p & 0xFFFFFF) == Colour ? 1 : 0;
    return n;
}

}  // namespace quill_test
