#include "platform/standins/test_camera.h"

#include <dshow.h>
#include <ocidl.h>
#include <uuids.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <vector>

#include "platform/standins/live_source.h"
#include "platform/standins/recording_settings.h"
#include "platform/standins/standins_dll.h"

namespace standins {

namespace {

struct TCameraFormat {
    const GUID* Subtype;
    DWORD Compression;
    WORD Bits;
    int Width;
    int Height;
};

const TCameraFormat kFormats[] = {
    {&MEDIASUBTYPE_RGB24, BI_RGB, 24, 320, 240},
    {&MEDIASUBTYPE_RGB24, BI_RGB, 24, 720, 576},
    {&MEDIASUBTYPE_YUY2, MAKEFOURCC('Y', 'U', 'Y', '2'), 16, 320, 240},
    {&MEDIASUBTYPE_YUY2, MAKEFOURCC('Y', 'U', 'Y', '2'), 16, 720, 576},
};
constexpr int kFormatCount = static_cast<int>(sizeof(kFormats) / sizeof(kFormats[0]));

DWORD ImageSize(const TCameraFormat& f)
{
    return static_cast<DWORD>(f.Width * f.Height * f.Bits / 8);
}

LONG BitRate(const TCameraFormat& f, REFERENCE_TIME frameTime)
{
    const ULONGLONG rate = static_cast<ULONGLONG>(ImageSize(f)) * 8 * 10000000 / static_cast<ULONGLONG>(frameTime);
    return static_cast<LONG>(std::min<ULONGLONG>(rate, 0x7FFFFFFF));
}

void BuildType(const TCameraFormat& f, REFERENCE_TIME frameTime, AM_MEDIA_TYPE& m)
{
    m.majortype = MEDIATYPE_Video;
    m.subtype = *f.Subtype;
    m.formattype = FORMAT_VideoInfo;
    m.bFixedSizeSamples = TRUE;
    m.bTemporalCompression = FALSE;
    m.lSampleSize = ImageSize(f);
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(AllocFormat(m, sizeof(VIDEOINFOHEADER)));
    if (vih == nullptr) {
        throw std::bad_alloc();
    }
    vih->dwBitRate = static_cast<DWORD>(BitRate(f, frameTime));
    vih->AvgTimePerFrame = frameTime;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = f.Width;
    vih->bmiHeader.biHeight = f.Height;
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = f.Bits;
    vih->bmiHeader.biCompression = f.Compression;
    vih->bmiHeader.biSizeImage = ImageSize(f);
}

// The format a video-info type describes, or -1; frameTime receives its frame time (0: the default).
int FormatOf(const AM_MEDIA_TYPE& m, REFERENCE_TIME& frameTime)
{
    if (m.majortype != MEDIATYPE_Video || m.formattype != FORMAT_VideoInfo || m.pbFormat == nullptr ||
        m.cbFormat < sizeof(VIDEOINFOHEADER)) {
        return -1;
    }
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(m.pbFormat);
    const BITMAPINFOHEADER& b = vih->bmiHeader;
    for (int i = 0; i < kFormatCount; ++i) {
        const TCameraFormat& f = kFormats[i];
        if (m.subtype == *f.Subtype && b.biWidth == f.Width && b.biHeight == f.Height && b.biBitCount == f.Bits &&
            b.biCompression == f.Compression && (b.biSizeImage == 0 || b.biSizeImage >= ImageSize(f))) {
            frameTime = vih->AvgTimePerFrame;
            return i;
        }
    }
    return -1;
}

struct TRgb {
    BYTE R, G, B;
};
struct TYuv {
    BYTE Y, U, V;
};

const TRgb kBars[8] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                       {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};

BYTE Clamp(double v)
{
    return static_cast<BYTE>(std::clamp(v + 0.5, 0.0, 255.0));
}

// Studio-range colours of the bars for YUY2.
TYuv ToYuv(const TRgb& c)
{
    const double r = c.R, g = c.G, b = c.B;
    return {Clamp(16 + (65.738 * r + 129.057 * g + 25.064 * b) / 256),
            Clamp(128 + (-37.945 * r - 74.494 * g + 112.439 * b) / 256),
            Clamp(128 + (112.439 * r - 94.154 * g - 18.285 * b) / 256)};
}

class TCameraPin;

// IAMDroppedFrames over the pin's counters, for the filter and for the pin.
struct DroppedItf : IAMDroppedFrames {
    DroppedItf(filters::TBCUnknown& owner, TCameraPin*& pin) : o(owner), p(pin) {}
    QUILL_DELEGATING_UNKNOWN(o)
    HRESULT STDMETHODCALLTYPE GetNumDropped(LONG* number) override;
    HRESULT STDMETHODCALLTYPE GetNumNotDropped(LONG* number) override;
    HRESULT STDMETHODCALLTYPE GetDroppedInfo(LONG size, LONG* array, LONG* copied) override;
    HRESULT STDMETHODCALLTYPE GetAverageFrameSize(LONG* size) override;
    filters::TBCUnknown& o;
    TCameraPin*& p;
};

class TCameraPin : public TLiveOutputPin {
public:
    TCameraPin(TLiveSourceFilter* filter, HRESULT& hr)
        : TLiveOutputPin("Test camera capture pin", filter, hr, kTestCameraPinName), self_(this), droppedItf_(*this, self_)
    {
    }

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override
    {
        if (iid == IID_IAMDroppedFrames) {
            return GetInterface(&droppedItf_, obj);
        }
        return TLiveOutputPin::NonDelegatingQueryInterface(iid, obj);
    }

    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override
    {
        const long needed = static_cast<long>(CurrentMediaType().lSampleSize);
        props->cBuffers = std::max<long>(props->cBuffers, 4);
        props->cbBuffer = std::max<long>(props->cbBuffer, needed);
        props->cbAlign = std::max<long>(props->cbAlign, 1);
        ALLOCATOR_PROPERTIES actual{};
        HRESULT hr = alloc->SetProperties(props, &actual);
        if (FAILED(hr)) {
            return hr;
        }
        return actual.cbBuffer < needed || actual.cBuffers < 1 ? E_FAIL : S_OK;
    }

