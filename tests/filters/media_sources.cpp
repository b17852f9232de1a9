#include <gtest/gtest.h>

#include "media_sources.h"

#include "dshow/ds_helpers.h"

#include <algorithm>
#include <cstring>
#include <mmreg.h>

namespace ftest {

namespace {
const CLSID CLSID_MediaSource = {0x6a1e0010, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x01}};

ComPtr<IPin> FirstPin(IBaseFilter* filter, PIN_DIRECTION dir)
{
    ComPtr<IEnumPins> e;
    if (FAILED(filter->EnumPins(e.GetAddressOf()))) {
        return nullptr;
    }
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
}  // namespace

long VideoBytes(int w, int h)
{
    return ((w * 3 + 3) / 4) * 4 * (h < 0 ? -h : h);
}

void MakeVideoType(AM_MEDIA_TYPE& mt, int w, int h)
{
    MakeRgb24(mt, w, h);
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat);
    vih->AvgTimePerFrame = 400000;
    vih->bmiHeader.biSizeImage = static_cast<DWORD>(VideoBytes(w, h));
    mt.lSampleSize = vih->bmiHeader.biSizeImage;
}

void MakePcmType(AM_MEDIA_TYPE& mt, int rate, int channels, int bits, bool shortFormat)
{
    dshow::FreeMediaType(mt);
    InitMediaType(mt);
    mt.majortype = MEDIATYPE_Audio;
    mt.subtype = MEDIASUBTYPE_PCM;
    mt.formattype = FORMAT_WaveFormatEx;
    const ULONG size = shortFormat ? 16 : sizeof(WAVEFORMATEX);
    auto* wf = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
    std::memset(wf, 0, sizeof(*wf));
    wf->wFormatTag = WAVE_FORMAT_PCM;
    wf->nChannels = static_cast<WORD>(channels);
    wf->nSamplesPerSec = static_cast<DWORD>(rate);
    wf->wBitsPerSample = static_cast<WORD>(bits);
    wf->nBlockAlign = static_cast<WORD>(channels * bits / 8);
    wf->nAvgBytesPerSec = wf->nSamplesPerSec * wf->nBlockAlign;
    mt.lSampleSize = wf->nBlockAlign;
    mt.pbFormat = reinterpret_cast<BYTE*>(wf);
    mt.cbFormat = size;
}

class MediaSource::Pin : public TBCBaseOutputPin {
public:
    Pin(MediaSource* filter, const AM_MEDIA_TYPE& type, long bytes, HRESULT& hr)
        : TBCBaseOutputPin("Media source pin", filter, filter->Lock(), hr, L"Out"), source_(filter), bytes_(bytes)
    {
        dshow::CopyMediaType(&type_, &type);
    }
    ~Pin() override
    {
        Inactive();
        dshow::FreeMediaType(type_);
    }
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override { return TypesEqual(*mt, type_) ? S_OK : S_FALSE; }
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) override
    {
        if (position != 0) {
            return VFW_S_NO_MORE_ITEMS;
        }
        dshow::FreeMediaType(*mt);
        dshow::CopyMediaType(mt, &type_);
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override
    {
        props->cBuffers = 3;
        props->cbBuffer = std::max(bytes_, source_->SwitchBytes);
        props->cbAlign = 1;
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
        source_->EosSent = false;
        thread_ = std::thread([this] { Stream(); });
        return S_OK;
    }
    HRESULT Inactive() override
    {
        stop_ = true;
        HRESULT hr = IsConnected() ? TBCBaseOutputPin::Inactive() : S_OK;
        if (thread_.joinable()) {
            thread_.join();
        }
        return hr;
    }

private:
    void Stream()
    {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        const int count = source_->Count.load();
        while ((source_->Live.load() && !stop_ && source_->State() != State_Running) ||
               (source_->GivesNothing.load() && !stop_)) {
            Sleep(1);
        }
        for (int i = 0; !stop_ && (count == 0 || i < count); ++i) {
            if (source_->Pace.load() > 0) {
                Sleep(static_cast<DWORD>(source_->Pace.load()));
            }
            ComPtr<IMediaSample> sample;
            if (FAILED(GetDeliveryBuffer(sample.GetAddressOf(), nullptr, nullptr, 0)) || !sample) {
                break;
            }
            BYTE* data = nullptr;
            sample->GetPointer(&data);
            long bytes = i >= source_->SwitchAt && source_->SwitchAt >= 0 ? source_->SwitchBytes : bytes_;
            if (source_->Fill) {
                source_->Fill(i, data, bytes);
            }
            if (i == source_->SwitchAt && source_->SwitchType != nullptr) {
                sample->SetMediaType(source_->SwitchType);
            }
            if (i == source_->ShortAt) {
                bytes /= 2;
            }
            sample->SetActualDataLength(bytes);
            bool discontinuity = false;
            REFERENCE_TIME start = source_->Stamp ? source_->Stamp(i, discontinuity) : i * source_->Duration;
            REFERENCE_TIME stop = source_->StopStamp ? source_->StopStamp(i, start) : start + source_->Duration;
            sample->SetTime(source_->Unstamped.load() ? nullptr : &start, source_->Unstamped.load() ? nullptr : &stop);
            sample->SetDiscontinuity(discontinuity ? TRUE : FALSE);
            sample->SetSyncPoint(i % std::max(source_->KeyEvery.load(), 1) == 0 ? TRUE : FALSE);
            HRESULT hr = Deliver(sample.Get());
            if (FAILED(hr) && !source_->GoOnAfterFailure.load()) {
                break;
            }
            ++source_->Delivered;
        }
        if (!stop_ && count != 0 && !source_->HoldEnd.load()) {
            DeliverEndOfStream();
            source_->EosSent = true;
        }
        CoUninitialize();
    }

    MediaSource* source_;
    long bytes_;
    AM_MEDIA_TYPE type_{};
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

MediaSource::MediaSource(const AM_MEDIA_TYPE& type, long bytes)
    : TBCBaseFilter("Media source", nullptr, std::make_unique<TBCCritSec>(), CLSID_MediaSource)
{
    HRESULT hr = S_OK;
    pin_ = std::make_unique<Pin>(this, type, bytes, hr);
}

MediaSource::~MediaSource()
{
    pin_.reset();
    dshow::DeleteMediaType(SwitchType);
}

HRESULT MediaSource::GetState(DWORD ms, FILTER_STATE* state)
{
    HRESULT hr = TBCBaseFilter::GetState(ms, state);
    if (hr == S_OK && Live.load() && *state == State_Paused) {
        return VFW_S_CANT_CUE;
    }
    return hr;
}

TBCBasePin* MediaSource::GetPin(int n)
{
    return n == 0 ? pin_.get() : nullptr;
}

// Grabber callback.

HRESULT RecordingGrabber::QueryInterface(REFIID iid, void** obj)
{
    *obj = nullptr;
    if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
        *obj = static_cast<ISampleGrabberCB*>(this);
        return S_OK;
    }
    return E_NOINTERFACE;
}

