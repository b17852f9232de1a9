#include "filters/base_io_pins.h"

#include "dshow/ds_helpers.h"

using Microsoft::WRL::ComPtr;

namespace filters {

// Output pin.

TBCBaseOutputPin::TBCBaseOutputPin(std::string objectName, TBCBaseFilter* filter, TBCCritSec* lock, HRESULT& hr,
                                   std::wstring name)
    : TBCBasePin(std::move(objectName), filter, lock, hr, std::move(name), PINDIR_OUTPUT)
{
}

HRESULT TBCBaseOutputPin::EndOfStream()
{
    return E_UNEXPECTED;
}

HRESULT TBCBaseOutputPin::BeginFlush()
{
    return E_UNEXPECTED;
}

HRESULT TBCBaseOutputPin::EndFlush()
{
    return E_UNEXPECTED;
}

HRESULT TBCBaseOutputPin::Active()
{
    if (!allocator_) {
        return VFW_E_NO_ALLOCATOR;
    }
    return allocator_->Commit();
}

HRESULT TBCBaseOutputPin::Inactive()
{
    SetRunTimeError(false);
    if (!allocator_) {
        return VFW_E_NO_ALLOCATOR;
    }
    return allocator_->Decommit();
}

HRESULT TBCBaseOutputPin::CheckConnect(IPin* pin)
{
    HRESULT hr = TBCBasePin::CheckConnect(pin);
    if (FAILED(hr)) {
        return hr;
    }
    inputPin_.Reset();
    return pin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(inputPin_.GetAddressOf()));
}

HRESULT TBCBaseOutputPin::BreakConnect()
{
    if (allocator_) {
        HRESULT hr = allocator_->Decommit();
        if (FAILED(hr)) {
            return hr;
        }
        allocator_.Reset();
    }
    inputPin_.Reset();
    return S_OK;
}

HRESULT TBCBaseOutputPin::CompleteConnect(IPin*)
{
    if (!inputPin_) {
        return E_UNEXPECTED;
    }
    return DecideAllocator(inputPin_.Get(), allocator_);
}

HRESULT TBCBaseOutputPin::DecideAllocator(IMemInputPin* pin, ComPtr<IMemAllocator>& alloc)
{
    alloc.Reset();
    ALLOCATOR_PROPERTIES props{};
    pin->GetAllocatorRequirements(&props);  // our input pins leave it zero
    if (props.cbAlign == 0) {
        props.cbAlign = 1;
    }
    HRESULT hr = pin->GetAllocator(alloc.GetAddressOf());
    if (SUCCEEDED(hr)) {
        hr = DecideBufferSize(alloc.Get(), &props);
        if (SUCCEEDED(hr)) {
            hr = pin->NotifyAllocator(alloc.Get(), FALSE);
            if (SUCCEEDED(hr)) {
                return S_OK;
            }
        }
    }
    alloc.Reset();
    hr = InitAllocator(alloc);
    if (SUCCEEDED(hr)) {
        hr = DecideBufferSize(alloc.Get(), &props);
        if (SUCCEEDED(hr)) {
            hr = pin->NotifyAllocator(alloc.Get(), FALSE);
            if (SUCCEEDED(hr)) {
                return S_OK;
            }
        }
    }
    alloc.Reset();
    return hr;
}

HRESULT TBCBaseOutputPin::DecideBufferSize(IMemAllocator*, ALLOCATOR_PROPERTIES*)
{
    return S_OK;
}

HRESULT TBCBaseOutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* startTime,
                                            REFERENCE_TIME* endTime, DWORD flags)
{
    if (!allocator_) {
        return E_NOINTERFACE;
    }
    return allocator_->GetBuffer(sample, startTime, endTime, flags);
}

HRESULT TBCBaseOutputPin::Deliver(IMediaSample* sample)
{
    if (!inputPin_) {
        return VFW_E_NOT_CONNECTED;
    }
    return inputPin_->Receive(sample);
}

HRESULT TBCBaseOutputPin::InitAllocator(ComPtr<IMemAllocator>& alloc)
{
    alloc.Reset();
    return CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                            reinterpret_cast<void**>(alloc.GetAddressOf()));
}

HRESULT TBCBaseOutputPin::DeliverEndOfStream()
{
    IPin* peer = GetConnected();
    return peer == nullptr ? VFW_E_NOT_CONNECTED : peer->EndOfStream();
}

HRESULT TBCBaseOutputPin::DeliverBeginFlush()
{
    IPin* peer = GetConnected();
    return peer == nullptr ? VFW_E_NOT_CONNECTED : peer->BeginFlush();
}

HRESULT TBCBaseOutputPin::DeliverEndFlush()
{
    IPin* peer = GetConnected();
    return peer == nullptr ? VFW_E_NOT_CONNECTED : peer->EndFlush();
}

