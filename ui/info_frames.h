// The clip list, help and about panels (panels 6, 7 and 8) as far as the main window reaches
// into them: their places in the column, their page and labels.
#pragma once

#include "ui/panel_frame.h"
#include "widgets/custom/clip_list_box.h"
#include "widgets/custom/text_gauge.h"
#include "widgets/hover/hx_label.h"
#include "widgets/unicode/uc_check_list_box.h"
#include "widgets/unicode/uc_rich_edit.h"
#include "widgets/unicode/uc_com_controls.h"
#include "widgets/unicode/uc_edits.h"
#include "widgets/unicode/uc_std_controls.h"
#include "widgets/unicode/uc_std_buttons.h"

namespace ui {

// Panel 6: the files of this run and the gauges.
class TListeFrame : public TPanelFrame {
public:
    CLASSLIB_CLASS_NAME(TListeFrame)
    explicit TListeFrame(classlib::TComponent* AOwner);

    widgets::TUcLabel* Label1 = nullptr;
    // The files written in this run, the last one added at the end.
    widgets::custom::TFichierListBox* fl = nullptr;
    widgets::TUcLabel* labselect = nullptr;
    widgets::custom::TTextGauge* tgCPU = nullptr;
    widgets::custom::TTextGauge* tgVideo = nullptr;
    widgets::custom::TTextGauge* tgImage = nullptr;
};

// Panel 7: help text, system report, the list of capture sources, the filter drop zones.
class THelpFrame : public TPanelFrame {
public:
    CLASSLIB_CLASS_NAME(THelpFrame)
    explicit THelpFrame(classlib::TComponent* AOwner);

    widgets::TUcPageControl* PageControl1 = nullptr;
    widgets::TUcTabSheet* tsAide = nullptr;
    widgets::TUcTabSheet* tsSystem = nullptr;
    widgets::TUcTabSheet* tsSources = nullptr;
    widgets::TUcTabSheet* tsFiltres = nullptr;
    widgets::TUcMemo* Memo1 = nullptr;
    // The capture sources, one line per device ever seen; unchecked lines are excluded.
    widgets::TUcCheckListBox* clSources = nullptr;
    // The system report.
    widgets::TUcRichEdit* reSystem = nullptr;
};

// Panel 8: the program, its maker and their links.
class TAproposFrame : public TPanelFrame {
public:
    CLASSLIB_CLASS_NAME(TAproposFrame)
    explicit TAproposFrame(classlib::TComponent* AOwner);

    hover::THxLabel* HxLabel1 = nullptr;
};

}  // namespace ui
