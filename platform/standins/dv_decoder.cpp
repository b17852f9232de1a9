#include "platform/standins/dv_decoder.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "filters/transform_filter.h"
#include "platform/standins/dv_frame.h"
#include "platform/standins/dv_picture.h"
#include "platform/standins/standins_dll.h"

using Microsoft::WRL::ComPtr;
using filters::ComGuard;  // the delegating IUnknown stubs call it unqualified

namespace standins {

bool DVDecoderPictureSize(int display, bool pal, int& width, int& height)
{
    switch (display) {
    case DVRESOLUTION_FULL: width = 720; height = pal ? 576 : 480; return true;
    case DVRESOLUTION_HALF: width = 360; height = pal ? 288 : 240; return true;
    case DVRESOLUTION_QUARTER: width = 180; height = pal ? 144 : 120; return true;
    case DVRESOLUTION_DC: width = 88; height = pal ? 72 : 60; return true;
    default: return false;
    }
}

namespace {

class TDVDecoder : public filters::TBCTransformFilter {
public:
    TDVDecoder(const filters::TBCFilterTemplateEntry& entry, IUnknown* controller)
        : TBCTransformFilter(entry, controller)
    {
    }

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override
    {
        if (iid == IID_IIPDVDec) return GetInterface(&ipDvDec_, obj);
        return TBCTransformFilter::NonDelegatingQueryInterface(iid, obj);
    }

