// The video and sound previews in Wine graphs with the stand-in devices: built, run with frames
// counted at the renderer end, torn down with nothing of the branch left, the camcorder's window
// and 16:9 change, the recording teardown after a DV source, and building and killing many times.
#include "engine_test_support.h"

#include <algorithm>
#include <atomic>
#include <set>

#include "engine/dv_device.h"
#include "filters/superposer.h"
#include "filters/time_stamper.h"
#include "platform/standins/dv_camcorder.h"
#include "platform/standins/test_camera.h"
#include "settings/settings_catalogue.h"

namespace engine_test {
namespace {

const std::vector<std::wstring> kVideoChain = {L"Superposer", L"infdecvideo", L"infsupvideo", L"Tamponer Video", L"color3"};
const std::vector<std::wstring> kSoundChain = {L"Control_Preview_Audio", L"infdecaudio", L"Tamponer Audio", L"infsupaudio"};

class Preview : public EngineTest {
protected:
    std::multiset<std::wstring> Names() {
        auto names = FilterNames();
        return {names.begin(), names.end()};
    }
    // Names of the filters that are in the graph now but were not in Before.
    std::vector<std::wstring> Added(const std::multiset<std::wstring>& Before) {
        std::multiset<std::wstring> now = Names();
        std::vector<std::wstring> added;
        for (const auto& name : Before) {
            auto it = now.find(name);
            if (it != now.end()) now.erase(it);
        }
        added.assign(now.begin(), now.end());
        return added;
    }
    // The stand-in DLL has no filter alive once nothing of a device is in the graph.
    static HRESULT StandinsCanUnload() {
        HMODULE dll = GetModuleHandleW(L"quill_standins.dll");
        if (dll == nullptr) return S_OK;
        using CanUnload = HRESULT(STDAPICALLTYPE*)();
        auto fn = reinterpret_cast<CanUnload>(reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
        return fn == nullptr ? E_FAIL : fn();
    }
    bool HasAll(const std::vector<std::wstring>& Names) {
        for (const auto& name : Names)
            if (!InGraph(name)) return false;
        return true;
    }
};

TEST_F(Preview, CameraBuildsRunsAndLeavesNothingBehind) {
    const auto before = Names();
    engine::TVideoSource* camera = Video(kCamera);
    ASSERT_NE(nullptr, camera);
    ASSERT_TRUE(camera->BuildGraph());
    EXPECT_TRUE(camera->Active);
    EXPECT_EQ(camera, module->CurrentVideoSource);
    EXPECT_TRUE(HasAll(kVideoChain));
    EXPECT_TRUE(HasAll({L"vid_source", L"vid_nativevideoinfinite", L"Control_Preview_Video"}));
    EXPECT_FALSE(InGraph(L"vid_sg")) << "the grabber only negotiates the end pin's format";
    // The camera's size and rate, read from its native tee.
    EXPECT_EQ(25.0, engine::Native.SourceFps);
    EXPECT_GT(engine::Native.SourceWidth, 0);
    EXPECT_EQ(engine::VideoLabelText(engine::Native.SourceWidth, engine::Native.SourceHeight, 400000, 25.0),
              engine::VideoLabelText(engine::Native.SourceWidth, engine::Native.SourceHeight,
                                     engine::Native.SourceFrameTime, engine::Native.SourceFps));
    EXPECT_FALSE(camera->HasTransport) << "a camera without a tape binds no camcorder window";
    ASSERT_TRUE(RunUntilFrames(10));
    EXPECT_GE(module->TamponerVideo->SampleCounter(), 1u);

    // KillGraph(false): the preview goes, the device's source stays.
    ASSERT_TRUE(camera->KillGraph(false));
    EXPECT_EQ(nullptr, module->CurrentVideoSource);
    EXPECT_FALSE(camera->KillGraph(false)) << "an inactive source has nothing to kill";
    EXPECT_EQ(std::vector<std::wstring>{L"vid_source"}, Added(before));
    // Built again and killed with its source: nothing is left.
    ASSERT_TRUE(camera->BuildGraph());
    ASSERT_TRUE(camera->KillGraph(true));
    EXPECT_TRUE(Added(before).empty());
    // The graph's capture graph builder may be a stand-in too: the count is read once the data
    // module, and with it the graph, is gone.
    module.reset();
    EXPECT_EQ(S_OK, StandinsCanUnload()) << "stand-in filters left alive";
}

TEST_F(Preview, ALinkThatDoesNotConnectFailsTheBuildAndLeavesNothing) {
    // A renderer end that takes no picture the chain can give.
    module->Graph()->RemoveFilter(sinkFilter.Get());
    auto* refusing = new first_standins::RecordingSink(MEDIASUBTYPE_Y41P);
    ComPtr<IBaseFilter> refusingFilter(refusing->Filter());
    ASSERT_HRESULT_SUCCEEDED(module->Graph()->AddFilter(refusingFilter.Get(), L"Video Renderer"));
    module->VideoWindowFilter = refusingFilter;
    const auto before = Names();
    engine::TVideoSource* camera = Video(kCamera);
    EXPECT_FALSE(camera->BuildGraph());
    EXPECT_FALSE(camera->Active);
    EXPECT_EQ(nullptr, module->CurrentVideoSource);
    EXPECT_TRUE(Added(before).empty());
}

// The main window's stand-in: remembers a 16:9 report, whoever pumps the messages.
std::atomic<bool> g_wideReported{false};
LRESULT CALLBACK RatioWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == filters::kWMDVRatioChanged && wParam == 1 && lParam == 1) g_wideReported = true;
    return DefWindowProcW(window, message, wParam, lParam);
}

TEST_F(Preview, CamcorderPreviewBindsTheWindowAndReportsItsRatio) {
    WNDCLASSW cls{};
    cls.lpfnWndProc = RatioWindowProc;
    cls.hInstance = GetModuleHandleW(nullptr);
    cls.lpszClassName = L"QuillEngineRatioWindow";
    RegisterClassW(&cls);
    g_wideReported = false;
    HWND window = CreateWindowExW(0, cls.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, cls.hInstance, nullptr);
    ASSERT_NE(nullptr, window);
    filtersHost.window = window;
    const auto before = Names();
    engine::TVideoSource* dv = Video(L"DV Source - Video");
    ASSERT_NE(nullptr, dv);
    EXPECT_NE(nullptr, dv->SceneFilter);
    ASSERT_TRUE(dv->BuildGraph());
    EXPECT_TRUE(HasAll(kVideoChain));
    EXPECT_TRUE(HasAll({L"dv_source", L"dv_Scenedetect", L"dv_muxinfinite", L"dv_splitter", L"dv_nativevideoinfinite",
                        L"Control_Preview_Video", L"dv_dec"}));
    EXPECT_EQ(dv->SceneFilter, module->Superposer->SceneDetector());
    EXPECT_EQ(720, engine::Native.SourceWidth);
    EXPECT_EQ(576, engine::Native.SourceHeight);
    EXPECT_TRUE(dv->HasTransport);
    EXPECT_TRUE(dv->IsCamera || dv->IsVcr);
    ASSERT_EQ(&host.cam[0], dv->CamWindow);
    EXPECT_EQ(L"DV Source", host.cam[0].caption);
    EXPECT_TRUE(host.cam[0].visible);
    EXPECT_TRUE(host.cam[0].hasTransport);
    EXPECT_TRUE(host.cam[0].hasTimecode);

    ASSERT_TRUE(RunUntilFrames(5));
    auto control = engine::Query<standins::IQuillDVCamcorder>(
        engine::dm()->VideoSourceFilter.Get(), standins::IID_IQuillDVCamcorder);
    ASSERT_TRUE(control);
    ASSERT_HRESULT_SUCCEEDED(control->SetWide(TRUE));
    EXPECT_TRUE(PumpUntil([] { return g_wideReported.load(); })) << "the 16:9 change reaches the main window";

    // The sound source of the same camcorder shares its source part and window.
    engine::TAudioSource* sound = Audio(L"DV Source - Audio");
    ASSERT_NE(nullptr, sound);
    ASSERT_TRUE(sound->BuildGraph());
    EXPECT_EQ(dv->CamWindow, sound->CamWindow);
    EXPECT_TRUE(HasAll(kSoundChain));
    ASSERT_TRUE(RunUntilFrames(5));
    ASSERT_TRUE(dv->KillGraph(true));
    EXPECT_TRUE(InGraph(L"dv_source")) << "the sound source still uses the camcorder";
    EXPECT_TRUE(host.cam[0].hasTransport);
    ASSERT_TRUE(sound->KillGraph(true));
    EXPECT_TRUE(Added(before).empty());
    EXPECT_FALSE(host.cam[0].hasTransport);
    EXPECT_FALSE(host.cam[0].visible);
    EXPECT_EQ(1, host.cam[0].stops) << "stop-on-leave stops the tape";
    EXPECT_EQ(std::vector<engine::ICamWindow*>{&host.cam[0]}, host.forgotten);
    filtersHost.window = nullptr;
    DestroyWindow(window);
}

TEST_F(Preview, MicrophoneReachesTheSoundRenderer) {
    const auto before = Names();
    engine::TAudioSource* mic = Audio(kMicrophone);
    ASSERT_NE(nullptr, mic);
    ASSERT_TRUE(mic->BuildGraph());
    EXPECT_TRUE(HasAll(kSoundChain));
    EXPECT_EQ(44100, engine::Native.SoundRate);
    EXPECT_EQ(16, engine::Native.SoundBits);
    EXPECT_EQ(2, engine::Native.SoundChannels);
    // The renderer's input is fed by the second tee.
    auto rendererIn = engine::PinAt(module->AudioRendererFilter.Get(), 0);
    auto feeding = engine::PinOwner(engine::ConnectedTo(rendererIn.Get()).Get());
    EXPECT_EQ(module->infsupaudio->GetFilter().Get(), feeding.Get());
    ASSERT_TRUE(module->RunGraph());
    EXPECT_TRUE(PumpUntil([&] { return module->TamponerAudio->SampleCounter() >= 10; }));
    EXPECT_TRUE(PumpUntil([&] { return module->ControlPreviewAudio->SampleCounter() >= 10; }));
    ASSERT_TRUE(mic->KillGraph(false));
    EXPECT_EQ(std::vector<std::wstring>{L"aud_source"}, Added(before));
    ASSERT_TRUE(mic->BuildGraph());
    ASSERT_TRUE(mic->KillGraph(true));
    EXPECT_TRUE(Added(before).empty());
}

TEST_F(Preview, SoundOnlyFormatsRunOnTheSoundRenderersClock) {
    settings::TFormatCaptureParameter format(L"Capture Format", 11, nullptr);
    settings::ParamCaptureFormat = &format;
    struct Restore {
        ~Restore() { settings::ParamCaptureFormat = nullptr; }
    } restore;
    ASSERT_TRUE(Audio(kMicrophone)->BuildGraph());
    ASSERT_TRUE(module->RunGraph());
    auto media = engine::Query<IMediaFilter>(module->Graph().Get(), IID_IMediaFilter);
    ComPtr<IReferenceClock> clock;
    ASSERT_HRESULT_SUCCEEDED(media->GetSyncSource(clock.GetAddressOf()));
    auto rendererClock = engine::Query<IReferenceClock>(module->AudioRendererFilter.Get(), IID_IReferenceClock);
    ASSERT_TRUE(rendererClock);
    EXPECT_EQ(rendererClock.Get(), clock.Get());
    // Without a sound renderer there is no sound clock to follow: the sound is recorded all the
    // same, on the graph's default clock.
    module->fg->Stop();
    ComPtr<IBaseFilter> renderer = module->AudioRendererFilter;
    module->AudioRendererFilter.Reset();
    EXPECT_TRUE(module->RunGraph());
    ComPtr<IReferenceClock> fallback;
    EXPECT_HRESULT_SUCCEEDED(media->GetSyncSource(fallback.GetAddressOf()));
    EXPECT_TRUE(fallback) << "a clock all the same";
    module->fg->Stop();
    module->AudioRendererFilter = renderer;
}

TEST_F(Preview, StopCaptureGraphRebuildsTheDVPreviewAndShowsItsFormat) {
    engine::TVideoSource* dv = Video(L"DV Source - Video");
    ASSERT_TRUE(dv->BuildGraph());
    module->DVHalfSize = true;
    // A leftover of a recording: the tee and the writer of a branch.
    module->infdumvideo->SetFilterGraph(module->fg);
    module->writer->SetFilterGraph(module->fg);
    module->AddOwnFilter(module->ControlCaptureVideoFilter.Get(), engine::kControlCaptureVideoName);
    ASSERT_TRUE(module->StopCaptureGraph());
    EXPECT_FALSE(InGraph(L"infdumvideo"));
    EXPECT_FALSE(InGraph(L"writer"));
    EXPECT_FALSE(InGraph(L"Control_Capture_Video"));
    EXPECT_FALSE(module->DVHalfSize);
    EXPECT_EQ(dv, module->CurrentVideoSource);
    EXPECT_TRUE(HasAll(kVideoChain));
    ASSERT_EQ(1u, host.labels.size());
    EXPECT_EQ(L"720x576 - 25 fps", host.labels[0]);
    ASSERT_TRUE(RunUntilFrames(5));

    // A source without a scene detector: preview and label untouched.
    engine::TVideoSource* camera = Video(kCamera);
    ASSERT_TRUE(camera->BuildGraph());
    ASSERT_TRUE(module->StopCaptureGraph());
    EXPECT_EQ(camera, module->CurrentVideoSource);
    EXPECT_EQ(1u, host.labels.size());
}

TEST_F(Preview, SoundFormatFailsWithoutASoundSourceOrAConnectedWrapper) {
    EXPECT_FALSE(module->SetAudioCaptureFormat(true)) << "no sound source";
    engine::TAudioSource* mic = Audio(kMicrophone);
    ASSERT_TRUE(mic->BuildGraph());
    // The wrapper in the graph but fed by nothing: there is no format to set, and the answer says so.
    module->acmcap->SetFilterGraph(module->fg);
    EXPECT_FALSE(module->SetAudioCaptureFormat(true));
    EXPECT_FALSE(module->SetAudioCaptureFormat(false));
    ASSERT_TRUE(module->StopCaptureGraph());
    EXPECT_FALSE(InGraph(L"acmcap"));
}

TEST_F(Preview, CurrentSourceOnAVanishedDeviceIsTornDownByRefresh) {
    const CLSID kLoner = {0x7e1d2a01, 0x44c3, 0x4d8e, {0x9a, 0x10, 0x3b, 0x52, 0x6e, 0x01, 0xaa, 0x03}};
    const auto before = Names();
    auto loner = std::make_unique<RegisteredDevice>(kLoner, standins::CLSID_QuillTestCamera,
                                                    CLSID_VideoInputDeviceCategory, L"Quillotrane Engine Loner");
    Enumerate();
    engine::TVideoSource* source = Video(L"Quillotrane Engine Loner");
    ASSERT_NE(nullptr, source);
    // The device goes away while its branch is being built (a modal loop inside the build).
    host.cam[0].onCaption = nullptr;
    ASSERT_TRUE(source->BuildGraph());
    loner.reset();
    Enumerate();
    EXPECT_EQ(nullptr, module->CurrentVideoSource);
    EXPECT_FALSE(source->Active);
    EXPECT_TRUE(Added(before).empty());
    EXPECT_EQ(nullptr, Video(L"Quillotrane Engine Loner"));
    // The source object still answers: its device is kept, not freed.
    EXPECT_FALSE(source->KillGraph(true));
}

TEST_F(Preview, RefreshDuringABuildFreesNothingTheBuildHolds) {
    engine::TVideoSource* dv = Video(L"DV Source - Video");
    // The device-lost event served by a message loop while the camcorder window is being set up.
    int refreshes = 0;
    host.cam[0].onCaption = [&] {
        ++refreshes;
        Enumerate();
    };
    ASSERT_TRUE(dv->BuildGraph());
    EXPECT_EQ(1, refreshes);
    EXPECT_EQ(dv, Video(L"DV Source - Video")) << "the source object is kept across the rebuilt list";
    host.cam[0].onCaption = nullptr;
    ASSERT_TRUE(RunUntilFrames(5));
    ASSERT_TRUE(dv->KillGraph(true));
}

TEST_F(Preview, BuildAndKillTwoHundredTimesLeaksNothing) {
    engine::TVideoSource* camera = Video(kCamera);
    const auto before = Names();
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(camera->BuildGraph()) << "build " << i;
        if (i % 20 == 0) {
            ASSERT_TRUE(RunUntilFrames(2)) << "run " << i;
        }
        ASSERT_TRUE(camera->KillGraph(true)) << "kill " << i;
    }
    EXPECT_TRUE(Added(before).empty());
    // Only the data module holds its own filters again.
    EXPECT_EQ(1, module->Superposer->RefCount());
    EXPECT_EQ(1, module->TamponerVideo->RefCount());
    EXPECT_EQ(1, module->ControlPreviewVideo->RefCount());
    module.reset();
    EXPECT_EQ(S_OK, StandinsCanUnload()) << "stand-in filters left alive";
}

