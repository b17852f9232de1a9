#include "platform/standins/test_microphone.h"

#include <dshow.h>
#include <mmreg.h>
#include <uuids.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/standins/live_source.h"
#include "platform/standins/recording_settings.h"
#include "platform/standins/standins_dll.h"

namespace standins {

namespace {

constexpr WORD kChannels = 2;
constexpr WORD kBits = 16;
constexpr WORD kBlockAlign = kChannels * kBits / 8;
constexpr int kRateCount = static_cast<int>(sizeof(kMicrophoneRates) / sizeof(kMicrophoneRates[0]));
constexpr double kPi = 3.14159265358979323846;

// Sample frames in one buffer (20 ms divides both rates exactly).
DWORD FramesPerBuffer(DWORD rate)
{
    return static_cast<DWORD>(static_cast<LONGLONG>(rate) * kMicrophoneBufferTime / 10000000);
}

void BuildType(DWORD rate, AM_MEDIA_TYPE& m)
{
    m.majortype = MEDIATYPE_Audio;
    m.subtype = MEDIASUBTYPE_PCM;
    m.formattype = FORMAT_WaveFormatEx;
    m.bFixedSizeSamples = TRUE;
    m.bTemporalCompression = FALSE;
    m.lSampleSize = kBlockAlign;
    auto* wf = reinterpret_cast<WAVEFORMATEX*>(AllocFormat(m, sizeof(WAVEFORMATEX)));
    if (wf == nullptr) {
        throw std::bad_alloc();
    }
    wf->wFormatTag = WAVE_FORMAT_PCM;
    wf->nChannels = kChannels;
    wf->nSamplesPerSec = rate;
    wf->nAvgBytesPerSec = rate * kBlockAlign;
    wf->nBlockAlign = kBlockAlign;
    wf->wBitsPerSample = kBits;
    wf->cbSize = 0;
}

// The rate of a request for our PCM layout, or 0. The block may be the 16-byte PCM header.
DWORD RateOf(const AM_MEDIA_TYPE& m)
{
    if (m.majortype != MEDIATYPE_Audio || m.subtype != MEDIASUBTYPE_PCM || m.formattype != FORMAT_WaveFormatEx ||
        m.pbFormat == nullptr || m.cbFormat < sizeof(PCMWAVEFORMAT)) {
        return 0;
    }
    PCMWAVEFORMAT wf{};
    std::memcpy(&wf, m.pbFormat, sizeof(wf));
    if (wf.wf.wFormatTag != WAVE_FORMAT_PCM || wf.wf.nChannels != kChannels || wf.wBitsPerSample != kBits ||
        wf.wf.nBlockAlign != kBlockAlign) {
        return 0;
    }
    for (DWORD rate : kMicrophoneRates) {
        if (wf.wf.nSamplesPerSec == rate && wf.wf.nAvgBytesPerSec == rate * kBlockAlign) {
            return rate;
        }
    }
    return 0;
}

class TMicrophonePin : public TLiveOutputPin {
public:
    TMicrophonePin(TLiveSourceFilter* filter, HRESULT& hr)
        : TLiveOutputPin("Test microphone capture pin", filter, hr, kTestMicrophonePinName)
    {
    }

    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override
    {
        const DWORD rate = std::max<DWORD>(RateOf(CurrentMediaType()), kMicrophoneRates[0]);
        const long needed = static_cast<long>(FramesPerBuffer(rate) * kBlockAlign);
        props->cBuffers = std::max<long>(props->cBuffers, 8);
        props->cbBuffer = std::max<long>(props->cbBuffer, needed);
        props->cbAlign = std::max<long>(props->cbAlign, 1);
        ALLOCATOR_PROPERTIES actual{};
        HRESULT hr = alloc->SetProperties(props, &actual);
        if (FAILED(hr)) {
            return hr;
        }
        return actual.cbBuffer < needed || actual.cBuffers < 1 ? E_FAIL : S_OK;
    }

protected:
    int CapabilityCount() const override { return kRateCount; }
    int CapabilitySize() const override { return sizeof(AUDIO_STREAM_CONFIG_CAPS); }

