#include "platform/standins/dv_encoder.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "filters/transform_filter.h"
#include "platform/standins/dv_frame.h"
#include "platform/standins/dv_picture.h"
#include "platform/standins/standins_dll.h"

using Microsoft::WRL::ComPtr;
using filters::ComGuard;  // the delegating IUnknown stubs call it unqualified

namespace standins {

namespace {

constexpr int kFormatUnset = 0;

bool IsPictureType(const AM_MEDIA_TYPE& mt)
{
    if (mt.majortype != MEDIATYPE_Video || (mt.subtype != MEDIASUBTYPE_RGB24 && mt.subtype != MEDIASUBTYPE_YUY2)) {
        return false;
    }
    const VIDEOINFOHEADER* vih = DVVideoHeader(mt);
    return vih != nullptr && vih->bmiHeader.biWidth > 0 && vih->bmiHeader.biHeight != 0;
}

TPixelFormat PixelFormatOf(const AM_MEDIA_TYPE& mt)
{
    if (mt.subtype == MEDIASUBTYPE_YUY2) return TPixelFormat::Yuy2;
    const VIDEOINFOHEADER* vih = DVVideoHeader(mt);
    return vih != nullptr && vih->bmiHeader.biHeight < 0 ? TPixelFormat::Bgr24TopDown : TPixelFormat::Rgb24BottomUp;
}

class TDVEncoder : public filters::TBCTransformFilter {
public:
    TDVEncoder(const filters::TBCFilterTemplateEntry& entry, IUnknown* controller)
        : TBCTransformFilter(entry, controller)
    {
    }

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override
    {
        if (iid == IID_IDVEnc) return GetInterface(&dvEnc_, obj);
        return TBCTransformFilter::NonDelegatingQueryInterface(iid, obj);
    }

