#include "platform/standins/sound_renderer.h"

#include <windows.h>
#include <dshow.h>
#include <mmreg.h>
#include <mmsystem.h>
#include <uuids.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "filters/base_io_pins.h"
#include "platform/standins/advise_clock.h"
#include "platform/standins/standins_dll.h"

using filters::ComGuard;  // the delegating IUnknown stubs call it unqualified

namespace standins {

namespace {

// The PCM layout a connection type describes, or false when the renderer cannot play it (another
// type or coding, a short or malformed format block, values that do not agree).
bool PcmFormat(const AM_MEDIA_TYPE& m, WAVEFORMATEX& wf)
{
    if (m.majortype != MEDIATYPE_Audio || m.subtype != MEDIASUBTYPE_PCM || m.formattype != FORMAT_WaveFormatEx ||
        m.pbFormat == nullptr || m.cbFormat < sizeof(PCMWAVEFORMAT)) {
        return false;
    }
    PCMWAVEFORMAT pcm{};
    std::memcpy(&pcm, m.pbFormat, sizeof(pcm));
    const WORD bits = pcm.wBitsPerSample;
    const WORD channels = pcm.wf.nChannels;
    if (pcm.wf.wFormatTag != WAVE_FORMAT_PCM || channels < 1 || channels > 8 ||
        (bits != 8 && bits != 16 && bits != 24 && bits != 32) || pcm.wf.nBlockAlign != channels * bits / 8 ||
        pcm.wf.nSamplesPerSec < 1000 || pcm.wf.nSamplesPerSec > 384000 ||
        pcm.wf.nAvgBytesPerSec != pcm.wf.nSamplesPerSec * pcm.wf.nBlockAlign) {
        return false;
    }
    wf = WAVEFORMATEX{};
    wf.wFormatTag = WAVE_FORMAT_PCM;
    wf.nChannels = channels;
    wf.nSamplesPerSec = pcm.wf.nSamplesPerSec;
    wf.nAvgBytesPerSec = pcm.wf.nAvgBytesPerSec;
    wf.nBlockAlign = pcm.wf.nBlockAlign;
    wf.wBitsPerSample = bits;
    return true;
}

// waveOut's channel volume (0 to 0xFFFF) for an attenuation in hundredths of a decibel.
WORD ChannelVolume(long attenuation)
{
    if (attenuation <= -10000) {
        return 0;  // the bottom of the scale is silence
    }
    return static_cast<WORD>(std::lround(0xFFFF * std::pow(10.0, attenuation / 2000.0)));
}

class TSoundRenderer;

class TSoundInput : public filters::TBCBaseInputPin {
public:
    TSoundInput(TSoundRenderer* renderer, HRESULT& hr);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* mt) override;
    HRESULT Receive(IMediaSample* sample) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    // An upstream filter that never named its allocator here (Wine's sample grabber) is no
    // failure of the stop.
    HRESULT Inactive() override { return Allocator() != nullptr ? TBCBaseInputPin::Inactive() : TBCBasePin::Inactive(); }

private:
    TSoundRenderer* renderer_;
};

class TSoundRenderer : public filters::TBCBaseFilter {
public:
    TSoundRenderer(const filters::TBCFilterTemplateEntry& entry, IUnknown* controller);
    ~TSoundRenderer() override;

    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override;
    int GetPinCount() override { return 1; }
    filters::TBCBasePin* GetPin(int n) override { return n == 0 ? input_.get() : nullptr; }
    HRESULT Stop() override;
    HRESULT Pause() override;
    HRESULT Run(REFERENCE_TIME tStart) override;

    // The streaming thread's part: queues the bytes at the device (or drops them, see the header).
    void Play(const BYTE* data, long size);
    // The connection's type changed in the stream: the device is opened again in the new format.
    HRESULT Reopen(const AM_MEDIA_TYPE& type);
    // Drops what is queued (a flush).
    void Discard();
    // The stream ended: what is queued plays however little it is.
    void PlayRest();

private:
    // One buffer handed to the device; it comes back when the device marks it done.
    struct Block {
        WAVEHDR header{};
        std::vector<char> data;
        bool queued = false;
    };

    // Device routines, playLock_ held.
    HRESULT OpenLocked(const AM_MEDIA_TYPE& type);
    void CloseLocked();
    void ReclaimLocked();
    void ApplyVolumeLocked();
    // Paused as the filter is, or playing once it runs and the cushion is queued (or force).
    void FollowStateLocked(bool force = false);

    // Volume or balance := value when it lies on its scale (E_INVALIDARG otherwise).
    HRESULT SetLevel(std::atomic<long>& level, long value, long lowest, long highest);

