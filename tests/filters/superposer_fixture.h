// The overlay filter tests' set-up: a patterned RGB24 source (with and without row padding, bottom-up
// and top-down) -> overlay -> Sample Grabber -> Null Renderer, the frames it sends and what comes out.
#pragma once

#include "test_filters.h"

#include "filters/superposer.h"
#include "filters_test_host.h"

#include <qedit.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

EXTERN_C const CLSID CLSID_NullRenderer;
EXTERN_C const CLSID CLSID_SampleGrabber;

namespace overlay_test {

using ftest::ComPtr;
using ftest::Hold;
using namespace filters;

inline const CLSID CLSID_PatternSource = {0x6a1e0023, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x23}};

struct SourceConfig {
    int width = 720;
    int height = 576;
    bool topDown = false;
    int frames = 2;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME frameTime = 400000;  // 40 ms
};

inline long Stride(int w)
{
    return Rgb24Stride(w);
}

// The input picture's pixel (x, y), y counted from the top: never black, never white.
inline void PatternPixel(int x, int y, BYTE* bgr)
{
    bgr[0] = static_cast<BYTE>(60 + (x * 7 + y * 3) % 150);
    bgr[1] = static_cast<BYTE>(60 + (x * 3 + y * 5) % 150);
    bgr[2] = static_cast<BYTE>(80 + (x + 2 * y) % 100);
}

// The input buffer of a frame in the source's layout; padding bytes hold 0xEE.
inline std::vector<BYTE> PatternFrame(const SourceConfig& c)
{
    const long stride = Stride(c.width);
    std::vector<BYTE> buffer(static_cast<size_t>(stride * c.height), 0xEE);
    for (int r = 0; r < c.height; ++r) {
        const int y = c.topDown ? r : c.height - 1 - r;
        for (int x = 0; x < c.width; ++x) {
            PatternPixel(x, y, &buffer[static_cast<size_t>(r * stride + x * 3)]);
        }
    }
    return buffer;
}

// A bottom-up padded picture seen top row first.
struct View {
    const BYTE* data;
    int w, h;
    const BYTE* At(int x, int y) const { return data + (h - 1 - y) * Stride(w) + x * 3; }
};

inline bool Same(const BYTE* a, const BYTE* b)
{
    return a[0] == b[0] && a[1] == b[1] && a[2] == b[2];
}

// Source filter with one pin "Out" offering RGB24 of the configured size and orientation.
class PatternSource : public TBCBaseFilter {
public:
    explicit PatternSource(const SourceConfig& c)
        : TBCBaseFilter("Pattern source", nullptr, std::make_unique<TBCCritSec>(), CLSID_PatternSource), config(c),
          frame(PatternFrame(c))
    {
        HRESULT hr = S_OK;
        pin_ = std::make_unique<Pin>(this, hr);
    }
    int GetPinCount() override { return 1; }
    TBCBasePin* GetPin(int n) override { return n == 0 ? pin_.get() : nullptr; }

