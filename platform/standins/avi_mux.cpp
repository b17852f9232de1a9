#include "platform/standins/avi_mux.h"

#include <windows.h>
#include <dshow.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "filters/base_io_pins.h"
#include "filters/frame_slots.h"
#include "platform/standins/avi_interleave.h"
#include "platform/standins/avi_mux_types.h"
#include "platform/standins/avi_writer.h"
#include "platform/standins/recording_settings.h"
#include "platform/standins/standins_dll.h"

using Microsoft::WRL::ComPtr;
using filters::ComGuard;  // the delegating IUnknown stubs call it unqualified

namespace standins {

namespace {

constexpr REFERENCE_TIME kUnitsPerSecond = 10000000;
constexpr std::uint32_t kDefaultSuperIndex = 256;
constexpr std::uint32_t kTestSuperIndex = 1024;  // small test parts make many of them
// A stream's first frames are told at once (once their rate is known); then the file's sizes,
// indexes and counts are brought up to date after an interval of a stream's time or of the clock's
// (for streams whose times say little, as image by image's) that starts short and doubles up to a second.
constexpr REFERENCE_TIME kCheckpointTime = kUnitsPerSecond;
constexpr REFERENCE_TIME kFirstCheckpointTime = kUnitsPerSecond / 8;
constexpr ULONGLONG kCheckpointMs = 1000;

class TAviMux;

class TAviMuxInput : public filters::TBCBaseInputPin {
public:
    TAviMuxInput(TAviMux* mux, HRESULT& hr, std::wstring name);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override;
    HRESULT CompleteConnect(IPin* receivePin) override;
    HRESULT BreakConnect() override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    // An upstream filter that passes its own samples on (Wine's Sample Grabber) never names an
    // allocator here: stopping without one is no failure.
    HRESULT Inactive() override { return Allocator() != nullptr ? TBCBaseInputPin::Inactive() : TBCBasePin::Inactive(); }

    // The stream this pin writes in the file being written, or -1.
    std::atomic<int> Stream{-1};

private:
    TAviMux* mux_;
};

class TAviMuxOutput : public filters::TBCBaseOutputPin {
public:
    TAviMuxOutput(TAviMux* mux, HRESULT& hr);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override;
    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) override;
    // The file goes through the peer's IStream; the allocator is agreed as usual all the same,
    // since the peer expects one, but stays one small unused buffer.
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES*) override
    {
        ALLOCATOR_PROPERTIES wanted{1, 1, 1, 0}, actual{};
        return alloc->SetProperties(&wanted, &actual);
    }
    HRESULT Notify(IBaseFilter*, Quality) override { return S_OK; }
};

class TAviMux : public filters::TBCBaseFilter {
public:
    TAviMux(const filters::TBCFilterTemplateEntry& entry, IUnknown* controller);
    ~TAviMux() override;

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override;
    int GetPinCount() override;
    filters::TBCBasePin* GetPin(int n) override;
    LONG GetPinVersion() override { return pinVersion_.load(); }
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME tStart) override;
    HRESULT Stop() override;

    void InputConnected();
    void InputDisconnected(TAviMuxInput* pin);
    HRESULT Deliver(int stream, IMediaSample* sample);
    void StreamEnded(int stream);

