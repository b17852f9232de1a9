// The overlay filter in Wine graphs: a patterned RGB24 source (with and without row padding, bottom-up
// and top-down) -> overlay -> Sample Grabber -> Null Renderer. Placement of the text lines, flips and
// mirror, the text modes with and without a scene detector, font size, border, display countdown,
// and still pictures posted to a test window.
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

namespace {

using ftest::ComPtr;
using ftest::Hold;
using namespace filters;

const CLSID CLSID_PatternSource = {0x6a1e0023, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x23}};

struct SourceConfig {
    int width = 720;
    int height = 576;
    bool topDown = false;
    int frames = 2;
    REFERENCE_TIME start = 0;
    REFERENCE_TIME frameTime = 400000;  // 40 ms
};

long Stride(int w)
{
    return Rgb24Stride(w);
}

// The input picture's pixel (x, y), y counted from the top: never black, never white.
void PatternPixel(int x, int y, BYTE* bgr)
{
    bgr[0] = static_cast<BYTE>(60 + (x * 7 + y * 3) % 150);
    bgr[1] = static_cast<BYTE>(60 + (x * 3 + y * 5) % 150);
    bgr[2] = static_cast<BYTE>(80 + (x + 2 * y) % 100);
}

// The input buffer of a frame in the source's layout; padding bytes hold 0xEE.
std::vector<BYTE> PatternFrame(const SourceConfig& c)
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

bool Same(const BYTE* a, const BYTE* b)
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

