// Capture plug-ins with a plug-in DLL built by the tests (it logs its calls): listed from the
// plug-in folder, driving its device instead of the classification, previewed and recorded from,
// found again by its moniker, let go at the end; and plug-ins that answer nonsense, lack exports or
// fault, which are refused or stopped with their reason while the program goes on.
#include "recording_b_support.h"

#include <fstream>
#include <set>
#include <sstream>

#include "classlib/message_box.h"
#include "engine/plugins.h"
#include "engine/recording_branch.h"
#include "platform/standins/test_camera.h"

namespace recording_b {
namespace {

const CLSID kDeviceClass = {0x6a1e2301, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x40}};

class Plugins : public RecordingTest {
protected:
    void SetUp() override {
        RecordingTest::SetUp();
        plugins = folder / L"plugins";
        std::filesystem::create_directories(plugins);
        log = folder / L"plugin.log";
        SetEnvironmentVariableW(L"QUILL_TEST_PLUGIN_LOG", log.c_str());
        previousBox = classlib::SetMessageBoxFunction([this](HWND, const std::wstring& Text, const std::wstring&, UINT) {
            boxes.push_back(Text);
            return IDOK;
        });
        videoDevices->SetPlugins(&list);
        audioDevices->SetPlugins(&list);
    }
    void TearDown() override {
        // The devices go with their lists (the data module first): the plug-ins are let go then.
        RecordingTest::TearDown();
        devices.clear();
        classlib::SetMessageBoxFunction(previousBox);
        SetEnvironmentVariableW(L"QUILL_TEST_PLUGIN_LOG", nullptr);
    }
    // Copies the test plug-in built as Built into the plug-in folder as Name, and lists the device
    // it drives (a test camera; with Exclusive, one that cannot be opened again while in use).
    std::filesystem::path Install(const char* Built, const wchar_t* Name, const wchar_t* Device,
                                  bool Exclusive = false) {
        wchar_t exe[MAX_PATH];
        GetModuleFileNameW(nullptr, exe, MAX_PATH);
        const std::filesystem::path target = plugins / Name;
        std::filesystem::copy_file(std::filesystem::path(exe).parent_path() / Built, target);
        CLSID id = kDeviceClass;
        id.Data1 += static_cast<unsigned long>(devices.size());
        auto make = [this, Exclusive](REFIID Iid, void** Object) {
            if (Exclusive && opened) {
                opened->AddRef();
                if (opened->Release() > 1) return HRESULT_FROM_WIN32(ERROR_BUSY);
            }
            ComPtr<IUnknown> camera;
            const HRESULT hr = CoCreateInstance(standins::CLSID_QuillTestCamera, nullptr, CLSCTX_INPROC_SERVER,
                                                IID_IUnknown, reinterpret_cast<void**>(camera.GetAddressOf()));
            if (FAILED(hr)) return hr;
            opened = camera;
            return camera->QueryInterface(Iid, Object);
        };
        devices.push_back(
            std::make_unique<engine_test::RegisteredDevice>(id, make, CLSID_VideoInputDeviceCategory, Device));
        return target;
    }
    std::vector<std::string> Calls(const std::string& Stem) {
        std::vector<std::string> calls;
        std::ifstream in(log);
        std::string line;
        while (std::getline(in, line))
            if (line.rfind(Stem + " ", 0) == 0) calls.push_back(line.substr(Stem.size() + 1));
        return calls;
    }
    int Count(const std::string& Stem, const std::string& Call) {
        int n = 0;
        for (const std::string& call : Calls(Stem)) n += call.rfind(Call, 0) == 0;
        return n;
    }
    engine::TCaptureDevice* DeviceNamed(const std::wstring& FriendlyName) {
        for (int i = 0; i < videoDevices->Count(); ++i)
            if (videoDevices->Get(i)->FriendlyName == FriendlyName) return videoDevices->Get(i);
        return nullptr;
    }
    engine::TpluginData* Entry(const std::wstring& DriverName) { return list.Get(list.IndexOf(DriverName)); }