private:
    // What the filter keeps of one stream of the file being written (under writeLock_).
    struct TStreamRun {
        bool FrameTimeKnown = false;  // from the type
        bool Told = false;            // a checkpoint counted its frames, at their own rate
        bool Intra = true;            // every frame stands alone (no key-frame flags needed)
        std::uint32_t BytesPerSecond = 0;
        std::uint64_t Samples = 0;
        std::uint64_t Bytes = 0;
        REFERENCE_TIME FirstStart = 0;
        REFERENCE_TIME LastStart = 0;
        REFERENCE_TIME NextTime = 0;  // where a sample without times is taken to start
        REFERENCE_TIME CheckpointTime = 0;  // the stream's time at the last checkpoint
        ULONGLONG FirstTick = 0;
        std::uint32_t FirstSize = 0;
        // A frame stream whose type states its frame time keeps each picture at its time.
        filters::TFrameSlots Slots;
    };

    HRESULT StartFile();
    void FinishFile(REFERENCE_TIME clock = filters::kNoClock);
    // Empty frames in the places of the pictures lost before a frame of stream starting at Start.
    HRESULT FillLostPlaces(int stream, TStreamRun& run, const filters::TFrameSlots::TEmpty& lost);
    // The file's streams end at the recording's stream time Clock: each frame stream's last picture
    // is held until its end, to the nearest slot (the slot its stamp fell in may have begun up to a
    // frame time before it), and no further than the clock. Once; what failed is told.
    void HoldLastPictures(REFERENCE_TIME clock);
    HRESULT WriteQueued(bool all);
    // Whether the file is due a checkpoint now that run's stream reached Time; when it is, every
    // stream's next one is counted from here.
    bool CheckpointDue(const TStreamRun& run, REFERENCE_TIME time);
    // The frame rate of a stream whose type states none, from what its samples show; none yet.
    static std::optional<REFERENCE_TIME> ShownFrameTime(const TStreamRun& run, TAviStreamKind kind);
    bool RateKnown(const TStreamRun& run, int stream) const;
    // Brings the file up to date, the rates its samples show first.
    HRESULT Checkpoint();
    HRESULT Written(HRESULT hr);

    struct InterleavingItf : IConfigInterleaving {
        explicit InterleavingItf(TAviMux& m) : o(m) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE put_Mode(InterleavingMode mode) override;
        HRESULT STDMETHODCALLTYPE get_Mode(InterleavingMode* mode) override;
        HRESULT STDMETHODCALLTYPE put_Interleaving(const REFERENCE_TIME* interleave,
                                                   const REFERENCE_TIME* preroll) override;
        HRESULT STDMETHODCALLTYPE get_Interleaving(REFERENCE_TIME* interleave, REFERENCE_TIME* preroll) override;
        TAviMux& o;
    };
    struct ConfigItf : IConfigAviMux {
        explicit ConfigItf(TAviMux& m) : o(m) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE SetMasterStream(LONG stream) override;
        HRESULT STDMETHODCALLTYPE GetMasterStream(LONG* stream) override;
        HRESULT STDMETHODCALLTYPE SetOutputCompatibilityIndex(BOOL oldIndex) override;
        HRESULT STDMETHODCALLTYPE GetOutputCompatibilityIndex(BOOL* oldIndex) override;
        TAviMux& o;
    };

    InterleavingItf interleavingItf_{*this};
    ConfigItf configItf_{*this};
    std::unique_ptr<TAviMuxOutput> output_;
    // Every input ever made lives as long as the filter: callers may hold its IPin.
    std::vector<std::unique_ptr<TAviMuxInput>> allInputs_;
    std::vector<TAviMuxInput*> inputs_;  // the visible inputs, in pin order
    std::vector<TAviMuxInput*> spare_;
    std::mutex listLock_;
    std::atomic<LONG> pinVersion_{1};
    int nextNumber_ = 1;

    // Settings (filter lock); they take effect when the next file starts.
    InterleavingMode mode_ = INTERLEAVE_NONE;
    REFERENCE_TIME interleave_ = kUnitsPerSecond;
    REFERENCE_TIME preroll_ = 0;
    LONG master_ = -1;
    bool legacyIndex_ = true;

    // The file being written: the streaming threads and the stopping thread meet here.
    std::mutex writeLock_;
    TAviWriter writer_;
    std::vector<TStreamRun> runs_;
    InterleavingMode runMode_ = INTERLEAVE_NONE;
    TInterleaveQueue queue_;  // full interleaving's
    // The recording's clock and the start of its run, for the streaming threads: stamps are trusted
    // no further than it has run (kNoClock while it does not run).
    filters::TRunClock runClock_;
    ULONGLONG checkpointTick_ = 0;
    REFERENCE_TIME checkpointInterval_ = kFirstCheckpointTime;
    bool endDelivered_ = false;
    bool failureReported_ = false;
};

