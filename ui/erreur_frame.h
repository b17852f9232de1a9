// The error panel: it covers the whole main window to report what went wrong at start, as a
// warning the user closes or as a fatal error whose closing ends the program, and offers a mail to
// the maker with the problem and the system report.
#pragma once

#include <string>

#include "widgets/custom/link_edit.h"
#include "widgets/hover/hx_label.h"
#include "widgets/unicode/uc_buttons.h"
#include "widgets/unicode/uc_forms.h"
#include "widgets/unicode/uc_panels.h"
#include "widgets/unicode/uc_std_buttons.h"

namespace ui {

class TErreurFrame : public widgets::TUcFrame {
public:
    CLASSLIB_CLASS_NAME(TErreurFrame)
    explicit TErreurFrame(classlib::TComponent* AOwner);

    hover::THxLabel* HxLabel1 = nullptr;
    widgets::custom::TLinkEdit* LinkEdit1 = nullptr;
    widgets::TUcBitBtn* FermerErreurBtn = nullptr;
    widgets::TUcImage* ImageMarbrecq = nullptr;
    widgets::TUcImage* Image2 = nullptr;

    // Shows Message over the whole main window; Fatal: closing the panel ends the program.
    void ShowError(const std::wstring& Message, bool Fatal);
    void FermerErreurBtnClick(classlib::TObject* Sender);
    void LinkEdit1UrlClick(const std::wstring& Link);
    // A mail to the maker: the stored message, then the system report.
    void LinkEdit1MailClick(const std::wstring& Link);

    bool ErrorIsFatal() const { return errorIsFatal_; }
    const std::wstring& Message() const { return message_; }

private:
    bool errorIsFatal_ = false;
    std::wstring message_;
    int savedFormWidth_ = 0;
    int savedFormHeight_ = 0;
};

}  // namespace ui
