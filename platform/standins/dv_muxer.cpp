#include "platform/standins/dv_muxer.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "filters/base_io_pins.h"
#include "platform/standins/dv_frame.h"
#include "platform/standins/standins_dll.h"

using Microsoft::WRL::ComPtr;
using filters::ComGuard;  // the delegating IUnknown stubs call it unqualified

namespace standins {

namespace {

// Sound waiting for its video frame is kept up to two seconds; older samples are dropped.
constexpr std::size_t kMaxQueuedSamples = 2 * 48000;

class TDVMuxer;

class TDVMuxerInput : public filters::TBCBaseInputPin {
public:
    TDVMuxerInput(TDVMuxer* filter, HRESULT& hr, bool video);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;

private:
    TDVMuxer* muxer_;
    bool video_;
};

class TDVMuxerOutput : public filters::TBCBaseOutputPin {
public:
    TDVMuxerOutput(TDVMuxer* filter, HRESULT& hr);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override;
    HRESULT Notify(IBaseFilter*, Quality) override { return S_OK; }

private:
    TDVMuxer* muxer_;
};

class TDVMuxer : public filters::TBCBaseFilter {
public:
    TDVMuxer(const filters::TBCFilterTemplateEntry& entry, IUnknown* controller, HRESULT& hr)
        : TBCBaseFilter(entry, controller)
    {
        video_ = std::make_unique<TDVMuxerInput>(this, hr, true);
        output_ = std::make_unique<TDVMuxerOutput>(this, hr);
    }

    int GetPinCount() override { return audioMade_.load() ? 3 : 2; }
    filters::TBCBasePin* GetPin(int n) override
    {
        if (n == 0) return video_.get();
        filters::TBCBasePin* last = output_.get();
        if (audioMade_.load()) return n == 1 ? audio_.get() : n == 2 ? last : nullptr;
        return n == 1 ? last : nullptr;
    }
    LONG GetPinVersion() override { return pinVersion_.load(); }

    HRESULT Stop() override
    {
        HRESULT hr = TBCBaseFilter::Stop();
        filters::TBCAutoLock receive(receiveLock_);
        std::lock_guard<std::mutex> guard(queueLock_);
        queue_.clear();
        frames_ = 0;
        return hr;
    }

    // The sound input appears once the video input is connected and stays.
    HRESULT MakeAudioInput()
    {
        filters::TBCAutoLock lock(*Lock());
        if (audioMade_.load()) return S_OK;
        HRESULT hr = S_OK;
        audio_ = std::make_unique<TDVMuxerInput>(this, hr, false);
        if (FAILED(hr)) return hr;
        audioMade_ = true;
        ++pinVersion_;
        return S_OK;
    }

    bool Pal() const { return video_->IsConnected() ? DVTypeIsPal(video_->CurrentMediaType()) : true; }
    int AudioRate() const
    {
        if (!audioMade_.load() || !audio_->IsConnected()) return 0;
        return static_cast<int>(reinterpret_cast<const WAVEFORMATEX*>(audio_->CurrentMediaType().pbFormat)->nSamplesPerSec);
    }