// Inputs.

TAviMuxInput::TAviMuxInput(TAviMux* mux, HRESULT& hr, std::wstring name)
    : TBCBaseInputPin("AVI mux input", mux, mux->Lock(), hr, std::move(name)), mux_(mux)
{
}

HRESULT TAviMuxInput::CheckMediaType(const AM_MEDIA_TYPE* mt)
{
    if (mt == nullptr) {
        return E_POINTER;
    }
    return IsVideoType(*mt) || IsSoundType(*mt) || IsInterleavedDV(*mt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TAviMuxInput::CompleteConnect(IPin* receivePin)
{
    HRESULT hr = TBCBaseInputPin::CompleteConnect(receivePin);
    if (SUCCEEDED(hr)) {
        mux_->InputConnected();
    }
    return hr;
}

HRESULT TAviMuxInput::BreakConnect()
{
    HRESULT hr = TBCBaseInputPin::BreakConnect();
    mux_->InputDisconnected(this);
    return hr;
}

HRESULT TAviMuxInput::Receive(IMediaSample* sample)
{
    HRESULT hr = TBCBaseInputPin::Receive(sample);
    if (hr != S_OK) {
        return hr;
    }
    const int stream = Stream.load();
    return stream < 0 ? VFW_E_WRONG_STATE : mux_->Deliver(stream, sample);
}

HRESULT TAviMuxInput::EndOfStream()
{
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) {
        return hr;
    }
    const int stream = Stream.load();
    if (stream >= 0) {
        mux_->StreamEnded(stream);
    }
    return S_OK;
}

// Output.

TAviMuxOutput::TAviMuxOutput(TAviMux* mux, HRESULT& hr)
    : TBCBaseOutputPin("AVI mux output", mux, mux->Lock(), hr, kAviMuxOutputPin)
{
}

HRESULT TAviMuxOutput::CheckMediaType(const AM_MEDIA_TYPE* mt)
{
    if (mt == nullptr) {
        return E_POINTER;
    }
    return mt->majortype == MEDIATYPE_Stream && (mt->subtype == MEDIASUBTYPE_Avi || mt->subtype == GUID_NULL)
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TAviMuxOutput::GetMediaType(int position, AM_MEDIA_TYPE* mt)
{
    if (position < 0) {
        return E_INVALIDARG;
    }
    if (position > 0) {
        return VFW_S_NO_MORE_ITEMS;
    }
    mt->majortype = MEDIATYPE_Stream;
    mt->subtype = MEDIASUBTYPE_Avi;
    mt->bFixedSizeSamples = FALSE;
    mt->lSampleSize = 0;
    return S_OK;
}

// Filter.

TAviMux::TAviMux(const filters::TBCFilterTemplateEntry& entry, IUnknown* controller)
    : TBCBaseFilter(entry, controller)
{
    HRESULT hr = S_OK;
    output_ = std::make_unique<TAviMuxOutput>(this, hr);
    InputConnected();  // the first free input
}

TAviMux::~TAviMux()
{
    FinishFile(runClock_.Now());  // released while paused or running: the file is completed all the same
}

HRESULT TAviMux::NonDelegatingQueryInterface(REFIID iid, void** obj)
{
    if (iid == IID_IConfigInterleaving) {
        return GetInterface(&interleavingItf_, obj);
    }
    if (iid == IID_IConfigAviMux) {
        return GetInterface(&configItf_, obj);
    }
    return TBCBaseFilter::NonDelegatingQueryInterface(iid, obj);
}

int TAviMux::GetPinCount()
{
    std::lock_guard<std::mutex> lock(listLock_);
    return 1 + static_cast<int>(inputs_.size());
}

filters::TBCBasePin* TAviMux::GetPin(int n)
{
    if (n == 0) {
        return output_.get();
    }
    std::lock_guard<std::mutex> lock(listLock_);
    if (n < 0 || n > static_cast<int>(inputs_.size())) {
        return nullptr;
    }
    return inputs_[static_cast<std::size_t>(n - 1)];
}

void TAviMux::InputConnected()
{
    std::lock_guard<std::mutex> lock(listLock_);
    for (TAviMuxInput* pin : inputs_) {
        if (!pin->IsConnected()) {
            return;  // a free input is still there
        }
    }
    if (!spare_.empty()) {
        inputs_.push_back(spare_.back());
        spare_.pop_back();
    } else {
        HRESULT hr = S_OK;
        const int number = nextNumber_++;
        const std::wstring name = kAviMuxInputPrefix + std::wstring(number < 10 ? L"0" : L"") + std::to_wstring(number);
        auto pin = std::make_unique<TAviMuxInput>(this, hr, name);
        inputs_.push_back(pin.get());
        allInputs_.push_back(std::move(pin));
    }
    ++pinVersion_;
}

void TAviMux::InputDisconnected(TAviMuxInput* pin)
{
    std::lock_guard<std::mutex> lock(listLock_);
    // The pin still counts as connected while it breaks the connection: count it as free.
    int free = 0;
    for (TAviMuxInput* p : inputs_) {
        if (p == pin || !p->IsConnected()) {
            ++free;
        }
    }
    auto at = std::find(inputs_.begin(), inputs_.end(), pin);
    if (free < 2 || at == inputs_.end()) {
        return;
    }
    inputs_.erase(at);
    spare_.push_back(pin);
    ++pinVersion_;
}

HRESULT TAviMux::Pause()
{
    filters::TBCAutoLock lock(*Lock());
    if (IsStopped()) {
        HRESULT hr = StartFile();
        if (FAILED(hr)) {
            // Wine's graph does not pass this failure on from Run: the event tells it all the same.
            NotifyEvent(EC_ERRORABORT, hr, 0);
            return hr;
        }
    }
    return TBCBaseFilter::Pause();
}

HRESULT TAviMux::Run(REFERENCE_TIME tStart)
{
    filters::TBCAutoLock lock(*Lock());
    runClock_.Run(Clock().Get(), tStart);
    return TBCBaseFilter::Run(tStart);
}

HRESULT TAviMux::Stop()
{
    filters::TBCAutoLock lock(*Lock());
    const REFERENCE_TIME clock = runClock_.Now();
    HRESULT hr = TBCBaseFilter::Stop();
    runClock_.Stop();
    FinishFile(clock);
    return hr;
}

HRESULT TAviMux::StartFile()
{
    std::vector<TAviMuxInput*> connected;
    {
        std::lock_guard<std::mutex> lock(listLock_);
        for (TAviMuxInput* pin : inputs_) {
            pin->Stream = -1;
            if (pin->IsConnected()) {
                connected.push_back(pin);
            }
        }
    }
    if (connected.empty()) {
        return S_OK;  // nothing to record: no file is written
    }
    IPin* peer = output_->GetConnected();
    if (peer == nullptr) {
        return VFW_E_NOT_CONNECTED;
    }
    ComPtr<IStream> stream;
    HRESULT hr = peer->QueryInterface(IID_IStream, reinterpret_cast<void**>(stream.GetAddressOf()));
    if (FAILED(hr)) {
        return hr;  // the file can only be written through the writer's stream
    }
    std::vector<TAviStreamSetup> setups;
    std::vector<TStreamRun> runs;
    for (TAviMuxInput* pin : connected) {
        const AM_MEDIA_TYPE& mt = pin->CurrentMediaType();
        TAviStreamSetup setup = SetupOf(mt);
        TStreamRun run;
        run.FrameTimeKnown = setup.Kind != TAviStreamKind::Audio && StatedFrameTime(mt).has_value();
        run.Slots.SetFrameTime(run.FrameTimeKnown ? StatedFrameTime(mt).value_or(0) : 0);
        if (setup.Kind == TAviStreamKind::Audio) {
            run.BytesPerSecond = setup.Rate;
        } else if (setup.Kind == TAviStreamKind::Video && !setup.Uncompressed) {
            // Temporally compressed video tells its key frames; DV and uncompressed frames all are.
            run.Intra = mt.subtype == MEDIASUBTYPE_dvsd || mt.subtype == MEDIASUBTYPE_YUY2 ||
                        mt.subtype == MEDIASUBTYPE_UYVY || mt.subtype == MEDIASUBTYPE_MJPG;
        }
        setups.push_back(std::move(setup));
        runs.push_back(std::move(run));
    }
    TAviWriterOptions options;
    options.LegacyIndex = legacyIndex_;
    options.Interleaved = mode_ != INTERLEAVE_NONE && mode_ != INTERLEAVE_NONE_BUFFERED && setups.size() > 1;
    options.SuperIndexCapacity = kDefaultSuperIndex;
    if (const auto part = TestRecordingSetting(kTestRiffPartValue)) {
        options.PartBytes = std::clamp<std::uint64_t>(*part, kMinTestRiffPart, options.PartBytes);
        options.SuperIndexCapacity = kTestSuperIndex;
    }
    std::lock_guard<std::mutex> lock(writeLock_);
    hr = writer_.Begin(stream.Get(), std::move(setups), options);
    if (FAILED(hr)) {
        return hr;
    }
    runs_ = std::move(runs);
    runMode_ = mode_;
    queue_.Begin(runs_.size());
    checkpointTick_ = GetTickCount64();
    checkpointInterval_ = kFirstCheckpointTime;
    endDelivered_ = false;
    failureReported_ = false;
    for (std::size_t i = 0; i < connected.size(); ++i) {
        connected[i]->Stream = static_cast<int>(i);
    }
    return S_OK;
}

HRESULT TAviMux::Written(HRESULT hr)
{
    // The file writer reports only what it received itself: what failed here, a write through its
    // stream (a short one included) or a limit of the file, is ours to tell, once.
    if (FAILED(hr) && !failureReported_) {
        failureReported_ = true;
        NotifyEvent(EC_ERRORABORT, hr, 0);
    }
    return hr;
}

HRESULT TAviMux::Deliver(int stream, IMediaSample* sample)
{
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data))) {
        return E_POINTER;
    }
    const long length = std::max<long>(sample->GetActualDataLength(), 0);
    REFERENCE_TIME start = 0, stop = 0;
    const bool timed = SUCCEEDED(sample->GetTime(&start, &stop));
    const REFERENCE_TIME clock = runClock_.Now();
    std::lock_guard<std::mutex> lock(writeLock_);
    if (!writer_.Started() || stream >= static_cast<int>(runs_.size())) {
        return VFW_E_WRONG_STATE;
    }
    if (FAILED(writer_.Failure())) {
        return writer_.Failure();
    }
    TStreamRun& run = runs_[static_cast<std::size_t>(stream)];
    // Placed no further than the recording's clock has run: one wild stamp cannot fill the file
    // with empty frames.
    HRESULT hr =
        FillLostPlaces(stream, run, run.Slots.Place(timed, sample->IsDiscontinuity() == S_OK, start, stop, clock));
    if (FAILED(hr)) {
        return Written(hr);
    }
    if (!timed) {
        start = run.NextTime;
    }
    if (run.Samples == 0) {
        run.FirstStart = start;
        run.CheckpointTime = start;
        run.FirstTick = GetTickCount64();
        run.FirstSize = static_cast<std::uint32_t>(length);
    }
    run.LastStart = start;
    ++run.Samples;
    run.Bytes += static_cast<std::uint64_t>(length);
    if (run.BytesPerSecond > 0) {
        run.NextTime =
            filters::AddTime(start, static_cast<REFERENCE_TIME>(length) * kUnitsPerSecond / run.BytesPerSecond);
    } else {
        run.NextTime = timed && stop > start ? stop : filters::AddTime(start, 400000);
    }
    const bool key = run.Intra || sample->IsSyncPoint() == S_OK;
    if (runMode_ != INTERLEAVE_FULL) {
        hr = writer_.Write(stream, data, static_cast<std::uint32_t>(length), key);
    } else {
        TInterleaveQueue::TItem item;
        item.Data.assign(data, data + length);
        item.Time = start;
        item.Key = key;
        queue_.Push(static_cast<std::size_t>(stream), std::move(item));
        hr = WriteQueued(false);
    }
    // Frames reach the file as they come, and its header follows: a recording that never gets to
    // its stop keeps what was written and says how long it is, and a full disk shows at once.
    if (SUCCEEDED(hr) && CheckpointDue(run, start)) {
        hr = Checkpoint();
    }
    return Written(hr);
}

