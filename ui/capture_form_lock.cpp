// The preview lock: a rule per capture format that makes the preview show what the format will
// record (the picture's shape, whether the overlay and flips apply, which sources take part); the
// window's video-only and sound-only controls shown or hidden with their source; the option that
// shows the overlay and flip actions at all.
#include "engine/capture_data_module.h"
#include "engine/capture_devices.h"
#include "engine/capture_sources.h"
#include "engine/sound_preview.h"
#include "engine/video_preview.h"
#include "settings/program_text_ids.h"
#include "settings/program_texts.h"
#include "settings/settings_catalogue.h"
#include "ui/capture_form.h"
#include "ui/extraire_frame.h"
#include "ui/options_frame.h"
#include "ui/sources_frame.h"

namespace ui {

namespace {

// The ratio actions a format leaves free.
struct TRatioFreedom {
    bool Normal;
    bool Ratio4x3;
    bool Ratio16x9;
    bool Native;
};

// Enables (or shows) every action of a list of plain and toggle actions.
void EnableAll(std::initializer_list<classlib::TCustomAction*> Actions, bool Value) {
    for (classlib::TCustomAction* action : Actions) action->SetEnabled(Value);
}

}  // namespace

void TCaptureForm::ApplyPreviewLock(bool Locked) {
    engine::Tdm* module = engine::dm();
    engine::TVideoSource* video = module != nullptr ? module->CurrentVideoSource : nullptr;
    engine::TAudioSource* audio = module != nullptr ? module->CurrentAudioSource : nullptr;
    auto setFreedom = [this](const TRatioFreedom& Free) {
        saRatioNormal->SetEnabled(Free.Normal);
        saRatio4x3->SetEnabled(Free.Ratio4x3);
        saRatio16x9->SetEnabled(Free.Ratio16x9);
        saRatioNatif->SetEnabled(Free.Native);
    };
    constexpr TRatioFreedom kOnlyNormal{true, false, false, false};
    constexpr TRatioFreedom kAll{true, true, true, true};

    if (Locked) {
        const std::uint8_t format = settings::ParamCaptureFormat->Value();
        switch (format) {
            case 1:
            case 3:
            case 4:
            case 2:
            case 5:
                OverlayAllowed = false;
                setFreedom(kOnlyNormal);
                saRatioNormal->Execute();
                // The formats that record the device's own sound with its picture take the sound
                // from the same device when it has one.
                if (format != 2 && format != 5 && video != nullptr && audio != nullptr && audio->Device != video->Device &&
                    AudioSources) {
                    for (int i = 0; i < AudioSources->Count(); ++i) {
                        engine::TAudioSource* candidate = AudioSources->Get(i);
                        if (candidate->Device == video->Device) {
                            SelectAudioSource(candidate->Name);
                            break;
                        }
                    }
                }
                break;
            case 6: {
                OverlayAllowed = true;
                setFreedom({false, true, true, false});
                // A window exactly 14:9 counts as 16:9.
                if (9 * vwEcran->Width() < 14 * vwEcran->Height())
                    saRatio4x3->Execute();
                else
                    saRatio16x9->Execute();
                break;
            }
            case 7:
                OverlayAllowed = true;
                setFreedom({false, true, false, false});
                saRatio4x3->Execute();
                break;
            case 8:
                if (video != nullptr && video->Device != nullptr && video->Device->Kind == engine::kKindDV) {
                    OverlayAllowed = false;
                    setFreedom(kOnlyNormal);
                    saRatioNormal->Execute();
                } else {
                    OverlayAllowed = true;
                }
                if (audio != nullptr) SelectAudioSource(settings::LoadProgramText(IDS_NO_AUDIO_STREAM));
                break;
            case 9: {
                OverlayAllowed = true;
                setFreedom(kAll);
                switch (settings::ParamAspectRatio->Value()) {
                    case 1: saRatio4x3->Execute(); break;
                    case 2: saRatio16x9->Execute(); break;
                    case 3: saRatioNatif->Execute(); break;
                    default: saRatioNormal->Execute(); break;
                }
                break;
            }
            case 11:
            case 12:
                if (video != nullptr) {
                    OverlayAllowed = false;
                    SelectVideoSource(settings::LoadProgramText(IDS_NO_VIDEO_STREAM));
                }
                break;
            default:
                // No format and "Default" change nothing.
                break;
        }
        OptionsFrame->rgDVRatio->SetEnabled(false);
        OptionsFrame->rgRatioDivX->SetEnabled(false);
    } else {
        OverlayAllowed = video != nullptr;
        OptionsFrame->rgDVRatio->SetEnabled(true);
        OptionsFrame->rgRatioDivX->SetEnabled(true);
        setFreedom(kAll);
        SelectAudioSource(settings::ParamWantAudioSource->Value());
    }
    ApplyInlay();
    ApplyVerticalFlip();
    ApplyHorizontalFlip();
    // The sources may have changed above.
    const bool withVideo = module != nullptr && module->CurrentVideoSource != nullptr;
    taIncruster->SetEnabled(OverlayAllowed && withVideo);
    acVertFlip->SetEnabled(OverlayAllowed && withVideo);
    acHorzFlip->SetEnabled(OverlayAllowed && withVideo);
}

void TCaptureForm::ShowVideoControls() {
    Panel2->Hide();
    Shape1->Show();
    EnableAll({acSliders, saGrab, saCapturerBascule, tafullscreen}, true);
    EnableAll({taIncruster, acVertFlip, acHorzFlip}, OverlayAllowed);
    ExtraireFrame1->KitSwitch1->SetEnabled(true);
    SourcesFrame->LabVideo->Show();
    SourcesFrame->sbVideoSettings->Show();
}

void TCaptureForm::HideVideoControls() {
    Panel2->Show();
    vwEcran->SendToBack();
    Shape2->SetBounds(Panel2->Left() - 12, Panel2->Top() - 12, Panel2->Width() + 24, Panel2->Height() + 24);
    saGrab->SetEnabled(false);
    if (Xslider->Visible()) acSliders->Execute();
    acSliders->SetEnabled(false);
    Shape1->Hide();
    EnableAll({taIncruster, saCapturerBascule, acVertFlip, acHorzFlip, tafullscreen}, false);
    if (ExtraireFrame1->KitSwitch1->StateOn()) ExtraireFrame1KitSwitch1Click(ExtraireFrame1->KitSwitch1);
    ExtraireFrame1->KitSwitch1->SetEnabled(false);
    SourcesFrame->LabVideo->Hide();
    SourcesFrame->sbVideoSettings->Hide();
}

void TCaptureForm::HideAudioControls() {
    labVolume->Hide();
    tb->Hide();
    gaugeVolume->Hide();
    EnableAll({taMute, acIncVolume, acDecVolume}, false);
    SourcesFrame->LabAudio->Hide();
    SourcesFrame->sbAudioSettings->Hide();
    SourcesFrame->cbEntries->Hide();
}

void TCaptureForm::ShowAudioControls() {
    labVolume->Show();
    tb->Show();
    gaugeVolume->Show();
    EnableAll({taMute, acIncVolume, acDecVolume}, true);
    SourcesFrame->LabAudio->Show();
    SourcesFrame->sbAudioSettings->Show();
    engine::Tdm* module = engine::dm();
    const engine::TAudioSource* audio = module != nullptr ? module->CurrentAudioSource : nullptr;
    SourcesFrame->cbEntries->SetVisible(audio != nullptr && audio->Device != nullptr &&
                                        audio->Device->Kind == engine::kKindSound);
}

void TCaptureForm::taLockfalseExecute(classlib::TObject* /*Sender*/) {
    settings::ParamPreviewLocked->SetValue(true);
    taLock->SetChecked(true);
    ApplyPreviewLock(true);
}

void TCaptureForm::taLockTrueExecute(classlib::TObject* /*Sender*/) {
    settings::ParamPreviewLocked->SetValue(false);
    taLock->SetChecked(false);
    ApplyPreviewLock(false);
}

void TCaptureForm::OptionsFramecbActiverSuperpositionClick(classlib::TObject* /*Sender*/) {
    const bool on = OptionsFrame->cbActiverSuperposition->Checked();
    settings::ParamActiverSuperposition->SetValue(on);
    PublishOverlayPreference(on);
    for (classlib::TCustomAction* action : std::initializer_list<classlib::TCustomAction*>{taIncruster, acVertFlip, acHorzFlip})
        action->SetVisible(on);
}

}  // namespace ui
