#include "platform/standins/mpeg_card.h"

#include <dshow.h>
#include <dvdmedia.h>
#include <uuids.h>

#include <algorithm>
#include <cstring>
#include <new>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include "platform/standins/dv_picture.h"
#include "platform/standins/live_source.h"
#include "platform/standins/mpeg_types.h"
#include "platform/standins/standins_dll.h"
#include "platform/standins/test_camera.h"

namespace standins {

namespace {

TMpegVideo CodingVideo(bool mpeg2)
{
    return mpeg2 ? TMpegVideo{true, kMpegCard2Width, kMpegCard2Height, kMpegCardFrameTime}
                      : TMpegVideo{false, kMpegCard1Width, kMpegCard1Height, kMpegCardFrameTime};
}

// The bars of the test camera in studio-range 4:2:0: white, yellow, cyan, green, magenta, red, blue, black.
struct TBarColour {
    std::uint8_t Y, U, V;
};
constexpr TBarColour kBarColours[8] = {{235, 128, 128}, {210, 16, 146}, {170, 166, 16}, {145, 54, 34},
                                       {106, 202, 222}, {81, 90, 240},  {41, 240, 110}, {16, 128, 128}};

// Picture `number` into the planes of Frame: the bars moved kBarStep pixels left per picture, and
// the picture number's bits as white or black squares (as the test camera draws them).
void DrawPicture(AVFrame* frame, long long number)
{
    const int w = frame->width, h = frame->height;
    const int shift = static_cast<int>(number * kBarStep % w);
    auto bar = [&](int x) { return kBarColours[(x + shift) % w * 8 / w]; };
    for (int y = 0; y < h; ++y) {
        std::uint8_t* luma = frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0];
        for (int x = 0; x < w; ++x) luma[x] = bar(x).Y;
    }
    for (int y = 0; y < h / 2; ++y) {
        std::uint8_t* u = frame->data[1] + static_cast<std::ptrdiff_t>(y) * frame->linesize[1];
        std::uint8_t* v = frame->data[2] + static_cast<std::ptrdiff_t>(y) * frame->linesize[2];
        for (int x = 0; x < w / 2; ++x) {
            u[x] = bar(2 * x).U;
            v[x] = bar(2 * x).V;
        }
    }
    const auto bits = static_cast<unsigned long>(number & 0xFFFFFFFF);
    for (int y = kCounterTop; y < std::min(h, kCounterTop + kCounterBlock); ++y) {
        std::uint8_t* luma = frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0];
        for (int bit = 0; bit < kCounterBits && (bit + 1) * kCounterBlock <= w; ++bit)
            std::memset(luma + bit * kCounterBlock, (bits >> bit) & 1 ? 235 : 16, kCounterBlock);
        if (y % 2 == 0) {
            std::uint8_t* u = frame->data[1] + static_cast<std::ptrdiff_t>(y / 2) * frame->linesize[1];
            std::uint8_t* v = frame->data[2] + static_cast<std::ptrdiff_t>(y / 2) * frame->linesize[2];
            const int end = std::min(w, kCounterBits * kCounterBlock) / 2;
            std::memset(u, 128, static_cast<std::size_t>(end));
            std::memset(v, 128, static_cast<std::size_t>(end));
        }
    }
}

class TMpegCardPin : public TLiveOutputPin {
public:
    TMpegCardPin(TLiveSourceFilter* filter, HRESULT& hr, bool mpeg1First)
        : TLiveOutputPin("Test MPEG card pin", filter, hr, kTestMpegCardPinName), mpeg1First_(mpeg1First)
    {
    }
    ~TMpegCardPin() override { CloseEncoder(); }

    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override
    {
        props->cBuffers = std::max<long>(props->cBuffers, 4);
        props->cbBuffer = std::max<long>(props->cbBuffer, kMpegCardSampleBytes);
        props->cbAlign = std::max<long>(props->cbAlign, 1);
        ALLOCATOR_PROPERTIES actual{};
        const HRESULT hr = alloc->SetProperties(props, &actual);
        return FAILED(hr) ? hr : actual.cbBuffer < kMpegCardSampleBytes ? E_FAIL : S_OK;
    }

protected:
    int CapabilityCount() const override { return 2; }
    int CapabilitySize() const override { return sizeof(VIDEO_STREAM_CONFIG_CAPS); }
    void BuildCapability(int index, AM_MEDIA_TYPE& m, BYTE* caps) const override
    {
        const TMpegVideo video = CodingVideo((index == 0) != mpeg1First_);
        if (!MakeMpegVideoType(video, m)) throw std::bad_alloc();
        if (caps == nullptr) return;
        VIDEO_STREAM_CONFIG_CAPS c{};
        c.guid = m.formattype;
        c.VideoStandard = AnalogVideo_PAL_B;
        c.InputSize = c.MinCroppingSize = c.MaxCroppingSize = c.MinOutputSize = c.MaxOutputSize = {video.Width, video.Height};
        c.CropGranularityX = c.CropGranularityY = c.CropAlignX = c.CropAlignY = 1;
        c.OutputGranularityX = c.OutputGranularityY = 1;
        c.MinFrameInterval = c.MaxFrameInterval = kMpegCardFrameTime;
        c.MinBitsPerSecond = 500000;
        c.MaxBitsPerSecond = 15000000;
        std::memcpy(caps, &c, sizeof(c));
    }
    // A request names one of the two codings; its size and rate, when given, must be the card's.
    bool Canonical(const AM_MEDIA_TYPE& request, AM_MEDIA_TYPE& out) const override
    {
        TMpegVideo asked;
        if (!ReadMpegVideo(request, asked)) return false;
        const TMpegVideo video = CodingVideo(asked.Mpeg2);
        if (asked.Width != video.Width || asked.Height != video.Height ||
            (asked.FrameTime != 0 && asked.FrameTime != video.FrameTime)) {
            return false;
        }
        return MakeMpegVideoType(video, out);
    }
    REFERENCE_TIME UnitDuration() const override { return kMpegCardFrameTime; }
    bool DeliversAtUnitEnd() const override { return false; }
    bool SkipsLateUnits() const override { return true; }