HRESULT TAviMux::FillLostPlaces(int stream, TStreamRun& run, const filters::TFrameSlots::TEmpty& lost)
{
    // As a capture multiplexer does: the place of each picture the source never gave is an empty
    // frame, over which players hold the picture before, so that the later pictures keep their time
    // beside the sound. A freeze's join leaves no time between its pictures.
    for (std::int64_t n = 0; n < lost.Count; ++n) {
        if (runMode_ != INTERLEAVE_FULL) {
            const HRESULT hr = writer_.Write(stream, nullptr, 0, false);
            if (FAILED(hr)) {
                return hr;
            }
        } else {
            TInterleaveQueue::TItem empty;
            empty.Time = lost.At + n * run.Slots.FrameTime();
            empty.Key = false;
            queue_.Push(static_cast<std::size_t>(stream), std::move(empty));
        }
    }
    return S_OK;
}

void TAviMux::HoldLastPictures(REFERENCE_TIME clock)
{
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        const filters::TFrameSlots::TEmpty tail = runs_[i].Slots.End(clock);
        if (SUCCEEDED(writer_.Failure())) {
            Written(FillLostPlaces(static_cast<int>(i), runs_[i], tail));
        }
    }
}

std::optional<REFERENCE_TIME> TAviMux::ShownFrameTime(const TStreamRun& run, TAviStreamKind kind)
{
    if (kind == TAviStreamKind::Interleaved) {
        if (const auto dv = DVFrameTimeOfSize(run.FirstSize)) {
            return dv;  // a DV frame's size says its system
        }
    }
    if (run.Samples >= 2 && run.LastStart > run.FirstStart) {
        return filters::TimeBetween(run.FirstStart, run.LastStart) / static_cast<REFERENCE_TIME>(run.Samples - 1);
    }
    return std::nullopt;
}