    class Pin : public TBCBaseOutputPin {
    public:
        Pin(PatternSource* f, HRESULT& hr) : TBCBaseOutputPin("Pattern pin", f, f->Lock(), hr, L"Out"), src_(f) {}
        ~Pin() override { Join(); }
        HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override
        {
            return mt->majortype == MEDIATYPE_Video && mt->subtype == MEDIASUBTYPE_RGB24 ? S_OK : S_FALSE;
        }
        HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) override
        {
            if (position != 0) {
                return VFW_S_NO_MORE_ITEMS;
            }
            ftest::MakeRgb24(*mt, src_->config.width, src_->config.height);
            auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt->pbFormat);
            vih->bmiHeader.biHeight = src_->config.topDown ? -src_->config.height : src_->config.height;
            vih->bmiHeader.biSizeImage = static_cast<DWORD>(src_->frame.size());
            vih->AvgTimePerFrame = src_->config.frameTime;
            mt->lSampleSize = static_cast<ULONG>(src_->frame.size());
            return S_OK;
        }
        HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override
        {
            props->cBuffers = 2;
            props->cbBuffer = static_cast<long>(src_->frame.size());
            ALLOCATOR_PROPERTIES actual{};
            HRESULT hr = alloc->SetProperties(props, &actual);
            return FAILED(hr) ? hr : (actual.cbBuffer < props->cbBuffer ? E_FAIL : S_OK);
        }
        HRESULT Active() override
        {
            HRESULT hr = TBCBaseOutputPin::Active();
            if (FAILED(hr)) {
                return hr;
            }
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
            const SourceConfig& c = src_->config;
            for (int k = 0; !stop_ && k < c.frames; ++k) {
                ComPtr<IMediaSample> sample;
                if (FAILED(GetDeliveryBuffer(sample.GetAddressOf(), nullptr, nullptr, 0))) {
                    break;
                }
                BYTE* data = nullptr;
                sample->GetPointer(&data);
                std::memcpy(data, src_->frame.data(), src_->frame.size());
                sample->SetActualDataLength(static_cast<long>(src_->frame.size()));
                REFERENCE_TIME start = c.start + k * c.frameTime;
                REFERENCE_TIME stop = start + c.frameTime;
                sample->SetTime(&start, &stop);
                sample->SetSyncPoint(TRUE);
                if (FAILED(Deliver(sample.Get()))) {
                    break;
                }
            }
            if (!stop_) {
                DeliverEndOfStream();
            }
            CoUninitialize();
        }
        PatternSource* src_;
        std::thread thread_;
        std::atomic<bool> stop_{false};
    };

    SourceConfig config;
    std::vector<BYTE> frame;

private:
    std::unique_ptr<Pin> pin_;
};

class Grabber : public ISampleGrabberCB {
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
    HRESULT STDMETHODCALLTYPE SampleCB(double, IMediaSample*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE BufferCB(double, BYTE* buffer, long length) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        lengths.push_back(length);
        changed.push_back(expected.size() != static_cast<size_t>(length) ||
                          std::memcmp(expected.data(), buffer, expected.size()) != 0);
        if (frames.size() < keep) {
            frames.emplace_back(buffer, buffer + length);
        }
        return S_OK;
    }
    std::mutex mutex;
    size_t keep = 3;
    std::vector<BYTE> expected;  // frames equal to it count as unchanged
    std::vector<std::vector<BYTE>> frames;
    std::vector<long> lengths;
    std::vector<bool> changed;
};

inline HWND g_window = nullptr;

struct Posted {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

class Overlay : public testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        g_window = CreateWindowExW(0, L"STATIC", L"overlay test", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        ASSERT_NE(nullptr, g_window);
        host.window = g_window;
        overlay = new Tqz_Superposer;
        held = Hold(overlay);
    }
    void TearDown() override
    {
        host.window = nullptr;
        held.Reset();
        DestroyWindow(g_window);
        g_window = nullptr;
        CoUninitialize();
    }

