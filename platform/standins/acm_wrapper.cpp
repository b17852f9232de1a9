#include "platform/standins/acm_wrapper.h"

#include <dshow.h>
#include <mmreg.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "dshow/ds_helpers.h"
#include "filters/transform_filter.h"
#include "platform/standins/standins_dll.h"

using Microsoft::WRL::ComPtr;

namespace standins {

namespace {

// {6A08CF80-0E18-11CF-A24D-0020AFD79767}
const CLSID kAcmWrapperClsid = {0x6a08cf80, 0x0e18, 0x11cf, {0xa2, 0x4d, 0x00, 0x20, 0xaf, 0xd7, 0x97, 0x67}};

const WAVEFORMATEX* Pcm(const AM_MEDIA_TYPE* mt)
{
    if (mt == nullptr || mt->majortype != MEDIATYPE_Audio || mt->subtype != MEDIASUBTYPE_PCM ||
        mt->formattype != FORMAT_WaveFormatEx || mt->pbFormat == nullptr || mt->cbFormat < sizeof(PCMWAVEFORMAT)) {
        return nullptr;
    }
    const auto* wf = reinterpret_cast<const WAVEFORMATEX*>(mt->pbFormat);
    const bool ok = (wf->wFormatTag == WAVE_FORMAT_PCM || wf->wFormatTag == WAVE_FORMAT_EXTENSIBLE) &&
                    (wf->nChannels == 1 || wf->nChannels == 2) && (wf->wBitsPerSample == 8 || wf->wBitsPerSample == 16) &&
                    wf->nSamplesPerSec >= 4000 && wf->nSamplesPerSec <= 192000 &&
                    wf->nBlockAlign == wf->nChannels * wf->wBitsPerSample / 8;
    return ok ? wf : nullptr;
}

// A plain PCM type of that format.
void MakePcmType(AM_MEDIA_TYPE& mt, WORD channels, WORD bits, DWORD rate)
{
    auto* wf = static_cast<WAVEFORMATEX*>(CoTaskMemAlloc(sizeof(WAVEFORMATEX)));
    if (wf == nullptr) return;
    wf->wFormatTag = WAVE_FORMAT_PCM;
    wf->nChannels = channels;
    wf->wBitsPerSample = bits;
    wf->nSamplesPerSec = rate;
    wf->nBlockAlign = static_cast<WORD>(channels * bits / 8);
    wf->nAvgBytesPerSec = rate * wf->nBlockAlign;
    wf->cbSize = 0;
    mt = AM_MEDIA_TYPE{};
    mt.majortype = MEDIATYPE_Audio;
    mt.subtype = MEDIASUBTYPE_PCM;
    mt.bFixedSizeSamples = TRUE;
    mt.lSampleSize = wf->nBlockAlign;
    mt.formattype = FORMAT_WaveFormatEx;
    mt.cbFormat = sizeof(WAVEFORMATEX);
    mt.pbFormat = reinterpret_cast<BYTE*>(wf);
}

struct Format {
    WORD Channels = 2;
    WORD Bits = 16;
    DWORD Rate = 44100;
    bool operator==(const Format&) const = default;
};

Format FormatOf(const WAVEFORMATEX& wf) { return {wf.nChannels, wf.wBitsPerSample, wf.nSamplesPerSec}; }

class TAcmWrapper;

class TAcmOutputPin : public filters::TBCTransformOutputPin {
public:
    TAcmOutputPin(TAcmWrapper* owner, HRESULT& hr);
    HRESULT NonDelegatingQueryInterface(REFIID iid, void** obj) override
    {
        if (iid == IID_IAMStreamConfig) return GetInterface(&config_, obj);
        return TBCTransformOutputPin::NonDelegatingQueryInterface(iid, obj);
    }

private:
    struct ConfigItf : IAMStreamConfig {
        explicit ConfigItf(TAcmOutputPin& p) : o(p) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** obj) override { return o.QueryInterface(iid, obj); }
        ULONG STDMETHODCALLTYPE AddRef() override { return o.AddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return o.Release(); }
        HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE* mt) override;
        HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE** mt) override;
        HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int* count, int* size) override
        {
            if (count == nullptr || size == nullptr) return E_POINTER;
            *count = 1;
            *size = sizeof(AUDIO_STREAM_CONFIG_CAPS);
            return S_OK;
        }
        HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE** mt, BYTE* caps) override;
        TAcmOutputPin& o;
    };
    ConfigItf config_{*this};
    TAcmWrapper* owner_;
};