bool TAviMux::RateKnown(const TStreamRun& run, int stream) const
{
    const TAviStreamKind kind = writer_.Setup(stream).Kind;
    return kind == TAviStreamKind::Audio || run.FrameTimeKnown || ShownFrameTime(run, kind).has_value();
}

HRESULT TAviMux::Checkpoint()
{
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        const TStreamRun& run = runs_[i];
        const TAviStreamKind kind = writer_.Setup(static_cast<int>(i)).Kind;
        if (kind == TAviStreamKind::Audio || run.FrameTimeKnown) {
            continue;
        }
        if (const auto frameTime = ShownFrameTime(run, kind)) {
            std::uint32_t scale = 0, rate = 0;
            RateOfFrameTime(*frameTime, scale, rate);
            writer_.SetFrameRate(static_cast<int>(i), scale, rate);
        }
    }
    return writer_.Checkpoint();
}

bool TAviMux::CheckpointDue(const TStreamRun& run, REFERENCE_TIME time)
{
    const ULONGLONG now = GetTickCount64();
    const auto interval = static_cast<ULONGLONG>(checkpointInterval_ / 10000);
    bool due =
        filters::TimeBetween(run.CheckpointTime, time) >= checkpointInterval_ || now - checkpointTick_ >= interval;
    for (std::size_t i = 0; i < runs_.size() && !due; ++i) {
        // A stream's first frames are told as soon as their rate is known, or after a second without.
        const TStreamRun& r = runs_[i];
        due = r.Samples > 0 && !r.Told &&
              (RateKnown(r, static_cast<int>(i)) ||
               filters::TimeBetween(r.FirstStart, r.LastStart) >= kCheckpointTime ||
               now - r.FirstTick >= kCheckpointMs);
    }
    if (!due) {
        return false;
    }
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        TStreamRun& r = runs_[i];
        if (r.Samples > 0) {
            r.CheckpointTime = r.LastStart;
            r.Told = r.Told || RateKnown(r, static_cast<int>(i)) ||
                     filters::TimeBetween(r.FirstStart, r.LastStart) >= kCheckpointTime ||
                     now - r.FirstTick >= kCheckpointMs;
        }
    }
    checkpointTick_ = now;
    checkpointInterval_ = std::min(2 * checkpointInterval_, kCheckpointTime);
    return true;
}