    // Runs the configured frames through a new graph; the grabber holds what came out.
    void Run(const SourceConfig& c, size_t keep = 3)
    {
        grab = std::make_unique<Grabber>();
        grab->keep = keep;
        grab->expected = PatternFrame(c);
        if (c.topDown) {  // the output is bottom-up: an unchanged picture has the rows reversed
            SourceConfig up = c;
            up.topDown = false;
            grab->expected = PatternFrame(up);
        }
        ComPtr<IGraphBuilder> graph;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                         reinterpret_cast<void**>(graph.GetAddressOf())));
        ComPtr<IMediaFilter> mf;
        ASSERT_EQ(S_OK, graph.As(&mf));
        mf->SetSyncSource(nullptr);
        auto source = Hold(new PatternSource(c));
        ComPtr<IBaseFilter> grabber, null;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                         reinterpret_cast<void**>(grabber.GetAddressOf())));
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                         reinterpret_cast<void**>(null.GetAddressOf())));
        ASSERT_EQ(S_OK, graph->AddFilter(source.Get(), L"Source"));
        ASSERT_EQ(S_OK, graph->AddFilter(held.Get(), L"Superposer"));
        ASSERT_EQ(S_OK, graph->AddFilter(grabber.Get(), L"Grabber"));
        ASSERT_EQ(S_OK, graph->AddFilter(null.Get(), L"Null"));
        ComPtr<ISampleGrabber> sg;
        ASSERT_EQ(S_OK, grabber.As(&sg));
        AM_MEDIA_TYPE want{};
        want.majortype = MEDIATYPE_Video;
        want.subtype = MEDIASUBTYPE_RGB24;
        ASSERT_EQ(S_OK, sg->SetMediaType(&want));
        ASSERT_EQ(S_OK, sg->SetCallback(grab.get(), 1));
        ASSERT_EQ(S_OK, Connect(graph.Get(), source.Get(), held.Get()));
        ASSERT_EQ(S_OK, Connect(graph.Get(), held.Get(), grabber.Get()));
        ASSERT_EQ(S_OK, Connect(graph.Get(), grabber.Get(), null.Get()));
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(overlay->OutputPin()->CurrentMediaType().pbFormat);
        outHeight = vih->bmiHeader.biHeight;
        outSampleSize = overlay->OutputPin()->CurrentMediaType().lSampleSize;
        ComPtr<IMediaControl> control;
        ComPtr<IMediaEvent> events;
        ASSERT_EQ(S_OK, graph.As(&control));
        ASSERT_EQ(S_OK, graph->QueryInterface(IID_IMediaEvent, reinterpret_cast<void**>(events.GetAddressOf())));
        control->Run();
        // The graph's completion, or every frame at the grabber: under load Wine's graph can miss a
        // completion its renderer did signal.
        const auto allFrames = [&] {
            std::lock_guard<std::mutex> lock(grab->mutex);
            return grab->lengths.size() >= static_cast<size_t>(c.frames);
        };
        bool done = false;
        for (const DWORD start = GetTickCount(); !done && GetTickCount() - start < 30000;) {
            long code = 0;
            LONG_PTR p1 = 0, p2 = 0;
            if (events->GetEvent(&code, &p1, &p2, 50) == S_OK) {
                done = code == EC_COMPLETE;
                events->FreeEventParams(code, p1, p2);
            } else {
                done = allFrames();
            }
        }
        EXPECT_TRUE(done) << "the frames did not all arrive";
        control->Stop();
        sg->SetCallback(nullptr, 1);
        ASSERT_EQ(static_cast<size_t>(c.frames), grab->lengths.size());
    }
    static HRESULT Connect(IGraphBuilder* graph, IBaseFilter* from, IBaseFilter* to)
    {
        return graph->ConnectDirect(Pin(from, PINDIR_OUTPUT).Get(), Pin(to, PINDIR_INPUT).Get(), nullptr);
    }
    static ComPtr<IPin> Pin(IBaseFilter* f, PIN_DIRECTION dir)
    {
        ComPtr<IEnumPins> e;
        f->EnumPins(e.GetAddressOf());
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
    std::vector<Posted> Drain()
    {
        std::vector<Posted> out;
        MSG msg;
        while (PeekMessageW(&msg, g_window, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_USER + 1 || msg.message == WM_USER + 2) {
                out.push_back({msg.message, msg.wParam, msg.lParam});
            }
        }
        return out;
    }
    // A picture at every one of n small frames (a timed picture each frame), none handed back.
    void TakePictures(int n)
    {
        overlay->StartExtraction(1);
        Run(SourceConfig{.width = 32, .height = 24, .frames = n}, 0);
        overlay->StopExtraction();
        int pictures = 0;
        for (const Posted& p : Drain()) {
            pictures += p.message == WM_USER + 1 ? 1 : 0;
        }
        EXPECT_EQ(n, pictures);
    }
    void ReleaseAll()
    {
        for (int slot = 0; slot < kSuperposerSlots; ++slot) {
            overlay->ReleaseSlot(slot);
        }
    }
    settings::TincrustRec TextRec(int align, int border)
    {
        settings::TincrustRec r = settings::DefaultIncrustRec();
        r.WhatIncrust = 2;
        r.Incrust1 = L"Quillo";
        r.Incrust2 = L"Trane";
        r.Alignement = static_cast<std::uint8_t>(align);
        r.BorderSize = border;
        r.Autofontsize = true;
        r.FontRec.Bold = true;
        r.Xpos = 500;
        r.Ypos = 500;
        return r;
    }

    quill_test::TestFiltersHost host;
    Tqz_Superposer* overlay = nullptr;
    ComPtr<IBaseFilter> held;
    std::unique_ptr<Grabber> grab;
    LONG outHeight = 0;
    ULONG outSampleSize = 0;
};

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // inclusive
    bool Empty() const { return right < 0; }
};

