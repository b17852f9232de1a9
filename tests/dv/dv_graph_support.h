// Test support for the DV filters in Wine graphs: hand-built PAL and NTSC DV frames (timecode,
// recording date and time, source control, audio packs), a DV source filter on the base classes that
// delivers a prepared list of frames, a sample-grabber recorder, a window that collects posted
// messages, and a graph fixture.
#pragma once

#include "graph_helpers.h"
#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <gtest/gtest.h>

#include "filters_test_host.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "filters/base_filter.h"
#include "filters/base_io_pins.h"
#include "filters/dv_codes.h"
#include "filters/scene_detector.h"

EXTERN_C const CLSID CLSID_NullRenderer;
EXTERN_C const CLSID CLSID_SampleGrabber;

namespace dvtest {

using quill_test::PinAt;

using Microsoft::WRL::ComPtr;
using Frame = std::vector<std::uint8_t>;
using namespace filters;

constexpr std::size_t kSeq = kDVSequenceBytes;
// Bytes of each head that the parser never reads: the frame builder puts a frame tag there, so that
// a head can be traced to its frame.
constexpr std::size_t kTagOffset = 400;

inline std::uint8_t Bcd(int v)
{
    return static_cast<std::uint8_t>(((v / 10) << 4) | (v % 10));
}

struct FrameSpec {
    bool Pal = true;
    bool Dated = true;           // false: "no information" packs (0xFF headers)
    std::int64_t Second = 0;     // recording time in seconds after 2004-07-15 12:00:00
    int Index = 0;               // frame tag and timecode source
    bool Wide = false;
    std::uint8_t Ap3 = 0;
};

// A camcorder's DV frame: every sequence has the DSF byte, timecode (from Index at 25 or 30 fps),
// recording date and time (or no-information packs), source control (DISP 2 when wide) and a 48 kHz
// 16-bit audio source pack; the heads carry the frame tag; the rest of the frame is a pattern.
inline Frame MakeFrame(const FrameSpec& s)
{
    const int sequences = s.Pal ? kDVSequences625 : kDVSequences525;
    Frame f(static_cast<std::size_t>(sequences) * kSeq);
    for (std::size_t i = 0; i < f.size(); ++i) {
        f[i] = static_cast<std::uint8_t>((i * 7 + static_cast<std::size_t>(s.Index)) & 0xFF);
    }
    const int fps = s.Pal ? 25 : 30;
    const int tcFrames = s.Index % fps;
    const int tcSeconds = (s.Index / fps) % 60;
    const int tcMinutes = (s.Index / fps / 60) % 60;
    const std::int64_t t = 12 * 3600 + s.Second;
    const int day = 15 + static_cast<int>(t / 86400);
    const int hour = static_cast<int>(t / 3600 % 24);
    const int minute = static_cast<int>(t / 60 % 60);
    const int second = static_cast<int>(t % 60);
    for (int k = 0; k < sequences; ++k) {
        std::uint8_t* p = f.data() + static_cast<std::size_t>(k) * kSeq;
        std::memset(p, 0, kRingHeadBytes);
        p[3] = s.Pal ? 0xBF : 0x3F;
        p[7] = s.Ap3;
        p[110] = 0x13;
        p[111] = Bcd(tcFrames);
        p[112] = Bcd(tcSeconds);
        p[113] = Bcd(tcMinutes);
        p[114] = Bcd(1);
        p[190] = 0x13;
        p[453] = 0x61;
        p[455] = s.Wide ? 2 : 0;
        if (s.Dated) {
            p[458] = 0x62;
            p[460] = Bcd(day);
            p[461] = Bcd(7);
            p[462] = Bcd(4);
            p[463] = 0x63;
            p[465] = Bcd(second);
            p[466] = Bcd(minute);
            p[467] = Bcd(hour);
        } else {
            p[458] = 0xFF;
            p[463] = 0xFF;
        }
        std::memcpy(p + kTagOffset, &s.Index, sizeof(s.Index));
        p[4323] = 0x50;
        p[4327] = 0xC0;
    }
    return f;
}

inline int TagOf(const std::uint8_t* head)
{
    int tag = 0;
    std::memcpy(&tag, head + kTagOffset, sizeof(tag));
    return tag;
}

// The recording date of FrameSpec::Second as a date-time value (2004-07-15 is day 38183).
inline double DateOf(std::int64_t second)
{
    return 38183.0 + static_cast<double>(12 * 3600 + second) / 86400.0;
}

// DV source: one output pin "Out" of interleaved DV (or video 'dvsd' when VideoDvsd); a thread
// delivers Frames in order (Repeat times over) with start times i x FrameTime, then end of stream.
// Endless repeats the list until the pin stops (PaceMs between frames).
class DVSource : public TBCBaseFilter {
public:
    class Pin;
    DVSource();
    ~DVSource() override;
    int GetPinCount() override { return 1; }
    TBCBasePin* GetPin(int n) override;

