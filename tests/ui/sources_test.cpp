// The main window's sources under Xvfb, with the capture data module and the stand-in devices of the
// test prefix: the stored sources and format selected and previewed at the first idle, the formats
// the sources allow, the preview lock per format, devices coming and going (device change), a lost
// device, a device that fails to open, the settings buttons' menus, and the three panels of the
// sources' topic (kept as screenshots in the test's folder). HKCU\Software\Marbrecq is set aside.
#include "tests/ui/sources_fixture.h"

namespace {

using namespace sources_test;

const wchar_t kSecondCamera[] = L"Quillotrane Test Camera Two";
const wchar_t kFailing[] = L"Quillotrane Failing Camera";

// Another entry of the test camera in the video input category, under a name of its own.
class ListedCamera {
public:
    explicit ListedCamera(const wchar_t* Name) : name_(Name) { Register(); }
    ~ListedCamera() { Unregister(); }
    void Register() {
        ComPtr<IFilterMapper2> mapper = Mapper();
        ASSERT_TRUE(mapper);
        REGFILTER2 filter{};
        filter.dwVersion = 1;
        filter.dwMerit = MERIT_DO_NOT_USE;
        ASSERT_HRESULT_SUCCEEDED(mapper->RegisterFilter(standins::CLSID_QuillTestCamera, name_.c_str(), nullptr,
                                                        &CLSID_VideoInputDeviceCategory, name_.c_str(), &filter));
        listed_ = true;
    }
    void Unregister() {
        if (!listed_) return;
        if (ComPtr<IFilterMapper2> mapper = Mapper())
            mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, name_.c_str(), standins::CLSID_QuillTestCamera);
        listed_ = false;
    }

private:
    static ComPtr<IFilterMapper2> Mapper() {
        ComPtr<IFilterMapper2> mapper;
        CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_IFilterMapper2,
                         reinterpret_cast<void**>(mapper.GetAddressOf()));
        return mapper;
    }
    std::wstring name_;
    bool listed_ = false;
};

// A device whose picture never comes: its video branch gives no end.
class FailingDevice : public engine::TCaptureDevice {
public:
    FailingDevice(const std::wstring& Name, int Number) : TCaptureDevice(Name, Number, Name) {
        VideoCount = 1;
        Loaded = true;
        Kind = engine::kKindPlugIn;
    }
    void SetVideoGraph(int) override { engine::VideoEndPin.Reset(); }
    ComPtr<IPin> SetAudioGraph(int) override { return nullptr; }
    void KillVideoGraph() override {}
    void KillAudioGraph() override {}
    dshow::TFilter* SetSourceGraph() override { return nullptr; }
    void KillSourceGraph() override {}
    bool BuildMuxGraph(const std::wstring&) override { return false; }
    bool KillMuxGraph() override { return false; }
};

// Claims the failing camera's name for the device above.
class FailingPlugins : public engine::IPluginDevices {
public:
    std::unique_ptr<engine::TCaptureDevice> CreateDevice(const std::wstring& FriendlyName, int Number) override {
        if (FriendlyName != kFailing) return nullptr;
        return std::make_unique<FailingDevice>(FriendlyName, Number);
    }
    void Refused(const std::wstring&) override {}
};

