// The error panel: it covers the whole main window to report what went wrong at start, as a
// warning the user closes or as a fatal error whose closing ends the program.
#pragma once

#include <string>

#include "widgets/hover/hx_label.h"
#include "widgets/unicode/uc_edits.h"
#include "widgets/unicode/uc_forms.h"
#include "widgets/unicode/uc_std_controls.h"
#include "widgets/unicode/uc_std_buttons.h"

namespace ui {

class TErreurFrame : public widgets::TUcFrame {
public:
    CLASSLIB_CLASS_NAME(TErreurFrame)
    explicit TErreurFrame(classlib::TComponent* AOwner);

    hover::THxLabel* HxLabel1 = nullptr;
    // The report (the link edit's place until the link edit exists).
    widgets::TUcMemo* LinkEdit1 = nullptr;
    widgets::TUcButton* FermerErreurBtn = nullptr;

    // Shows Message over the whole main window; Fatal: closing the panel ends the program.
    void ShowError(const std::wstring& Message, bool Fatal);
    void FermerErreurBtnClick(classlib::TObject* Sender);

    bool ErrorIsFatal() const { return errorIsFatal_; }
    const std::wstring& Message() const { return message_; }

private:
    bool errorIsFatal_ = false;
    std::wstring message_;
    int savedFormWidth_ = 0;
    int savedFormHeight_ = 0;
};

}  // namespace ui
