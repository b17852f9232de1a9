#include "filters/transform_filter.h"

#include "dshow/ds_helpers.h"

#include <cstddef>

using Microsoft::WRL::ComPtr;

namespace filters {

HRESULT CreatePosPassThru(IUnknown* owner, bool renderer, IPin* pin, ComPtr<IUnknown>& passThru)
{
    passThru.Reset();
    ComPtr<IUnknown> unk;
    HRESULT hr = CoCreateInstance(CLSID_SeekingPassThru, owner, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  reinterpret_cast<void**>(unk.GetAddressOf()));
    if (FAILED(hr)) {
        return hr;
    }
    ComPtr<ISeekingPassThru> seeking;
    hr = unk->QueryInterface(IID_ISeekingPassThru, reinterpret_cast<void**>(seeking.GetAddressOf()));
    if (FAILED(hr)) {
        return hr;
    }
    hr = seeking->Init(renderer ? TRUE : FALSE, pin);
    if (FAILED(hr)) {
        return hr;
    }
    passThru = unk;
    return S_OK;
}

// Filter.

TBCTransformFilter::TBCTransformFilter(std::string objectName, IUnknown* owner, REFCLSID clsid)
    : TBCBaseFilter(std::move(objectName), owner, std::make_unique<TBCCritSec>(), clsid)
{
    csFilter_ = Lock();
}

TBCTransformFilter::TBCTransformFilter(const TBCFilterTemplateEntry& factory, IUnknown* controller)
    : TBCTransformFilter(factory.Name, controller, factory.FilterClsid)
{
}

TBCTransformFilter::~TBCTransformFilter()
{
    // The output pin goes first: it may hold the seeking pass-through bound to the input pin.
    output_.reset();
    input_.reset();
}

void TBCTransformFilter::MakePins()
{
    HRESULT hr = S_OK;
    if (!input_) {
        input_ = std::make_unique<TBCTransformInputPin>("Transform input pin", this, hr, L"XForm In");
    }
    if (!output_ && input_) {
        try {
            output_ = std::make_unique<TBCTransformOutputPin>("Transform output pin", this, hr, L"XForm Out");
        } catch (...) {
            input_.reset();
            throw;
        }
    }
}

TBCBasePin* TBCTransformFilter::GetPin(int n)
{
    if (!pinsReady_.load()) {
        TBCAutoLock lock(*csFilter_);
        if (!input_ || !output_) {
            MakePins();
        }
        pinsReady_.store(input_ && output_);
    }
    if (n == 0) {
        return input_.get();
    }
    if (n == 1) {
        return output_.get();
    }
    return nullptr;
}

HRESULT TBCTransformFilter::FindPin(LPCWSTR id, IPin** pin)
{
    if (pin == nullptr) {
        return E_POINTER;
    }
    *pin = nullptr;
    if (id == nullptr) {
        return E_POINTER;
    }
    TBCBasePin* found = nullptr;
    if (std::wstring(id) == L"In") {
        found = GetPin(0);
    } else if (std::wstring(id) == L"Out") {
        found = GetPin(1);
    } else {
        return VFW_E_NOT_FOUND;
    }
    if (found == nullptr) {
        return E_OUTOFMEMORY;
    }
    *pin = found->PinInterface();
    (*pin)->AddRef();
    return S_OK;
}

HRESULT TBCTransformFilter::Stop()
{
    TBCAutoLock lock(*csFilter_);
    if (IsStopped()) {
        return S_OK;
    }
    if (!input_ || !input_->IsConnected() || !output_ || !output_->IsConnected()) {
        SetState(State_Stopped);
        eosDelivered_.store(false);
        return S_OK;
    }
    // Decommitting the input side first frees an upstream thread waiting for a buffer, so that a
    // streaming call holding the receive lock can finish.
    input_->Inactive();
    TBCAutoLock receive(csReceive_);
    output_->Inactive();
    HRESULT hr = StopStreaming();
    if (SUCCEEDED(hr)) {
        SetState(State_Stopped);
        eosDelivered_.store(false);
    }
    return hr;
}

HRESULT TBCTransformFilter::Pause()
{
    TBCAutoLock lock(*csFilter_);
    HRESULT hr = S_OK;
    if (State() == State_Paused) {
        // nothing to do
    } else if (!input_ || !input_->IsConnected()) {
        if (output_ && !eosDelivered_.load()) {
            output_->DeliverEndOfStream();
            eosDelivered_.store(true);
        }
        SetState(State_Paused);
    } else if (!output_ || !output_->IsConnected()) {
        SetState(State_Paused);
    } else {
        if (IsStopped()) {
            TBCAutoLock receive(csReceive_);
            hr = StartStreaming();
        }
        if (SUCCEEDED(hr)) {
            hr = TBCBaseFilter::Pause();
        }
    }
    sampleSkipped_.store(false);
    qualityChanged_.store(false);
    return hr;
}

HRESULT TBCTransformFilter::Transform(IMediaSample*, IMediaSample*)
{
    return E_UNEXPECTED;
}

HRESULT TBCTransformFilter::StartStreaming()
{
    return S_OK;
}

HRESULT TBCTransformFilter::StopStreaming()
{
    return S_OK;
}

HRESULT TBCTransformFilter::AlterQuality(const Quality&)
{
    return S_FALSE;
}

HRESULT TBCTransformFilter::SetMediaType(PIN_DIRECTION, const AM_MEDIA_TYPE*)
{
    return S_OK;
}

HRESULT TBCTransformFilter::CheckConnect(PIN_DIRECTION, IPin*)
{
    return S_OK;
}

HRESULT TBCTransformFilter::BreakConnect(PIN_DIRECTION)
{
    return S_OK;
}

HRESULT TBCTransformFilter::CompleteConnect(PIN_DIRECTION, IPin*)
{
    return S_OK;
}

HRESULT TBCTransformFilter::Receive(IMediaSample* sample)
{
    if (input_->SampleProps().dwStreamId != AM_STREAM_MEDIA) {
        IMemInputPin* downstream = output_->InputPin();
        return downstream == nullptr ? VFW_E_NOT_CONNECTED : downstream->Receive(sample);
    }
    ComPtr<IMediaSample> out;
    HRESULT hr = InitializeOutputSample(sample, out);
    if (FAILED(hr)) {
        return hr;
    }
    hr = Transform(sample, out.Get());
    if (hr == S_OK) {
        IMemInputPin* downstream = output_->InputPin();
        hr = downstream == nullptr ? VFW_E_NOT_CONNECTED : downstream->Receive(out.Get());
        sampleSkipped_.store(false);
        return hr;  // the output sample is released here as on every other path
    }
    if (hr == S_FALSE) {
        sampleSkipped_.store(true);
        if (!qualityChanged_.load()) {
            NotifyEvent(EC_QUALITY_CHANGE, 0, 0);
            qualityChanged_.store(true);
        }
        return S_OK;
    }
    return hr;
}

HRESULT TBCTransformFilter::InitializeOutputSample(IMediaSample* sample, ComPtr<IMediaSample>& outSample)
{
    outSample.Reset();
    const AM_SAMPLE2_PROPERTIES& props = input_->SampleProps();
    DWORD flags = 0;
    if (sampleSkipped_.load()) {
        flags |= AM_GBF_PREVFRAMESKIPPED;
    }
    if ((props.dwSampleFlags & AM_SAMPLE_SPLICEPOINT) == 0) {
        flags |= AM_GBF_NOTASYNCPOINT;
    }
    REFERENCE_TIME start = props.tStart;
    REFERENCE_TIME stop = props.tStop;
    HRESULT hr = output_->GetDeliveryBuffer(outSample.GetAddressOf(),
                                            (props.dwSampleFlags & AM_SAMPLE_TIMEVALID) ? &start : nullptr,
                                            (props.dwSampleFlags & AM_SAMPLE_STOPVALID) ? &stop : nullptr, flags);
    if (FAILED(hr)) {
        outSample.Reset();
        return hr;
    }
    if (!outSample) {
        return E_UNEXPECTED;
    }
    ComPtr<IMediaSample2> out2;
    if (SUCCEEDED(outSample.As(&out2))) {
        AM_SAMPLE2_PROPERTIES outProps{};
        // The leading fields (sizes, flags, actual length) of the output sample, then ours up to the
        // stream id; offsets rather than fixed byte counts keep both targets right.
        out2->GetProperties(offsetof(AM_SAMPLE2_PROPERTIES, tStart), reinterpret_cast<BYTE*>(&outProps));
        outProps.dwTypeSpecificFlags = props.dwTypeSpecificFlags;
        outProps.dwSampleFlags =
            (outProps.dwSampleFlags & AM_SAMPLE_TYPECHANGED) | (props.dwSampleFlags & ~AM_SAMPLE_TYPECHANGED);
        outProps.tStart = props.tStart;
        outProps.tStop = props.tStop;
        outProps.cbData = offsetof(AM_SAMPLE2_PROPERTIES, dwStreamId);
        out2->SetProperties(offsetof(AM_SAMPLE2_PROPERTIES, dwStreamId), reinterpret_cast<BYTE*>(&outProps));
        if (props.dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) {
            sampleSkipped_.store(false);
        }
    } else {
        if (props.dwSampleFlags & AM_SAMPLE_TIMEVALID) {
            outSample->SetTime(&start, &stop);
        }
        if (props.dwSampleFlags & AM_SAMPLE_SPLICEPOINT) {
            outSample->SetSyncPoint(TRUE);
        }
        if (props.dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) {
            outSample->SetDiscontinuity(TRUE);
            sampleSkipped_.store(false);
        }
        LONGLONG mediaStart = 0;
        LONGLONG mediaEnd = 0;
        if (sample->GetMediaTime(&mediaStart, &mediaEnd) == S_OK) {
            outSample->SetMediaTime(&mediaStart, &mediaEnd);
        }
    }
    return S_OK;
}

HRESULT TBCTransformFilter::EndOfStream()
{
    return output_ ? output_->DeliverEndOfStream() : S_OK;
}

HRESULT TBCTransformFilter::BeginFlush()
{
    return output_ ? output_->DeliverBeginFlush() : S_OK;
}

HRESULT TBCTransformFilter::EndFlush()
{
    return output_ ? output_->DeliverEndFlush() : S_OK;
}

HRESULT TBCTransformFilter::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate)
{
    return output_ ? output_->DeliverNewSegment(tStart, tStop, rate) : S_OK;
}

