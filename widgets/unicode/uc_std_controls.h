// Wide standard controls: the combo box with its wide item list that talks to the window in
// UTF-16, and the label with its wide caption.
#pragma once

#include <windows.h>

#include <memory>
#include <vector>
#include <string>

#include "classlib/std_controls.h"
#include "unicode/wide_strings.h"
#include "widgets/unicode/uc_controls.h"

namespace widgets {

class TUcCustomComboBox;

// The class library's ANSI items of the wide combo box: an empty item reads "" without asking for
// its text; a refused insertion raises EOutOfResources "Unable to insert a line".
class TR5PatchedComboBoxStrings : public classlib::TComboBoxStrings {
public:
    CLASSLIB_CLASS_NAME(TR5PatchedComboBoxStrings)
    explicit TR5PatchedComboBoxStrings(classlib::TCustomComboBox* ComboBox) : classlib::TComboBoxStrings(ComboBox) {}
    std::string Get(int Index) const override;
};

// The wide items of a combo box: no storage of its own; strings go through the window with the
// Unicode messages, counts and objects through the class library's list (its ANSI items). With
// a window that is not Unicode every operation goes through the ANSI list. Without a window the
// class library's kept list holds the items and the box their wide texts.
class TUcComboBoxStrings : public unicode::TUcStrings {
public:
    CLASSLIB_CLASS_NAME(TUcComboBoxStrings)
    explicit TUcComboBoxStrings(TUcCustomComboBox* ComboBox) : comboBox_(ComboBox) {}
    TUcCustomComboBox* ComboBox() const { return comboBox_; }

    std::wstring Get(int Index) const override;
    int GetCount() const override;
    classlib::TObject* GetObject(int Index) const override;
    void PutObject(int Index, classlib::TObject* AObject) override;
    // Keeps the edit text.
    void Clear() override;
    void Delete(int Index) override;
    // A refusal of the window raises EOutOfResources "Unable to insert a line".
    void Insert(int Index, const std::wstring& S) override;
    int Add(const std::wstring& S) override;
    int IndexOf(const std::wstring& S) const override;

protected:
    void SetUpdateState(bool Updating) override;

private:
    bool WideWindow() const;
    classlib::TStrings* Ansi() const;
    // The items kept while the box has no window (null with one): the class library's ANSI list,
    // beside which the box keeps the wide texts.
    classlib::TStringList* Kept() const;
    std::wstring KeptGet(int Index) const;
    TUcCustomComboBox* comboBox_;
};

class TUcCustomComboBox : public classlib::TCustomComboBox, public IWideCustomListControl {
public:
    CLASSLIB_CLASS_NAME(TUcCustomComboBox)
    explicit TUcCustomComboBox(classlib::TComponent* AOwner);
    ~TUcCustomComboBox() override;

    std::wstring Text() { return UcControl_GetText(this); }
    void SetText(const std::wstring& Value) { UcControl_SetText(this, Value); }
    std::wstring Hint() { return UcControl_GetHint(this); }
    void SetHint(const std::wstring& Value) { UcControl_SetHint(this, Value); }
    bool IsHintStored() { return UcControl_IsHintStored(this); }

    // The wide items (the class library's ANSI list stays reachable as AnsiItems()).
    TUcComboBoxStrings* Items() { return wideItems_.get(); }
    void SetItems(unicode::TWideStrings* Value) { wideItems_->Assign(Value); }
    classlib::TStrings* AnsiItems() { return classlib::TCustomComboBox::Items(); }
    void AddItem(const std::wstring& Item, classlib::TObject* AObject) override;
    void AddItem(const std::string& Item, classlib::TObject* AObject) override;
    // Adds the current item, wide where Destination is a wide list control, with its object.
    void CopySelection(classlib::TCustomListControl* Destination) override;

