// The class library's group box and radio group (a group box with one radio button per item).
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classlib/ansi_strings.h"
#include "classlib/controls.h"
#include "classlib/std_buttons.h"
#include "classlib/std_text.h"

namespace classlib {

// ---- Group box -------------------------------------------------------------------------------
// A frame with a caption that holds controls; it paints itself (no system class).
class TCustomGroupBox : public TCustomControl {
public:
    CLASSLIB_CLASS_NAME(TCustomGroupBox)
    explicit TCustomGroupBox(TComponent* AOwner);
    void Dispatch(TMessage& Message) override;

protected:
    void Paint() override;
};

class TGroupBox : public TCustomGroupBox {
public:
    CLASSLIB_CLASS_NAME(TGroupBox)
    explicit TGroupBox(TComponent* AOwner) : TCustomGroupBox(AOwner) {}
};

// ---- Radio group -----------------------------------------------------------------------------
class TCustomRadioGroup;

// A button of a radio group over a radio-button class (the wide layer uses its own): made
// invisible, enabled as the group, without the parent's hints, placed on the group; its click
// goes to the group (not re-entered, only when the group allows changes), its keys too.
template <typename RadioButton>
class TGroupButtonOf : public RadioButton {
public:
    explicit TGroupButtonOf(TCustomRadioGroup* Group);
    ~TGroupButtonOf() override;
    void Dispatch(TMessage& Message) override;

protected:
    void KeyPress(char& Key) override;
    void KeyDown(WORD& Key, TShiftState Shift) override;

private:
    TCustomRadioGroup* group_;
    bool inClick_ = false;
};

class TGroupButton : public TGroupButtonOf<TRadioButton> {
public:
    CLASSLIB_CLASS_NAME(TGroupButton)
    explicit TGroupButton(TCustomRadioGroup* Group) : TGroupButtonOf<TRadioButton>(Group) {}
};

// A group box with one radio button per item of Items, arranged in Columns.
//   ItemIndex (initially -1) is limited to -1 .. count - 1. Setting it from code to another
//   value checks that button and runs OnClick (a button click does too); -1 unchecks all and
//   runs nothing. While the group is loaded the value is only stored.
//   When Items change, an ItemIndex past the last item becomes the last item.
class TCustomRadioGroup : public TCustomGroupBox {
public:
    CLASSLIB_CLASS_NAME(TCustomRadioGroup)
    explicit TCustomRadioGroup(TComponent* AOwner);
    ~TCustomRadioGroup() override;

    TStrings* Items() { return &items_; }
    void SetItems(TStrings* Value) { items_.Assign(Value); }
    int ItemIndex() const { return itemIndex_; }
    virtual void SetItemIndex(int Value);
    int Columns() const { return columns_; }
    // Limited to 1 .. 16.
    void SetColumns(int Value);
    int ButtonCount() const { return static_cast<int>(buttons_.size()); }
    TRadioButton* Buttons(int Index) const { return buttons_.at(static_cast<size_t>(Index)); }
    // Whether the user may change the choice (always here; descendants may refuse).
    virtual bool CanModify() { return true; }

    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
    void Dispatch(TMessage& Message) override;
    void Loaded() override;

protected:
    // Places the buttons: one column after the other, 8 pixels in, below the caption.
    virtual void ArrangeButtons();
    void UpdateButtons();
    // The items the buttons show (the wide group keeps wide ones): their count, a new button
    // and the caption of the button at an index.
    virtual int ItemCount() { return items_.Count(); }
    virtual TRadioButton* NewButton();
    virtual void SetButtonCaption(int Index);
    void ItemsChange(TObject* Sender);

private:
    template <typename> friend class TGroupButtonOf;
    void ButtonClick(TObject* Sender);
    void SetButtonCount(int Value);
    bool Reading() const { return HasState(csLoading) || HasState(csReading); }

    TStringList items_;
    std::vector<TRadioButton*> buttons_;
    int itemIndex_ = -1;
    int columns_ = 1;
    bool updating_ = false;
    bool destroying_ = false;
};

class TRadioGroup : public TCustomRadioGroup {
public:
    CLASSLIB_CLASS_NAME(TRadioGroup)
    explicit TRadioGroup(TComponent* AOwner) : TCustomRadioGroup(AOwner) {}
};

// ---- group buttons -------------------------------------------------------------------------
template <typename RadioButton>
TGroupButtonOf<RadioButton>::TGroupButtonOf(TCustomRadioGroup* Group) : RadioButton(Group), group_(Group) {
    group_->buttons_.push_back(this);
    this->SetVisible(false);
    this->SetEnabled(Group->Enabled());
    this->SetParentShowHint(false);
    this->OnClick = [Group](TObject* Sender) { Group->ButtonClick(Sender); };
    this->SetParent(Group);
}

template <typename RadioButton>
TGroupButtonOf<RadioButton>::~TGroupButtonOf() {
    auto& buttons = group_->buttons_;
    buttons.erase(std::remove(buttons.begin(), buttons.end(), static_cast<TRadioButton*>(this)), buttons.end());
}

template <typename RadioButton>
void TGroupButtonOf<RadioButton>::Dispatch(TMessage& Message) {
    if (Message.Msg != CN_COMMAND) {
        RadioButton::Dispatch(Message);
        return;
    }
    if (inClick_) return;
    inClick_ = true;
    try {
        WORD code = HIWORD(Message.WParam);
        if ((code == BN_CLICKED || code == BN_DOUBLECLICKED) && group_->CanModify()) RadioButton::Dispatch(Message);
    } catch (...) {
        inClick_ = false;
        throw;
    }
    inClick_ = false;
}

template <typename RadioButton>
void TGroupButtonOf<RadioButton>::KeyPress(char& Key) {
    RadioButton::KeyPress(Key);
    group_->KeyPress(Key);
    if ((Key == '\b' || Key == ' ') && !group_->CanModify()) Key = 0;
}

template <typename RadioButton>
void TGroupButtonOf<RadioButton>::KeyDown(WORD& Key, TShiftState Shift) {
    RadioButton::KeyDown(Key, Shift);
    group_->KeyDown(Key, Shift);
}

}  // namespace classlib
