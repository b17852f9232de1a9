// The class library's list box over a LISTBOX window, with its items adapter and the virtual
// styles whose items come from events.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "classlib/ansi_strings.h"
#include "classlib/controls.h"
#include "classlib/custom_controls.h"
#include "classlib/list_controls.h"
#include "classlib/std_text.h"

namespace classlib {

class TCustomListBox;

enum class TListBoxStyle { lbStandard, lbOwnerDrawFixed, lbOwnerDrawVariable, lbVirtual, lbVirtualOwnerDraw };

using TLBGetDataEvent = std::function<void(TWinControl* Control, int Index, std::string& Data)>;
using TLBGetDataObjectEvent = std::function<void(TWinControl* Control, int Index, TObject*& DataObject)>;
using TLBFindDataEvent = std::function<int(TWinControl* Control, const std::string& FindString)>;
using TDrawItemEvent = std::function<void(TWinControl* Control, int Index, RECT Rect, UINT State)>;
using TMeasureItemEvent = std::function<void(TWinControl* Control, int Index, int& Height)>;

// The items of a list box: an adapter over its window (LB_ADDSTRING, LB_GETTEXT, ...); every
// operation makes the window when it does not exist yet. Objects are the items' data. With a
// virtual style the window holds no texts: Count is the list box's Count, texts and objects come
// from OnData and OnDataObject, and changing items raises EListError.
class TListBoxStrings : public TStrings {
public:
    CLASSLIB_CLASS_NAME(TListBoxStrings)
    explicit TListBoxStrings(TCustomListBox* ListBox) : listBox_(ListBox) {}
    TCustomListBox* ListBox() const { return listBox_; }

    // An index out of range raises EStringListError "List index out of bounds (%d)".
    std::string Get(int Index) const override;
    int GetCount() const override;
    TObject* GetObject(int Index) const override;
    void PutObject(int Index, TObject* AObject) override;
    // Keeps the selection and the item's object.
    void Put(int Index, const std::string& S) override;
    void Clear() override;
    void Delete(int Index) override;
    // A refusal of the window raises EOutOfResources "Unable to insert a line".
    void Insert(int Index, const std::string& S) override;
    int Add(const std::string& S) override;
    // The first item equal to S without case (LB_FINDSTRINGEXACT), -1 when none.
    int IndexOf(const std::string& S) const override;
    void Exchange(int Index1, int Index2) override;
    void Move(int CurIndex, int NewIndex);

protected:
    void SetUpdateState(bool Updating) override;
    HWND Wnd() const;

private:
    TCustomListBox* listBox_;
};

// A LISTBOX window. The items (with their objects), the top index and the selected index
// survive the re-creation of the window (a change of Style, Sorted or MultiSelect).
//   ItemIndex set from code fires nothing; a selection by the user runs OnClick.
class TCustomListBox : public TCustomListControl {
public:
    CLASSLIB_CLASS_NAME(TCustomListBox)
    explicit TCustomListBox(TComponent* AOwner);
    ~TCustomListBox() override;

    // Made on first use, so that a descendant's CreateItems is the one called.
    TStrings* Items();
    void SetItems(TStrings* Value) { Items()->Assign(Value); }
    void AddItem(const std::string& Item, TObject* AObject) override { Items()->AddObject(Item, AObject); }
    // Copies the selected items (every one with MultiSelect, else the current one) with their
    // objects into Destination's items.
    void CopySelection(TCustomListControl* Destination) override;
    void Clear() override;
    void DeleteSelected();
    // The item index; with MultiSelect the item with the focus rectangle.
    int ItemIndex() override;
    void SetItemIndex(int Value) override;
    int TopIndex();
    void SetTopIndex(int Value);
    // Items in a virtual list box (the others: the items' count).
    int Count();
    void SetCount(int Value);
    bool Selected(int Index);
    void SetSelected(int Index, bool Value);
    int SelCount();
    int ItemAtPos(POINT Pos, bool Existing);
    RECT ItemRect(int Index);