HRESULT TAviMux::WriteQueued(bool all)
{
    for (int next = queue_.Next(all); next >= 0; next = queue_.Next(all)) {
        const TInterleaveQueue::TItem item = queue_.Pop(static_cast<std::size_t>(next));
        const HRESULT written =
            writer_.Write(next, item.Data.data(), static_cast<std::uint32_t>(item.Data.size()), item.Key);
        if (FAILED(written)) {
            queue_.Clear();
            return Written(written);
        }
    }
    return S_OK;
}

void TAviMux::StreamEnded(int stream)
{
    const REFERENCE_TIME clock = runClock_.Now();
    {
        std::lock_guard<std::mutex> lock(writeLock_);
        if (stream >= static_cast<int>(runs_.size()) || endDelivered_) {
            return;
        }
        queue_.End(static_cast<std::size_t>(stream));
        if (!queue_.AllEnded()) {
            WriteQueued(false);  // the ended stream no longer holds the others back
            return;
        }
        HoldLastPictures(clock);
        WriteQueued(true);
        Checkpoint();
        endDelivered_ = true;
    }
    if (output_->IsConnected()) {
        output_->DeliverEndOfStream();
    }
}

void TAviMux::FinishFile(REFERENCE_TIME clock)
{
    std::lock_guard<std::mutex> lock(writeLock_);
    if (!writer_.Started()) {
        return;
    }
    HoldLastPictures(clock);
    WriteQueued(true);
    // Frame streams whose format gave no frame time: what the samples showed, else 25 a second.
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        const TStreamRun& run = runs_[i];
        const TAviStreamKind kind = writer_.Setup(static_cast<int>(i)).Kind;
        if (kind == TAviStreamKind::Audio || run.FrameTimeKnown) {
            continue;
        }
        std::uint32_t scale = 0, rate = 0;
        RateOfFrameTime(ShownFrameTime(run, kind).value_or(0), scale, rate);
        writer_.SetFrameRate(static_cast<int>(i), scale, rate);
    }
    // A master sound stream sets the pace: the frames are spread over its length.
    const int master = static_cast<int>(master_);
    if (master >= 0 && master < writer_.StreamCount() &&
        writer_.Setup(master).Kind == TAviStreamKind::Audio && writer_.Length(master) > 0) {
        const TAviStreamSetup& sound = writer_.Setup(master);
        const double seconds = static_cast<double>(writer_.Length(master)) * sound.Scale / sound.Rate;
        for (int i = 0; i < writer_.StreamCount(); ++i) {
            if (i != master && writer_.Setup(i).Kind != TAviStreamKind::Audio && writer_.Length(i) > 0) {
                std::uint32_t scale = 0, rate = 0;
                RateOfFrameTime(static_cast<REFERENCE_TIME>(seconds * kUnitsPerSecond / writer_.Length(i) + 0.5),
                                scale, rate);
                writer_.SetFrameRate(i, scale, rate);
            }
        }
    }
    Written(writer_.Finish());
    runs_.clear();
    for (const auto& pin : allInputs_) {
        pin->Stream = -1;
    }
}

