// The filter base classes' cost per sample: 720x576 RGB24 frames from a source of ours through an
// in-place pass-through and through a copying transform into Wine's Null Renderer and into a sink of
// ours, against the same graphs without them, with no clock so that samples go as fast as the
// filters take them. Both filters take each sample from a second allocator (the in-place one copies
// because its two allocators differ), so one allocator round trip (GetBuffer and the sample's
// release) is measured on its own too and reported apart from the filters' own cost.
//   bench_base_classes.exe [frames]        (default 2000; five interleaved rounds, the best counts)
#include <windows.h>
#include <dshow.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "dshow/ds_helpers.h"
#include "filters/transform_in_place.h"

EXTERN_C const CLSID CLSID_NullRenderer;

using Microsoft::WRL::ComPtr;
using namespace filters;

namespace {

using filters::ComGuard;

// The frame size of the running measurement: 720x576, then a tiny one where the data costs nothing
// and only the per-sample work of the filters and Wine's allocator and renderer is left.
int kWidth = 720;
int kHeight = 576;
long kFrameBytes = 720 * 576 * 3;
constexpr REFERENCE_TIME kFrameTime = 400000;

LONGLONG Ticks()
{
    LARGE_INTEGER v;
    QueryPerformanceCounter(&v);
    return v.QuadPart;
}

double TicksToMicroseconds(LONGLONG ticks)
{
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(ticks) * 1e6 / static_cast<double>(f.QuadPart);
}

// Where the source's thread spends one run: waiting in GetBuffer, in Deliver (everything
// downstream), and releasing its sample. Written by the streaming thread, read after it ends.
struct SourceTimes {
    LONGLONG get = 0;
    LONGLONG deliver = 0;
    LONGLONG release = 0;
    long samples = 0;
};

// {6A1E0101-5C2B-4F6A-9D47-7E4A1B2C3D01} and following: bench-only class ids.
const CLSID CLSID_BenchSource = {0x6a1e0101, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x01}};
const CLSID CLSID_BenchInPlace = {0x6a1e0102, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x01}};
const CLSID CLSID_BenchCopy = {0x6a1e0103, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x01}};
const CLSID CLSID_BenchSink = {0x6a1e0104, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x01}};

void MakeRgb24(AM_MEDIA_TYPE& mt)
{
    InitMediaType(mt);
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_RGB24;
    mt.formattype = FORMAT_VideoInfo;
    mt.lSampleSize = kFrameBytes;
    auto* vih = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (vih == nullptr) {
        throw std::bad_alloc();
    }
    std::memset(vih, 0, sizeof(*vih));
    vih->AvgTimePerFrame = kFrameTime;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = kWidth;
    vih->bmiHeader.biHeight = kHeight;
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = 24;
    vih->bmiHeader.biCompression = BI_RGB;
    vih->bmiHeader.biSizeImage = kFrameBytes;
    mt.pbFormat = reinterpret_cast<BYTE*>(vih);
    mt.cbFormat = sizeof(VIDEOINFOHEADER);
}

bool IsOurRgb24(const AM_MEDIA_TYPE* mt)
{
    if (mt == nullptr || mt->majortype != MEDIATYPE_Video || mt->subtype != MEDIASUBTYPE_RGB24 ||
        mt->formattype != FORMAT_VideoInfo || mt->cbFormat < sizeof(VIDEOINFOHEADER) || mt->pbFormat == nullptr) {
        return false;
    }
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat);
    return vih->bmiHeader.biWidth == kWidth && vih->bmiHeader.biHeight == kHeight && vih->bmiHeader.biBitCount == 24;
}

