#include "ui/capture_form.h"
#include "unicode/wide_files.h"

#include <wmsdk.h>

#include <memory>

#include "classlib/application.h"
#include "classlib/conversions.h"
#include "classlib/forms.h"
#include "classlib/start_trace.h"
#include "dshow/wm_profile_manager.h"
#include "engine/capture_data_module.h"
#include "engine/capture_devices.h"
#include "engine/capture_sources.h"
#include "engine/plugins.h"
#include "engine/scene_list.h"
#include "engine/sound_preview.h"
#include "engine/video_preview.h"
#include "settings/program_texts.h"
#include "settings/settings_catalogue.h"
#include "settings/shell_helpers.h"
#include "ui/erreur_frame.h"
#include "ui/options_frame.h"
#include "ui/save_prefs_form.h"
#include "ui/side_forms.h"
#include "ui/snapshot_text_ids.h"
#include "ui/sources_frame.h"
#include "unicode/wide_platform.h"

namespace ui {

namespace {

std::unique_ptr<unicode::TUcStringList> gFailedDevices;
bool gStartingUp = false;
TCaptureForm* gCaptureForm = nullptr;

constexpr int kClientWidth = 700;
constexpr int kClientHeight = 459;

// The Windows Media profile manager, made on the first idle when the system offers one.
Microsoft::WRL::ComPtr<IWMProfileManager> gProfileManager;

bool CreateProfileManager() { return dshow::CreateWmProfileManager(gProfileManager); }

}  // namespace

std::wstring ParameterListSignature() {
    return std::wstring(L"Quillotrane") + L" " + settings::ProgramVersion() + L" " + settings::ProgramLanguage() +
           L" by " + L"Marbrecq";
}

unicode::TUcStringList* FailedDevices() { return gFailedDevices.get(); }
bool StartingUp() { return gStartingUp; }
TCaptureForm* CaptureForm() { return gCaptureForm; }

TCaptureForm::TCaptureForm(classlib::TComponent* AOwner) : widgets::TUcForm(AOwner) {
    SetName(L"CaptureForm");
    SetBorderStyle(classlib::TFormBorderStyle::bsSingle);
    SetBorderIcons(classlib::biSystemMenu | classlib::biMinimize);
    SetClientWidth(kClientWidth);
    SetClientHeight(kClientHeight);
    // The caption until the first showing replaces it.
    SetCaption(L"......");
    BuildComponents();
    BuildActions();
    BindHandlers();
    BindSettingsPanels();
    if (gCaptureForm == nullptr) gCaptureForm = this;

    OnCreate = [this](classlib::TObject* Sender) { FormCreate(Sender); };
    OnShow = [this](classlib::TObject* Sender) { FormShow(Sender); };
    OnCloseQuery = [this](classlib::TObject* Sender, bool& CanClose) { FormCloseQuery(Sender, CanClose); };
    OnDestroy = [this](classlib::TObject* Sender) { FormDestroy(Sender); };
}

TCaptureForm::~TCaptureForm() {
    // OnDestroy must see the whole window (it runs once; the application may have run it).
    BeforeDestruction();
    // Nothing below may call back into a window that is gone.
    if (settings::SettingsHost() == this) {
        settings::SetSettingsHost(nullptr);
        settings::SetApplicationWindowProvider(nullptr);
    }
    if (engine::EngineHost() == this) engine::SetEngineHost(nullptr);
    if (filters::FiltersHost() == this) filters::SetFiltersHost(nullptr);
    if (gCaptureForm == this) gCaptureForm = nullptr;
    messageWindow_.store(nullptr);
}

void TCaptureForm::CreateWnd() {
    widgets::TUcForm::CreateWnd();
    messageWindow_.store(Handle());
}

void TCaptureForm::DestroyWnd() {
    messageWindow_.store(nullptr);
    widgets::TUcForm::DestroyWnd();
}

void TCaptureForm::FormCreate(classlib::TObject* /*Sender*/) {
    settings::SetSettingsHost(this);
    settings::SetApplicationWindowProvider([]() -> HWND {
        return classlib::ApplicationExists() ? classlib::Application()->Handle() : nullptr;
    });
    settings::CreateParameterList(ParameterListSignature());
    gFailedDevices = std::make_unique<unicode::TUcStringList>();
    gStartingUp = true;
    acIncVolume->SetShortCut(VK_ADD);
    acDecVolume->SetShortCut(VK_SUBTRACT);
    saIntervallo->SetShortCut(VK_PAUSE);
    // The command line. The window is activated when it is first shown, before the first idle has
    // listed the sources: commands that choose a source or a format, or start a recording, would
    // act on an empty window and be undone by the stored choices. It runs once the start-up is done.
    if (IsProgramWindow()) {
        // Closes wait for the first idle from here on (FormShow hooks it).
        startUpPending_ = true;
        Switch1 = new widgets::custom::TSwitch(this);
        Switch1->SetName(L"Switch1");
        Switch1->SetActionList(al);
        classlib::Application()->OnActivate = nullptr;
    }
}

bool TCaptureForm::IsProgramWindow() const {
    return classlib::ApplicationExists() && classlib::Application()->MainForm() == this;
}

void TCaptureForm::FormShow(classlib::TObject* /*Sender*/) {
    if (firstShowDone_) return;
    firstShowDone_ = true;
    // A first showing that fails before it hooks the first idle leaves no start-up to wait for:
    // closes are no longer held.
    struct TNoIdle {
        TCaptureForm* Form;
        ~TNoIdle() {
            if (Form->AppEvents1->OnIdle) return;
            Form->startUpPending_ = false;
            Form->CarryOutHeldClose();
        }
    } noIdle{this};
    classlib::StartTrace("first showing");
    Panel2->Show();
    LoadInterfaceTexts();
    OptionsFrame->LoadTexts();
    classlib::StartTrace("texts set");
    camForm1 = new TcamForm(this);
    camForm1->SetName(L"camForm1");
    camForm2 = new TcamForm(this);
    camForm2->SetName(L"camForm2");
    ActiveCamForm = camForm1;
    camForm1->image1->SetVisible(true);
    camForm1->SetColor(static_cast<classlib::TColor>(0x80000000u | COLOR_BTNFACE));
    camForm2->image1->SetVisible(false);
    classlib::StartTrace("camcorder windows created");
    LoadSettings();
    // The sources panel's lists have their windows whichever panel is shown: what drives the program
    // from outside (a test driver, an accessibility tool) reads the chosen sources there.
    SourcesFrame->HandleNeeded();
    classlib::StartTrace("settings loaded and applied");
    DisarmScheduleAlarm();
    ShowPreviewState();
    engine::CloseScnFile();
    ShowInfoPanelsFirst();
    classlib::StartTrace("first showing done");
    // The idle work runs once the window is up (the program's main window only: a window made
    // by a test runs it by hand).
    if (IsProgramWindow())
        AppEvents1->OnIdle = [this](classlib::TObject* Sender, bool& Done) { AppEvents1Idle(Sender, Done); };
}

void TCaptureForm::AppEvents1Idle(classlib::TObject* /*Sender*/, bool& Done) {
    if (firstIdleDone_) return;
    firstIdleDone_ = true;
    classlib::StartTrace("first idle");
    try {
        engine::Tdm* module = engine::dm();
        Plugins = std::make_unique<engine::TpluginList>();
        VideoDevices = std::make_unique<engine::TCaptureDeviceList>();
        AudioDevices = std::make_unique<engine::TCaptureDeviceList>();
        VideoDevices->SetPlugins(Plugins.get());
        AudioDevices->SetPlugins(Plugins.get());
        engine::Crossbars().FillCrossbars();
        VideoSources = std::make_unique<engine::TvideoSourcesList>();
        AudioSources = std::make_unique<engine::TAudioSourcesList>();
        classlib::StartTrace("lists and crossbar monikers made");
        if (module != nullptr) {
            vwEcran->SetFilterGraph(module->fg);
            module->AttachRenderers(vwEcran->GetFilter().Get());
        }
        classlib::StartTrace("renderers joined the graph");
        WmvAvailable = CreateProfileManager();
        classlib::StartTrace("profile manager made");
        if (module != nullptr) {
            module->WMProfileManager = gProfileManager;
            module->ProfileManagerReady = WmvAvailable;
        }
        std::wstring errorText;
        LoadPanelLists();
        classlib::StartTrace("panel lists filled");
        engine::LoadPluginList(*Plugins);
        classlib::StartTrace("plug-ins loaded");
        if (!EnumerateSources()) errorText += settings::LoadProgramText(IDS_CANNOT_CHANGE_VIDEO_SOURCES) + L"\r\n";
        classlib::StartTrace("sources enumerated");
        OverlayAllowed = true;
        ++GraphRunDeferred;
        SelectVideoSource(settings::ParamSourceVideo->Value());
        classlib::StartTrace("video source selected");
        SelectAudioSource(settings::ParamSourceAudio->Value());
        classlib::StartTrace("sound source selected");
        SelectCaptureFormat(settings::ParamCaptureFormat->Value());
        classlib::StartTrace("capture format selected");
        --GraphRunDeferred;
        if (module != nullptr) module->RunGraph();
        classlib::StartTrace("graph run");
        if (settings::ParamWantVertFlip->Value()) {
            settings::ParamWantVertFlip->SetValue(false);
            acVertFlip->Execute();
        }
        if (settings::ParamWantHorzFlip->Value()) {
            settings::ParamWantHorzFlip->SetValue(false);
            acHorzFlip->Execute();
        }
        if (settings::ParamWantIncrust->Value()) taIncruster->Execute();
        // A full screen stored at the last close: the settings' load could only check the action,
        // there was no picture yet to show.
        if (tafullscreen->Checked() && tafullscreen->Enabled() && (Backdrop() == nullptr || !Backdrop()->Visible())) {
            tafullscreen->SetChecked(false);
            tafullscreen->Execute();
        }
        if (!settings::ParamNotifier->Value() && module != nullptr)
            module->fg->OnGraphDeviceLost = [this](classlib::TObject*, IUnknown*, bool) { GraphDeviceLost(this); };
        if (CaptureBtn->CanFocus()) CaptureBtn->SetFocus();
        if (settings::ParamPreviewLocked->Value()) taLock->Execute();
        if (settings::ParamFreezePreview->Value()) taFreezepreview->Execute();
        if (settings::ParamFreezeCapture->Value()) taFreezeCapture->Execute();
        classlib::StartTrace("toggles reapplied");
        CreatePictureBuffers();
        ShowSystemInfo();
        classlib::StartTrace("system information written");
        if (!errorText.empty()) {
            labVolume->Hide();
            gaugeVolume->Hide();
            ErreurFrame1->ShowError(errorText, false);
        }
        // Older files that copies killed while they replaced them left in the recordings' folder,
        // last: where one is kept beside its name, the user is told.
        TellLeftOvers(NextVideoFile);
    } catch (...) {
        // Start-up goes on with what was done.
    }
    // No action is marked: the camcorder scan starts from a clean slate.
    for (int i = 0; i < al->ActionCount(); ++i) al->Actions(i)->SetTag(-1);
    AppEvents1->OnIdle = nullptr;
    Done = true;
    BOOL active = FALSE;
    ScreenSaverWasActive = SystemParametersInfoW(SPI_GETSCREENSAVEACTIVE, 0, &active, 0) && active;
    if (ScreenSaverWasActive) SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, SPIF_SENDCHANGE);
    ImageByImageMode = false;
    gStartingUp = false;
    // A close held meanwhile is carried out now, after the command line (which was asked for
    // first), whatever that does; the command line's own closes act at once.
    startUpPending_ = false;
    struct TStartUpEnd {
        TCaptureForm* Form;
        ~TStartUpEnd() {
            Form->startUpPending_ = false;
            Form->CarryOutHeldClose();
        }
    } startUpEnd{this};
    if (Switch1 != nullptr) Switch1->AppActivate(this);
    classlib::StartTrace("first idle done");
}

