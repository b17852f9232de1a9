// The transform-in-place filter: output type equals input type, Transform works on the received
// sample itself; the pins pass type enumeration and acceptance through to the other side and the
// filter reconnects that side when a connection's type changes. With differing allocators each sample
// is copied into an output buffer first, so upstream buffers are never written.
#pragma once

#include "filters/transform_filter.h"

namespace filters {

class TBCTransInPlaceInputPin;
class TBCTransInPlaceOutputPin;

class TBCTransInPlaceFilter : public TBCTransformFilter {
public:
    TBCTransInPlaceFilter(std::string objectName, IUnknown* owner, REFCLSID clsid, HRESULT& hr, bool modifiesData);
    // The factory's constructor: modifies data.
    TBCTransInPlaceFilter(const TBCFilterTemplateEntry& factory, IUnknown* controller);

    using TBCTransformFilter::Transform;
    // Modifies the sample in place: S_OK delivers it, S_FALSE drops it, other codes go upstream.
    virtual HRESULT Transform(IMediaSample* sample) = 0;

    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override;
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* properties) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mediaType) override;
    HRESULT CompleteConnect(PIN_DIRECTION dir, IPin* receivePin) override;
    HRESULT Receive(IMediaSample* sample) override;

    // The input and output pins' allocators are different objects.
    bool UsingDifferentAllocators() const;
    // A new output sample holding a copy of source (data, times, flags), or nullptr.
    Microsoft::WRL::ComPtr<IMediaSample> Copy(IMediaSample* source);
    bool ModifiesData() const { return modifiesData_; }

protected:
    void MakePins() override;

private:
    bool modifiesData_;
};

class TBCTransInPlaceInputPin : public TBCTransformInputPin {
public:
    TBCTransInPlaceInputPin(std::string objectName, TBCTransInPlaceFilter* filter, HRESULT& hr, std::wstring name);
    HRESULT EnumMediaTypes(IEnumMediaTypes** e) override;
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mediaType) override;

private:
    TBCTransInPlaceFilter* tipFilter_;
};

class TBCTransInPlaceOutputPin : public TBCTransformOutputPin {
public:
    TBCTransInPlaceOutputPin(std::string objectName, TBCTransInPlaceFilter* filter, HRESULT& hr, std::wstring name);
    HRESULT EnumMediaTypes(IEnumMediaTypes** e) override;
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mediaType) override;

private:
    TBCTransInPlaceFilter* tipFilter_;
};

}  // namespace filters