// Delivers Frames frames (only their first byte written) as fast as downstream takes them, then
// end of stream.
class BenchSource : public TBCBaseFilter {
public:
    BenchSource() : TBCBaseFilter("Bench source", nullptr, std::make_unique<TBCCritSec>(), CLSID_BenchSource)
    {
        HRESULT hr = S_OK;
        pin_ = std::make_unique<Pin>(this, hr);
    }
    int GetPinCount() override { return 1; }
    TBCBasePin* GetPin(int n) override { return n == 0 ? pin_.get() : nullptr; }
    int Frames = 0;
    SourceTimes Times;

private:
    class Pin : public TBCBaseOutputPin {
    public:
        Pin(BenchSource* filter, HRESULT& hr)
            : TBCBaseOutputPin("Bench source pin", filter, filter->Lock(), hr, L"Out"), source_(filter)
        {
        }
        ~Pin() override { Join(); }
        HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override { return IsOurRgb24(mt) ? S_OK : S_FALSE; }
        HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) override
        {
            if (position != 0) {
                return VFW_S_NO_MORE_ITEMS;
            }
            dshow::FreeMediaType(*mt);
            MakeRgb24(*mt);
            return S_OK;
        }
        HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override
        {
            props->cBuffers = std::max<long>(props->cBuffers, 3);
            props->cbBuffer = std::max<long>(props->cbBuffer, kFrameBytes);
            props->cbAlign = std::max<long>(props->cbAlign, 1);
            ALLOCATOR_PROPERTIES actual{};
            HRESULT hr = alloc->SetProperties(props, &actual);
            return FAILED(hr) ? hr : (actual.cbBuffer < kFrameBytes ? E_FAIL : S_OK);
        }
        HRESULT Active() override
        {
            HRESULT hr = TBCBaseOutputPin::Active();
            if (FAILED(hr)) {
                return hr;
            }
            Join();
            stop_ = false;
            thread_ = std::thread([this] { Stream(); });
            return S_OK;
        }
        HRESULT Inactive() override
        {
            stop_ = true;
            HRESULT hr = TBCBaseOutputPin::Inactive();
            Join();
            return hr;
        }

    private:
        void Join()
        {
            if (thread_.joinable()) {
                thread_.join();
            }
        }
        void Stream()
        {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            SourceTimes& times = source_->Times;
            times = SourceTimes{};
            for (int frame = 0; frame < source_->Frames && !stop_; ++frame) {
                ComPtr<IMediaSample> sample;
                LONGLONG t0 = Ticks();
                if (FAILED(GetDeliveryBuffer(sample.GetAddressOf(), nullptr, nullptr, 0))) {
                    break;
                }
                times.get += Ticks() - t0;
                BYTE* data = nullptr;
                sample->GetPointer(&data);
                data[0] = static_cast<BYTE>(frame);
                sample->SetActualDataLength(kFrameBytes);
                REFERENCE_TIME start = frame * kFrameTime;
                REFERENCE_TIME end = start + kFrameTime;
                sample->SetTime(&start, &end);
                sample->SetSyncPoint(TRUE);
                t0 = Ticks();
                if (FAILED(Deliver(sample.Get()))) {
                    break;
                }
                LONGLONG t1 = Ticks();
                sample.Reset();
                times.release += Ticks() - t1;
                times.deliver += t1 - t0;
                ++times.samples;
            }
            if (!stop_) {
                DeliverEndOfStream();
            }
            CoUninitialize();
        }
        BenchSource* source_;
        std::thread thread_;
        std::atomic<bool> stop_{false};
    };
    std::unique_ptr<Pin> pin_;
};

HRESULT unusedHr = S_OK;

