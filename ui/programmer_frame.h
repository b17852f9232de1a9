// The schedule panel (panel 2): the start and end of a scheduled recording (time and date each),
// the button that copies the start to the end and the schedule button.
#pragma once

#include "ui/panel_frame.h"
#include "widgets/unicode/uc_buttons.h"
#include "widgets/unicode/uc_std_controls.h"
#include "widgets/unicode/uc_edits.h"
#include "widgets/unicode/uc_std_buttons.h"

namespace ui {

class TProgrammerFrame : public TPanelFrame {
public:
    CLASSLIB_CLASS_NAME(TProgrammerFrame)
    explicit TProgrammerFrame(classlib::TComponent* AOwner);

    widgets::TUcGroupBox* GroupBox1 = nullptr;
    // Start: hours, minutes, seconds and date. Plain edits until the kit's spin and date edits
    // stand in their place.
    widgets::TUcGroupBox* gbDebut = nullptr;
    widgets::TUcEdit* KitSpinEdit1 = nullptr;
    widgets::TUcEdit* KitSpinEdit2 = nullptr;
    widgets::TUcEdit* KitSpinEdit3 = nullptr;
    widgets::TUcEdit* DateEdit1 = nullptr;
    // End.
    widgets::TUcGroupBox* gbFin = nullptr;
    widgets::TUcEdit* KitSpinEdit4 = nullptr;
    widgets::TUcEdit* KitSpinEdit5 = nullptr;
    widgets::TUcEdit* KitSpinEdit6 = nullptr;
    widgets::TUcEdit* DateEdit2 = nullptr;
    widgets::TUcButton* NowBtn = nullptr;
    widgets::TUcBitBtn* ProgBtn = nullptr;
};

}  // namespace ui
