#include "platform/standins/wmvcore/wm_profiles.h"

#include <dshow.h>
#include <nserror.h>
#include <uuids.h>

#include <atomic>
#include <cstring>
#include <string>

namespace standins {

namespace {

constexpr DWORD kWmv1 = MAKEFOURCC('W', 'M', 'V', '1');
constexpr DWORD kWmv2 = MAKEFOURCC('W', 'M', 'V', '2');
constexpr DWORD kMp43 = MAKEFOURCC('M', 'P', '4', '3');
constexpr WORD kWma2Tag = 0x0161;
// Windows Media's answer to a buffer too short for what it is asked to hold.
const HRESULT ASF_E_BUFFERTOOSMALL = static_cast<HRESULT>(0xC00D07D2);

TWmStreamSpec Sound(DWORD bitRate, DWORD rate, WORD channels)
{
    TWmStreamSpec s;
    s.Video = false;
    s.BitRate = bitRate;
    s.Rate = rate;
    s.Channels = channels;
    return s;
}

TWmStreamSpec Picture(DWORD fourcc, DWORD bitRate, LONG width, LONG height, int fps)
{
    TWmStreamSpec s;
    s.BitRate = bitRate;
    s.FourCC = fourcc;
    s.Width = width;
    s.Height = height;
    s.FrameTime = 10000000 / fps;
    return s;
}

// Text copied out to a caller's buffer of *Length characters (the terminating zero included); the
// length needed when the buffer is absent or short.
HRESULT CopyText(const std::wstring& text, WCHAR* out, DWORD* length)
{
    if (length == nullptr) return E_POINTER;
    const DWORD need = static_cast<DWORD>(text.size() + 1);
    if (out == nullptr) {
        *length = need;
        return S_OK;
    }
    if (*length < need) {
        *length = need;
        return ASF_E_BUFFERTOOSMALL;
    }
    std::memcpy(out, text.c_str(), need * sizeof(WCHAR));
    *length = need;
    return S_OK;
}

// A COM object of one or more interfaces whose reference count frees it.
template <typename Self>
class TRefCounted {
public:
    virtual ~TRefCounted() = default;

protected:
    ULONG Add() { return ++refs_; }
    ULONG Drop()
    {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

private:
    std::atomic<ULONG> refs_{1};
};

class TStreamConfig final : public IWMStreamConfig, public IWMMediaProps, TRefCounted<TStreamConfig> {
public:
    TStreamConfig(const TWmStreamSpec& spec, WORD number) : spec_(spec), number_(number)
    {
        name_ = spec.Video ? L"Video" : L"Audio";
        connection_ = spec.Video ? L"Video1" : L"Audio1";
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** obj) override
    {
        if (obj == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == __uuidof(IWMStreamConfig)) {
            *obj = static_cast<IWMStreamConfig*>(this);
        } else if (iid == __uuidof(IWMMediaProps)) {
            *obj = static_cast<IWMMediaProps*>(this);
        } else {
            *obj = nullptr;
            return E_NOINTERFACE;
        }
        Add();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return Drop(); }