TEST_F(SourcesTest, StartSelectsTheStoredSourcesAndFormatAndPreviewsThem) {
    Start(kCameraAndMicrophone);
    ASSERT_NE(nullptr, Video());
    ASSERT_NE(nullptr, Audio());
    EXPECT_EQ(kCamera, Video()->Name);
    EXPECT_EQ(kMicrophone, Audio()->Name);
    EXPECT_EQ(kCamera, Panel()->cboxvideo->Text());
    EXPECT_EQ(kMicrophone, Panel()->cboxAudio->Text());
    EXPECT_NE(std::wstring::npos, Panel()->LabVideo->Caption().find(L"320x240")) << Panel()->LabVideo->Caption();
    EXPECT_NE(std::wstring::npos, Panel()->LabAudio->Caption().find(L" Hz ")) << Panel()->LabAudio->Caption();
    EXPECT_TRUE(Previewing());
    EXPECT_EQ(dshow::gsPlaying, module_->fg->State());

    // The camera records as delivered; then the formats any video allows, then the sound's.
    const std::vector<std::wstring> formats = Items(Panel()->cbFormatCapture);
    ASSERT_GE(formats.size(), 6u);
    const std::vector<std::wstring> first(formats.begin(), formats.begin() + 6);
    EXPECT_EQ((std::vector<std::wstring>{L"avi native", L"dv type 2 (recomp)", L"DivX", L"Wmv", L"Image by Image", L"Wav"}),
              first);
    EXPECT_EQ(L"avi native", Panel()->cbFormatCapture->Text());
    EXPECT_TRUE(Panel()->gbFormatCapture->Visible());
    EXPECT_FALSE(form_->Panel2->Visible());
    // Each list ends with its no-stream entry, once.
    const auto video = Items(Panel()->cboxvideo);
    EXPECT_EQ(L"no video stream", video.back());
    EXPECT_EQ(1, CountOf(video, L"no video stream"));
    EXPECT_EQ(1, CountOf(Items(Panel()->cboxAudio), L"no audio stream"));
    // Every device seen is listed, checked, in the help panel.
    widgets::TUcCheckListBox* seen = form_->HelpFrame1->clSources;
    const int line = seen->Items()->IndexOf(kCamera);
    ASSERT_GE(line, 0);
    EXPECT_TRUE(seen->Checked(line));

    // The same source again touches nothing; an unknown one takes the list's first entry.
    const int before = runs_.runs;
    EXPECT_TRUE(form_->SelectVideoSource(kCamera));
    EXPECT_EQ(before, runs_.runs);
    form_->DroppedFramesTimer->SetEnabled(false);
    EXPECT_TRUE(form_->SelectVideoSource(L"A camera long gone"));
    ASSERT_NE(nullptr, Video());
    EXPECT_EQ(Panel()->cboxvideo->Items()->Strings(0), Video()->Name);
    // The status display follows the new source.
    EXPECT_TRUE(form_->DroppedFramesTimer->Enabled());
}

TEST_F(SourcesTest, NoSourceLeavesThePlateAndNoFormat) {
    Start({L"Source video=no video stream", L"Source Audio=no audio stream", L"Preview Locked=0"});
    EXPECT_EQ(nullptr, Video());
    EXPECT_EQ(nullptr, Audio());
    EXPECT_TRUE(form_->Panel2->Visible());
    EXPECT_FALSE(form_->saGrab->Enabled());
    EXPECT_FALSE(form_->tafullscreen->Enabled());
    EXPECT_FALSE(form_->taMute->Enabled());
    EXPECT_FALSE(form_->tb->Visible());
    EXPECT_EQ(0, Panel()->cbFormatCapture->Items()->Count());
    EXPECT_FALSE(Panel()->gbFormatCapture->Visible());
}

TEST_F(SourcesTest, LockedPreviewDropsTheVideoForSoundAndTheSoundForPictures) {
    std::vector<std::wstring> settings = kCameraAndMicrophone;
    settings[3] = L"Preview Locked=1";
    Start(settings);
    EXPECT_TRUE(form_->taLock->Checked());
    EXPECT_FALSE(form_->OptionsFrame->rgDVRatio->Enabled());

    // Sound only: the video goes, the plate shows.
    ChooseFormat(L"Wav");
    EXPECT_EQ(nullptr, Video());
    EXPECT_EQ(L"no video stream", Panel()->cboxvideo->Text());
    EXPECT_TRUE(form_->Panel2->Visible());
    EXPECT_EQ(11, settings::ParamCaptureFormat->Value());
    EXPECT_FALSE(form_->OverlayAllowed);

    // Unlocked: the wanted sound comes back, the video does not.
    form_->SelectAudioSource(L"no audio stream");
    ASSERT_EQ(nullptr, Audio());
    form_->taLock->Execute();
    EXPECT_FALSE(form_->taLock->Checked());
    EXPECT_FALSE(settings::ParamPreviewLocked->Value());
    ASSERT_NE(nullptr, Audio());
    EXPECT_EQ(kMicrophone, Audio()->Name);
    EXPECT_EQ(nullptr, Video());
    EXPECT_TRUE(form_->OptionsFrame->rgDVRatio->Enabled());

    // Locked again, a camera chosen while "Wav" is stored gets the first picture format.
    form_->taLock->Execute();
    ChooseVideo(kCamera);
    ASSERT_NE(nullptr, Video());
    EXPECT_EQ(L"avi native", Panel()->cbFormatCapture->Text());
    EXPECT_EQ(5, settings::ParamCaptureFormat->Value());

    // Pictures one by one record no sound.
    ChooseFormat(L"Image by Image");
    EXPECT_EQ(nullptr, Audio());
    EXPECT_EQ(L"no audio stream", Panel()->cboxAudio->Text());
    ASSERT_NE(nullptr, Video());
    EXPECT_TRUE(Panel()->leFramerate->Visible());
    EXPECT_TRUE(form_->OverlayAllowed);
    EXPECT_TRUE(Previewing());
}