void TCaptureForm::CarryOutHeldClose() {
    if (!closeHeld_) return;
    closeHeld_ = false;
    // Posted, not called: the close then runs from the message loop, with nothing of the start-up
    // or of the save beneath it.
    if (HandleAllocated()) PostMessageW(Handle(), WM_CLOSE, 0, 0);
}

bool TCaptureForm::AskStorageMode(std::uint8_t& Mode) {
    // The dialog the start-up made; a window without it (a test's) makes its own for the question.
    TSavePrefsForm* dialog = nullptr;
    std::unique_ptr<TSavePrefsForm> own;
    if (classlib::ApplicationExists()) {
        classlib::TApplication* application = classlib::Application();
        for (int i = 0; i < application->ComponentCount() && dialog == nullptr; ++i)
            dialog = dynamic_cast<TSavePrefsForm*>(application->Components(i));
    }
    if (dialog == nullptr) {
        own.reset(classlib::NewForm<TSavePrefsForm>(this));
        dialog = own.get();
    }
    dialog->Chosen = false;
    dialog->ShowModal();
    if (!dialog->Chosen) return false;
    Mode = dialog->Mode;
    return true;
}

void TCaptureForm::FormCloseQuery(classlib::TObject* /*Sender*/, bool& CanClose) {
    // A close that comes while the start-up still builds the sources and the graph, or while a
    // grabbed picture is being saved, would tear down what they are working on (or be undone by
    // them): it is held, and carried out when they end.
    if (startUpPending_ || grabInProgress_) {
        closeHeld_ = true;
        CanClose = false;
        return;
    }
    // A close asked again while one is under way (the close box clicked twice while the question
    // is open or the pictures are awaited) waits for the first one's outcome.
    if (closeUnderWay_) {
        CanClose = false;
        return;
    }
    struct TUnderWay {
        bool& Flag;
        explicit TUnderWay(bool& Value) : Flag(Value) { Flag = true; }
        ~TUnderWay() { Flag = false; }
    } underWay(closeUnderWay_);
    // The pictures asked for before the close are saved first; one that does not come in time is
    // reported, never dropped unsaid.
    if (!FinishAskedSnapshots())
        widgets::WideMessageDlg(settings::LoadProgramText(IDS_SNAP_NOT_TAKEN_AT_CLOSE), widgets::TMsgDlgType::mtError,
                                widgets::MsgDlgButtons({widgets::mbOK}), 0);
    // The storage question comes next: a refused close leaves the program as it was, previewing.
    if (settings::StorageMode() == settings::smNone) {
        std::uint8_t mode = settings::smNone;
        if (!AskStorageMode(mode)) {
            CanClose = false;
            return;
        }
        OptionsFrame->ShowStorageMode(static_cast<settings::TStorageMode>(mode));
        OptionsFramergPrefsClick(OptionsFrame->rgPrefs);
    }
    fullScreenAtClose_ = tafullscreen->Checked();
    if (tafullscreen->Checked()) tafullscreen->Execute();
    StopGraphAndCloseCapture();
    if (engine::Tdm* module = engine::dm()) {
        try {
            if (module->CurrentVideoSource != nullptr) module->CurrentVideoSource->KillGraph(true);
            if (module->CurrentAudioSource != nullptr) module->CurrentAudioSource->KillGraph(true);
            module->fg->ClearGraph();
        } catch (...) {
        }
    }
    // The writers have let the last recording go: it is settled now, and what became of the older
    // files it replaced is told before the program ends.
    try {
        FinishClosedFile(true);
    } catch (...) {
    }
    if (camForm1 != nullptr) camForm1->Close();
    if (camForm2 != nullptr) camForm2->Close();
    SaveSettings();
    try {
        VideoSources.reset();
        AudioSources.reset();
    } catch (...) {
    }
    gProfileManager.Reset();
    try {
        vwEcran->SetFilterGraph(nullptr);
    } catch (...) {
    }
}