// Our own renderer: reads each sample's properties as any input pin of ours does, and signals its
// event at end of stream (it is not counted by the graph as a renderer, so no EC_COMPLETE).
class BenchSink : public TBCBaseFilter {
public:
    BenchSink() : TBCBaseFilter("Bench sink", nullptr, std::make_unique<TBCCritSec>(), CLSID_BenchSink)
    {
        HRESULT hr = S_OK;
        pin_ = std::make_unique<Pin>(this, hr);
        done_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    ~BenchSink() override
    {
        if (done_ != nullptr) {
            CloseHandle(done_);
        }
    }
    int GetPinCount() override { return 1; }
    TBCBasePin* GetPin(int n) override { return n == 0 ? pin_.get() : nullptr; }
    bool WaitDone(DWORD ms) { return done_ != nullptr && WaitForSingleObject(done_, ms) == WAIT_OBJECT_0; }
    std::atomic<long> Received{0};
    std::atomic<long> Wrong{0};  // samples out of order or not whole

private:
    class Pin : public TBCBaseInputPin {
    public:
        Pin(BenchSink* filter, HRESULT& hr)
            : TBCBaseInputPin("Bench sink pin", filter, filter->Lock(), hr, L"In"), sink_(filter)
        {
        }
        HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override { return IsOurRgb24(mt) ? S_OK : S_FALSE; }
        HRESULT Receive(IMediaSample* sample) override
        {
            HRESULT hr = TBCBaseInputPin::Receive(sample);
            if (hr == S_OK) {
                // Each frame whole and in its turn: the source numbers them in their first byte.
                BYTE* data = nullptr;
                if (FAILED(sample->GetPointer(&data)) || data == nullptr ||
                    data[0] != static_cast<BYTE>(sink_->Received.load()) || sample->GetActualDataLength() != kFrameBytes) {
                    ++sink_->Wrong;
                }
                ++sink_->Received;
            }
            return hr;
        }
        HRESULT EndOfStream() override
        {
            SetEvent(sink_->done_);
            return S_OK;
        }

    private:
        BenchSink* sink_;
    };
    std::unique_ptr<Pin> pin_;
    HANDLE done_ = nullptr;
};

// Passes each sample on untouched, in place.
class BenchInPlace : public TBCTransInPlaceFilter {
public:
    BenchInPlace() : TBCTransInPlaceFilter("Bench in-place", nullptr, CLSID_BenchInPlace, unusedHr, false) {}
    HRESULT CheckInputType(const AM_MEDIA_TYPE* mt) override { return IsOurRgb24(mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED; }
    HRESULT Transform(IMediaSample*) override { return S_OK; }
};

// Copies each sample into a sample of its own allocator.
class BenchCopy : public TBCTransformFilter {
public:
    BenchCopy() : TBCTransformFilter("Bench copy", nullptr, CLSID_BenchCopy) {}
    HRESULT CheckInputType(const AM_MEDIA_TYPE* mt) override { return IsOurRgb24(mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED; }
    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override
    {
        return IsOurRgb24(in) && IsOurRgb24(out) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override
    {
        props->cBuffers = std::max<long>(props->cBuffers, 2);
        props->cbBuffer = std::max<long>(props->cbBuffer, kFrameBytes);
        props->cbAlign = std::max<long>(props->cbAlign, 1);
        ALLOCATOR_PROPERTIES actual{};
        HRESULT hr = alloc->SetProperties(props, &actual);
        return FAILED(hr) ? hr : (actual.cbBuffer < kFrameBytes ? E_FAIL : S_OK);
    }
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) override
    {
        if (position != 0) {
            return VFW_S_NO_MORE_ITEMS;
        }
        dshow::FreeMediaType(*mt);
        MakeRgb24(*mt);
        return S_OK;
    }
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override
    {
        BYTE* from = nullptr;
        BYTE* to = nullptr;
        in->GetPointer(&from);
        out->GetPointer(&to);
        const long n = in->GetActualDataLength();
        if (n > out->GetSize()) {
            return E_FAIL;
        }
        std::memcpy(to, from, static_cast<size_t>(n));
        out->SetActualDataLength(n);
        return S_OK;
    }
};

ComPtr<IPin> PinAt(IBaseFilter* filter, PIN_DIRECTION dir)
{
    ComPtr<IEnumPins> e;
    filter->EnumPins(e.GetAddressOf());
    ComPtr<IPin> pin;
    while (e->Next(1, pin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
        PIN_DIRECTION d{};
        pin->QueryDirection(&d);
        if (d == dir) {
            return pin;
        }
    }
    return nullptr;
}

enum class Middle { None, InPlace, Copy };
enum class Sink { WineNull, Ours };

struct RunResult {
    double seconds = -1;
    SourceTimes times;
};

// Whether the in-place filter of the last in-place graph had to copy (its two pins' allocators differ).
bool inPlaceCopied = false;

// Seconds for frames samples through source [-> middle] -> sink, or a negative value.
RunResult RunGraph(Middle middle, Sink sinkKind, int frames)
{
    RunResult failed;
    ComPtr<IGraphBuilder> graph;
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(graph.GetAddressOf())))) {
        return failed;
    }
    ComPtr<IMediaFilter> mediaFilter;
    graph.As(&mediaFilter);
    ComPtr<IMediaControl> control;
    graph.As(&control);
    ComPtr<IMediaEvent> events;
    graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(events.GetAddressOf()));

