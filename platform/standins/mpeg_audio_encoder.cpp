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

#include "filters/transform_filter.h"
#include "platform/standins/dv_picture.h"
#include "platform/standins/mpeg_types.h"
#include "platform/standins/recording_settings.h"
#include "platform/standins/standins_dll.h"

using Microsoft::WRL::ComPtr;

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

class TMpegAudioEncoder : public filters::TBCTransformFilter {
public:
    TMpegAudioEncoder(const filters::TBCFilterTemplateEntry& entry, IUnknown* controller) : TBCTransformFilter(entry, controller) {}
    ~TMpegAudioEncoder() override { CloseEncoder(); }

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
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override
    {
        // A layer II frame holds 144 x bit rate / sample rate bytes, and one more for padding.
        constexpr long kFrameRoom = 144 * 384000 / 32000 + 16;
        props->cBuffers = std::max<long>(props->cBuffers, 8);
        props->cbBuffer = std::max<long>(props->cbBuffer, kFrameRoom);
        ALLOCATOR_PROPERTIES actual{};
        const HRESULT hr = alloc->SetProperties(props, &actual);
        return FAILED(hr) ? hr : actual.cbBuffer < kFrameRoom ? E_FAIL : S_OK;
    }
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) override
    {
        if (!InputPin()->IsConnected()) return E_UNEXPECTED;
        if (position < 0) return E_INVALIDARG;
        if (position > 0) return VFW_S_NO_MORE_ITEMS;
        const WAVEFORMATEX* pcm = PcmFormat(InputPin()->CurrentMediaType());
        if (pcm == nullptr) return E_UNEXPECTED;
        return MakeMpegAudioType(CodedOf(*pcm), *mt) ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT StartStreaming() override;
    HRESULT StopStreaming() override
    {
        CloseEncoder();
        return S_OK;
    }
    HRESULT Receive(IMediaSample* sample) override;

private:
    void CloseEncoder()
    {
        av_packet_free(&packet_);
        av_frame_free(&frame_);
        avcodec_free_context(&context_);
    }
    // Codes the full frame_ and sends what comes out.
    HRESULT EncodeFrame();

    // Streaming thread (under the receive lock), and Pause/Stop.
    AVCodecContext* context_ = nullptr;
    AVFrame* frame_ = nullptr;
    AVPacket* packet_ = nullptr;
    int channels_ = 2;
    int rate_ = 48000;
    int filled_ = 0;                 // samples (per channel) in frame_
    bool haveStart_ = false;
    REFERENCE_TIME start_ = 0;       // stream time of the first sample
    std::int64_t framesSent_ = 0;
};

HRESULT TMpegAudioEncoder::StartStreaming()
{
    CloseEncoder();
    const WAVEFORMATEX* pcm = PcmFormat(InputPin()->CurrentMediaType());
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MP2);
    if (pcm == nullptr || codec == nullptr) return E_UNEXPECTED;
    QuietCoderLog();
    context_ = avcodec_alloc_context3(codec);
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (context_ == nullptr || frame_ == nullptr || packet_ == nullptr) {
        CloseEncoder();
        return E_OUTOFMEMORY;
    }
    channels_ = pcm->nChannels;
    rate_ = static_cast<int>(pcm->nSamplesPerSec);
    context_->sample_fmt = AV_SAMPLE_FMT_S16;
    context_->sample_rate = rate_;
    av_channel_layout_default(&context_->ch_layout, channels_);
    context_->bit_rate = CodedOf(*pcm).BitRate;
    context_->time_base = AVRational{1, rate_};
    if (avcodec_open2(context_, codec, nullptr) < 0) {
        CloseEncoder();
        return E_FAIL;
    }
    frame_->format = AV_SAMPLE_FMT_S16;
    frame_->nb_samples = kMpegAudioFrameSamples;
    frame_->sample_rate = rate_;
    if (av_channel_layout_copy(&frame_->ch_layout, &context_->ch_layout) < 0 || av_frame_get_buffer(frame_, 0) < 0) {
        CloseEncoder();
        return E_OUTOFMEMORY;
    }
    filled_ = 0;
    haveStart_ = false;
    start_ = 0;
    framesSent_ = 0;
    return S_OK;
}

