// A capture card of this test process: an analogue-video input pin for a crossbar in front of it
// and a capture pin offering 320x240 RGB24 video (it delivers no pictures: the tests need its
// connections and routes only).
#pragma once

#include <windows.h>
#include <dshow.h>

#include <cstring>
#include <memory>

#include "filters/base_io_pins.h"
#include "engine_test_support.h"

namespace engine_test {

inline const CLSID kAnalogueCardClass = {0x7e1d2a02, 0x44c3, 0x4d8e, {0x9a, 0x10, 0x3b, 0x52, 0x6e, 0x01, 0xaa, 0x01}};

// The pin category a pin answers through IKsPropertySet.
template <typename Pin>
struct PinCategoryItf : IKsPropertySet {
    PinCategoryItf(Pin& p, const GUID& c) : o(p), category(c) {}
    QUILL_DELEGATING_UNKNOWN(o)
    HRESULT STDMETHODCALLTYPE Set(REFGUID, DWORD, void*, DWORD, void*, DWORD) override { return E_PROP_ID_UNSUPPORTED; }
    HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, void*, DWORD, void* data, DWORD length, DWORD* returned) override {
        if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
        if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
        if (data == nullptr || length < sizeof(GUID)) return E_POINTER;
        std::memcpy(data, &category, sizeof(GUID));
        if (returned != nullptr) *returned = sizeof(GUID);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID set, DWORD id, DWORD* support) override {
        if (set != AMPROPSETID_Pin || id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
        if (support != nullptr) *support = KSPROPERTY_SUPPORT_GET;
        return S_OK;
    }
    Pin& o;
    GUID category;
};

class AnalogueCard : public filters::TBCBaseFilter {
public:
    AnalogueCard()
        : filters::TBCBaseFilter("Analogue card", nullptr, std::make_unique<filters::TBCCritSec>(), kAnalogueCardClass) {
        HRESULT hr = S_OK;
        in_ = std::make_unique<InPin>(this, hr);
        out_ = std::make_unique<OutPin>(this, hr);
    }
    int GetPinCount() override { return 2; }
    filters::TBCBasePin* GetPin(int n) override {
        return n == 0 ? static_cast<filters::TBCBasePin*>(in_.get()) : n == 1 ? out_.get() : nullptr;
    }

    class InPin : public filters::TBCBasePin {
    public:
        InPin(AnalogueCard* owner, HRESULT& hr)
            : filters::TBCBasePin("Analogue in", owner, owner->Lock(), hr, L"Analog Video In", PINDIR_INPUT) {}
        HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override {
            if (iid == IID_IKsPropertySet) return GetInterface(&ks_, obj);
            return filters::TBCBasePin::NonDelegatingQueryInterface(iid, obj);
        }
        HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override {
            return mt != nullptr && mt->majortype == MEDIATYPE_AnalogVideo ? S_OK : S_FALSE;
        }
        HRESULT BeginFlush() override { return S_OK; }
        HRESULT EndFlush() override { return S_OK; }

    private:
        PinCategoryItf<InPin> ks_{*this, PIN_CATEGORY_ANALOGVIDEOIN};
    };

    class OutPin : public filters::TBCBaseOutputPin {
    public:
        OutPin(AnalogueCard* owner, HRESULT& hr) : filters::TBCBaseOutputPin("Card capture", owner, owner->Lock(), hr, L"Capture") {}
        HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override {
            if (iid == IID_IKsPropertySet) return GetInterface(&ks_, obj);
            return filters::TBCBaseOutputPin::NonDelegatingQueryInterface(iid, obj);
        }
        HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) override {
            if (position != 0) return VFW_S_NO_MORE_ITEMS;
            auto* info = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
            if (info == nullptr) return E_OUTOFMEMORY;
            *info = VIDEOINFOHEADER{};
            info->AvgTimePerFrame = 400000;
            info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
            info->bmiHeader.biWidth = 320;
            info->bmiHeader.biHeight = 240;
            info->bmiHeader.biPlanes = 1;
            info->bmiHeader.biBitCount = 24;
            info->bmiHeader.biSizeImage = 320 * 240 * 3;
            *mt = AM_MEDIA_TYPE{};
            mt->majortype = MEDIATYPE_Video;
            mt->subtype = MEDIASUBTYPE_RGB24;
            mt->bFixedSizeSamples = TRUE;
            mt->lSampleSize = 320 * 240 * 3;
            mt->formattype = FORMAT_VideoInfo;
            mt->cbFormat = sizeof(VIDEOINFOHEADER);
            mt->pbFormat = reinterpret_cast<BYTE*>(info);
            return S_OK;
        }
        HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override {
            return mt != nullptr && mt->majortype == MEDIATYPE_Video && mt->subtype == MEDIASUBTYPE_RGB24 ? S_OK : S_FALSE;
        }
        HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* properties) override {
            properties->cBuffers = 1;
            properties->cbBuffer = 320 * 240 * 3;
            ALLOCATOR_PROPERTIES actual{};
            return alloc->SetProperties(properties, &actual);
        }

    private:
        PinCategoryItf<OutPin> ks_{*this, PIN_CATEGORY_CAPTURE};
    };

private:
    std::unique_ptr<InPin> in_;
    std::unique_ptr<OutPin> out_;
};

// The card listed among the video capture devices under Name while the object lives.
class RegisteredAnalogueCard : public RegisteredDevice {
public:
    explicit RegisteredAnalogueCard(const wchar_t* Name)
        : RegisteredDevice(
              kAnalogueCardClass,
              [](REFIID Iid, void** Object) {
                  auto* filter = new AnalogueCard;
                  ComPtr<IBaseFilter> hold(filter->BaseFilterInterface());
                  return hold->QueryInterface(Iid, Object);
              },
              CLSID_VideoInputDeviceCategory, Name) {}
};

}  // namespace engine_test