    auto* source = new BenchSource();
    source->Frames = frames;
    ComPtr<IBaseFilter> sourceFilter(source->BaseFilterInterface());
    ComPtr<IBaseFilter> middleFilter;
    BenchInPlace* inPlace = nullptr;
    if (middle == Middle::InPlace) {
        inPlace = new BenchInPlace();
        middleFilter = inPlace->BaseFilterInterface();
    } else if (middle == Middle::Copy) {
        middleFilter = (new BenchCopy())->BaseFilterInterface();
    }
    ComPtr<IBaseFilter> renderer;
    BenchSink* ourSink = nullptr;
    if (sinkKind == Sink::Ours) {
        ourSink = new BenchSink();
        renderer = ourSink->BaseFilterInterface();
    } else if (FAILED(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                       reinterpret_cast<void**>(renderer.GetAddressOf())))) {
        return failed;
    }
    graph->AddFilter(sourceFilter.Get(), L"Source");
    graph->AddFilter(renderer.Get(), L"Null");
    ComPtr<IBaseFilter> last = sourceFilter;
    if (middleFilter) {
        graph->AddFilter(middleFilter.Get(), L"Middle");
        if (FAILED(graph->ConnectDirect(PinAt(sourceFilter.Get(), PINDIR_OUTPUT).Get(),
                                        PinAt(middleFilter.Get(), PINDIR_INPUT).Get(), nullptr))) {
            return failed;
        }
        last = middleFilter;
    }
    if (FAILED(graph->ConnectDirect(PinAt(last.Get(), PINDIR_OUTPUT).Get(), PinAt(renderer.Get(), PINDIR_INPUT).Get(),
                                    nullptr))) {
        return failed;
    }
    mediaFilter->SetSyncSource(nullptr);
    if (inPlace != nullptr) {
        inPlaceCopied = inPlace->UsingDifferentAllocators();
    }

    const auto start = std::chrono::steady_clock::now();
    if (FAILED(control->Run())) {
        return failed;
    }
    bool completed = false;
    if (ourSink != nullptr) {
        completed = ourSink->WaitDone(120000) && ourSink->Received.load() == frames && ourSink->Wrong.load() == 0;
    } else {
        long code = 0;
        completed = events->WaitForCompletion(120000, &code) == S_OK && code == EC_COMPLETE;
    }
    const auto end = std::chrono::steady_clock::now();
    control->Stop();
    if (!completed) {
        return failed;
    }
    RunResult result;
    result.seconds = std::chrono::duration<double>(end - start).count();
    result.times = source->Times;
    return result;
}

// Microseconds for one frame-sized memcpy, taken in turn from three buffers into two others as the
// copying transform does between the allocators (so the caches hold no more than they would there).
double CopyMicroseconds(int frames)
{
    std::vector<std::vector<BYTE>> from(3, std::vector<BYTE>(static_cast<size_t>(kFrameBytes), 1));
    std::vector<std::vector<BYTE>> to(2, std::vector<BYTE>(static_cast<size_t>(kFrameBytes), 2));
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < frames; ++i) {
        auto& a = from[static_cast<size_t>(i) % 3];
        auto& b = to[static_cast<size_t>(i) % 2];
        a[0] = static_cast<BYTE>(i);
        std::memcpy(b.data(), a.data(), a.size());
    }
    const auto end = std::chrono::steady_clock::now();
    volatile BYTE sink = to[0][static_cast<size_t>(frames) % to[0].size()];
    (void)sink;
    return std::chrono::duration<double, std::micro>(end - start).count() / frames;
}

// Microseconds for one GetBuffer and release of a sample of the system memory allocator, the way
// a filter takes its output buffers (two of them, one at a time), on this thread.
double AllocatorRoundTripMicroseconds(int frames)
{
    ComPtr<IMemAllocator> alloc;
    if (FAILED(CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                reinterpret_cast<void**>(alloc.GetAddressOf())))) {
        return -1;
    }
    ALLOCATOR_PROPERTIES want{2, kFrameBytes, 1, 0};
    ALLOCATOR_PROPERTIES actual{};
    if (FAILED(alloc->SetProperties(&want, &actual)) || FAILED(alloc->Commit())) {
        return -1;
    }
    const LONGLONG start = Ticks();
    for (int i = 0; i < frames; ++i) {
        ComPtr<IMediaSample> sample;
        if (FAILED(alloc->GetBuffer(sample.GetAddressOf(), nullptr, nullptr, 0))) {
            return -1;
        }
    }
    const LONGLONG end = Ticks();
    alloc->Decommit();
    return TicksToMicroseconds(end - start) / frames;
}

