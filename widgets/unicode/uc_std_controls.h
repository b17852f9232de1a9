// Wide standard controls: the combo box with its wide item list that talks to the window in
// UTF-16, and the label with its wide caption.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "classlib/std_controls.h"
#include "unicode/wide_strings.h"
#include "widgets/unicode/uc_controls.h"

namespace widgets {

class TUcCustomComboBox;

// The wide items of a combo box: no storage of its own; strings go through the window with the
// Unicode messages, counts and objects through the class library's list (its ANSI items). With
// a window that is not Unicode every operation goes through the ANSI list.
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

    void DefineProperties(classlib::TFiler* Filer) override;
    void CreateWindowHandle(const classlib::TCreateParams& Params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void ComboWndProc(classlib::TMessage& Message, HWND ComboWnd, WNDPROC ComboProc) override;
    void Dispatch(classlib::TMessage& Message) override;
    void ActionChange(classlib::TObject* Sender, bool CheckDefaults) override;
    classlib::TControlActionLinkClass GetActionLinkClass() const override;

private:
    void RehookChildrenWide();
    void SetTextSelectingWide(classlib::TMessage& Message);
    std::unique_ptr<TUcComboBoxStrings> wideItems_;
    // Kept while the window is re-created.
    std::unique_ptr<unicode::TUcStringList> savedItems_;
    int savedIndex_ = -1;
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
