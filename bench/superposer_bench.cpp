// Per-frame cost of the overlay filter at 720x576 RGB24 on one core: two outlined text lines (border
// 2, and without border), the plain pass, the vertical flip, the mirror, both, and the plain copy
// with the overlay preference off. Every case checks its output: the picture moved as the flips say,
// and the text exactly as the draw-by-draw drawing gives it, inside its box and nowhere else.
//   bench_superposer.exe [frames per case, default 500]
// Prints "figure <case> <ms per frame>" lines; exits 1 when a result is wrong.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "filters/filters_host.h"
#include "filters/overlay_composer.h"
#include "filters/superposer.h"

namespace {

class Host : public filters::IFiltersHost {
public:
    HWND MessageWindow() override { return nullptr; }
    bool OverlayPreference() override { return preference; }
    LONGLONG FrameTime() override { return 400000; }
    SIZE DisplayAspect() override { return SIZE{0, 0}; }
    bool preference = true;
};

constexpr int kWidth = 720;
constexpr int kHeight = 576;
const long kStride = filters::Rgb24Stride(kWidth);

double Seconds(const LARGE_INTEGER& a, const LARGE_INTEGER& b, const LARGE_INTEGER& freq)
{
    return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(freq.QuadPart);
}

// Pixel (x, y), y from the top, of a bottom-up buffer.
const BYTE* At(const std::vector<BYTE>& frame, int x, int y)
{
    return frame.data() + static_cast<std::ptrdiff_t>(kHeight - 1 - y) * kStride + x * 3;
}

bool g_failed = false;

void Fail(const char* what, const char* detail)
{
    std::printf("FAILED: %s: %s\n", what, detail);
    g_failed = true;
}

// The output must be the input turned and mirrored as asked, every pixel.
void CheckMoved(const char* name, const std::vector<BYTE>& in, const std::vector<BYTE>& out, bool turned, bool mirrored)
{
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const int sx = mirrored ? kWidth - 1 - x : x;
            const int sy = turned ? kHeight - 1 - y : y;
            if (std::memcmp(At(out, x, y), At(in, sx, sy), 3) != 0) {
                char where[64];
                std::snprintf(where, sizeof where, "pixel %d,%d is not where it belongs", x, y);
                Fail(name, where);
                return;
            }
        }
    }
}

// The output must be the draw-by-draw drawing of the lines the overlay showed, and the pixels it
// changed must lie inside the lines' box (the text cells widened by the border and a margin).
void CheckText(const char* name, filters::Tqz_Superposer& overlay, const settings::TincrustRec& rec,
               const std::vector<BYTE>& in, const std::vector<BYTE>& out)
{
    filters::TOverlayComposer reference;
    const filters::TFrameLayout layout{kWidth, kHeight, false};
    reference.SetFrameSize(kWidth, kHeight);
    reference.SetRecord(rec);
    reference.LoadFrame(in.data(), static_cast<long>(in.size()), layout, false, false);
    const auto lines = overlay.Lines();
    reference.SetLines(lines.first, lines.second);
    reference.DrawLinesByGdi();
    std::vector<BYTE> expected(in.size());
    filters::WriteBottomUp(reference.Work(), expected.data());
    if (expected != out) {
        Fail(name, "the text differs from the draw-by-draw drawing");
    }
    if (overlay.QuickLines() != 2) {
        std::printf("note: %s: %d line(s) drawn through GDI, draw by draw\n", name, 2 - overlay.QuickLines());
    }
    int left = kWidth, right = -1, top = kHeight, bottom = -1;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            if (std::memcmp(At(out, x, y), At(in, x, y), 3) != 0) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    // Right-aligned at 900/1000 of the width; line 1 one font height above 900/1000 of the height.
    const int f = overlay.FontHeight();
    const int pointX = kWidth * 900 / 1000, baseY = kHeight * 900 / 1000;
    const int slack = rec.BorderSize + f / 2;
    if (right < 0) {
        Fail(name, "no pixel changed");
    } else if (right > pointX + slack || top < baseY - f - slack || bottom > baseY + f + slack || left < slack / 2) {
        char where[96];
        std::snprintf(where, sizeof where, "changed pixels %d..%d x %d..%d lie outside the text box", left, right, top,
                      bottom);
        Fail(name, where);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 500;
    SetThreadAffinityMask(GetCurrentThread(), 1);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const long size = kStride * kHeight;
    std::vector<BYTE> in(static_cast<size_t>(size)), out(static_cast<size_t>(size));
    for (size_t i = 0; i < in.size(); ++i) {
        in[i] = static_cast<BYTE>(i * 7 / 3);
    }
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = kWidth;
    header.biHeight = kHeight;
    header.biPlanes = 1;
    header.biBitCount = 24;

    Host host;
    filters::SetFiltersHost(&host);
    auto* overlay = new filters::Tqz_Superposer;
    overlay->NonDelegatingAddRef();
    if (!overlay->SetupFrame(header)) {
        std::printf("FAILED: overlay: cannot set up the work picture\n");
        return 1;
    }
    settings::TincrustRec rec = settings::DefaultIncrustRec();
    rec.WhatIncrust = 2;
    rec.Incrust1 = L"Holidays 2021 - scene 12";
    rec.Incrust2 = L"%R";
    rec.FormatDate2 = L"yyyy'-'mm'-'dd hh':'nn':'ss";
    rec.BorderSize = 2;
    rec.Autofontsize = true;
    rec.Alignement = 2;
    overlay->SetIncrustRec(rec);

    LARGE_INTEGER freq, a, b;
    QueryPerformanceFrequency(&freq);
    auto run = [&](const char* name) {
        long length = 0;
        HRESULT hr = S_OK;
        for (int i = 0; i < 10; ++i) {  // warm-up: font, caches
            overlay->ProcessFrame(in.data(), size, true, i * 400000LL, out.data(), size, length);
        }
        QueryPerformanceCounter(&a);
        for (int i = 0; i < frames; ++i) {
            hr = overlay->ProcessFrame(in.data(), size, true, i * 400000LL, out.data(), size, length);
        }
        QueryPerformanceCounter(&b);
        std::printf("figure %s %.4f\n", name, Seconds(a, b, freq) * 1000.0 / frames);
        if (hr != S_OK || length != size) {
            Fail(name, "the frame was not delivered whole");
        }
    };

    overlay->SetOverlayEnabled(true);
    run("overlay_text_border2");
    CheckText("overlay_text_border2", *overlay, rec, in, out);
    rec.BorderSize = 0;
    overlay->SetIncrustRec(rec);
    run("overlay_text_noborder");
    CheckText("overlay_text_noborder", *overlay, rec, in, out);
    overlay->SetOverlayEnabled(false);
    run("overlay_plain");
    CheckMoved("overlay_plain", in, out, false, false);
    overlay->SetVerticalFlip(true);
    run("overlay_vflip");
    CheckMoved("overlay_vflip", in, out, true, false);
    overlay->SetVerticalFlip(false);
    overlay->SetHorizontalFlip(true);
    run("overlay_mirror");
    CheckMoved("overlay_mirror", in, out, false, true);
    overlay->SetVerticalFlip(true);
    run("overlay_vflip_mirror");
    CheckMoved("overlay_vflip_mirror", in, out, true, true);
    overlay->SetVerticalFlip(false);
    overlay->SetHorizontalFlip(false);
    host.preference = false;
    run("overlay_preference_off");
    CheckMoved("overlay_preference_off", in, out, false, false);
    overlay->NonDelegatingRelease();
    filters::SetFiltersHost(nullptr);
    CoUninitialize();
    return g_failed ? 1 : 0;
}