TEST_F(SourcesTest, TheSoundOnlyModeLeadsBackToTheVideoAndNeverLeavesAStaleWindow) {
    std::vector<std::wstring> settings = kCameraAndMicrophone;
    settings[3] = L"Preview Locked=1";
    settings.push_back(std::wstring(L"Want video source=") + kCamera);
    Start(settings);
    ChooseFormat(L"Wav");
    ASSERT_EQ(nullptr, Video());
    // The list offers only what the sound allows (no picture format that would fall back to
    // "Wav"), and the video box reads as one to choose from.
    for (const std::wstring& format : Items(Panel()->cbFormatCapture))
        EXPECT_TRUE(format == L"Wav" || format == L"mp3") << testing::PrintToString(format);
    EXPECT_EQ(classlib::clBtnText, Panel()->cboxvideo->Font()->Color());
    EXPECT_TRUE(form_->saCapturerBascule->Enabled());

    // "no audio stream" is the way out: the camera comes back with its first picture format.
    Panel()->cboxAudio->SetItemIndex(Panel()->cboxAudio->Items()->IndexOf(L"no audio stream"));
    form_->cboxAudioChange(Panel()->cboxAudio);
    ASSERT_NE(nullptr, Video());
    EXPECT_EQ(kCamera, Video()->Name);
    EXPECT_EQ(nullptr, Audio());
    const std::uint8_t format = settings::ParamCaptureFormat->Value();
    EXPECT_TRUE(format != 11 && format != 12 && format != 10) << static_cast<int>(format);
    EXPECT_EQ(settings::FormatCaptureName(format), Panel()->cbFormatCapture->Text());
    EXPECT_TRUE(form_->saCapturerBascule->Enabled());
    EXPECT_EQ(0u, form_->StatusSourcesText.find(L"Vid: QUI=>")) << testing::PrintToString(form_->StatusSourcesText);
    EXPECT_FALSE(form_->Panel2->Visible());
    EXPECT_TRUE(Previewing());

    // With nothing left at all (a script's lines, the lock off), the window says so and offers no
    // capture.
    form_->taLock->Execute();
    form_->SelectVideoSource(L"no video stream");
    form_->SelectAudioSource(L"no audio stream");
    EXPECT_EQ(nullptr, Video());
    EXPECT_EQ(nullptr, Audio());
    EXPECT_FALSE(form_->saCapturerBascule->Enabled());
    EXPECT_FALSE(form_->CaptureBtn->Enabled());
    EXPECT_EQ(L"No source: choose one", form_->StatusSourcesText);
}