    HRESULT CheckInputType(const AM_MEDIA_TYPE* mt) override
    {
        return mt != nullptr && IsPictureType(*mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }

    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override
    {
        if (in == nullptr || out == nullptr) return E_POINTER;
        if (!IsPictureType(*in) || !DVIsVideoType(*out) || DVVideoHeader(*out) == nullptr) {
            return VFW_E_TYPE_NOT_ACCEPTED;
        }
        return DVTypeIsPal(*out) == Pal() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }

    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override
    {
        const long size = static_cast<long>(DVFrameBytes(Pal()));
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
        if (position > 0) return VFW_S_NO_MORE_ITEMS;
        DVMakeVideoType(*mt, Pal());
        return mt->pbFormat != nullptr ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT StartStreaming() override
    {
        frames_ = 0;
        return S_OK;
    }

    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;

    // The system: as set through IDVEnc, else 525/60 for a 480- or 240-line input and 625/50 otherwise.
    bool Pal() const
    {
        const int format = videoFormat_.load();
        if (format != kFormatUnset) return format == DVENCODERVIDEOFORMAT_PAL;
        if (InputPin() == nullptr || !InputPin()->IsConnected()) return true;  // pins are made on first use
        const VIDEOINFOHEADER* vih = DVVideoHeader(InputPin()->CurrentMediaType());
        const LONG h = vih == nullptr ? 576 : std::abs(vih->bmiHeader.biHeight);
        return h != 480 && h != 240;
    }

private:
    struct DVEncItf : IDVEnc {
        explicit DVEncItf(TDVEncoder& f) : o(f) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT WINAPI get_IFormatResolution(int* videoFormat, int* dvFormat, int* resolution, BYTE fDVInfo,
                                             DVINFO* info) override;
        HRESULT WINAPI put_IFormatResolution(int videoFormat, int dvFormat, int resolution, BYTE fDVInfo,
                                             DVINFO* info) override;
        TDVEncoder& o;
    };

    DVEncItf dvEnc_{*this};
    // Set from IDVEnc on the application's thread, read when types are agreed.
    std::atomic<int> videoFormat_{kFormatUnset};
    std::atomic<int> resolution_{DVENCODERRESOLUTION_720x480};
    std::int64_t frames_ = 0;  // streaming thread
    TDVPictureEncoder coder_;  // streaming thread
};

HRESULT TDVEncoder::Transform(IMediaSample* in, IMediaSample* out)
{
    BYTE* src = nullptr;
    BYTE* dest = nullptr;
    if (FAILED(in->GetPointer(&src)) || FAILED(out->GetPointer(&dest)) || src == nullptr || dest == nullptr) {
        return E_POINTER;
    }
    const bool pal = DVTypeIsPal(OutputPin()->CurrentMediaType());
    const long size = static_cast<long>(DVFrameBytes(pal));
    if (out->GetSize() < size) return E_UNEXPECTED;
    TDVFrameSpec spec;
    spec.Pal = pal;
    spec.Timecode = DVTimecodeOfCount(pal, frames_);
    spec.DropFrame = !pal;
    spec.AudioRate = 0;  // the muxer writes the sound
    const std::span<std::uint8_t> frame(dest, static_cast<std::size_t>(size));
    DVBuildFrame(frame, spec);
    const AM_MEDIA_TYPE& inType = InputPin()->CurrentMediaType();
    const VIDEOINFOHEADER* vih = DVVideoHeader(inType);
    if (vih == nullptr) return E_UNEXPECTED;
    const TPictureView picture{src, static_cast<std::size_t>(std::max<long>(in->GetActualDataLength(), 0)),
                               static_cast<int>(vih->bmiHeader.biWidth), static_cast<int>(std::abs(vih->bmiHeader.biHeight)),
                               PixelFormatOf(inType)};
    // A picture shorter than its type says goes out as a grey frame, so the recording keeps its timing.
    if (!coder_.Encode(picture, pal, frame)) {
        const std::vector<std::uint8_t> grey(PictureBytes(TPixelFormat::Yuy2, kDVWidth, DVLines(pal)), 0x80);
        coder_.Encode(TPictureView{grey.data(), grey.size(), kDVWidth, DVLines(pal), TPixelFormat::Yuy2}, pal, frame);
    }
    out->SetActualDataLength(size);
    out->SetSyncPoint(TRUE);
    ++frames_;
    return S_OK;
}

HRESULT TDVEncoder::DVEncItf::get_IFormatResolution(int* videoFormat, int* dvFormat, int* resolution, BYTE fDVInfo,
                                                    DVINFO* info)
{
    if (videoFormat == nullptr || dvFormat == nullptr || resolution == nullptr) return E_POINTER;
    if (fDVInfo && info == nullptr) return E_POINTER;
    const bool pal = o.Pal();
    *videoFormat = pal ? DVENCODERVIDEOFORMAT_PAL : DVENCODERVIDEOFORMAT_NTSC;
    *dvFormat = DVENCODERFORMAT_DVSD;
    *resolution = o.resolution_.load();
    if (fDVInfo) *info = DVDefaultInfo(pal, false, 0);
    return S_OK;
}

HRESULT TDVEncoder::DVEncItf::put_IFormatResolution(int videoFormat, int dvFormat, int resolution, BYTE, DVINFO*)
{
    if (videoFormat != DVENCODERVIDEOFORMAT_PAL && videoFormat != DVENCODERVIDEOFORMAT_NTSC) return E_INVALIDARG;
    if (dvFormat != DVENCODERFORMAT_DVSD) return E_INVALIDARG;  // only consumer dvsd frames are made
    if (resolution < DVENCODERRESOLUTION_720x480 || resolution > DVENCODERRESOLUTION_88x60) return E_INVALIDARG;
    filters::TBCAutoLock lock(*o.Lock());
    // The output's type follows the system: it cannot change under a connection.
    if (o.OutputPin() != nullptr && o.OutputPin()->IsConnected() && (videoFormat == DVENCODERVIDEOFORMAT_PAL) != o.Pal()) {
        return VFW_E_ALREADY_CONNECTED;
    }
    o.videoFormat_ = videoFormat;
    o.resolution_ = resolution;
    return S_OK;
}

const REGPINTYPES kInputTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24}, {&MEDIATYPE_Video, &MEDIASUBTYPE_YUY2}};
const REGPINTYPES kOutputTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_dvsd}};
const REGFILTERPINS kPins[] = {
    {const_cast<LPWSTR>(L"XForm In"), FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 2, kInputTypes},
    {const_cast<LPWSTR>(L"XForm Out"), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kOutputTypes}};

filters::TBCUnknown* CreateEncoder(IUnknown* controller, HRESULT&)
{
    return new TDVEncoder(*filters::Templates().GetFactoryFromClassID(CLSID_DVVideoEnc), controller);
}

// Listed in the video compressor category, where the program finds it by name, and among the filters.
const TStandinRegistrar kRegistrar([](filters::TBCFilterTemplate& templates) {
    for (const CLSID* category : {&CLSID_VideoCompressorCategory, &CLSID_LegacyAmFilterCategory}) {
        filters::TBCFilterTemplateEntry entry;
        entry.Name = "DV Video Encoder";
        entry.FilterClsid = CLSID_DVVideoEnc;
        entry.Category = *category;
        // The program stores the compressor's moniker by this name.
        if (*category == CLSID_VideoCompressorCategory) entry.InstanceName = L"DV Video Encoder";
        entry.Merit = MERIT_DO_NOT_USE;
        entry.PinCount = 2;
        entry.Pins = kPins;
        entry.Create = CreateEncoder;
        templates.Add(std::move(entry));
    }
});

}  // namespace

}  // namespace standins