    struct AudioItf : IBasicAudio {
        explicit AudioItf(TSoundRenderer& r) : o(r) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override
        {
            if (count == nullptr) {
                return E_POINTER;
            }
            *count = 0;
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
        HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                         UINT*) override
        {
            return E_NOTIMPL;
        }
        HRESULT STDMETHODCALLTYPE put_Volume(long volume) override { return o.SetLevel(o.volume_, volume, -10000, 0); }
        HRESULT STDMETHODCALLTYPE get_Volume(long* volume) override
        {
            return volume == nullptr ? E_POINTER : (*volume = o.volume_.load(), S_OK);
        }
        HRESULT STDMETHODCALLTYPE put_Balance(long balance) override
        {
            return o.SetLevel(o.balance_, balance, -10000, 10000);
        }
        HRESULT STDMETHODCALLTYPE get_Balance(long* balance) override
        {
            return balance == nullptr ? E_POINTER : (*balance = o.balance_.load(), S_OK);
        }
        TSoundRenderer& o;
    };
    struct ClockItf : IReferenceClock {
        explicit ClockItf(TSoundRenderer& r) : o(r) {}
        QUILL_DELEGATING_UNKNOWN(o)
        HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* time) override { return o.clock_.GetTime(time); }
        HRESULT STDMETHODCALLTYPE AdviseTime(REFERENCE_TIME base, REFERENCE_TIME offset, HEVENT event,
                                             DWORD_PTR* cookie) override
        {
            return ComGuard([&] { return o.clock_.AdviseTime(base, offset, event, cookie); });
        }
        HRESULT STDMETHODCALLTYPE AdvisePeriodic(REFERENCE_TIME start, REFERENCE_TIME period, HSEMAPHORE semaphore,
                                                 DWORD_PTR* cookie) override
        {
            return ComGuard([&] { return o.clock_.AdvisePeriodic(start, period, semaphore, cookie); });
        }
        HRESULT STDMETHODCALLTYPE Unadvise(DWORD_PTR cookie) override { return o.clock_.Unadvise(cookie); }
        TSoundRenderer& o;
    };
    struct FlagsItf : IAMFilterMiscFlags {
        explicit FlagsItf(TSoundRenderer& r) : o(r) {}
        QUILL_DELEGATING_UNKNOWN(o)
        // A renderer: the graph waits for its end of stream before it reports completion.
        ULONG STDMETHODCALLTYPE GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }
        TSoundRenderer& o;
    };

    AudioItf audioItf_{*this};
    ClockItf clockItf_{*this};
    FlagsItf flagsItf_{*this};
    TAdviseClock clock_;
    std::unique_ptr<TSoundInput> input_;

    // In hundredths of a decibel, as IBasicAudio gives them (any thread).
    std::atomic<long> volume_{0};
    std::atomic<long> balance_{0};

    // The device and its buffers: the streaming thread plays while the filter's thread starts and
    // stops, so they have a lock of their own (the filter lock is held while a stop waits).
    std::mutex playLock_;
    HWAVEOUT device_ = nullptr;
    bool playing_ = false;
    DWORD bytesPerSecond_ = 0;
    long long queuedBytes_ = 0;
    std::vector<std::unique_ptr<Block>> blocks_;
};

// Input pin.

TSoundInput::TSoundInput(TSoundRenderer* renderer, HRESULT& hr)
    : TBCBaseInputPin("Sound renderer input", renderer, renderer->Lock(), hr, kSoundRendererPinName),
      renderer_(renderer)
{
}