TEST_F(SourcesTest, LockedRatioFollowsTheFormat) {
    std::vector<std::wstring> settings = kCameraAndMicrophone;
    settings[3] = L"Preview Locked=1";
    Start(settings);
    std::vector<std::wstring> ran;
    form_->saRatioNormal->OnExecute = [&](classlib::TObject*) { ran.push_back(L"normal"); };
    form_->saRatio4x3->OnExecute = [&](classlib::TObject*) { ran.push_back(L"4:3"); };
    form_->saRatio16x9->OnExecute = [&](classlib::TObject*) { ran.push_back(L"16:9"); };
    form_->saRatioNatif->OnExecute = [&](classlib::TObject*) { ran.push_back(L"native"); };

    // Re-encoded DV: a video window exactly 14:9 counts as 16:9, one pixel narrower as 4:3.
    form_->vwEcran->SetBounds(14, 14, 280, 180);
    ChooseFormat(L"dv type 2 (recomp)");
    form_->vwEcran->SetBounds(14, 14, 279, 180);
    form_->SelectCaptureFormat(9);  // through another format, so that the next choice is a change
    ran.clear();
    ChooseFormat(L"dv type 2 (recomp)");
    EXPECT_EQ(std::vector<std::wstring>{L"4:3"}, ran);
    EXPECT_FALSE(form_->saRatioNormal->Enabled());
    EXPECT_FALSE(form_->saRatioNatif->Enabled());
    EXPECT_TRUE(form_->saRatio16x9->Enabled());
    form_->vwEcran->SetBounds(14, 14, 280, 180);
    form_->SelectCaptureFormat(9);
    ran.clear();
    ChooseFormat(L"dv type 2 (recomp)");
    EXPECT_EQ(std::vector<std::wstring>{L"16:9"}, ran);

    // Windows Media: 4:3 and nothing else.
    ran.clear();
    ChooseFormat(L"Wmv");
    EXPECT_EQ(std::vector<std::wstring>{L"4:3"}, ran);
    EXPECT_FALSE(form_->saRatio16x9->Enabled());
    // As delivered: the source's own shape only.
    ran.clear();
    ChooseFormat(L"avi native");
    EXPECT_EQ(std::vector<std::wstring>{L"normal"}, ran);
    EXPECT_FALSE(form_->saRatio4x3->Enabled());
    EXPECT_FALSE(form_->OverlayAllowed);
    EXPECT_FALSE(form_->acVertFlip->Enabled());
}

TEST_F(SourcesTest, DeviceChangeListsANewCameraRemovesAGoneOneAndRunsTheGraphOnce) {
    Start(kCameraAndMicrophone);
    ASSERT_NE(nullptr, Video());
    {
        ListedCamera second(kSecondCamera);
        const int before = runs_.runs;
        DeviceChange();
        EXPECT_EQ(before + 1, runs_.runs);
        EXPECT_EQ(1, CountOf(Items(Panel()->cboxvideo), kSecondCamera));
        EXPECT_EQ(L"no video stream", Items(Panel()->cboxvideo).back());
        // What was selected stays selected and previewing.
        ASSERT_NE(nullptr, Video());
        EXPECT_EQ(kCamera, Video()->Name);
        EXPECT_TRUE(Previewing());

        // The new camera chosen, then unplugged: the first entry left takes its place.
        ChooseVideo(kSecondCamera);
        ASSERT_NE(nullptr, Video());
        EXPECT_EQ(kSecondCamera, Video()->Name);
        second.Unregister();
        DeviceChange();
        EXPECT_EQ(0, CountOf(Items(Panel()->cboxvideo), kSecondCamera));
        ASSERT_NE(nullptr, Video());
        EXPECT_EQ(Panel()->cboxvideo->Items()->Strings(0), Video()->Name);
        EXPECT_TRUE(Previewing());
    }

    // Only a node change counts, and nothing with notifications off.
    ListedCamera third(kSecondCamera);
    SendMessageW(form_->Handle(), WM_DEVICECHANGE, 7, 1);
    EXPECT_EQ(0, CountOf(Items(Panel()->cboxvideo), kSecondCamera));
    settings::ParamNotifier->SetValue(false);
    DeviceChange();
    EXPECT_EQ(0, CountOf(Items(Panel()->cboxvideo), kSecondCamera));
}

TEST_F(SourcesTest, LostDeviceIsRecoveredAfterTheGraphsEvent) {
    std::vector<std::wstring> settings = kCameraAndMicrophone;
    settings.push_back(L"Notifier=0");
    Start(settings);
    ASSERT_NE(nullptr, Video());
    ComPtr<IBaseFilter> poster;
    ASSERT_HRESULT_SUCCEEDED(CoCreateInstance(standins::CLSID_QuillEventPoster, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IBaseFilter, reinterpret_cast<void**>(poster.GetAddressOf())));
    ASSERT_HRESULT_SUCCEEDED(module_->Graph()->AddFilter(poster.Get(), L"Event Poster"));
    ComPtr<standins::IQuillEventPoster> events;
    ASSERT_HRESULT_SUCCEEDED(poster.As(&events));
    const int before = runs_.runs;
    ASSERT_HRESULT_SUCCEEDED(events->RaiseDeviceLost(FALSE));
    EXPECT_TRUE(PumpUntil([&] { return runs_.runs > before; }, kWaitMs));
    // Selected again from what the lists show, run once.
    PumpUntil([] { return false; }, 300);
    EXPECT_EQ(before + 1, runs_.runs);
    ASSERT_NE(nullptr, Video());
    EXPECT_EQ(kCamera, Video()->Name);
    EXPECT_TRUE(Previewing());
}

