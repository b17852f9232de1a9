#include "platform/standins/audio_capture.h"

#include <audevcod.h>
#include <dshow.h>
#include <mmreg.h>
#include <ocidl.h>
#include <uuids.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <span>
#include <stdexcept>
#include <vector>

#include "platform/standins/live_source.h"
#include "platform/standins/recording_settings.h"
#include "platform/standins/sound_pacer.h"
#include "platform/standins/standins_dll.h"
#include "platform/standins/wave_in_mixer.h"
#include "platform/standins/wave_in_reader.h"

namespace standins {

DWORD AudioCaptureUnitFrames(DWORD rate)
{
    if (rate % 100 == 0) return rate / 100;
    if (rate % 50 == 0) return rate / 50;
    return std::max<DWORD>(rate / 25, 1);
}

namespace {

constexpr int kDefaultBuffers = 8;

void BuildType(const TWaveLayout& layout, AM_MEDIA_TYPE& m)
{
    m.majortype = MEDIATYPE_Audio;
    m.subtype = MEDIASUBTYPE_PCM;
    m.formattype = FORMAT_WaveFormatEx;
    m.bFixedSizeSamples = TRUE;
    m.bTemporalCompression = FALSE;
    m.lSampleSize = layout.BlockAlign();
    auto* wf = reinterpret_cast<WAVEFORMATEX*>(AllocFormat(m, sizeof(WAVEFORMATEX)));
    if (wf == nullptr) {
        throw std::bad_alloc();
    }
    *wf = layout.Format();
}

// The PCM layout a media type describes (the block may be the 16-byte PCM header), or false.
bool LayoutOf(const AM_MEDIA_TYPE& m, TWaveLayout& layout)
{
    if (m.majortype != MEDIATYPE_Audio || m.subtype != MEDIASUBTYPE_PCM || m.formattype != FORMAT_WaveFormatEx ||
        m.pbFormat == nullptr || m.cbFormat < sizeof(PCMWAVEFORMAT)) {
        return false;
    }
    PCMWAVEFORMAT wf{};
    std::memcpy(&wf, m.pbFormat, sizeof(wf));
    layout.Rate = wf.wf.nSamplesPerSec;
    layout.Channels = wf.wf.nChannels;
    layout.Bits = wf.wBitsPerSample;
    return wf.wf.wFormatTag == WAVE_FORMAT_PCM && layout.Rate > 0 && layout.Channels > 0 &&
           (layout.Bits == 8 || layout.Bits == 16) && wf.wf.nBlockAlign == layout.BlockAlign() &&
           wf.wf.nAvgBytesPerSec == layout.Rate * layout.BlockAlign();
}

class TAudioCaptureFilter;

// IAMAudioInputMixer of one mixer line (-1: the whole input), on the filter or on a line's pin.
struct TMixerItf : IAMAudioInputMixer {
    TMixerItf(filters::TBCUnknown& owner, TAudioCaptureFilter& filter, int line) : o(owner), f(filter), l(line) {}
    QUILL_DELEGATING_UNKNOWN(o)
    HRESULT WINAPI put_Enable(WINBOOL enable) override;
    HRESULT WINAPI get_Enable(WINBOOL* enable) override;
    HRESULT WINAPI put_Mono(WINBOOL) override { return E_NOTIMPL; }
    HRESULT WINAPI get_Mono(WINBOOL*) override { return E_NOTIMPL; }
    HRESULT WINAPI put_MixLevel(double level) override;
    HRESULT WINAPI get_MixLevel(double* level) override;
    HRESULT WINAPI put_Pan(double) override { return E_NOTIMPL; }
    HRESULT WINAPI get_Pan(double*) override { return E_NOTIMPL; }
    HRESULT WINAPI put_Loudness(WINBOOL) override { return E_NOTIMPL; }
    HRESULT WINAPI get_Loudness(WINBOOL*) override { return E_NOTIMPL; }
    HRESULT WINAPI put_Treble(double) override { return E_NOTIMPL; }
    HRESULT WINAPI get_Treble(double*) override { return E_NOTIMPL; }
    HRESULT WINAPI get_TrebleRange(double*) override { return E_NOTIMPL; }
    HRESULT WINAPI put_Bass(double) override { return E_NOTIMPL; }
    HRESULT WINAPI get_Bass(double*) override { return E_NOTIMPL; }
    HRESULT WINAPI get_BassRange(double*) override { return E_NOTIMPL; }
    filters::TBCUnknown& o;
    TAudioCaptureFilter& f;
    int l;
};

// One input of the sound input (a mixer line): never connected, it carries the line's name and
// its mixer controls.
class TLinePin : public filters::TBCBaseInputPin {
public:
    TLinePin(TAudioCaptureFilter* filter, filters::TBCCritSec* lock, HRESULT& hr, std::wstring name, int line);
    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override
    {
        if (iid == IID_IAMAudioInputMixer) return GetInterface(&mixerItf_, obj);
        return TBCBaseInputPin::NonDelegatingQueryInterface(iid, obj);
    }
    HRESULT CheckMediaType(const AM_MEDIA_TYPE*) override { return VFW_E_TYPE_NOT_ACCEPTED; }

private:
    TMixerItf mixerItf_;
};

class TCapturePin : public TLiveOutputPin {
public:
    TCapturePin(TAudioCaptureFilter* filter, HRESULT& hr);

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override
    {
        if (iid == IID_IAMBufferNegotiation) return GetInterface(&negotiationItf_, obj);
        return TLiveOutputPin::NonDelegatingQueryInterface(iid, obj);
    }
    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override;
    HRESULT Active() override;
    HRESULT Inactive() override;