struct Config {
    Middle middle;
    Sink sink;
    const char* label;
    RunResult best;
};

bool Measure(int frames)
{
    std::vector<Config> configs = {
        {Middle::None, Sink::WineNull, "source -> Wine null renderer", {}},
        {Middle::InPlace, Sink::WineNull, "source -> in-place -> Wine null", {}},
        {Middle::Copy, Sink::WineNull, "source -> copying -> Wine null", {}},
        {Middle::None, Sink::Ours, "source -> our sink", {}},
        {Middle::InPlace, Sink::Ours, "source -> in-place -> our sink", {}},
        {Middle::Copy, Sink::Ours, "source -> copying -> our sink", {}},
    };
    // Rounds interleave the graphs, so that a change in the machine's load falls on all of them.
    double memcpyUs = -1;
    double roundTripUs = -1;
    for (int round = 0; round < 5; ++round) {
        for (Config& c : configs) {
            const RunResult r = RunGraph(c.middle, c.sink, frames);
            if (r.seconds < 0) {
                std::printf("FAILED: a graph did not build, did not complete, or lost or broke frames: %s\n", c.label);
                return false;
            }
            if (c.best.seconds < 0 || r.seconds < c.best.seconds) {
                c.best = r;
            }
        }
        const double m = CopyMicroseconds(frames);
        memcpyUs = memcpyUs < 0 ? m : std::min(memcpyUs, m);
        const double a = AllocatorRoundTripMicroseconds(frames);
        if (a < 0) {
            std::printf("the system memory allocator failed\n");
            return false;
        }
        roundTripUs = roundTripUs < 0 ? a : std::min(roundTripUs, a);
    }
    auto us = [frames](double seconds) { return seconds * 1e6 / frames; };
    std::printf("%d samples of %dx%d RGB24 (%ld bytes), best of 5 interleaved rounds, no clock\n", frames, kWidth,
                kHeight, kFrameBytes);
    std::printf("  %-34s %9s %10s | source thread us/sample: %6s %8s %8s\n", "graph", "samples/s", "us/sample",
                "get", "deliver", "release");
    for (const Config& c : configs) {
        const SourceTimes& t = c.best.times;
        const double n = t.samples > 0 ? static_cast<double>(t.samples) : 1.0;
        std::printf("  %-34s %9.0f %10.2f | %31.2f %8.2f %8.2f\n", c.label, frames / c.best.seconds,
                    us(c.best.seconds), TicksToMicroseconds(t.get) / n, TicksToMicroseconds(t.deliver) / n,
                    TicksToMicroseconds(t.release) / n);
    }
    std::printf("  one frame memcpy:                                   %7.2f us\n", memcpyUs);
    std::printf("  one system allocator GetBuffer + release:           %7.2f us\n", roundTripUs);
    std::printf("  in-place pass-through shares one allocator: %s\n",
                inPlaceCopied ? "no (each sample is copied into an output buffer)" : "yes");
    // The memcpy and the round trip are timed apart from the graphs, so the last figure may come out
    // a little below zero; a large one on a loaded machine follows the load (see the source's times).
    for (int s = 0; s < 2; ++s) {
        const double direct = us(configs[static_cast<size_t>(s * 3)].best.seconds);
        const double inPlace = us(configs[static_cast<size_t>(s * 3 + 1)].best.seconds);
        const double copy = us(configs[static_cast<size_t>(s * 3 + 2)].best.seconds);
        const char* sink = s == 0 ? "Wine null" : "our sink";
        std::printf("  into %-9s in-place cost beyond the copy:  %7.2f us  (and beyond the allocator: %7.2f)\n",
                    sink, inPlace - direct - memcpyUs, inPlace - direct - memcpyUs - roundTripUs);
        std::printf("  into %-9s copying cost beyond the copy:   %7.2f us  (and beyond the allocator: %7.2f)\n",
                    sink, copy - direct - memcpyUs, copy - direct - memcpyUs - roundTripUs);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    bool ok = Measure(frames);
    kWidth = 64;
    kHeight = 48;
    kFrameBytes = 64 * 48 * 3;
    ok = ok && Measure(frames);
    CoUninitialize();
    return ok ? 0 : 1;
}