void TCaptureForm::FormDestroy(classlib::TObject* /*Sender*/) {
    if (ScreenSaverWasActive) {
        SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, SPIF_SENDCHANGE);
        ScreenSaverWasActive = false;
    }
    gFailedDevices.reset();
    AudioDevices.reset();
    VideoDevices.reset();
    Plugins.reset();
    if (settings::SettingsHost() == this) {
        settings::SetSettingsHost(nullptr);
        settings::SetApplicationWindowProvider(nullptr);
    }
}

void TCaptureForm::acQuitterExecute(classlib::TObject* /*Sender*/) { Close(); }

void TCaptureForm::ApplyVolume() {
    const int volume = settings::ParamVolume != nullptr ? settings::ParamVolume->Value() : 0;
    const bool mute = settings::ParamMuteOn != nullptr && settings::ParamMuteOn->Value();
    if (engine::Tdm* module = engine::dm()) {
        try {
            module->fg->SetVolume(mute ? 0 : volume);
        } catch (...) {
        }
    }
    gaugeVolume->SetProgress(volume / 100);
}

void TCaptureForm::tbChange(classlib::TObject* /*Sender*/) {
    if (settings::ParamVolume == nullptr) return;
    settings::ParamVolume->SetValue(tb->Value());
    ApplyVolume();
}

