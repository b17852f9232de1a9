#include "platform/standins/mpeg_audio_encoder.h"

#include <dshow.h>
#include <mmreg.h>
#include <uuids.h>

#include <algorithm>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include "platform/standins/dv_picture.h"
#include "platform/standins/encoder_filter.h"
#include "platform/standins/mpeg_types.h"
#include "platform/standins/recording_settings.h"
#include "platform/standins/standins_dll.h"

namespace standins {

namespace {

const WAVEFORMATEX* PcmFormat(const AM_MEDIA_TYPE& mt)
{
    if (mt.majortype != MEDIATYPE_Audio || mt.subtype != MEDIASUBTYPE_PCM || mt.formattype != FORMAT_WaveFormatEx ||
        mt.pbFormat == nullptr || mt.cbFormat < sizeof(PCMWAVEFORMAT)) {
        return nullptr;
    }
    const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(mt.pbFormat);
    const DWORD rate = wf->nSamplesPerSec;
    return wf->wFormatTag == WAVE_FORMAT_PCM && wf->wBitsPerSample == 16 && (wf->nChannels == 1 || wf->nChannels == 2) &&
                   wf->nBlockAlign == wf->nChannels * 2 && (rate == 32000 || rate == 44100 || rate == 48000)
               ? wf
               : nullptr;
}

TMpegAudio CodedOf(const WAVEFORMATEX& pcm)
{
    return {static_cast<int>(pcm.nSamplesPerSec), pcm.nChannels, kMpegAudioKbps * 1000 * pcm.nChannels / 2};
}

class TMpegAudioEncoder : public TSoundEncoder {
public:
    TMpegAudioEncoder(const filters::TBCFilterTemplateEntry& entry, IUnknown* controller)
        : TSoundEncoder(entry, controller, kMpegAudioFrameSamples)
    {
    }