    std::filesystem::path plugins;
    std::filesystem::path log;
    engine::TpluginList list;
    ComPtr<IUnknown> opened;  // the camera object made last
    std::vector<std::unique_ptr<engine_test::RegisteredDevice>> devices;
    std::vector<std::wstring> boxes;
    classlib::TMessageBoxFunction previousBox;
};

TEST_F(Plugins, APluginIsListedDrivesItsDevicePreviewsRecordsAndIsLetGo) {
    const auto dll = Install(QUILL_TEST_PLUGIN_FULL, L"good.pcf", L"Quillotrane Plugin Camera");
    std::ofstream(plugins / L"notes.pcf") << "not a library";
    std::filesystem::create_directories(plugins / L"folder.pcf");
    engine::LoadPluginList(list, plugins.wstring());
    ASSERT_EQ(1, list.Count()) << "only the library is listed";
    EXPECT_EQ(L"Quillotrane Plugin Camera", list.Get(0)->DriverName);
    EXPECT_EQ(dll.wstring(), list.Get(0)->DllPath);
    EXPECT_EQ(nullptr, GetModuleHandleW(dll.c_str())) << "unloaded after the listing";
    EXPECT_EQ((std::vector<std::string>{"pi_drivername 65537"}), Calls("good.pcf"));

    Enumerate();
    auto* device = dynamic_cast<engine::TPlugInCaptureDevice*>(DeviceNamed(L"Quillotrane Plugin Camera"));
    ASSERT_NE(nullptr, device) << "the plug-in drives it, not the classification";
    EXPECT_TRUE(device->Loaded);
    EXPECT_EQ(engine::kKindPlugIn, device->Kind);
    EXPECT_EQ(L"Plugin Camera", device->DisplayName);
    EXPECT_EQ(1, device->VideoCount);
    EXPECT_EQ(0, device->AudioCount);
    EXPECT_TRUE(device->Problem().empty());

    engine::TVideoSource* source = Video(L"Plugin Camera");
    ASSERT_NE(nullptr, source);
    ASSERT_TRUE(source->BuildGraph()) << Links();
    EXPECT_EQ(5, device->FirstNativeFormat);
    EXPECT_EQ(1, device->SecondNativeFormat);
    EXPECT_TRUE(InGraph(L"pi_source") && InGraph(L"pi_tee"));
    ASSERT_TRUE(RunUntilFrames(10));

    // The device's own recording (format 1): the plug-in's AVI.
    module->fg->Stop();
    const std::wstring file = FileName(L".avi");
    ASSERT_TRUE(device->BuildMuxGraph(file));
    const int frames = sink->Frames.load();
    ASSERT_TRUE(Record([&] { return sink->Frames.load() >= frames + 25; }));
    EXPECT_TRUE(device->KillMuxGraph());
    const quill_test::TMediaProbe probe = quill_test::Probe(file);
    ASSERT_TRUE(probe.Ok()) << probe.Run.Failure << probe.Run.Err;
    EXPECT_EQ("avi", probe.Get("format.format_name"));
    EXPECT_EQ(1, probe.StreamCount());
    EXPECT_GE(probe.StreamNumber(0, "nb_read_packets"), 20);

    // Found again by its moniker: the same device, no second instance.
    Enumerate();
    EXPECT_EQ(device, DeviceNamed(L"Quillotrane Plugin Camera"));
    EXPECT_EQ(1, Count("good.pcf", "pi_create"));

    const std::vector<std::string> calls = Calls("good.pcf");
    const std::vector<std::string> opening(calls.begin(), calls.begin() + std::min<size_t>(8, calls.size()));
    EXPECT_EQ((std::vector<std::string>{"pi_drivername 65537", "pi_drivername 65537", "pi_friendlyname", "pi_create",
                                        "pi_sourcefilter", "pi_nbfluxvideo", "pi_nbfluxaudio", "pi_setsourcegraph"}),
              opening);
    EXPECT_EQ(1, Count("good.pcf", "pi_setvideograph 1"));
    std::string narrow(file.begin(), file.end());
    EXPECT_EQ(1, Count("good.pcf", "pi_buildmuxgraph " + narrow));
    EXPECT_EQ(1, Count("good.pcf", "pi_killmuxgraph"));

    // The end: the branches go, then the instance, then the library.
    module.reset();
    videoDevices.reset();
    EXPECT_EQ(1, Count("good.pcf", "pi_killvideograph"));
    EXPECT_EQ(1, Count("good.pcf", "pi_killsourcegraph"));
    EXPECT_EQ("pi_destroy", Calls("good.pcf").back());
    EXPECT_EQ(nullptr, GetModuleHandleW(dll.c_str())) << "unloaded with its device";
    EXPECT_TRUE(boxes.empty());
}

TEST_F(Plugins, NativeFormatsOutsideTheKnownOnesAreReadAsNone) {
    Install(QUILL_TEST_PLUGIN_FULL, L"badformats.pcf", L"Quillotrane Plugin Bad Formats");
    engine::LoadPluginList(list, plugins.wstring() + L"\\");
    Enumerate();
    engine::TCaptureDevice* device = DeviceNamed(L"Quillotrane Plugin Bad Formats");
    ASSERT_NE(nullptr, device);
    ASSERT_TRUE(Video(L"Plugin Bad Formats")->BuildGraph());
    EXPECT_EQ(0, device->FirstNativeFormat) << "200 is no capture format";
    EXPECT_EQ(0, device->SecondNativeFormat) << "13 is no capture format";
    EXPECT_TRUE(RunUntilFrames(5)) << "the preview works all the same";
}

TEST_F(Plugins, PluginsThatFaultOrAnswerNonsenseAreRefusedWithTheirReason) {
    const auto crash = Install(QUILL_TEST_PLUGIN_FULL, L"crashcreate.pcf", L"Quillotrane Plugin Crash Create");
    Install(QUILL_TEST_PLUGIN_FULL, L"garbage.pcf", L"Quillotrane Plugin Garbage");
    const auto faulty = Install(QUILL_TEST_PLUGIN_FULL, L"faulty.pcf", L"Quillotrane Plugin Faulty");
    engine::LoadPluginList(list, plugins.wstring());
    ASSERT_EQ(3, list.Count());
    Enumerate();

    // Refused while being set up: not listed, its entry disabled with the reason.
    EXPECT_EQ(nullptr, DeviceNamed(L"Quillotrane Plugin Crash Create")) << "not classified as a camera either";
    ASSERT_NE(nullptr, Entry(L"Quillotrane Plugin Crash Create"));
    EXPECT_FALSE(Entry(L"Quillotrane Plugin Crash Create")->Enabled);
    EXPECT_NE(std::wstring::npos, Entry(L"Quillotrane Plugin Crash Create")->Problem.find(L"pi_create caused an access violation"))
        << Entry(L"Quillotrane Plugin Crash Create")->Problem;
    EXPECT_EQ(nullptr, DeviceNamed(L"Quillotrane Plugin Garbage"));
    EXPECT_FALSE(Entry(L"Quillotrane Plugin Garbage")->Enabled);
    EXPECT_EQ(L"pi_sourcefilter wrote a filter record that cannot be read", Entry(L"Quillotrane Plugin Garbage")->Problem);
    EXPECT_EQ("pi_destroy", Calls("garbage.pcf").back()) << "refused after it gave an instance: the instance goes";
    EXPECT_EQ(1, Count("garbage.pcf", "pi_destroy"));
    EXPECT_TRUE(boxes.empty()) << "nothing is shown while the devices are listed";

    // Stopped while in use: the preview fails, the user is told once, the plug-in is not called again.
    auto* device = dynamic_cast<engine::TPlugInCaptureDevice*>(DeviceNamed(L"Quillotrane Plugin Faulty"));
    ASSERT_NE(nullptr, device);
    engine::TVideoSource* source = Video(L"Plugin Faulty");
    EXPECT_FALSE(source->BuildGraph());
    EXPECT_TRUE(device->Stopped());
    EXPECT_FALSE(InGraph(L"pi_source")) << "the source it put in the graph leaves without it";
    EXPECT_NE(std::wstring::npos, device->Problem().find(L"pi_setvideograph caused an access violation"));
    ASSERT_EQ(1u, boxes.size());
    EXPECT_NE(std::wstring::npos, boxes[0].find(L"faulty.pcf"));
    EXPECT_FALSE(source->BuildGraph());
    EXPECT_EQ(1, Count("faulty.pcf", "pi_setvideograph"));
    EXPECT_EQ(1u, boxes.size());

    // The program goes on: another device previews.
    ASSERT_TRUE(Video(engine_test::kCamera)->BuildGraph());
    EXPECT_TRUE(RunUntilFrames(5));
    module.reset();
    videoDevices.reset();
    EXPECT_EQ(0, Count("faulty.pcf", "pi_destroy")) << "a plug-in that faulted is not called again";
    EXPECT_NE(nullptr, GetModuleHandleW(faulty.c_str())) << "nor unloaded: its objects may still be in use";
    EXPECT_NE(nullptr, GetModuleHandleW(crash.c_str()));
}

TEST_F(Plugins, APluginStoppedForNonsenseTakesItsBranchesDownAndIsDestroyed) {
    const auto dll = Install(QUILL_TEST_PLUGIN_FULL, L"badrecord.pcf", L"Quillotrane Plugin Bad Record");
    engine::LoadPluginList(list, plugins.wstring());
    Enumerate();
    auto* device = dynamic_cast<engine::TPlugInCaptureDevice*>(DeviceNamed(L"Quillotrane Plugin Bad Record"));
    ASSERT_NE(nullptr, device);
    const auto before = Names();
    EXPECT_FALSE(Video(L"Plugin Bad Record")->BuildGraph());
    EXPECT_TRUE(device->Stopped());
    EXPECT_EQ(L"pi_setvideograph wrote a filter record of an unknown size", device->Problem());
    EXPECT_EQ(1u, boxes.size());
    // What it had built before the nonsense is taken down through its own exports.
    EXPECT_FALSE(InGraph(L"pi_tee"));
    EXPECT_FALSE(InGraph(L"pi_source"));
    EXPECT_EQ(before, Names());
    EXPECT_EQ(1, Count("badrecord.pcf", "pi_killvideograph"));
    EXPECT_EQ(1, Count("badrecord.pcf", "pi_killsourcegraph"));
    EXPECT_FALSE(Video(L"Plugin Bad Record")->BuildGraph());
    EXPECT_EQ(1, Count("badrecord.pcf", "pi_setvideograph")) << "nothing is built with it any more";
    module.reset();
    videoDevices.reset();
    EXPECT_EQ("pi_destroy", Calls("badrecord.pcf").back()) << "its instance goes before its library";
    EXPECT_EQ(nullptr, GetModuleHandleW(dll.c_str()));
}

TEST_F(Plugins, APluginWithoutASourceMonikerKeepsItsNumberAndPreviewAcrossRefreshes) {
    // A device that cannot be opened a second time while the preview uses it.
    Install(QUILL_TEST_PLUGIN_FULL, L"nomoniker.pcf", L"Quillotrane Plugin No Moniker", true);
    engine::LoadPluginList(list, plugins.wstring());
    Enumerate();
    engine::TCaptureDevice* device = DeviceNamed(L"Quillotrane Plugin No Moniker");
    ASSERT_NE(nullptr, device);
    engine::TVideoSource* source = Video(L"Plugin No Moniker");
    ASSERT_NE(nullptr, source);
    ASSERT_TRUE(source->BuildGraph()) << Links();
    // The refresh button, or a device-change notice: a new device appears beside it.
    engine_test::RegisteredDevice other({0x6a1e2380, 0x5c2b, 0x4f6a, {0x9d, 0x47, 0x7e, 0x4a, 0x1b, 0x2c, 0x3d, 0x41}},
                                        standins::CLSID_QuillTestCamera, CLSID_VideoInputDeviceCategory,
                                        L"Quillotrane Plugged Camera");
    for (int refresh = 0; refresh < 2; ++refresh) Enumerate();
    EXPECT_EQ(device, DeviceNamed(L"Quillotrane Plugin No Moniker")) << "found again by its listed moniker";
    EXPECT_EQ(1, device->Number);
    EXPECT_EQ(L"Plugin No Moniker", device->DisplayName);
    EXPECT_EQ(1, Count("nomoniker.pcf", "pi_create"));
    EXPECT_EQ(source, module->CurrentVideoSource) << "its preview stays";
    EXPECT_TRUE(source->Active);
    EXPECT_EQ(source, Video(L"Plugin No Moniker"));
    // The next recording taps the preview's native tee, as before the refresh.
    module->fg->Stop();
    const std::wstring file = FileName(L".avi");
    ASSERT_TRUE(module->BuildAviNativeGraph(file)) << engine::LastRecordingBuildError();
    const int frames = sink->Frames.load();
    ASSERT_TRUE(Record([&] { return sink->Frames.load() >= frames + 20; }));
    const quill_test::TMediaProbe probe = quill_test::Probe(file);
    ASSERT_TRUE(probe.Ok()) << probe.Run.Failure << probe.Run.Err;
    EXPECT_GE(probe.StreamNumber(0, "nb_read_packets"), 15);
}

TEST_F(Plugins, APluginWithoutItsGraphExportsListsItsDeviceButCannotPreviewIt) {
    Install(QUILL_TEST_PLUGIN_SPARSE, L"sparse.pcf", L"Quillotrane Plugin Sparse");
    engine::LoadPluginList(list, plugins.wstring());
    Enumerate();
    auto* device = dynamic_cast<engine::TPlugInCaptureDevice*>(DeviceNamed(L"Quillotrane Plugin Sparse"));
    ASSERT_NE(nullptr, device);
    EXPECT_TRUE(device->Loaded);
    engine::TVideoSource* source = Video(L"Plugin Sparse");
    ASSERT_NE(nullptr, source);
    EXPECT_FALSE(source->BuildGraph()) << "no end pin";
    EXPECT_FALSE(device->Stopped()) << "a missing export is no fault";
    EXPECT_FALSE(device->BuildMuxGraph(FileName(L".avi")));
    EXPECT_TRUE(boxes.empty());
}

TEST(PluginList, FindsEntriesByExactNameOnly) {
    engine::TpluginList list;
    list.Add(std::make_unique<engine::TpluginData>(L"Cam", L"a.pcf"));
    list.Add(std::make_unique<engine::TpluginData>(L"Cam", L"b.pcf"));
    EXPECT_EQ(0, list.IndexOf(L"Cam"));
    EXPECT_EQ(-1, list.IndexOf(L"cam")) << "case-sensitive";
    EXPECT_EQ(nullptr, list.Get(2));
    EXPECT_EQ(nullptr, list.CreateDevice(L"Other", 1)) << "no plug-in drives it";
    std::unique_ptr<engine::TCaptureDevice> device = list.CreateDevice(L"Cam", 1);
    ASSERT_NE(nullptr, device) << "the plug-in's device, even when its library is missing";
    EXPECT_FALSE(device->Loaded);
    EXPECT_FALSE(list.Get(0)->Problem.empty());
    engine::LoadPluginList(list, L"C:\\no such folder");
    EXPECT_EQ(0, list.Count());
}

}  // namespace
}  // namespace recording_b
