// The about panel (panel 8): the program with its version, its maker, the libraries it is built
// with, links to the home page and to the maker's mail, and a button for the maker's clip browser.
#pragma once

#include <string>

#include "ui/panel_frame.h"
#include "widgets/custom/link_edit.h"
#include "widgets/hover/fb_button.h"
#include "widgets/hover/hx_label.h"
#include "widgets/unicode/uc_panels.h"
#include "widgets/unicode/uc_std_controls.h"

namespace ui {

class TAproposFrame : public TPanelFrame {
public:
    CLASSLIB_CLASS_NAME(TAproposFrame)
    explicit TAproposFrame(classlib::TComponent* AOwner);

    hover::THxLabel* HxLabel1 = nullptr;
    widgets::custom::TLinkEdit* le1 = nullptr;
    widgets::custom::TLinkEdit* leHome = nullptr;
    widgets::custom::TLinkEdit* leMail = nullptr;
    // Runs the clip browser's action (linked by the main window).
    hover::TFlatBarButton* PelorinButton = nullptr;
    widgets::TUcImage* Image1 = nullptr;

    // Once, at the main window's first showing.
    void FillTexts();

    void leUrlClick(const std::wstring& Link);
    // Any mail link: a mail to the maker, whatever address the link shows, with the system report.
    void leMailClick(const std::wstring& Link);
    void leUrlHint(const std::wstring& Link, std::wstring& Hint);
    void leMailHint(const std::wstring& Link, std::wstring& Hint);
};

// The maker's mail address, the home page and the help pages of the program.
std::wstring MakerMailAddress();
std::wstring HomePageAddress();

// Paints the panels' small picture: the program's initial on the maker's maroon.
void PaintMakerPicture(widgets::TUcImage* Image);

}  // namespace ui