HWND g_window = nullptr;

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
Box ChangedBox(const std::vector<BYTE>& out, const std::vector<BYTE>& in, int w, int h, int* black = nullptr,
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
int MeasureText(const std::wstring& text, int height, bool bold)
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

TEST_F(Overlay, PreferenceOffCopiesPaddedRowsAndTurnsInvertedOrTopDownInput)
{
    host.preference = false;
    overlay->SetOverlayEnabled(true);
    overlay->SetVerticalFlip(true);  // ignored with the preference off
    SourceConfig c{.width = 101, .height = 37};
    Run(c);
    EXPECT_EQ(37, outHeight);
    EXPECT_EQ(304u * 37u, outSampleSize);
    for (size_t k = 0; k < grab->lengths.size(); ++k) {
        EXPECT_EQ(304 * 37, grab->lengths[k]);
        EXPECT_FALSE(grab->changed[k]) << "frame " << k;
    }

    // Upside-down source: turned on the way. Top-down input: written bottom-up, type height positive.
    overlay->SetSourceInverted(true);
    Run(c);
    View out{grab->frames[0].data(), 101, 37};
    std::vector<BYTE> in = PatternFrame(c);
    View src{in.data(), 101, 37};
    for (int y = 0; y < 37; ++y) {
        for (int x = 0; x < 101; x += 5) {
            ASSERT_TRUE(Same(out.At(x, y), src.At(x, 36 - y))) << x << "," << y;
        }
    }
    overlay->SetSourceInverted(false);
    c.topDown = true;
    Run(c);
    EXPECT_EQ(37, outHeight) << "a top-down input gives a bottom-up output type";
    EXPECT_FALSE(grab->changed[0]) << "the picture stays upright";
    EXPECT_EQ(304 * 37, grab->lengths[0]);
}

TEST_F(Overlay, TextLinesStandWhereThePositionAndAlignmentSay)
{
    overlay->SetOverlayEnabled(true);
    SourceConfig c;
    const std::vector<BYTE> in = PatternFrame(c);
    Run(c, 1);  // sizes the work picture, so that the automatic font size applies
    for (int align = 0; align <= 4; ++align) {
        overlay->SetIncrustRec(TextRec(align, 2));
        ASSERT_EQ(28, overlay->FontHeight());
        Run(c, 1);
        EXPECT_EQ(720 * 3 * 576, grab->lengths[0]);
        int black = 0, white = 0;
        const Box b = ChangedBox(grab->frames[0], in, 720, 576, &black, &white);
        if (align == 4) {
            EXPECT_TRUE(b.Empty()) << "an unknown alignment draws nothing";
            continue;
        }
        const int t1 = MeasureText(L"Quillo", 28, true), t2 = MeasureText(L"Trane", 28, true);
        auto x = [&](int t) { return align == 0 ? 360 : align == 1 ? 360 - t / 2 : align == 2 ? 360 - t : (720 - t) / 2; };
        // Line 1 stands one font height above the point, line 2 starts at it; border 2, 2 px slack.
        const int left = std::min(x(t1), x(t2)) - 4, right = std::max(x(t1) + t1, x(t2) + t2) + 4;
        EXPECT_GE(b.left, left) << "align " << align;
        EXPECT_LE(b.right, right) << "align " << align;
        EXPECT_GE(b.top, 288 - 28 - 4);
        EXPECT_LE(b.bottom, 288 + 28 + 4);
        // Both lines are drawn: changes above and below the point, near both ends of the box.
        EXPECT_LT(b.top, 288 - 14);
        EXPECT_GT(b.bottom, 288 + 14);
        EXPECT_LE(b.left, left + 8);
        EXPECT_GE(b.right, right - 8);
        EXPECT_GT(black, 200) << "black outline";
        EXPECT_GT(white, 100) << "white text";
    }
    // The point at the right edge with right alignment: the text ends there.
    auto rec = TextRec(2, 0);
    rec.Xpos = 1500;  // clamped to 1000
    rec.Ypos = -5;    // clamped to 0: line 1 lies above the picture, line 2 at the top
    overlay->SetIncrustRec(rec);
    EXPECT_EQ(1000, overlay->XPos());
    EXPECT_EQ(0, overlay->YPos());
    EXPECT_EQ(1500, overlay->IncrustRec().Xpos);
    Run(c, 1);
    const Box b = ChangedBox(grab->frames[0], in, 720, 576);
    ASSERT_FALSE(b.Empty());
    EXPECT_LE(b.top, 8) << "line 2 starts at the top (its glyphs a little lower)";
    EXPECT_LE(b.bottom, 30) << "line 1 lies above the picture";
    EXPECT_GE(b.right, 700);
    EXPECT_GE(b.left, 720 - MeasureText(L"Trane", 28, true) - 2);
}

TEST_F(Overlay, BorderAndAutomaticFontSize)
{
    SourceConfig c;
    const std::vector<BYTE> in = PatternFrame(c);
    // Before any stream the picture has no size: 16 pixels.
    overlay->SetIncrustRec(TextRec(0, 0));
    EXPECT_EQ(16, overlay->FontHeight());
    overlay->SetOverlayEnabled(true);
    Run(c, 1);
    overlay->SetIncrustRec(TextRec(0, 0));
    EXPECT_EQ(28, overlay->FontHeight());
    Run(c, 1);
    int black0 = 0, white0 = 0;
    const Box plain = ChangedBox(grab->frames[0], in, 720, 576, &black0, &white0);
    EXPECT_EQ(0, black0) << "no outline with border 0";
    EXPECT_GT(white0, 100);
    EXPECT_LE(plain.bottom - plain.top, 2 * 28 + 2);
    overlay->SetIncrustRec(TextRec(0, 2));
    Run(c, 1);
    int black2 = 0;
    const Box outlined = ChangedBox(grab->frames[0], in, 720, 576, &black2);
    EXPECT_GT(black2, 200);
    EXPECT_GE(plain.left - outlined.left, 1);
    EXPECT_GE(outlined.right - plain.right, 1);

    // A record font size in points (no automatic size): 21 points at 96 pixels per inch.
    auto fixed = TextRec(0, 0);
    fixed.Autofontsize = false;
    fixed.FontRec.Size = 21;
    overlay->SetIncrustRec(fixed);
    EXPECT_EQ(28, overlay->FontHeight());
    // 320 pixels wide: 320 x 28 / 720 = 12, so 16.
    SourceConfig narrow{.width = 320, .height = 240};
    Run(narrow, 1);
    overlay->SetIncrustRec(TextRec(0, 0));
    EXPECT_EQ(16, overlay->FontHeight());
}

TEST_F(Overlay, FlipsAndMirrorTurnThePicture)
{
    for (SourceConfig c : {SourceConfig{.width = 64, .height = 48}, SourceConfig{.width = 33, .height = 21}}) {
        const std::vector<BYTE> in = PatternFrame(c);
        View src{in.data(), c.width, c.height};
        struct Case {
            bool v, h, inverted;
        };
        for (Case k : {Case{true, false, false}, Case{false, true, false}, Case{true, true, false},
                       Case{true, false, true}}) {
            overlay->SetVerticalFlip(k.v);
            overlay->SetHorizontalFlip(k.h);
            overlay->SetSourceInverted(k.inverted);
            Run(c, 1);
            EXPECT_EQ(Stride(c.width) * c.height, grab->lengths[0]);
            View out{grab->frames[0].data(), c.width, c.height};
            const bool turned = k.v != k.inverted;
            int wrong = 0;
            for (int y = 0; y < c.height; ++y) {
                for (int x = 0; x < c.width; ++x) {
                    const int sx = k.h ? c.width - 1 - x : x, sy = turned ? c.height - 1 - y : y;
                    wrong += Same(out.At(x, y), src.At(sx, sy)) ? 0 : 1;
                }
            }
            EXPECT_EQ(0, wrong) << c.width << " v" << k.v << " h" << k.h << " inv" << k.inverted;
        }
    }
}

TEST_F(Overlay, TextModesWithoutADetectorShowNA)
{
    overlay->SetOverlayEnabled(true);
    SourceConfig c{.width = 160, .height = 120, .frames = 1};
    auto rec = TextRec(0, 1);
    rec.FormatDate1 = L"yyyy";
    rec.FormatDate2 = L"'Y'yy";
    SYSTEMTIME now{};
    GetLocalTime(&now);
    const std::wstring year = std::to_wstring(now.wYear);
    struct Case {
        int what;
        const wchar_t *incrust1, *line1, *line2;
    };
    const std::wstring yy = L"Y" + std::wstring(year.end() - 2, year.end());
    for (Case k : {Case{0, L"", L"N/A", L"N/A"}, Case{1, L"", L"", L"N/A"}, Case{3, L"", year.c_str(), yy.c_str()},
                   Case{4, L"", L"", L""}}) {
        rec.WhatIncrust = static_cast<std::uint8_t>(k.what);
        overlay->SetIncrustRec(rec);
        Run(c, 1);
        EXPECT_EQ(k.line1, overlay->Lines().first) << k.what;
        EXPECT_EQ(k.line2, overlay->Lines().second) << k.what;
        EXPECT_EQ(k.what != 4, grab->changed[0]) << "mode 4 draws nothing";
    }
    rec.WhatIncrust = 2;
    rec.Incrust1 = L"%d|%T|%r|%d";
    rec.Incrust2 = L"[%R]";
    overlay->SetIncrustRec(rec);
    Run(c, 1);
    EXPECT_EQ(L"N/A|N/A|" + year + L"|N/A", overlay->Lines().first);
    EXPECT_EQ(L"[" + yy + L"]", overlay->Lines().second);
}

std::uint8_t Bcd(int v)
{
    return static_cast<std::uint8_t>(((v / 10) << 4) | (v % 10));
}

// A DV frame (10 sequences) with timecode 1:02:03:04, dated 2021-month-day 10:20:second, or undated.
std::vector<BYTE> DVFrame(bool dated, int day = 15, int month = 6, int second = 30)
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
void FeedDetector(Tqz_SceneDetect* detector, const std::vector<std::vector<BYTE>>& frames)
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

TEST_F(Overlay, DetectorEntryGivesTheDateAndTimecodeOfTheFrameShown)
{
    auto* detector = new Tqz_SceneDetect;
    auto detectorHeld = Hold(detector);
    // Entries at 0 and 40 ms dated, at 80 ms undated.
    FeedDetector(detector, {DVFrame(true), DVFrame(true), DVFrame(false)});
    overlay->SetSceneDetector(detector);
    overlay->SetOverlayEnabled(true);
    auto rec = TextRec(0, 1);
    rec.Incrust1 = L"%D %t";
    rec.Incrust2 = L"%d";
    rec.FormatDate1 = L"yyyy'-'mm'-'dd hh'h'nn";
    rec.FormatDate2 = L"dd";
    rec.DecalageHoraire = 1.0;  // one day later
    overlay->SetIncrustRec(rec);
    // The source's frames start at 0 and 40 ms: the second one shows ring entry 2 (40 ms).
    Run(SourceConfig{.width = 160, .height = 120, .frames = 2}, 1);
    EXPECT_EQ(2, detector->RingReadIndex.load());
    EXPECT_EQ(L"2021-06-16 10h20 1:02:03:04", overlay->Lines().first);
    EXPECT_EQ(L"16", overlay->Lines().second);
    // A frame at 80 ms and later shows the undated entry.
    Run(SourceConfig{.width = 160, .height = 120, .frames = 1, .start = 800000}, 1);
    EXPECT_EQ(3, detector->RingReadIndex.load());
    EXPECT_EQ(L"N/A 1:02:03:04", overlay->Lines().first);
    overlay->SetSceneDetector(nullptr);
}

TEST_F(Overlay, DisplayCountdownLimitsTheFramesWithText)
{
    host.frameTime = 400000;  // 25 frames per second
    SourceConfig c{.width = 96, .height = 64, .frames = 40};
    overlay->SetIncrustRec(TextRec(0, 0));
    overlay->SetDisplayMode(1, 1);
    EXPECT_EQ(25, overlay->DisplayFrames());
    overlay->SetOverlayEnabled(true);
    Run(c, 0);
    int withText = 0;
    for (bool changed : grab->changed) {
        withText += changed ? 1 : 0;
    }
    EXPECT_EQ(23, withText) << "mode 1 shows the texts for DisplayFrames - 2 frames";
    EXPECT_TRUE(grab->changed[0]);
    EXPECT_FALSE(grab->changed[39]);
    overlay->SetDisplayMode(0, 1);
    Run(c, 0);
    for (bool changed : grab->changed) {
        EXPECT_TRUE(changed) << "mode 0 always draws";
    }
    host.frameTime = 800000;  // 12.5 frames: halves go to the even neighbour
    overlay->SetDisplayMode(1, 1);
    EXPECT_EQ(12, overlay->DisplayFrames());
    overlay->SetOverlayEnabled(false);
    Run(c, 0);
    for (bool changed : grab->changed) {
        EXPECT_FALSE(changed) << "overlay off";
    }
}

// The frames of a run that carried text, as a string of '#' and '.'.
std::string TextFrames(const Grabber& grab)
{
    std::string out;
    for (bool changed : grab.changed) {
        out += changed ? '#' : '.';
    }
    return out;
}

TEST_F(Overlay, AtEachSceneTheCountdownRestartsOnADateJumpForwardOrBack)
{
    auto* detector = new Tqz_SceneDetect;
    auto detectorHeld = Hold(detector);
    // 10:20:30 for five frames, one second later for five (no scene), 15 seconds later for ten,
    // then back to 10:20:31 for ten.
    std::vector<std::vector<BYTE>> frames;
    for (int k = 0; k < 30; ++k) {
        frames.push_back(DVFrame(true, 15, 6, k < 5 ? 30 : k < 10 ? 31 : k < 20 ? 46 : 31));
    }
    FeedDetector(detector, frames);
    overlay->SetSceneDetector(detector);
    host.frameTime = 2000000;  // five frames a second: one second of text is five frames
    overlay->SetIncrustRec(TextRec(0, 0));
    overlay->SetDisplayMode(2, 1);
    ASSERT_EQ(5, overlay->DisplayFrames());
    overlay->SetOverlayEnabled(true);
    Run(SourceConfig{.width = 96, .height = 64, .frames = 30}, 0);
    // Each restart shows the texts on that frame and the three after it.
    EXPECT_EQ("####......####......####......", TextFrames(*grab));
    overlay->SetSceneDetector(nullptr);
}

TEST_F(Overlay, AtEachDayTheCountdownRestartsOnANewDayOfTheMonthOrAJumpOfMoreThanADay)
{
    auto* detector = new Tqz_SceneDetect;
    auto detectorHeld = Hold(detector);
    // 15 June, then 16 June, then 16 June a little later, then 16 July (the same day of the month).
    std::vector<std::vector<BYTE>> frames;
    for (int k = 0; k < 40; ++k) {
        frames.push_back(k < 10 ? DVFrame(true, 15, 6, 30) : k < 20 ? DVFrame(true, 16, 6, 30)
                         : k < 30 ? DVFrame(true, 16, 6, 59) : DVFrame(true, 16, 7, 59));
    }
    FeedDetector(detector, frames);
    overlay->SetSceneDetector(detector);
    host.frameTime = 2000000;
    auto rec = TextRec(0, 0);
    rec.WhatIncrust = 0;  // the DV date is the day's reference
    rec.FormatDate1 = L"dd";
    rec.FormatDate2 = L"hh:nn:ss";
    overlay->SetIncrustRec(rec);
    overlay->SetDisplayMode(3, 1);
    overlay->SetOverlayEnabled(true);
    Run(SourceConfig{.width = 96, .height = 64, .frames = 40}, 0);
    EXPECT_EQ("####......####" + std::string(16, '.') + "####......", TextFrames(*grab));

    // With the timecode shown there is no reference date: only the first count, never a restart.
    rec.WhatIncrust = 1;
    overlay->SetIncrustRec(rec);
    overlay->SetOverlayEnabled(true);
    Run(SourceConfig{.width = 96, .height = 64, .frames = 40}, 0);
    EXPECT_EQ("###" + std::string(37, '.'), TextFrames(*grab));
    overlay->SetSceneDetector(nullptr);
}

TEST_F(Overlay, TimedPicturesPostTheirSlotAndTheSecondsLeft)
{
    // 12 s into the stream, one picture every 5 s, 40 ms frames up to 17.16 s.
    SourceConfig c{.frames = 130, .start = 120000000};
    overlay->StartExtraction(50000);
    Drain();
    Run(c, 1);
    const std::vector<Posted> got = Drain();
    std::vector<std::pair<UINT, long>> seen;
    for (const Posted& p : got) {
        seen.emplace_back(p.message, p.message == WM_USER + 1 ? static_cast<long>(p.lParam) : static_cast<long>(p.wParam));
        if (p.message == WM_USER + 1) {
            EXPECT_EQ(0u, p.wParam);
        } else {
            EXPECT_EQ(0, p.lParam);
        }
    }
    const std::vector<std::pair<UINT, long>> want = {{WM_USER + 1, 1}, {WM_USER + 2, 4}, {WM_USER + 2, 3},
                                                      {WM_USER + 2, 2}, {WM_USER + 2, 1}, {WM_USER + 2, 0},
                                                      {WM_USER + 1, 2}, {WM_USER + 2, 4}};
    EXPECT_EQ(want, seen);
    EXPECT_EQ(220000, overlay->NextDue());
    ASSERT_TRUE(overlay->SlotBusy(1));
    ASSERT_TRUE(overlay->SlotBusy(2));
    // The picture is the frame as delivered (top row first in the slot, bottom-up in the output).
    const TRgbPicture& pic = overlay->SlotBitmap(1);
    ASSERT_EQ(720, pic.Width());
    ASSERT_EQ(576, pic.Height());
    View out{grab->frames[0].data(), 720, 576};
    for (int y = 0; y < 576; y += 7) {
        for (int x = 0; x < 720; x += 11) {
            ASSERT_TRUE(Same(pic.ScanLine(y) + x * 3, out.At(x, y))) << x << "," << y;
        }
    }
    overlay->ReleaseSlot(1);
    overlay->ReleaseSlot(2);

    // After a pause longer than the interval: one picture, then the schedule restarts from there.
    SourceConfig later{.frames = 2, .start = 400000000};
    Run(later, 0);
    int pictures = 0;
    for (const Posted& p : Drain()) {
        pictures += p.message == WM_USER + 1 ? 1 : 0;
    }
    EXPECT_EQ(1, pictures);
    EXPECT_EQ(450000, overlay->NextDue()) << "40 s + 5 s";
    overlay->StopExtraction();
}

TEST_F(Overlay, SnapshotsUseSlotsInTurnAndAreLostWhileTheSlotIsBusy)
{
    SourceConfig c{.width = 32, .height = 24, .frames = 1};
    // A snapshot and a timed picture on the same frame: one picture.
    overlay->StartExtraction(50000);
    overlay->RequestGrab();
    Run(c, 1);
    auto got = Drain();
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(1, got[0].lParam);
    EXPECT_FALSE(overlay->GrabRequested());
    overlay->StopExtraction();

    // Every slot busy (a picture at every frame, none handed back): snapshots are lost without a
    // message, the slot index still advances.
    TakePictures(19);
    for (int slot = 0; slot < kSuperposerSlots; ++slot) {
        ASSERT_TRUE(overlay->SlotBusy(slot)) << slot;
    }
    EXPECT_EQ(0, overlay->SlotIndex());
    overlay->RequestGrab();
    Run(c, 0);
    EXPECT_TRUE(Drain().empty());
    EXPECT_FALSE(overlay->GrabRequested());
    EXPECT_EQ(1, overlay->SlotIndex());

    // Slots are used in turn, 19 is followed by 0, whether or not the earlier ones were released.
    ReleaseAll();
    TakePictures(17);
    ReleaseAll();
    EXPECT_EQ(18, overlay->SlotIndex());
    for (long want : {19L, 0L, 1L}) {
        overlay->RequestGrab();
        Run(c, 0);
        got = Drain();
        ASSERT_EQ(1u, got.size());
        EXPECT_EQ(WM_USER + 1, got[0].message);
        EXPECT_EQ(want, got[0].lParam);
    }
}

TEST_F(Overlay, SnapshotWithThePreferenceOffIsTheDeliveredPicture)
{
    SourceConfig c{.width = 33, .height = 21, .frames = 1};
    // A flipped, composed run leaves the drawing header upside down.
    overlay->SetVerticalFlip(true);
    Run(c, 1);
    host.preference = false;
    overlay->SetSourceInverted(true);
    overlay->RequestGrab();
    Run(c, 1);
    ASSERT_EQ(1u, Drain().size());
    const TRgbPicture& pic = overlay->SlotBitmap(1);
    View out{grab->frames[0].data(), 33, 21};
    for (int y = 0; y < 21; ++y) {
        for (int x = 0; x < 33; ++x) {
            ASSERT_TRUE(Same(pic.ScanLine(y) + x * 3, out.At(x, y))) << x << "," << y;
        }
    }
    overlay->ReleaseSlot(1);
}

TEST(OverlayFilter, MediaTypesAndMalformedFormats)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    {
        auto* overlay = new Tqz_Superposer;
        auto held = Hold(overlay);
        ftest::MediaType mt;
        ftest::MakeRgb24(mt, 720, 576);
        EXPECT_EQ(S_OK, overlay->CheckInputType(&mt));
        mt.subtype = MEDIASUBTYPE_RGB32;
        EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, overlay->CheckInputType(&mt));
        mt.subtype = MEDIASUBTYPE_RGB24;
        mt.cbFormat = 8;  // truncated format block
        EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, overlay->CheckInputType(&mt));
        mt.cbFormat = sizeof(VIDEOINFOHEADER);
        reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biWidth = -4;
        EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED, overlay->CheckInputType(&mt));
        AM_MEDIA_TYPE out{};
        EXPECT_EQ(E_INVALIDARG, overlay->GetMediaType(-1, &out));
        EXPECT_EQ(VFW_S_NO_MORE_ITEMS, overlay->GetMediaType(1, &out));
        EXPECT_EQ(VFW_E_NOT_CONNECTED, overlay->GetMediaType(0, &out));
        EXPECT_EQ(L"Marbrecq qz_Superposer", std::wstring(kSuperposerFilterName));
        CLSID id{};
        ComPtr<IPersist> persist;
        ASSERT_EQ(S_OK, held.As(&persist));
        persist->GetClassID(&id);
        EXPECT_EQ(CLSID_qz_Superposer, id);

        // A frame shorter than its format is not read past its end and not delivered.
        BITMAPINFOHEADER h{};
        h.biSize = sizeof(h);
        h.biWidth = 33;
        h.biHeight = 21;
        h.biBitCount = 24;
        h.biPlanes = 1;
        ASSERT_TRUE(overlay->SetupFrame(h));
        std::vector<BYTE> in(100, 0x40), outBuf(Stride(33) * 21);
        long length = -1;
        EXPECT_EQ(S_FALSE, overlay->ProcessFrame(in.data(), static_cast<long>(in.size()), false, 0, outBuf.data(),
                                                 static_cast<long>(outBuf.size()), length));
        EXPECT_EQ(0, length);
    }
    CoUninitialize();
}

