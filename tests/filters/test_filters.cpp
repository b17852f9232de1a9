#include "test_filters.h"

#include "dshow/ds_helpers.h"

#include <algorithm>
#include <cstring>

namespace ftest {

// {6A1E0001-5C2B-4F6A-9D47-7E4A1B2C3D01} and following: test-only class ids.
const CLSID CLSID_TestSource = {0x6a1e0001, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x01}};
const CLSID CLSID_TestSink = {0x6a1e0002, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x01}};
const CLSID CLSID_TestPassThrough = {0x6a1e0003, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x01}};
const CLSID CLSID_TestCopy = {0x6a1e0004, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x01}};

MediaType::MediaType()
{
    InitMediaType(*this);
}

MediaType::~MediaType()
{
    dshow::FreeMediaType(*this);
}

void MakeRgb24(AM_MEDIA_TYPE& mt, int w, int h)
{
    dshow::FreeMediaType(mt);
    InitMediaType(mt);
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_RGB24;
    mt.formattype = FORMAT_VideoInfo;
    mt.lSampleSize = static_cast<ULONG>(w * h * 3);
    auto* vih = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    std::memset(vih, 0, sizeof(*vih));
    vih->AvgTimePerFrame = 10000;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = w;
    vih->bmiHeader.biHeight = h;
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = 24;
    vih->bmiHeader.biCompression = BI_RGB;
    vih->bmiHeader.biSizeImage = static_cast<DWORD>(w * h * 3);
    mt.pbFormat = reinterpret_cast<BYTE*>(vih);
    mt.cbFormat = sizeof(VIDEOINFOHEADER);
}

int WidthOf(const AM_MEDIA_TYPE& mt)
{
    if (mt.formattype != FORMAT_VideoInfo || mt.cbFormat < sizeof(VIDEOINFOHEADER) || mt.pbFormat == nullptr) {
        return 0;
    }
    return reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat)->bmiHeader.biWidth;
}

namespace {

bool IsRgb24(const AM_MEDIA_TYPE* mt)
{
    return mt != nullptr && mt->majortype == MEDIATYPE_Video && mt->subtype == MEDIASUBTYPE_RGB24 &&
           WidthOf(*mt) > 0;
}

bool WidthListed(const std::vector<int>& list, const AM_MEDIA_TYPE* mt)
{
    if (list.empty()) {
        return true;
    }
    for (int w : list) {
        if (WidthOf(*mt) == w) {
            return true;
        }
    }
    return false;
}

}  // namespace

// Source.

TestSource::TestSource()
    : TBCBaseFilter("Test source", nullptr, std::make_unique<TBCCritSec>(), CLSID_TestSource)
{
    HRESULT hr = S_OK;
    pin_ = std::make_unique<Pin>(this, hr);
}

TestSource::~TestSource() = default;

TBCBasePin* TestSource::GetPin(int n)
{
    return n == 0 ? pin_.get() : nullptr;
}

TestSource::Pin::Pin(TestSource* filter, HRESULT& hr)
    : TBCBaseOutputPin("Test source pin", filter, filter->Lock(), hr, L"Out"), source_(filter)
{
}

TestSource::Pin::~Pin()
{
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
}

HRESULT TestSource::Pin::CheckMediaType(const AM_MEDIA_TYPE* mt)
{
    return IsRgb24(mt) && (WidthOf(*mt) == 64 || WidthOf(*mt) == 32) ? S_OK : S_FALSE;
}

HRESULT TestSource::Pin::GetMediaType(int position, AM_MEDIA_TYPE* mt)
{
    if (position == 0) {
        MakeRgb24(*mt, 64, 48);
        return S_OK;
    }
    if (position == 1) {
        MakeRgb24(*mt, 32, 24);
        return S_OK;
    }
    return VFW_S_NO_MORE_ITEMS;
}

HRESULT TestSource::Pin::DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props)
{
    props->cBuffers = source_->Buffers.load();
    props->cbBuffer = static_cast<long>(CurrentMediaType().lSampleSize);
    ALLOCATOR_PROPERTIES actual{};
    HRESULT hr = alloc->SetProperties(props, &actual);
    if (FAILED(hr)) {
        return hr;
    }
    return actual.cbBuffer < props->cbBuffer ? E_FAIL : S_OK;
}