    HRESULT NumDropped(LONG* number)
    {
        if (number == nullptr) {
            return E_POINTER;
        }
        *number = dropped_.load();
        return S_OK;
    }
    HRESULT NumNotDropped(LONG* number)
    {
        if (number == nullptr) {
            return E_POINTER;
        }
        *number = notDropped_.load();
        return S_OK;
    }
    HRESULT DroppedInfo(LONG size, LONG* array, LONG* copied)
    {
        if (array == nullptr || copied == nullptr) {
            return E_POINTER;
        }
        *copied = 0;
        if (size <= 0) {
            return E_INVALIDARG;
        }
        std::lock_guard<std::mutex> lock(droppedMutex_);
        const size_t n = std::min<size_t>(static_cast<size_t>(size), droppedFrames_.size());
        std::copy(droppedFrames_.end() - static_cast<std::ptrdiff_t>(n), droppedFrames_.end(), array);
        *copied = static_cast<LONG>(n);
        return S_OK;
    }
    HRESULT AverageFrameSize(LONG* size)
    {
        if (size == nullptr) {
            return E_POINTER;
        }
        const LONG frames = notDropped_.load();
        *size = frames > 0 ? static_cast<LONG>(bytes_.load() / frames) : 0;
        return S_OK;
    }

protected:
    int CapabilityCount() const override { return kFormatCount; }
    int CapabilitySize() const override { return sizeof(VIDEO_STREAM_CONFIG_CAPS); }

    void BuildCapability(int index, AM_MEDIA_TYPE& m, BYTE* caps) const override
    {
        const TCameraFormat& f = kFormats[index];
        BuildType(f, kCameraFrameTime, m);
        if (caps == nullptr) {
            return;
        }
        VIDEO_STREAM_CONFIG_CAPS c{};
        c.guid = FORMAT_VideoInfo;
        c.VideoStandard = AnalogVideo_None;
        c.InputSize = {f.Width, f.Height};
        c.MinCroppingSize = c.MaxCroppingSize = c.InputSize;
        c.CropGranularityX = c.CropGranularityY = 1;
        c.CropAlignX = c.CropAlignY = 1;
        c.MinOutputSize = c.MaxOutputSize = c.InputSize;
        c.OutputGranularityX = c.OutputGranularityY = 1;
        c.MinFrameInterval = kCameraMinFrameTime;
        c.MaxFrameInterval = kCameraMaxFrameTime;
        c.MinBitsPerSecond = BitRate(f, kCameraMaxFrameTime);
        c.MaxBitsPerSecond = BitRate(f, kCameraMinFrameTime);
        std::memcpy(caps, &c, sizeof(c));
    }

