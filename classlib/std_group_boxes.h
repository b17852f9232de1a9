// The class library's group box and radio group (a group box with one radio button per item).
#pragma once

#include <windows.h>

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

// A button of a radio group: its click goes to the group.
class TGroupButton : public TRadioButton {
public:
    CLASSLIB_CLASS_NAME(TGroupButton)
    explicit TGroupButton(TCustomRadioGroup* Group);
    ~TGroupButton() override;
    void Dispatch(TMessage& Message) override;

protected:
    void KeyPress(char& Key) override;
    void KeyDown(WORD& Key, TShiftState Shift) override;

private:
    TCustomRadioGroup* group_;
    bool inClick_ = false;
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
    TGroupButton* Buttons(int Index) const { return buttons_.at(static_cast<size_t>(Index)); }
    // Whether the user may change the choice (always here; descendants may refuse).
    virtual bool CanModify() { return true; }

    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
    void Dispatch(TMessage& Message) override;
    void Loaded() override;

protected:
    // Places the buttons: one column after the other, 8 pixels in, below the caption.
    virtual void ArrangeButtons();
    void UpdateButtons();

private:
    friend class TGroupButton;
    void ButtonClick(TObject* Sender);
    void ItemsChange(TObject* Sender);
    void SetButtonCount(int Value);
    bool Reading() const { return HasState(csLoading) || HasState(csReading); }

    TStringList items_;
    std::vector<TGroupButton*> buttons_;
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

}  // namespace classlib