HRESULT TMpegAudioEncoder::EncodeFrame()
{
    frame_->pts = framesSent_ * kMpegAudioFrameSamples;
    if (avcodec_send_frame(context_, frame_) < 0) return E_FAIL;
    filled_ = 0;
    for (;;) {
        const int got = avcodec_receive_packet(context_, packet_);
        if (got == AVERROR(EAGAIN)) return S_OK;
        if (got < 0) return E_FAIL;
        ComPtr<IMediaSample> out;
        HRESULT hr = OutputPin()->GetDeliveryBuffer(out.GetAddressOf(), nullptr, nullptr, 0);
        BYTE* dest = nullptr;
        if (SUCCEEDED(hr) && (FAILED(out->GetPointer(&dest)) || dest == nullptr || out->GetSize() < packet_->size)) hr = E_UNEXPECTED;
        if (FAILED(hr)) {
            av_packet_unref(packet_);
            return hr;
        }
        std::memcpy(dest, packet_->data, static_cast<std::size_t>(packet_->size));
        out->SetActualDataLength(packet_->size);
        av_packet_unref(packet_);
        REFERENCE_TIME start = start_ + framesSent_ * kMpegAudioFrameSamples * 10000000LL / rate_;
        REFERENCE_TIME stop = start_ + (framesSent_ + 1) * kMpegAudioFrameSamples * 10000000LL / rate_;
        out->SetTime(&start, &stop);
        out->SetSyncPoint(TRUE);
        out->SetDiscontinuity(framesSent_ == 0 ? TRUE : FALSE);
        ++framesSent_;
        IMemInputPin* downstream = OutputPin()->InputPin();
        hr = downstream == nullptr ? VFW_E_NOT_CONNECTED : downstream->Receive(out.Get());
        if (hr != S_OK) return hr;
    }
}

HRESULT TMpegAudioEncoder::Receive(IMediaSample* sample)
{
    if (InputPin()->SampleProps().dwStreamId != AM_STREAM_MEDIA) return TBCTransformFilter::Receive(sample);
    if (context_ == nullptr) return VFW_E_WRONG_STATE;
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || data == nullptr) return E_POINTER;
    if (!haveStart_) {
        REFERENCE_TIME s = 0, e = 0;
        if (SUCCEEDED(sample->GetTime(&s, &e))) start_ = s;
        haveStart_ = true;
    }
    const int bytesPerSample = 2 * channels_;
    const int samples = std::max<long>(sample->GetActualDataLength(), 0) / bytesPerSample;  // a part sample is dropped
    for (int done = 0; done < samples;) {
        const int n = std::min(samples - done, kMpegAudioFrameSamples - filled_);
        if (av_frame_make_writable(frame_) < 0) return E_OUTOFMEMORY;
        std::memcpy(frame_->data[0] + static_cast<std::ptrdiff_t>(filled_) * bytesPerSample,
                    data + static_cast<std::ptrdiff_t>(done) * bytesPerSample, static_cast<std::size_t>(n) * bytesPerSample);
        filled_ += n;
        done += n;
        if (filled_ == kMpegAudioFrameSamples) {
            const HRESULT hr = EncodeFrame();
            if (hr != S_OK) return hr;
        }
    }
    return S_OK;
}

const REGPINTYPES kInputTypes[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};
const REGPINTYPES kOutputTypes[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_MPEG1Audio}};
const REGFILTERPINS kPins[] = {
    {const_cast<LPWSTR>(L"XForm In"), FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kInputTypes},
    {const_cast<LPWSTR>(L"XForm Out"), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kOutputTypes}};

const TStandinRegistrar kRegistrar([](filters::TBCFilterTemplate& templates) {
    filters::TBCFilterTemplateEntry entry;
    entry.Name = kMpegAudioEncoderName;
    entry.FilterClsid = CLSID_MpegAudioEncoderStandin;
    entry.Category = CLSID_LegacyAmFilterCategory;
    entry.Merit = MERIT_DO_NOT_USE;
    entry.PinCount = 2;
    entry.Pins = kPins;
    entry.Create = [](IUnknown* controller, HRESULT&) -> filters::TBCUnknown* {
        return new TMpegAudioEncoder(*filters::Templates().GetFactoryFromClassID(CLSID_MpegAudioEncoderStandin), controller);
    };
    templates.Add(std::move(entry));
});

}  // namespace
}  // namespace standins