// Input pin.

TBCTransformInputPin::TBCTransformInputPin(std::string objectName, TBCTransformFilter* filter, HRESULT& hr,
                                           std::wstring name)
    : TBCBaseInputPin(std::move(objectName), filter, &filter->FilterLock(), hr, std::move(name)),
      transformFilter_(filter)
{
}

HRESULT TBCTransformInputPin::QueryId(LPWSTR* id)
{
    return AMGetWideString(L"In", id);
}

HRESULT TBCTransformInputPin::EndOfStream()
{
    TBCAutoLock receive(transformFilter_->ReceiveLock());
    HRESULT hr = CheckStreaming();
    if (hr == S_OK) {
        hr = transformFilter_->EndOfStream();
    }
    return hr;
}

HRESULT TBCTransformInputPin::BeginFlush()
{
    TBCAutoLock lock(transformFilter_->FilterLock());
    TBCTransformOutputPin* output = transformFilter_->OutputPin();
    if (!IsConnected() || output == nullptr || !output->IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    HRESULT hr = TBCBaseInputPin::BeginFlush();
    if (FAILED(hr)) {
        return hr;
    }
    return transformFilter_->BeginFlush();
}

HRESULT TBCTransformInputPin::EndFlush()
{
    TBCAutoLock lock(transformFilter_->FilterLock());
    TBCTransformOutputPin* output = transformFilter_->OutputPin();
    if (!IsConnected() || output == nullptr || !output->IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    HRESULT hr = transformFilter_->EndFlush();
    if (FAILED(hr)) {
        return hr;
    }
    return TBCBaseInputPin::EndFlush();
}

HRESULT TBCTransformInputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate)
{
    TBCBasePin::NewSegment(tStart, tStop, rate);
    return transformFilter_->NewSegment(tStart, tStop, rate);
}

HRESULT TBCTransformInputPin::CheckMediaType(const AM_MEDIA_TYPE* mediaType)
{
    HRESULT hr = transformFilter_->CheckInputType(mediaType);
    if (hr != S_OK) {
        return hr;
    }
    TBCTransformOutputPin* output = transformFilter_->OutputPin();
    if (output != nullptr && output->IsConnected()) {
        return transformFilter_->CheckTransform(mediaType, &output->CurrentMediaType());
    }
    return S_OK;
}

HRESULT TBCTransformInputPin::SetMediaType(const AM_MEDIA_TYPE* mediaType)
{
    HRESULT hr = TBCBaseInputPin::SetMediaType(mediaType);
    if (FAILED(hr)) {
        return hr;
    }
    return transformFilter_->SetMediaType(PINDIR_INPUT, mediaType);
}

HRESULT TBCTransformInputPin::CheckConnect(IPin* pin)
{
    HRESULT hr = transformFilter_->CheckConnect(PINDIR_INPUT, pin);
    if (FAILED(hr)) {
        return hr;
    }
    return TBCBaseInputPin::CheckConnect(pin);
}

HRESULT TBCTransformInputPin::BreakConnect()
{
    transformFilter_->BreakConnect(PINDIR_INPUT);
    return TBCBaseInputPin::BreakConnect();
}

HRESULT TBCTransformInputPin::CompleteConnect(IPin* receivePin)
{
    HRESULT hr = transformFilter_->CompleteConnect(PINDIR_INPUT, receivePin);
    return FAILED(hr) ? hr : S_OK;
}

HRESULT TBCTransformInputPin::Receive(IMediaSample* sample)
{
    TBCAutoLock receive(transformFilter_->ReceiveLock());
    HRESULT hr = TBCBaseInputPin::Receive(sample);
    if (hr == S_OK) {
        hr = transformFilter_->Receive(sample);
    }
    return hr;
}

HRESULT TBCTransformInputPin::CheckStreaming()
{
    TBCTransformOutputPin* output = transformFilter_->OutputPin();
    if (output == nullptr || !output->IsConnected()) {
        return VFW_E_NOT_CONNECTED;
    }
    if (IsFlushing()) {
        return S_FALSE;
    }
    if (IsStopped()) {
        return VFW_E_WRONG_STATE;
    }
    if (RunTimeError()) {
        return VFW_E_RUNTIME_ERROR;
    }
    return S_OK;
}

// Output pin.

TBCTransformOutputPin::TBCTransformOutputPin(std::string objectName, TBCTransformFilter* filter, HRESULT& hr,
                                             std::wstring name)
    : TBCBaseOutputPin(std::move(objectName), filter, &filter->FilterLock(), hr, std::move(name)),
      transformFilter_(filter)
{
}

HRESULT TBCTransformOutputPin::NonDelegatingQueryInterface(REFIID iid, void** obj)
{
    if (iid == IID_IMediaPosition || iid == IID_IMediaSeeking) {
        if (obj == nullptr) {
            return E_POINTER;
        }
        *obj = nullptr;
        {
            // Not the filter lock: a renderer asks for seeking from the streaming thread at end of
            // stream, while that thread holds the receive lock (the filter lock would invert the order).
            TBCAutoLock lock(positionLock_);
            if (!position_) {
                TBCTransformInputPin* input = transformFilter_->InputPin();
                HRESULT hr = CreatePosPassThru(nullptr, false, input->PinInterface(), position_);
                if (FAILED(hr)) {
                    return hr;
                }
            }
        }
        return position_->QueryInterface(iid, obj);
    }
    return TBCBaseOutputPin::NonDelegatingQueryInterface(iid, obj);
}

HRESULT TBCTransformOutputPin::QueryId(LPWSTR* id)
{
    return AMGetWideString(L"Out", id);
}

HRESULT TBCTransformOutputPin::Notify(IBaseFilter*, Quality q)
{
    HRESULT hr = transformFilter_->AlterQuality(q);
    if (hr != S_FALSE) {
        return hr;
    }
    return transformFilter_->InputPin()->PassNotify(q);
}

HRESULT TBCTransformOutputPin::CheckMediaType(const AM_MEDIA_TYPE* mediaType)
{
    TBCTransformInputPin* input = transformFilter_->InputPin();
    if (input == nullptr || !input->IsConnected()) {
        return E_INVALIDARG;
    }
    return transformFilter_->CheckTransform(&input->CurrentMediaType(), mediaType);
}

HRESULT TBCTransformOutputPin::SetMediaType(const AM_MEDIA_TYPE* mediaType)
{
    HRESULT hr = TBCBaseOutputPin::SetMediaType(mediaType);
    if (FAILED(hr)) {
        return hr;
    }
    return transformFilter_->SetMediaType(PINDIR_OUTPUT, mediaType);
}

HRESULT TBCTransformOutputPin::CheckConnect(IPin* pin)
{
    TBCTransformInputPin* input = transformFilter_->InputPin();
    if (input == nullptr || !input->IsConnected()) {
        return E_UNEXPECTED;
    }
    HRESULT hr = transformFilter_->CheckConnect(PINDIR_OUTPUT, pin);
    if (FAILED(hr)) {
        return hr;
    }
    return TBCBaseOutputPin::CheckConnect(pin);
}

HRESULT TBCTransformOutputPin::BreakConnect()
{
    transformFilter_->BreakConnect(PINDIR_OUTPUT);
    return TBCBaseOutputPin::BreakConnect();
}

HRESULT TBCTransformOutputPin::CompleteConnect(IPin* receivePin)
{
    HRESULT hr = transformFilter_->CompleteConnect(PINDIR_OUTPUT, receivePin);
    if (FAILED(hr)) {
        return hr;
    }
    return TBCBaseOutputPin::CompleteConnect(receivePin);
}

HRESULT TBCTransformOutputPin::GetMediaType(int position, AM_MEDIA_TYPE* mediaType)
{
    TBCTransformInputPin* input = transformFilter_->InputPin();
    if (input == nullptr || !input->IsConnected()) {
        return VFW_S_NO_MORE_ITEMS;
    }
    return transformFilter_->GetMediaType(position, mediaType);
}

HRESULT TBCTransformOutputPin::DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* properties)
{
    return transformFilter_->DecideBufferSize(alloc, properties);
}

}  // namespace filters
