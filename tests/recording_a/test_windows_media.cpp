// The Windows Media test doubles.
#include "test_windows_media.h"

#include <gtest/gtest.h>

#include <nserror.h>

#include <algorithm>

namespace recording_a {

namespace {

// A reference-counted COM object of one interface.
template <typename I>
class Counted : public I {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override {
        if (Object == nullptr) return E_POINTER;
        *Object = nullptr;
        if (!Answers(Iid)) return E_NOINTERFACE;
        *Object = static_cast<I*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual ~Counted() = default;
    virtual bool Answers(REFIID Iid) = 0;

private:
    std::atomic<ULONG> refs_{1};
};

class StreamConfig : public Counted<IWMStreamConfig> {
public:
    explicit StreamConfig(TestStream S) : stream(S) {}
    bool Answers(REFIID Iid) override { return Iid == IID_IUnknown || Iid == engine::kIID_IWMStreamConfig; }
    HRESULT STDMETHODCALLTYPE GetStreamType(GUID* Type) override {
        *Type = stream.Type;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamNumber(WORD* Number) override {
        *Number = stream.Number;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetStreamNumber(WORD Number) override {
        stream.Number = Number;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStreamName(WCHAR*, WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetStreamName(LPCWSTR_WMSDK_TYPE_SAFE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetConnectionName(WCHAR*, WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetConnectionName(LPCWSTR_WMSDK_TYPE_SAFE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBitrate(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetBitrate(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBufferWindow(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetBufferWindow(DWORD) override { return E_NOTIMPL; }
    TestStream stream;
};

class Profile : public Counted<IWMProfile> {
public:
    Profile(const std::vector<TestStream>& Streams, std::wstring Name) : name(std::move(Name)) {
        for (const TestStream& s : Streams) streams.emplace_back(new StreamConfig(s));
        for (auto& s : streams) s->Release();  // the ComPtr holds the one reference
    }
    bool Answers(REFIID Iid) override { return Iid == IID_IUnknown || Iid == engine::kIID_IWMProfile; }
    HRESULT STDMETHODCALLTYPE GetVersion(WMT_VERSION*) override { return E_NOTIMPL; }
    // Length first (with its terminator), then the text, as the system's profiles answer.
    HRESULT STDMETHODCALLTYPE GetName(WCHAR* Name, DWORD* Length) override {
        if (name.empty()) return E_NOTIMPL;
        if (Length == nullptr) return E_POINTER;
        const DWORD needed = static_cast<DWORD>(name.size() + 1);
        if (Name == nullptr) {
            *Length = needed;
            return S_OK;
        }
        if (*Length < needed) return E_INVALIDARG;
        std::copy(name.c_str(), name.c_str() + needed, Name);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetName(const WCHAR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDescription(WCHAR*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetDescription(const WCHAR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetStreamCount(DWORD* Count) override {
        *Count = static_cast<DWORD>(streams.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetStream(DWORD Index, IWMStreamConfig** Config) override {
        if (Index >= streams.size()) return E_INVALIDARG;
        return streams[Index].CopyTo(Config);
    }
    HRESULT STDMETHODCALLTYPE GetStreamByNumber(WORD Number, IWMStreamConfig** Config) override {
        for (auto& s : streams)
            if (s->stream.Number == Number) return s.CopyTo(Config);
        *Config = nullptr;
        return NS_E_NO_STREAM;
    }
    HRESULT STDMETHODCALLTYPE RemoveStream(IWMStreamConfig* Config) override {
        for (auto it = streams.begin(); it != streams.end(); ++it) {
            if (it->Get() == Config) {
                streams.erase(it);
                return S_OK;
            }
        }
        return E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE RemoveStreamByNumber(WORD Number) override {
        for (auto it = streams.begin(); it != streams.end(); ++it) {
            if ((*it)->stream.Number == Number) {
                streams.erase(it);
                return S_OK;
            }
        }
        return NS_E_NO_STREAM;
    }
    HRESULT STDMETHODCALLTYPE AddStream(IWMStreamConfig*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ReconfigStream(IWMStreamConfig*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateNewStream(REFGUID, IWMStreamConfig**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMutualExclusionCount(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMutualExclusion(DWORD, IWMMutualExclusion**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE RemoveMutualExclusion(IWMMutualExclusion*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE AddMutualExclusion(IWMMutualExclusion*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateNewMutualExclusion(IWMMutualExclusion**) override { return E_NOTIMPL; }

    std::vector<ComPtr<StreamConfig>> streams;
    std::wstring name;
};

}  // namespace

IWMProfile* MakeTestProfile(const std::vector<TestStream>& Streams, const std::wstring& Name) {
    return new Profile(Streams, Name);
}

std::vector<TestStream> TestProfileStreams(IWMProfile* P) {
    std::vector<TestStream> out;
    for (auto& s : static_cast<Profile*>(P)->streams) out.push_back(s->stream);
    return out;
}

class TestProfileManager::Impl : public Counted<IWMProfileManager2> {
public:
    Impl(TestProfileManager& Owner, std::vector<TestSystemProfile> Profiles)
        : owner(Owner), streams(Profiles.empty() ? std::vector<TestStream>{} : Profiles.front().Streams),
          profiles(std::move(Profiles)) {}
    bool Answers(REFIID Iid) override {
        return Iid == IID_IUnknown || Iid == engine::kIID_IWMProfileManager || Iid == engine::kIID_IWMProfileManager2;
    }
    HRESULT STDMETHODCALLTYPE CreateEmptyProfile(WMT_VERSION, IWMProfile**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LoadProfileByID(REFGUID Id, IWMProfile** Out) override {
        owner.LoadedIds.push_back(Id);
        *Out = MakeTestProfile(streams);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE LoadProfileByData(const WCHAR*, IWMProfile**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SaveProfile(IWMProfile*, WCHAR*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetSystemProfileCount(DWORD* Count) override {
        *Count = static_cast<DWORD>(profiles.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE LoadSystemProfile(DWORD Index, IWMProfile** Out) override {
        owner.SystemProfiles.push_back(Index);
        if (Index >= profiles.size()) return E_INVALIDARG;
        *Out = MakeTestProfile(profiles[Index].Streams, profiles[Index].Name);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSystemProfileVersion(WMT_VERSION*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSystemProfileVersion(WMT_VERSION Version) override {
        owner.SystemVersions.push_back(static_cast<DWORD>(Version));
        return S_OK;
    }
    TestProfileManager& owner;
    std::vector<TestStream> streams;
    std::vector<TestSystemProfile> profiles;
};

TestProfileManager::TestProfileManager(std::vector<TestStream> Streams)
    : TestProfileManager(std::vector<TestSystemProfile>(10, TestSystemProfile{L"", std::move(Streams)})) {}
TestProfileManager::TestProfileManager(std::vector<TestSystemProfile> Profiles)
    : impl_(new Impl(*this, std::move(Profiles))) {}
TestProfileManager::~TestProfileManager() { impl_->Release(); }
IWMProfileManager* TestProfileManager::Manager() const { return impl_; }

// One input of the writer: sound (0) or video (1), anything of that kind.
class TestAsfWriter::Pin : public filters::TBCBaseInputPin {
public:
    Pin(TestAsfWriter* Owner, int Index, HRESULT& hr)
        : filters::TBCBaseInputPin("ASF writer pin", Owner, Owner->Lock(), hr, Index == 0 ? L"Audio Input 01" : L"Video Input 01"),
          owner_(Owner), index_(Index) {}
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* Mt) override {
        if (Mt == nullptr) return E_POINTER;
        return Mt->majortype == (index_ == 0 ? MEDIATYPE_Audio : MEDIATYPE_Video) ? S_OK : S_FALSE;
    }
    HRESULT Receive(IMediaSample* Sample) override {
        HRESULT hr = filters::TBCBaseInputPin::Receive(Sample);
        if (hr == S_OK) ++owner_->Samples[index_];
        return hr;
    }

private:
    TestAsfWriter* owner_;
    int index_;
};

struct TestAsfWriter::Sink : IFileSinkFilter {
    explicit Sink(TestAsfWriter& W) : o(W) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override { return o.QueryInterface(Iid, Object); }
    ULONG STDMETHODCALLTYPE AddRef() override { return o.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return o.Release(); }
    HRESULT STDMETHODCALLTYPE SetFileName(LPCOLESTR Name, const AM_MEDIA_TYPE*) override {
        o.FileName = Name;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR*, AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    TestAsfWriter& o;
};

struct TestAsfWriter::Config : engine::IConfigAsfWriter {
    explicit Config(TestAsfWriter& W) : o(W) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override { return o.QueryInterface(Iid, Object); }
    ULONG STDMETHODCALLTYPE AddRef() override { return o.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return o.Release(); }
    HRESULT STDMETHODCALLTYPE ConfigureFilterUsingProfileId(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentProfileId(DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ConfigureFilterUsingProfileGuid(REFGUID) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetCurrentProfileGuid(GUID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ConfigureFilterUsingProfile(IWMProfile* Profile) override {
        if (Profile == nullptr) return E_POINTER;
        o.Profile = Profile;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetCurrentProfile(IWMProfile** Profile) override { return o.Profile.CopyTo(Profile); }
    HRESULT STDMETHODCALLTYPE SetIndexMode(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetIndexMode(BOOL*) override { return E_NOTIMPL; }
    TestAsfWriter& o;
};

TestAsfWriter::TestAsfWriter()
    : filters::TBCBaseFilter("Test ASF writer", nullptr, std::make_unique<filters::TBCCritSec>(), CLSID_WMAsfWriter),
      sink_(std::make_unique<Sink>(*this)), config_(std::make_unique<Config>(*this)) {
    HRESULT hr = S_OK;
    pins_[0] = std::make_unique<Pin>(this, 0, hr);
    pins_[1] = std::make_unique<Pin>(this, 1, hr);
}

TestAsfWriter::~TestAsfWriter() = default;

filters::TBCBasePin* TestAsfWriter::GetPin(int n) { return n == 0 || n == 1 ? pins_[n].get() : nullptr; }

HRESULT TestAsfWriter::NonDelegatingQueryInterface(REFIID Iid, void** Object) {
    if (Iid == IID_IFileSinkFilter) return GetInterface(sink_.get(), Object);
    if (Iid == engine::IID_IConfigAsfWriter) return GetInterface(config_.get(), Object);
    return filters::TBCBaseFilter::NonDelegatingQueryInterface(Iid, Object);
}

AsfWriterRegistration::AsfWriterRegistration()
    : registered_(std::make_unique<engine_test::RegisteredDevice>(
          CLSID_WMAsfWriter,
          [this](REFIID Iid, void** Object) {
              auto* writer = new TestAsfWriter;
              ComPtr<IBaseFilter> held(writer->BaseFilterInterface());
              Last = writer;
              return held->QueryInterface(Iid, Object);
          },
          CLSID_LegacyAmFilterCategory, L"Quillotrane Test ASF Writer")) {}

AsfWriterRegistration::~AsfWriterRegistration() = default;

}  // namespace recording_a
