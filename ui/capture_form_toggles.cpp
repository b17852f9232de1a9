// The main window's on/off actions (freezes, mute, overlay, shortcuts window, time-difference box),
// the flips, the picture-ratio and volume actions, and the selections and scripts that a script or
// the command line runs by name.
//
// A toggle action's handler of the False state switches its feature on and checks the action, the
// other one switches it off and unchecks it; taFreezeCapture checks itself after its handler runs,
// and the flip and reduce actions before theirs (so their handlers read the new state).
#include <algorithm>

#include "classlib/format.h"
#include "engine/capture_data_module.h"
#include "filters/superposer.h"
#include "filters/time_stamper.h"
#include "settings/program_texts.h"
#include "settings/settings_catalogue.h"
#include "ui/capture_form.h"
#include "ui/incruster_frame.h"
#include "ui/options_text_ids.h"
#include "ui/side_forms.h"
#include "ui/sources_frame.h"
#include "widgets/custom/scripts.h"
#include "unicode/wide_files.h"
#include "widgets/custom/super_actions.h"
#include "widgets/unicode/uc_dialogs.h"

namespace ui {

namespace {

constexpr int kVolumeStep = 1000;
constexpr int kVolumeMax = 10000;

void FreezeStampers(filters::Tqz_TimeStamper* First, filters::Tqz_TimeStamper* Second, bool On) {
    if (First != nullptr) First->SetFreeze(On);
    if (Second != nullptr) Second->SetFreeze(On);
}

filters::Tqz_Superposer* Overlay() {
    engine::Tdm* module = engine::dm();
    return module != nullptr ? module->Superposer : nullptr;
}

// The prepare step of a selection run from the window: the combo box's current text.
void TakeComboText(widgets::TUcComboBox* Combo) {
    widgets::custom::ActionProceed = true;
    widgets::custom::ActionArguments().Clear();
    widgets::custom::ActionArguments().Add(Combo->Text());
}

}  // namespace

// ---- Freezes, mute, overlay --------------------------------------------------------------------

void TCaptureForm::taFreezepreviewfalseExecute(classlib::TObject* /*Sender*/) {
    if (engine::Tdm* module = engine::dm()) FreezeStampers(module->TamponerVideo, module->TamponerAudio, true);
    taFreezepreview->SetChecked(true);
}

void TCaptureForm::taFreezepreviewTrueExecute(classlib::TObject* /*Sender*/) {
    if (engine::Tdm* module = engine::dm()) FreezeStampers(module->TamponerVideo, module->TamponerAudio, false);
    taFreezepreview->SetChecked(false);
}

// The recording goes on in the same file; its picture and sound are dropped together meanwhile and
// go on afterwards where they were frozen. The action's own check follows the handler.
void TCaptureForm::taFreezeCapturefalseExecute(classlib::TObject* /*Sender*/) {
    ShowCaptureFrozen(true);
    if (engine::Tdm* module = engine::dm()) module->FreezeCapture(true);
}

void TCaptureForm::taFreezeCaptureTrueExecute(classlib::TObject* /*Sender*/) {
    ShowCaptureFrozen(false);
    if (engine::Tdm* module = engine::dm()) module->FreezeCapture(false);
}

// Frozen, the frame around the picture is crossed in the state's colour over the grey behind it,
// in the window and in full screen; the looks change the colours only, so it stays crossed
// through them. The corner square at the sliders' crossing is part of the frame.
void TCaptureForm::ShowCaptureFrozen(bool Frozen) {
    const classlib::TBrushStyle style = Frozen ? classlib::TBrushStyle::bsDiagCross : classlib::TBrushStyle::bsSolid;
    Shape2->Brush()->SetStyle(style);
    Shape1->Brush()->SetStyle(style);
    if (Tplaque* backdrop = Backdrop()) {
        backdrop->Shape1->Brush()->SetStyle(style);
        backdrop->SetColor(Frozen ? classlib::clBtnFace : classlib::clBlack);
    }
}

void TCaptureForm::taMutefalseExecute(classlib::TObject* /*Sender*/) {
    if (settings::ParamMuteOn != nullptr) settings::ParamMuteOn->SetValue(true);
    ApplyVolume();
    taMute->SetChecked(true);
    UpdateStatusTexts();
}

void TCaptureForm::taMuteTrueExecute(classlib::TObject* /*Sender*/) {
    if (settings::ParamMuteOn != nullptr) settings::ParamMuteOn->SetValue(false);
    ApplyVolume();
    taMute->SetChecked(false);
    UpdateStatusTexts();
}

void TCaptureForm::taIncrusterfalseExecute(classlib::TObject* /*Sender*/) {
    if (settings::ParamWantIncrust != nullptr) settings::ParamWantIncrust->SetValue(true);
    taIncruster->SetChecked(true);
    ApplyInlay();
}

void TCaptureForm::taIncrusterTrueExecute(classlib::TObject* /*Sender*/) {
    if (settings::ParamWantIncrust != nullptr) settings::ParamWantIncrust->SetValue(false);
    taIncruster->SetChecked(false);
    ApplyInlay();
}

// ---- Shortcuts window, time-difference box -------------------------------------------------------

void TCaptureForm::taraccourcisprepare(classlib::TObject* /*Sender*/) {
    TRaccourcisForm* window = ShortcutsWindow();
    taraccourcis->SetChecked(window != nullptr && window->Visible());
}

void TCaptureForm::taraccourcisfalseExecute(classlib::TObject* /*Sender*/) {
    taraccourcis->SetChecked(true);
    TRaccourcisForm* window = ShortcutsWindow();
    if (window == nullptr) return;
    if (window->Left() < 0) window->SetLeft(0);
    window->Show();
    window->BringToFront();
}

void TCaptureForm::taraccourcisTrueExecute(classlib::TObject* /*Sender*/) {
    if (TRaccourcisForm* window = ShortcutsWindow()) window->Hide();
    taraccourcis->SetChecked(false);
}

void TCaptureForm::taDecalageprepare(classlib::TObject* /*Sender*/) {
    taDecalage->SetChecked(IncrusterFrame1->PanelDecalage->Visible());
}

void TCaptureForm::taDecalagefalseExecute(classlib::TObject* /*Sender*/) {
    IncrusterFrame1->PanelDecalage->Show();
    taDecalage->SetChecked(true);
}

void TCaptureForm::taDecalageTrueExecute(classlib::TObject* /*Sender*/) {
    IncrusterFrame1->PanelDecalage->Hide();
    taDecalage->SetChecked(false);
}

// ---- Flips ---------------------------------------------------------------------------------------

void TCaptureForm::acVertFlipExecute(classlib::TObject* /*Sender*/) {
    if (settings::ParamWantVertFlip != nullptr) settings::ParamWantVertFlip->SetValue(acVertFlip->Checked());
    ApplyVerticalFlip();
}

void TCaptureForm::acHorzFlipExecute(classlib::TObject* /*Sender*/) {
    if (settings::ParamWantHorzFlip != nullptr) settings::ParamWantHorzFlip->SetValue(acHorzFlip->Checked());
    ApplyHorizontalFlip();
}

// A wanted flip waits while the capture format does not allow it.
void TCaptureForm::ApplyVerticalFlip() {
    VertFlipApplied = settings::ParamWantVertFlip != nullptr && settings::ParamWantVertFlip->Value() && OverlayAllowed;
    if (filters::Tqz_Superposer* overlay = Overlay()) overlay->SetVerticalFlip(VertFlipApplied);
    UpdateStatusTexts();
}

void TCaptureForm::ApplyHorizontalFlip() {
    HorzFlipApplied = settings::ParamWantHorzFlip != nullptr && settings::ParamWantHorzFlip->Value() && OverlayAllowed;
    if (filters::Tqz_Superposer* overlay = Overlay()) overlay->SetHorizontalFlip(HorzFlipApplied);
    UpdateStatusTexts();
}

// ---- Picture ratio, volume -----------------------------------------------------------------------

namespace {
void StoreAspect(std::uint8_t Value) {
    if (settings::ParamAspectRatio != nullptr) settings::ParamAspectRatio->SetValue(Value);
}
}  // namespace

void TCaptureForm::saRatioNormalexecute(classlib::TObject* /*Sender*/) {
    StoreAspect(0);
    ApplyAspectRatio();
}

void TCaptureForm::saRatioNatifexecute(classlib::TObject* /*Sender*/) {
    StoreAspect(3);
    ApplyAspectRatio();
}

void TCaptureForm::saRatio16x9execute(classlib::TObject* /*Sender*/) {
    StoreAspect(2);
    ApplyAspectRatio();
}

void TCaptureForm::saRatio4x3execute(classlib::TObject* /*Sender*/) {
    StoreAspect(1);
    ApplyAspectRatio();
}

namespace {
int StepVolume(int Step) {
    if (settings::ParamVolume == nullptr) return 0;
    const int volume = std::clamp(settings::ParamVolume->Value() + Step, 0, kVolumeMax);
    settings::ParamVolume->SetValue(volume);
    return volume;
}
}  // namespace

void TCaptureForm::acIncVolumeExecute(classlib::TObject* /*Sender*/) {
    tb->SetValue(StepVolume(kVolumeStep));
    ApplyVolume();
}

void TCaptureForm::acDecVolumeExecute(classlib::TObject* /*Sender*/) {
    tb->SetValue(StepVolume(-kVolumeStep));
    ApplyVolume();
}

// ---- Selections and scripts by name ----------------------------------------------------------------
// A source selected so leaves the wanted sources and the preview lock as they are; a format is
// chosen as the format list chooses it (capture_form_sources.cpp).

void TCaptureForm::saSourceVideoprepare(classlib::TObject* /*Sender*/) { TakeComboText(SourcesFrame->cboxvideo); }

void TCaptureForm::saSourceVideoexecute(classlib::TObject* /*Sender*/) {
    SelectVideoSourceAsked(widgets::custom::ActionArgument());
}

void TCaptureForm::saSourceAudioprepare(classlib::TObject* /*Sender*/) { TakeComboText(SourcesFrame->cboxAudio); }

void TCaptureForm::saSourceAudioexecute(classlib::TObject* /*Sender*/) {
    SelectAudioSourceAsked(widgets::custom::ActionArgument());
}

void TCaptureForm::saFormatCaptureprepare(classlib::TObject* /*Sender*/) {
    TakeComboText(SourcesFrame->cbFormatCapture);
}

void TCaptureForm::saFormatCaptureexecute(classlib::TObject* /*Sender*/) {
    SelectCaptureFormatAsked(widgets::custom::ActionArgument());
}

void TCaptureForm::saScriptprepare(classlib::TObject* /*Sender*/) {
    widgets::custom::ActionProceed = false;
    try {
        if (!odListe->Execute()) return;
        widgets::custom::ActionArguments().Clear();
        widgets::custom::ActionArguments().Add(odListe->FileName());
        widgets::custom::ActionProceed = true;
    } catch (...) {
        // A dialog that fails runs nothing.
    }
}

void TCaptureForm::saScriptexecute(classlib::TObject* /*Sender*/) {
    const std::wstring file = widgets::custom::ActionArgument();
    if (file.empty()) return;
    // One script runs at a time: the one chosen meanwhile is not run, and the user is told.
    if (Script1->Executing()) {
        widgets::WideMessageDlg(classlib::Format(settings::LoadProgramText(IDS_OPT_SCRIPT_BUSY),
                                                 {unicode::WideExtractFileName(file)}),
                                widgets::TMsgDlgType::mtWarning, widgets::MsgDlgButtons({widgets::mbOK}), 0);
        return;
    }
    Script1->RunFile(file);
}

}  // namespace ui
