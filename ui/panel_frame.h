// What the nine panels of the main window's panel column share: the column's place, and the show
// and hide routines that put a panel there, in front, or take it away.
#pragma once

#include "widgets/unicode/uc_forms.h"

namespace ui {

// The x positions of the panel column and of the video column, in the main window's client pixels.
extern int PanelColumnX;
extern int VideoColumnX;

// The top of the panel column and the size of a panel.
constexpr int kPanelTop = 40;
constexpr int kPanelWidth = 273;
constexpr int kPanelHeight = 400;

class TPanelFrame : public widgets::TUcFrame {
public:
    CLASSLIB_CLASS_NAME(TPanelFrame)
    explicit TPanelFrame(classlib::TComponent* AOwner);

    // Left edge at the panel column, in front, shown.
    virtual void ShowFrame();
    virtual void HideFrame();
};

}  // namespace ui