TEST_F(SourcesTest, ADeviceThatFailsToOpenIsLeftOutForTheRun) {
    Start(kCameraAndMicrophone);
    FailingPlugins plugins;
    form_->VideoDevices->SetPlugins(&plugins);
    ListedCamera failing(kFailing);
    form_->ActualiserVideoBtnClick(form_.get());
    ASSERT_EQ(1, CountOf(Items(Panel()->cboxvideo), kFailing));

    // Inside a deferred sequence the failure's refresh leaves the one run to the sequence.
    const int before = runs_.runs;
    ++form_->GraphRunDeferred;
    EXPECT_FALSE(form_->SelectVideoSource(kFailing));
    EXPECT_EQ(before, runs_.runs);
    --form_->GraphRunDeferred;
    EXPECT_GE(ui::FailedDevices()->IndexOf(kFailing), 0);
    EXPECT_EQ(0, CountOf(Items(Panel()->cboxvideo), kFailing));
    ASSERT_NE(nullptr, Video());
    EXPECT_NE(kFailing, Video()->Name);
    module_->RunGraph();
    EXPECT_TRUE(Previewing());
    // It stays out whatever the help panel's list says.
    form_->ActualiserVideoBtnClick(form_.get());
    EXPECT_EQ(0, CountOf(Items(Panel()->cboxvideo), kFailing));
    form_->VideoDevices->SetPlugins(nullptr);
}