HRESULT RecordingGrabber::SampleCB(double, IMediaSample* sample)
{
    GrabbedSample g;
    g.timeResult = sample->GetTime(&g.start, &g.stop);
    g.mediaTimeResult = sample->GetMediaTime(&g.mediaStart, &g.mediaStop);
    g.sync = sample->IsSyncPoint() == S_OK;
    g.discontinuity = sample->IsDiscontinuity() == S_OK;
    if (Clock) {
        Clock->GetTime(&g.clockNow);
    }
    BYTE* data = nullptr;
    if (KeepData && SUCCEEDED(sample->GetPointer(&data)) && data != nullptr) {
        g.data.assign(data, data + sample->GetActualDataLength());
    } else {
        g.data.resize(static_cast<size_t>(sample->GetActualDataLength()));
    }
    std::lock_guard<std::mutex> lock(mutex_);
    samples_.push_back(std::move(g));
    return S_OK;
}

std::vector<GrabbedSample> RecordingGrabber::Samples()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return samples_;
}

size_t RecordingGrabber::Size()
{
    std::lock_guard<std::mutex> lock(mutex_);
    return samples_.size();
}

// Fixture.

void FilterGraphTest::SetUp()
{
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                     reinterpret_cast<void**>(graph.GetAddressOf()));
    ASSERT_TRUE(graph);
    ASSERT_EQ(S_OK, graph.As(&control));
    ComPtr<IMediaFilter> mf;
    ASSERT_EQ(S_OK, graph.As(&mf));
    mf->SetSyncSource(nullptr);
}

void FilterGraphTest::TearDown()
{
    if (control) {
        control->Stop();
    }
    if (grabber) {
        grabber->SetCallback(nullptr, 0);
    }
    grabber.Reset();
    recorder.Clock.Reset();
    control.Reset();
    graph.Reset();
    filters.clear();
    CoUninitialize();
}

ComPtr<IBaseFilter> FilterGraphTest::AddStock(REFCLSID clsid, const wchar_t* name)
{
    ComPtr<IBaseFilter> f;
    CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, reinterpret_cast<void**>(f.GetAddressOf()));
    EXPECT_TRUE(f) << "stock filter missing";
    if (f) {
        EXPECT_EQ(S_OK, graph->AddFilter(f.Get(), name));
        filters.push_back(f);
    }
    return f;
}

HRESULT FilterGraphTest::Link(IBaseFilter* from, IBaseFilter* to)
{
    return graph->ConnectDirect(FirstPin(from, PINDIR_OUTPUT).Get(), FirstPin(to, PINDIR_INPUT).Get(), nullptr);
}

HRESULT FilterGraphTest::AddGrabberAfter(IBaseFilter* from, REFGUID major)
{
    auto grabberFilter = AddStock(CLSID_SampleGrabber, L"Grabber");
    auto nullRenderer = AddStock(CLSID_NullRenderer, L"Null");
    if (!grabberFilter || !nullRenderer) {
        return E_FAIL;
    }
    HRESULT hr = grabberFilter.As(&grabber);
    if (FAILED(hr)) {
        return hr;
    }
    AM_MEDIA_TYPE want{};
    want.majortype = major;
    grabber->SetMediaType(&want);
    grabber->SetCallback(&recorder, 0);
    hr = Link(from, grabberFilter.Get());
    if (FAILED(hr)) {
        return hr;
    }
    return Link(grabberFilter.Get(), nullRenderer.Get());
}

void FilterGraphTest::UseSystemClock()
{
    ComPtr<IReferenceClock> clock;
    CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER, IID_IReferenceClock,
                     reinterpret_cast<void**>(clock.GetAddressOf()));
    ASSERT_TRUE(clock);
    ComPtr<IMediaFilter> mf;
    ASSERT_EQ(S_OK, graph.As(&mf));
    ASSERT_EQ(S_OK, mf->SetSyncSource(clock.Get()));
    recorder.Clock = clock;
}

bool FilterGraphTest::RunUntil(size_t count, int ms)
{
    if (FAILED(control->Run())) {
        return false;
    }
    const bool reached = WaitUntil([&] { return recorder.Size() >= count; }, ms);
    control->Stop();
    return reached;
}

bool FilterGraphTest::GrabbedType(AM_MEDIA_TYPE& mt)
{
    return grabber && SUCCEEDED(grabber->GetConnectedMediaType(&mt));
}

}  // namespace ftest