TEST(OverlayDates, FormatsBySpecifiers)
{
    const double d = 44362.0 + (10 * 3600 + 5 * 60 + 9) / 86400.0;  // 15 June 2021 10:05:09, a Tuesday
    EXPECT_EQ(L"2021-06-15 10h05 09", FormatOverlayDateTime(L"yyyy'-'mm'-'dd hh'h'nn ss", d));
    EXPECT_EQ(L"21 6 15 10 5 9", FormatOverlayDateTime(L"yy m d h n s", d));
    EXPECT_EQ(L"10:05 = 10:05", FormatOverlayDateTime(L"hh\":\"mm \"=\" hh\":\"nn", d)) << "m after h is minutes";
    EXPECT_EQ(L"10 am", FormatOverlayDateTime(L"h am/pm", d));
    EXPECT_EQ(L"", FormatOverlayDateTime(L"", d));
    SYSTEMTIME st{2021, 6, 2, 15, 10, 5, 9, 0};
    wchar_t buffer[64];
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, 64);
    EXPECT_EQ(std::wstring(buffer), FormatOverlayDateTime(L"ddddd", d));
    GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, buffer, 64);
    EXPECT_EQ(std::wstring(buffer), FormatOverlayDateTime(L"tt", d));
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDAYNAME2, buffer, 64);  // Tuesday
    EXPECT_EQ(std::wstring(buffer), FormatOverlayDateTime(L"dddd", d));
    EXPECT_EQ(L"", FormatOverlayDateTime(L"yyyy", 1e12)) << "no date: empty";
}

}  // namespace
