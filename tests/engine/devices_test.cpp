// Devices in Wine with the stand-in devices: classification, the device list across refreshes
// with devices registered and removed between them, source names and the branch-free operations.
#include "engine_test_support.h"

#include "engine/device_classes.h"
#include "engine/dv_device.h"
#include "engine/sound_device.h"
#include "engine/video_device.h"
#include "platform/standins/dv_camcorder.h"
#include "platform/standins/test_camera.h"
#include "platform/standins/test_microphone.h"

namespace engine_test {
namespace {

// Two more cameras of one model, listed only while a test holds them.
const CLSID kCameraA = {0x7e1d2a01, 0x44c3, 0x4d8e, {0x9a, 0x10, 0x3b, 0x52, 0x6e, 0x01, 0xaa, 0x01}};
const CLSID kCameraB = {0x7e1d2a01, 0x44c3, 0x4d8e, {0x9a, 0x10, 0x3b, 0x52, 0x6e, 0x01, 0xaa, 0x02}};
const wchar_t kTwin[] = L"Quillotrane Engine Twin Camera";

ComPtr<IMoniker> MonikerOf(const GUID& Category, const std::wstring& Name) {
    for (const ComPtr<IMoniker>& moniker : engine::CategoryMonikers(Category))
        if (engine::MonikerFriendlyName(moniker.Get()) == Name) return moniker;
    return nullptr;
}

int CountNamed(const engine::TCaptureDeviceList& List, const std::wstring& FriendlyName) {
    int n = 0;
    for (int i = 0; i < List.Count(); ++i)
        if (List.Get(i)->FriendlyName == FriendlyName) ++n;
    return n;
}

engine::TCaptureDevice* Named(const engine::TCaptureDeviceList& List, const std::wstring& DisplayName) {
    for (int i = 0; i < List.Count(); ++i)
        if (List.Get(i)->DisplayName == DisplayName) return List.Get(i);
    return nullptr;
}

using DeviceList = EngineTest;

TEST_F(DeviceList, ClassifiesEachStandInAndLeavesNoProbeBehind) {
    EXPECT_EQ(engine::kClassVideo, engine::ClassifyDevice(MonikerOf(CLSID_VideoInputDeviceCategory, kCamera).Get()));
    EXPECT_EQ(engine::kClassDV, engine::ClassifyDevice(MonikerOf(CLSID_VideoInputDeviceCategory, kCamcorder).Get()));
    EXPECT_EQ(engine::kClassSound, engine::ClassifyDevice(MonikerOf(CLSID_AudioInputDeviceCategory, kMicrophone).Get()));
    // A listed class that no server makes cannot be bound.
    ComPtr<IMoniker> unbindable = engine::MonikerFromDisplayName(
        L"@device:sw:{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\{0BADC0DE-0000-4000-8000-000000000001}");
    ASSERT_TRUE(unbindable);
    const size_t before = FilterNames().size();
    EXPECT_EQ(engine::kClassNone, engine::ClassifyDevice(unbindable.Get()));
    EXPECT_EQ(engine::kClassNone, engine::ClassifyDevice(nullptr));
    EXPECT_EQ(before, FilterNames().size());
    EXPECT_FALSE(InGraph(L"test"));
}

TEST_F(DeviceList, FindsTheStandInsWithTheirStreamsAndNativeFormats) {
    engine::TCaptureDevice* camera = Named(*videoDevices, kCamera);
    ASSERT_NE(nullptr, camera);
    EXPECT_EQ(engine::kKindVideo, camera->Kind);
    EXPECT_TRUE(camera->Loaded);
    EXPECT_EQ(1, camera->VideoCount);
    EXPECT_EQ(0, camera->AudioCount);
    EXPECT_EQ(5, camera->FirstNativeFormat);
    engine::TCaptureDevice* dv = Named(*videoDevices, L"DV Source");
    ASSERT_NE(nullptr, dv) << "the camcorder is named DV Source whatever its friendly name";
    EXPECT_EQ(std::wstring(kCamcorder), dv->FriendlyName);
    EXPECT_EQ(engine::kKindDV, dv->Kind);
    EXPECT_EQ(1, dv->VideoCount);
    EXPECT_EQ(1, dv->AudioCount);
    EXPECT_EQ(1, dv->FirstNativeFormat);
    EXPECT_EQ(2, dv->SecondNativeFormat);
    engine::TCaptureDevice* mic = Named(*audioDevices, kMicrophone);
    ASSERT_NE(nullptr, mic);
    EXPECT_EQ(engine::kKindSound, mic->Kind);
    EXPECT_EQ(0, mic->VideoCount);
    EXPECT_EQ(1, mic->AudioCount);
    // A sound device writes no native file.
    EXPECT_FALSE(mic->BuildMuxGraph(L"x.avi"));
    EXPECT_FALSE(mic->KillMuxGraph());
    EXPECT_EQ(nullptr, videoDevices->Get(-1));
    EXPECT_EQ(nullptr, videoDevices->Get(videoDevices->Count()));
}

TEST_F(DeviceList, RefreshKeepsDevicesAndNumbersAcrossPlugsAndUnplugs) {
    auto a = std::make_unique<RegisteredDevice>(kCameraA, standins::CLSID_QuillTestCamera, CLSID_VideoInputDeviceCategory, kTwin);
    auto b = std::make_unique<RegisteredDevice>(kCameraB, standins::CLSID_QuillTestCamera, CLSID_VideoInputDeviceCategory, kTwin);
    Enumerate();
    ASSERT_EQ(2, CountNamed(*videoDevices, kTwin));
    engine::TCaptureDevice* first = Named(*videoDevices, kTwin);
    engine::TCaptureDevice* second = Named(*videoDevices, std::wstring(kTwin) + L" #2");
    ASSERT_NE(nullptr, first);
    ASSERT_NE(nullptr, second);
    const int count = videoDevices->Count();

    // Found again: the same objects, nothing added.
    Enumerate();
    EXPECT_EQ(count, videoDevices->Count());
    EXPECT_EQ(first, Named(*videoDevices, kTwin));
    EXPECT_EQ(second, Named(*videoDevices, std::wstring(kTwin) + L" #2"));

    // The first one unplugged: the second keeps its number and name.
    const std::wstring firstMoniker =
        engine::MonikerDisplayName(first->SourceFilter->BaseFilter()->GetMoniker().Get());
    const bool firstIsA = firstMoniker.find(L"7E1D2A01-44C3-4D8E-9A10-3B526E01AA01") != std::wstring::npos ||
                          firstMoniker.find(L"7e1d2a01-44c3-4d8e-9a10-3b526e01aa01") != std::wstring::npos;
    (firstIsA ? a : b)->Unregister();
    Enumerate();
    EXPECT_EQ(1, CountNamed(*videoDevices, kTwin));
    EXPECT_EQ(second, Named(*videoDevices, std::wstring(kTwin) + L" #2"));
    EXPECT_EQ(2, second->Number);

    // Plugged back: a new device with the free number 1.
    (firstIsA ? a : b)->Register();
    Enumerate();
    ASSERT_EQ(2, CountNamed(*videoDevices, kTwin));
    engine::TCaptureDevice* back = Named(*videoDevices, kTwin);
    ASSERT_NE(nullptr, back);
    EXPECT_EQ(1, back->Number);
    EXPECT_EQ(second, Named(*videoDevices, std::wstring(kTwin) + L" #2"));

    // Both gone: the list loses them and the refresh still succeeds.
    a.reset();
    b.reset();
    Enumerate();
    EXPECT_EQ(0, CountNamed(*videoDevices, kTwin));
    EXPECT_EQ(count - 2, videoDevices->Count());
}

// A device that answers no source filter, as a plug-in's may: it must not hide the devices after it.
class NoFilterDevice : public engine::TCaptureDevice {
public:
    NoFilterDevice() : engine::TCaptureDevice(L"No Filter", 1, L"No Filter") { Loaded = true; }
    void SetVideoGraph(int) override {}
    ComPtr<IPin> SetAudioGraph(int) override { return nullptr; }
    void KillVideoGraph() override {}
    void KillAudioGraph() override {}
    dshow::TFilter* SetSourceGraph() override { return nullptr; }
    void KillSourceGraph() override {}
    bool BuildMuxGraph(const std::wstring&) override { return false; }
    bool KillMuxGraph() override { return false; }
};

TEST(DeviceListAlone, OneDeviceWithoutAFilterDoesNotHideTheOthers) {
    first_standins::ComScope com;
    engine::Tdm module(nullptr);
    module.AttachRenderers(nullptr);
    engine::TCaptureDeviceList list;
    list.Append(std::make_unique<NoFilterDevice>());
    ComPtr<IMoniker> camera = MonikerOf(CLSID_VideoInputDeviceCategory, kCamera);
    ASSERT_TRUE(camera);
    engine::TCaptureDevice* known = list.Append(std::make_unique<engine::TVideoCaptureDevice>(camera.Get(), 1, kCamera));
    EXPECT_EQ(1, list.IndexOfMoniker(camera.Get()));
    EXPECT_EQ(-1, list.IndexOfMoniker(nullptr));
    // Refreshed with the filterless device still in front: the camera is found, not made twice.
    ASSERT_TRUE(list.Refresh(CLSID_VideoInputDeviceCategory));
    EXPECT_EQ(1, CountNamed(list, kCamera));
    EXPECT_EQ(known, Named(list, kCamera));
    EXPECT_EQ(1, CountNamed(list, kCamcorder));
    EXPECT_EQ(0, CountNamed(list, L"No Filter")) << "not listed by the system: out of the list";
}

TEST_F(DeviceList, SourcesAreNamedAfterTheirDevicesAndNeverTwice) {
    EXPECT_NE(nullptr, Video(kCamera)) << "a device with video only gives its own name";
    EXPECT_NE(nullptr, Video(L"DV Source - Video"));
    EXPECT_NE(nullptr, Audio(L"DV Source - Audio"));
    EXPECT_NE(nullptr, Audio(kMicrophone));
    EXPECT_EQ(nullptr, videoSources->Get(-1));
    EXPECT_EQ(nullptr, videoSources->Get(videoSources->Count()));

    // Out of range: an empty source without a device.
    engine::TCaptureDevice* camera = Named(*videoDevices, kCamera);
    engine::TVideoSource none(camera, 2);
    EXPECT_EQ(nullptr, none.Device);
    EXPECT_TRUE(none.Name.empty());

    // A second stream and a second device of one name both come out as "X #2": the list keeps
    // the names apart.
    camera->VideoCount = 2;
    auto twin = std::make_unique<NoFilterDevice>();
    twin->FriendlyName = camera->FriendlyName;
    twin->DisplayName = std::wstring(kCamera) + L" #2";
    twin->VideoCount = 1;
    engine::TCaptureDevice* second = videoDevices->Append(std::move(twin));
    engine::FillSourceLists(*videoDevices, *audioDevices, *videoSources, *audioSources);
    engine::TVideoSource* stream2 = Video(std::wstring(kCamera) + L" #2");
    engine::TVideoSource* device2 = Video(std::wstring(kCamera) + L" #2 (2)");
    ASSERT_NE(nullptr, stream2);
    ASSERT_NE(nullptr, device2);
    EXPECT_EQ(camera, stream2->Device);
    EXPECT_EQ(2, stream2->Index);
    EXPECT_EQ(second, device2->Device);
    // Rebuilt lists keep their source objects.
    engine::TVideoSource* kept = Video(kCamera);
    engine::FillSourceLists(*videoDevices, *audioDevices, *videoSources, *audioSources);
    EXPECT_EQ(kept, Video(kCamera));
    camera->VideoCount = 1;
}

TEST(SoundSourceNames, SecondStreamsAreNumberedWithoutBlank) {
    NoFilterDevice device;
    device.DisplayName = L"Card";
    device.VideoCount = 2;
    device.AudioCount = 3;
    EXPECT_EQ(L"Card - Video", engine::TVideoSource(&device, 1).Name);
    EXPECT_EQ(L"Card #2", engine::TVideoSource(&device, 2).Name);
    EXPECT_EQ(L"Card - Audio", engine::TAudioSource(&device, 1).Name);
    EXPECT_EQ(L"Card#3", engine::TAudioSource(&device, 3).Name);
    EXPECT_TRUE(engine::TAudioSource(&device, 4).Name.empty());
}

TEST(VideoLabel, WidthHeightAndRoundedRate) {
    EXPECT_EQ(L"720x576 - 25 fps", engine::VideoLabelText(720, 576, 400000, 25.0));
    EXPECT_EQ(L"720x480 - 29.97 fps", engine::VideoLabelText(720, 480, 333667, 10000000.0 / 333667));
    EXPECT_EQ(L"320x240 - 12.5 fps", engine::VideoLabelText(320, 240, 800000, 12.5));
    EXPECT_EQ(L"320x240", engine::VideoLabelText(320, 240, 0, 25.0));
}

}  // namespace
}  // namespace engine_test
