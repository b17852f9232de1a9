#include "platform/standins/mpeg_mux.h"

#include <dshow.h>
#include <uuids.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>

extern "C" {
#include <libavcodec/codec_par.h>
#include <libavutil/channel_layout.h>
}

#include "filters/base_filter.h"
#include "filters/base_io_pins.h"
#include "platform/standins/av_file.h"
#include "platform/standins/mpeg_types.h"
#include "platform/standins/recording_settings.h"
#include "platform/standins/standins_dll.h"

using Microsoft::WRL::ComPtr;

namespace standins {

namespace {

// libavformat's program-stream multiplexer moves a file's first times on by its preload when they
// are earlier than it: handed over that much later, every time stays as it is, in a lead-in and in
// the file after it alike.
constexpr REFERENCE_TIME kMuxPreload = 5000000;
// By its model of a player's buffers the writer sends pictures up to 0.7 s before their time and
// sound, whose buffer is small, much later: a file cut short (a crash, a power cut) would hold that
// much less sound than pictures. Both go to the file at most this long before their time.
constexpr REFERENCE_TIME kMuxLead = 1000000;

class TMpegMux;

class TMpegMuxInput : public filters::TBCBaseInputPin {
public:
    TMpegMuxInput(TMpegMux* mux, HRESULT& hr, bool video);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    // An upstream filter that passes its own samples on never names an allocator here.
    HRESULT Inactive() override { return Allocator() != nullptr ? TBCBaseInputPin::Inactive() : TBCBasePin::Inactive(); }

    const bool Video;
    // The stream this pin writes in the file being written, or -1.
    std::atomic<int> Stream{-1};

private:
    TMpegMux* mux_;
};

class TMpegMuxOutput : public filters::TBCBaseOutputPin {
public:
    TMpegMuxOutput(TMpegMux* mux, HRESULT& hr);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override
    {
        if (mt == nullptr) return E_POINTER;
        return mt->majortype == MEDIATYPE_Stream && (mt->subtype == MEDIASUBTYPE_MPEG2_PROGRAM || mt->subtype == GUID_NULL)
                   ? S_OK
                   : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) override
    {
        if (position < 0) return E_INVALIDARG;
        if (position > 0) return VFW_S_NO_MORE_ITEMS;
        mt->majortype = MEDIATYPE_Stream;
        mt->subtype = MEDIASUBTYPE_MPEG2_PROGRAM;
        mt->bFixedSizeSamples = FALSE;
        mt->lSampleSize = 0;
        return S_OK;
    }
    // The file goes through the peer's IStream; the allocator the peer expects stays one small buffer.
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES*) override
    {
        ALLOCATOR_PROPERTIES wanted{1, 1, 1, 0}, actual{};
        return alloc->SetProperties(&wanted, &actual);
    }
    HRESULT Notify(IBaseFilter*, Quality) override { return S_OK; }
};

class TMpegMux : public TAvFileFilter {
public:
    TMpegMux(const filters::TBCFilterTemplateEntry& entry, IUnknown* controller) : TAvFileFilter(entry, controller)
    {
        HRESULT hr = S_OK;
        video_ = std::make_unique<TMpegMuxInput>(this, hr, true);
        audio_ = std::make_unique<TMpegMuxInput>(this, hr, false);
        output_ = std::make_unique<TMpegMuxOutput>(this, hr);
    }
    ~TMpegMux() override { FinishFile(); }