    // A new coder for every run, so that each run (each part of a cut recording) opens with a key picture.
    void StreamStarting() override
    {
        CloseEncoder();
        TMpegVideo video;
        if (!ReadMpegVideo(CurrentMediaType(), video)) return;
        const AVCodec* codec = avcodec_find_encoder(video.Mpeg2 ? AV_CODEC_ID_MPEG2VIDEO : AV_CODEC_ID_MPEG1VIDEO);
        if (codec == nullptr) return;
        QuietCoderLog();
        context_ = avcodec_alloc_context3(codec);
        frame_ = av_frame_alloc();
        packet_ = av_packet_alloc();
        if (context_ == nullptr || frame_ == nullptr || packet_ == nullptr) return CloseEncoder();
        context_->width = video.Width;
        context_->height = video.Height;
        context_->pix_fmt = AV_PIX_FMT_YUV420P;
        context_->time_base = AVRational{1, 25};
        context_->framerate = AVRational{25, 1};
        context_->gop_size = kMpegCardKeyInterval;
        context_->max_b_frames = 0;
        // Each picture comes out as soon as it is coded: one coded picture per sample. MPEG-2 also tells
        // decoders so (low delay); MPEG-1 has no such flag.
        context_->flags |= AV_CODEC_FLAG_QSCALE;
        if (video.Mpeg2) context_->flags |= AV_CODEC_FLAG_LOW_DELAY;
        context_->global_quality = FF_QP2LAMBDA * 4;
        context_->thread_count = 1;
        if (avcodec_open2(context_, codec, nullptr) < 0) return CloseEncoder();
        frame_->format = AV_PIX_FMT_YUV420P;
        frame_->width = video.Width;
        frame_->height = video.Height;
        if (av_frame_get_buffer(frame_, 0) < 0) return CloseEncoder();
        key_ = true;
    }

    HRESULT FillUnit(IMediaSample* sample, LONGLONG unit) override
    {
        BYTE* data = nullptr;
        if (FAILED(sample->GetPointer(&data)) || data == nullptr) return E_POINTER;
        if (context_ == nullptr) return E_OUTOFMEMORY;  // the coder could not be made at the start
        if (av_frame_make_writable(frame_) < 0) return E_OUTOFMEMORY;
        DrawPicture(frame_, unit);
        frame_->pts = unit;
        frame_->quality = context_->global_quality;
        if (avcodec_send_frame(context_, frame_) < 0) return E_FAIL;
        const int got = avcodec_receive_packet(context_, packet_);
        if (got == AVERROR(EAGAIN)) return sample->SetActualDataLength(0);  // held back by the coder: an empty sample
        if (got < 0) return E_FAIL;
        const bool fits = packet_->size <= sample->GetSize();
        if (fits) std::memcpy(data, packet_->data, static_cast<std::size_t>(packet_->size));
        key_ = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
        const long size = packet_->size;
        av_packet_unref(packet_);
        return fits ? sample->SetActualDataLength(size) : VFW_E_BUFFER_OVERFLOW;
    }
    bool FilledUnitIsKey() const override { return key_; }

private:
    void CloseEncoder()
    {
        av_packet_free(&packet_);
        av_frame_free(&frame_);
        avcodec_free_context(&context_);
    }

    // The streaming thread's, made while it does not run.
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    bool key_ = true;
    const bool mpeg1First_;
};

class TMpegCard : public TLiveSourceFilter {
public:
    TMpegCard(IUnknown* owner, bool mpeg1)
        : TLiveSourceFilter(mpeg1 ? kTestMpeg1CardName : kTestMpegCardName, owner, mpeg1 ? CLSID_QuillTestMpeg1Card : CLSID_QuillTestMpegCard)
    {
        HRESULT hr = S_OK;
        SetPin(std::make_unique<TMpegCardPin>(this, hr, mpeg1));
    }
};

const REGPINTYPES kPinTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_MPEG2_VIDEO}, {&MEDIATYPE_Video, &MEDIASUBTYPE_MPEG1Payload}};
const REGFILTERPINS kPins[] = {
    {const_cast<LPWSTR>(kTestMpegCardPinName), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 2, kPinTypes}};

const TStandinRegistrar registrar([](filters::TBCFilterTemplate& templates) {
    for (const bool mpeg1 : {false, true}) {
        filters::TBCFilterTemplateEntry entry;
        entry.Name = mpeg1 ? kTestMpeg1CardName : kTestMpegCardName;
        entry.FilterClsid = mpeg1 ? CLSID_QuillTestMpeg1Card : CLSID_QuillTestMpegCard;
        entry.Category = CLSID_VideoInputDeviceCategory;
        entry.Merit = MERIT_DO_NOT_USE;
        entry.PinCount = 1;
        entry.Pins = kPins;
        entry.Create = mpeg1 ? [](IUnknown* controller, HRESULT&) -> filters::TBCUnknown* { return new TMpegCard(controller, true); }
                             : [](IUnknown* controller, HRESULT&) -> filters::TBCUnknown* { return new TMpegCard(controller, false); };
        templates.Add(std::move(entry));
    }
});

}  // namespace
}  // namespace standins