class TAcmWrapper : public filters::TBCTransformFilter {
public:
    TAcmWrapper(const filters::TBCFilterTemplateEntry& entry, IUnknown* controller) : TBCTransformFilter(entry, controller) {}

    HRESULT CheckInputType(const AM_MEDIA_TYPE* mt) override { return Pcm(mt) != nullptr ? S_OK : VFW_E_TYPE_NOT_ACCEPTED; }

    HRESULT CheckTransform(const AM_MEDIA_TYPE* in, const AM_MEDIA_TYPE* out) override
    {
        if (Pcm(in) == nullptr || Pcm(out) == nullptr) return VFW_E_TYPE_NOT_ACCEPTED;
        filters::TBCAutoLock lock(FilterLock());
        return chosen_ && !(FormatOf(*Pcm(out)) == *chosen_) ? VFW_E_TYPE_NOT_ACCEPTED : S_OK;
    }

    HRESULT GetMediaType(int position, AM_MEDIA_TYPE* mt) override
    {
        if (position < 0) return E_INVALIDARG;
        if (position > 0) return VFW_S_NO_MORE_ITEMS;
        std::optional<Format> f = OutputFormat();
        if (!f) return E_UNEXPECTED;
        MakePcmType(*mt, f->Channels, f->Bits, f->Rate);
        return mt->pbFormat != nullptr ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT DecideBufferSize(IMemAllocator* alloc, ALLOCATOR_PROPERTIES* props) override
    {
        const WAVEFORMATEX* out = Pcm(&OutputPin()->CurrentMediaType());
        if (out == nullptr) return E_UNEXPECTED;
        // Half a second of output holds what any capture buffer gives.
        const long bytes = static_cast<long>(out->nAvgBytesPerSec / 2 + out->nBlockAlign * 4);
        props->cBuffers = std::max<long>(props->cBuffers, 4);
        props->cbBuffer = std::max<long>(props->cbBuffer, bytes);
        props->cbAlign = std::max<long>(props->cbAlign, 1);
        ALLOCATOR_PROPERTIES actual{};
        HRESULT hr = alloc->SetProperties(props, &actual);
        if (FAILED(hr)) return hr;
        return actual.cbBuffer < bytes ? E_FAIL : S_OK;
    }

    HRESULT StartStreaming() override
    {
        next_ = 0;
        consumed_ = 0;
        last_[0] = last_[1] = 0;
        haveLast_ = false;
        return S_OK;
    }

    HRESULT Transform(IMediaSample* in, IMediaSample* out) override;

    // The output format: the one set, else the input's.
    std::optional<Format> OutputFormat()
    {
        filters::TBCAutoLock lock(FilterLock());
        if (chosen_) return chosen_;
        const WAVEFORMATEX* in = InputPin()->IsConnected() ? Pcm(&InputPin()->CurrentMediaType()) : nullptr;
        if (in == nullptr) return std::nullopt;
        return FormatOf(*in);
    }

    HRESULT Choose(const AM_MEDIA_TYPE* mt)
    {
        const WAVEFORMATEX* wf = Pcm(mt);
        if (wf == nullptr) return VFW_E_INVALIDMEDIATYPE;
        filters::TBCAutoLock lock(FilterLock());
        if (!IsStopped()) return VFW_E_NOT_STOPPED;
        const Format f = FormatOf(*wf);
        // A connected output keeps its format: another one would need a reconnection downstream.
        if (OutputPin()->IsConnected()) {
            const WAVEFORMATEX* now = Pcm(&OutputPin()->CurrentMediaType());
            return now != nullptr && FormatOf(*now) == f ? S_OK : VFW_E_ALREADY_CONNECTED;
        }
        chosen_ = f;
        return S_OK;
    }

protected:
    void MakePins() override
    {
        HRESULT hr = S_OK;
        if (!input_) input_ = std::make_unique<filters::TBCTransformInputPin>("ACM input pin", this, hr, L"Input");
        if (!output_ && input_) output_ = std::make_unique<TAcmOutputPin>(this, hr);
    }

private:
    float Read(const BYTE* frame, WORD bits, int channel) const
    {
        if (bits == 8) return (static_cast<float>(frame[channel]) - 128.0f) * 256.0f;
        std::int16_t v = 0;
        std::memcpy(&v, frame + channel * 2, 2);
        return static_cast<float>(v);
    }

    std::optional<Format> chosen_;
    // Streaming thread: the input frame index of the next output frame, the frames consumed before
    // the current buffer, and the last frame of the previous buffer (for interpolation across buffers).
    double next_ = 0;
    std::int64_t consumed_ = 0;
    float last_[2] = {0, 0};
    bool haveLast_ = false;
};

HRESULT TAcmWrapper::Transform(IMediaSample* in, IMediaSample* out)
{
    const WAVEFORMATEX* src = Pcm(&InputPin()->CurrentMediaType());
    const WAVEFORMATEX* dst = Pcm(&OutputPin()->CurrentMediaType());
    BYTE* from = nullptr;
    BYTE* to = nullptr;
    if (src == nullptr || dst == nullptr || FAILED(in->GetPointer(&from)) || FAILED(out->GetPointer(&to))) return E_UNEXPECTED;
    const long inBytes = std::max<long>(in->GetActualDataLength(), 0);
    const std::int64_t frames = inBytes / src->nBlockAlign;
    const long room = out->GetSize() / dst->nBlockAlign;
    if (FormatOf(*src) == FormatOf(*dst)) {
        const long n = static_cast<long>(std::min<std::int64_t>(frames, room));
        std::memcpy(to, from, static_cast<std::size_t>(n) * src->nBlockAlign);
        out->SetActualDataLength(n * src->nBlockAlign);
        return S_OK;
    }
    const double step = static_cast<double>(src->nSamplesPerSec) / dst->nSamplesPerSec;
    auto frameAt = [&](std::int64_t index, float* v) {
        // index is absolute; consumed_ - 1 is the previous buffer's last frame.
        if (index < consumed_) {
            v[0] = last_[0];
            v[1] = last_[1];
            return;
        }
        const BYTE* f = from + (index - consumed_) * src->nBlockAlign;
        v[0] = Read(f, src->wBitsPerSample, 0);
        v[1] = src->nChannels == 2 ? Read(f, src->wBitsPerSample, 1) : v[0];
    };
    if (!haveLast_ && frames > 0) {
        frameAt(0, last_);
        haveLast_ = true;
    }
    long made = 0;
    while (made < room) {
        const auto i = static_cast<std::int64_t>(std::floor(next_));
        if (i + 1 >= consumed_ + frames) break;
        float a[2], b[2];
        frameAt(i, a);
        frameAt(i + 1, b);
        const float t = static_cast<float>(next_ - static_cast<double>(i));
        float v[2] = {a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t};
        if (dst->nChannels == 1) v[0] = (v[0] + v[1]) / 2;
        BYTE* d = to + static_cast<std::ptrdiff_t>(made) * dst->nBlockAlign;
        for (int c = 0; c < dst->nChannels; ++c) {
            const float s = std::clamp(std::round(v[c]), -32768.0f, 32767.0f);
            if (dst->wBitsPerSample == 8) {
                d[c] = static_cast<BYTE>(static_cast<int>(s) / 256 + 128);
            } else {
                const auto s16 = static_cast<std::int16_t>(s);
                std::memcpy(d + c * 2, &s16, 2);
            }
        }
        ++made;
        next_ += step;
    }
    if (frames > 0) frameAt(consumed_ + frames - 1, last_);
    consumed_ += frames;
    out->SetActualDataLength(made * dst->nBlockAlign);
    return made > 0 ? S_OK : S_FALSE;
}

TAcmOutputPin::TAcmOutputPin(TAcmWrapper* owner, HRESULT& hr)
    : TBCTransformOutputPin("ACM output pin", owner, hr, L"Output"), owner_(owner)
{
}

HRESULT TAcmOutputPin::ConfigItf::SetFormat(AM_MEDIA_TYPE* mt) { return o.owner_->Choose(mt); }

HRESULT TAcmOutputPin::ConfigItf::GetFormat(AM_MEDIA_TYPE** mt)
{
    if (mt == nullptr) return E_POINTER;
    *mt = nullptr;
    std::optional<Format> f = o.owner_->OutputFormat();
    if (!f) return VFW_E_NOT_CONNECTED;
    auto* made = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    if (made == nullptr) return E_OUTOFMEMORY;
    MakePcmType(*made, f->Channels, f->Bits, f->Rate);
    *mt = made;
    return S_OK;
}

HRESULT TAcmOutputPin::ConfigItf::GetStreamCaps(int index, AM_MEDIA_TYPE** mt, BYTE* caps)
{
    if (mt == nullptr || caps == nullptr) return E_POINTER;
    if (index != 0) return S_FALSE;
    HRESULT hr = GetFormat(mt);
    if (FAILED(hr)) return hr;
    auto* c = reinterpret_cast<AUDIO_STREAM_CONFIG_CAPS*>(caps);
    *c = AUDIO_STREAM_CONFIG_CAPS{};
    c->guid = MEDIATYPE_Audio;
    c->MinimumChannels = 1;
    c->MaximumChannels = 2;
    c->ChannelsGranularity = 1;
    c->MinimumBitsPerSample = 8;
    c->MaximumBitsPerSample = 16;
    c->BitsPerSampleGranularity = 8;
    c->MinimumSampleFrequency = 4000;
    c->MaximumSampleFrequency = 192000;
    c->SampleFrequencyGranularity = 1;
    return S_OK;
}

const REGPINTYPES kTypes[] = {{&MEDIATYPE_Audio, &MEDIASUBTYPE_PCM}};
const REGFILTERPINS kPins[] = {
    {const_cast<LPWSTR>(L"Input"), FALSE, FALSE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kTypes},
    {const_cast<LPWSTR>(L"Output"), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kTypes}};

const TStandinRegistrar kRegistrar([](filters::TBCFilterTemplate& templates) {
    filters::TBCFilterTemplateEntry entry;
    entry.Name = "ACM Wrapper";
    entry.FilterClsid = kAcmWrapperClsid;
    entry.Category = CLSID_LegacyAmFilterCategory;
    // Asked for by class id; intelligent connect has nothing to decode with it here.
    entry.Merit = MERIT_DO_NOT_USE;
    entry.PinCount = 2;
    entry.Pins = kPins;
    entry.Create = [](IUnknown* controller, HRESULT& hr) -> filters::TBCUnknown* {
        const filters::TBCFilterTemplateEntry* self = filters::Templates().GetFactoryFromClassID(kAcmWrapperClsid);
        if (self == nullptr) {
            hr = E_UNEXPECTED;
            return nullptr;
        }
        return new TAcmWrapper(*self, controller);
    };
    templates.Add(std::move(entry));
});

}  // namespace
}  // namespace standins