HRESULT TBCBaseOutputPin::DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate)
{
    IPin* peer = GetConnected();
    return peer == nullptr ? VFW_E_NOT_CONNECTED : peer->NewSegment(tStart, tStop, rate);
}

// Input pin.

TBCBaseInputPin::TBCBaseInputPin(std::string objectName, TBCBaseFilter* filter, TBCCritSec* lock, HRESULT& hr,
                                 std::wstring name)
    : TBCBasePin(std::move(objectName), filter, lock, hr, std::move(name), PINDIR_INPUT), memItf_(*this)
{
}

TBCBaseInputPin::~TBCBaseInputPin()
{
    DropOwnedType();
}

void TBCBaseInputPin::DropOwnedType()
{
    if (ownedType_ != nullptr) {
        if (sampleProps_.pMediaType == ownedType_) {
            sampleProps_.pMediaType = nullptr;
        }
        dshow::DeleteMediaType(ownedType_);
        ownedType_ = nullptr;
    }
}

HRESULT TBCBaseInputPin::NonDelegatingQueryInterface(REFIID iid, void** obj)
{
    if (iid == IID_IMemInputPin) {
        return GetInterface(&memItf_, obj);
    }
    return TBCBasePin::NonDelegatingQueryInterface(iid, obj);
}

HRESULT TBCBaseInputPin::BeginFlush()
{
    TBCAutoLock lock(*Lock());
    flushing_.store(true);
    return S_OK;
}

HRESULT TBCBaseInputPin::EndFlush()
{
    TBCAutoLock lock(*Lock());
    flushing_.store(false);
    SetRunTimeError(false);
    return S_OK;
}

HRESULT TBCBaseInputPin::Notify(IBaseFilter*, Quality)
{
    return S_OK;
}

HRESULT TBCBaseInputPin::Inactive()
{
    SetRunTimeError(false);
    if (!allocator_) {
        return VFW_E_NO_ALLOCATOR;
    }
    flushing_.store(false);
    return allocator_->Decommit();
}

HRESULT TBCBaseInputPin::BreakConnect()
{
    if (allocator_) {
        HRESULT hr = allocator_->Decommit();
        if (FAILED(hr)) {
            return hr;
        }
        allocator_.Reset();
    }
    return S_OK;
}

HRESULT TBCBaseInputPin::CheckStreaming()
{
    if (!IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    if (IsStopped()) {
        return VFW_E_WRONG_STATE;
    }
    if (flushing_.load()) {
        return S_FALSE;
    }
    if (RunTimeError()) {
        return VFW_E_RUNTIME_ERROR;
    }
    return S_OK;
}

HRESULT TBCBaseInputPin::Receive(IMediaSample* sample)
{
    if (sample == nullptr) {
        return E_POINTER;
    }
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) {
        return hr;
    }
    DropOwnedType();
    ComPtr<IMediaSample2> sample2;
    if (SUCCEEDED(sample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(sample2.GetAddressOf())))) {
        hr = sample2->GetProperties(sizeof(sampleProps_), reinterpret_cast<BYTE*>(&sampleProps_));
        if (FAILED(hr)) {
            return hr;
        }
    } else {
        AM_SAMPLE2_PROPERTIES& p = sampleProps_;
        p = AM_SAMPLE2_PROPERTIES{};
        p.cbData = sizeof(AM_SAMPLE2_PROPERTIES);
        p.dwTypeSpecificFlags = 0;
        p.dwStreamId = AM_STREAM_MEDIA;
        p.dwSampleFlags = 0;
        if (sample->IsDiscontinuity() == S_OK) {
            p.dwSampleFlags |= AM_SAMPLE_DATADISCONTINUITY;
        }
        if (sample->IsPreroll() == S_OK) {
            p.dwSampleFlags |= AM_SAMPLE_PREROLL;
        }
        if (sample->IsSyncPoint() == S_OK) {
            p.dwSampleFlags |= AM_SAMPLE_SPLICEPOINT;
        }
        HRESULT timeHr = sample->GetTime(&p.tStart, &p.tStop);
        if (SUCCEEDED(timeHr)) {
            p.dwSampleFlags |= AM_SAMPLE_TIMEVALID;
            // VFW_S_NO_STOP_TIME also succeeds: its stop time is made up and must not count as valid.
            if (timeHr == S_OK) {
                p.dwSampleFlags |= AM_SAMPLE_STOPVALID;
            }
        }
        AM_MEDIA_TYPE* type = nullptr;
        if (sample->GetMediaType(&type) == S_OK && type != nullptr) {
            ownedType_ = type;
            p.pMediaType = type;
            p.dwSampleFlags |= AM_SAMPLE_TYPECHANGED;
        } else if (type != nullptr) {
            dshow::DeleteMediaType(type);
        }
        sample->GetPointer(&p.pbBuffer);
        p.lActual = sample->GetActualDataLength();
        p.cbBuffer = sample->GetSize();
    }
    if ((sampleProps_.dwSampleFlags & AM_SAMPLE_TYPECHANGED) == 0) {
        return S_OK;
    }
    if (sampleProps_.pMediaType != nullptr && CheckMediaType(sampleProps_.pMediaType) == S_OK) {
        return S_OK;
    }
    SetRunTimeError(true);
    EndOfStream();
    Filter()->NotifyEvent(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
    return VFW_E_INVALIDMEDIATYPE;
}

