#include "platform/standins/dv_muxer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "filters/base_io_pins.h"
#include "platform/standins/dv_frame.h"
#include "platform/standins/slim_sync.h"
#include "platform/standins/standins_dll.h"

using Microsoft::WRL::ComPtr;
using filters::ComGuard;  // the delegating IUnknown stubs call it unqualified

namespace standins {

namespace {

// Sound waiting for its video frame is kept up to four seconds; older samples are dropped.
constexpr std::size_t kMaxQueuedSamples = 4 * 48000;
// A frame waits for the sound of its time at most this long in frames' time (pictures coming
// meanwhile wait behind it); past that it goes out with silence where its sound has not come.
// Longer than a sound input is waited for before it is taken for dead.
constexpr REFERENCE_TIME kMostSoundWait = 30000000;
// How far the sound's time may stray from a frame's before sound is left out (pictures were lost)
// or silence put in (the sound began later): half a frame.
constexpr REFERENCE_TIME kSoundSlack = 200000;
// How long a pause waits for the frames that waited for their sound to be taken downstream. What
// follows a muxer in a recording takes them at once; a renderer holds what it gets while paused.
constexpr std::chrono::milliseconds kMostPauseSendWait{1000};

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
    ~TDVMuxer() override { JoinEndSender(); }

    int GetPinCount() override { return audioMade_.load() ? 3 : 2; }
    filters::TBCBasePin* GetPin(int n) override
    {
        if (n == 0) return video_.get();
        filters::TBCBasePin* last = output_.get();
        if (audioMade_.load()) return n == 1 ? audio_.get() : n == 2 ? last : nullptr;
        return n == 1 ? last : nullptr;
    }
    LONG GetPinVersion() override { return pinVersion_.load(); }

    // The graph pauses every filter, downstream first, before it stops them (a stop, or a cut that
    // stops and runs again into a new file): what follows still takes frames now, and no longer
    // at our stop. So the frames waiting for their sound go out now with the sound there is, and
    // those that come until the stop go out as they come.
    HRESULT Pause() override
    {
        filters::TBCAutoLock lock(*Lock());
        if (State() == State_Running && output_->IsConnected()) {
            ending_ = true;
            SendEndOfRun();
        }
        return TBCBaseFilter::Pause();
    }
    HRESULT Run(REFERENCE_TIME start) override
    {
        ending_ = false;
        return TBCBaseFilter::Run(start);
    }

