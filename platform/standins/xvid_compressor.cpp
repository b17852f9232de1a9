#include "platform/standins/xvid_compressor.h"

#include <dshow.h>

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/mathematics.h>
}

#include "platform/standins/encoder_filter.h"
#include "platform/standins/standins_dll.h"

using filters::ComGuard;  // the delegating IUnknown stubs call it unqualified

namespace standins {

const VIDEOINFOHEADER* VideoHeader(const AM_MEDIA_TYPE& mt)
{
    if (mt.formattype != FORMAT_VideoInfo || mt.pbFormat == nullptr || mt.cbFormat < sizeof(VIDEOINFOHEADER)) return nullptr;
    return reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
}

// RGB24 or YUY2 of an even, positive size (4:2:0 needs pairs of rows and columns).
bool IsPictureInput(const AM_MEDIA_TYPE& mt)
{
    if (mt.majortype != MEDIATYPE_Video || (mt.subtype != MEDIASUBTYPE_RGB24 && mt.subtype != MEDIASUBTYPE_YUY2)) return false;
    const VIDEOINFOHEADER* vih = VideoHeader(mt);
    if (vih == nullptr) return false;
    const LONG w = vih->bmiHeader.biWidth, h = std::abs(vih->bmiHeader.biHeight);
    return w > 0 && h > 0 && w % 2 == 0 && h % 2 == 0 && w <= 4096 && h <= 4096;
}

namespace {

std::uint8_t Clamp8(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

// One 2 x 2 block of pixels to 4:2:0 (BT.601 studio range): four lumas, the mean's two chromas.
void StoreBlock(const int rgb[4][3], std::uint8_t* y0, std::uint8_t* y1, std::uint8_t* u, std::uint8_t* v)
{
    int r = 0, g = 0, b = 0;
    for (int i = 0; i < 4; ++i) {
        std::uint8_t* y = i < 2 ? y0 + i : y1 + (i - 2);
        *y = Clamp8(((66 * rgb[i][0] + 129 * rgb[i][1] + 25 * rgb[i][2] + 128) >> 8) + 16);
        r += rgb[i][0];
        g += rgb[i][1];
        b += rgb[i][2];
    }
    r /= 4, g /= 4, b /= 4;
    *u = Clamp8(((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128);
    *v = Clamp8(((112 * r - 94 * g - 18 * b + 128) >> 8) + 128);
}

}  // namespace

// Fills the planes of Frame (YUV 4:2:0) from a DirectShow picture of the frame's size.
void ToYuv420(const std::uint8_t* src, const AM_MEDIA_TYPE& mt, AVFrame* frame)
{
    const VIDEOINFOHEADER* vih = VideoHeader(mt);
    const int w = frame->width, h = frame->height;
    if (mt.subtype == MEDIASUBTYPE_YUY2) {
        const std::size_t stride = static_cast<std::size_t>(w) * 2;
        for (int y = 0; y < h; y += 2) {
            const std::uint8_t* a = src + static_cast<std::size_t>(y) * stride;
            const std::uint8_t* b = a + stride;
            std::uint8_t* ya = frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0];
            std::uint8_t* yb = ya + frame->linesize[0];
            std::uint8_t* u = frame->data[1] + static_cast<std::ptrdiff_t>(y / 2) * frame->linesize[1];
            std::uint8_t* v = frame->data[2] + static_cast<std::ptrdiff_t>(y / 2) * frame->linesize[2];
            for (int x = 0; x < w; x += 2, a += 4, b += 4) {
                ya[x] = a[0], ya[x + 1] = a[2];
                yb[x] = b[0], yb[x + 1] = b[2];
                u[x / 2] = static_cast<std::uint8_t>((a[1] + b[1] + 1) / 2);
                v[x / 2] = static_cast<std::uint8_t>((a[3] + b[3] + 1) / 2);
            }
        }
        return;
    }
    // RGB24: B, G, R with rows padded to 4 bytes, last row first unless the height is negative.
    const std::size_t stride = (static_cast<std::size_t>(w) * 3 + 3) & ~std::size_t{3};
    const bool bottomUp = vih->bmiHeader.biHeight > 0;
    auto row = [&](int y) { return src + static_cast<std::size_t>(bottomUp ? h - 1 - y : y) * stride; };
    for (int y = 0; y < h; y += 2) {
        const std::uint8_t* a = row(y);
        const std::uint8_t* b = row(y + 1);
        std::uint8_t* ya = frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0];
        std::uint8_t* yb = ya + frame->linesize[0];
        std::uint8_t* u = frame->data[1] + static_cast<std::ptrdiff_t>(y / 2) * frame->linesize[1];
        std::uint8_t* v = frame->data[2] + static_cast<std::ptrdiff_t>(y / 2) * frame->linesize[2];
        for (int x = 0; x < w; x += 2) {
            const std::uint8_t* p[4] = {a + x * 3, a + x * 3 + 3, b + x * 3, b + x * 3 + 3};
            int rgb[4][3];
            for (int i = 0; i < 4; ++i) rgb[i][0] = p[i][2], rgb[i][1] = p[i][1], rgb[i][2] = p[i][0];
            StoreBlock(rgb, ya + x, yb + x, u + x / 2, v + x / 2);
        }
    }
}

namespace {

constexpr REFERENCE_TIME kDefaultFrameTime = 400000;

class TXvidCompressor : public TEncoderFilter {
public:
    TXvidCompressor(const filters::TBCFilterTemplateEntry& entry, IUnknown* controller)
        : TEncoderFilter(entry, controller)
    {
    }

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override
    {
        if (iid == IID_IAMVfwCompressDialogs) return GetInterface(&dialogs_, obj);
        return TBCTransformFilter::NonDelegatingQueryInterface(iid, obj);
    }