// IConfigInterleaving.

HRESULT TAviMux::InterleavingItf::put_Mode(InterleavingMode mode)
{
    if (mode < INTERLEAVE_NONE || mode > INTERLEAVE_NONE_BUFFERED) {
        return E_INVALIDARG;
    }
    filters::TBCAutoLock lock(*o.Lock());
    if (!o.IsStopped()) {
        return VFW_E_NOT_STOPPED;
    }
    o.mode_ = mode;
    return S_OK;
}

HRESULT TAviMux::InterleavingItf::get_Mode(InterleavingMode* mode)
{
    if (mode == nullptr) {
        return E_POINTER;
    }
    filters::TBCAutoLock lock(*o.Lock());
    *mode = o.mode_;
    return S_OK;
}

HRESULT TAviMux::InterleavingItf::put_Interleaving(const REFERENCE_TIME* interleave, const REFERENCE_TIME* preroll)
{
    if (interleave == nullptr || preroll == nullptr) {
        return E_POINTER;
    }
    if (*interleave <= 0 || *preroll < 0) {
        return E_INVALIDARG;
    }
    filters::TBCAutoLock lock(*o.Lock());
    o.interleave_ = *interleave;
    o.preroll_ = *preroll;
    return S_OK;
}

HRESULT TAviMux::InterleavingItf::get_Interleaving(REFERENCE_TIME* interleave, REFERENCE_TIME* preroll)
{
    if (interleave == nullptr || preroll == nullptr) {
        return E_POINTER;
    }
    filters::TBCAutoLock lock(*o.Lock());
    *interleave = o.interleave_;
    *preroll = o.preroll_;
    return S_OK;
}

