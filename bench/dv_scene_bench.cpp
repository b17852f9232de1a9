// Time to handle one DV frame in the scene detector (a 720x576 PAL frame of 144,000 bytes): parse
// it into a frame description, apply the scene rules and publish both ring entries, per frame.
// Frames step their recording date every 25 frames and jump every 250, so scene changes happen too.
// The scene changes counted must be those the dates call for (a step of more than 2 seconds).
//   bench_dv_scene.exe [frames, default 200000]
// Prints "figure dv_scene <ns per frame>"; exits 1 when the scene count or the frame count is wrong.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "filters/scene_detector.h"

namespace {

std::uint8_t Bcd(int v)
{
    return static_cast<std::uint8_t>(((v / 10) << 4) | (v % 10));
}

int SecondOf(int index)
{
    return (index / 25 + (index / 250) * 7) % 60;
}

std::vector<std::uint8_t> PalFrame(int index)
{
    std::vector<std::uint8_t> f(filters::kDVFrameBytes625, 0x55);
    const int second = SecondOf(index);
    for (int s = 0; s < filters::kDVSequences625; ++s) {
        std::uint8_t* p = f.data() + s * filters::kDVSequenceBytes;
        std::memset(p, 0, filters::kRingHeadBytes);
        p[3] = 0xBF;
        p[110] = p[190] = 0x13;
        p[111] = Bcd(index % 25);
        p[112] = Bcd(second);
        p[113] = 0x34;
        p[114] = 0x05;
        p[453] = 0x61;
        p[455] = 0x00;
        p[458] = 0x62;
        p[460] = 0x15;
        p[461] = 0x07;
        p[462] = 0x04;
        p[463] = 0x63;
        p[465] = Bcd(second);
        p[466] = 0x34;
        p[467] = 0x12;
        p[4323] = 0x50;
    }
    return f;
}

// A media sample over one frame buffer: the calls the detector makes.
class FrameSample : public IMediaSample {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** obj) override
    {
        *obj = nullptr;
        if (iid == IID_IUnknown || iid == IID_IMediaSample) {
            *obj = static_cast<IMediaSample*>(this);
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetPointer(BYTE** buffer) override
    {
        *buffer = Data;
        return S_OK;
    }
    long STDMETHODCALLTYPE GetSize() override { return Size; }
    HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override
    {
        *start = Start;
        *end = Start + 400000;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetTime(REFERENCE_TIME*, REFERENCE_TIME*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsSyncPoint() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE SetSyncPoint(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsPreroll() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetPreroll(BOOL) override { return S_OK; }
    long STDMETHODCALLTYPE GetActualDataLength() override { return Size; }
    HRESULT STDMETHODCALLTYPE SetActualDataLength(long) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetMediaType(AM_MEDIA_TYPE** mt) override
    {
        *mt = nullptr;
        return S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE SetMediaType(AM_MEDIA_TYPE*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE IsDiscontinuity() override { return S_FALSE; }
    HRESULT STDMETHODCALLTYPE SetDiscontinuity(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetMediaTime(LONGLONG*, LONGLONG*) override { return VFW_E_MEDIA_TIME_NOT_SET; }
    HRESULT STDMETHODCALLTYPE SetMediaTime(LONGLONG* start, LONGLONG*) override
    {
        MediaStart = *start;
        return S_OK;
    }

    BYTE* Data = nullptr;
    long Size = 0;
    REFERENCE_TIME Start = 0;
    LONGLONG MediaStart = 0;
};

std::uint32_t g_scenes = 0;
void CountScene(const filters::TDVInfoRec&, const filters::TDVInfoRec&)
{
    ++g_scenes;
}

}  // namespace

int main(int argc, char** argv)
{
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200000;
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    std::vector<std::vector<std::uint8_t>> input;
    for (int i = 0; i < 1000; ++i) input.push_back(PalFrame(i));

    auto* detector = new filters::Tqz_SceneDetect;
    IBaseFilter* held = detector->BaseFilterInterface();
    held->AddRef();
    detector->SetSceneCallback(CountScene);

    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    FrameSample sample;
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < frames; ++i) {
        auto& f = input[static_cast<std::size_t>(i) % input.size()];
        sample.Data = f.data();
        sample.Size = static_cast<long>(f.size());
        sample.Start = static_cast<REFERENCE_TIME>(i) * 400000;
        detector->Transform(&sample);
    }
    QueryPerformanceCounter(&t1);
    const double total = static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(freq.QuadPart);
    std::printf("figure dv_scene %.1f\n", total * 1e9 / frames);
    std::printf("dv_scene: %d PAL frames, %u scene changes, last frame number %u\n", frames, g_scenes,
                detector->Current.FrameNumber);
    // The detector compares dates from its third frame on (the first two set its reference).
    std::uint32_t want = 0;
    for (int i = 2; i < frames; ++i) {
        const int step = SecondOf(i % 1000) - SecondOf((i - 1) % 1000);
        want += (step > 2 || step < -2) ? 1 : 0;
    }
    const bool ok = g_scenes == want && detector->Current.FrameNumber == static_cast<std::uint32_t>(frames);
    if (!ok) {
        std::printf("FAILED: dv_scene: %u scene changes where the dates make %u\n", g_scenes, want);
    }
    held->Release();
    CoUninitialize();
    return ok ? 0 : 1;
}