    HRESULT CheckInputType(const AM_MEDIA_TYPE* mt) override
    {
        return mt != nullptr && IsPictureInput(*mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }

    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override
    {
        if (in == nullptr || out == nullptr) return E_POINTER;
        if (!IsPictureInput(*in) || out->majortype != MEDIATYPE_Video || out->subtype != MEDIASUBTYPE_XVID) {
            return VFW_E_TYPE_NOT_ACCEPTED;
        }
        const VIDEOINFOHEADER* a = VideoHeader(*in);
        const VIDEOINFOHEADER* b = VideoHeader(*out);
        return b != nullptr && b->bmiHeader.biWidth == a->bmiHeader.biWidth &&
                       std::abs(b->bmiHeader.biHeight) == std::abs(a->bmiHeader.biHeight)
                   ? S_OK
                   : VFW_E_TYPE_NOT_ACCEPTED;
    }

    HRESULT StartStreaming() override;
    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;

protected:
    HRESULT OutputType(const AM_MEDIA_TYPE& input, AM_MEDIA_TYPE& mt) override;
    HRESULT OutputRoom(long& buffers, long& bytes) override
    {
        const VIDEOINFOHEADER* vih = VideoHeader(OutputPin()->CurrentMediaType());
        if (vih == nullptr) return E_UNEXPECTED;
        buffers = 2;
        bytes = static_cast<long>(vih->bmiHeader.biSizeImage);
        return S_OK;
    }
    void CloseEncoder() override { coder_.Close(); }

private:
    // No dialogs of their own: the program asks first, and is told there are none.
    struct DialogsItf : IAMVfwCompressDialogs {
        explicit DialogsItf(TXvidCompressor& f) : o(f) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT WINAPI ShowDialog(int dialog, HWND) override
        {
            return dialog == VfwCompressDialog_QueryConfig || dialog == VfwCompressDialog_QueryAbout ? S_FALSE : E_NOTIMPL;
        }
        HRESULT WINAPI GetState(LPVOID, int*) override { return E_NOTIMPL; }
        HRESULT WINAPI SetState(LPVOID, int) override { return E_NOTIMPL; }
        HRESULT WINAPI SendDriverMessage(int, LONG, LONG) override { return E_NOTIMPL; }
        TXvidCompressor& o;
    };

    DialogsItf dialogs_{*this};
    // Streaming thread (under the receive lock), and Pause/Stop.
    TAvCoder coder_;
    std::int64_t pictures_ = 0;
};

HRESULT TXvidCompressor::OutputType(const AM_MEDIA_TYPE& input, AM_MEDIA_TYPE& mt)
{
    const VIDEOINFOHEADER* in = VideoHeader(input);
    if (in == nullptr) return E_UNEXPECTED;
    auto* vih = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    if (vih == nullptr) return E_OUTOFMEMORY;
    std::memset(vih, 0, sizeof(*vih));
    const LONG w = in->bmiHeader.biWidth, h = std::abs(in->bmiHeader.biHeight);
    vih->AvgTimePerFrame = in->AvgTimePerFrame;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = w;
    vih->bmiHeader.biHeight = h;
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = 24;
    vih->bmiHeader.biCompression = MAKEFOURCC('X', 'V', 'I', 'D');
    // Room for a key frame of any content.
    vih->bmiHeader.biSizeImage = static_cast<DWORD>(w * h * 3 + 4096);
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_XVID;
    mt.bFixedSizeSamples = FALSE;
    mt.bTemporalCompression = TRUE;
    mt.lSampleSize = 0;
    mt.formattype = FORMAT_VideoInfo;
    mt.pbFormat = reinterpret_cast<BYTE*>(vih);
    mt.cbFormat = sizeof(VIDEOINFOHEADER);
    return S_OK;
}

HRESULT TXvidCompressor::StartStreaming()
{
    CloseEncoder();
    const VIDEOINFOHEADER* in = VideoHeader(InputPin()->CurrentMediaType());
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (in == nullptr || codec == nullptr) return E_UNEXPECTED;
    if (!coder_.Open(codec)) return E_OUTOFMEMORY;
    AVCodecContext* context = coder_.Context;
    AVFrame* frame = coder_.Frame;
    context->width = static_cast<int>(in->bmiHeader.biWidth);
    context->height = static_cast<int>(std::abs(in->bmiHeader.biHeight));
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    // MPEG-4 keeps its time base below 2^16: the frame time is brought to the nearest such fraction.
    int num = 1, den = 25;
    const REFERENCE_TIME frameTime = in->AvgTimePerFrame > 0 ? in->AvgTimePerFrame : kDefaultFrameTime;
    av_reduce(&num, &den, frameTime, 10000000, 65535);
    context->time_base = AVRational{num, den};
    context->framerate = AVRational{den, num};
    context->gop_size = kXvidKeyInterval;
    context->max_b_frames = 0;
    context->flags |= AV_CODEC_FLAG_QSCALE;
    context->global_quality = FF_QP2LAMBDA * kXvidQuantiser;
    context->codec_tag = MKTAG('X', 'V', 'I', 'D');
    context->thread_count = 1;
    if (avcodec_open2(context, codec, nullptr) < 0) {
        CloseEncoder();
        return E_FAIL;
    }
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = context->width;
    frame->height = context->height;
    if (av_frame_get_buffer(frame, 0) < 0) {
        CloseEncoder();
        return E_OUTOFMEMORY;
    }
    pictures_ = 0;
    return S_OK;
}

HRESULT TXvidCompressor::Transform(IMediaSample* in, IMediaSample* out)
{
    AVCodecContext* context = coder_.Context;
    AVFrame* frame = coder_.Frame;
    AVPacket* packet = coder_.Packet;
    if (context == nullptr) return VFW_E_WRONG_STATE;
    BYTE* src = nullptr;
    BYTE* dest = nullptr;
    if (FAILED(in->GetPointer(&src)) || FAILED(out->GetPointer(&dest)) || src == nullptr || dest == nullptr) {
        return E_POINTER;
    }
    const AM_MEDIA_TYPE& mt = InputPin()->CurrentMediaType();
    const VIDEOINFOHEADER* vih = VideoHeader(mt);
    const bool yuy2 = mt.subtype == MEDIASUBTYPE_YUY2;
    const std::size_t need = yuy2 ? static_cast<std::size_t>(frame->width) * 2 * frame->height
                                  : ((static_cast<std::size_t>(frame->width) * 3 + 3) & ~std::size_t{3}) * frame->height;
    // A picture shorter than its type says is not coded (nothing to read it from): the frame is dropped.
    if (vih == nullptr || in->GetActualDataLength() < static_cast<long>(need)) return S_FALSE;
    if (av_frame_make_writable(frame) < 0) return E_OUTOFMEMORY;
    ToYuv420(src, mt, frame);
    frame->pts = pictures_++;
    frame->quality = context->global_quality;
    // A discontinuity (a new start after a gap) opens with a key frame.
    frame->pict_type = in->IsDiscontinuity() == S_OK ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    if (avcodec_send_frame(context, frame) < 0) return E_FAIL;
    const int got = avcodec_receive_packet(context, packet);
    if (got == AVERROR(EAGAIN)) return S_FALSE;
    if (got < 0) return E_FAIL;
    const bool fits = packet->size <= out->GetSize();
    if (fits) {
        std::memcpy(dest, packet->data, static_cast<std::size_t>(packet->size));
        out->SetActualDataLength(packet->size);
        out->SetSyncPoint((packet->flags & AV_PKT_FLAG_KEY) != 0 ? TRUE : FALSE);
    }
    av_packet_unref(packet);
    return fits ? S_OK : E_UNEXPECTED;
}

const REGPINTYPES kInputTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24}, {&MEDIATYPE_Video, &MEDIASUBTYPE_YUY2}};
const REGPINTYPES kOutputTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_XVID}};
const auto kPins = EncoderPins(kInputTypes, 2, kOutputTypes, 1);

// Listed in the video compressor category, where the settings panel finds it by name, and among the filters.
const TStandinRegistrar kRegistrar([](filters::TBCFilterTemplate& templates) {
    for (const CLSID* category : {&CLSID_VideoCompressorCategory, &CLSID_LegacyAmFilterCategory}) {
        auto entry = EncoderEntry<TXvidCompressor>("Xvid MPEG-4 Codec", CLSID_XvidCompressorStandin, *category, kPins);
        if (*category == CLSID_VideoCompressorCategory) entry.InstanceName = kXvidCompressorName;
        templates.Add(std::move(entry));
    }
});

}  // namespace

}  // namespace standins