HRESULT TestSource::Pin::Active()
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

HRESULT TestSource::Pin::Inactive()
{
    stop_ = true;
    HRESULT hr = TBCBaseOutputPin::Inactive();  // frees the thread if it waits for a buffer
    if (thread_.joinable()) {
        thread_.join();
    }
    return hr;
}

HRESULT TestSource::Pin::Notify(IBaseFilter*, Quality)
{
    ++source_->QualityNotes;
    return S_OK;
}

void TestSource::Pin::Stream()
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const int limit = source_->FrameLimit.load();
    for (int frame = 0; !stop_ && (limit == 0 || frame < limit); ++frame) {
        ComPtr<IMediaSample> sample;
        if (FAILED(GetDeliveryBuffer(sample.GetAddressOf(), nullptr, nullptr, 0))) {
            break;
        }
        BYTE* data = nullptr;
        sample->GetPointer(&data);
        const long size = static_cast<long>(CurrentMediaType().lSampleSize);
        std::memset(data, frame & 0xFF, static_cast<size_t>(size));
        sample->SetActualDataLength(size);
        REFERENCE_TIME start = frame * source_->FrameTime;
        REFERENCE_TIME stop = start + source_->FrameTime;
        sample->SetTime(&start, &stop);
        sample->SetSyncPoint(TRUE);
        sample->SetDiscontinuity(frame == 0);
        HRESULT hr = Deliver(sample.Get());
        if (hr == S_OK) {
            ++source_->Delivered;
        } else if (FAILED(hr)) {
            break;
        }
    }
    if (!stop_ && limit != 0) {
        DeliverEndOfStream();
        source_->EosSent = true;
    }
    CoUninitialize();
}

// Sink.

TestSink::TestSink() : TBCBaseFilter("Test sink", nullptr, std::make_unique<TBCCritSec>(), CLSID_TestSink)
{
    HRESULT hr = S_OK;
    pin_ = std::make_unique<Pin>(this, hr);
}

TestSink::~TestSink() = default;

TBCBasePin* TestSink::GetPin(int n)
{
    return n == 0 ? pin_.get() : nullptr;
}

void TestSink::ReleaseHeld()
{
    std::lock_guard<std::mutex> lock(Mutex);
    Held.clear();
}

TestSink::Pin::Pin(TestSink* filter, HRESULT& hr)
    : TBCBaseInputPin("Test sink pin", filter, filter->Lock(), hr, L"In"), sink_(filter)
{
}

HRESULT TestSink::Pin::CheckMediaType(const AM_MEDIA_TYPE* mt)
{
    return IsRgb24(mt) && WidthListed(sink_->Accept, mt) ? S_OK : sink_->RefuseWith;
}

HRESULT TestSink::Pin::GetMediaType(int position, AM_MEDIA_TYPE* mt)
{
    if (position < 0 || position >= static_cast<int>(sink_->Offer.size())) {
        return VFW_S_NO_MORE_ITEMS;
    }
    int w = sink_->Offer[static_cast<size_t>(position)];
    MakeRgb24(*mt, w, w * 3 / 4);
    return S_OK;
}

HRESULT TestSink::Pin::Receive(IMediaSample* sample)
{
    HRESULT hr = TBCBaseInputPin::Receive(sample);
    if (hr != S_OK) {
        return hr;
    }
    int index = sink_->Received++;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    long n = sample->GetActualDataLength();
    bool uniform = true;
    for (long i = 1; i < n && data != nullptr; ++i) {
        if (data[i] != data[0]) {
            uniform = false;
            break;
        }
    }
    if (!uniform) {
        ++sink_->BadData;
    }
    {
        std::lock_guard<std::mutex> lock(sink_->Mutex);
        sink_->Flags.push_back(SampleProps().dwSampleFlags);
        sink_->FirstBytes.push_back(n > 0 && data != nullptr ? data[0] : -1);
        if (sink_->HoldSamples) {
            sink_->Held.emplace_back(sample);
        }
    }
    return index == sink_->ReturnFalseAt ? S_FALSE : S_OK;
}