    HRESULT Stop() override
    {
        HRESULT hr = TBCBaseFilter::Stop();  // decommits: a send waiting for a buffer returns
        filters::TBCAutoLock lock(*Lock());
        JoinEndSender();  // what follows stopped first: a send it held returns
        filters::TBCAutoLock receive(receiveLock_);
        ending_ = false;
        pending_.clear();
        videoEnded_ = false;
        endDelivered_ = false;
        std::lock_guard<std::mutex> guard(queueLock_);
        queue_.clear();
        queueTimed_ = false;
        soundEnded_ = false;
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

    // Sound of the sound input's sample whose time is start (when timed).
    void QueueAudio(std::span<const std::uint8_t> bytes, int channels, REFERENCE_TIME start, bool timed);
    // The video (Video) or the sound stream ended; receive lock held.
    HRESULT StreamEnded(bool video);
    // A video frame: out at once without sound, else once the sound of its time has come.
    HRESULT MuxFrame(IMediaSample* in);
    void DropWaiting() { pending_.clear(); }
    filters::TBCCritSec& ReceiveLock() { return receiveLock_; }
    TDVMuxerOutput* Output() { return output_.get(); }

private:
    // A frame that waits for its sound.
    struct TWaitingFrame {
        std::vector<BYTE> Bytes;
        REFERENCE_TIME Start = 0, End = 0;
        bool Timed = false;
        bool Discontinuity = false;
    };
    // Sends the waiting frames whose sound is there (all of them when All); receive lock held.
    HRESULT SendReady(bool all);
    // The sound of the first waiting frame into Audio (samples frames of two channels), silence
    // where it is missing; false when it should wait longer. Queue lock held.
    bool TakeSound(const TWaitingFrame& frame, int rate, int samples, bool force, std::vector<std::int16_t>& audio);
    HRESULT Send(const TWaitingFrame& frame, const std::vector<std::int16_t>& audio);
    // Sends every waiting frame on a thread of its own and waits for it a while (filter lock held).
    void SendEndOfRun();
    void JoinEndSender();

    std::unique_ptr<TDVMuxerInput> video_;
    std::unique_ptr<TDVMuxerInput> audio_;
    std::unique_ptr<TDVMuxerOutput> output_;
    // Read by pin enumerators and streaming threads without the filter lock.
    std::atomic<bool> audioMade_{false};
    std::atomic<LONG> pinVersion_{1};
    filters::TBCCritSec receiveLock_;  // the video stream
    std::int64_t frames_ = 0;          // under the receive lock
    std::deque<TWaitingFrame> pending_;  // under the receive lock
    // The video stream ended, and the output's end went downstream (under the receive lock).
    bool videoEnded_ = false;
    bool endDelivered_ = false;
    // The run is ending (paused from running): frames go out as they come. Set by the graph's
    // thread, read by the video stream's.
    std::atomic<bool> ending_{false};
    std::thread endSender_;       // under the filter lock
    TSlimMutex endSentLock_;
    TSlimCondition endSentSignal_;
    bool endSent_ = false;        // under endSentLock_
    std::mutex queueLock_;             // the sound queue, filled on the sound input's thread
    std::deque<std::int16_t> queue_;   // interleaved stereo
    // The time of the queue's first sample, from the first stamped sound of the run on (the sound
    // goes on sample after sample from there); whether the sound stream ended.
    REFERENCE_TIME queueTime_ = 0;
    bool queueTimed_ = false;
    bool soundEnded_ = false;
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
        REFERENCE_TIME start = 0, end = 0;
        const bool timed = SUCCEEDED(sample->GetTime(&start, &end));
        muxer_->QueueAudio(std::span<const std::uint8_t>(data, static_cast<std::size_t>(length)), wf->nChannels, start,
                           timed);
        return S_OK;
    }
    filters::TBCAutoLock receive(muxer_->ReceiveLock());
    HRESULT hr = TBCBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    return muxer_->MuxFrame(sample);
}

HRESULT TDVMuxerInput::EndOfStream()
{
    // The output ends once the video has ended and the sound that goes with it came: its frames
    // then wait for no more sound. A muxer without sound ends with its video.
    filters::TBCAutoLock receive(muxer_->ReceiveLock());
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    return muxer_->StreamEnded(video_);
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
        muxer_->DropWaiting();
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

void TDVMuxer::QueueAudio(std::span<const std::uint8_t> bytes, int channels, REFERENCE_TIME start, bool timed)
{
    std::lock_guard<std::mutex> guard(queueLock_);
    if (!queueTimed_ && timed && queue_.empty()) {
        queueTime_ = start;
        queueTimed_ = true;
    }
    const std::size_t frames = bytes.size() / (2 * static_cast<std::size_t>(channels));
    for (std::size_t i = 0; i < frames; ++i) {
        for (int ch = 0; ch < 2; ++ch) {
            const std::size_t at = (i * channels + (channels == 2 ? ch : 0)) * 2;
            queue_.push_back(static_cast<std::int16_t>(bytes[at] | (bytes[at + 1] << 8)));
        }
    }
    if (queue_.size() > 2 * kMaxQueuedSamples) {
        const std::size_t gone = (queue_.size() - 2 * kMaxQueuedSamples) / 2;
        queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(2 * gone));
        const int rate = AudioRate();
        if (rate > 0) queueTime_ += static_cast<REFERENCE_TIME>(gone) * 10000000 / rate;
    }
}

HRESULT TDVMuxer::StreamEnded(bool video)
{
    if (video) {
        videoEnded_ = true;
    } else {
        std::lock_guard<std::mutex> guard(queueLock_);
        soundEnded_ = true;
    }
    const bool soundConnected = audioMade_.load() && audio_->IsConnected();
    bool soundEnded = true;
    if (soundConnected) {
        std::lock_guard<std::mutex> guard(queueLock_);
        soundEnded = soundEnded_;
    }
    if (!videoEnded_ || endDelivered_ || !output_->IsConnected()) return S_OK;
    // The frames whose sound came go now; the others wait until the sound ends too.
    HRESULT hr = SendReady(soundEnded);
    if (soundEnded) {
        endDelivered_ = true;
        output_->DeliverEndOfStream();
    }
    return hr;
}

bool TDVMuxer::TakeSound(const TWaitingFrame& frame, int rate, int samples, bool force, std::vector<std::int16_t>& audio)
{
    const auto toFrames = [rate](REFERENCE_TIME t) { return static_cast<std::int64_t>(t * rate / 10000000); };
    std::int64_t lead = 0;  // silence before the sound (the sound begins after the frame's start)
    if (frame.Timed && queueTimed_) {
        const REFERENCE_TIME late = frame.Start - queueTime_;
        if (late > kSoundSlack) {
            // Sound of pictures that never came: left out, as far as it is there.
            const std::int64_t gone = std::min<std::int64_t>(toFrames(late), static_cast<std::int64_t>(queue_.size() / 2));
            queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(2 * gone));
            queueTime_ += gone * 10000000 / rate;
            if (frame.Start - queueTime_ > kSoundSlack && !force && !soundEnded_) return false;
        } else if (-late > kSoundSlack) {
            lead = std::min<std::int64_t>(toFrames(-late), samples);
        }
    }
    const std::int64_t wanted = samples - lead;
    if (static_cast<std::int64_t>(queue_.size() / 2) < wanted && !force && !soundEnded_) return false;
    audio.assign(static_cast<std::size_t>(samples) * 2, 0);
    const std::size_t take = std::min(static_cast<std::size_t>(wanted) * 2, queue_.size());
    std::copy_n(queue_.begin(), take, audio.begin() + static_cast<std::ptrdiff_t>(2 * lead));
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(take));
    queueTime_ += static_cast<REFERENCE_TIME>(take / 2) * 10000000 / rate;
    return true;
}

