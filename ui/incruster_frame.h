// The overlay panel (panel 4): what is written into the video, with which font, colours, border
// and alignment, when and for how long, and the time difference added to the shown date.
#pragma once

#include "ui/panel_frame.h"
#include "widgets/unicode/uc_panels.h"
#include "widgets/unicode/uc_std_buttons.h"
#include "widgets/unicode/uc_std_controls.h"
#include "widgets/unicode/uc_edits.h"

namespace ui {

class TIncrusterFrame : public TPanelFrame {
public:
    CLASSLIB_CLASS_NAME(TIncrusterFrame)
    explicit TIncrusterFrame(classlib::TComponent* AOwner);

    widgets::TUcGroupBox* GroupBox1 = nullptr;  // "When to inlay?"
    widgets::TUcRadioButton* rbPermanent = nullptr;
    widgets::TUcRadioButton* rbUnique = nullptr;
    widgets::TUcRadioButton* rbScene = nullptr;
    widgets::TUcRadioButton* rbJour = nullptr;
    widgets::TUcLabel* labDuree = nullptr;
    widgets::TUcEdit* edDuree = nullptr;
    widgets::TUcComboBox* cbDatecode1 = nullptr;
    widgets::TUcComboBox* cbDatecode2 = nullptr;
    widgets::TUcEdit* edPerso1 = nullptr;
    widgets::TUcEdit* edPerso2 = nullptr;
    widgets::TUcLabel* labDecalage = nullptr;
    // The time-difference pane, hidden at start.
    widgets::TUcPanel* PanelDecalage = nullptr;

    // Checks the radio button of WhenIncrust (0 permanently .. 3 each new day); none for other values.
    void ShowWhenIncrust(int WhenIncrust);
};

}  // namespace ui