TEST_F(SourcesTest, UncheckedDeviceIsLeftOutUntilCheckedAgain) {
    Start(kCameraAndMicrophone);
    widgets::TUcCheckListBox* seen = form_->HelpFrame1->clSources;
    const int line = seen->Items()->IndexOf(kCamera);
    ASSERT_GE(line, 0);
    // The user clicks the line's check box.
    auto clickBox = [&] {
        const RECT box = seen->ItemRect(seen->Items()->IndexOf(kCamera));
        const LPARAM at = MAKELPARAM(box.left + 3, (box.top + box.bottom) / 2);
        SendMessageW(seen->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(seen->Handle(), WM_LBUTTONUP, 0, at);
    };
    clickBox();
    EXPECT_FALSE(seen->Checked(seen->Items()->IndexOf(kCamera)));
    EXPECT_EQ(0, CountOf(Items(Panel()->cboxvideo), kCamera));
    // The camera is no longer current: the first entry left is.
    ASSERT_NE(nullptr, Video());
    EXPECT_NE(kCamera, Video()->Name);
    EXPECT_EQ(Panel()->cboxvideo->Items()->Strings(0), Video()->Name);
    clickBox();
    EXPECT_EQ(1, CountOf(Items(Panel()->cboxvideo), kCamera));
}

// Ends the tracking of a pop-up menu from within its own message loop.
void CALLBACK EndTracking(HWND, UINT, UINT_PTR Id, DWORD) {
    KillTimer(nullptr, Id);
    EndMenu();
}

TEST_F(SourcesTest, ASettingsMenuDismissedLeavesThePreviewAsItWas) {
    Start(kCameraAndMicrophone);
    ASSERT_NE(nullptr, Video());
    SetTimer(nullptr, 0, 300, EndTracking);
    form_->VideoPropBtnClick(Panel()->sbVideoSettings);
    // The camera offers its page.
    ASSERT_EQ(1, form_->VideoSettingsMenu->Items()->Count());
    EXPECT_EQ("Video Capture Filter...", form_->VideoSettingsMenu->Items()->Items(0)->Caption());
    EXPECT_TRUE(PumpUntil([&] { return Video() != nullptr; }, kWaitMs));
    EXPECT_EQ(kCamera, Video()->Name);
    EXPECT_TRUE(Previewing());

    // The microphone has no page.
    SetTimer(nullptr, 0, 300, EndTracking);
    form_->AudiopropBtnClick(Panel()->sbAudioSettings);
    ASSERT_EQ(1, form_->AudioSettingsMenu->Items()->Count());
    EXPECT_EQ("[no settings tab]", form_->AudioSettingsMenu->Items()->Items(0)->Caption());
    EXPECT_TRUE(PumpUntil([&] { return Audio() != nullptr; }, kWaitMs));
    EXPECT_EQ(kMicrophone, Audio()->Name);
    EXPECT_TRUE(PumpUntil([&] { return module_->fg->State() == dshow::gsPlaying; }, kWaitMs));
}

TEST_F(SourcesTest, TheProfilesMenuComesUpOnARightClickAndItsChoiceIsTheProfileRecordedWith) {
    Start(kCameraAndMicrophone);
    ChooseFormat(L"Wmv");
    ui::TOptionsFrame* options = form_->OptionsFrame;
    // Wine has no system profile: three stand for them.
    options->cboxMedia->Items()->Clear();
    for (const wchar_t* name : {L"Profile A", L"Profile B", L"Profile C"}) options->cboxMedia->Items()->Add(name);
    options->cboxMedia->SetItemIndex(0);
    options->cbDefaultProfile->SetChecked(true);
    int changes = 0;
    options->cboxMedia->OnChange = [&changes](classlib::TObject*) { ++changes; };

    // The menu key on the format list ("Wmv" chosen): the menu lists the profiles.
    SetTimer(nullptr, 0, 300, EndTracking);
    SendMessageW(Panel()->cbFormatCapture->Handle(), WM_CONTEXTMENU,
                 reinterpret_cast<WPARAM>(Panel()->cbFormatCapture->Handle()), MAKELPARAM(-1, -1));
    classlib::TMenuItem* items = form_->pmProfiles->Items();
    ASSERT_EQ(3, items->Count());
    EXPECT_EQ("Profile B", items->Items(1)->Caption());
    items->Items(1)->Click();
    EXPECT_EQ(1, options->cboxMedia->ItemIndex());
    EXPECT_EQ(L"Profile B", options->cboxMedia->Text());
    EXPECT_EQ(0, changes) << "chosen as the panel chooses, not as a change of the list";
    EXPECT_FALSE(options->cbDefaultProfile->Checked());
    EXPECT_TRUE(options->gbProfiles->Visible()) << "the system profiles are shown";
    EXPECT_EQ(2, options->WmvProfileItem()) << "the recording takes system profile 1";

    // The settings panel's own list of profiles offers the menu too.
    items->Clear();
    SetTimer(nullptr, 0, 300, EndTracking);
    SendMessageW(options->cboxMedia->Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(options->cboxMedia->Handle()),
                 MAKELPARAM(-1, -1));
    EXPECT_EQ(3, items->Count());
    // Another format has no profile to choose.
    ChooseFormat(L"avi native");
    EXPECT_EQ(nullptr, Panel()->cbFormatCapture->PopupMenu());
}

TEST_F(SourcesTest, BackdropPassesKeysToTheMainWindow) {
    Start({L"Preview Locked=0"});
    std::unique_ptr<ui::Tplaque> plaque(classlib::NewForm<ui::Tplaque>(nullptr));
    std::vector<UINT> heard;
    form_->SetWindowProc(
        [&](classlib::TMessage& Message) {
            if (Message.Msg == WM_KEYDOWN || Message.Msg == WM_KEYUP || Message.Msg == WM_CHAR) heard.push_back(Message.Msg);
            form_->WndProc(Message);
        },
        &heard);
    SendMessageW(plaque->Handle(), WM_KEYDOWN, 'Q', 0);
    SendMessageW(plaque->Handle(), WM_KEYUP, 'Q', 0xC0000001);
    SendMessageW(plaque->Handle(), WM_CHAR, 'q', 0);
    EXPECT_EQ((std::vector<UINT>{WM_KEYDOWN, WM_KEYUP}), heard);
    form_->SetWindowProc(nullptr, nullptr);
    // Closing it only hides it.
    plaque->Show();
    plaque->Close();
    EXPECT_TRUE(IsWindow(plaque->Handle()));
    EXPECT_FALSE(plaque->Visible());
}

TEST_F(SourcesTest, GrabbedPictureIsSavedAtTheDisplayRatioAndShownInItsBox) {
    Start({L"Preview Locked=0"});
    ui::TExtraireFrame* grab = form_->ExtraireFrame1;
    HDC screen = GetDC(nullptr);
    grab->DisplayPicture.SetBitmap(CreateCompatibleBitmap(screen, 720, 576));
    ReleaseDC(nullptr, screen);
    grab->ShowGrabbedImage(16, 9);
    EXPECT_EQ(720, grab->SavedPicture.Width());
    EXPECT_EQ(405, grab->SavedPicture.Height());
    EXPECT_EQ(720, grab->Image->Picture()->Width());
    EXPECT_EQ((RECT{32, 55, 224, 163}),
              (RECT{grab->Image->Left(), grab->Image->Top(), grab->Image->Left() + grab->Image->Width(),
                    grab->Image->Top() + grab->Image->Height()}));
    EXPECT_EQ(grab->Image->Top(), grab->Bevel3->Top());
    EXPECT_EQ(grab->Image->Height(), grab->Bevel3->Height());
}

// The main window with each panel of the sources' topic, kept as pictures in the build folder.
TEST_F(SourcesTest, ScreenshotsOfTheSourcesFoldersAndGrabPanels) {
    Start(kCameraAndMicrophone);
    ASSERT_TRUE(Previewing());
    std::vector<ui::TPanelFrame*> panels{form_->SourcesFrame, form_->DossiersFrame1, form_->ExtraireFrame1};
    const wchar_t* names[] = {L"main_window_sources.bmp", L"main_window_folders.bmp", L"main_window_grab.bmp"};
    std::vector<std::string> shots;
    for (std::size_t i = 0; i < panels.size(); ++i) {
        for (ui::TPanelFrame* other : panels) other->HideFrame();
        panels[i]->ShowFrame();
        SetWindowPos(form_->Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
        PumpUntil([] { return false; }, 400);
        shots.push_back(quill_test::KeepWindowScreenshot(form_->Handle(), names[i]));
        ASSERT_FALSE(shots.back().empty()) << "no picture of the window";
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(quill_test::ScreenshotPath(names[i]).c_str()));
    }
    // Each panel shows something of its own.
    EXPECT_NE(shots[0], shots[1]);
    EXPECT_NE(shots[1], shots[2]);
    EXPECT_NE(shots[0], shots[2]);
}

TEST_F(SourcesTest, AnotherPlugInFolderIsKeptAndTheRestartNoticeShown) {
    Start({L"Preview Locked=0"});
    widgets::kit::TDirectoryEdit* edit = form_->DossiersFrame1->PlugInDirEdit;
    std::vector<std::wstring> notices;
    auto previous = classlib::SetMessageBoxFunction([&](HWND, const std::wstring& Text, const std::wstring&, UINT) {
        notices.push_back(Text);
        return IDOK;
    });
    // The folder dialog answers a folder of its choice.
    std::wstring answer = L"C:\\Quill plug-ins";
    edit->BrowseFolder = [&](std::wstring& Folder) {
        Folder = answer;
        return true;
    };
    settings::ParamPluginsDir->SetValue(L"C:\\elsewhere\\");
    edit->ButtonClick();
    const std::wstring chosen = settings::ParamPluginsDir->Value();
    EXPECT_NE(std::wstring::npos, chosen.find(L"Quill plug-ins")) << testing::PrintToString(chosen);
    ASSERT_EQ(1u, notices.size());
    EXPECT_EQ(L"The plug-ins found in the folder " + chosen + L"\r\nwill only be activated on next start of Quillotrane"
              L"\r\n\r\nYou should restart it now.",
              notices[0]);
    // The same folder again says nothing.
    edit->ButtonClick();
    EXPECT_EQ(1u, notices.size());
    classlib::SetMessageBoxFunction(previous);
}

// The clip browser's path is stored as the file it names: without the quotes its edit shows around
// a name with blanks, and whole when the name is outside the code page.
TEST_F(SourcesTest, TheClipBrowserIsStoredAsTheFileItsEditNames) {
    Start({L"Preview Locked=0"});
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring program = std::wstring(temp) + L"\u03a0\u03b5\u03bb\u03bf\u03c1\u03af\u03bd \u65e5\u672c.exe";
    CloseHandle(CreateFileW(program.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    widgets::kit::TFilenameEdit* edit = form_->DossiersFrame1->fePelorin;
    edit->SetWideText(widgets::kit::TextOfFileName(program));
    EXPECT_EQ(L'"', edit->WideText()[0]) << "the edit shows it quoted";
    EXPECT_EQ(program, settings::ParamPelorin->Value());
    EXPECT_EQ(program, ui::PelorinProgram()) << "the clip browser is found";
    DeleteFileW(program.c_str());
}

// The folders panel's folders come from the folder browser only: keys typed into them change nothing,
// a folder chosen in the browser is written, a cancelled browser leaves the folder as it was.
TEST_F(SourcesTest, FolderEditsTakeTheBrowsersChoiceAndNoTyping) {
    Start({L"Preview Locked=0"});
    ui::TDossiersFrame* folders = form_->DossiersFrame1;
    for (widgets::kit::TDirectoryEdit* edit : {folders->VideoDirEdit, folders->ImageDirEdit, folders->PlugInDirEdit}) {
        SCOPED_TRACE(classlib::WideToAnsi(edit->Name()));
        edit->SetText("C:\\before");
        SendMessageW(edit->Handle(), WM_CHAR, 'x', 1);
        SendMessageW(edit->Handle(), WM_PASTE, 0, 0);
        EXPECT_EQ("C:\\before", edit->Text());
        bool answer = false;
        edit->BrowseFolder = [&](std::wstring& Folder) {
            Folder = L"C:\\chosen";
            return answer;
        };
        auto previous =
            classlib::SetMessageBoxFunction([](HWND, const std::wstring&, const std::wstring&, UINT) { return IDOK; });
        edit->ButtonClick();
        EXPECT_EQ("C:\\before", edit->Text());
        answer = true;
        edit->ButtonClick();
        classlib::SetMessageBoxFunction(previous);
        EXPECT_EQ("C:\\chosen", edit->Text());
    }
}

TEST(GrabbedImage, FitsTheDisplayRatioAndCentresTheThumbnail) {
    ui::TGrabbedFit fit = ui::FitGrabbedImage(720, 576, 4, 3);
    EXPECT_EQ(720, fit.Width);
    EXPECT_EQ(540, fit.Height);
    EXPECT_EQ((RECT{32, 19, 224, 163}), fit.Thumbnail);
    fit = ui::FitGrabbedImage(720, 576, 16, 9);
    EXPECT_EQ(405, fit.Height);
    EXPECT_EQ(108, fit.Thumbnail.bottom - fit.Thumbnail.top);
    EXPECT_EQ(192, fit.Thumbnail.right - fit.Thumbnail.left);
    EXPECT_EQ(163, fit.Thumbnail.bottom);
    fit = ui::FitGrabbedImage(480, 640, 0, 0);
    EXPECT_EQ(480, fit.Width);
    EXPECT_EQ(640, fit.Height);
    EXPECT_EQ((RECT{74, 19, 182, 163}), fit.Thumbnail);
    // Nothing to show: no box.
    fit = ui::FitGrabbedImage(0, 576, 4, 3);
    EXPECT_EQ((RECT{0, 0, 0, 0}), fit.Thumbnail);
}

// The prefix's profile manager lists version 8.0's profiles, one of them sound only: the profiles
// menu names it as such, as the settings panel's list does, never with a blank line.
TEST_F(SourcesTest, TheProfilesMenuNamesASoundOnlyProfileAsSuch) {
    Start(kCameraAndMicrophone);
    ChooseFormat(L"Wmv");
    ASSERT_TRUE(form_->WmvAvailable);
    ui::TOptionsFrame* options = form_->OptionsFrame;
    options->rgversion->SetItemIndex(2);
    options->FillWmvProfiles();
    SetTimer(nullptr, 0, 300, EndTracking);
    SendMessageW(Panel()->cbFormatCapture->Handle(), WM_CONTEXTMENU,
                 reinterpret_cast<WPARAM>(Panel()->cbFormatCapture->Handle()), MAKELPARAM(-1, -1));
    classlib::TMenuItem* items = form_->pmProfiles->Items();
    ASSERT_GT(items->Count(), 1);
    ASSERT_EQ(options->cboxMedia->Items()->Count(), items->Count());
    int soundOnly = 0;
    for (int i = 0; i < items->Count(); ++i) {
        EXPECT_FALSE(items->Items(i)->Caption().empty()) << "item " << i;
        if (items->Items(i)->Caption() == "Sound only (no video)") ++soundOnly;
    }
    EXPECT_EQ(1, soundOnly);
}

}  // namespace