void TCaptureForm::Dispatch(classlib::TMessage& Message) {
    switch (Message.Msg) {
        case WM_DEVICECHANGE:
            widgets::TUcForm::Dispatch(Message);
            WMDeviceChange(Message);
            return;
        case filters::kWMFrameGrabbed:
            WMFrameGrabbed(Message);
            return;
        case filters::kWMIntervalometerCount:
            WMIntervalometerCount(Message);
            return;
        case filters::kWMDVRatioChanged:
            WMDVRatioChanged(Message);
            return;
        case kWMSourcesEvent:
            WMSourcesEvent(Message);
            return;
        case kWMRecordingWriteFailed:
            WMRecordingWriteFailed(Message);
            return;
        default:
            widgets::TUcForm::Dispatch(Message);
    }
}

std::wstring TCaptureForm::ExeName() const {
    if (widgets::TUcApplication* application = widgets::UcApplication()) return application->ExeName();
    return unicode::WideParamStr(0);
}

HWND TCaptureForm::MainWindowHandle() { return HandleAllocated() ? Handle() : nullptr; }

void TCaptureForm::SetVideoLabel(const std::wstring& Caption) { SourcesFrame->LabVideo->SetCaption(Caption); }

engine::ICamWindow* TCaptureForm::CamWindow(int Index) {
    if (Index == 0) return camForm1;
    if (Index == 1) return camForm2;
    return nullptr;
}

void TCaptureForm::ForgetCamForm(engine::ICamWindow* Window) {
    if (Window == nullptr || Window != static_cast<engine::ICamWindow*>(ActiveCamForm)) return;
    SetActiveCamForm(Window == static_cast<engine::ICamWindow*>(camForm1) ? camForm2 : camForm1);
}

void TCaptureForm::SetActiveCamForm(TcamForm* Form) {
    if (Form == nullptr || Form == ActiveCamForm) return;
    if (ActiveCamForm != nullptr) ActiveCamForm->image1->SetVisible(false);
    Form->image1->SetVisible(true);
    ActiveCamForm = Form;
}

bool TVideoPopupLink::AutoPopup() { return Menu != nullptr && Menu->AutoPopup(); }

void TVideoPopupLink::Popup(int X, int Y) {
    if (Menu != nullptr) Menu->Popup(X, Y);
}

LONGLONG TCaptureForm::FrameTime() { return engine::Native.SourceFrameTime; }

SIZE TCaptureForm::DisplayAspect() {
    return SIZE{static_cast<LONG>(engine::Native.SourceAspectX), static_cast<LONG>(engine::Native.SourceAspectY)};
}

}  // namespace ui