    HRESULT SuggestAllocatorProperties(const ALLOCATOR_PROPERTIES* props);
    HRESULT GetAllocatorProperties(ALLOCATOR_PROPERTIES* props);

protected:
    int CapabilityCount() const override;
    int CapabilitySize() const override { return sizeof(AUDIO_STREAM_CONFIG_CAPS); }
    void BuildCapability(int index, AM_MEDIA_TYPE& m, BYTE* caps) const override;
    bool Canonical(const AM_MEDIA_TYPE& request, AM_MEDIA_TYPE& out) const override;
    REFERENCE_TIME UnitDuration() const override;
    bool DeliversAtUnitEnd() const override { return true; }
    // A stream that falls behind catches up from what the input recorded meanwhile.
    bool SkipsLateUnits() const override { return false; }
    HRESULT FillUnit(IMediaSample* sample, LONGLONG unit) override;
    bool FilledUnitFollowsGap() const override { return gap_; }

private:
    struct NegotiationItf : IAMBufferNegotiation {
        explicit NegotiationItf(TCapturePin& p) : o(p) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE SuggestAllocatorProperties(const ALLOCATOR_PROPERTIES* props) override
        {
            return filters::ComGuard([&] { return o.SuggestAllocatorProperties(props); });
        }
        HRESULT STDMETHODCALLTYPE GetAllocatorProperties(ALLOCATOR_PROPERTIES* props) override
        {
            return filters::ComGuard([&] { return o.GetAllocatorProperties(props); });
        }
        TCapturePin& o;
    };

    TAudioCaptureFilter* capture_;
    NegotiationItf negotiationItf_;
    // Suggested through IAMBufferNegotiation (filter lock); negative members were not suggested.
    ALLOCATOR_PROPERTIES suggested_{-1, -1, -1, -1};
    // The connection's layout and buffer length, set by DecideBufferSize and read by the streaming
    // thread, which starts after it.
    TWaveLayout layout_;
    DWORD unitFrames_ = 0;
    // The streaming thread's (made before it starts): the unit it filled last (-1: none since the
    // pin became active), whether that unit follows lost sound, what keeps the units on the graph
    // clock, and room for the recorded frames of a unit that is stretched or squeezed.
    LONGLONG lastUnit_ = -1;
    bool gap_ = false;
    std::unique_ptr<TSoundPacer> pacer_;
    std::vector<BYTE> scratch_;
    // Silence put in for sound the input never gave, not told yet, and whether a test keeps a list
    // of it (set before the streaming thread starts).
    std::int64_t silent_ = 0;
    bool tellsLosses_ = false;
    void TellSilence();
    std::atomic<bool> stopping_{false};
    TWaveInReader reader_;
};

class TAudioCaptureFilter : public TLiveSourceFilter {
public:
    explicit TAudioCaptureFilter(IUnknown* owner)
        : TLiveSourceFilter("Audio Capture Filter", owner, CLSID_AudioRecord),
          persistItf_(*this),
          mixerItf_(*this, *this, -1)
    {
        HRESULT hr = S_OK;
        SetPin(std::make_unique<TCapturePin>(this, hr));
    }

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override
    {
        if (iid == IID_IPersistPropertyBag || iid == IID_IPersist) return GetInterface(&persistItf_, obj);
        if (iid == IID_IAMAudioInputMixer) return GetInterface(&mixerItf_, obj);
        return TLiveSourceFilter::NonDelegatingQueryInterface(iid, obj);
    }