HRESULT TDVMuxer::MuxFrame(IMediaSample* in)
{
    if (!output_->IsConnected()) return VFW_E_NOT_CONNECTED;
    BYTE* data = nullptr;
    if (FAILED(in->GetPointer(&data)) || data == nullptr) return E_POINTER;
    const long length = std::max<long>(in->GetActualDataLength(), 0);
    TWaitingFrame frame;
    frame.Bytes.assign(data, data + length);
    frame.Timed = SUCCEEDED(in->GetTime(&frame.Start, &frame.End));
    frame.Discontinuity = in->IsDiscontinuity() == S_OK;
    pending_.push_back(std::move(frame));
    // The sound of a frame's time comes after the frame (a sound buffer goes out at its end): the
    // frame waits for it, so that its sound is whole, and sends what came in time before it.
    return SendReady(ending_.load());
}

void TDVMuxer::SendEndOfRun()
{
    JoinEndSender();
    {
        std::lock_guard<TSlimMutex> guard(endSentLock_);
        endSent_ = false;
    }
    // Another thread, since a renderer downstream would hold the graph's thread until it stops.
    endSender_ = std::thread([this] {
        {
            filters::TBCAutoLock receive(receiveLock_);
            SendReady(true);
        }
        std::lock_guard<TSlimMutex> guard(endSentLock_);
        endSent_ = true;
        endSentSignal_.notify_all();
    });
    const auto until = std::chrono::steady_clock::now() + kMostPauseSendWait;
    std::unique_lock<TSlimMutex> wait(endSentLock_);
    for (auto now = std::chrono::steady_clock::now(); !endSent_ && now < until; now = std::chrono::steady_clock::now()) {
        endSentSignal_.wait_for(wait, std::chrono::ceil<std::chrono::milliseconds>(until - now));
    }
}

void TDVMuxer::JoinEndSender()
{
    if (endSender_.joinable()) endSender_.join();
}

HRESULT TDVMuxer::SendReady(bool all)
{
    const int rate = AudioRate();
    while (!pending_.empty()) {
        const TWaitingFrame& frame = pending_.front();
        // With a sound input connected, the frame's audio blocks carry its samples; a short or
        // malformed frame passes unchanged.
        const std::span<const std::uint8_t> bytes(frame.Bytes.data(), frame.Bytes.size());
        const bool carries = rate != 0 && bytes.size() >= filters::kDVFrameBytes525 && bytes.size() >= DVFrameBytes(DVFrameIsPal(bytes));
        std::vector<std::int16_t> audio;
        if (carries) {
            const TWaitingFrame& newest = pending_.back();
            const bool overdue = frame.Timed && newest.Timed ? newest.Start - frame.Start >= kMostSoundWait
                                                             : pending_.size() * 400000 >= kMostSoundWait;
            const int samples = DVAudioSamplesPerFrame(DVFrameIsPal(bytes), rate, frames_);
            std::lock_guard<std::mutex> guard(queueLock_);
            if (!TakeSound(frame, rate, samples, all || overdue, audio)) return S_OK;
        }
        TWaitingFrame out = std::move(pending_.front());
        pending_.pop_front();
        const HRESULT hr = Send(out, audio);
        if (hr != S_OK) {
            pending_.clear();
            return hr;
        }
    }
    return S_OK;
}

HRESULT TDVMuxer::Send(const TWaitingFrame& frame, const std::vector<std::int16_t>& audio)
{
    ComPtr<IMediaSample> out;
    HRESULT hr = output_->GetDeliveryBuffer(out.GetAddressOf(), nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* dest = nullptr;
    out->GetPointer(&dest);
    const long size = std::min<long>(static_cast<long>(frame.Bytes.size()), out->GetSize());
    std::memcpy(dest, frame.Bytes.data(), static_cast<std::size_t>(size));
    out->SetActualDataLength(size);
    if (!audio.empty()) DVWriteAudio(std::span<std::uint8_t>(dest, static_cast<std::size_t>(size)), AudioRate(), audio);
    ++frames_;
    REFERENCE_TIME start = frame.Start, end = frame.End;
    if (frame.Timed) out->SetTime(&start, &end);
    out->SetSyncPoint(TRUE);
    out->SetDiscontinuity(frame.Discontinuity ? TRUE : FALSE);
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
