// The engine tests' shared fixture and device registration.
#include "engine_test_support.h"

#include "engine/graph_pins.h"

namespace engine_test {

// Makes the objects of the class it stands for.
class RegisteredDevice::Factory : public IClassFactory {
public:
    explicit Factory(std::function<HRESULT(REFIID, void**)> Make) : make_(std::move(Make)) {}
    virtual ~Factory() = default;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID Iid, void** Object) override {
        if (Object == nullptr) return E_POINTER;
        *Object = nullptr;
        if (Iid != IID_IUnknown && Iid != IID_IClassFactory) return E_NOINTERFACE;
        *Object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    // Lives as long as its registration object.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* Outer, REFIID Iid, void** Object) override {
        if (Outer != nullptr) return CLASS_E_NOAGGREGATION;
        return make_(Iid, Object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    std::function<HRESULT(REFIID, void**)> make_;
};

RegisteredDevice::RegisteredDevice(const CLSID& Class, const CLSID& MadeFrom, const GUID& Category,
                                   const wchar_t* FriendlyName)
    : RegisteredDevice(
          Class,
          [MadeFrom](REFIID Iid, void** Object) {
              return CoCreateInstance(MadeFrom, nullptr, CLSCTX_INPROC_SERVER, Iid, Object);
          },
          Category, FriendlyName) {}

RegisteredDevice::RegisteredDevice(const CLSID& Class, std::function<HRESULT(REFIID, void**)> Make,
                                   const GUID& Category, const wchar_t* FriendlyName)
    : class_(Class), category_(Category), name_(FriendlyName), factory_(std::make_unique<Factory>(std::move(Make))) {
    EXPECT_HRESULT_SUCCEEDED(CoRegisterClassObject(class_, factory_.get(), CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_));
    Register();
}

void RegisteredDevice::Register() {
    if (listed_) return;
    ComPtr<IFilterMapper2> mapper = quill_test::Create<IFilterMapper2>(CLSID_FilterMapper2);
    ASSERT_TRUE(mapper);
    REGFILTER2 filter{};
    filter.dwVersion = 1;
    filter.dwMerit = MERIT_DO_NOT_USE;
    filter.cPins = 0;
    filter.rgPins = nullptr;
    ASSERT_HRESULT_SUCCEEDED(mapper->RegisterFilter(class_, name_.c_str(), nullptr, &category_, nullptr, &filter));
    listed_ = true;
}

void RegisteredDevice::Unregister() {
    if (listed_) {
        ComPtr<IFilterMapper2> mapper = quill_test::Create<IFilterMapper2>(CLSID_FilterMapper2);
        if (mapper) mapper->UnregisterFilter(&category_, nullptr, class_);
        listed_ = false;
    }
}

RegisteredDevice::~RegisteredDevice() {
    Unregister();
    if (cookie_ != 0) CoRevokeClassObject(cookie_);
}

void EngineTest::SetUp() {
    module = std::make_unique<engine::Tdm>(nullptr);
    sink = new first_standins::RecordingSink;
    sinkFilter = sink->Filter();
    ASSERT_HRESULT_SUCCEEDED(module->Graph()->AddFilter(sinkFilter.Get(), L"Video Renderer"));
    EXPECT_TRUE(module->AttachRenderers(sinkFilter.Get())) << "no DirectSound renderer";
    videoDevices = std::make_unique<engine::TCaptureDeviceList>();
    audioDevices = std::make_unique<engine::TCaptureDeviceList>();
    videoSources = std::make_unique<engine::TvideoSourcesList>();
    audioSources = std::make_unique<engine::TAudioSourcesList>();
    Enumerate();
}

void EngineTest::TearDown() {
    // The data module goes first: it tears down the current sources, whose devices still exist.
    module.reset();
    sinkFilter.Reset();
    videoSources.reset();
    audioSources.reset();
    videoDevices.reset();
    audioDevices.reset();
}

void EngineTest::Enumerate() {
    EXPECT_TRUE(videoDevices->Refresh(CLSID_VideoInputDeviceCategory));
    EXPECT_TRUE(audioDevices->Refresh(CLSID_AudioInputDeviceCategory));
    engine::FillSourceLists(*videoDevices, *audioDevices, *videoSources, *audioSources);
}

bool EngineTest::InGraph(const std::wstring& Name) {
    for (const std::wstring& name : FilterNames())
        if (name == Name) return true;
    return false;
}

bool EngineTest::RunUntilFrames(int Count) {
    const int start = sink->Frames.load();
    if (!module->RunGraph()) return false;
    return PumpUntil([&] { return sink->Frames.load() >= start + Count; });
}

}  // namespace engine_test
