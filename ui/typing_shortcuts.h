// Keys that are shortcuts of the main window but also text: while a field that takes typed text
// has the focus ("+" and "-" of the keypad, the space bar), the actions that own them give those
// keys up, so that they reach the field; they take them back when the focus leaves it.
#pragma once

#include <vector>

#include "classlib/actions.h"
#include "classlib/custom_form.h"
#include "widgets/kit/app_events.h"

namespace ui {

// Whether Control takes typed text: an edit of any kind that is not read-only (spin, date,
// file-name and memo edits included) or a combo box the user can type into.
bool TakesTypedText(const classlib::TWinControl* Control);

class TTypingShortcuts : public classlib::TComponent {
public:
    CLASSLIB_CLASS_NAME(TTypingShortcuts)
    // Watches Form's active control; Actions give up their shortcuts while it takes typed text.
    TTypingShortcuts(classlib::TCustomForm* Form, std::vector<classlib::TCustomAction*> Actions);

    // Gives the shortcuts up or takes them back by the form's active control now.
    void Update();
    bool Suppressed() const { return suppressed_; }

private:
    classlib::TCustomForm* form_;
    widgets::kit::TAppEvents* events_;
    std::vector<classlib::TCustomAction*> actions_;
    std::vector<classlib::TShortCut> saved_;
    bool suppressed_ = false;
};

}  // namespace ui