    bool Canonical(const AM_MEDIA_TYPE& request, AM_MEDIA_TYPE& out) const override
    {
        REFERENCE_TIME frameTime = 0;
        const int index = FormatOf(request, frameTime);
        if (index < 0) {
            return false;
        }
        if (frameTime == 0) {
            frameTime = kCameraFrameTime;
        }
        if (frameTime < kCameraMinFrameTime || frameTime > kCameraMaxFrameTime) {
            return false;
        }
        BuildType(kFormats[index], frameTime, out);
        return true;
    }

    REFERENCE_TIME UnitDuration() const override
    {
        REFERENCE_TIME frameTime = 0;
        FormatOf(CurrentMediaType(), frameTime);
        return frameTime >= kCameraMinFrameTime && frameTime <= kCameraMaxFrameTime ? frameTime : kCameraFrameTime;
    }
    // A real camera's clock, when the test asks for one.
    TTestPictureClock UnitClock(REFERENCE_TIME duration) const override { return TTestPictureClock::Read(duration); }
    bool DeliversAtUnitEnd() const override { return false; }
    bool SkipsLateUnits() const override { return true; }
    bool LosesUnit(LONGLONG n) const override { return TestLosesPicture(n, losesEvery_); }

    void StreamStarting() override
    {
        REFERENCE_TIME frameTime = 0;
        format_ = std::max(0, FormatOf(CurrentMediaType(), frameTime));
        losesEvery_ = TestRecordingSetting(kTestLostPicturesValue).value_or(0);
        dropped_ = 0;
        notDropped_ = 0;
        bytes_ = 0;
        std::lock_guard<std::mutex> lock(droppedMutex_);
        droppedFrames_.clear();
    }

    void UnitsMissed(LONGLONG first, LONGLONG count) override
    {
        dropped_ += static_cast<LONG>(count);
        std::lock_guard<std::mutex> lock(droppedMutex_);
        for (LONGLONG n = std::max(first, first + count - kDroppedKept); n < first + count; ++n) {
            droppedFrames_.push_back(static_cast<LONG>(n));
        }
        while (droppedFrames_.size() > static_cast<size_t>(kDroppedKept)) {
            droppedFrames_.pop_front();
        }
    }

    void UnitDelivered(long bytes) override
    {
        ++notDropped_;
        bytes_ += bytes;
    }

    HRESULT FillUnit(IMediaSample* sample, LONGLONG unit) override
    {
        const TCameraFormat& f = kFormats[format_];
        const long size = static_cast<long>(ImageSize(f));
        BYTE* data = nullptr;
        if (FAILED(sample->GetPointer(&data)) || data == nullptr || sample->GetSize() < size) {
            return VFW_E_BUFFER_OVERFLOW;
        }
        const int shift = static_cast<int>(unit * kBarStep % f.Width);
        const auto number = static_cast<ULONG>(unit & 0xFFFFFFFF);
        if (f.Bits == 24) {
            DrawRgb24(f, data, shift, number);
        } else {
            DrawYuy2(f, data, shift, number);
        }
        return sample->SetActualDataLength(size);
    }

private:
    static int BarAt(const TCameraFormat& f, int x, int shift) { return (x + shift) % f.Width * 8 / f.Width; }

    // Bottom-up rows: picture row y is memory line height - 1 - y.
    void DrawRgb24(const TCameraFormat& f, BYTE* data, int shift, ULONG number)
    {
        const size_t stride = static_cast<size_t>(f.Width) * 3;
        row_.resize(stride);
        for (int x = 0; x < f.Width; ++x) {
            const TRgb& c = kBars[BarAt(f, x, shift)];
            row_[3 * x] = c.B;
            row_[3 * x + 1] = c.G;
            row_[3 * x + 2] = c.R;
        }
        for (int y = 0; y < f.Height; ++y) {
            std::memcpy(data + static_cast<size_t>(f.Height - 1 - y) * stride, row_.data(), stride);
        }
        for (int y = kCounterTop; y < kCounterTop + kCounterBlock; ++y) {
            BYTE* line = data + static_cast<size_t>(f.Height - 1 - y) * stride;
            for (int bit = 0; bit < kCounterBits; ++bit) {
                std::memset(line + bit * kCounterBlock * 3, (number >> bit) & 1 ? 255 : 0, kCounterBlock * 3);
            }
        }
    }

