// The device settings menus: the items the current sources' filters offer (the test camera's one
// property page; a capture card's crossbar inputs), a chosen page shown in a modal property frame
// (closed by a posted WM_CLOSE) and followed by the selection of the sources and the format with
// the graph's run deferred, the crossbar inputs marked as routed and routed only when chosen.
#include "analogue_card.h"
#include "engine_test_support.h"

#include <atomic>
#include <stdexcept>
#include <thread>

#include "classlib/menus.h"
#include "engine/settings_menus.h"
#include "platform/standins/test_camera.h"
#include "platform/standins/test_crossbar.h"
#include "settings/parameters.h"
#include "settings/settings_catalogue.h"

namespace engine_test {
namespace {

// Answers the settings menus' questions as a main window would, and notes what it was asked.
class MenuHost : public engine::IEngineHost {
public:
    explicit MenuHost(engine::Tdm& Module) : module_(Module), previous_(engine::EngineHost()) { engine::SetEngineHost(this); }
    ~MenuHost() override { engine::SetEngineHost(previous_); }
    HWND MainWindowHandle() override { return nullptr; }
    void SetVideoLabel(const std::wstring&) override {}
    engine::ICamWindow* CamWindow(int) override { return nullptr; }
    void ForgetCamForm(engine::ICamWindow*) override {}
    std::wstring SourcesListText(int List) override {
        return List == engine::kVideoSourceList ? video : List == engine::kAudioSourceList ? audio : format;
    }
    bool SelectVideoSourceNamed(const std::wstring& Name) override {
        calls.push_back(L"video " + Name + L" deferred " + std::to_wstring(module_.DeferRun));
        if (fail) throw std::runtime_error("selection failed");
        return true;
    }
    bool SelectAudioSourceNamed(const std::wstring& Name) override {
        calls.push_back(L"audio " + Name + L" deferred " + std::to_wstring(module_.DeferRun));
        return true;
    }
    void SelectCaptureFormatNamed(std::uint8_t Format) override {
        calls.push_back(L"format " + std::to_wstring(Format) + L" deferred " + std::to_wstring(module_.DeferRun));
    }
    bool CaptureRunning() override { return capturing; }

    std::wstring video = kCamera;
    std::wstring audio = L"no audio stream";
    std::wstring format = L"avi native";
    bool fail = false;
    bool capturing = false;
    std::vector<std::wstring> calls;

private:
    engine::Tdm& module_;
    engine::IEngineHost* previous_;
};

// Watches this process's windows from another thread: a property frame that holds the camera's
// page is counted and closed with a posted WM_CLOSE.
class FrameCloser {
public:
    FrameCloser() : thread_([this] { Watch(); }) {}
    ~FrameCloser() {
        stop_ = true;
        thread_.join();
    }
    // Frames closed that held the camera's page, and other dialogs closed.
    int Closed() const { return closed_.load(); }
    int Others() const { return others_.load(); }

private:
    static BOOL CALLBACK HasPage(HWND Window, LPARAM Found) {
        wchar_t text[64] = {};
        GetWindowTextW(Window, text, 64);
        if (std::wstring(text) == L"Quillotrane Test Camera") *reinterpret_cast<bool*>(Found) = true;
        return TRUE;
    }
    // Any dialog of this process is closed, so that a frame without the page fails the test
    // instead of waiting for a person.
    static BOOL CALLBACK CloseFrame(HWND Window, LPARAM Self) {
        DWORD process = 0;
        GetWindowThreadProcessId(Window, &process);
        wchar_t kind[16] = {};
        GetClassNameW(Window, kind, 16);
        if (process != GetCurrentProcessId() || !IsWindowVisible(Window) || std::wstring(kind) != L"#32770") return TRUE;
        bool page = false;
        EnumChildWindows(Window, HasPage, reinterpret_cast<LPARAM>(&page));
        PostMessageW(Window, WM_CLOSE, 0, 0);
        ++(page ? reinterpret_cast<FrameCloser*>(Self)->closed_ : reinterpret_cast<FrameCloser*>(Self)->others_);
        Sleep(300);  // the frame goes before it is looked for again
        return FALSE;
    }
    void Watch() {
        while (!stop_) {
            EnumWindows(CloseFrame, reinterpret_cast<LPARAM>(this));
            Sleep(50);
        }
    }