    std::vector<Frame> Frames;
    bool VideoDvsd = false;
    bool Endless = false;
    int Repeat = 1;  // the list is delivered this many times over
    int PaceMs = 0;
    REFERENCE_TIME FrameTime = 400000;
    std::atomic<int> Delivered{0};

private:
    std::unique_ptr<Pin> pin_;
};

class DVSource::Pin : public TBCBaseOutputPin {
public:
    Pin(DVSource* filter, HRESULT& hr)
        : TBCBaseOutputPin("DV test source pin", filter, filter->Lock(), hr, L"Out"), source_(filter)
    {
    }
    ~Pin() override { Join(); }

    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override
    {
        const GUID major = source_->VideoDvsd ? MEDIATYPE_Video : MEDIATYPE_Interleaved;
        return mt != nullptr && mt->majortype == major && mt->subtype == MEDIASUBTYPE_dvsd ? S_OK : S_FALSE;
    }
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) override
    {
        if (position != 0) {
            return VFW_S_NO_MORE_ITEMS;
        }
        std::memset(mt, 0, sizeof(*mt));
        mt->majortype = source_->VideoDvsd ? MEDIATYPE_Video : MEDIATYPE_Interleaved;
        mt->subtype = MEDIASUBTYPE_dvsd;
        mt->bFixedSizeSamples = TRUE;
        mt->lSampleSize = static_cast<ULONG>(MaxBytes());
        if (source_->VideoDvsd) {
            auto* vih = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
            std::memset(vih, 0, sizeof(*vih));
            vih->AvgTimePerFrame = source_->FrameTime;
            vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
            vih->bmiHeader.biWidth = 720;
            vih->bmiHeader.biHeight = 576;
            vih->bmiHeader.biCompression = MAKEFOURCC('d', 'v', 's', 'd');
            vih->bmiHeader.biSizeImage = static_cast<DWORD>(MaxBytes());
            mt->formattype = FORMAT_VideoInfo;
            mt->cbFormat = sizeof(VIDEOINFOHEADER);
            mt->pbFormat = reinterpret_cast<BYTE*>(vih);
        } else {
            auto* info = static_cast<DVINFO*>(CoTaskMemAlloc(sizeof(DVINFO)));
            std::memset(info, 0, sizeof(*info));
            mt->formattype = FORMAT_DvInfo;
            mt->cbFormat = sizeof(DVINFO);
            mt->pbFormat = reinterpret_cast<BYTE*>(info);
        }
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override
    {
        props->cBuffers = 4;
        props->cbBuffer = static_cast<long>(MaxBytes());
        ALLOCATOR_PROPERTIES actual{};
        HRESULT hr = alloc->SetProperties(props, &actual);
        if (FAILED(hr)) {
            return hr;
        }
        return actual.cbBuffer < props->cbBuffer ? E_FAIL : S_OK;
    }
    HRESULT Active() override
    {
        HRESULT hr = TBCBaseOutputPin::Active();
        if (FAILED(hr)) {
            return hr;
        }
        stop_ = false;
        source_->Delivered = 0;
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
    std::size_t MaxBytes() const
    {
        std::size_t n = kDVFrameBytes625;
        for (const auto& f : source_->Frames) {
            n = std::max(n, f.size());
        }
        return n;
    }
    void Join()
    {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    void Stream()
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        const auto& frames = source_->Frames;
        std::int64_t i = 0;
        while (!stop_ && !frames.empty()) {
            const std::size_t at = static_cast<std::size_t>(i) % frames.size();
            if (!source_->Endless && i >= static_cast<std::int64_t>(frames.size()) * source_->Repeat) {
                break;
            }
            ComPtr<IMediaSample> sample;
            if (FAILED(GetDeliveryBuffer(sample.GetAddressOf(), nullptr, nullptr, 0))) {
                break;
            }
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            std::memcpy(data, frames[at].data(), frames[at].size());
            sample->SetActualDataLength(static_cast<long>(frames[at].size()));
            REFERENCE_TIME start = i * source_->FrameTime;
            REFERENCE_TIME stop = start + source_->FrameTime;
            sample->SetTime(&start, &stop);
            sample->SetSyncPoint(TRUE);
            if (FAILED(Deliver(sample.Get()))) {
                break;
            }
            ++source_->Delivered;
            ++i;
            if (source_->PaceMs > 0) {
                Sleep(static_cast<DWORD>(source_->PaceMs));
            }
        }
        if (!stop_) {
            DeliverEndOfStream();
        }
        CoUninitialize();
    }

    DVSource* source_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

inline DVSource::DVSource()
    : TBCBaseFilter("DV test source", nullptr, std::make_unique<TBCCritSec>(),
                    CLSID{0x6a1e0101, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x02}})
{
    HRESULT hr = S_OK;
    pin_ = std::make_unique<Pin>(this, hr);
}

inline DVSource::~DVSource() = default;

inline TBCBasePin* DVSource::GetPin(int n)
{
    return n == 0 ? pin_.get() : nullptr;
}

// What reached the sample grabber: each sample's bytes, start time and media time.
class Recorder : public ISampleGrabberCB {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** obj) override
    {
        *obj = nullptr;
        if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
            *obj = static_cast<ISampleGrabberCB*>(this);
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample* sample) override
    {
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        const long n = sample->GetActualDataLength();
        Got g;
        g.Bytes.assign(data, data + n);
        REFERENCE_TIME s = 0, e = 0;
        g.HasTime = sample->GetTime(&s, &e) == S_OK;
        g.Start = s;
        LONGLONG ms = -1, me = -1;
        g.HasMediaTime = sample->GetMediaTime(&ms, &me) == S_OK;
        g.MediaStart = ms;
        g.MediaStop = me;
        std::lock_guard<std::mutex> lock(mutex);
        got.push_back(std::move(g));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE*, long) override { return S_OK; }

    struct Got {
        Frame Bytes;
        bool HasTime = false;
        REFERENCE_TIME Start = 0;
        bool HasMediaTime = false;
        LONGLONG MediaStart = -1, MediaStop = -1;
    };
    std::mutex mutex;
    std::vector<Got> got;
};

// A message-only window whose queue collects what the filters post; it is the filters' message
// target while it lives.
class MessageWindow {
public:
    MessageWindow()
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"QuillDVTestTarget";
        RegisterClassW(&wc);
        hwnd_ = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        host_.window = hwnd_;
    }
    ~MessageWindow()
    {
        host_.window = nullptr;
        DestroyWindow(hwnd_);
    }
    HWND Handle() const { return hwnd_; }
    // The (wParam, lParam) pairs of the queued messages of this value, removed from the queue.
    std::vector<std::pair<WPARAM, LPARAM>> Take(UINT message)
    {
        std::vector<std::pair<WPARAM, LPARAM>> out;
        MSG msg;
        while (PeekMessageW(&msg, hwnd_, message, message, PM_REMOVE)) {
            out.emplace_back(msg.wParam, msg.lParam);
        }
        return out;
    }

private:
    HWND hwnd_ = nullptr;
    quill_test::TestFiltersHost host_;
};