    void DefineProperties(classlib::TFiler* Filer) override;
    void CreateWindowHandle(const classlib::TCreateParams& Params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    // Without a window the kept item's wide text becomes the text.
    void SetItemIndex(int Value) override;
    void ComboWndProc(classlib::TMessage& Message, HWND ComboWnd, WNDPROC ComboProc) override;
    void Dispatch(classlib::TMessage& Message) override;
    void ActionChange(classlib::TObject* Sender, bool CheckDefaults) override;
    classlib::TControlActionLinkClass GetActionLinkClass() const override;

    // Typing aids (AutoComplete on):
    //   a drop-down list searches the items by the keys typed within 1250 ms of each other;
    //   a simple or drop-down box completes the typed text with the first item that starts with
    //   it, selecting the completed part (the typed letters keep their case).
    // Selects the first item that starts with Search (the only one with UniqueOnly); answers
    // whether one did.
    bool AutoSelect(const std::wstring& Search, bool UniqueOnly);
    // The completion step of a typed character in the edit part; answers whether it consumed it.
    // Raises EUcInternalError for a drop-down list.
    bool AutoCompleteKeyPress(wchar_t Key);
    // The search step of a typed character in a drop-down list; answers whether it consumed it.
    bool AutoSearchKeyPress(wchar_t Key);
    const std::wstring& SearchText() const { return searchText_; }
    // Test seam: the clock of the typing search (GetTickCount by default).
    static void SetTickSourceForTesting(DWORD (*Source)());

protected:
    std::unique_ptr<classlib::TStrings> CreateItems() override;
    // Owner-drawn styles without OnDrawItem: the brush fill and the wide item text at left + 2, top.
    void DrawItem(int Index, RECT Rect, UINT State) override;

private:
    void RehookChildrenWide();
    void SetTextSelectingWide(classlib::TMessage& Message);
    friend class TUcComboBoxStrings;
    std::unique_ptr<TUcComboBoxStrings> wideItems_;
    // Kept while the window is re-created.
    std::unique_ptr<unicode::TUcStringList> savedItems_;
    int savedIndex_ = -1;
    // The wide texts of the items kept without a window, place by place beside the ANSI ones.
    std::vector<std::wstring> keptWide_;
    std::wstring searchText_;
    DWORD lastSearchTick_ = 0;
};

class TUcComboBox : public TUcCustomComboBox {
public:
    CLASSLIB_CLASS_NAME(TUcComboBox)
    explicit TUcComboBox(classlib::TComponent* AOwner) : TUcCustomComboBox(AOwner) {}
};

// ---- Label -----------------------------------------------------------------------------------
class TUcCustomLabel : public classlib::TCustomLabel {
public:
    CLASSLIB_CLASS_NAME(TUcCustomLabel)
    explicit TUcCustomLabel(classlib::TComponent* AOwner) : classlib::TCustomLabel(AOwner) {}

    std::wstring Caption() { return UcControl_GetText(this); }
    void SetCaption(const std::wstring& Value) { UcControl_SetText(this, Value); }
    std::wstring Hint() { return UcControl_GetHint(this); }
    void SetHint(const std::wstring& Value) { UcControl_SetHint(this, Value); }
    bool IsCaptionStored() { return UcControl_IsCaptionStored(this); }
    bool IsHintStored() { return UcControl_IsHintStored(this); }

    // The wide caption; the ANSI form for the class library's callers.
    std::wstring WideLabelText() { return Caption(); }
    std::string GetLabelText() override;
    void DoDrawText(RECT& Rect, UINT Flags) override;
    void DefineProperties(classlib::TFiler* Filer) override;
    // CM_HINTSHOW with the wide hint; CM_DIALOGCHAR by the wide caption's hot key.
    void Dispatch(classlib::TMessage& Message) override;
    void ActionChange(classlib::TObject* Sender, bool CheckDefaults) override;
    classlib::TControlActionLinkClass GetActionLinkClass() const override;
};

class TUcLabel : public TUcCustomLabel {
public:
    CLASSLIB_CLASS_NAME(TUcLabel)
    explicit TUcLabel(classlib::TComponent* AOwner) : TUcCustomLabel(AOwner) {}
};

}  // namespace widgets
