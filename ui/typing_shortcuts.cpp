#include "ui/typing_shortcuts.h"

#include "classlib/std_combo_box.h"
#include "classlib/std_edit.h"

namespace ui {

bool TakesTypedText(const classlib::TWinControl* Control) {
    // A read-only box (a folder chosen in the folder picker) types nothing.
    if (const auto* edit = dynamic_cast<const classlib::TCustomEdit*>(Control)) return !edit->ReadOnly();
    const auto* combo = dynamic_cast<const classlib::TCustomComboBox*>(Control);
    return combo != nullptr && combo->HasEditPart();
}

TTypingShortcuts::TTypingShortcuts(classlib::TCustomForm* Form, std::vector<classlib::TCustomAction*> Actions)
    : classlib::TComponent(Form), form_(Form), actions_(std::move(Actions)) {
    events_ = new widgets::kit::TAppEvents(this);
    events_->OnActiveControlChange = [this](classlib::TObject*) { Update(); };
}

void TTypingShortcuts::Update() {
    classlib::TWinControl* active = form_->ActiveControl();
    const bool typing = active != nullptr && TakesTypedText(active);
    if (typing == suppressed_) return;
    if (typing) {
        saved_.clear();
        for (classlib::TCustomAction* action : actions_) {
            saved_.push_back(action->ShortCut());
            action->SetShortCut(0);
        }
    } else {
        for (size_t i = 0; i < actions_.size() && i < saved_.size(); ++i) actions_[i]->SetShortCut(saved_[i]);
    }
    suppressed_ = typing;
}

}  // namespace ui