    HRESULT CheckInputType(const AM_MEDIA_TYPE* mt) override
    {
        return mt != nullptr && PcmFormat(*mt) != nullptr && !MpegStandinsRefuse() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override
    {
        if (in == nullptr || out == nullptr) return E_POINTER;
        const WAVEFORMATEX* pcm = PcmFormat(*in);
        TMpegAudio coded;
        if (pcm == nullptr || !ReadMpegAudio(*out, coded)) return VFW_E_TYPE_NOT_ACCEPTED;
        const TMpegAudio wanted = CodedOf(*pcm);
        return coded.Rate == wanted.Rate && coded.Channels == wanted.Channels && coded.BitRate == wanted.BitRate
                   ? S_OK
                   : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT StartStreaming() override;

protected:
    HRESULT OutputType(const AM_MEDIA_TYPE& input, AM_MEDIA_TYPE& mt) override
    {
        const WAVEFORMATEX* pcm = PcmFormat(input);
        if (pcm == nullptr) return E_UNEXPECTED;
        return MakeMpegAudioType(CodedOf(*pcm), mt) ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT OutputRoom(long& buffers, long& bytes) override
    {
        // A layer II frame holds 144 x bit rate / sample rate bytes, and one more for padding.
        buffers = 8;
        bytes = 144 * 384000 / 32000 + 16;
        return S_OK;
    }
    void CloseEncoder() override { coder_.Close(); }
    bool EncoderOpen() const override { return coder_.Context != nullptr; }
    // The samples that fill the frame being gathered: a frame is coded whole.
    int PieceSamples() const override { return kMpegAudioFrameSamples - filled_; }
    HRESULT EncodePiece(const std::int16_t* pcm, int samples) override;
    HRESULT EncodeHeld() override;

private:
    // Codes the full frame and sends what comes out.
    HRESULT EncodeFrame();

    // Streaming thread (under the receive lock), and Pause/Stop.
    TAvCoder coder_;
    int filled_ = 0;  // samples (per channel) in the coder's frame
};

HRESULT TMpegAudioEncoder::StartStreaming()
{
    CloseEncoder();
    const WAVEFORMATEX* pcm = PcmFormat(InputPin()->CurrentMediaType());
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MP2);
    if (pcm == nullptr || codec == nullptr) return E_UNEXPECTED;
    QuietCoderLog();
    if (!coder_.Open(codec)) return E_OUTOFMEMORY;
    AVCodecContext* context = coder_.Context;
    AVFrame* frame = coder_.Frame;
    const int channels = pcm->nChannels;
    const int rate = static_cast<int>(pcm->nSamplesPerSec);
    context->sample_fmt = AV_SAMPLE_FMT_S16;
    context->sample_rate = rate;
    av_channel_layout_default(&context->ch_layout, channels);
    context->bit_rate = CodedOf(*pcm).BitRate;
    context->time_base = AVRational{1, rate};
    if (avcodec_open2(context, codec, nullptr) < 0) {
        CloseEncoder();
        return E_FAIL;
    }
    frame->format = AV_SAMPLE_FMT_S16;
    frame->nb_samples = kMpegAudioFrameSamples;
    frame->sample_rate = rate;
    if (av_channel_layout_copy(&frame->ch_layout, &context->ch_layout) < 0 || av_frame_get_buffer(frame, 0) < 0) {
        CloseEncoder();
        return E_OUTOFMEMORY;
    }
    filled_ = 0;
    BeginStream(channels, rate);
    return S_OK;
}

HRESULT TMpegAudioEncoder::EncodePiece(const std::int16_t* pcm, int samples)
{
    AVFrame* frame = coder_.Frame;
    if (av_frame_make_writable(frame) < 0) return E_OUTOFMEMORY;
    const std::size_t bytesPerSample = 2 * static_cast<std::size_t>(Channels());
    std::memcpy(frame->data[0] + static_cast<std::size_t>(filled_) * bytesPerSample, pcm, static_cast<std::size_t>(samples) * bytesPerSample);
    filled_ += samples;
    return filled_ == kMpegAudioFrameSamples ? EncodeFrame() : S_OK;
}

HRESULT TMpegAudioEncoder::EncodeHeld()
{
    if (filled_ == 0) return S_OK;
    AVFrame* frame = coder_.Frame;
    if (av_frame_make_writable(frame) < 0) return E_OUTOFMEMORY;
    const std::size_t bytesPerSample = 2 * static_cast<std::size_t>(Channels());
    std::memset(frame->data[0] + static_cast<std::size_t>(filled_) * bytesPerSample, 0,
                static_cast<std::size_t>(kMpegAudioFrameSamples - filled_) * bytesPerSample);
    return EncodeFrame();
}

HRESULT TMpegAudioEncoder::EncodeFrame()
{
    coder_.Frame->pts = FramesSent() * kMpegAudioFrameSamples;
    if (avcodec_send_frame(coder_.Context, coder_.Frame) < 0) return E_FAIL;
    filled_ = 0;
    AVPacket* packet = coder_.Packet;
    for (;;) {
        const int got = avcodec_receive_packet(coder_.Context, packet);
        if (got == AVERROR(EAGAIN)) return S_OK;
        if (got < 0) return E_FAIL;
        const HRESULT hr = Deliver(packet->data, packet->size, FramesSent() + 1);
        av_packet_unref(packet);
        if (hr != S_OK) return hr;
    }
}

const REGPINTYPES kInputTypes[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};
const REGPINTYPES kOutputTypes[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_MPEG1Audio}};
const auto kPins = EncoderPins(kInputTypes, 1, kOutputTypes, 1);

const TStandinRegistrar kRegistrar([](filters::TBCFilterTemplate& templates) {
    templates.Add(EncoderEntry<TMpegAudioEncoder>(kMpegAudioEncoderName, CLSID_MpegAudioEncoderStandin,
                                                  CLSID_LegacyAmFilterCategory, kPins));
});

}  // namespace
}  // namespace standins
