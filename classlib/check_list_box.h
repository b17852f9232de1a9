// The class library's check list box: a list box whose items carry a check box (checked,
// unchecked or grayed), an enabled flag and a header flag.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <string>

#include "classlib/std_buttons.h"  // TCheckBoxState
#include "classlib/std_list_box.h"

namespace classlib {

class TCheckListBox;

// The states of one item of a check list box.
struct TCheckItemState {
    TCheckBoxState State = TCheckBoxState::cbUnchecked;
    bool Enabled = true;
    bool Header = false;
};

// The items of a check list box: each item's data is a small record of the list box holding the
// item's object and its states, so that they travel with the item in the window.
class TCheckListBoxStrings : public TListBoxStrings {
public:
    CLASSLIB_CLASS_NAME(TCheckListBoxStrings)
    explicit TCheckListBoxStrings(TCheckListBox* ListBox);
    TObject* GetObject(int Index) const override;
    void PutObject(int Index, TObject* AObject) override;

private:
    TCheckListBox* checkListBox_;
};

// Items are owner-drawn with their check box on the left (headers without one, in the header
// colours). A click on the box of an enabled item, or the space bar, toggles it
// (unchecked -> checked -> grayed with AllowGrayed -> unchecked) and runs OnClickCheck; states
// set from code run nothing. The states survive the re-creation of the window.
class TCheckListBox : public TCustomListBox {
public:
    CLASSLIB_CLASS_NAME(TCheckListBox)
    explicit TCheckListBox(TComponent* AOwner);
    ~TCheckListBox() override;

    bool AllowGrayed() const { return allowGrayed_; }
    void SetAllowGrayed(bool Value) { allowGrayed_ = Value; }
    bool Checked(int Index) { return State(Index) == TCheckBoxState::cbChecked; }
    void SetChecked(int Index, bool Value) { SetState(Index, Value ? TCheckBoxState::cbChecked : TCheckBoxState::cbUnchecked); }
    TCheckBoxState State(int Index);
    void SetState(int Index, TCheckBoxState Value);
    bool ItemEnabled(int Index);
    void SetItemEnabled(int Index, bool Value);
    bool Header(int Index);
    void SetHeader(int Index, bool Value);
    TColor HeaderColor() const { return headerColor_; }
    void SetHeaderColor(TColor Value) { headerColor_ = Value; Invalidate(); }
    TColor HeaderBackgroundColor() const { return headerBackgroundColor_; }
    void SetHeaderBackgroundColor(TColor Value) { headerBackgroundColor_ = Value; Invalidate(); }
    // The width of the check box column.
    int CheckWidth() const;

    TNotifyEvent OnClickCheck;

    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void Dispatch(TMessage& Message) override;
    // Draws the check box, then the item (OnDrawItem or its text) right of it.
    void DrawItem(int Index, RECT Rect, UINT State) override;

    // The states of every item, in order; and back onto the items that exist in both.
    std::vector<TCheckItemState> ItemStates();
    void RestoreItemStates(const std::vector<TCheckItemState>& States);

protected:
    std::unique_ptr<TStrings> CreateItems() override;
    void KeyPress(char& Key) override;
    virtual void ClickCheck();
    // Draws a header item's text in the header colour.
    virtual void DrawHeaderText(HDC DC, int Index, RECT Rect);
    // Toggles an enabled item and runs ClickCheck.
    void ToggleClickCheck(int Index);

private:
    friend class TCheckListBoxStrings;
    struct TItemData : TCheckItemState {
        TObject* Object = nullptr;
    };
    // The record of an item (made when Make and it has none yet; else nullptr).
    TItemData* ItemData(int Index, bool Make);
    TItemData* RecordOf(LRESULT Data) const;

    bool allowGrayed_ = false;
    TColor headerColor_ = clInfoText;
    TColor headerBackgroundColor_ = clInfoBk;
    std::map<TItemData*, std::unique_ptr<TItemData>> records_;
    // Kept while the window is re-created: the states of every item, in order.
    std::vector<TCheckItemState> saved_;
};

}  // namespace classlib
