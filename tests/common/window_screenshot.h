// Test helper: what the screen shows of a window, kept as a 24-bit BMP file in the test's working
// folder (a test artefact), with the count of pixels unlike the top-left one (none: nothing painted).
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

namespace quill_test {

inline int SaveWindowScreenshot(HWND Window, const std::wstring& FileName) {
    RECT r{};
    GetWindowRect(Window, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return 0;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(dc, bitmap);
    BitBlt(dc, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(dc, old);
    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::string pixels(static_cast<size_t>(stride) * height, '\0');
    GetDIBits(dc, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info;
    header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size());
    if (FILE* out = _wfopen(FileName.c_str(), L"wb")) {
        fwrite(&header, sizeof header, 1, out);
        fwrite(&info, sizeof info, 1, out);
        fwrite(pixels.data(), 1, pixels.size(), out);
        fclose(out);
    }
    int differing = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (pixels.compare(static_cast<size_t>(y) * stride + x * 3, 3, pixels, 0, 3) != 0) ++differing;
    return differing;
}

}  // namespace quill_test