    // Top-down rows of Y0 U Y1 V pairs; a pair takes its colour difference from its first pixel.
    void DrawYuy2(const TCameraFormat& f, BYTE* data, int shift, ULONG number)
    {
        const size_t stride = static_cast<size_t>(f.Width) * 2;
        row_.resize(stride);
        for (int x = 0; x < f.Width; x += 2) {
            const TYuv a = ToYuv(kBars[BarAt(f, x, shift)]);
            const TYuv b = ToYuv(kBars[BarAt(f, x + 1, shift)]);
            BYTE* p = &row_[static_cast<size_t>(x) * 2];
            p[0] = a.Y;
            p[1] = a.U;
            p[2] = b.Y;
            p[3] = a.V;
        }
        for (int y = 0; y < f.Height; ++y) {
            std::memcpy(data + static_cast<size_t>(y) * stride, row_.data(), stride);
        }
        for (int y = kCounterTop; y < kCounterTop + kCounterBlock; ++y) {
            BYTE* line = data + static_cast<size_t>(y) * stride;
            for (int bit = 0; bit < kCounterBits; ++bit) {
                const BYTE luma = (number >> bit) & 1 ? 235 : 16;
                BYTE* p = line + bit * kCounterBlock * 2;
                for (int i = 0; i < kCounterBlock; i += 2) {
                    p[2 * i] = luma;
                    p[2 * i + 1] = 128;
                    p[2 * i + 2] = luma;
                    p[2 * i + 3] = 128;
                }
            }
        }
    }

