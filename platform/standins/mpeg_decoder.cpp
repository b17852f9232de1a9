#include "platform/standins/mpeg_decoder.h"

#include <dshow.h>
#include <uuids.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include "filters/transform_filter.h"
#include "platform/standins/dv_picture.h"
#include "platform/standins/mpeg_types.h"
#include "platform/standins/standins_dll.h"

namespace standins {

namespace {

DWORD RgbBytes(int width, int height) { return static_cast<DWORD>(((width * 3 + 3) & ~3) * height); }

class TMpegDecoder : public filters::TBCTransformFilter {
public:
    TMpegDecoder(const filters::TBCFilterTemplateEntry& entry, IUnknown* controller) : TBCTransformFilter(entry, controller) {}
    ~TMpegDecoder() override { CloseDecoder(); }

    HRESULT CheckInputType(const AM_MEDIA_TYPE* mt) override
    {
        TMpegVideo video;
        return mt != nullptr && ReadMpegVideo(*mt, video) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override
    {
        if (in == nullptr || out == nullptr) return E_POINTER;
        TMpegVideo video;
        if (!ReadMpegVideo(*in, video) || out->majortype != MEDIATYPE_Video || out->subtype != MEDIASUBTYPE_RGB24 ||
            out->formattype != FORMAT_VideoInfo || out->pbFormat == nullptr || out->cbFormat < sizeof(VIDEOINFOHEADER)) {
            return VFW_E_TYPE_NOT_ACCEPTED;
        }
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(out->pbFormat);
        return vih->bmiHeader.biWidth == video.Width && vih->bmiHeader.biHeight == video.Height &&
                       vih->bmiHeader.biBitCount == 24 && vih->bmiHeader.biCompression == BI_RGB
                   ? S_OK
                   : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override
    {
        const long size = static_cast<long>(OutputPin()->CurrentMediaType().lSampleSize);
        props->cBuffers = std::max<long>(props->cBuffers, 2);
        props->cbBuffer = std::max<long>(props->cbBuffer, size);
        ALLOCATOR_PROPERTIES actual{};
        const HRESULT hr = alloc->SetProperties(props, &actual);
        return FAILED(hr) ? hr : actual.cbBuffer < size ? E_FAIL : S_OK;
    }
    // One type: bottom-up RGB24 of the coded size.
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) override
    {
        if (!InputPin()->IsConnected()) return E_UNEXPECTED;
        if (position < 0) return E_INVALIDARG;
        if (position > 0) return VFW_S_NO_MORE_ITEMS;
        TMpegVideo video;
        if (!ReadMpegVideo(InputPin()->CurrentMediaType(), video)) return E_UNEXPECTED;
        auto* vih = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
        if (vih == nullptr) return E_OUTOFMEMORY;
        std::memset(vih, 0, sizeof(*vih));
        vih->AvgTimePerFrame = video.FrameTime;
        vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        vih->bmiHeader.biWidth = video.Width;
        vih->bmiHeader.biHeight = video.Height;
        vih->bmiHeader.biPlanes = 1;
        vih->bmiHeader.biBitCount = 24;
        vih->bmiHeader.biCompression = BI_RGB;
        vih->bmiHeader.biSizeImage = RgbBytes(video.Width, video.Height);
        mt->majortype = MEDIATYPE_Video;
        mt->subtype = MEDIASUBTYPE_RGB24;
        mt->formattype = FORMAT_VideoInfo;
        mt->bFixedSizeSamples = TRUE;
        mt->bTemporalCompression = FALSE;
        mt->lSampleSize = vih->bmiHeader.biSizeImage;
        mt->pbFormat = reinterpret_cast<BYTE*>(vih);
        mt->cbFormat = sizeof(VIDEOINFOHEADER);
        return S_OK;
    }
    HRESULT StartStreaming() override
    {
        CloseDecoder();
        if (!ReadMpegVideo(InputPin()->CurrentMediaType(), video_)) return E_UNEXPECTED;
        const AVCodec* codec = avcodec_find_decoder(video_.Mpeg2 ? AV_CODEC_ID_MPEG2VIDEO : AV_CODEC_ID_MPEG1VIDEO);
        if (codec == nullptr) return E_UNEXPECTED;
        QuietCoderLog();
        context_ = avcodec_alloc_context3(codec);
        picture_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        if (context_ == nullptr || picture_ == nullptr || packet_ == nullptr) {
            CloseDecoder();
            return E_OUTOFMEMORY;
        }
        context_->flags |= AV_CODEC_FLAG_LOW_DELAY;
        context_->thread_count = 1;
        if (avcodec_open2(context_, codec, nullptr) < 0) {
            CloseDecoder();
            return E_FAIL;
        }
        return S_OK;
    }
    HRESULT StopStreaming() override
    {
        CloseDecoder();
        return S_OK;
    }
    // A sample without a whole picture yet (or one that does not decode) gives no picture (S_FALSE).
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override
    {
        if (context_ == nullptr) return VFW_E_WRONG_STATE;
        BYTE* src = nullptr;
        BYTE* dest = nullptr;
        if (FAILED(in->GetPointer(&src)) || FAILED(out->GetPointer(&dest)) || src == nullptr || dest == nullptr) return E_POINTER;
        const long length = in->GetActualDataLength();
        if (length <= 0) return S_FALSE;
        // The decoder reads a little past the end of its input: a padded copy.
        if (av_new_packet(packet_, length) < 0) return E_OUTOFMEMORY;
        std::memcpy(packet_->data, src, static_cast<std::size_t>(length));
        const int sent = avcodec_send_packet(context_, packet_);
        av_packet_unref(packet_);
        if (sent < 0) return S_FALSE;
        if (avcodec_receive_frame(context_, picture_) < 0) return S_FALSE;
        const DWORD bytes = RgbBytes(video_.Width, video_.Height);
        const bool ok = static_cast<DWORD>(out->GetSize()) >= bytes &&
                        FrameToPicture(picture_, TPixelFormat::Rgb24BottomUp, video_.Width, video_.Height,
                                       std::span<std::uint8_t>(dest, bytes), scratch_);
        av_frame_unref(picture_);
        if (!ok) return S_FALSE;
        out->SetActualDataLength(static_cast<long>(bytes));
        out->SetSyncPoint(TRUE);
        return S_OK;
    }

private:
    void CloseDecoder()
    {
        av_packet_free(&packet_);
        av_frame_free(&picture_);
        avcodec_free_context(&context_);
    }

    // Streaming thread (under the receive lock), and Pause/Stop.
    TMpegVideo video_;
    AVCodecContext* context_ = nullptr;
    AVFrame* picture_ = nullptr;
    AVPacket* packet_ = nullptr;
    std::vector<std::uint8_t> scratch_;
};

const REGPINTYPES kInputTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_MPEG2_VIDEO}, {&MEDIATYPE_Video, &MEDIASUBTYPE_MPEG1Payload}};
const REGPINTYPES kOutputTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24}};
const REGFILTERPINS kPins[] = {
    {const_cast<LPWSTR>(L"XForm In"), FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 2, kInputTypes},
    {const_cast<LPWSTR>(L"XForm Out"), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kOutputTypes}};

const TStandinRegistrar kRegistrar([](filters::TBCFilterTemplate& templates) {
    filters::TBCFilterTemplateEntry entry;
    entry.Name = kMpegVideoDecoderName;
    entry.FilterClsid = CLSID_MpegVideoDecoderStandin;
    entry.Category = CLSID_LegacyAmFilterCategory;
    entry.Merit = MERIT_DO_NOT_USE;
    entry.PinCount = 2;
    entry.Pins = kPins;
    entry.Create = [](IUnknown* controller, HRESULT&) -> filters::TBCUnknown* {
        return new TMpegDecoder(*filters::Templates().GetFactoryFromClassID(CLSID_MpegVideoDecoderStandin), controller);
    };
    templates.Add(std::move(entry));
});

}  // namespace
}  // namespace standins