    HRESULT CheckInputType(const AM_MEDIA_TYPE* mt) override
    {
        return mt != nullptr && DVIsVideoType(*mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }

    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override
    {
        if (in == nullptr || out == nullptr) return E_POINTER;
        if (!DVIsVideoType(*in) || out->majortype != MEDIATYPE_Video ||
            (out->subtype != MEDIASUBTYPE_RGB24 && out->subtype != MEDIASUBTYPE_YUY2)) {
            return VFW_E_TYPE_NOT_ACCEPTED;
        }
        const VIDEOINFOHEADER* vih = DVVideoHeader(*out);
        int w = 0, h = 0;
        DVDecoderPictureSize(display_.load(), DVTypeIsPal(*in), w, h);
        return vih != nullptr && vih->bmiHeader.biWidth == w && std::abs(vih->bmiHeader.biHeight) == h
                   ? S_OK
                   : VFW_E_TYPE_NOT_ACCEPTED;
    }

    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override
    {
        const VIDEOINFOHEADER* vih = DVVideoHeader(OutputPin()->CurrentMediaType());
        if (vih == nullptr) return E_UNEXPECTED;
        const long size = static_cast<long>(PictureBytes(TPixelFormat::Rgb24BottomUp, static_cast<int>(vih->bmiHeader.biWidth),
                                                         static_cast<int>(std::abs(vih->bmiHeader.biHeight))));
        props->cBuffers = std::max<long>(props->cBuffers, 2);
        props->cbBuffer = std::max<long>(props->cbBuffer, size);
        ALLOCATOR_PROPERTIES actual{};
        HRESULT hr = alloc->SetProperties(props, &actual);
        if (FAILED(hr)) return hr;
        return actual.cbBuffer < size ? E_FAIL : S_OK;
    }

    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) override
    {
        if (!InputPin()->IsConnected()) return E_UNEXPECTED;
        if (position < 0) return E_INVALIDARG;
        if (position > 1) return VFW_S_NO_MORE_ITEMS;
        const AM_MEDIA_TYPE& in = InputPin()->CurrentMediaType();
        int w = 0, h = 0;
        DVDecoderPictureSize(display_.load(), DVTypeIsPal(in), w, h);
        DVMakePictureType(*mt, position == 0 ? MEDIASUBTYPE_RGB24 : MEDIASUBTYPE_YUY2, w, h, DVFrameTime(DVTypeIsPal(in)));
        return mt->pbFormat != nullptr ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;

private:
    struct IPDVDecItf : IIPDVDec {
        explicit IPDVDecItf(TDVDecoder& f) : o(f) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT WINAPI get_IPDisplay(int* display) override
        {
            if (display == nullptr) return E_POINTER;
            *display = o.display_.load();
            return S_OK;
        }
        HRESULT WINAPI put_IPDisplay(int display) override;
        TDVDecoder& o;
    };

    IPDVDecItf ipDvDec_{*this};
    // Set on the application's thread, read when types are agreed.
    std::atomic<int> display_{DVRESOLUTION_FULL};
    TDVPictureDecoder coder_;  // streaming thread
};

HRESULT TDVDecoder::Transform(IMediaSample* in, IMediaSample* out)
{
    BYTE* src = nullptr;
    BYTE* dest = nullptr;
    if (FAILED(in->GetPointer(&src)) || FAILED(out->GetPointer(&dest)) || src == nullptr || dest == nullptr) {
        return E_POINTER;
    }
    const AM_MEDIA_TYPE& mt = OutputPin()->CurrentMediaType();
    const VIDEOINFOHEADER* vih = DVVideoHeader(mt);
    if (vih == nullptr) return E_UNEXPECTED;
    const TPixelFormat format = mt.subtype == MEDIASUBTYPE_YUY2 ? TPixelFormat::Yuy2
                                : vih->bmiHeader.biHeight < 0  ? TPixelFormat::Bgr24TopDown
                                                               : TPixelFormat::Rgb24BottomUp;
    const int width = static_cast<int>(vih->bmiHeader.biWidth), height = static_cast<int>(std::abs(vih->bmiHeader.biHeight));
    // The size from the picture itself: a type proposed downstream may leave biSizeImage at 0.
    const long size = static_cast<long>(PictureBytes(format, width, height));
    if (out->GetSize() < size) return E_UNEXPECTED;
    const std::span<const std::uint8_t> frame(src, static_cast<std::size_t>(std::max<long>(in->GetActualDataLength(), 0)));
    // A short or unreadable frame has no picture to show: it is dropped.
    if (!coder_.Decode(frame, format, width, height, std::span<std::uint8_t>(dest, static_cast<std::size_t>(size)))) {
        return S_FALSE;
    }
    out->SetActualDataLength(size);
    out->SetSyncPoint(TRUE);
    return S_OK;
}

HRESULT TDVDecoder::IPDVDecItf::put_IPDisplay(int display)
{
    int w = 0, h = 0;
    if (!DVDecoderPictureSize(display, true, w, h)) return E_INVALIDARG;
    filters::TBCAutoLock lock(*o.Lock());
    if (display == o.display_.load()) return S_OK;
    // The pins are made on first use: without them nothing is connected.
    if (o.OutputPin() == nullptr || !o.OutputPin()->IsConnected()) {
        o.display_ = display;
        return S_OK;
    }
    // A connected output takes the new size through a reconnection, which needs a stopped graph.
    if (!o.IsStopped()) return VFW_E_NOT_STOPPED;
    const int previous = o.display_.exchange(display);
    HRESULT hr = o.ReconnectPin(o.OutputPin()->PinInterface(), nullptr);
    if (FAILED(hr)) o.display_ = previous;
    return hr;
}

const REGPINTYPES kInputTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_dvsd}};
const REGPINTYPES kOutputTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24}, {&MEDIATYPE_Video, &MEDIASUBTYPE_YUY2}};
const REGFILTERPINS kPins[] = {
    {const_cast<LPWSTR>(L"XForm In"), FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kInputTypes},
    {const_cast<LPWSTR>(L"XForm Out"), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 2, kOutputTypes}};

const TStandinRegistrar kRegistrar([](filters::TBCFilterTemplate& templates) {
    filters::TBCFilterTemplateEntry entry;
    entry.Name = "DV Video Decoder";
    entry.FilterClsid = CLSID_DVVideoCodec;
    entry.Category = CLSID_LegacyAmFilterCategory;
    entry.Merit = MERIT_NORMAL;
    entry.PinCount = 2;
    entry.Pins = kPins;
    entry.Create = [](IUnknown* controller, HRESULT&) -> filters::TBCUnknown* {
        return new TDVDecoder(*filters::Templates().GetFactoryFromClassID(CLSID_DVVideoCodec), controller);
    };
    templates.Add(std::move(entry));
});

}  // namespace

}  // namespace standins
