// The screen's pixels read back, for tests and benchmarks that look for what the program shows.
#pragma once

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/common/ffprobe_helpers.h"
#include "tests/common/window_screenshot.h"

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

// One look for the windows over an area, filled by the enumeration's callback.
struct TWindowsOverLook {
    HWND Window;
    RECT Area;
    std::vector<RECT> Over;
};

inline BOOL CALLBACK AddWindowOver(HWND Other, LPARAM Look) {
    auto& look = *reinterpret_cast<TWindowsOverLook*>(Look);
    RECT rect{}, common{};
    if (Other != look.Window && IsWindowVisible(Other) && GetWindowRect(Other, &rect) &&
        IntersectRect(&common, &rect, &look.Area))
        look.Over.push_back(common);
    return TRUE;
}

// Where other top-level windows stand over Area now: the windows of every program of this Wine,
// the test programs' own among them, which an X server without a window manager for them shows
// above a managed window whatever their order.
inline std::vector<RECT> WindowsOver(HWND Window, const RECT& Area) {
    TWindowsOverLook look{Window, Area, {}};
    EnumWindows(AddWindowOver, reinterpret_cast<LPARAM>(&look));
    return look.Over;
}

// What looks at a window's area tell of its content.
enum class TAreaLook {
    Moving,  // each look differed from the one before where no other window stood
    Still,   // a look was the same as the one before
    Hidden   // a look differed only where other windows stood: nothing to tell
};

// Looks at Area of Window, PauseMs apart, Times + 1 of them: the window's own content moves when
// each differs from the one before in a pixel that no other window stood over at either look, as
// Wine lists them just before and after it (the X server shows a window a moment before or after
// Wine lists it, so one difference alone proves nothing).
inline TAreaLook LookAtWindowArea(HWND Window, const RECT& Area, DWORD PauseMs, int Times) {
    struct TLook {
        std::vector<DWORD> Pixels;
        std::vector<RECT> Over;  // the windows over the area just before and just after the grab
    };
    const auto look = [&] {
        TLook seen{{}, WindowsOver(Window, Area)};
        seen.Pixels = GrabScreen(Area);
        const std::vector<RECT> after = WindowsOver(Window, Area);
        seen.Over.insert(seen.Over.end(), after.begin(), after.end());
        return seen;
    };
    const int width = Area.right - Area.left;
    TLook last = look();
    for (int time = 0; time < Times; ++time) {
        Sleep(PauseMs);
        TLook next = look();
        if (last.Pixels.empty() || last.Pixels.size() != next.Pixels.size()) return TAreaLook::Hidden;
        const auto covered = [&](POINT at) {
            const auto in = [&](const RECT& r) { return PtInRect(&r, at) != FALSE; };
            return std::any_of(last.Over.begin(), last.Over.end(), in) ||
                   std::any_of(next.Over.begin(), next.Over.end(), in);
        };
        bool differs = false, moved = false;
        for (size_t i = 0; i < last.Pixels.size() && !moved; ++i) {
            if (last.Pixels[i] == next.Pixels[i]) continue;
            differs = true;
            moved = !covered({Area.left + static_cast<LONG>(i % width), Area.top + static_cast<LONG>(i / width)});
        }
        if (!moved) return differs ? TAreaLook::Hidden : TAreaLook::Still;
        last = std::move(next);
    }
    return TAreaLook::Moving;
}

// Pixels of one colour (its red, green and blue).
inline int CountColour(const std::vector<DWORD>& Pixels, DWORD Colour) {
    int n = 0;
    for (DWORD p : Pixels) n += (p & 0xFFFFFF) == Colour ? 1 : 0;
    return n;
}

// The whole X screen as the display shows it to a person (ffmpeg's grab of the root window, not the
// program's own idea of its windows), kept as the PNG file Name in the build folder's screenshots.
struct TScreenGrab {
    int Width = 0;
    int Height = 0;
    std::vector<DWORD> Pixels;  // 0x00RRGGBB, top-down; empty when the grab failed
    std::string Failure;
    DWORD At(int X, int Y) const {
        return X < 0 || Y < 0 || X >= Width || Y >= Height ? 0xFFFFFFFFu
                                                           : Pixels[static_cast<size_t>(Y) * Width + X] & 0xFFFFFF;
    }
};

inline TScreenGrab GrabWholeScreen(const std::wstring& Name) {
    TScreenGrab grab;
    wchar_t display[64] = {};
    if (GetEnvironmentVariableW(L"DISPLAY", display, 64) == 0) {
        grab.Failure = "no DISPLAY";
        return grab;
    }
    const std::wstring png = ScreenshotPath(Name);
    const std::filesystem::path raw = std::filesystem::path(png).replace_extension(L".raw");
    // One grab, written twice: the picture to look at and the pixels to count.
    const TUnixResult run =
        RunUnix({"ffmpeg", "-nostdin", "-v", "error", "-f", "x11grab", "-i", std::filesystem::path(display).string(),
                 "-frames:v", "1", "-y", UnixPath(png), "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "bgr0", "-y",
                 UnixPath(raw)},
                60000);
    const std::string bytes = ReadWholeFile(raw);
    std::error_code ignored;
    std::filesystem::remove(raw, ignored);
    grab.Width = GetSystemMetrics(SM_CXSCREEN);
    grab.Height = GetSystemMetrics(SM_CYSCREEN);
    if (!run.Ran || run.ExitCode != 0 || grab.Width <= 0 ||
        bytes.size() != static_cast<size_t>(grab.Width) * grab.Height * 4) {
        grab.Failure = "ffmpeg's grab failed: " + run.Failure + run.Err + " (" + std::to_string(bytes.size()) + " bytes)";
        grab.Width = grab.Height = 0;
        return grab;
    }
    grab.Pixels.resize(bytes.size() / 4);
    std::memcpy(grab.Pixels.data(), bytes.data(), bytes.size());
    return grab;
}

}  // namespace quill_test
