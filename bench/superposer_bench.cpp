// Per-frame cost of the overlay filter at 720x576 RGB24 on one core: two outlined text lines
// (border 2), vertical flip with mirror and no text, and the plain copy with the overlay preference
// off. Optional argument: the number of frames per case (default 500).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "filters/filters_host.h"
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

double Seconds(const LARGE_INTEGER& a, const LARGE_INTEGER& b, const LARGE_INTEGER& freq)
{
    return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(freq.QuadPart);
}

}  // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::atoi(argv[1]) : 500;
    SetThreadAffinityMask(GetCurrentThread(), 1);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const int w = 720, h = 576;
    const long size = filters::Rgb24Stride(w) * h;
    std::vector<BYTE> in(static_cast<size_t>(size)), out(static_cast<size_t>(size));
    for (size_t i = 0; i < in.size(); ++i) {
        in[i] = static_cast<BYTE>(i * 7 / 3);
    }
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = w;
    header.biHeight = h;
    header.biPlanes = 1;
    header.biBitCount = 24;

    Host host;
    auto* overlay = new filters::Tqz_Superposer;
    overlay->NonDelegatingAddRef();
    filters::SetFiltersHost(&host);
    if (!overlay->SetupFrame(header)) {
        std::printf("overlay: cannot set up the work picture\n");
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
        for (int i = 0; i < 10; ++i) {  // warm-up: font, caches
            overlay->ProcessFrame(in.data(), size, true, i * 400000LL, out.data(), size, length);
        }
        QueryPerformanceCounter(&a);
        for (int i = 0; i < frames; ++i) {
            overlay->ProcessFrame(in.data(), size, true, i * 400000LL, out.data(), size, length);
        }
        QueryPerformanceCounter(&b);
        std::printf("%-44s %8.3f ms per frame (%d frames, %ld bytes out)\n", name,
                    Seconds(a, b, freq) * 1000.0 / frames, frames, length);
    };

    overlay->SetOverlayEnabled(true);
    run("overlay, two text lines, border 2:");
    rec.BorderSize = 0;
    overlay->SetIncrustRec(rec);
    run("overlay, two text lines, no border:");
    overlay->SetOverlayEnabled(false);
    overlay->SetVerticalFlip(true);
    overlay->SetHorizontalFlip(true);
    run("overlay, vertical flip and mirror, no text:");
    overlay->SetVerticalFlip(false);
    overlay->SetHorizontalFlip(false);
    run("overlay, no flip, no text:");
    host.preference = false;
    run("overlay preference off (plain copy):");
    overlay->NonDelegatingRelease();
    CoUninitialize();
    return 0;
}
