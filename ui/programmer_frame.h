// The schedule panel (panel 2): the start and end of a scheduled recording (time and date each),
// the button that copies the start to the end and the schedule button.
#pragma once

#include "ui/panel_frame.h"
#include "widgets/kit/date_edit.h"
#include "widgets/kit/kit_clock.h"
#include "widgets/kit/kit_spin_edit.h"
#include "widgets/unicode/uc_buttons.h"
#include "widgets/unicode/uc_std_controls.h"
#include "widgets/unicode/uc_edits.h"
#include "widgets/unicode/uc_std_buttons.h"

namespace ui {

class TProgrammerFrame : public TPanelFrame {
public:
    CLASSLIB_CLASS_NAME(TProgrammerFrame)
    explicit TProgrammerFrame(classlib::TComponent* AOwner);

    // Fills the panel's values (the main window's handler) before it is shown.
    void ShowFrame() override;
    classlib::TNotifyEvent OnBeforeShow;

    widgets::TUcGroupBox* GroupBox1 = nullptr;
    // Start: hours, minutes, seconds and date.
    widgets::TUcGroupBox* gbDebut = nullptr;
    widgets::kit::TKitSpinEdit* KitSpinEdit1 = nullptr;
    widgets::kit::TKitSpinEdit* KitSpinEdit2 = nullptr;
    widgets::kit::TKitSpinEdit* KitSpinEdit3 = nullptr;
    widgets::kit::TDateEdit* DateEdit1 = nullptr;
    // End.
    widgets::TUcGroupBox* gbFin = nullptr;
    widgets::kit::TKitSpinEdit* KitSpinEdit4 = nullptr;
    widgets::kit::TKitSpinEdit* KitSpinEdit5 = nullptr;
    widgets::kit::TKitSpinEdit* KitSpinEdit6 = nullptr;
    widgets::kit::TDateEdit* DateEdit2 = nullptr;
    widgets::TUcBitBtn* NowBtn = nullptr;
    widgets::TUcBitBtn* ProgBtn = nullptr;
    // The alarm clock of both ends of a schedule.
    widgets::kit::TKitClock* KitClock2 = nullptr;
};

}  // namespace ui