    void BuildCapability(int index, AM_MEDIA_TYPE& m, BYTE* caps) const override
    {
        const DWORD rate = kMicrophoneRates[index];
        BuildType(rate, m);
        if (caps == nullptr) {
            return;
        }
        AUDIO_STREAM_CONFIG_CAPS c{};
        c.guid = MEDIATYPE_Audio;
        c.MinimumChannels = c.MaximumChannels = kChannels;
        c.ChannelsGranularity = 1;
        c.MinimumBitsPerSample = c.MaximumBitsPerSample = kBits;
        c.BitsPerSampleGranularity = 8;
        c.MinimumSampleFrequency = c.MaximumSampleFrequency = rate;
        c.SampleFrequencyGranularity = 1;
        std::memcpy(caps, &c, sizeof(c));
    }

    bool Canonical(const AM_MEDIA_TYPE& request, AM_MEDIA_TYPE& out) const override
    {
        const DWORD rate = RateOf(request);
        if (rate == 0) {
            return false;
        }
        BuildType(rate, out);
        return true;
    }

    REFERENCE_TIME UnitDuration() const override { return kMicrophoneBufferTime; }
    bool DeliversAtUnitEnd() const override { return true; }
    // A late stream catches up: the tone stays continuous.
    bool SkipsLateUnits() const override { return false; }

    void StreamStarting() override
    {
        rate_ = std::max<DWORD>(RateOf(CurrentMediaType()), kMicrophoneRates[0]);
        givesNothing_ = TestRecordingSetting(kTestSoundGivesNothingValue).value_or(0) != 0;
    }
    // The test's input that gives nothing: no buffer comes.
    bool LosesUnit(LONGLONG) const override { return givesNothing_; }

    HRESULT FillUnit(IMediaSample* sample, LONGLONG unit) override
    {
        const DWORD frames = FramesPerBuffer(rate_);
        const long size = static_cast<long>(frames * kBlockAlign);
        BYTE* data = nullptr;
        if (FAILED(sample->GetPointer(&data)) || data == nullptr || sample->GetSize() < size) {
            return VFW_E_BUFFER_OVERFLOW;
        }
        const LONGLONG first = unit * frames;
        for (DWORD i = 0; i < frames; ++i) {
            // The phase from an exact integer remainder, so that it stays precise however long the run.
            const LONGLONG step = (first + i) % rate_ * kToneHz % rate_;
            const double phase = 2 * kPi * static_cast<double>(step) / rate_;
            const auto v = static_cast<SHORT>(std::lround(kToneAmplitude * std::sin(phase)));
            std::memcpy(data + i * kBlockAlign, &v, sizeof(v));
            std::memcpy(data + i * kBlockAlign + sizeof(v), &v, sizeof(v));
        }
        return sample->SetActualDataLength(size);
    }

private:
    DWORD rate_ = kMicrophoneRates[0];  // set before the streaming thread starts
    bool givesNothing_ = false;         // likewise
};

class TTestMicrophone : public TLiveSourceFilter {
public:
    explicit TTestMicrophone(IUnknown* owner) : TLiveSourceFilter(kTestMicrophoneName, owner, CLSID_QuillTestMicrophone)
    {
        HRESULT hr = S_OK;
        SetPin(std::make_unique<TMicrophonePin>(this, hr));
    }
};

const REGPINTYPES kPinTypes[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};
const REGFILTERPINS kPins[] = {
    {const_cast<LPWSTR>(kTestMicrophonePinName), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kPinTypes}};

const TStandinRegistrar registrar([](filters::TBCFilterTemplate& templates) {
    filters::TBCFilterTemplateEntry entry;
    entry.Name = kTestMicrophoneName;
    entry.FilterClsid = CLSID_QuillTestMicrophone;
    entry.Category = CLSID_AudioInputDeviceCategory;
    entry.Merit = MERIT_DO_NOT_USE;
    entry.PinCount = 1;
    entry.Pins = kPins;
    entry.Create = [](IUnknown* controller, HRESULT&) -> filters::TBCUnknown* {
        return new TTestMicrophone(controller);
    };
    templates.Add(std::move(entry));
});

}  // namespace
}  // namespace standins