    int GetPinCount() override { return 3; }
    filters::TBCBasePin* GetPin(int n) override
    {
        switch (n) {
        case 0: return video_.get();
        case 1: return audio_.get();
        case 2: return output_.get();
        default: return nullptr;
        }
    }
    HRESULT Deliver(int stream, IMediaSample* sample)
    {
        BYTE* data = nullptr;
        if (FAILED(sample->GetPointer(&data)) || data == nullptr) return E_POINTER;
        REFERENCE_TIME start = 0, stop = 0;
        const bool timed = SUCCEEDED(sample->GetTime(&start, &stop));
        return Write(stream, data, sample->GetActualDataLength(), start, timed, sample->IsSyncPoint() == S_OK);
    }

private:
    void AllStreamsEnded() override { output_->DeliverEndOfStream(); }
    HRESULT StartFile() override
    {
        std::vector<std::function<void(AVCodecParameters&)>> describe;
        std::vector<TMpegMuxInput*> connected;
        for (TMpegMuxInput* pin : {video_.get(), audio_.get()}) {
            pin->Stream = -1;
            if (!pin->IsConnected()) continue;
            const AM_MEDIA_TYPE& mt = pin->CurrentMediaType();
            if (pin->Video) {
                TMpegVideo video;
                if (!ReadMpegVideo(mt, video)) return VFW_E_TYPE_NOT_ACCEPTED;
                describe.push_back([video](AVCodecParameters& p) {
                    p.codec_type = AVMEDIA_TYPE_VIDEO;
                    p.codec_id = video.Mpeg2 ? AV_CODEC_ID_MPEG2VIDEO : AV_CODEC_ID_MPEG1VIDEO;
                    p.width = video.Width;
                    p.height = video.Height;
                });
            } else {
                TMpegAudio audio;
                if (!ReadMpegAudio(mt, audio)) return VFW_E_TYPE_NOT_ACCEPTED;
                describe.push_back([audio](AVCodecParameters& p) {
                    p.codec_type = AVMEDIA_TYPE_AUDIO;
                    p.codec_id = AV_CODEC_ID_MP2;
                    p.sample_rate = audio.Rate;
                    p.bit_rate = audio.BitRate;
                    av_channel_layout_default(&p.ch_layout, audio.Channels);
                });
            }
            connected.push_back(pin);
        }
        if (connected.empty()) return S_OK;  // nothing to record: no file is written
        IPin* peer = output_->GetConnected();
        if (peer == nullptr) return VFW_E_NOT_CONNECTED;
        ComPtr<IStream> stream;
        HRESULT hr = peer->QueryInterface(IID_IStream, reinterpret_cast<void**>(stream.GetAddressOf()));
        if (FAILED(hr)) return hr;  // the file can only be written through the writer's stream
        // Pictures go to the file from the first on; the sound joins with its first packet.
        std::vector<bool> leadIn;
        for (const TMpegMuxInput* pin : connected) leadIn.push_back(pin->Video);
        hr = BeginFile("vob", stream.Get(), describe, leadIn, kMuxPreload, kMuxLead);
        if (FAILED(hr)) return hr;
        for (std::size_t i = 0; i < connected.size(); ++i) connected[i]->Stream = static_cast<int>(i);
        return S_OK;
    }
    std::unique_ptr<TMpegMuxInput> video_, audio_;
    std::unique_ptr<TMpegMuxOutput> output_;
};

TMpegMuxInput::TMpegMuxInput(TMpegMux* mux, HRESULT& hr, bool video)
    : TBCBaseInputPin("MPEG mux input", mux, mux->Lock(), hr, video ? kMpegMuxVideoPin : kMpegMuxAudioPin), Video(video), mux_(mux)
{
}

HRESULT TMpegMuxInput::CheckMediaType(const AM_MEDIA_TYPE* mt)
{
    if (mt == nullptr) return E_POINTER;
    if (MpegStandinsRefuse()) return VFW_E_TYPE_NOT_ACCEPTED;
    TMpegVideo video;
    TMpegAudio audio;
    return Video ? (ReadMpegVideo(*mt, video) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED)
                 : (ReadMpegAudio(*mt, audio) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED);
}

HRESULT TMpegMuxInput::Receive(IMediaSample* sample)
{
    HRESULT hr = TBCBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    const int stream = Stream.load();
    return stream < 0 ? VFW_E_WRONG_STATE : mux_->Deliver(stream, sample);
}

HRESULT TMpegMuxInput::EndOfStream()
{
    const HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    mux_->StreamEnded(Stream.load());
    return S_OK;
}

TMpegMuxOutput::TMpegMuxOutput(TMpegMux* mux, HRESULT& hr)
    : TBCBaseOutputPin("MPEG mux output", mux, mux->Lock(), hr, kMpegMuxOutputPin)
{
}

const REGPINTYPES kVideoTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_MPEG2_VIDEO}, {&MEDIATYPE_Video, &MEDIASUBTYPE_MPEG1Payload}};
const REGPINTYPES kAudioTypes[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_MPEG1Audio}, {&MEDIATYPE_Audio, &MEDIASUBTYPE_MPEG1AudioPayload}};
const REGPINTYPES kOutputTypes[] = {{&MEDIATYPE_Stream, &MEDIASUBTYPE_MPEG2_PROGRAM}};
const REGFILTERPINS kPins[] = {
    {const_cast<LPWSTR>(kMpegMuxVideoPin), FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 2, kVideoTypes},
    {const_cast<LPWSTR>(kMpegMuxAudioPin), FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 2, kAudioTypes},
    {const_cast<LPWSTR>(kMpegMuxOutputPin), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kOutputTypes}};

const TStandinRegistrar kRegistrar([](filters::TBCFilterTemplate& templates) {
    filters::TBCFilterTemplateEntry entry;
    entry.Name = kMpegMuxName;
    entry.FilterClsid = CLSID_MpegMuxStandin;
    entry.Category = CLSID_LegacyAmFilterCategory;
    entry.Merit = MERIT_DO_NOT_USE;
    entry.PinCount = 3;
    entry.Pins = kPins;
    entry.Create = [](IUnknown* controller, HRESULT&) -> filters::TBCUnknown* {
        return new TMpegMux(*filters::Templates().GetFactoryFromClassID(CLSID_MpegMuxStandin), controller);
    };
    templates.Add(std::move(entry));
});

}  // namespace
}  // namespace standins