// Each stand-in device previews for ten seconds with its frames counted.
TEST_F(Preview, EachDevicePreviewsForTenSeconds) {
    for (const wchar_t* name : {kCamera, L"DV Source - Video"}) {
        engine::TVideoSource* source = Video(name);
        ASSERT_TRUE(source->BuildGraph()) << name;
        const int start = sink->Frames.load();
        ASSERT_TRUE(module->RunGraph());
        const DWORD t0 = GetTickCount();
        PumpUntil([&] { return GetTickCount() - t0 >= 10000; }, 11000);
        const int frames = sink->Frames.load() - start;
        // 25 frames a second; a loaded machine may drop some, but the stream must keep coming.
        EXPECT_GT(frames, 100) << name;
        ASSERT_TRUE(source->KillGraph(true));
    }
    engine::TAudioSource* mic = Audio(kMicrophone);
    ASSERT_TRUE(mic->BuildGraph());
    const auto start = module->TamponerAudio->SampleCounter();
    ASSERT_TRUE(module->RunGraph());
    const DWORD t0 = GetTickCount();
    PumpUntil([&] { return GetTickCount() - t0 >= 10000; }, 11000);
    EXPECT_GT(module->TamponerAudio->SampleCounter() - start, 200u) << "20-ms buffers";
    ASSERT_TRUE(mic->KillGraph(true));
}

}  // namespace
}  // namespace engine_test
