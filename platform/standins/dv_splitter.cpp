#include "platform/standins/dv_splitter.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "filters/base_io_pins.h"
#include "filters/frame_slots.h"
#include "platform/standins/dv_frame.h"
#include "platform/standins/standins_dll.h"

using Microsoft::WRL::ComPtr;
using filters::ComGuard;  // the delegating IUnknown stubs call it unqualified

namespace standins {

namespace {

class TDVSplitter;

class TDVSplitterInput : public filters::TBCBaseInputPin {
public:
    TDVSplitterInput(TDVSplitter* filter, HRESULT& hr);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    HRESULT NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate) override;

private:
    TDVSplitter* splitter_;
};

class TDVSplitterOutput : public filters::TBCBaseOutputPin {
public:
    TDVSplitterOutput(TDVSplitter* filter, HRESULT& hr, bool video);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override;
    HRESULT Notify(IBaseFilter*, Quality) override { return S_OK; }
    bool Video() const { return video_; }

private:
    TDVSplitter* splitter_;
    bool video_;
};

class TDVSplitter : public filters::TBCBaseFilter {
public:
    TDVSplitter(const filters::TBCFilterTemplateEntry& entry, IUnknown* controller, HRESULT& hr)
        : TBCBaseFilter(entry, controller)
    {
        input_ = std::make_unique<TDVSplitterInput>(this, hr);
    }

    int GetPinCount() override { return outputsMade_.load() ? 3 : 1; }
    filters::TBCBasePin* GetPin(int n) override
    {
        if (n == 0) return input_.get();
        if (!outputsMade_.load()) return nullptr;
        return n == 1 ? video_.get() : n == 2 ? audio_.get() : nullptr;
    }
    LONG GetPinVersion() override { return pinVersion_.load(); }

    HRESULT Run(REFERENCE_TIME tStart) override
    {
        filters::TBCAutoLock lock(*Lock());
        runClock_.Run(Clock().Get(), tStart);
        return TBCBaseFilter::Run(tStart);
    }
    HRESULT Stop() override
    {
        HRESULT hr = TBCBaseFilter::Stop();  // decommits: a Receive waiting for a buffer returns
        runClock_.Stop();
        filters::TBCAutoLock receive(receiveLock_);
        frames_ = 0;
        soundSlots_.SetFrameTime(0);
        return hr;
    }

    // The outputs appear with the first input connection and stay (they may be connected).
    HRESULT MakeOutputs()
    {
        filters::TBCAutoLock lock(*Lock());
        if (outputsMade_.load()) return S_OK;
        HRESULT hr = S_OK;
        video_ = std::make_unique<TDVSplitterOutput>(this, hr, true);
        audio_ = std::make_unique<TDVSplitterOutput>(this, hr, false);
        if (FAILED(hr)) return hr;
        outputsMade_ = true;
        ++pinVersion_;
        return S_OK;
    }

    bool InputPal() const { return input_->IsConnected() ? DVTypeIsPal(input_->CurrentMediaType()) : true; }
    // The sound rate the input type announces (its AAUX source pack), 48 kHz when it says nothing usable.
    int InputAudioRate() const
    {
        const AM_MEDIA_TYPE& mt = input_->CurrentMediaType();
        if (!input_->IsConnected() || mt.formattype != FORMAT_DvInfo || mt.pbFormat == nullptr ||
            mt.cbFormat < sizeof(DVINFO)) {
            return 48000;
        }
        const DWORD src = reinterpret_cast<const DVINFO*>(mt.pbFormat)->dwDVAAuxSrc;
        if ((src & 0xFF) == 0xFF && (src >> 24) == 0xFF) return 48000;  // no-information pack
        switch ((src >> 27) & 7) {
        case 1: return 44100;
        case 2: return 32000;
        default: return 48000;
        }
    }

    HRESULT Split(IMediaSample* sample);
    // The stream ends: silence until the last frame's end, as its picture is held until then.
    HRESULT EndSound();
    TDVSplitterOutput* VideoOut() { return outputsMade_.load() ? video_.get() : nullptr; }
    TDVSplitterOutput* AudioOut() { return outputsMade_.load() ? audio_.get() : nullptr; }
    filters::TBCCritSec& ReceiveLock() { return receiveLock_; }
    TDVSplitterInput* Input() { return input_.get(); }

private:
    HRESULT DeliverVideo(IMediaSample* in, std::span<const std::uint8_t> frame);
    HRESULT DeliverAudio(IMediaSample* in, std::span<const std::uint8_t> frame);
    // Silence in the frames' places that Empty gives.
    HRESULT DeliverSilence(TDVSplitterOutput* out, bool pal, int rate, const filters::TFrameSlots::TEmpty& empty);
    // audioScratch_'s samples as one sound sample.
    HRESULT DeliverSound(TDVSplitterOutput* out, bool timed, REFERENCE_TIME start, REFERENCE_TIME end,
                         bool discontinuity);

