// The wide radio group: the class library's radio group with wide items, a wide caption painted
// as the wide group box paints it, and wide radio buttons.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "classlib/std_controls.h"
#include "unicode/wide_strings.h"
#include "widgets/unicode/uc_std_buttons.h"

namespace widgets {

class TUcCustomRadioGroup;

// A button of a wide radio group: a wide radio button whose click goes to its group.
class TUcGroupButton : public classlib::TGroupButtonOf<TUcRadioButton> {
public:
    CLASSLIB_CLASS_NAME(TUcGroupButton)
    explicit TUcGroupButton(TUcCustomRadioGroup* Group);
};

// Items rebuild the buttons whenever they change; each button's wide caption is its item.
class TUcCustomRadioGroup : public classlib::TCustomRadioGroup {
public:
    CLASSLIB_CLASS_NAME(TUcCustomRadioGroup)
    explicit TUcCustomRadioGroup(classlib::TComponent* AOwner);
    ~TUcCustomRadioGroup() override;
    WIDGETS_UC_CAPTION_MEMBERS(classlib::TCustomRadioGroup)
public:
    unicode::TUcStringList* Items() { return items_.get(); }
    void SetItems(unicode::TWideStrings* Value) { items_->Assign(Value); }
    TUcGroupButton* Buttons(int Index) const {
        return static_cast<TUcGroupButton*>(classlib::TCustomRadioGroup::Buttons(Index));
    }

    void CreateWindowHandle(const classlib::TCreateParams& Params) override;
    void Dispatch(classlib::TMessage& Message) override;

protected:
    void Paint() override;
    int ItemCount() override { return items_->Count(); }
    classlib::TRadioButton* NewButton() override { return new TUcGroupButton(this); }
    void SetButtonCaption(int Index) override { Buttons(Index)->SetCaption(items_->Strings(Index)); }

private:
    std::unique_ptr<unicode::TUcStringList> items_;
};

class TUcRadioGroup : public TUcCustomRadioGroup {
public:
    CLASSLIB_CLASS_NAME(TUcRadioGroup)
    explicit TUcRadioGroup(classlib::TComponent* AOwner) : TUcCustomRadioGroup(AOwner) {}
};

}  // namespace widgets
