#include "filters/transform_in_place.h"

#include "dshow/ds_helpers.h"

#include <cstddef>
#include <cstring>

using Microsoft::WRL::ComPtr;

namespace filters {

TBCTransInPlaceFilter::TBCTransInPlaceFilter(std::string objectName, IUnknown* owner, REFCLSID clsid, HRESULT&,
                                             bool modifiesData)
    : TBCTransformFilter(std::move(objectName), owner, clsid), modifiesData_(modifiesData)
{
}

TBCTransInPlaceFilter::TBCTransInPlaceFilter(const TBCFilterTemplateEntry& factory, IUnknown* controller)
    : TBCTransformFilter(factory, controller), modifiesData_(true)
{
}

void TBCTransInPlaceFilter::MakePins()
{
    HRESULT hr = S_OK;
    if (!input_) {
        input_ = std::make_unique<TBCTransInPlaceInputPin>("TransInPlace input pin", this, hr, L"Input");
    }
    if (!output_ && input_) {
        try {
            output_ = std::make_unique<TBCTransInPlaceOutputPin>("TransInPlace output pin", this, hr, L"Output");
        } catch (...) {
            input_.reset();
            throw;
        }
    }
}

HRESULT TBCTransInPlaceFilter::CheckTransform(const AM_MEDIA_TYPE*, const AM_MEDIA_TYPE*)
{
    return S_OK;
}

HRESULT TBCTransInPlaceFilter::GetMediaType(int, AM_MEDIA_TYPE*)
{
    return E_UNEXPECTED;  // the pins enumerate the peer's types instead
}

HRESULT TBCTransInPlaceFilter::DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* properties)
{
    if (alloc == nullptr || properties == nullptr) {
        return E_POINTER;
    }
    ALLOCATOR_PROPERTIES request{};
    if (input_ && input_->IsConnected()) {
        IMemAllocator* inputAlloc = input_->Allocator();
        if (inputAlloc == nullptr) {
            return VFW_E_NO_ALLOCATOR;
        }
        HRESULT hr = inputAlloc->GetProperties(&request);
        if (FAILED(hr)) {
            return hr;
        }
    } else {
        request.cBuffers = 1;
        request.cbBuffer = 1;
    }
    properties->cBuffers = request.cBuffers > 0 ? request.cBuffers : 1;
    properties->cbBuffer = request.cbBuffer > 0 ? request.cbBuffer : 1;
    ALLOCATOR_PROPERTIES actual{};
    HRESULT hr = alloc->SetProperties(properties, &actual);
    if (FAILED(hr)) {
        return hr;
    }
    if (request.cBuffers > actual.cBuffers || request.cbBuffer > actual.cbBuffer || request.cbAlign > actual.cbAlign) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT TBCTransInPlaceFilter::CompleteConnect(PIN_DIRECTION dir, IPin*)
{
    if (!input_ || !output_) {
        return E_UNEXPECTED;
    }
    if (Graph() == nullptr) {
        return VFW_E_NOT_IN_GRAPH;
    }
    if (dir == PINDIR_OUTPUT) {
        if (input_->IsConnected()) {
            return ReconnectPin(input_->PinInterface(), &output_->CurrentMediaType());
        }
        return S_OK;
    }
    if (output_->IsConnected() && !TypesEqual(input_->CurrentMediaType(), output_->CurrentMediaType())) {
        return ReconnectPin(output_->PinInterface(), &input_->CurrentMediaType());
    }
    return S_OK;
}

bool TBCTransInPlaceFilter::UsingDifferentAllocators() const
{
    IMemAllocator* in = input_ ? input_->Allocator() : nullptr;
    IMemAllocator* out = output_ ? output_->Allocator() : nullptr;
    return in != out;
}

HRESULT TBCTransInPlaceFilter::Receive(IMediaSample* sample)
{
    if (input_->SampleProps().dwStreamId != AM_STREAM_MEDIA) {
        return output_->Deliver(sample);
    }
    ComPtr<IMediaSample> copy;
    IMediaSample* work = sample;
    if (UsingDifferentAllocators()) {
        copy = Copy(sample);
        if (!copy) {
            return E_UNEXPECTED;
        }
        work = copy.Get();
    }
    HRESULT hr = Transform(work);
    if (hr == S_OK) {
        hr = output_->Deliver(work);
    } else if (hr == S_FALSE) {
        sampleSkipped_.store(true);
        if (!qualityChanged_.load()) {
            NotifyEvent(EC_QUALITY_CHANGE, 0, 0);
            qualityChanged_.store(true);
        }
        hr = S_OK;
    }
    return hr;  // the copy, if one was made, is released here
}

ComPtr<IMediaSample> TBCTransInPlaceFilter::Copy(IMediaSample* source)
{
    REFERENCE_TIME tStart = 0;
    REFERENCE_TIME tStop = 0;
    const bool time = source->GetTime(&tStart, &tStop) == S_OK;
    ComPtr<IMediaSample> dest;
    const bool skipped = sampleSkipped_.load();
    HRESULT hr = output_->GetDeliveryBuffer(dest.GetAddressOf(), time ? &tStart : nullptr, time ? &tStop : nullptr,
                                            skipped ? AM_GBF_PREVFRAMESKIPPED : 0);
    if (FAILED(hr) || !dest) {
        return nullptr;
    }
    ComPtr<IMediaSample2> dest2;
    if (SUCCEEDED(dest.As(&dest2))) {
        // Everything before the buffer pointer: flags, times, stream id and media type.
        AM_SAMPLE2_PROPERTIES props = input_->SampleProps();
        props.cbData = offsetof(AM_SAMPLE2_PROPERTIES, pbBuffer);
        if (skipped) {
            // The frame before this one was dropped: the copy says so, as on the plain path.
            props.dwSampleFlags |= AM_SAMPLE_DATADISCONTINUITY;
        }
        if (FAILED(dest2->SetProperties(offsetof(AM_SAMPLE2_PROPERTIES, pbBuffer), reinterpret_cast<BYTE*>(&props)))) {
            return nullptr;
        }
    } else {
        if (time) {
            dest->SetTime(&tStart, &tStop);
        }
        if (source->IsSyncPoint() == S_OK) {
            dest->SetSyncPoint(TRUE);
        }
        if (source->IsDiscontinuity() == S_OK || skipped) {
            dest->SetDiscontinuity(TRUE);
        }
        if (source->IsPreroll() == S_OK) {
            dest->SetPreroll(TRUE);
        }
        AM_MEDIA_TYPE* type = nullptr;
        if (source->GetMediaType(&type) == S_OK && type != nullptr) {
            dest->SetMediaType(type);
        }
        dshow::DeleteMediaType(type);
    }
    sampleSkipped_.store(false);
    LONGLONG mediaStart = 0;
    LONGLONG mediaEnd = 0;
    if (source->GetMediaTime(&mediaStart, &mediaEnd) == S_OK) {
        dest->SetMediaTime(&mediaStart, &mediaEnd);
    }
    const long length = source->GetActualDataLength();
    // A destination smaller than the data is refused, never overrun; one smaller than the source
    // buffer but large enough for the data is accepted.
    if (length < 0 || dest->GetSize() < length) {
        return nullptr;
    }
    if (FAILED(dest->SetActualDataLength(length))) {
        return nullptr;
    }
    if (length > 0) {
        BYTE* from = nullptr;
        BYTE* to = nullptr;
        if (FAILED(source->GetPointer(&from)) || FAILED(dest->GetPointer(&to)) || from == nullptr || to == nullptr) {
            return nullptr;
        }
        std::memcpy(to, from, static_cast<size_t>(length));
    }
    return dest;
}

// Input pin.

TBCTransInPlaceInputPin::TBCTransInPlaceInputPin(std::string objectName, TBCTransInPlaceFilter* filter, HRESULT& hr,
                                                 std::wstring name)
    : TBCTransformInputPin(std::move(objectName), filter, hr, std::move(name)), tipFilter_(filter)
{
}

HRESULT TBCTransInPlaceInputPin::EnumMediaTypes(IEnumMediaTypes** e)
{
    if (e == nullptr) {
        return E_POINTER;
    }
    *e = nullptr;
    TBCTransformOutputPin* output = tipFilter_->OutputPin();
    IPin* downstream = output != nullptr ? output->GetConnected() : nullptr;
    if (downstream == nullptr) {
        return VFW_E_NOT_CONNECTED;
    }
    return downstream->EnumMediaTypes(e);
}

HRESULT TBCTransInPlaceInputPin::CheckMediaType(const AM_MEDIA_TYPE* mediaType)
{
    HRESULT hr = tipFilter_->CheckInputType(mediaType);
    if (hr != S_OK) {
        return hr;
    }
    TBCTransformOutputPin* output = tipFilter_->OutputPin();
    IPin* downstream = output != nullptr ? output->GetConnected() : nullptr;
    if (downstream != nullptr) {
        return downstream->QueryAccept(mediaType);
    }
    return S_OK;
}

// Output pin.

TBCTransInPlaceOutputPin::TBCTransInPlaceOutputPin(std::string objectName, TBCTransInPlaceFilter* filter,
                                                   HRESULT& hr, std::wstring name)
    : TBCTransformOutputPin(std::move(objectName), filter, hr, std::move(name)), tipFilter_(filter)
{
}

HRESULT TBCTransInPlaceOutputPin::EnumMediaTypes(IEnumMediaTypes** e)
{
    if (e == nullptr) {
        return E_POINTER;
    }
    *e = nullptr;
    TBCTransformInputPin* input = tipFilter_->InputPin();
    IPin* upstream = input != nullptr ? input->GetConnected() : nullptr;
    if (upstream == nullptr) {
        return VFW_E_NOT_CONNECTED;
    }
    return upstream->EnumMediaTypes(e);
}

HRESULT TBCTransInPlaceOutputPin::CheckMediaType(const AM_MEDIA_TYPE* mediaType)
{
    if (tipFilter_->UsingDifferentAllocators() && !IsStopped()) {
        // While streaming through a copy, the output type is frozen.
        return TypesEqual(*mediaType, CurrentMediaType()) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT hr = tipFilter_->CheckInputType(mediaType);
    if (hr != S_OK) {
        return hr;
    }
    TBCTransformInputPin* input = tipFilter_->InputPin();
    IPin* upstream = input != nullptr ? input->GetConnected() : nullptr;
    if (upstream != nullptr) {
        return upstream->QueryAccept(mediaType);
    }
    return S_OK;
}

}  // namespace filters