    std::atomic<bool> stop_{false};
    std::atomic<int> closed_{0};
    std::atomic<int> others_{0};
    std::thread thread_;
};

std::vector<std::string> Captions(classlib::TMenuItem* Items) {
    std::vector<std::string> captions;
    for (int i = 0; i < Items->Count(); ++i) captions.push_back(Items->Items(i)->Caption());
    return captions;
}

class SettingsMenus : public EngineTest {
protected:
    classlib::TPopupMenu videoMenu{nullptr};
    classlib::TPopupMenu audioMenu{nullptr};
};

TEST_F(SettingsMenus, CameraPageIsShownThenSourcesAndFormatAreSelectedWithTheRunDeferred) {
    engine::TVideoSource* camera = Video(kCamera);
    ASSERT_NE(nullptr, camera);
    ASSERT_TRUE(camera->BuildGraph());
    MenuHost menuHost(*module);

    module->FillVideoSettingsMenu(&videoMenu);
    // A webcam without a crossbar: its own page only, no input choice.
    EXPECT_EQ(std::vector<std::string>{"Video Capture Filter..."}, Captions(videoMenu.Items()));
    EXPECT_EQ(0, module->SettingsSlots[engine::ssVideoCaptureFilter]);
    for (int slot = 0; slot < engine::kSettingsSlotCount; ++slot) {
        if (slot != engine::ssVideoCaptureFilter) {
            EXPECT_EQ(-1, module->SettingsSlots[slot]) << slot;
        }
    }

    {
        FrameCloser closer;
        videoMenu.Items()->Items(0)->Click();
        EXPECT_EQ(1, closer.Closed()) << "the camera's page was not shown in a property frame";
        EXPECT_EQ(0, closer.Others());
    }
    const std::vector<std::wstring> expected{L"video Quillotrane Test Camera deferred 1", L"format 5 deferred 1"};
    EXPECT_EQ(expected, menuHost.calls);
    EXPECT_EQ(0, module->DeferRun);
    EXPECT_EQ(dshow::gsPlaying, module->fg->State());
}

TEST_F(SettingsMenus, TheRunIsNoLongerDeferredWhenTheSelectionFails) {
    engine::TVideoSource* camera = Video(kCamera);
    ASSERT_NE(nullptr, camera);
    ASSERT_TRUE(camera->BuildGraph());
    MenuHost menuHost(*module);
    module->FillVideoSettingsMenu(&videoMenu);
    // An item of the menu whose page kind the filling did not give shows nothing.
    auto* stray = new classlib::TMenuItem(nullptr);
    stray->SetTag(40);
    videoMenu.Items()->Add(stray);
    menuHost.fail = true;
    module->SettingsItemClick(stray);
    EXPECT_EQ(0, module->DeferRun);
    EXPECT_EQ(dshow::gsPlaying, module->fg->State());

    // While a recording runs nothing is selected again: its branch hangs from the preview.
    menuHost.fail = false;
    menuHost.capturing = true;
    menuHost.calls.clear();
    module->SettingsItemClick(stray);
    EXPECT_TRUE(menuHost.calls.empty());
    EXPECT_EQ(0, module->DeferRun);
    // Anything but a menu item is no click at all.
    menuHost.capturing = false;
    module->SettingsItemClick(&videoMenu);
    EXPECT_TRUE(menuHost.calls.empty());
}

TEST_F(SettingsMenus, TheMenuFilledLastDecidesWhatAClickShows) {
    engine::TVideoSource* camera = Video(kCamera);
    engine::TAudioSource* microphone = Audio(kMicrophone);
    ASSERT_NE(nullptr, camera);
    ASSERT_NE(nullptr, microphone);
    ASSERT_TRUE(camera->BuildGraph());
    ASSERT_TRUE(microphone->BuildGraph());
    MenuHost menuHost(*module);
    menuHost.audio = kMicrophone;
    menuHost.format = L"Wav";

    module->FillVideoSettingsMenu(&videoMenu);
    ASSERT_EQ(1, videoMenu.Items()->Count());
    module->FillAudioSettingsMenu(&audioMenu);
    // The microphone has no page: the audio filling leaves every slot empty, so the video item
    // shows nothing now; its menu still selects the video source again.
    for (int slot = 0; slot < engine::kSettingsSlotCount; ++slot) EXPECT_EQ(-1, module->SettingsSlots[slot]) << slot;
    EXPECT_EQ(0, audioMenu.Items()->Count());
    FrameCloser closer;
    videoMenu.Items()->Items(0)->Click();
    EXPECT_EQ(0, closer.Closed() + closer.Others());
    const std::vector<std::wstring> expected{L"video Quillotrane Test Camera deferred 1", L"format 11 deferred 1"};
    EXPECT_EQ(expected, menuHost.calls);
}

TEST_F(SettingsMenus, CrossbarInputsAreMarkedAsRoutedAndRoutedOnlyWhenChosen) {
    RegisteredAnalogueCard card(L"Quillotrane Menu Analogue Card");
    engine::Crossbars().FillCrossbars();
    ASSERT_GE(engine::Crossbars().Count(), 1);
    Enumerate();
    engine::TVideoSource* source = Video(L"Quillotrane Menu Analogue Card");
    ASSERT_NE(nullptr, source);
    settings::TIntegerParameter select(L"Video Input Select", -1, nullptr);
    settings::ParamVideoInputSelect = &select;
    struct Restore {
        ~Restore() {
            settings::ParamVideoInputSelect = nullptr;
            engine::Crossbars().Clear();
        }
    } restore;
    select.SetValue(1);
    ASSERT_TRUE(source->BuildGraph());
    ASSERT_TRUE(module->VideoCrossbar);
    auto crossbar = engine::Query<IAMCrossbar>(
        engine::PinOwner(engine::ConnectedTo(
                             engine::InputOfCategory(module->VideoSourceFilter.Get(), PIN_CATEGORY_ANALOGVIDEOIN).Get())
                             .Get())
            .Get(),
        IID_IAMCrossbar);
    ASSERT_TRUE(crossbar);
    auto counter = engine::Query<standins::IQuillTestCrossbar>(crossbar.Get(), standins::IID_IQuillTestCrossbar);
    ASSERT_TRUE(counter);
    MenuHost menuHost(*module);

    // The user routed the crossbar to S-Video (input 2) behind the program's back: the menu shows
    // that, and filling it routes nothing.
    ASSERT_EQ(S_OK, crossbar->Route(0, 2));
    long routesBefore = 0;
    counter->GetRouteCalls(&routesBefore);
    module->FillVideoSettingsMenu(&videoMenu);
    long routesAfter = 0;
    counter->GetRouteCalls(&routesAfter);
    EXPECT_EQ(routesBefore, routesAfter);
    classlib::TMenuItem* items = videoMenu.Items();
    ASSERT_GE(items->Count(), 2);
    EXPECT_EQ("-", items->Items(items->Count() - 2)->Caption());
    classlib::TMenuItem* inputs = items->Items(items->Count() - 1);
    EXPECT_EQ("Video Input", inputs->Caption());
    ASSERT_EQ(module->VideoCrossbarInputs, inputs->Count());
    ASSERT_GE(inputs->Count(), 3);
    EXPECT_EQ("Video Tuner", inputs->Items(0)->Caption());
    EXPECT_EQ("Video SVideo", inputs->Items(2)->Caption());
    for (int i = 0; i < inputs->Count(); ++i) {
        EXPECT_EQ(i == 2, inputs->Items(i)->Checked()) << i;
        EXPECT_EQ(i, inputs->Items(i)->Tag());
    }

    // Choosing the tuner routes there, keeps the router's index and marks it.
    inputs->Items(0)->Click();
    long routed = -1;
    ASSERT_HRESULT_SUCCEEDED(crossbar->get_IsRoutedTo(0, &routed));
    EXPECT_EQ(0, routed);
    EXPECT_EQ(0, select.Value());
    EXPECT_TRUE(inputs->Items(0)->Checked());
    EXPECT_FALSE(inputs->Items(2)->Checked());
    EXPECT_EQ(0, engine::RoutedInput(*module->VideoCrossbar));
    EXPECT_TRUE(menuHost.calls.empty()) << "an input choice selects no source";
}

}  // namespace
}  // namespace engine_test
