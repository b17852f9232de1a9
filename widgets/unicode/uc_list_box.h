// The wide list box: its wide items talk to the window in UTF-16, survive the re-creation of
// the window, and come from a wide data event in the virtual styles.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "classlib/std_controls.h"
#include "unicode/wide_strings.h"
#include "widgets/unicode/uc_controls.h"
#include "widgets/unicode/uc_members.h"

namespace widgets {

class TUcCustomListBox;

// The wide text of an item of a virtual list box.
using TLBGetWideDataEvent = std::function<void(classlib::TWinControl* Control, int Index, std::wstring& Data)>;

// The wide items of a list box: no storage of their own; texts go through the window with the
// Unicode messages, counts and objects through the class library's ANSI items. With a window
// that is not Unicode every operation goes through the ANSI items.
//   Get of an index out of range raises EStringListError "List index out of bounds (%d)"; a
//   refused insertion raises EOutOfResources "Unable to insert a line". Put keeps the selection
//   and the item's object; Exchange and Move carry the objects and the selection along.
class TUcListBoxStrings : public unicode::TUcStrings {
public:
    CLASSLIB_CLASS_NAME(TUcListBoxStrings)
    explicit TUcListBoxStrings(classlib::TCustomListBox* ListBox) : listBox_(ListBox) {}
    classlib::TCustomListBox* ListBox() const { return listBox_; }

    std::wstring Get(int Index) const override;
    int GetCount() const override;
    classlib::TObject* GetObject(int Index) const override;
    void PutObject(int Index, classlib::TObject* AObject) override;
    void Put(int Index, const std::wstring& S) override;
    void Clear() override;
    void Delete(int Index) override;
    void Insert(int Index, const std::wstring& S) override;
    int Add(const std::wstring& S) override;
    int IndexOf(const std::wstring& S) const override;
    void Exchange(int Index1, int Index2) override;
    void Move(int CurIndex, int NewIndex) override;

protected:
    void SetUpdateState(bool Updating) override;

private:
    bool WideWindow() const;
    classlib::TStrings* Ansi() const { return listBox_->Items(); }
    classlib::TCustomListBox* listBox_;
};

// The wide steps a wide list box (and the wide check list box) shares.
//   Keeping items across the re-creation of the window: Save before the window goes (not for the
//   virtual styles), Restore after the new one exists.
class TUcListBoxKeeper {
public:
    void Save(classlib::TCustomListBox* ListBox, unicode::TWideStrings* Items);
    void Restore(classlib::TCustomListBox* ListBox, unicode::TWideStrings* Items);
    bool Saved() const { return static_cast<bool>(items_); }

private:
    std::unique_ptr<unicode::TUcStringList> items_;
    int topIndex_ = 0;
    int itemIndex_ = -1;
};
// Answers LB_GETTEXT / LB_GETTEXTLEN of a virtual list box from the wide OnData (or the ANSI
// one); answers whether the message was one of them.
bool UcListBox_AnswerVirtualText(classlib::TCustomListBox* ListBox, const TLBGetWideDataEvent& OnData,
                                 classlib::TMessage& Message);
// Copies the selected items of a wide list (every selected one with MultiSelect, else the current
// one) with their objects into Destination, wide where it is a wide list control.
void UcListBox_CopySelection(classlib::TCustomListBox* ListBox, unicode::TWideStrings* Items,
                             classlib::TCustomListControl* Destination);
// The wide text of an item of a virtual list box: the wide OnData's, else the ANSI one widened.
std::wstring UcListBox_GetWideData(classlib::TCustomListBox* ListBox, const TLBGetWideDataEvent& OnData, int Index);
// Draws an item's wide text as the wide list box does without OnDrawItem.
void UcListBox_DrawItemText(classlib::TCustomListBox* ListBox, const std::wstring& Text, RECT Rect, UINT State);

class TUcCustomListBox : public classlib::TCustomListBox, public IWideCustomListControl {
public:
    CLASSLIB_CLASS_NAME(TUcCustomListBox)
    explicit TUcCustomListBox(classlib::TComponent* AOwner);
    ~TUcCustomListBox() override;

    WIDGETS_UC_HINT_MEMBERS(classlib::TCustomListBox)
public:
    // The wide items (the class library's ANSI items stay reachable as AnsiItems()).
    TUcListBoxStrings* Items() { return wideItems_.get(); }
    void SetItems(unicode::TWideStrings* Value) { wideItems_->Assign(Value); }
    classlib::TStrings* AnsiItems() { return classlib::TCustomListBox::Items(); }
    void AddItem(const std::wstring& Item, classlib::TObject* AObject) override;
    void AddItem(const std::string& Item, classlib::TObject* AObject) override;
    // Copies the selected items with their objects, wide where the destination is a wide list.
    void CopySelection(classlib::TCustomListControl* Destination) override;

    // The wide text of an item of a virtual list box (wins over the ANSI OnData).
    TLBGetWideDataEvent OnData;
    std::string DoGetData(int Index) override;
    std::wstring DoGetWideData(int Index);

    void CreateWindowHandle(const classlib::TCreateParams& Params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void DrawItem(int Index, RECT Rect, UINT State) override;
    void Dispatch(classlib::TMessage& Message) override;

private:
    std::unique_ptr<TUcListBoxStrings> wideItems_;
    TUcListBoxKeeper keeper_;
};

class TUcListBox : public TUcCustomListBox {
public:
    CLASSLIB_CLASS_NAME(TUcListBox)
    explicit TUcListBox(classlib::TComponent* AOwner) : TUcCustomListBox(AOwner) {}
};

}  // namespace widgets
