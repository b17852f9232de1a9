#include "ui/panel_frame.h"

namespace ui {

int PanelColumnX = 0;
int VideoColumnX = 266;

TPanelFrame::TPanelFrame(classlib::TComponent* AOwner) : widgets::TUcFrame(AOwner) {
    SetVisible(false);
    // In its window before its controls are made: some of them need their parent's window.
    if (auto* parent = dynamic_cast<classlib::TWinControl*>(AOwner)) SetParent(parent);
    SetBounds(PanelColumnX, kPanelTop, kPanelWidth, kPanelHeight);
}

void TPanelFrame::ShowFrame() {
    SetLeft(PanelColumnX);
    BringToFront();
    Show();
}

void TPanelFrame::HideFrame() { Hide(); }

}  // namespace ui
