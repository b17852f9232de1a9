// The class library's combo box over a COMBOBOX window, with its items adapter.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classlib/ansi_strings.h"
#include "classlib/controls.h"
#include "classlib/std_list_box.h"
#include "classlib/std_text.h"

namespace classlib {

// ---- Combo box -------------------------------------------------------------------------------
// The owner-drawn styles are drop-down lists whose items the control draws (fixed or own
// heights); every style from csDropDownList on has no edit part.
enum class TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };

class TCustomComboBox;

// The items of a combo box: an adapter over its window (CB_ADDSTRING, CB_GETLBTEXT, ...); every
// operation makes the window when it does not exist yet. Objects are the items' data.
class TComboBoxStrings : public TStrings {
public:
    CLASSLIB_CLASS_NAME(TComboBoxStrings)
    explicit TComboBoxStrings(TCustomComboBox* ComboBox) : comboBox_(ComboBox) {}
    TCustomComboBox* ComboBox() const { return comboBox_; }

    // An index out of range reads "".
    std::string Get(int Index) const override;
    int GetCount() const override;
    TObject* GetObject(int Index) const override;
    void PutObject(int Index, TObject* AObject) override;
    // Keeps the edit text of the box.
    void Clear() override;
    void Delete(int Index) override;
    // A refusal of the window raises EOutOfResources "Unable to insert a line".
    void Insert(int Index, const std::string& S) override;
    int Add(const std::string& S) override;
    // The first item equal to S without case (CB_FINDSTRINGEXACT), -1 when none.
    int IndexOf(const std::string& S) const override;

protected:
    void SetUpdateState(bool Updating) override;
    HWND Wnd() const;

private:
    TCustomComboBox* comboBox_;
};

// A COMBOBOX window. The items and the selected index survive the re-creation of the window
// (a change of Style or Sorted); the typed text does too. Without a window (a hidden panel's box)
// the items, their objects and the selected index are kept by the control and given to the window
// when it is made; a sorted box makes its window for its items (only the window sorts).
//   ItemIndex and Text set from code fire no event. Setting Text also selects the item of that
//   exact text (case counts), or no item when none has it; a drop-down list shows only items, so
//   there a text without item reads back "".
//   A selection by the user runs OnClick, then OnSelect (or OnChange without OnSelect); typing
//   into the edit part runs OnChange.
class TCustomComboBox : public TCustomListControl {
public:
    CLASSLIB_CLASS_NAME(TCustomComboBox)
    explicit TCustomComboBox(TComponent* AOwner);
    ~TCustomComboBox() override;