// A graph on no clock (as fast as the filters go) with helpers to add, link, run and wait.
class GraphFixture : public testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                         reinterpret_cast<void**>(graph.GetAddressOf()));
        ASSERT_TRUE(graph);
        ASSERT_EQ(S_OK, graph.As(&control));
        ASSERT_EQ(S_OK, graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(events.GetAddressOf())));
        ComPtr<IMediaFilter> mf;
        ASSERT_EQ(S_OK, graph.As(&mf));
        mf->SetSyncSource(nullptr);
    }
    void TearDown() override
    {
        if (control) {
            control->Stop();
        }
        control.Reset();
        events.Reset();
        graph.Reset();
        held.clear();
        CoUninitialize();
    }
    template <typename T>
    T* Add(T* filter, const wchar_t* name)
    {
        ComPtr<IBaseFilter> f(filter->BaseFilterInterface());
        EXPECT_EQ(S_OK, graph->AddFilter(f.Get(), name));
        held.push_back(f);
        return filter;
    }
    ComPtr<IBaseFilter> AddStock(REFCLSID clsid, const wchar_t* name)
    {
        ComPtr<IBaseFilter> f;
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, reinterpret_cast<void**>(f.GetAddressOf()));
        EXPECT_TRUE(f) << "stock filter missing";
        if (f) {
            EXPECT_EQ(S_OK, graph->AddFilter(f.Get(), name));
            held.push_back(f);
        }
        return f;
    }
    // A sample grabber recording into rec; FinishGrabber puts a Null Renderer behind it once its
    // input is connected (the grabber's output cannot connect before).
    ComPtr<IBaseFilter> AddGrabber(Recorder& rec)
    {
        grabberFilter_ = AddStock(CLSID_SampleGrabber, L"Grabber");
        ComPtr<ISampleGrabber> grabber;
        EXPECT_EQ(S_OK, grabberFilter_.As(&grabber));
        if (grabber) {
            grabber->SetCallback(&rec, 0);
        }
        return grabberFilter_;
    }
    void FinishGrabber()
    {
        auto nullRenderer = AddStock(CLSID_NullRenderer, L"Null");
        EXPECT_EQ(S_OK, Link(grabberFilter_.Get(), nullRenderer.Get()));
    }
    HRESULT Link(IBaseFilter* from, IBaseFilter* to)
    {
        return graph->ConnectDirect(PinAt(from, PINDIR_OUTPUT).Get(), PinAt(to, PINDIR_INPUT).Get(), nullptr);
    }
    template <typename A, typename B>
    HRESULT Link(A* from, B* to)
    {
        return Link(from->BaseFilterInterface(), to->BaseFilterInterface());
    }
    template <typename A>
    HRESULT Link(A* from, IBaseFilter* to)
    {
        return Link(from->BaseFilterInterface(), to);
    }
    // Runs the graph until the source has delivered all its frames and the end of stream has come
    // through (the graph is left running).
    void RunToCompletion(DVSource* source)
    {
        long ev = 0;
        LONG_PTR p1 = 0, p2 = 0;
        while (events->GetEvent(&ev, &p1, &p2, 0) == S_OK) {
            events->FreeEventParams(ev, p1, p2);
        }
        ASSERT_TRUE(SUCCEEDED(control->Run()));
        const int frames = static_cast<int>(source->Frames.size()) * source->Repeat;
        for (int waited = 0; waited < 20000 && source->Delivered.load() < frames; waited += 2) {
            Sleep(2);
        }
        ASSERT_EQ(frames, source->Delivered.load());
        long code = 0;
        ASSERT_EQ(S_OK, events->WaitForCompletion(20000, &code));
        EXPECT_EQ(EC_COMPLETE, code);
    }

    ComPtr<IGraphBuilder> graph;
    ComPtr<IMediaControl> control;
    ComPtr<IMediaEventEx> events;
    std::vector<ComPtr<IBaseFilter>> held;

private:
    ComPtr<IBaseFilter> grabberFilter_;
};

}  // namespace dvtest