HRESULT TBCBaseInputPin::GetAllocator(IMemAllocator** alloc)
{
    if (alloc == nullptr) {
        return E_POINTER;
    }
    *alloc = nullptr;
    TBCAutoLock lock(*Lock());
    if (!allocator_) {
        HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                                      reinterpret_cast<void**>(allocator_.GetAddressOf()));
        if (FAILED(hr)) {
            return hr;
        }
    }
    *alloc = allocator_.Get();
    (*alloc)->AddRef();
    return S_OK;
}

HRESULT TBCBaseInputPin::NotifyAllocator(IMemAllocator* alloc, BOOL readOnly)
{
    TBCAutoLock lock(*Lock());
    allocator_ = alloc;
    readOnly_ = readOnly != FALSE;
    return S_OK;
}

HRESULT TBCBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*)
{
    return E_NOTIMPL;
}

HRESULT TBCBaseInputPin::ReceiveMultiple(IMediaSample** samples, long count, long* processed)
{
    if (processed == nullptr || (samples == nullptr && count > 0)) {
        return E_POINTER;
    }
    *processed = 0;
    HRESULT hr = S_OK;
    for (long i = 0; i < count; ++i) {
        hr = Receive(samples[i]);
        if (hr != S_OK) {
            break;
        }
        ++*processed;
    }
    return hr;
}

HRESULT TBCBaseInputPin::ReceiveCanBlock()
{
    TBCBaseFilter* filter = Filter();
    int connectedOutputs = 0;
    for (int i = 0; i < filter->GetPinCount(); ++i) {
        TBCBasePin* pin = filter->GetPin(i);
        if (pin == nullptr) {
            continue;
        }
        PIN_DIRECTION dir = PINDIR_INPUT;
        HRESULT hr = pin->QueryDirection(&dir);
        if (FAILED(hr)) {
            return hr;
        }
        if (dir != PINDIR_OUTPUT) {
            continue;
        }
        ComPtr<IPin> peer;
        if (pin->ConnectedTo(peer.GetAddressOf()) != S_OK || !peer) {
            continue;
        }
        ++connectedOutputs;
        ComPtr<IMemInputPin> mem;
        if (FAILED(peer->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(mem.GetAddressOf())))) {
            return S_OK;
        }
        if (mem->ReceiveCanBlock() != S_FALSE) {
            return S_OK;
        }
    }
    return connectedOutputs == 0 ? S_OK : S_FALSE;
}

HRESULT TBCBaseInputPin::PassNotify(const Quality& q)
{
    IBaseFilter* self = Filter()->BaseFilterInterface();
    if (QualitySink()) {
        return QualitySink()->Notify(self, q);
    }
    HRESULT hr = VFW_E_NOT_FOUND;
    IPin* peer = GetConnected();
    if (peer != nullptr) {
        ComPtr<IQualityControl> qc;
        if (SUCCEEDED(peer->QueryInterface(IID_IQualityControl, reinterpret_cast<void**>(qc.GetAddressOf())))) {
            hr = qc->Notify(self, q);
        }
    }
    return hr;
}

// IMemInputPin stubs.

HRESULT STDMETHODCALLTYPE TBCBaseInputPin::MemItf::GetAllocator(IMemAllocator** alloc)
{
    return ComGuard([&] { return o.GetAllocator(alloc); });
}
HRESULT STDMETHODCALLTYPE TBCBaseInputPin::MemItf::NotifyAllocator(IMemAllocator* alloc, BOOL readOnly)
{
    return ComGuard([&] { return o.NotifyAllocator(alloc, readOnly); });
}
HRESULT STDMETHODCALLTYPE TBCBaseInputPin::MemItf::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* props)
{
    return ComGuard([&] { return o.GetAllocatorRequirements(props); });
}
HRESULT STDMETHODCALLTYPE TBCBaseInputPin::MemItf::Receive(IMediaSample* sample)
{
    return ComGuard([&] { return o.Receive(sample); });
}
HRESULT STDMETHODCALLTYPE TBCBaseInputPin::MemItf::ReceiveMultiple(IMediaSample** samples, long count,
                                                                     long* processed)
{
    return ComGuard([&] { return o.ReceiveMultiple(samples, count, processed); });
}
HRESULT STDMETHODCALLTYPE TBCBaseInputPin::MemItf::ReceiveCanBlock()
{
    return ComGuard([&] { return o.ReceiveCanBlock(); });
}

}  // namespace filters