// IConfigAviMux.

HRESULT TAviMux::ConfigItf::SetMasterStream(LONG stream)
{
    if (stream < -1) {
        return E_INVALIDARG;
    }
    filters::TBCAutoLock lock(*o.Lock());
    if (!o.IsStopped()) {
        return VFW_E_NOT_STOPPED;
    }
    o.master_ = stream;
    return S_OK;
}

HRESULT TAviMux::ConfigItf::GetMasterStream(LONG* stream)
{
    if (stream == nullptr) {
        return E_POINTER;
    }
    filters::TBCAutoLock lock(*o.Lock());
    *stream = o.master_;
    return S_OK;
}

HRESULT TAviMux::ConfigItf::SetOutputCompatibilityIndex(BOOL oldIndex)
{
    filters::TBCAutoLock lock(*o.Lock());
    if (!o.IsStopped()) {
        return VFW_E_NOT_STOPPED;
    }
    o.legacyIndex_ = oldIndex != FALSE;
    return S_OK;
}

HRESULT TAviMux::ConfigItf::GetOutputCompatibilityIndex(BOOL* oldIndex)
{
    if (oldIndex == nullptr) {
        return E_POINTER;
    }
    filters::TBCAutoLock lock(*o.Lock());
    *oldIndex = o.legacyIndex_ ? TRUE : FALSE;
    return S_OK;
}

const TStandinRegistrar registrar([](filters::TBCFilterTemplate& templates) {
    filters::TBCFilterTemplateEntry entry;
    entry.Name = "AVI Mux";
    entry.FilterClsid = CLSID_AviDest;
    entry.Category = CLSID_LegacyAmFilterCategory;
    entry.Merit = MERIT_DO_NOT_USE;
    entry.Create = [](IUnknown* controller, HRESULT& hr) -> filters::TBCUnknown* {
        const filters::TBCFilterTemplateEntry* self = filters::Templates().GetFactoryFromClassID(CLSID_AviDest);
        if (self == nullptr) {
            hr = E_UNEXPECTED;
            return nullptr;
        }
        return new TAviMux(*self, controller);
    };
    templates.Add(std::move(entry));
});

}  // namespace
}  // namespace standins
