// The class library's standard controls: label, edit, combo box, group box, push button, check
// box, radio button and radio group. ANSI texts, system window classes (EDIT, COMBOBOX, BUTTON);
// the wide controls derive from these bases.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classlib/actions.h"
#include "classlib/ansi_strings.h"
#include "classlib/controls.h"
#include "classlib/forms.h"
#include "classlib/timer.h"  // EOutOfResources

namespace classlib {

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
enum class TLeftRight { taLeftJustify, taRightJustify };

// The character that makes Text an accelerator: the one after a single "&" ("&&" is a plain
// ampersand); 0 when there is none.
char AccelChar(const std::string& Text);
// True when Key is the accelerator of Text (compared without case in the user's locale).
bool IsAccel(WPARAM Key, const std::string& Text);

// ---- Label -----------------------------------------------------------------------------------
// A non-windowed text. AutoSize (default on) fits the bounds to the text after every change of
// caption, font, WordWrap or AutoSize; with taRightJustify the right edge stays in place.
class TCustomLabel : public TGraphicControl {
public:
    CLASSLIB_CLASS_NAME(TCustomLabel)
    explicit TCustomLabel(TComponent* AOwner);

    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment Value);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool Value);
    bool Transparent() const { return !HasControlStyle(csOpaque); }
    void SetTransparent(bool Value);
    bool ShowAccelChar() const { return showAccelChar_; }
    void SetShowAccelChar(bool Value);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool Value);
    TWinControl* FocusControl() const { return focusControl_; }
    void SetFocusControl(TWinControl* Value);

    // The text drawn: the caption (the wide label answers its wide caption instead).
    virtual std::string GetLabelText();
    // Draws (or with DT_CALCRECT measures into Rect) the label text with the DrawText flags:
    // DT_NOPREFIX without ShowAccelChar, a blank measured for an empty text or a lone "&", the
    // reading-order flags; a disabled label is drawn embossed (highlight offset by 1, shadow).
    virtual void DoDrawText(RECT& Rect, UINT Flags);
    // Fits the bounds to the text when AutoSize is on and the label is not being loaded.
    virtual void AdjustBounds();

    void Dispatch(TMessage& Message) override;
    void Notification(TComponent* AComponent, TOperation Operation) override;
    void Loaded() override;

protected:
    void Paint() override;
    bool HasControlStyle(std::uint32_t Flag) const { return (ControlStyle() & Flag) != 0; }

private:
    TAlignment alignment_ = TAlignment::taLeftJustify;
    bool autoSize_ = true;
    bool showAccelChar_ = true;
    bool wordWrap_ = false;
    TWinControl* focusControl_ = nullptr;
};

class TLabel : public TCustomLabel {
public:
    CLASSLIB_CLASS_NAME(TLabel)
    explicit TLabel(TComponent* AOwner) : TCustomLabel(AOwner) {}
};

// ---- Edit ------------------------------------------------------------------------------------
// A single-line EDIT window. OnChange fires for every change of the text: typed (EN_CHANGE),
// set from code with a window (the system's EN_CHANGE for WM_SETTEXT) or without one
// (CM_TEXTCHANGED). Nothing fires while the window is being created.
class TCustomEdit : public TWinControl {
public:
    CLASSLIB_CLASS_NAME(TCustomEdit)
    explicit TCustomEdit(TComponent* AOwner);

    int MaxLength() const { return maxLength_; }
    // 0: the system's limit.
    void SetMaxLength(int Value);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool Value);
    char PasswordChar() const { return passwordChar_; }
    // Sent to an existing window (EM_SETPASSWORDCHAR) and repainted; 0 shows the text.
    void SetPasswordChar(char Value);
    // Selection in characters of the ANSI text (the window is made when needed).
    virtual int GetSelStart();
    virtual void SetSelStart(int Value);
    virtual int GetSelLength();
    virtual void SetSelLength(int Value);
    virtual std::string GetSelText();
    // Replaces the selection (EM_REPLACESEL).
    void SetSelText(const std::string& Value);
    int SelStart() { return GetSelStart(); }
    int SelLength() { return GetSelLength(); }
    std::string SelText() { return GetSelText(); }
    void SelectAll();
    void Clear() { SetText(std::string()); }

    TNotifyEvent OnChange;

    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void Dispatch(TMessage& Message) override;

protected:
    virtual void Change();
    bool Creating() const { return creating_; }

private:
    int maxLength_ = 0;
    bool readOnly_ = false;
    char passwordChar_ = 0;
    bool creating_ = false;
};

class TEdit : public TCustomEdit {
public:
    CLASSLIB_CLASS_NAME(TEdit)
    explicit TEdit(TComponent* AOwner) : TCustomEdit(AOwner) {}
};

// ---- Combo box -------------------------------------------------------------------------------
enum class TComboBoxStyle { csDropDown, csSimple, csDropDownList };

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
// (a change of Style or Sorted); the typed text does too.
//   ItemIndex and Text set from code fire no event. Setting Text also selects the item of that
//   exact text (case counts), or no item when none has it; a drop-down list shows only items, so
//   there a text without item reads back "".
//   A selection by the user runs OnClick, then OnSelect (or OnChange without OnSelect); typing
//   into the edit part runs OnChange.
class TCustomComboBox : public TWinControl {
public:
    CLASSLIB_CLASS_NAME(TCustomComboBox)
    explicit TCustomComboBox(TComponent* AOwner);
    ~TCustomComboBox() override;