    TStrings* Items();
    void SetItems(TStrings* Value) { Items()->Assign(Value); }
    void AddItem(const std::string& Item, TObject* AObject) override { Items()->AddObject(Item, AObject); }
    // Empties the items (the typed text stays).
    void Clear() override { Items()->Clear(); }
    // Adds the current item with its object to Destination (nothing without one).
    void CopySelection(TCustomListControl* Destination) override;
    int ItemIndex() override;
    void SetItemIndex(int Value) override;
    TComboBoxStyle Style() const { return style_; }
    void SetStyle(TComboBoxStyle Value);
    // The style shows an edit part (csDropDown, csSimple).
    bool HasEditPart() const { return style_ < TComboBoxStyle::csDropDownList; }
    bool IsOwnerDraw() const {
        return style_ == TComboBoxStyle::csOwnerDrawFixed || style_ == TComboBoxStyle::csOwnerDrawVariable;
    }
    // Height of the items of the owner-drawn styles (16 by default; values below 1 are ignored);
    // with csOwnerDrawVariable the start value OnMeasureItem gets for each item.
    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int Value);
    // The canvas owner drawing draws on (its DC is set only while an item is drawn).
    TCanvas* Canvas() { return canvas_.get(); }
    bool Sorted() const { return sorted_; }
    void SetSorted(bool Value);
    bool DroppedDown();
    void SetDroppedDown(bool Value);
    // Items shown by the open list at most (8 by default).
    int DropDownCount() const { return dropDownCount_; }
    void SetDropDownCount(int Value) { dropDownCount_ = Value; }
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int Value);
    // Typing aids read by the wide combo box, which does the typing search itself; this class
    // only keeps them (the system's own first-letter search still runs).
    bool AutoComplete() const { return autoComplete_; }
    void SetAutoComplete(bool Value) { autoComplete_ = Value; }
    bool AutoDropDown() const { return autoDropDown_; }
    void SetAutoDropDown(bool Value) { autoDropDown_ = Value; }
    bool AutoCloseUp() const { return autoCloseUp_; }
    void SetAutoCloseUp(bool Value) { autoCloseUp_ = Value; }
    int SelStart();
    void SetSelStart(int Value);
    int SelLength();
    void SetSelLength(int Value);

    // The child windows (0 when the window or the part does not exist): the edit of the simple
    // and drop-down styles, and the list.
    HWND EditHandle() const { return editHandle_; }
    HWND ListHandle() const { return listHandle_; }
    // The procedures the children had before this control hooked them; the hook procedure
    // itself (EditInstance) calls ComboWndProc with them. A layer that re-hooks a child stores
    // the procedure it found here.
    WNDPROC DefEditProc() const { return defEditProc_; }
    void SetDefEditProc(WNDPROC Value) { defEditProc_ = Value; }
    WNDPROC DefListProc() const { return defListProc_; }
    void SetDefListProc(WNDPROC Value) { defListProc_ = Value; }
    static WNDPROC EditInstance() { return &ChildWndProc; }
    static WNDPROC ListInstance() { return &ChildWndProc; }
    // A message of a child window (ComboWnd): focus coming from or going to another control
    // enters or exits this one, key handling of the control, Enter and Escape close an open
    // list; everything goes on to ComboProc (CallWindowProcA).
    virtual void ComboWndProc(TMessage& Message, HWND ComboWnd, WNDPROC ComboProc);

    TNotifyEvent OnChange;
    TNotifyEvent OnSelect;
    TNotifyEvent OnDropDown;
    // Owner-drawn styles: draws item Index (ODS_* State) on Canvas instead of the default.
    TDrawItemEvent OnDrawItem;
    // csOwnerDrawVariable: the height of item Index (starts as ItemHeight).
    TMeasureItemEvent OnMeasureItem;

    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void Dispatch(TMessage& Message) override;

    // The items kept while the box has no window (made on first use); null with a window and for
    // a sorted box. For the items' lists.
    TStringList* KeptItems();
    // After a change of the kept items at Index (Delta 1 inserted, -1 deleted; Index -1: all
    // cleared): the kept selection follows its item.
    void KeptItemsChanged(int Index, int Delta);

protected:
    // Selects kept item Index (-1 or out of range: none) and shows it as the text.
    void SelectKept(int Index);
    // Hands the kept items and their selected index over (null when none are kept), for a layer
    // that gives them to the window itself; KeepItems takes them back while there is no window.
    std::unique_ptr<TStringList> TakeKeptItems(int& Index);
    void KeepItems(std::unique_ptr<TStringList> Items, int Index);
    // Makes the Items list (the wide combo box answers its own class).
    virtual std::unique_ptr<TStrings> CreateItems();
    virtual void Change();
    virtual void Select();
    virtual void DropDown();
    // Draws an item of an owner-drawn style: OnDrawItem, else the brush fill and the item text
    // at left + 2, top. The canvas holds the font and brush (highlight colours when selected).
    virtual void DrawItem(int Index, RECT Rect, UINT State);
    virtual void MeasureItem(int Index, int& Height);

private:
    static LRESULT CALLBACK ChildWndProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);
    void HookChildren();
    void UnhookChildren();
    void AdjustDropDown();
    void SetTextSelecting(TMessage& Message);
    int ExactItem(const std::string& Text);
    // The box itself or one of its parts.
    bool OwnsWindow(HWND Window) const;

    void DrawItemMessage(const DRAWITEMSTRUCT& Item);
    void MeasureItemMessage(MEASUREITEMSTRUCT& Item);

    std::unique_ptr<TStrings> items_;
    std::unique_ptr<TControlCanvas> canvas_;
    int itemHeight_ = 16;
    TComboBoxStyle style_ = TComboBoxStyle::csDropDown;
    bool sorted_ = false;
    int dropDownCount_ = 8;
    int maxLength_ = 0;
    bool autoComplete_ = true;
    bool autoDropDown_ = false;
    bool autoCloseUp_ = false;
    HWND editHandle_ = nullptr;
    HWND listHandle_ = nullptr;
    WNDPROC defEditProc_ = nullptr;
    WNDPROC defListProc_ = nullptr;
    bool droppingDown_ = false;
    // Kept while the window is re-created.
    std::unique_ptr<TStringList> saveItems_;
    int saveIndex_ = -1;
};

class TComboBox : public TCustomComboBox {
public:
    CLASSLIB_CLASS_NAME(TComboBox)
    explicit TComboBox(TComponent* AOwner) : TCustomComboBox(AOwner) {}
};

}  // namespace classlib
