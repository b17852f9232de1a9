// The question at close in "Do not save when quit" mode: keep the preferences in the registry, in
// an INI file beside the program, or nowhere. Closing the dialog any other way (its close box,
// Escape) chooses nothing.
#pragma once

#include <cstdint>

#include "widgets/custom/link_edit.h"
#include "widgets/unicode/uc_buttons.h"
#include "widgets/unicode/uc_edits.h"
#include "widgets/unicode/uc_forms.h"

namespace ui {

class TSavePrefsForm : public widgets::TUcForm {
public:
    CLASSLIB_CLASS_NAME(TSavePrefsForm)
    explicit TSavePrefsForm(classlib::TComponent* AOwner);

    // The explanation.
    widgets::custom::TLinkEdit* LinkEdit1 = nullptr;
    widgets::TUcBitBtn* NormalBtn = nullptr;
    widgets::TUcBitBtn* BitBtn2 = nullptr;
    widgets::TUcBitBtn* BitBtn3 = nullptr;

    // The chosen storage mode (0 registry, 1 INI file, 2 none) and whether a choice was made.
    std::uint8_t Mode = 0;
    bool Chosen = false;

    void FormCreate(classlib::TObject* Sender);
    void Dispatch(classlib::TMessage& Message) override;
    void NormalBtnClick(classlib::TObject* Sender);
    void BitBtn2Click(classlib::TObject* Sender);
    void BitBtn3Click(classlib::TObject* Sender);

private:
    void Choose(std::uint8_t AMode);
};

// The explanation's marked-up text.
extern const wchar_t kSavePrefsText[];

}  // namespace ui