HRESULT TestSink::Pin::EndOfStream()
{
    ++sink_->Eos;
    return S_OK;
}

HRESULT TestSink::Pin::BeginFlush()
{
    ++sink_->BeginFlushes;
    return TBCBaseInputPin::BeginFlush();
}

HRESULT TestSink::Pin::EndFlush()
{
    ++sink_->EndFlushes;
    return TBCBaseInputPin::EndFlush();
}

HRESULT TestSink::Pin::GetAllocator(IMemAllocator** alloc)
{
    if (!sink_->OfferAllocator) {
        if (alloc != nullptr) {
            *alloc = nullptr;
        }
        return VFW_E_NO_ALLOCATOR;
    }
    return TBCBaseInputPin::GetAllocator(alloc);
}

HRESULT TestSink::Pin::NotifyAllocator(IMemAllocator* alloc, BOOL readOnly)
{
    ++NotifyCalls;
    if (sink_->RefuseNotifyAllocator && NotifyCalls == 1) {
        return E_FAIL;
    }
    return TBCBaseInputPin::NotifyAllocator(alloc, readOnly);
}

// In-place pass-through.

namespace {
HRESULT unusedHr = S_OK;
}

PassThrough::PassThrough() : TBCTransInPlaceFilter("Test pass-through", nullptr, CLSID_TestPassThrough, unusedHr, false)
{
}

