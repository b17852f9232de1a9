// The main window's side of the settings and overlay panels: the Windows Media choice the recording
// asks for, the overlay switch, what the overlay panel reaches of the window (the overlay toggle,
// the position sliders, the DV recording date), and the keys that typing takes from the shortcuts.
#include <algorithm>
#include <utility>

#include "engine/capture_data_module.h"
#include "engine/capture_sources.h"
#include "engine/video_preview.h"
#include "filters/scene_detector.h"
#include "filters/superposer.h"
#include "settings/settings_catalogue.h"
#include "ui/capture_form.h"
#include "ui/incruster_frame.h"
#include "ui/options_frame.h"
#include "ui/typing_shortcuts.h"

namespace ui {

int TCaptureForm::WmvProfileItem() {
    return OptionsFrame->WmvProfileItem();
}

int TCaptureForm::WmvDefaultProfileItem() {
    return std::max(0, OptionsFrame->rgProfiles->ItemIndex());
}

int TCaptureForm::WmvVersionItem() {
    return std::max(0, OptionsFrame->rgversion->ItemIndex());
}

void TCaptureForm::ApplyInlay() {
    InlayActive = settings::ParamWantIncrust != nullptr && settings::ParamWantIncrust->Value() && OverlayAllowed;
    engine::Tdm* module = engine::dm();
    filters::Tqz_Superposer* overlay = module != nullptr ? module->Superposer : nullptr;
    if (overlay != nullptr) {
        if (InlayActive && settings::ParamIncrustRec != nullptr)
            overlay->SetIncrustRec(settings::ParamIncrustRec->Value());
        overlay->SetOverlayEnabled(InlayActive);
    }
    UpdateStatusTexts();
}

void TCaptureForm::BindSettingsPanels() {
    TIncrusterFrame* overlay = IncrusterFrame1;
    overlay->OnSwitchOverlay = [this] { taIncruster->Execute(); };
    overlay->OnShowPosition = [this](int X, int Y) {
        // Only shown: the sliders' own handlers would write the record back (and turn a subtitle
        // into a centred line).
        const auto show = [](widgets::kit::TKitSlider* Slider, int Value) {
            classlib::TNotifyEvent saved = std::move(Slider->OnChange);
            Slider->OnChange = nullptr;
            Slider->SetValue(Value);
            Slider->OnChange = std::move(saved);
        };
        show(Xslider, X);
        // The vertical slider runs upwards.
        show(Yslider, Yslider->MaxValue() - Y);
    };
    overlay->OnSubtitleAlignment = [this] { Xslider->SetValue(500); };
    overlay->OnLatestDVDate = [](double& Date) {
        engine::Tdm* module = engine::dm();
        engine::TVideoSource* video = module != nullptr ? module->CurrentVideoSource : nullptr;
        if (video == nullptr || video->SceneFilter == nullptr) return false;
        // Written on the streaming thread: the newest published entry is read whole.
        filters::TDVInfoRec info;
        if (!video->SceneFilter->ReadInfo(video->SceneFilter->RingWriteIndex.load(), info) || !info.DateValid)
            return false;
        Date = info.Date;
        return true;
    };
    TypingShortcuts = new TTypingShortcuts(this, {acIncVolume, acDecVolume, taFreezeCapture});
}

}  // namespace ui