    void QueueAudio(std::span<const std::uint8_t> bytes, int channels);
    HRESULT MuxFrame(IMediaSample* in);
    filters::TBCCritSec& ReceiveLock() { return receiveLock_; }
    TDVMuxerOutput* Output() { return output_.get(); }

private:
    std::unique_ptr<TDVMuxerInput> video_;
    std::unique_ptr<TDVMuxerInput> audio_;
    std::unique_ptr<TDVMuxerOutput> output_;
    // Read by pin enumerators and streaming threads without the filter lock.
    std::atomic<bool> audioMade_{false};
    std::atomic<LONG> pinVersion_{1};
    filters::TBCCritSec receiveLock_;  // the video stream
    std::int64_t frames_ = 0;          // under the receive lock
    std::mutex queueLock_;             // the sound queue, filled on the sound input's thread
    std::deque<std::int16_t> queue_;   // interleaved stereo
};

// Inputs.

TDVMuxerInput::TDVMuxerInput(TDVMuxer* filter, HRESULT& hr, bool video)
    : TBCBaseInputPin(video ? "DV muxer video" : "DV muxer audio", filter, filter->Lock(), hr,
                      video ? kDVMuxerVideoPin : kDVMuxerAudioPin),
      muxer_(filter), video_(video)
{
}

HRESULT TDVMuxerInput::CheckMediaType(const AM_MEDIA_TYPE* mt)
{
    if (mt == nullptr) return E_POINTER;
    if (video_) return DVIsVideoType(*mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    if (mt->majortype != MEDIATYPE_Audio || mt->subtype != MEDIASUBTYPE_PCM || mt->formattype != FORMAT_WaveFormatEx ||
        mt->pbFormat == nullptr || mt->cbFormat < sizeof(WAVEFORMATEX)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(mt->pbFormat);
    const bool rateOk = wf->nSamplesPerSec == 48000 || wf->nSamplesPerSec == 44100 || wf->nSamplesPerSec == 32000;
    return wf->wFormatTag == WAVE_FORMAT_PCM && wf->wBitsPerSample == 16 && (wf->nChannels == 1 || wf->nChannels == 2) &&
                   rateOk
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TDVMuxerInput::GetMediaType(int position, AM_MEDIA_TYPE* mt)
{
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    if (video_) {
        DVMakeVideoType(*mt, true);
    } else {
        DVMakePcmType(*mt, 48000, 2);
    }
    return mt->pbFormat != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT TDVMuxerInput::CompleteConnect(IPin* receivePin)
{
    HRESULT hr = TBCBaseInputPin::CompleteConnect(receivePin);
    if (FAILED(hr) || !video_) return hr;
    return muxer_->MakeAudioInput();
}

HRESULT TDVMuxerInput::Receive(IMediaSample* sample)
{
    if (!video_) {
        HRESULT hr = TBCBaseInputPin::Receive(sample);
        if (hr != S_OK) return hr;
        BYTE* data = nullptr;
        if (FAILED(sample->GetPointer(&data)) || data == nullptr) return E_POINTER;
        const long length = std::max<long>(sample->GetActualDataLength(), 0);
        const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(CurrentMediaType().pbFormat);
        muxer_->QueueAudio(std::span<const std::uint8_t>(data, static_cast<std::size_t>(length)), wf->nChannels);
        return S_OK;
    }
    filters::TBCAutoLock receive(muxer_->ReceiveLock());
    HRESULT hr = TBCBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    return muxer_->MuxFrame(sample);
}

HRESULT TDVMuxerInput::EndOfStream()
{
    if (!video_) return CheckStreaming();  // the video stream decides where the output ends
    filters::TBCAutoLock receive(muxer_->ReceiveLock());
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    if (muxer_->Output()->IsConnected()) muxer_->Output()->DeliverEndOfStream();
    return S_OK;
}

HRESULT TDVMuxerInput::BeginFlush()
{
    HRESULT hr = TBCBaseInputPin::BeginFlush();
    if (video_ && muxer_->Output()->IsConnected()) muxer_->Output()->DeliverBeginFlush();
    return hr;
}

HRESULT TDVMuxerInput::EndFlush()
{
    if (video_) {
        filters::TBCAutoLock receive(muxer_->ReceiveLock());
        if (muxer_->Output()->IsConnected()) muxer_->Output()->DeliverEndFlush();
    }
    return TBCBaseInputPin::EndFlush();
}

// Output.

TDVMuxerOutput::TDVMuxerOutput(TDVMuxer* filter, HRESULT& hr)
    : TBCBaseOutputPin("DV muxer output", filter, filter->Lock(), hr, kDVMuxerOutputPin), muxer_(filter)
{
}

HRESULT TDVMuxerOutput::CheckMediaType(const AM_MEDIA_TYPE* mt)
{
    if (mt == nullptr) return E_POINTER;
    return DVIsInterleavedType(*mt) && DVTypeIsPal(*mt) == muxer_->Pal() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TDVMuxerOutput::GetMediaType(int position, AM_MEDIA_TYPE* mt)
{
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    const bool pal = muxer_->Pal();
    const int rate = muxer_->AudioRate();
    DVMakeInterleavedType(*mt, pal, DVDefaultInfo(pal, false, rate != 0 ? rate : 48000));
    return mt->pbFormat != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT TDVMuxerOutput::DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props)
{
    const long size = static_cast<long>(filters::kDVFrameBytes625);
    props->cBuffers = std::max<long>(props->cBuffers, 4);
    props->cbBuffer = std::max<long>(props->cbBuffer, size);
    ALLOCATOR_PROPERTIES actual{};
    HRESULT hr = alloc->SetProperties(props, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer < size ? E_FAIL : S_OK;
}

// Muxing.

void TDVMuxer::QueueAudio(std::span<const std::uint8_t> bytes, int channels)
{
    std::lock_guard<std::mutex> guard(queueLock_);
    const std::size_t frames = bytes.size() / (2 * static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < frames; ++i) {
        for (int ch = 0; ch < 2; ++ch) {
            const std::size_t at = (i * channels + (channels == 2 ? ch : 0)) * 2;
            queue_.push_back(static_cast<std::int16_t>(bytes[at] | (bytes[at + 1] << 8)));
        }
    }
    while (queue_.size() > 2 * kMaxQueuedSamples) queue_.pop_front();
}

HRESULT TDVMuxer::MuxFrame(IMediaSample* in)
{
    if (!output_->IsConnected()) return VFW_E_NOT_CONNECTED;
    BYTE* data = nullptr;
    if (FAILED(in->GetPointer(&data)) || data == nullptr) return E_POINTER;
    const long length = std::max<long>(in->GetActualDataLength(), 0);
    ComPtr<IMediaSample> out;
    HRESULT hr = output_->GetDeliveryBuffer(out.GetAddressOf(), nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* dest = nullptr;
    out->GetPointer(&dest);
    const long size = std::min<long>(length, out->GetSize());
    std::memcpy(dest, data, static_cast<std::size_t>(size));
    out->SetActualDataLength(size);

    // With a sound input connected, the frame's audio blocks carry its samples (silence where they ran
    // short); a short or malformed frame passes unchanged.
    const int rate = AudioRate();
    const std::span<std::uint8_t> frame(dest, static_cast<std::size_t>(size));
    if (rate != 0 && frame.size() >= filters::kDVFrameBytes525 && frame.size() >= DVFrameBytes(DVFrameIsPal(frame))) {
        const int samples = DVAudioSamplesPerFrame(DVFrameIsPal(frame), rate, frames_);
        std::vector<std::int16_t> audio(static_cast<std::size_t>(samples) * 2, 0);
        {
            std::lock_guard<std::mutex> guard(queueLock_);
            const std::size_t take = std::min(audio.size(), queue_.size());
            std::copy_n(queue_.begin(), take, audio.begin());
            queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(take));
        }
        DVWriteAudio(frame, rate, audio);
    }
    ++frames_;

    REFERENCE_TIME start = 0, end = 0;
    if (SUCCEEDED(in->GetTime(&start, &end))) out->SetTime(&start, &end);
    out->SetSyncPoint(TRUE);
    out->SetDiscontinuity(in->IsDiscontinuity() == S_OK ? TRUE : FALSE);
    return output_->Deliver(out.Get());
}

const REGPINTYPES kVideoTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_dvsd}};
const REGPINTYPES kAudioTypes[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};
const REGPINTYPES kOutputTypes[] = {{&MEDIATYPE_Interleaved, &MEDIASUBTYPE_dvsd}};
const REGFILTERPINS kPins[] = {
    {const_cast<LPWSTR>(kDVMuxerVideoPin), FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kVideoTypes},
    {const_cast<LPWSTR>(kDVMuxerAudioPin), FALSE, FALSE, TRUE, FALSE, &CLSID_NULL, nullptr, 1, kAudioTypes},
    {const_cast<LPWSTR>(kDVMuxerOutputPin), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kOutputTypes}};

const TStandinRegistrar kRegistrar([](filters::TBCFilterTemplate& templates) {
    filters::TBCFilterTemplateEntry entry;
    entry.Name = "DV Muxer";
    entry.FilterClsid = CLSID_DVMux;
    entry.Category = CLSID_LegacyAmFilterCategory;
    entry.Merit = MERIT_DO_NOT_USE;
    entry.PinCount = 3;
    entry.Pins = kPins;
    entry.Create = [](IUnknown* controller, HRESULT& hr) -> filters::TBCUnknown* {
        return new TDVMuxer(*filters::Templates().GetFactoryFromClassID(CLSID_DVMux), controller, hr);
    };
    templates.Add(std::move(entry));
});

}  // namespace

}  // namespace standins