// Pixels that differ between the output and the unchanged input, and black and white pixels.
inline Box ChangedBox(const std::vector<BYTE>& out, const std::vector<BYTE>& in, int w, int h, int* black = nullptr,
               int* white = nullptr)
{
    Box b;
    View o{out.data(), w, h}, i{in.data(), w, h};
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const BYTE* p = o.At(x, y);
            if (!Same(p, i.At(x, y))) {
                b.left = std::min(b.left, x);
                b.right = std::max(b.right, x);
                b.top = std::min(b.top, y);
                b.bottom = std::max(b.bottom, y);
            }
            if (black && p[0] == 0 && p[1] == 0 && p[2] == 0) {
                ++*black;
            }
            if (white && p[0] == 255 && p[1] == 255 && p[2] == 255) {
                ++*white;
            }
        }
    }
    return b;
}

// Width of a text in the overlay's font as the test measures it itself.
inline int MeasureText(const std::wstring& text, int height, bool bold)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT font = CreateFontW(height, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
    HGDIOBJ old = SelectObject(dc, font);
    SIZE s{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &s);
    SelectObject(dc, old);
    DeleteObject(font);
    DeleteDC(dc);
    return s.cx;
}


inline std::uint8_t Bcd(int v)
{
    return static_cast<std::uint8_t>(((v / 10) << 4) | (v % 10));
}

// A DV frame (10 sequences) with timecode 1:02:03:04, dated 2021-month-day 10:20:second, or undated.
inline std::vector<BYTE> DVFrame(bool dated, int day = 15, int month = 6, int second = 30)
{
    std::vector<BYTE> f(kDVFrameBytes525, 0);
    for (int k = 0; k < 10; ++k) {
        BYTE* s = &f[static_cast<size_t>(k) * kDVSequenceBytes];
        s[dvofs::kDSF] = 0x3F;
        s[dvofs::kTimecodePack1] = kDVPackTimecode;
        s[dvofs::kTimecodePack2] = kDVPackTimecode;
        s[dvofs::kTimecodeFrames] = 0x04;
        s[dvofs::kTimecodeSeconds] = 0x03;
        s[dvofs::kTimecodeMinutes] = 0x02;
        s[dvofs::kTimecodeHours] = 0x01;
        if (dated) {
            s[dvofs::kRecDatePack] = kDVPackRecDate;
            s[dvofs::kRecDateDay] = Bcd(day);
            s[dvofs::kRecDateMonth] = Bcd(month);
            s[dvofs::kRecDateYear] = 0x21;
            s[dvofs::kRecTimePack] = kDVPackRecTime;
            s[dvofs::kRecTimeSeconds] = Bcd(second);
            s[dvofs::kRecTimeMinutes] = 0x20;
            s[dvofs::kRecTimeHours] = 0x10;
        }
    }
    return f;
}

// Feeds the detector one DV frame per 40 ms from 0 on, as its own stream would.
inline void FeedDetector(Tqz_SceneDetect* detector, const std::vector<std::vector<BYTE>>& frames)
{
    for (size_t k = 0; k < frames.size(); ++k) {
        ftest::TestSample sample(false, static_cast<long>(kDVFrameBytes525));
        std::memcpy(sample.Data.data(), frames[k].data(), frames[k].size());
        sample.Actual = static_cast<long>(frames[k].size());
        sample.TimeResult = S_OK;
        sample.Start = static_cast<REFERENCE_TIME>(k) * 400000;
        sample.Stop = sample.Start + 400000;
        ASSERT_EQ(S_OK, detector->Transform(&sample));
    }
}

}  // namespace overlay_test