    TCameraPin* self_;
    DroppedItf droppedItf_;
    // Read by the graph's thread while the streaming thread counts.
    std::atomic<LONG> dropped_{0};
    std::atomic<LONG> notDropped_{0};
    std::atomic<LONGLONG> bytes_{0};
    std::mutex droppedMutex_;
    std::deque<LONG> droppedFrames_;
    int format_ = 0;         // set before the streaming thread starts
    std::uint64_t losesEvery_ = 0;  // the test's lost pictures (recording_settings.h), set with format_
    std::vector<BYTE> row_;  // the streaming thread's
};

HRESULT STDMETHODCALLTYPE DroppedItf::GetNumDropped(LONG* number)
{
    return filters::ComGuard([&] { return p->NumDropped(number); });
}
HRESULT STDMETHODCALLTYPE DroppedItf::GetNumNotDropped(LONG* number)
{
    return filters::ComGuard([&] { return p->NumNotDropped(number); });
}
HRESULT STDMETHODCALLTYPE DroppedItf::GetDroppedInfo(LONG size, LONG* array, LONG* copied)
{
    return filters::ComGuard([&] { return p->DroppedInfo(size, array, copied); });
}
HRESULT STDMETHODCALLTYPE DroppedItf::GetAverageFrameSize(LONG* size)
{
    return filters::ComGuard([&] { return p->AverageFrameSize(size); });
}

// The camera's property page: a window with the camera's name; nothing to apply.
class TCameraPage : public filters::TBCUnknown {
public:
    explicit TCameraPage(IUnknown* owner) : TBCUnknown("Test camera page", owner), pageItf_(*this) {}
    ~TCameraPage() override
    {
        if (window_ != nullptr) {
            DestroyWindow(window_);
        }
    }

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override
    {
        if (iid == IID_IPropertyPage) {
            return GetInterface(&pageItf_, obj);
        }
        return TBCUnknown::NonDelegatingQueryInterface(iid, obj);
    }

private:
    struct PageItf : IPropertyPage {
        explicit PageItf(TCameraPage& p) : o(p) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE SetPageSite(IPropertyPageSite* site) override
        {
            o.site_ = site;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE Activate(HWND parent, LPCRECT rect, BOOL) override
        {
            if (rect == nullptr) {
                return E_POINTER;
            }
            o.window_ = CreateWindowExW(0, L"STATIC", L"Quillotrane Test Camera", WS_CHILD | SS_CENTER, rect->left,
                                        rect->top, rect->right - rect->left, rect->bottom - rect->top, parent,
                                        nullptr, GetModuleHandleW(nullptr), nullptr);
            return o.window_ != nullptr ? S_OK : E_FAIL;
        }
        HRESULT STDMETHODCALLTYPE Deactivate() override
        {
            if (o.window_ != nullptr) {
                DestroyWindow(o.window_);
                o.window_ = nullptr;
            }
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE GetPageInfo(PROPPAGEINFO* info) override
        {
            if (info == nullptr) {
                return E_POINTER;
            }
            const size_t bytes = sizeof(kTestCameraPageTitle);
            auto* title = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
            if (title == nullptr) {
                return E_OUTOFMEMORY;
            }
            std::memcpy(title, kTestCameraPageTitle, bytes);
            info->cb = sizeof(PROPPAGEINFO);
            info->pszTitle = title;
            info->size = SIZE{240, 80};
            info->pszDocString = nullptr;
            info->pszHelpFile = nullptr;
            info->dwHelpContext = 0;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE SetObjects(ULONG, IUnknown**) override { return S_OK; }
        HRESULT STDMETHODCALLTYPE Show(UINT command) override
        {
            if (o.window_ != nullptr) {
                ShowWindow(o.window_, static_cast<int>(command));
            }
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE Move(LPCRECT rect) override
        {
            if (rect == nullptr) {
                return E_POINTER;
            }
            if (o.window_ != nullptr) {
                MoveWindow(o.window_, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
            }
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE IsPageDirty() override { return S_FALSE; }
        HRESULT STDMETHODCALLTYPE Apply() override { return S_OK; }
        HRESULT STDMETHODCALLTYPE Help(LPCOLESTR) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE TranslateAccelerator(MSG*) override { return S_FALSE; }
        TCameraPage& o;
    };

    PageItf pageItf_;
    Microsoft::WRL::ComPtr<IPropertyPageSite> site_;
    HWND window_ = nullptr;
};

class TTestCamera : public TLiveSourceFilter {
public:
    explicit TTestCamera(IUnknown* owner)
        : TLiveSourceFilter(kTestCameraName, owner, CLSID_QuillTestCamera), droppedItf_(*this, pin_), pagesItf_(*this)
    {
        HRESULT hr = S_OK;
        auto pin = std::make_unique<TCameraPin>(this, hr);
        pin_ = pin.get();
        SetPin(std::move(pin));
    }

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override
    {
        // The capture engine asks the filter itself for its dropped-frame counter.
        if (iid == IID_IAMDroppedFrames) {
            return GetInterface(&droppedItf_, obj);
        }
        if (iid == IID_ISpecifyPropertyPages) {
            return GetInterface(&pagesItf_, obj);
        }
        return TLiveSourceFilter::NonDelegatingQueryInterface(iid, obj);
    }

private:
    struct PagesItf : ISpecifyPropertyPages {
        explicit PagesItf(TTestCamera& f) : o(f) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE GetPages(CAUUID* pages) override
        {
            if (pages == nullptr) {
                return E_POINTER;
            }
            pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
            if (pages->pElems == nullptr) {
                pages->cElems = 0;
                return E_OUTOFMEMORY;
            }
            pages->pElems[0] = CLSID_QuillTestCameraPage;
            pages->cElems = 1;
            return S_OK;
        }
        TTestCamera& o;
    };

    TCameraPin* pin_ = nullptr;
    DroppedItf droppedItf_;
    PagesItf pagesItf_;
};

const REGPINTYPES kPinTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24}, {&MEDIATYPE_Video, &MEDIASUBTYPE_YUY2}};
const REGFILTERPINS kPins[] = {
    {const_cast<LPWSTR>(kTestCameraPinName), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 2, kPinTypes}};

const TStandinRegistrar registrar([](filters::TBCFilterTemplate& templates) {
    filters::TBCFilterTemplateEntry entry;
    entry.Name = kTestCameraName;
    entry.FilterClsid = CLSID_QuillTestCamera;
    entry.Category = CLSID_VideoInputDeviceCategory;
    entry.Merit = MERIT_DO_NOT_USE;
    entry.PinCount = 1;
    entry.Pins = kPins;
    entry.Create = [](IUnknown* controller, HRESULT&) -> filters::TBCUnknown* { return new TTestCamera(controller); };
    templates.Add(std::move(entry));
    // The page is a plain COM class: no category, so the mapper does not list it.
    filters::TBCFilterTemplateEntry page;
    page.Name = "Quillotrane Test Camera Page";
    page.FilterClsid = CLSID_QuillTestCameraPage;
    page.Create = [](IUnknown* controller, HRESULT&) -> filters::TBCUnknown* { return new TCameraPage(controller); };
    templates.Add(std::move(page));
});

}  // namespace
}  // namespace standins
