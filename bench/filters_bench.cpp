// Per-frame cost on one core of the resizer (720x576 RGB24 to half size), the deinterlacer
// (720x576), the time stamper and the WAVE writer's throughput, each filter driven directly.
#include <windows.h>
#include <dshow.h>

#include <cstdio>
#include <cstring>
#include <functional>

#include "filters/deinterlace.h"
#include "filters/resizer.h"
#include "filters/time_stamper.h"
#include "filters/wave_dest.h"
#include "settings/parameters.h"
#include "settings/settings_catalogue.h"

using Microsoft::WRL::ComPtr;

namespace {

double Milliseconds(int runs, const std::function<void()>& body)
{
    LARGE_INTEGER freq, a, b;
    QueryPerformanceFrequency(&freq);
    body();  // warm-up
    QueryPerformanceCounter(&a);
    for (int i = 0; i < runs; ++i) {
        body();
    }
    QueryPerformanceCounter(&b);
    return 1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(freq.QuadPart) / runs;
}

// Two samples of size bytes from a memory allocator (kept alive by the allocator's owner).
bool MakeSamples(long size, ComPtr<IMemAllocator>& alloc, ComPtr<IMediaSample>& in, ComPtr<IMediaSample>& out)
{
    if (FAILED(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                reinterpret_cast<void**>(alloc.GetAddressOf())))) {
        return false;
    }
    ALLOCATOR_PROPERTIES want{2, size, 1, 0}, got{};
    return SUCCEEDED(alloc->SetProperties(&want, &got)) && SUCCEEDED(alloc->Commit()) &&
           SUCCEEDED(alloc->GetBuffer(in.GetAddressOf(), nullptr, nullptr, 0)) &&
           SUCCEEDED(alloc->GetBuffer(out.GetAddressOf(), nullptr, nullptr, 0));
}

void FillPattern(BYTE* data, long n)
{
    for (long i = 0; i < n; ++i) {
        data[i] = static_cast<BYTE>((i * 13) ^ (i >> 9));
    }
}

}  // namespace

int main()
{
    SetThreadAffinityMask(GetCurrentThread(), 1);
    SetPriorityClass(GetCurrentProcess(), HIGH_PRIORITY_CLASS);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const int w = 720;
    const int h = 576;
    const long frameBytes = w * 3 * h;

    {
        auto* resizer = new filters::TQZ_Resizer;
        ComPtr<IBaseFilter> held(resizer->BaseFilterInterface());
        settings::TBooleanParameter half(L"Demi Taille", true, nullptr);
        settings::ParamDemiTaille = &half;
        resizer->SetResizeMode(3);
        resizer->GetPin(0);
        VIDEOINFOHEADER vih{};
        vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        vih.bmiHeader.biWidth = w;
        vih.bmiHeader.biHeight = h;
        vih.bmiHeader.biPlanes = 1;
        vih.bmiHeader.biBitCount = 24;
        vih.bmiHeader.biSizeImage = static_cast<DWORD>(frameBytes);
        AM_MEDIA_TYPE mt{};
        mt.majortype = MEDIATYPE_Video;
        mt.subtype = MEDIASUBTYPE_RGB24;
        mt.formattype = FORMAT_VideoInfo;
        mt.cbFormat = sizeof(vih);
        mt.pbFormat = reinterpret_cast<BYTE*>(&vih);
        ComPtr<IMemAllocator> alloc;
        ComPtr<IMediaSample> in, out;
        if (resizer->SetMediaType(PINDIR_INPUT, &mt) != S_OK || !MakeSamples(frameBytes, alloc, in, out)) {
            std::printf("resizer: set-up failed\n");
            return 1;
        }
        BYTE* data = nullptr;
        in->GetPointer(&data);
        FillPattern(data, frameBytes);
        in->SetActualDataLength(frameBytes);
        HRESULT hr = S_OK;
        const double ms = Milliseconds(200, [&] { hr = resizer->Transform(in.Get(), out.Get()); });
        std::printf("resizer 720x576 -> %dx%d (halftone): %.3f ms per frame (%s, target < 2 ms)\n",
                    resizer->OutWidth(), resizer->OutHeight(), ms, hr == S_OK ? "ok" : "FAILED");
        in.Reset();
        out.Reset();
        alloc->Decommit();
        settings::ParamDemiTaille = nullptr;
    }

    {
        filters::TPictureBitmap source, dest;
        source.SetSize(w, h);
        for (int y = 0; y < h; ++y) {
            FillPattern(source.ScanLine(y), w * 3);
            if (y % 2 == 1 && y % 8 < 4) {
                std::memset(source.ScanLine(y), 250, static_cast<size_t>(w) * 3);  // combs
            }
        }
        const double ms = Milliseconds(200, [&] { filters::Deinterlace(source, dest); });
        std::printf("deinterlace 720x576: %.3f ms per picture (target < 0.5 ms)\n", ms);
        const double mirror = Milliseconds(200, [&] { filters::MirrorBitmap(dest); });
        std::printf("mirror 720x576: %.3f ms per picture\n", mirror);
    }

    {
        auto* stamper = new filters::Tqz_TimeStamper;
        ComPtr<IBaseFilter> held(stamper->BaseFilterInterface());
        ComPtr<IMemAllocator> alloc;
        ComPtr<IMediaSample> in, out;
        if (!MakeSamples(frameBytes, alloc, in, out)) {
            return 1;
        }
        REFERENCE_TIME t0 = 0, t1 = 400000;
        in->SetTime(&t0, &t1);
        const double keep = Milliseconds(100000, [&] { stamper->Transform(in.Get()); });
        stamper->SetClearStamps();
        const double clear = Milliseconds(100000, [&] {
            in->SetTime(&t0, &t1);
            stamper->Transform(in.Get());
        });
        std::printf("time stamper: keep %.5f ms, clear %.5f ms per sample\n", keep, clear);
        in.Reset();
        out.Reset();
        alloc->Decommit();
    }

    {
        auto* dest = new filters::Tqz_WaveDest;
        ComPtr<IBaseFilter> held(dest->BaseFilterInterface());
        dest->GetPin(0);
        const long chunk = 176400;  // one second of CD audio
        ComPtr<IMemAllocator> alloc;
        ComPtr<IMediaSample> in, out;
        if (!MakeSamples(chunk, alloc, in, out)) {
            return 1;
        }
        BYTE* data = nullptr;
        in->GetPointer(&data);
        FillPattern(data, chunk);
        in->SetActualDataLength(chunk);
        // 2001 seconds of audio stay well below the 4 GiB limit.
        const double ms = Milliseconds(2000, [&] { dest->Transform(in.Get(), out.Get()); });
        std::printf("WAVE writer: %.4f ms per 176400-byte sample, %.0f MB/s (buffers in cache)\n", ms, chunk / (ms / 1000.0) / 1e6);
        in.Reset();
        out.Reset();
        alloc->Decommit();
    }
    CoUninitialize();
    return 0;
}