    int GetPinCount() override
    {
        filters::TBCAutoLock lock(*Lock());
        Prepare();
        return 1 + static_cast<int>(lines_.size());
    }
    filters::TBCBasePin* GetPin(int n) override
    {
        filters::TBCAutoLock lock(*Lock());
        Prepare();
        if (n == 0) return LivePin();
        return n > 0 && n <= static_cast<int>(lines_.size()) ? lines_[static_cast<size_t>(n - 1)].get() : nullptr;
    }

    HRESULT Stop() override
    {
        filters::TBCAutoLock lock(*Lock());
        openFailureTold_ = false;
        return TLiveSourceFilter::Stop();
    }

    // The input could not be opened (the waveIn error result; the start is answered answer): the
    // graph is told through its events, once until the filter stops. A graph may keep another
    // filter's answer to its start and drop this one, and it asks again when it runs: the events
    // reach the application all the same, and only once.
    void TellOpenFailure(MMRESULT result, HRESULT answer)
    {
        filters::TBCAutoLock lock(*Lock());
        if (openFailureTold_) return;
        openFailureTold_ = true;
        NotifyEvent(EC_SNDDEV_IN_ERROR, SNDDEV_ERROR_Open, static_cast<LONG_PTR>(result));
        NotifyEvent(EC_ERRORABORT, answer, 0);
    }

    UINT Device() const { return device_; }
    // The input's layouts, asked for the first time after the moniker's properties are loaded.
    const std::vector<TWaveLayout>& Layouts()
    {
        filters::TBCAutoLock lock(*Lock());
        Prepare();
        return layouts_;
    }
    // Runs f on the mixer under the filter lock; E_FAIL without one.
    template <typename F>
    HRESULT WithMixer(F&& f)
    {
        filters::TBCAutoLock lock(*Lock());
        Prepare();
        return mixer_ ? f(*mixer_) : E_FAIL;
    }

    HRESULT Load(IPropertyBag* bag)
    {
        if (bag == nullptr) return E_POINTER;
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_I4;
        HRESULT hr = bag->Read(kWaveInIdProperty, &v, nullptr);
        if (FAILED(hr)) return hr;
        if (v.vt != VT_I4 && FAILED(VariantChangeType(&v, &v, 0, VT_I4))) {
            VariantClear(&v);
            return E_INVALIDARG;
        }
        const LONG id = v.lVal;
        VariantClear(&v);
        filters::TBCAutoLock lock(*Lock());
        // The pins and formats follow the input: it is chosen once, before they are made.
        if (prepared_) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
        if (id < 0 || static_cast<UINT>(id) >= waveInGetNumDevs()) return E_INVALIDARG;
        device_ = static_cast<UINT>(id);
        Prepare();
        return S_OK;
    }

private:
    struct PersistItf : IPersistPropertyBag {
        explicit PersistItf(TAudioCaptureFilter& f) : o(f) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override
        {
            if (clsid == nullptr) return E_POINTER;
            *clsid = CLSID_AudioRecord;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE InitNew() override { return S_OK; }
        HRESULT STDMETHODCALLTYPE Load(IPropertyBag* bag, IErrorLog*) override
        {
            return filters::ComGuard([&] { return o.Load(bag); });
        }
        HRESULT STDMETHODCALLTYPE Save(IPropertyBag*, BOOL, BOOL) override { return E_NOTIMPL; }
        TAudioCaptureFilter& o;
    };

    // Filter lock held.
    void Prepare()
    {
        if (prepared_) return;
        prepared_ = true;
        // Called from COM methods that answer counts and pins, not codes: a filter that could not
        // be prepared shows its capture pin alone, with no formats.
        try {
            layouts_ = WaveInLayouts(device_);
            mixer_ = std::make_unique<TWaveInMixer>(device_);
            for (int line = 0; line < mixer_->LineCount(); ++line) {
                HRESULT hr = S_OK;
                lines_.push_back(std::make_unique<TLinePin>(this, Lock(), hr, mixer_->LineName(line), line));
            }
        } catch (...) {
            layouts_.clear();
            lines_.clear();
            mixer_.reset();
        }
    }