HRESULT TSoundInput::CheckMediaType(const AM_MEDIA_TYPE* mt)
{
    if (mt == nullptr) {
        return E_POINTER;
    }
    WAVEFORMATEX wf{};
    if (!PcmFormat(*mt, wf)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    // The device must take it too (no device at all refuses every type).
    return waveOutOpen(nullptr, WAVE_MAPPER, &wf, 0, 0, WAVE_FORMAT_QUERY) == MMSYSERR_NOERROR
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TSoundInput::Receive(IMediaSample* sample)
{
    HRESULT hr = TBCBaseInputPin::Receive(sample);
    if (hr != S_OK) {
        return hr;
    }
    const AM_SAMPLE2_PROPERTIES& props = SampleProps();
    if ((props.dwSampleFlags & AM_SAMPLE_TYPECHANGED) != 0 && props.pMediaType != nullptr) {
        // The filter lock before the device's, as a stop takes them.
        filters::TBCAutoLock lock(*Lock());
        SetMediaType(props.pMediaType);  // the connection's type from now on, the next start's too
        hr = renderer_->Reopen(*props.pMediaType);
        if (FAILED(hr)) {
            return hr;
        }
    }
    if ((props.dwSampleFlags & AM_SAMPLE_PREROLL) == 0 && props.pbBuffer != nullptr) {
        renderer_->Play(props.pbBuffer, props.lActual);
    }
    return S_OK;
}

HRESULT TSoundInput::EndOfStream()
{
    HRESULT hr = CheckStreaming();
    if (hr != S_OK) {
        return hr;
    }
    renderer_->PlayRest();
    return renderer_->NotifyEvent(EC_COMPLETE, S_OK, 0);
}

HRESULT TSoundInput::BeginFlush()
{
    HRESULT hr = TBCBaseInputPin::BeginFlush();
    renderer_->Discard();
    return hr;
}

// Filter.

TSoundRenderer::TSoundRenderer(const filters::TBCFilterTemplateEntry& entry, IUnknown* controller)
    : TBCBaseFilter(entry, controller)
{
    HRESULT hr = S_OK;
    input_ = std::make_unique<TSoundInput>(this, hr);
}

TSoundRenderer::~TSoundRenderer()
{
    std::lock_guard<std::mutex> guard(playLock_);
    CloseLocked();
}

HRESULT TSoundRenderer::NonDelegatingQueryInterface(REFIID iid, void** obj)
{
    if (iid == IID_IBasicAudio) {
        return GetInterface(&audioItf_, obj);
    }
    if (iid == IID_IReferenceClock) {
        return GetInterface(&clockItf_, obj);
    }
    if (iid == IID_IAMFilterMiscFlags) {
        return GetInterface(&flagsItf_, obj);
    }
    return TBCBaseFilter::NonDelegatingQueryInterface(iid, obj);
}

HRESULT TSoundRenderer::Pause()
{
    filters::TBCAutoLock lock(*Lock());
    const bool starting = IsStopped();
    HRESULT hr = TBCBaseFilter::Pause();
    if (FAILED(hr)) {
        return hr;
    }
    {
        std::lock_guard<std::mutex> guard(playLock_);
        if (starting && input_->IsConnected()) {
            hr = OpenLocked(input_->CurrentMediaType());
        }
        FollowStateLocked();
    }
    if (FAILED(hr)) {
        TBCBaseFilter::Stop();  // no sound device: the start fails with that reason
    }
    return hr;
}

HRESULT TSoundRenderer::Run(REFERENCE_TIME tStart)
{
    filters::TBCAutoLock lock(*Lock());
    HRESULT hr = TBCBaseFilter::Run(tStart);  // pauses first when stopped
    if (FAILED(hr)) {
        return hr;
    }
    std::lock_guard<std::mutex> guard(playLock_);
    FollowStateLocked();
    return S_OK;
}

HRESULT TSoundRenderer::Stop()
{
    filters::TBCAutoLock lock(*Lock());
    HRESULT hr = TBCBaseFilter::Stop();
    std::lock_guard<std::mutex> guard(playLock_);
    CloseLocked();
    return hr;
}

HRESULT TSoundRenderer::OpenLocked(const AM_MEDIA_TYPE& type)
{
    CloseLocked();
    WAVEFORMATEX wf{};
    if (!PcmFormat(type, wf)) {
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    HWAVEOUT device = nullptr;
    if (waveOutOpen(&device, WAVE_MAPPER, &wf, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
        return VFW_E_NO_AUDIO_HARDWARE;
    }
    // Paused until the filter runs: what arrives before that waits at the device.
    waveOutPause(device);
    device_ = device;
    playing_ = false;
    bytesPerSecond_ = wf.nAvgBytesPerSec;
    ApplyVolumeLocked();
    return S_OK;
}

void TSoundRenderer::CloseLocked()
{
    if (device_ == nullptr) {
        return;
    }
    waveOutReset(device_);  // every queued buffer comes back done
    ReclaimLocked();
    waveOutClose(device_);
    device_ = nullptr;
    blocks_.clear();
    queuedBytes_ = 0;
}

void TSoundRenderer::ReclaimLocked()
{
    for (auto& block : blocks_) {
        if (block->queued && (block->header.dwFlags & WHDR_DONE) != 0) {
            waveOutUnprepareHeader(device_, &block->header, sizeof(WAVEHDR));
            queuedBytes_ -= block->header.dwBufferLength;
            block->queued = false;
        }
    }
}

void TSoundRenderer::FollowStateLocked(bool force)
{
    if (device_ == nullptr) {
        return;
    }
    if (State() != State_Running) {
        waveOutPause(device_);
        playing_ = false;
    } else if (!playing_ &&
               (force || queuedBytes_ >= static_cast<long long>(bytesPerSecond_) * kSoundRendererCushion / 10000000)) {
        waveOutRestart(device_);
        playing_ = true;
    }
}

void TSoundRenderer::PlayRest()
{
    std::lock_guard<std::mutex> guard(playLock_);
    FollowStateLocked(true);
}

void TSoundRenderer::Play(const BYTE* data, long size)
{
    std::lock_guard<std::mutex> guard(playLock_);
    if (device_ == nullptr || size <= 0) {
        return;
    }
    ReclaimLocked();
    if (queuedBytes_ + size > static_cast<long long>(bytesPerSecond_) * kSoundRendererMostQueued / 10000000) {
        return;
    }
    Block* block = nullptr;
    for (auto& b : blocks_) {
        if (!b->queued && (block == nullptr || b->data.size() > block->data.size())) {
            block = b.get();
        }
    }
    if (block == nullptr || block->data.size() < static_cast<size_t>(size)) {
        if (block == nullptr) {
            blocks_.push_back(std::make_unique<Block>());
            block = blocks_.back().get();
        }
        block->data.resize(static_cast<size_t>(size));
    }
    std::memcpy(block->data.data(), data, static_cast<size_t>(size));
    block->header = WAVEHDR{};
    block->header.lpData = block->data.data();
    block->header.dwBufferLength = static_cast<DWORD>(size);
    if (waveOutPrepareHeader(device_, &block->header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        return;
    }
    if (waveOutWrite(device_, &block->header, sizeof(WAVEHDR)) != MMSYSERR_NOERROR) {
        waveOutUnprepareHeader(device_, &block->header, sizeof(WAVEHDR));
        return;
    }
    block->queued = true;
    queuedBytes_ += size;
    if (!playing_ && State() == State_Running) {
        FollowStateLocked();
    }
}

HRESULT TSoundRenderer::Reopen(const AM_MEDIA_TYPE& type)
{
    std::lock_guard<std::mutex> guard(playLock_);
    if (device_ == nullptr) {
        return S_OK;  // stopped meanwhile: the next start opens the device in the connection's type
    }
    HRESULT hr = OpenLocked(type);
    FollowStateLocked();
    return hr;
}

void TSoundRenderer::Discard()
{
    std::lock_guard<std::mutex> guard(playLock_);
    if (device_ != nullptr) {
        waveOutReset(device_);
        ReclaimLocked();
        waveOutPause(device_);  // the cushion fills again before the sound goes on
        playing_ = false;
        FollowStateLocked();
    }
}

void TSoundRenderer::ApplyVolumeLocked()
{
    if (device_ == nullptr) {
        return;
    }
    const long volume = volume_.load();
    const long balance = balance_.load();
    // A positive balance attenuates the left channel, a negative one the right.
    const WORD left = ChannelVolume(volume - std::max(0L, balance));
    const WORD right = ChannelVolume(volume + std::min(0L, balance));
    waveOutSetVolume(device_, MAKELONG(left, right));
}

HRESULT TSoundRenderer::SetLevel(std::atomic<long>& level, long value, long lowest, long highest)
{
    if (value < lowest || value > highest) {
        return E_INVALIDARG;
    }
    level.store(value);
    std::lock_guard<std::mutex> guard(playLock_);
    ApplyVolumeLocked();
    return S_OK;
}

const REGPINTYPES kPinTypes[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};
const REGFILTERPINS kPins[] = {
    {const_cast<LPWSTR>(kSoundRendererPinName), TRUE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kPinTypes}};

const TStandinRegistrar registrar([](filters::TBCFilterTemplate& templates) {
    filters::TBCFilterTemplateEntry entry;
    entry.Name = "Default DirectSound Device";
    entry.FilterClsid = CLSID_DSoundRender;
    entry.Category = CLSID_LegacyAmFilterCategory;
    entry.Merit = MERIT_PREFERRED;
    entry.PinCount = 1;
    entry.Pins = kPins;
    entry.Create = [](IUnknown* controller, HRESULT& hr) -> filters::TBCUnknown* {
        const filters::TBCFilterTemplateEntry* self = filters::Templates().GetFactoryFromClassID(CLSID_DSoundRender);
        if (self == nullptr) {
            hr = E_UNEXPECTED;
            return nullptr;
        }
        return new TSoundRenderer(*self, controller);
    };
    templates.Add(std::move(entry));
});

}  // namespace
}  // namespace standins
