// The capture state: what the capture and schedule actions and the schedule's two alarms do in
// each state, and the four looks that set the state and show it (colours, status texts, enabled
// groups, action captions, hints and glyphs).
#include <cwctype>

#include "classlib/application.h"
#include "classlib/format.h"
#include "engine/capture_data_module.h"
#include "engine/capture_devices.h"
#include "engine/sound_preview.h"
#include "engine/video_preview.h"
#include "settings/parameters.h"
#include "settings/program_text_ids.h"
#include "settings/program_texts.h"
#include "settings/settings_catalogue.h"
#include "ui/capture_form.h"
#include "ui/dossiers_frame.h"
#include "ui/options_frame.h"
#include "ui/programmer_frame.h"
#include "ui/recording_support.h"
#include "ui/recording_text_ids.h"
#include "ui/side_forms.h"
#include "ui/sources_frame.h"
#include "widgets/unicode/uc_dialogs.h"

namespace ui {

namespace {

constexpr int kImageCapture = 14;
constexpr int kImageSoundCapture = 43;
constexpr int kImageStop = 28;
constexpr int kImageSchedule = 20;
constexpr int kImageStopSchedule = 30;
const classlib::TColor kButtonFace = static_cast<classlib::TColor>(0x80000000u | COLOR_BTNFACE);

// Clears the button's glyph, then copies the list's image Index into it (nothing when the list has
// no such image).
void SetGlyph(classlib::TImageList* List, widgets::TUcBitBtn* Button, int Index) {
    Button->SetGlyph(nullptr);
    if (Index >= 0 && Index < List->Count()) Button->SetGlyph(List->GetBitmap(Index));
}

std::wstring FirstThreeUpper(const std::wstring& Text) {
    std::wstring part = Text.substr(0, 3);
    for (wchar_t& c : part) c = static_cast<wchar_t>(std::towupper(c));
    return part;
}

std::wstring AlarmText(widgets::kit::TKitClock* Clock) {
    return classlib::Format(L"%.2d:%.2d:%.2d", {Clock->AlarmHour(), Clock->AlarmMinute(), Clock->AlarmSecond()});
}

}  // namespace

// ---- Transitions ----------------------------------------------------------------------------

void TCaptureForm::saCapturerBasculeexecute(classlib::TObject* /*Sender*/) {
    // A user's action inside a start's or a stop's question waits for nothing: it is not taken.
    if (transitionDepth_ > 0) return;
    ++transitionDepth_;
    switch (CaptureState) {
        case 1:
            if (StartCapture()) ShowCapturingState();
            break;
        case 2:
        case 4:
            StopRunningRecording();
            break;
        case 3:
            if (StartCapture()) {
                // Without an end alarm the recording must not claim a scheduled end.
                if (ArmScheduleEnd())
                    ShowScheduledCaptureState();
                else
                    ShowCapturingState();
            } else {
                ShowPreviewLook();
                DisarmScheduleAlarm();
            }
            break;
        default:
            break;
    }
    --transitionDepth_;
    RunPendingAlarm();
}

void TCaptureForm::StopRunningRecording() {
    const std::wstring file = NextVideoFile;
    if (StopCapture()) {
        DisarmScheduleAlarm();
        ShowPreviewLook();
    } else {
        EndFailedStop(file);
    }
}

void TCaptureForm::EndFailedStop(const std::wstring& File) {
    // The file is closed all the same. A window left in the capture's look with nothing
    // recording would offer only a stop that cannot succeed: it goes back to the preview look,
    // where the sources can be chosen again, and says so.
    AbandonCapture();
    ShowPreviewLook();
    try {
        saCapturerBascule->SetEnabled(false);
        widgets::WideMessageDlg(classlib::Format(RecText(IDS_REC_STOP_FAILED), {File}), widgets::TMsgDlgType::mtError,
                                widgets::MsgDlgButtons({widgets::mbOK}), 0);
    } catch (...) {
    }
}

void TCaptureForm::acProgrammerBasculeExecute(classlib::TObject* /*Sender*/) {
    if (transitionDepth_ > 0) return;
    ++transitionDepth_;
    switch (CaptureState) {
        case 1:
            if (StartSchedule()) ShowScheduleWaitingState();
            break;
        case 2:
            if (ScheduleFieldsShown(false) && ArmScheduleEnd()) ShowScheduledCaptureState();
            break;
        case 3:
            DisarmScheduleAlarm();
            ShowPreviewLook();
            break;
        case 4:
            DisarmScheduleAlarm();
            ShowCapturingState();
            break;
        default:
            break;
    }
    --transitionDepth_;
    RunPendingAlarm();
}

bool TCaptureForm::AlarmActs(int State, double At, int Alarm) {
    if (CaptureState != State) return false;
    // The alarm knows only the time of day: a moment set for another day waits for its day.
    if (ScheduleNow() + 2.0 / 86400.0 < At) return false;
    if (transitionDepth_ > 0) {
        pendingAlarm_ = Alarm;
        return false;
    }
    return true;
}

void TCaptureForm::lancerEnregistrement(classlib::TObject* /*Sender*/) {
    if (!AlarmActs(3, ScheduleStartAt, 1)) return;
    ++transitionDepth_;
    if (ScheduleNow() >= ScheduledEnd()) {
        // The start came at or after the end (the computer slept through the window, and the
        // clock fires a passed alarm late): the end could not be armed and nothing would stop it.
        SkipLateSchedule();
    } else if (StartCapture()) {
        if (ArmScheduleEnd()) {
            ShowScheduledCaptureState();
        } else {
            ShowCapturingState();
            // The end came while the start was being made (a slow start): the window is over, and
            // the recording is closed now rather than left with no end.
            if (ScheduleNow() >= ScheduledEnd()) StopRunningRecording();
        }
    } else {
        DisarmScheduleAlarm();
        StopCapture();
        ShowPreviewLook();
    }
    --transitionDepth_;
    RunPendingAlarm();
}

void TCaptureForm::stopperEnregistrement(classlib::TObject* /*Sender*/) {
    if (!AlarmActs(4, ScheduleEndAt, 2)) return;
    ++transitionDepth_;
    StopRunningRecording();
    --transitionDepth_;
    RunPendingAlarm();
}

void TCaptureForm::RunPendingAlarm() {
    if (transitionDepth_ > 0) return;
    if (pendingWriteFailure_ != S_OK) {
        const HRESULT failure = pendingWriteFailure_;
        pendingWriteFailure_ = S_OK;
        StopOnWriteFailure(failure);
        return;
    }
    if (pendingAlarm_ == 0) return;
    const int alarm = pendingAlarm_;
    pendingAlarm_ = 0;
    if (alarm == 1)
        lancerEnregistrement(this);
    else
        stopperEnregistrement(this);
}

void TCaptureForm::AbandonCapture() {
    try {
        StopGraphAndCloseCapture();
    } catch (...) {
    }
    DisarmScheduleAlarm();
    try {
        HideVideoControls();
    } catch (...) {
    }
}

// ---- Looks ----------------------------------------------------------------------------------

bool TCaptureForm::ShowPreviewState() {
    // A selection that puts the preview look back while a schedule waits (a device change, a
    // refresh) keeps the schedule and its look.
    if (CaptureState == 3 && ProgrammerFrame1->KitClock2->AlarmEnabled()) return ShowScheduleWaitingState();
    return ShowPreviewLook();
}

// What each look shows besides its status texts.
struct TLook {
    classlib::TColor Frame;      // the video frame, the sliders and the backdrop's square
    classlib::TColor Backdrop;
    bool SourcesEnabled;         // the source and format groups and the refresh button
    bool StartShown;             // the schedule's start group and its End = Start button
    int FilesEnabled;            // the profiles and the folders groups: 0 off, 1 on, -1 unchanged
    bool Running;                // a recording runs: cut on, preview lock off, stop texts
    bool Scheduled;              // the schedule action stops the schedule
    int CaptureImage;
};

void TCaptureForm::ApplyLook(const TLook& Look) {
    Shape2->Brush()->SetColor(Look.Frame);
    Shape1->Brush()->SetColor(Look.Frame);
    Xslider->SetColor(Look.Frame);
    Yslider->SetColor(Look.Frame);
    if (Tplaque* plaque = Backdrop()) plaque->Shape1->Brush()->SetColor(Look.Backdrop);
}

void TCaptureForm::ApplyLookControls(const TLook& Look) {
    SourcesFrame->gbVideo->SetEnabled(Look.SourcesEnabled);
    SourcesFrame->gbAudio->SetEnabled(Look.SourcesEnabled);
    SourcesFrame->gbFormatCapture->SetEnabled(Look.SourcesEnabled);
    SourcesFrame->ActualiserVideoSpeedBtn->SetEnabled(Look.SourcesEnabled);
    ProgrammerFrame1->gbDebut->SetVisible(Look.StartShown);
    ProgrammerFrame1->NowBtn->SetVisible(Look.StartShown);
    if (Look.FilesEnabled >= 0) {
        OptionsFrame->gbProfiles->SetEnabled(Look.FilesEnabled == 1);
        DossiersFrame1->gbFichier->SetEnabled(Look.FilesEnabled == 1);
        OptionsFrame->LockRecordingSettings(Look.FilesEnabled != 1);
    }
    acCouper->SetEnabled(Look.Running);
    taLock->SetEnabled(!Look.Running);
    saCapturerBascule->SetCaption(RecText(Look.Running ? IDS_REC_STOP_CAPTURE : IDS_REC_CAPTURE));
    saCapturerBascule->SetHint(RecText(Look.Running ? IDS_REC_STOP_HINT : IDS_REC_START_HINT));
    saCapturerBascule->SetImageIndex(Look.CaptureImage);
    acProgrammerBascule->SetCaption(RecText(Look.Scheduled ? IDS_REC_STOP_PROG : IDS_REC_SCHEDULE));
    acProgrammerBascule->SetHint(RecText(Look.Scheduled ? IDS_REC_STOP_SCHEDULING : IDS_REC_START_SCHEDULING));
    acProgrammerBascule->SetImageIndex(Look.Scheduled ? kImageStopSchedule : kImageSchedule);
}

void TCaptureForm::ApplyLookGlyphs(const TLook& Look) {
    SetGlyph(ImageList1, CaptureBtn, Look.CaptureImage);
    SetGlyph(ImageList1, ProgrammerFrame1->ProgBtn, Look.Scheduled ? kImageStopSchedule : kImageSchedule);
}

bool TCaptureForm::ShowPreviewLook() {
    CaptureState = 1;
    try {
        engine::Tdm* module = engine::dm();
        engine::TVideoSource* video = module != nullptr ? module->CurrentVideoSource : nullptr;
        engine::TAudioSource* sound = module != nullptr ? module->CurrentAudioSource : nullptr;
        const int image = video != nullptr && !IsSoundFormat(CurrentFormat()) ? kImageCapture : kImageSoundCapture;
        const TLook look{kButtonFace, classlib::clBlack, true, true, 1, false, false, image};
        ApplyLook(look);
        UpdateStatusTexts();
        RepaintStatus();
        ApplyLookControls(look);
        saCapturerBascule->SetEnabled(video != nullptr || sound != nullptr);
        // The transport buttons and camcorder windows of the current sources.
        auto transport = [](engine::TavFlux* source, widgets::TUcSpeedButton* button) {
            const bool vcr = source != nullptr && source->HasTransport && source->IsVcr;
            button->SetVisible(vcr);
            if (source == nullptr || !source->HasTransport || source->CamWindow == nullptr) return;
            source->CamWindow->SetVisible(vcr && source->CamWindow->ShowFlag());
        };
        transport(video, SourcesFrame->sbVideoPilotVCR);
        transport(sound, SourcesFrame->sbAudioPilotVCR);
        ApplyLookGlyphs(look);
        return true;
    } catch (...) {
        return false;
    }
}

bool TCaptureForm::ShowCapturingState() {
    CaptureState = 2;
    try {
        const TLook look{classlib::clRed, classlib::clRed, false, false, 0, true, false, kImageStop};
        ApplyLook(look);
        engine::Tdm* module = engine::dm();
        const std::uint8_t format = CurrentFormat();
        std::wstring summary;
        if (module != nullptr && module->CurrentVideoSource != nullptr && !IsSoundFormat(format))
            summary += L"Vid: " + FirstThreeUpper(SourcesFrame->cboxvideo->Text());
        if (module != nullptr && module->CurrentAudioSource != nullptr && format != 8) {
            if (!summary.empty()) summary += L" - ";
            summary += L"Aud: " + SourcesFrame->cboxAudio->Text().substr(0, 3);
        }
        if (!summary.empty()) summary += L"=>" + settings::FormatCaptureShortName(format);
        StatusMainText = summary;
        StatusAlertText.clear();
        ShowSoundlessRecording();
        RepaintStatus();
        ApplyLookControls(look);
        ApplyLookGlyphs(look);
        return true;
    } catch (...) {
        return false;
    }
}

bool TCaptureForm::ShowScheduleWaitingState() {
    CaptureState = 3;
    try {
        const TLook look{classlib::clYellow, classlib::clYellow, true, true, -1, false, true, kImageCapture};
        ApplyLook(look);
        using namespace settings;
        std::wstring main = LoadProgramText(IDS_PROGRAMMATION);
        if (ParamMuteOn != nullptr && ParamMuteOn->Value()) main += LoadProgramText(IDS_PREVIEW_MUTE);
        if (taIncruster->Checked()) main += LoadProgramText(IDS_PREVIEW_IN);
        main += LoadProgramText(ParamWideScreen != nullptr && ParamWideScreen->Value() ? IDS_PREVIEW_16X9
                                                                                       : IDS_PREVIEW_4X3);
        if (acVertFlip->Checked()) main += LoadProgramText(IDS_PREVIEW_FLIP_V);
        StatusMainText = main;
        StatusAlertText = acHorzFlip->Checked() ? LoadProgramText(IDS_PREVIEW_FLIP_H) : std::wstring();
        StatusInfoText = LoadProgramText(IDS_START_AT) + AlarmText(ProgrammerFrame1->KitClock2);
        RepaintStatus();
        ApplyLookControls(look);
        ApplyLookGlyphs(look);
        return true;
    } catch (...) {
        return false;
    }
}

bool TCaptureForm::ShowScheduledCaptureState() {
    CaptureState = 4;
    try {
        const TLook look{classlib::clFuchsia, classlib::clFuchsia, false, false, 0, true, true, kImageStop};
        ApplyLook(look);
        StatusMainText = settings::LoadProgramText(IDS_CAPTURE_UNTIL) + AlarmText(ProgrammerFrame1->KitClock2);
        StatusAlertText.clear();
        ShowSoundlessRecording();
        RepaintStatus();
        ApplyLookControls(look);
        ApplyLookGlyphs(look);
        return true;
    } catch (...) {
        return false;
    }
}

void TCaptureForm::RepaintStatus() {
    FitStatusPanels();
    if (StatusBar1->HandleAllocated()) StatusBar1->Invalidate();
}

}  // namespace ui