HRESULT PassThrough::CheckInputType(const AM_MEDIA_TYPE* mt)
{
    return IsRgb24(mt) && WidthListed(Accept, mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT PassThrough::Transform(IMediaSample*)
{
    int n = ++Transforms;
    if (InputPin()->SampleProps().dwStreamId != AM_STREAM_MEDIA) {
        ++StreamIdSeen;
    }
    int every = DropEvery.load();
    return every > 0 && n % every == 0 ? S_FALSE : S_OK;
}

// Copying transform.

CopyTransform::CopyTransform() : TBCTransformFilter("Test copy", nullptr, CLSID_TestCopy) {}

HRESULT CopyTransform::CheckInputType(const AM_MEDIA_TYPE* mt)
{
    return IsRgb24(mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CopyTransform::CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out)
{
    return IsRgb24(in) && IsRgb24(out) && WidthOf(*in) == WidthOf(*out) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CopyTransform::DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props)
{
    props->cBuffers = 2;
    props->cbBuffer = static_cast<long>(InputPin()->CurrentMediaType().lSampleSize);
    ALLOCATOR_PROPERTIES actual{};
    HRESULT hr = alloc->SetProperties(props, &actual);
    if (FAILED(hr)) {
        return hr;
    }
    return actual.cbBuffer < props->cbBuffer ? E_FAIL : S_OK;
}

HRESULT CopyTransform::GetMediaType(int position, AM_MEDIA_TYPE* mt)
{
    if (position != 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    dshow::FreeMediaType(*mt);
    dshow::CopyMediaType(mt, &InputPin()->CurrentMediaType());
    return S_OK;
}

HRESULT CopyTransform::Transform(IMediaSample* in, IMediaSample* out)
{
    ++Transforms;
    if (DropAll) {
        return S_FALSE;
    }
    BYTE* from = nullptr;
    BYTE* to = nullptr;
    in->GetPointer(&from);
    out->GetPointer(&to);
    long n = in->GetActualDataLength();
    if (n > out->GetSize()) {
        return E_FAIL;
    }
    std::memcpy(to, from, static_cast<size_t>(n));
    out->SetActualDataLength(n);
    return S_OK;
}

HRESULT CopyTransform::StartStreaming()
{
    ++Starts;
    return S_OK;
}

HRESULT CopyTransform::StopStreaming()
{
    ++Stops;
    return S_OK;
}

HRESULT CopyTransform::AlterQuality(const Quality&)
{
    ++AlterCalls;
    return AlterResult;
}

// Hand-made sample.

TestSample::TestSample(bool withSample2, long size) : WithSample2(withSample2), Data(static_cast<size_t>(size))
{
}

TestSample::~TestSample() = default;

HRESULT STDMETHODCALLTYPE TestSample::QueryInterface(REFIID iid, void** obj)
{
    *obj = nullptr;
    if (iid == IID_IUnknown || iid == IID_IMediaSample || (WithSample2 && iid == IID_IMediaSample2)) {
        *obj = static_cast<IMediaSample2*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE TestSample::AddRef()
{
    return static_cast<ULONG>(++Refs);
}

ULONG STDMETHODCALLTYPE TestSample::Release()
{
    LONG n = --Refs;
    if (n == 0) {
        delete this;
    }
    return static_cast<ULONG>(n);
}

HRESULT STDMETHODCALLTYPE TestSample::GetPointer(BYTE** buffer)
{
    *buffer = Data.data();
    return S_OK;
}

long STDMETHODCALLTYPE TestSample::GetSize()
{
    return static_cast<long>(Data.size());
}

HRESULT STDMETHODCALLTYPE TestSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end)
{
    if (SUCCEEDED(TimeResult)) {
        *start = Start;
        *end = Stop;
    }
    return TimeResult;
}

HRESULT STDMETHODCALLTYPE TestSample::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end)
{
    Start = start ? *start : 0;
    Stop = end ? *end : 0;
    TimeResult = start ? S_OK : VFW_E_SAMPLE_TIME_NOT_SET;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestSample::IsSyncPoint()
{
    return Sync ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE TestSample::SetSyncPoint(BOOL v)
{
    Sync = v != FALSE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestSample::IsPreroll()
{
    return Preroll ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE TestSample::SetPreroll(BOOL v)
{
    Preroll = v != FALSE;
    return S_OK;
}

long STDMETHODCALLTYPE TestSample::GetActualDataLength()
{
    return Actual;
}

HRESULT STDMETHODCALLTYPE TestSample::SetActualDataLength(long n)
{
    if (n < 0 || n > GetSize()) {
        return VFW_E_BUFFER_OVERFLOW;
    }
    Actual = n;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestSample::GetMediaType(AM_MEDIA_TYPE** mt)
{
    *mt = nullptr;
    if (TypeMarker == nullptr) {
        return S_FALSE;
    }
    auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    InitMediaType(*type);
    MakeRgb24(*type, 32, 24);
    type->pUnk = TypeMarker;
    TypeMarker->AddRef();
    *mt = type;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestSample::SetMediaType(AM_MEDIA_TYPE*)
{
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestSample::IsDiscontinuity()
{
    return Discontinuity ? S_OK : S_FALSE;
}

HRESULT STDMETHODCALLTYPE TestSample::SetDiscontinuity(BOOL v)
{
    Discontinuity = v != FALSE;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestSample::GetMediaTime(LONGLONG*, LONGLONG*)
{
    return VFW_E_MEDIA_TIME_NOT_SET;
}

HRESULT STDMETHODCALLTYPE TestSample::SetMediaTime(LONGLONG*, LONGLONG*)
{
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestSample::GetProperties(DWORD size, BYTE* props)
{
    AM_SAMPLE2_PROPERTIES p{};
    p.cbData = sizeof(p);
    p.dwSampleFlags = (Sync ? AM_SAMPLE_SPLICEPOINT : 0) | (Discontinuity ? AM_SAMPLE_DATADISCONTINUITY : 0) |
                      (TimeResult == S_OK ? AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID : 0);
    p.lActual = Actual;
    p.tStart = Start;
    p.tStop = Stop;
    p.dwStreamId = StreamId;
    p.pbBuffer = Data.data();
    p.cbBuffer = GetSize();
    std::memcpy(props, &p, std::min<size_t>(size, sizeof(p)));
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TestSample::SetProperties(DWORD, const BYTE*)
{
    return E_NOTIMPL;
}

HRESULT STDMETHODCALLTYPE CountingUnknown::QueryInterface(REFIID iid, void** obj)
{
    *obj = nullptr;
    if (iid == IID_IUnknown) {
        *obj = this;
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

}  // namespace ftest