    TStrings* Items();
    void SetItems(TStrings* Value) { Items()->Assign(Value); }
    void AddItem(const std::string& Item, TObject* AObject) { Items()->AddObject(Item, AObject); }
    int ItemIndex();
    void SetItemIndex(int Value);
    TComboBoxStyle Style() const { return style_; }
    void SetStyle(TComboBoxStyle Value);
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

    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void DestroyWnd() override;
    void Dispatch(TMessage& Message) override;

protected:
    // Makes the Items list (the wide combo box answers its own class).
    virtual std::unique_ptr<TStrings> CreateItems();
    virtual void Change();
    virtual void Select();
    virtual void DropDown();

private:
    static LRESULT CALLBACK ChildWndProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);
    void HookChildren();
    void UnhookChildren();
    void AdjustDropDown();
    void SetTextSelecting(TMessage& Message);
    int ExactItem(const std::string& Text);
    // The box itself or one of its parts.
    bool OwnsWindow(HWND Window) const;

    std::unique_ptr<TStrings> items_;
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

// ---- Buttons ---------------------------------------------------------------------------------
class TButtonControl;

// The link of push buttons, check boxes and radio buttons: also carries Checked.
class TButtonActionLink : public TWinControlActionLink {
public:
    CLASSLIB_CLASS_NAME(TButtonActionLink)
    explicit TButtonActionLink(TControl* AClient) : TWinControlActionLink(AClient) {}
    static const TControlActionLinkClassRef& ClassRef();
    bool IsCheckedLinked() override;
    // Sets the client's Checked without its click.
    void SetChecked(bool Value) override;

private:
    TButtonControl* Button() const;
};

// A control of the BUTTON class with a Checked state (false for a push button).
class TButtonControl : public TWinControl {
public:
    CLASSLIB_CLASS_NAME(TButtonControl)
    explicit TButtonControl(TComponent* AOwner);
    virtual bool GetChecked() { return false; }
    virtual void SetChecked(bool Value) { (void)Value; }
    bool Checked() { return GetChecked(); }
    // While set, a change of Checked does not click.
    bool ClicksDisabled() const { return clicksDisabled_; }
    void SetClicksDisabled(bool Value) { clicksDisabled_ = Value; }
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool Value);

    TControlActionLinkClass GetActionLinkClass() const override;
    void ActionChange(TObject* Sender, bool CheckDefaults) override;
    void CreateParams(TCreateParams& Params) override;

private:
    bool clicksDisabled_ = false;
    bool wordWrap_ = false;
};

// A push button. Click sets the parent form's ModalResult to ModalResult, then runs OnClick.
// Default: Enter on the form clicks it (while no other button has the focus); Cancel: Escape.
class TButton : public TButtonControl {
public:
    CLASSLIB_CLASS_NAME(TButton)
    explicit TButton(TComponent* AOwner);
    bool Default() const { return default_; }
    void SetDefault(bool Value);
    bool Cancel() const { return cancel_; }
    void SetCancel(bool Value) { cancel_ = Value; }
    TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(TModalResult Value) { modalResult_ = Value; }

    void Click() override;
    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void Dispatch(TMessage& Message) override;

private:
    void SetButtonStyle(bool ADefault);
    bool default_ = false;
    bool cancel_ = false;
    bool active_ = false;
    TModalResult modalResult_ = mrNone;
};

enum class TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

// A check box (BS_3STATE, the state kept by the control). A change of State or Checked, from
// code or by the user, runs OnClick (unless ClicksDisabled).
class TCustomCheckBox : public TButtonControl {
public:
    CLASSLIB_CLASS_NAME(TCustomCheckBox)
    explicit TCustomCheckBox(TComponent* AOwner);
    TCheckBoxState State() const { return state_; }
    virtual void SetState(TCheckBoxState Value);
    bool AllowGrayed() const { return allowGrayed_; }
    void SetAllowGrayed(bool Value) { allowGrayed_ = Value; }
    // taRightJustify (default): the text right of the box.
    TLeftRight Alignment() const { return alignment_; }
    void SetAlignment(TLeftRight Value);
    bool GetChecked() override { return state_ == TCheckBoxState::cbChecked; }
    void SetChecked(bool Value) override;
    // Unchecked -> checked (grayed when AllowGrayed) -> unchecked; grayed -> checked.
    virtual void Toggle();

    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void Dispatch(TMessage& Message) override;

private:
    TCheckBoxState state_ = TCheckBoxState::cbUnchecked;
    bool allowGrayed_ = false;
    TLeftRight alignment_ = TLeftRight::taRightJustify;
};

class TCheckBox : public TCustomCheckBox {
public:
    CLASSLIB_CLASS_NAME(TCheckBox)
    explicit TCheckBox(TComponent* AOwner) : TCustomCheckBox(AOwner) {}
};

// A radio button. Checking it (from code or by the user) unchecks the radio buttons beside it
// and runs OnClick; unchecking runs nothing.
class TRadioButton : public TButtonControl {
public:
    CLASSLIB_CLASS_NAME(TRadioButton)
    explicit TRadioButton(TComponent* AOwner);
    TLeftRight Alignment() const { return alignment_; }
    void SetAlignment(TLeftRight Value);
    bool GetChecked() override { return checked_; }
    void SetChecked(bool Value) override;

    void CreateParams(TCreateParams& Params) override;
    void CreateWnd() override;
    void Dispatch(TMessage& Message) override;

private:
    bool checked_ = false;
    TLeftRight alignment_ = TLeftRight::taRightJustify;
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