    TListBoxStyle Style() const { return style_; }
    void SetStyle(TListBoxStyle Value);
    bool IsVirtual() const { return style_ == TListBoxStyle::lbVirtual || style_ == TListBoxStyle::lbVirtualOwnerDraw; }
    bool Sorted() const { return sorted_; }
    void SetSorted(bool Value);
    bool MultiSelect() const { return multiSelect_; }
    void SetMultiSelect(bool Value);
    bool ExtendedSelect() const { return extendedSelect_; }
    void SetExtendedSelect(bool Value);
    bool IntegralHeight() const { return integralHeight_; }
    void SetIntegralHeight(bool Value);
    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int Value);
    // Typing a prefix selects the first item that starts with it (the wide list box does the
    // search; this class only keeps the switch).
    bool AutoComplete() const { return autoComplete_; }
    void SetAutoComplete(bool Value) { autoComplete_ = Value; }
    // Set while an item is moved within the list (Move deletes and inserts it).
    bool Moving() const { return moving_; }
    void SetMoving(bool Value) { moving_ = Value; }
    TCanvas* Canvas() { return canvas_.get(); }

    TLBGetDataEvent OnData;
    TLBGetDataObjectEvent OnDataObject;
    TLBFindDataEvent OnDataFind;
    TDrawItemEvent OnDrawItem;
    TMeasureItemEvent OnMeasureItem;

    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void Dispatch(TMessage& Message) override;

    // Draws the item (OnDrawItem, or its text on the highlight when selected).
    virtual void DrawItem(int Index, RECT Rect, UINT State);
    virtual void MeasureItem(int Index, int& Height);
    // The text and object of an item of a virtual list box (OnData, OnDataObject).
    virtual std::string DoGetData(int Index);
    virtual TObject* DoGetDataObject(int Index);
    virtual int DoFindData(const std::string& Data);

protected:
    // Makes the Items list.
    virtual std::unique_ptr<TStrings> CreateItems();

private:
    std::unique_ptr<TStrings> items_;
    std::unique_ptr<TControlCanvas> canvas_;
    TListBoxStyle style_ = TListBoxStyle::lbStandard;
    bool sorted_ = false;
    bool multiSelect_ = false;
    bool extendedSelect_ = true;
    bool integralHeight_ = false;
    int itemHeight_ = 16;
    bool autoComplete_ = true;
    bool moving_ = false;
    int count_ = 0;  // virtual styles
    // Kept while the window is re-created.
    std::unique_ptr<TStringList> saveItems_;
    int saveTopIndex_ = 0;
    int saveItemIndex_ = -1;
};

// Exchange and Move of a list box's items (ANSI or wide: any list with Get, Put, GetObject,
// PutObject, Delete, InsertObject and an update lock), carrying objects and the selection.
template <typename Strings>
void ListBoxExchangeItems(Strings& Items, TCustomListBox* ListBox, int Index1, int Index2) {
    if (Index1 == Index2) return;
    Items.BeginUpdate();
    try {
        int selected = ListBox->ItemIndex();
        auto s1 = Items.Get(Index1);
        auto s2 = Items.Get(Index2);
        TObject* o1 = Items.GetObject(Index1);
        TObject* o2 = Items.GetObject(Index2);
        Items.Put(Index1, s2);
        Items.PutObject(Index1, o2);
        Items.Put(Index2, s1);
        Items.PutObject(Index2, o1);
        ListBox->SetItemIndex(selected == Index1 ? Index2 : selected == Index2 ? Index1 : selected);
    } catch (...) {
        Items.EndUpdate();
        throw;
    }
    Items.EndUpdate();
}

template <typename Strings>
void ListBoxMoveItem(Strings& Items, TCustomListBox* ListBox, int CurIndex, int NewIndex) {
    if (CurIndex == NewIndex) return;
    ListBox->SetMoving(true);
    try {
        auto s = Items.Get(CurIndex);
        TObject* o = Items.GetObject(CurIndex);
        Items.Delete(CurIndex);
        Items.InsertObject(NewIndex, s, o);
    } catch (...) {
        ListBox->SetMoving(false);
        throw;
    }
    ListBox->SetMoving(false);
}

class TListBox : public TCustomListBox {
public:
    CLASSLIB_CLASS_NAME(TListBox)
    explicit TListBox(TComponent* AOwner) : TCustomListBox(AOwner) {}
};

}  // namespace classlib
