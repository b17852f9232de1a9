// Test helper: what the screen shows of a window, kept as a 24-bit BMP file in the build folder
// (a test artefact), with the count of pixels unlike the top-left one (none: nothing painted).
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

namespace quill_test {

// The folder where a test program keeps its screenshots: screenshots\<program>\ in the build folder
// (the parent of the programs' bin folder), whatever the working folder, so that a test run by
// hand from the source tree leaves no picture there. Made when missing; ends with a backslash.
inline std::wstring ScreenshotFolder() {
    std::wstring exe(32768, L'\0');
    exe.resize(GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size())));
    const size_t slash = exe.find_last_of(L"\\/");
    std::wstring program = exe.substr(slash + 1);
    if (program.size() > 4 && _wcsicmp(program.c_str() + program.size() - 4, L".exe") == 0)
        program.resize(program.size() - 4);
    const std::wstring bin = exe.substr(0, slash);
    std::wstring folder = bin.substr(0, bin.find_last_of(L"\\/")) + L"\\screenshots";
    CreateDirectoryW(folder.c_str(), nullptr);
    folder += L"\\" + program;
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder + L"\\";
}

// Name itself when it is a full path, else Name in ScreenshotFolder().
inline std::wstring ScreenshotPath(const std::wstring& Name) {
    const bool full = (Name.size() > 1 && Name[1] == L':') || (!Name.empty() && (Name[0] == L'\\' || Name[0] == L'/'));
    return full ? Name : ScreenshotFolder() + Name;
}

// Lets the windows of this thread paint what they were told: Rounds rounds of the waiting
// messages, Pause milliseconds apart.
inline void PumpWindowMessages(int Rounds = 5, DWORD Pause = 10) {
    MSG msg;
    for (int round = 0; round < Rounds; ++round) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(Pause);
    }
}

// Keeps the picture as ScreenshotPath(FileName) and answers its 24-bit rows (bottom-up, each
// padded to four bytes); empty when the window has no size.
inline std::string KeepWindowScreenshot(HWND Window, const std::wstring& FileName) {
    RECT r{};
    GetWindowRect(Window, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    if (width <= 0 || height <= 0) return std::string();
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
    if (FILE* out = _wfopen(ScreenshotPath(FileName).c_str(), L"wb")) {
        fwrite(&header, sizeof header, 1, out);
        fwrite(&info, sizeof info, 1, out);
        fwrite(pixels.data(), 1, pixels.size(), out);
        fclose(out);
    }
    return pixels;
}

// Keeps the picture as ScreenshotPath(FileName).
inline int SaveWindowScreenshot(HWND Window, const std::wstring& FileName) {
    const std::string pixels = KeepWindowScreenshot(Window, FileName);
    if (pixels.empty()) return 0;
    RECT r{};
    GetWindowRect(Window, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    int differing = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (pixels.compare(static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3, 3, pixels, 0, 3) != 0)
                ++differing;
    return differing;
}

}  // namespace quill_test
