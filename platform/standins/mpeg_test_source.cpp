#include "platform/standins/mpeg_test_source.h"

#include <dshow.h>
#include <dvdmedia.h>
#include <uuids.h>

#include <cstring>
#include <new>

#include "platform/standins/live_source.h"
#include "platform/standins/standins_dll.h"

namespace standins {

namespace {

void BuildType(AM_MEDIA_TYPE& m) {
    m.majortype = MEDIATYPE_Video;
    m.subtype = MEDIASUBTYPE_MPEG2_VIDEO;
    m.formattype = FORMAT_MPEG2Video;
    m.bFixedSizeSamples = FALSE;
    m.bTemporalCompression = TRUE;
    m.lSampleSize = 0;
    auto* info = reinterpret_cast<MPEG2VIDEOINFO*>(AllocFormat(m, sizeof(MPEG2VIDEOINFO)));
    if (info == nullptr) throw std::bad_alloc();
    info->hdr.AvgTimePerFrame = kMpegPacketTime;
    info->hdr.dwPictAspectRatioX = 4;
    info->hdr.dwPictAspectRatioY = 3;
    info->hdr.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->hdr.bmiHeader.biWidth = kMpegWidth;
    info->hdr.bmiHeader.biHeight = kMpegHeight;
    info->hdr.bmiHeader.biCompression = MAKEFOURCC('M', 'P', 'G', '2');
    info->dwProfile = 4;  // main profile, main level
    info->dwLevel = 8;
}

class TMpegPin : public TLiveOutputPin {
public:
    TMpegPin(TLiveSourceFilter* filter, HRESULT& hr) : TLiveOutputPin("MPEG test pin", filter, hr, L"Capture") {}

    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override {
        props->cBuffers = props->cBuffers > 4 ? props->cBuffers : 4;
        props->cbBuffer = kMpegPacketBytes;
        props->cbAlign = 1;
        ALLOCATOR_PROPERTIES actual{};
        const HRESULT hr = alloc->SetProperties(props, &actual);
        return FAILED(hr) ? hr : actual.cbBuffer < kMpegPacketBytes ? E_FAIL : S_OK;
    }

protected:
    int CapabilityCount() const override { return 1; }
    int CapabilitySize() const override { return sizeof(VIDEO_STREAM_CONFIG_CAPS); }
    void BuildCapability(int, AM_MEDIA_TYPE& m, BYTE* caps) const override {
        BuildType(m);
        if (caps != nullptr) {
            VIDEO_STREAM_CONFIG_CAPS c{};
            c.guid = FORMAT_MPEG2Video;
            c.InputSize = c.MinOutputSize = c.MaxOutputSize = {kMpegWidth, kMpegHeight};
            c.MinFrameInterval = c.MaxFrameInterval = kMpegPacketTime;
            std::memcpy(caps, &c, sizeof(c));
        }
    }
    bool Canonical(const AM_MEDIA_TYPE& request, AM_MEDIA_TYPE& out) const override {
        if (request.majortype != MEDIATYPE_Video || request.subtype != MEDIASUBTYPE_MPEG2_VIDEO) return false;
        BuildType(out);
        return true;
    }
    REFERENCE_TIME UnitDuration() const override { return kMpegPacketTime; }
    bool DeliversAtUnitEnd() const override { return false; }
    bool SkipsLateUnits() const override { return true; }
    HRESULT FillUnit(IMediaSample* sample, LONGLONG unit) override {
        BYTE* data = nullptr;
        if (FAILED(sample->GetPointer(&data)) || data == nullptr || sample->GetSize() < kMpegPacketBytes)
            return VFW_E_BUFFER_OVERFLOW;
        const auto n = static_cast<std::uint32_t>(unit);
        const BYTE start[4] = {0x00, 0x00, 0x01, 0xB3};
        std::memcpy(data, start, 4);
        std::memcpy(data + 4, &n, 4);
        for (long i = 8; i < kMpegPacketBytes; ++i) data[i] = static_cast<BYTE>(n + i);
        sample->SetSyncPoint(TRUE);
        return sample->SetActualDataLength(kMpegPacketBytes);
    }
};

class TMpegSource : public TLiveSourceFilter {
public:
    explicit TMpegSource(IUnknown* owner) : TLiveSourceFilter("Quillotrane Test MPEG Source", owner, CLSID_QuillTestMpegSource) {
        HRESULT hr = S_OK;
        SetPin(std::make_unique<TMpegPin>(this, hr));
    }
};

const REGPINTYPES kPinTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_MPEG2_VIDEO}};
const REGFILTERPINS kPins[] = {
    {const_cast<LPWSTR>(L"Capture"), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kPinTypes}};

const TStandinRegistrar registrar([](filters::TBCFilterTemplate& templates) {
    filters::TBCFilterTemplateEntry entry;
    entry.Name = "Quillotrane Test MPEG Source";
    entry.FilterClsid = CLSID_QuillTestMpegSource;
    entry.Category = GUID_NULL;  // a COM server only: listed as a device by the tests that want it
    entry.Merit = MERIT_DO_NOT_USE;
    entry.PinCount = 1;
    entry.Pins = kPins;
    entry.Create = [](IUnknown* controller, HRESULT&) -> filters::TBCUnknown* { return new TMpegSource(controller); };
    templates.Add(std::move(entry));
});

}  // namespace
}  // namespace standins
