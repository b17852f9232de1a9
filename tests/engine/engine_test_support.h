// What the capture engine tests share: the engine's and the filters' hosts with two camcorder
// windows, a data module with a recording sink as its video renderer and the two device lists,
// devices registered for one test and removed again, and waiting with the messages pumped.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/capture_data_module.h"
#include "engine/capture_devices.h"
#include "engine/capture_sources.h"
#include "engine/engine_host.h"
#include "engine/graph_pins.h"
#include "engine/sound_preview.h"
#include "engine/video_preview.h"
#include "filters_test_host.h"
#include "graph_helpers.h"
#include "tests/standins/first_standins_support.h"

namespace engine_test {

using Microsoft::WRL::ComPtr;

inline const wchar_t kCamera[] = L"Quillotrane Test Camera";
inline const wchar_t kMicrophone[] = L"Quillotrane Test Microphone";
inline const wchar_t kCamcorder[] = L"Quillotrane Test DV Camcorder";

class TestCamWindow : public engine::ICamWindow {
public:
    void SetCaption(const std::wstring& Caption) override {
        caption = Caption;
        if (onCaption) onCaption();
    }
    bool ShowFlag() override { return showFlag; }
    void SetVisible(bool Visible) override { visible = Visible; }
    IAMExtTransport* Transport() override { return transport.Get(); }
    void SetTransport(IAMExtTransport* Transport) override { transport = Transport; }
    void SetHasTransport(bool Value) override { hasTransport = Value; }
    void SetTimecodeReader(IAMTimecodeReader* Reader) override { reader = Reader; }
    void SetHasTimecode(bool Value) override { hasTimecode = Value; }
    bool StopOnLeave() override { return stopOnLeave; }
    void TransportStop() override { ++stops; }

    std::wstring caption;
    bool showFlag = true;
    bool visible = false;
    bool hasTransport = false;
    bool hasTimecode = false;
    bool stopOnLeave = true;
    int stops = 0;
    ComPtr<IAMExtTransport> transport;
    ComPtr<IAMTimecodeReader> reader;
    std::function<void()> onCaption;  // a message loop run while the caption is set
};

class TestEngineHost : public engine::IEngineHost {
public:
    TestEngineHost() { engine::SetEngineHost(this); }
    ~TestEngineHost() override { engine::SetEngineHost(nullptr); }
    HWND MainWindowHandle() override { return nullptr; }
    void SetVideoLabel(const std::wstring& Caption) override { labels.push_back(Caption); }
    engine::ICamWindow* CamWindow(int Index) override { return Index == 0 ? &cam[0] : Index == 1 ? &cam[1] : nullptr; }
    void ForgetCamForm(engine::ICamWindow* Window) override { forgotten.push_back(Window); }

    std::vector<std::wstring> labels;
    TestCamWindow cam[2];
    std::vector<engine::ICamWindow*> forgotten;
};

// Pumps the thread's messages until Done or the timeout (ms); answers Done().
inline bool PumpUntil(const std::function<bool()>& Done, DWORD TimeoutMs = 15000) {
    return first_standins::PumpUntil(Done, TimeoutMs) || Done();
}

// A device class of this test process, listed in a device category under a friendly name of its
// own, whose objects are made by another class (a stand-in device): a second device of a kind.
class RegisteredDevice {
public:
    RegisteredDevice(const CLSID& Class, const CLSID& MadeFrom, const GUID& Category, const wchar_t* FriendlyName);
    // Objects made by Make (an object of this test's own).
    RegisteredDevice(const CLSID& Class, std::function<HRESULT(REFIID, void**)> Make, const GUID& Category,
                     const wchar_t* FriendlyName);
    ~RegisteredDevice();
    RegisteredDevice(const RegisteredDevice&) = delete;
    RegisteredDevice& operator=(const RegisteredDevice&) = delete;
    void Register();
    void Unregister();

private:
    class Factory;
    CLSID class_;
    GUID category_;
    std::wstring name_;
    DWORD cookie_ = 0;
    bool listed_ = false;
    std::unique_ptr<Factory> factory_;
};

// COM on the main thread, both hosts, the data module with a recording sink as its video renderer
// and the video and sound device lists refreshed.
class EngineTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Refreshes both lists and rebuilds the source lists.
    void Enumerate();
    engine::TVideoSource* Video(const std::wstring& Name) { return videoSources->Find(Name); }
    engine::TAudioSource* Audio(const std::wstring& Name) { return audioSources->Find(Name); }
    std::vector<std::wstring> FilterNames() { return engine::GraphFilterNames(module->Graph().Get()); }
    bool InGraph(const std::wstring& Name);
    // Frames at the renderer end once the graph runs: waits for Count more.
    bool RunUntilFrames(int Count);

    first_standins::ComScope com;
    quill_test::TestFiltersHost filtersHost;
    TestEngineHost host;
    std::unique_ptr<engine::Tdm> module;
    first_standins::RecordingSink* sink = nullptr;
    ComPtr<IBaseFilter> sinkFilter;
    std::unique_ptr<engine::TCaptureDeviceList> videoDevices;
    std::unique_ptr<engine::TCaptureDeviceList> audioDevices;
    std::unique_ptr<engine::TvideoSourcesList> videoSources;
    std::unique_ptr<engine::TAudioSourcesList> audioSources;
};

}  // namespace engine_test