    PersistItf persistItf_;
    TMixerItf mixerItf_;
    // Filter lock. Without a moniker the filter records from the system's chosen input.
    UINT device_ = WAVE_MAPPER;
    bool prepared_ = false;
    bool openFailureTold_ = false;
    std::vector<TWaveLayout> layouts_;
    std::unique_ptr<TWaveInMixer> mixer_;
    std::vector<std::unique_ptr<TLinePin>> lines_;
};

// Mixer interface.

HRESULT WINAPI TMixerItf::put_Enable(WINBOOL enable)
{
    return filters::ComGuard([&] { return f.WithMixer([&](TWaveInMixer& m) { return m.Enable(l, enable != FALSE); }); });
}
HRESULT WINAPI TMixerItf::get_Enable(WINBOOL* enable)
{
    if (enable == nullptr) return E_POINTER;
    return filters::ComGuard([&] {
        return f.WithMixer([&](TWaveInMixer& m) {
            bool on = false;
            HRESULT hr = m.Enabled(l, on);
            if (SUCCEEDED(hr)) *enable = on ? TRUE : FALSE;
            return hr;
        });
    });
}
HRESULT WINAPI TMixerItf::put_MixLevel(double level)
{
    return filters::ComGuard([&] { return f.WithMixer([&](TWaveInMixer& m) { return m.SetLevel(l, level); }); });
}
HRESULT WINAPI TMixerItf::get_MixLevel(double* level)
{
    if (level == nullptr) return E_POINTER;
    return filters::ComGuard([&] { return f.WithMixer([&](TWaveInMixer& m) { return m.Level(l, *level); }); });
}

TLinePin::TLinePin(TAudioCaptureFilter* filter, filters::TBCCritSec* lock, HRESULT& hr, std::wstring name, int line)
    : TBCBaseInputPin("Audio capture input line", filter, lock, hr, std::move(name)), mixerItf_(*this, *filter, line)
{
}

// Capture pin.

TCapturePin::TCapturePin(TAudioCaptureFilter* filter, HRESULT& hr)
    : TLiveOutputPin("Audio capture pin", filter, hr, kAudioCapturePinName), capture_(filter), negotiationItf_(*this)
{
}

int TCapturePin::CapabilityCount() const
{
    return static_cast<int>(capture_->Layouts().size());
}

void TCapturePin::BuildCapability(int index, AM_MEDIA_TYPE& m, BYTE* caps) const
{
    const std::vector<TWaveLayout>& layouts = capture_->Layouts();
    if (index < 0 || index >= static_cast<int>(layouts.size())) {
        throw std::out_of_range("capability");
    }
    const TWaveLayout& layout = layouts[static_cast<size_t>(index)];
    BuildType(layout, m);
    if (caps == nullptr) {
        return;
    }
    AUDIO_STREAM_CONFIG_CAPS c{};
    c.guid = MEDIATYPE_Audio;
    c.MinimumChannels = c.MaximumChannels = layout.Channels;
    c.ChannelsGranularity = 1;
    c.MinimumBitsPerSample = c.MaximumBitsPerSample = layout.Bits;
    c.BitsPerSampleGranularity = 8;
    c.MinimumSampleFrequency = c.MaximumSampleFrequency = layout.Rate;
    c.SampleFrequencyGranularity = 1;
    std::memcpy(caps, &c, sizeof(c));
}

bool TCapturePin::Canonical(const AM_MEDIA_TYPE& request, AM_MEDIA_TYPE& out) const
{
    TWaveLayout wanted;
    if (!LayoutOf(request, wanted)) {
        return false;
    }
    for (const TWaveLayout& layout : capture_->Layouts()) {
        if (layout.Rate == wanted.Rate && layout.Channels == wanted.Channels && layout.Bits == wanted.Bits) {
            BuildType(layout, out);
            return true;
        }
    }
    return false;
}

HRESULT TCapturePin::DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props)
{
    TWaveLayout wanted;
    if (!LayoutOf(CurrentMediaType(), wanted)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    const std::vector<TWaveLayout>& layouts = capture_->Layouts();
    const auto at = std::find_if(layouts.begin(), layouts.end(), [&](const TWaveLayout& l) {
        return l.Rate == wanted.Rate && l.Channels == wanted.Channels && l.Bits == wanted.Bits;
    });
    if (at == layouts.end()) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    const DWORD base = AudioCaptureUnitFrames(at->Rate);
    DWORD frames = base;
    long buffers = kDefaultBuffers;
    {
        filters::TBCAutoLock lock(*Filter()->Lock());
        if (suggested_.cbBuffer > 0) {
            // Whole units, at least one and at most a second's worth.
            const DWORD asked = static_cast<DWORD>(suggested_.cbBuffer) / at->BlockAlign();
            frames = std::clamp<DWORD>((asked + base / 2) / base, 1, std::max<DWORD>(at->Rate / base, 1)) * base;
        }
        if (suggested_.cBuffers > 0) {
            buffers = suggested_.cBuffers;
        }
    }
    const long needed = static_cast<long>(frames * at->BlockAlign());
    props->cBuffers = std::max<long>(props->cBuffers, buffers);
    props->cbBuffer = std::max<long>(props->cbBuffer, needed);
    props->cbAlign = std::max<long>(props->cbAlign, 1);
    ALLOCATOR_PROPERTIES actual{};
    HRESULT hr = alloc->SetProperties(props, &actual);
    if (FAILED(hr)) {
        return hr;
    }
    if (actual.cbBuffer < needed || actual.cBuffers < 1) {
        return E_FAIL;
    }
    layout_ = *at;
    unitFrames_ = frames;
    return S_OK;
}

REFERENCE_TIME TCapturePin::UnitDuration() const
{
    // Never 0 (the streaming thread divides by it), also before any connection has been made.
    if (unitFrames_ == 0 || layout_.Rate == 0) return 100000;
    return static_cast<REFERENCE_TIME>(unitFrames_) * 10000000 / layout_.Rate;
}

namespace {

// The test setting "Sound inputs busy" at a stream's start: 1 finds the input taken at every start,
// a larger N lets N - 1 starts through first, counted from when the value was set.
bool TestInputBusy()
{
    static std::mutex lock;
    static std::uint64_t seen = 0;
    static std::uint64_t starts = 0;
    const std::uint64_t value = TestRecordingSetting(kTestSoundInputsBusyValue).value_or(0);
    std::lock_guard<std::mutex> guard(lock);
    if (value != seen) {
        seen = value;
        starts = 0;
    }
    ++starts;
    return value != 0 && starts >= value;
}

}  // namespace

HRESULT TCapturePin::Active()
{
    if (!IsConnected() || unitFrames_ == 0) {
        return TLiveOutputPin::Active();
    }
    stopping_ = false;
    lastUnit_ = -1;
    gap_ = false;
    silent_ = 0;
    tellsLosses_ = TestRecordingListKept(kTestSoundLostValue);
    // Recording starts with the pause, so the first buffers are there when the graph runs.
    MMRESULT opened = MMSYSERR_NOMEM;
    try {
        // The input's buffers are as long as the units.
        pacer_ = std::make_unique<TSoundPacer>(layout_.Rate, unitFrames_, unitFrames_);
        scratch_.assign(2 * static_cast<size_t>(unitFrames_) * layout_.BlockAlign(), 0);
        opened = TestInputBusy() ? MMSYSERR_ALLOCATED
                                 : reader_.Open(capture_->Device(), layout_, unitFrames_ * layout_.BlockAlign());
    } catch (...) {
        reader_.Close();
        return E_OUTOFMEMORY;
    }
    if (opened != MMSYSERR_NOERROR) {
        const HRESULT hr = opened == MMSYSERR_ALLOCATED ? HRESULT_FROM_WIN32(ERROR_BUSY) : VFW_E_NO_AUDIO_HARDWARE;
        capture_->TellOpenFailure(opened, hr);
        return hr;
    }
    HRESULT hr = TLiveOutputPin::Active();
    if (FAILED(hr)) {
        reader_.Close();
    }
    return hr;
}

HRESULT TCapturePin::Inactive()
{
    stopping_ = true;
    reader_.Wake();
    HRESULT hr = TLiveOutputPin::Inactive();  // the streaming thread has ended when it returns
    reader_.Close();
    TellSilence();
    return hr;
}

void TCapturePin::TellSilence()
{
    if (silent_ > 0 && tellsLosses_ && layout_.Rate > 0) {
        const std::int64_t length = silent_ * 10000000 / layout_.Rate;
        AddToTestRecordingList(kTestSoundLostValue, std::span<const std::int64_t>(&length, 1));
    }
    silent_ = 0;
}

HRESULT TCapturePin::FillUnit(IMediaSample* sample, LONGLONG unit)
{
    const size_t block = layout_.BlockAlign();
    const size_t bytes = static_cast<size_t>(unitFrames_) * block;
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || data == nullptr || static_cast<size_t>(sample->GetSize()) < bytes) {
        return VFW_E_BUFFER_OVERFLOW;
    }
    if (unit != lastUnit_ + 1 || lastUnit_ < 0) {
        pacer_->Restart();
    }
    lastUnit_ = unit;
    REFERENCE_TIME now = (unit + 1) * UnitDuration();
    capture_->RunningStreamTime(now);
    const TUnitPlan plan = pacer_->Plan(unit, now, reader_.Available() / block, reader_.TakeLost() / block);
    reader_.Skip(plan.Skip * block);
    const BYTE silence = layout_.Bits == 8 ? 0x80 : 0;
    std::memset(data, silence, plan.Silence * block);
    BYTE* rest = data + plan.Silence * block;
    const size_t restFrames = unitFrames_ - plan.Silence;
    // Recorded frames to stretch or squeeze over the rest of the unit go through the scratch room.
    const size_t take = std::min(plan.Take, scratch_.size() / block);
    BYTE* into = take == restFrames ? rest : scratch_.data();
    const size_t wanted = take * block;
    size_t got = 0;
    const std::chrono::milliseconds quietLimit(kSoundInputPatience / 10000);
    if (wanted > 0) {
        const REFERENCE_TIME left = std::max<REFERENCE_TIME>(pacer_->Deadline(unit) - now, 0);
        got = reader_.Read(into, wanted, stopping_, std::chrono::milliseconds(left / 10000), quietLimit);
    }
    if (got < wanted) {
        // The graph is told which device failed; the abort follows from the streaming thread. An
        // input that stopped giving sound without a word (its sound server gone: Wine's waveIn
        // then keeps every buffer and reports nothing) has failed too, however long its buffers
        // would have been kept.
        if (reader_.Failed() && !stopping_.load()) {
            capture_->NotifyEvent(EC_SNDDEV_IN_ERROR, SNDDEV_ERROR_AddBuffer, static_cast<LONG_PTR>(reader_.Failure()));
            return VFW_E_NO_AUDIO_HARDWARE;
        }
        if (reader_.Quiet() >= quietLimit && !stopping_.load()) {
            // The position it records at stopped moving; Wine answers a new open of such an input
            // with the same error.
            capture_->NotifyEvent(EC_SNDDEV_IN_ERROR, SNDDEV_ERROR_GetPosition, static_cast<LONG_PTR>(MMSYSERR_ERROR));
            return VFW_E_NO_AUDIO_HARDWARE;
        }
        // An input that gives too little (or a stop): the unit ends in silence rather than short
        // or late.
        std::memset(into + got, silence, wanted - got);
    }
    if (into != rest) {
        StretchPcm(into, take, rest, restFrames, layout_.Channels, layout_.Bits);
    }
    gap_ = plan.Gap || (got < wanted && !stopping_.load());
    // A stretch of silence for sound that never came is told once it ends.
    const std::size_t missing = plan.Silence + (stopping_.load() ? 0 : (wanted - got) / block);
    if (missing > 0) {
        silent_ += static_cast<std::int64_t>(missing);
    } else {
        TellSilence();
    }
    return sample->SetActualDataLength(static_cast<long>(bytes));
}

HRESULT TCapturePin::SuggestAllocatorProperties(const ALLOCATOR_PROPERTIES* props)
{
    if (props == nullptr) return E_POINTER;
    filters::TBCAutoLock lock(*Filter()->Lock());
    if (IsConnected()) return VFW_E_ALREADY_CONNECTED;
    suggested_ = *props;
    return S_OK;
}

HRESULT TCapturePin::GetAllocatorProperties(ALLOCATOR_PROPERTIES* props)
{
    if (props == nullptr) return E_POINTER;
    filters::TBCAutoLock lock(*Filter()->Lock());
    if (!IsConnected() || Allocator() == nullptr) return VFW_E_NOT_CONNECTED;
    return Allocator()->GetProperties(props);
}

// Registered as a plain COM server under the stock class id: the system's device enumerator lists
// the inputs in the audio input category itself, each moniker naming this class.
const TStandinRegistrar registrar([](filters::TBCFilterTemplate& templates) {
    filters::TBCFilterTemplateEntry entry;
    entry.Name = "Audio Capture Filter";
    entry.FilterClsid = CLSID_AudioRecord;
    entry.Category = GUID_NULL;
    entry.Create = [](IUnknown* controller, HRESULT&) -> filters::TBCUnknown* {
        return new TAudioCaptureFilter(controller);
    };
    templates.Add(std::move(entry));
});

}  // namespace
}  // namespace standins