    // IWMStreamConfig
    HRESULT STDMETHODCALLTYPE GetStreamType(GUID* type) override
    {
        if (type == nullptr) return E_POINTER;
        *type = spec_.Video ? WMMEDIATYPE_Video : WMMEDIATYPE_Audio;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamNumber(WORD* number) override
    {
        if (number == nullptr) return E_POINTER;
        *number = number_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetStreamNumber(WORD number) override
    {
        if (number < 1 || number > 63) return E_INVALIDARG;
        number_ = number;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamName(WCHAR* name, WORD* length) override { return CopyShort(name_, name, length); }
    HRESULT STDMETHODCALLTYPE SetStreamName(LPCWSTR_WMSDK_TYPE_SAFE name) override { return Set(name_, name); }
    HRESULT STDMETHODCALLTYPE GetConnectionName(WCHAR* name, WORD* length) override
    {
        return CopyShort(connection_, name, length);
    }
    HRESULT STDMETHODCALLTYPE SetConnectionName(LPCWSTR_WMSDK_TYPE_SAFE name) override { return Set(connection_, name); }
    HRESULT STDMETHODCALLTYPE GetBitrate(DWORD* bitRate) override
    {
        if (bitRate == nullptr) return E_POINTER;
        *bitRate = spec_.BitRate;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetBitrate(DWORD bitRate) override
    {
        spec_.BitRate = bitRate;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetBufferWindow(DWORD* window) override
    {
        if (window == nullptr) return E_POINTER;
        *window = 3000;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetBufferWindow(DWORD) override { return S_OK; }

    // IWMMediaProps: the stream's type, its format block following the structure.
    HRESULT STDMETHODCALLTYPE GetType(GUID* type) override { return GetStreamType(type); }
    HRESULT STDMETHODCALLTYPE GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) override
    {
        if (size == nullptr) return E_POINTER;
        const DWORD format = spec_.Video ? sizeof(VIDEOINFOHEADER) : sizeof(WAVEFORMATEX) + 6;
        const DWORD need = sizeof(WM_MEDIA_TYPE) + format;
        if (type == nullptr || *size < need) {
            const bool asked = type == nullptr;
            *size = need;
            return asked ? S_OK : ASF_E_BUFFERTOOSMALL;
        }
        *size = need;
        std::memset(type, 0, need);
        auto* block = reinterpret_cast<BYTE*>(type + 1);
        type->cbFormat = format;
        type->pbFormat = block;
        if (spec_.Video) {
            type->majortype = WMMEDIATYPE_Video;
            type->subtype = GUID{spec_.FourCC, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
            type->bTemporalCompression = TRUE;
            type->formattype = FORMAT_VideoInfo;
            auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(block);
            vih->rcSource = vih->rcTarget = RECT{0, 0, spec_.Width, spec_.Height};
            vih->dwBitRate = spec_.BitRate;
            vih->AvgTimePerFrame = spec_.FrameTime;
            vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
            vih->bmiHeader.biWidth = spec_.Width;
            vih->bmiHeader.biHeight = spec_.Height;
            vih->bmiHeader.biPlanes = 1;
            vih->bmiHeader.biBitCount = 24;
            vih->bmiHeader.biCompression = spec_.FourCC;
        } else {
            type->majortype = WMMEDIATYPE_Audio;
            type->subtype = GUID{kWma2Tag, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
            type->bFixedSizeSamples = TRUE;
            type->formattype = FORMAT_WaveFormatEx;
            auto* wfx = reinterpret_cast<WAVEFORMATEX*>(block);
            wfx->wFormatTag = kWma2Tag;
            wfx->nChannels = spec_.Channels;
            wfx->nSamplesPerSec = spec_.Rate;
            wfx->nAvgBytesPerSec = spec_.BitRate / 8;
            wfx->nBlockAlign = static_cast<WORD>(spec_.BitRate / 8 * 2048 / spec_.Rate);
            wfx->wBitsPerSample = 16;
            wfx->cbSize = 6;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMediaType(WM_MEDIA_TYPE*) override { return E_NOTIMPL; }

    const TWmStreamSpec& Spec() const { return spec_; }
    WORD Number() const { return number_; }

private:
    static HRESULT CopyShort(const std::wstring& text, WCHAR* out, WORD* length)
    {
        if (length == nullptr) return E_POINTER;
        DWORD l = *length;
        const HRESULT hr = CopyText(text, out, &l);
        *length = static_cast<WORD>(l);
        return hr;
    }
    static HRESULT Set(std::wstring& field, const WCHAR* text)
    {
        if (text == nullptr) return E_POINTER;
        field = text;
        return S_OK;
    }

    TWmStreamSpec spec_;
    WORD number_;
    std::wstring name_, connection_;
};

class TProfile final : public IWMProfile, TRefCounted<TProfile> {
public:
    TProfile(const TWmProfileSpec& spec, WMT_VERSION version) : name_(spec.Name), description_(spec.Description), version_(version)
    {
        WORD number = 1;
        // The sound stream first, as Windows Media profiles have it.
        for (bool video : {false, true})
            for (const TWmStreamSpec& s : spec.Streams)
                if (s.Video == video) streams_.push_back(new TStreamConfig(s, number++));
    }
    ~TProfile() override
    {
        for (TStreamConfig* s : streams_) s->Release();
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** obj) override
    {
        if (obj == nullptr) return E_POINTER;
        if (iid != IID_IUnknown && iid != __uuidof(IWMProfile)) {
            *obj = nullptr;
            return E_NOINTERFACE;
        }
        *obj = static_cast<IWMProfile*>(this);
        Add();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return Drop(); }

    HRESULT STDMETHODCALLTYPE GetVersion(WMT_VERSION* version) override
    {
        if (version == nullptr) return E_POINTER;
        *version = version_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetName(WCHAR* name, DWORD* length) override { return CopyText(name_, name, length); }
    HRESULT STDMETHODCALLTYPE SetName(const WCHAR* name) override
    {
        if (name == nullptr) return E_POINTER;
        name_ = name;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDescription(WCHAR* text, DWORD* length) override
    {
        return CopyText(description_, text, length);
    }
    HRESULT STDMETHODCALLTYPE SetDescription(const WCHAR* text) override
    {
        if (text == nullptr) return E_POINTER;
        description_ = text;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamCount(DWORD* count) override
    {
        if (count == nullptr) return E_POINTER;
        *count = static_cast<DWORD>(streams_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStream(DWORD index, IWMStreamConfig** config) override
    {
        if (config == nullptr) return E_POINTER;
        *config = nullptr;
        if (index >= streams_.size()) return E_INVALIDARG;
        *config = streams_[index];
        (*config)->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamByNumber(WORD number, IWMStreamConfig** config) override
    {
        if (config == nullptr) return E_POINTER;
        *config = nullptr;
        for (TStreamConfig* s : streams_)
            if (s->Number() == number) {
                *config = s;
                s->AddRef();
                return S_OK;
            }
        return NS_E_NO_STREAM;
    }
    HRESULT STDMETHODCALLTYPE RemoveStream(IWMStreamConfig* config) override
    {
        WORD number = 0;
        if (config == nullptr) return E_POINTER;
        if (FAILED(config->GetStreamNumber(&number))) return E_INVALIDARG;
        return RemoveStreamByNumber(number);
    }
    HRESULT STDMETHODCALLTYPE RemoveStreamByNumber(WORD number) override
    {
        for (auto it = streams_.begin(); it != streams_.end(); ++it)
            if ((*it)->Number() == number) {
                (*it)->Release();
                streams_.erase(it);
                return S_OK;
            }
        return NS_E_NO_STREAM;
    }
    // A profile of the system's lists keeps its streams: new ones are not made here.
    HRESULT STDMETHODCALLTYPE AddStream(IWMStreamConfig*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReconfigStream(IWMStreamConfig*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateNewStream(REFGUID, IWMStreamConfig**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMutualExclusionCount(DWORD* count) override
    {
        if (count == nullptr) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetMutualExclusion(DWORD, IWMMutualExclusion**) override { return E_INVALIDARG; }
    HRESULT STDMETHODCALLTYPE RemoveMutualExclusion(IWMMutualExclusion*) override { return E_INVALIDARG; }
    HRESULT STDMETHODCALLTYPE AddMutualExclusion(IWMMutualExclusion*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateNewMutualExclusion(IWMMutualExclusion**) override { return E_NOTIMPL; }

private:
    std::wstring name_, description_;
    WMT_VERSION version_;
    std::vector<TStreamConfig*> streams_;
};

class TProfileManager final : public IWMProfileManager2, TRefCounted<TProfileManager> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** obj) override
    {
        if (obj == nullptr) return E_POINTER;
        if (iid != IID_IUnknown && iid != __uuidof(IWMProfileManager) && iid != __uuidof(IWMProfileManager2)) {
            *obj = nullptr;
            return E_NOINTERFACE;
        }
        *obj = static_cast<IWMProfileManager2*>(this);
        Add();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return Add(); }
    ULONG STDMETHODCALLTYPE Release() override { return Drop(); }

    HRESULT STDMETHODCALLTYPE CreateEmptyProfile(WMT_VERSION version, IWMProfile** profile) override
    {
        if (profile == nullptr) return E_POINTER;
        *profile = MakeWmProfile(TWmProfileSpec{L"", L"", {}}, version);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE LoadProfileByID(REFGUID id, IWMProfile** profile) override
    {
        if (profile == nullptr) return E_POINTER;
        *profile = nullptr;
        const TWmProfileSpec* spec = DefaultWmProfile(id);
        if (spec == nullptr) return E_INVALIDARG;
        *profile = MakeWmProfile(*spec, WMT_VER_8_0);
        return S_OK;
    }
    // Profiles as text are not kept by this manager.
    HRESULT STDMETHODCALLTYPE LoadProfileByData(const WCHAR*, IWMProfile** profile) override
    {
        if (profile != nullptr) *profile = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SaveProfile(IWMProfile*, WCHAR*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSystemProfileCount(DWORD* count) override
    {
        if (count == nullptr) return E_POINTER;
        *count = static_cast<DWORD>(SystemWmProfiles(version_).size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE LoadSystemProfile(DWORD index, IWMProfile** profile) override
    {
        if (profile == nullptr) return E_POINTER;
        *profile = nullptr;
        const auto& list = SystemWmProfiles(version_);
        if (index >= list.size()) return E_INVALIDARG;
        *profile = MakeWmProfile(list[index], version_);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSystemProfileVersion(WMT_VERSION* version) override
    {
        if (version == nullptr) return E_POINTER;
        *version = version_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSystemProfileVersion(WMT_VERSION version) override
    {
        if (version != WMT_VER_4_0 && version != WMT_VER_7_0 && version != WMT_VER_8_0) return E_INVALIDARG;
        version_ = version;
        return S_OK;
    }

private:
    WMT_VERSION version_ = WMT_VER_8_0;
};

}  // namespace

const TWmProfileSpec* DefaultWmProfile(REFGUID Id)
{
    static const struct {
        GUID Id;
        TWmProfileSpec Spec;
    } kDefaults[] = {
        {{0x0b89164a, 0x5490, 0x4686, {0x9e, 0x37, 0x5a, 0x80, 0x88, 0x4e, 0x51, 0x46}},
         {L"Windows Media Video 8 for Local Area Network (768 Kbps)", L"High quality",
          {Picture(kWmv2, 640000, 640, 480, 30), Sound(128000, 44100, 2)}}},
        {{0xec298949, 0x639b, 0x45e2, {0x96, 0xfd, 0x4a, 0xb3, 0x2d, 0x59, 0x19, 0xc2}},
         {L"Windows Media Video 8 for Local Area Network (384 Kbps)", L"Medium quality",
          {Picture(kWmv2, 320000, 320, 240, 30), Sound(64000, 44100, 2)}}},
        {{0x29b00c2b, 0x09a9, 0x48bd, {0xad, 0x09, 0xcd, 0xae, 0x11, 0x7d, 0x1d, 0xa7}},
         {L"Windows Media Video 8 for Dial-up Modems (56 Kbps)", L"Low quality",
          {Picture(kWmv2, 32000, 176, 144, 15), Sound(16000, 22050, 1)}}},
        {{0xa2e300b4, 0xc2d4, 0x4fc0, {0xb5, 0xdd, 0xec, 0xbd, 0x94, 0x8d, 0xc0, 0xdf}},
         {L"Windows Media Video 8 for Broadband (PAL, 384 Kbps)", L"Internet",
          {Picture(kWmv2, 320000, 384, 288, 25), Sound(48000, 44100, 2)}}},
    };
    for (const auto& d : kDefaults)
        if (IsEqualGUID(d.Id, Id)) return &d.Spec;
    return nullptr;
}

const std::vector<TWmProfileSpec>& SystemWmProfiles(WMT_VERSION Version)
{
    static const std::vector<TWmProfileSpec> kV4 = {
        {L"Video for dial-up modems (28.8 Kbps)", L"MPEG-4 video", {Picture(kMp43, 20000, 160, 120, 8), Sound(8000, 22050, 1)}},
        {L"Video for LAN, cable modem, or xDSL (100 to 768 Kbps)", L"MPEG-4 video",
         {Picture(kMp43, 256000, 320, 240, 25), Sound(32000, 44100, 2)}},
        {L"Audio for FM radio quality (28.8 Kbps)", L"Sound only", {Sound(20000, 22050, 1)}},
    };
    static const std::vector<TWmProfileSpec> kV7 = {
        {L"Windows Media Video 7 for Dial-up Modems (28.8 Kbps)", L"Windows Media Video 7",
         {Picture(kWmv1, 20000, 160, 120, 10), Sound(8000, 22050, 1)}},
        {L"Windows Media Video 7 for Local Area Network (384 Kbps)", L"Windows Media Video 7",
         {Picture(kWmv1, 320000, 320, 240, 30), Sound(64000, 44100, 2)}},
        {L"Windows Media Audio 7 for CD quality (64 Kbps)", L"Sound only", {Sound(64000, 44100, 2)}},
        {L"Windows Media Video 7 for Broadband (PAL, 768 Kbps)", L"Windows Media Video 7",
         {Picture(kWmv1, 640000, 384, 288, 25), Sound(128000, 44100, 2)}},
    };
    static const std::vector<TWmProfileSpec> kV8 = {
        {L"Windows Media Video 8 for Dial-up Modems (28.8 Kbps)", L"Windows Media Video 8",
         {Picture(kWmv2, 20000, 160, 120, 15), Sound(8000, 22050, 1)}},
        {L"Windows Media Video 8 for Local Area Network (384 Kbps)", L"Windows Media Video 8",
         {Picture(kWmv2, 320000, 320, 240, 30), Sound(64000, 44100, 2)}},
        {L"Windows Media Video 8 for Local Area Network (768 Kbps)", L"Windows Media Video 8",
         {Picture(kWmv2, 640000, 640, 480, 30), Sound(128000, 44100, 2)}},
        {L"Windows Media Audio 8 for Dial-up Modem (Mono, 28.8 Kbps)", L"Sound only", {Sound(20000, 22050, 1)}},
        {L"Windows Media Video 8 for Broadband (PAL, 384 Kbps)", L"Windows Media Video 8",
         {Picture(kWmv2, 320000, 384, 288, 25), Sound(48000, 44100, 2)}},
    };
    static const std::vector<TWmProfileSpec> kNone;
    switch (Version) {
    case WMT_VER_4_0: return kV4;
    case WMT_VER_7_0: return kV7;
    case WMT_VER_8_0: return kV8;
    default: return kNone;
    }
}

IWMProfile* MakeWmProfile(const TWmProfileSpec& Spec, WMT_VERSION Version) { return new TProfile(Spec, Version); }

IWMProfileManager* MakeWmProfileManager() { return new TProfileManager(); }

}  // namespace standins