    std::unique_ptr<TDVSplitterInput> input_;
    std::unique_ptr<TDVSplitterOutput> video_;
    std::unique_ptr<TDVSplitterOutput> audio_;
    // Read by pin enumerators and streaming threads without the filter lock.
    std::atomic<bool> outputsMade_{false};
    std::atomic<LONG> pinVersion_{1};
    filters::TBCCritSec receiveLock_;
    std::int64_t frames_ = 0;  // under the receive lock
    // The frames' places in the sound, as a file places their pictures; under the receive lock. A
    // stamp is trusted no further than the recording's clock has run.
    filters::TFrameSlots soundSlots_;
    filters::TRunClock runClock_;
    std::vector<std::int16_t> audioScratch_;
};

// Input.

TDVSplitterInput::TDVSplitterInput(TDVSplitter* filter, HRESULT& hr)
    : TBCBaseInputPin("DV splitter input", filter, filter->Lock(), hr, L"Input"), splitter_(filter)
{
}

HRESULT TDVSplitterInput::CheckMediaType(const AM_MEDIA_TYPE* mt)
{
    return mt != nullptr && DVIsInterleavedType(*mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TDVSplitterInput::GetMediaType(int position, AM_MEDIA_TYPE* mt)
{
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    DVMakeInterleavedType(*mt, true, DVDefaultInfo(true));
    return mt->pbFormat != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT TDVSplitterInput::CompleteConnect(IPin* receivePin)
{
    HRESULT hr = TBCBaseInputPin::CompleteConnect(receivePin);
    return FAILED(hr) ? hr : splitter_->MakeOutputs();
}

HRESULT TDVSplitterInput::Receive(IMediaSample* sample)
{
    filters::TBCAutoLock receive(splitter_->ReceiveLock());
    HRESULT hr = TBCBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    return splitter_->Split(sample);
}

HRESULT TDVSplitterInput::EndOfStream()
{
    filters::TBCAutoLock receive(splitter_->ReceiveLock());
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    splitter_->EndSound();
    for (auto* out : {splitter_->VideoOut(), splitter_->AudioOut()}) {
        if (out != nullptr && out->IsConnected()) out->DeliverEndOfStream();
    }
    return S_OK;
}

HRESULT TDVSplitterInput::BeginFlush()
{
    HRESULT hr = TBCBaseInputPin::BeginFlush();
    for (auto* out : {splitter_->VideoOut(), splitter_->AudioOut()}) {
        if (out != nullptr && out->IsConnected()) out->DeliverBeginFlush();
    }
    return hr;
}

HRESULT TDVSplitterInput::EndFlush()
{
    {
        filters::TBCAutoLock receive(splitter_->ReceiveLock());
        for (auto* out : {splitter_->VideoOut(), splitter_->AudioOut()}) {
            if (out != nullptr && out->IsConnected()) out->DeliverEndFlush();
        }
    }
    return TBCBaseInputPin::EndFlush();
}

HRESULT TDVSplitterInput::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double rate)
{
    TBCBaseInputPin::NewSegment(tStart, tStop, rate);
    for (auto* out : {splitter_->VideoOut(), splitter_->AudioOut()}) {
        if (out != nullptr && out->IsConnected()) out->DeliverNewSegment(tStart, tStop, rate);
    }
    return S_OK;
}

// Outputs.

TDVSplitterOutput::TDVSplitterOutput(TDVSplitter* filter, HRESULT& hr, bool video)
    : TBCBaseOutputPin(video ? "DV splitter video" : "DV splitter audio", filter, filter->Lock(), hr,
                       video ? kDVSplitterVideoPin : kDVSplitterAudioPin),
      splitter_(filter), video_(video)
{
}

HRESULT TDVSplitterOutput::CheckMediaType(const AM_MEDIA_TYPE* mt)
{
    if (mt == nullptr) return E_POINTER;
    if (video_) {
        return DVIsVideoType(*mt) && DVTypeIsPal(*mt) == splitter_->InputPal() ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    if (mt->majortype != MEDIATYPE_Audio || mt->subtype != MEDIASUBTYPE_PCM || mt->formattype != FORMAT_WaveFormatEx ||
        mt->pbFormat == nullptr || mt->cbFormat < sizeof(WAVEFORMATEX)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(mt->pbFormat);
    return wf->wFormatTag == WAVE_FORMAT_PCM && wf->nChannels == 2 && wf->wBitsPerSample == 16 &&
                   static_cast<int>(wf->nSamplesPerSec) == splitter_->InputAudioRate()
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TDVSplitterOutput::GetMediaType(int position, AM_MEDIA_TYPE* mt)
{
    if (position < 0) return E_INVALIDARG;
    if (position > 0) return VFW_S_NO_MORE_ITEMS;
    if (video_) {
        DVMakeVideoType(*mt, splitter_->InputPal());
    } else {
        DVMakePcmType(*mt, splitter_->InputAudioRate(), 2);
    }
    return mt->pbFormat != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT TDVSplitterOutput::DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props)
{
    const long size = video_ ? static_cast<long>(filters::kDVFrameBytes625) : DVAudioCapacity(true) * 4;
    props->cBuffers = std::max<long>(props->cBuffers, video_ ? 4 : 8);
    props->cbBuffer = std::max<long>(props->cbBuffer, size);
    ALLOCATOR_PROPERTIES actual{};
    HRESULT hr = alloc->SetProperties(props, &actual);
    if (FAILED(hr)) return hr;
    return actual.cbBuffer < size ? E_FAIL : S_OK;
}

// Splitting: the video sample is the frame as it came; the sound sample is the frame's samples, or
// silence of the frame's duration when the frame carries none at the output's rate. Frames lost
// before one have silence in their place, counted as a capture file places their pictures (each
// frame in the slot its stamp falls in since its run began): the sound after them stays with its
// pictures however the frames' stamps stray.

HRESULT TDVSplitter::Split(IMediaSample* sample)
{
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || data == nullptr) return E_POINTER;
    const long length = std::max<long>(sample->GetActualDataLength(), 0);
    const std::span<const std::uint8_t> frame(data, static_cast<std::size_t>(length));
    HRESULT hr = DeliverVideo(sample, frame);
    HRESULT hrAudio = DeliverAudio(sample, frame);
    ++frames_;
    // The stream goes on while one branch still takes it.
    if (FAILED(hr) && FAILED(hrAudio)) return hr;
    return S_OK;
}

HRESULT TDVSplitter::DeliverVideo(IMediaSample* in, std::span<const std::uint8_t> frame)
{
    TDVSplitterOutput* out = VideoOut();
    if (out == nullptr || !out->IsConnected()) return VFW_E_NOT_CONNECTED;
    REFERENCE_TIME start = 0, end = 0;
    const bool timed = SUCCEEDED(in->GetTime(&start, &end));
    ComPtr<IMediaSample> outSample;
    HRESULT hr = out->GetDeliveryBuffer(outSample.GetAddressOf(), nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* dest = nullptr;
    outSample->GetPointer(&dest);
    const long size = std::min<long>(static_cast<long>(frame.size()), outSample->GetSize());
    std::memcpy(dest, frame.data(), static_cast<std::size_t>(size));
    outSample->SetActualDataLength(size);
    if (timed) outSample->SetTime(&start, &end);
    outSample->SetSyncPoint(TRUE);
    outSample->SetDiscontinuity(in->IsDiscontinuity() == S_OK ? TRUE : FALSE);
    return out->Deliver(outSample.Get());
}

HRESULT TDVSplitter::DeliverAudio(IMediaSample* in, std::span<const std::uint8_t> frame)
{
    TDVSplitterOutput* out = AudioOut();
    if (out == nullptr || !out->IsConnected()) return VFW_E_NOT_CONNECTED;
    const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(out->CurrentMediaType().pbFormat);
    const int outRate = wf != nullptr ? static_cast<int>(wf->nSamplesPerSec) : 48000;
    const bool pal = frame.size() >= filters::kDVFrameBytes525 ? DVFrameIsPal(frame) : InputPal();
    const REFERENCE_TIME frameTime = DVFrameTime(pal);
    REFERENCE_TIME start = 0, end = 0;
    const bool timed = SUCCEEDED(in->GetTime(&start, &end));
    const bool discontinuity = in->IsDiscontinuity() == S_OK;
    if (soundSlots_.FrameTime() != frameTime) soundSlots_.SetFrameTime(frameTime);
    // Silence no further than the recording's clock has run: one wild stamp cannot fill the file.
    const filters::TFrameSlots::TEmpty lost = soundSlots_.Place(timed, discontinuity, start, end, runClock_.Now());
    HRESULT hr = DeliverSilence(out, pal, outRate, lost);
    if (hr != S_OK) return hr;
    int rate = 0;
    const int samples = DVReadAudio(frame, audioScratch_, rate);
    if (samples == 0 || rate != outRate) {
        audioScratch_.assign(static_cast<std::size_t>(DVAudioSamplesPerFrame(pal, outRate, frames_)) * 2, 0);
    }
    return DeliverSound(out, timed, start, end, discontinuity);
}

HRESULT TDVSplitter::DeliverSilence(TDVSplitterOutput* out, bool pal, int rate,
                                    const filters::TFrameSlots::TEmpty& empty)
{
    const REFERENCE_TIME frameTime = DVFrameTime(pal);
    for (std::int64_t n = 0; n < empty.Count; ++n) {
        audioScratch_.assign(static_cast<std::size_t>(DVAudioSamplesPerFrame(pal, rate, frames_++)) * 2, 0);
        const REFERENCE_TIME at = filters::AddTime(empty.At, n * frameTime);
        const HRESULT hr = DeliverSound(out, true, at, filters::AddTime(at, frameTime), false);
        if (hr != S_OK) return hr;
    }
    return S_OK;
}

HRESULT TDVSplitter::EndSound()
{
    TDVSplitterOutput* out = AudioOut();
    const filters::TFrameSlots::TEmpty tail = soundSlots_.End(runClock_.Now());
    if (out == nullptr || !out->IsConnected()) return VFW_E_NOT_CONNECTED;
    const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(out->CurrentMediaType().pbFormat);
    const int rate = wf != nullptr ? static_cast<int>(wf->nSamplesPerSec) : 48000;
    return DeliverSilence(out, soundSlots_.FrameTime() == DVFrameTime(true), rate, tail);
}

HRESULT TDVSplitter::DeliverSound(TDVSplitterOutput* out, bool timed, REFERENCE_TIME start, REFERENCE_TIME end,
                                  bool discontinuity)
{
    ComPtr<IMediaSample> outSample;
    HRESULT hr = out->GetDeliveryBuffer(outSample.GetAddressOf(), nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* dest = nullptr;
    outSample->GetPointer(&dest);
    const long bytes = std::min<long>(static_cast<long>(audioScratch_.size()) * 2, outSample->GetSize());
    std::memcpy(dest, audioScratch_.data(), static_cast<std::size_t>(bytes));
    outSample->SetActualDataLength(bytes);
    if (timed) outSample->SetTime(&start, &end);
    outSample->SetSyncPoint(TRUE);
    outSample->SetDiscontinuity(discontinuity ? TRUE : FALSE);
    return out->Deliver(outSample.Get());
}

const REGPINTYPES kInputTypes[] = {{&MEDIATYPE_Interleaved, &MEDIASUBTYPE_dvsd}};
const REGPINTYPES kVideoTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_dvsd}};
const REGPINTYPES kAudioTypes[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};
const REGFILTERPINS kPins[] = {
    {const_cast<LPWSTR>(L"Input"), FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kInputTypes},
    {const_cast<LPWSTR>(kDVSplitterVideoPin), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kVideoTypes},
    {const_cast<LPWSTR>(kDVSplitterAudioPin), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kAudioTypes}};

const TStandinRegistrar kRegistrar([](filters::TBCFilterTemplate& templates) {
    filters::TBCFilterTemplateEntry entry;
    entry.Name = "DV Splitter";
    entry.FilterClsid = CLSID_DVSplitter;
    entry.Category = CLSID_LegacyAmFilterCategory;
    entry.Merit = MERIT_NORMAL;
    entry.PinCount = 3;
    entry.Pins = kPins;
    entry.Create = [](IUnknown* controller, HRESULT& hr) -> filters::TBCUnknown* {
        return new TDVSplitter(*filters::Templates().GetFactoryFromClassID(CLSID_DVSplitter), controller, hr);
    };
    templates.Add(std::move(entry));
});

}  // namespace

}  // namespace standins
