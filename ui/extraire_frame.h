// The grab panel (panel 3): the last saved picture, the next picture's name, the intervalometer
// (switch, countdown, interval and unit) and the beeps box.
#pragma once

#include "ui/panel_frame.h"
#include "widgets/kit/kit_label.h"
#include "widgets/kit/kit_spin_edit.h"
#include "widgets/kit/kit_switch.h"
#include "widgets/unicode/uc_buttons.h"
#include "widgets/unicode/uc_panels.h"
#include "widgets/unicode/uc_std_controls.h"
#include "widgets/unicode/uc_edits.h"
#include "widgets/unicode/uc_std_buttons.h"

namespace ui {

// Where a grabbed picture goes: its saved size fitted to the display ratio, and the thumbnail's
// box in the grab panel (bottom at y 163, centred in the 192-pixel area that starts at x 32).
struct TGrabbedFit {
    int Width = 0;
    int Height = 0;
    RECT Thumbnail{};
};
// Width x Height fitted to RatioW:RatioH (integer division; 0:0 keeps the picture's proportions).
TGrabbedFit FitGrabbedImage(int Width, int Height, int RatioW, int RatioH);

class TExtraireFrame : public TPanelFrame {
public:
    CLASSLIB_CLASS_NAME(TExtraireFrame)
    explicit TExtraireFrame(classlib::TComponent* AOwner);

    widgets::TUcGroupBox* GroupBox2 = nullptr;
    widgets::TUcImage* Image = nullptr;
    widgets::TUcBevel* Bevel3 = nullptr;
    widgets::TUcGroupBox* GroupBox1 = nullptr;
    widgets::TUcLabel* destlabel = nullptr;
    widgets::TUcGroupBox* gbIntervallo = nullptr;
    widgets::kit::TKitSwitch* KitSwitch1 = nullptr;
    widgets::kit::TKitLabel* chronoLab = nullptr;
    widgets::kit::TKitSpinEdit* KitSpinEdit7 = nullptr;
    widgets::TUcComboBox* cbUnites = nullptr;
    widgets::TUcCheckBox* cbBeeps = nullptr;

    // "Beeps" := the box.
    void cbBeepsClick(classlib::TObject* Sender);

    // The picture as grabbed (filled by the snapshot handling) and as saved: after each grab the
    // saved picture is the grabbed one stretched to the display ratio, and Image shows a copy in
    // its thumbnail box.
    classlib::TPicture DisplayPicture;
    classlib::TPicture SavedPicture;
    void ShowGrabbedImage(int RatioW, int RatioH);
};

}  // namespace ui
