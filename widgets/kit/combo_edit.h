// The kit's combo edit: a single-line masked edit with a small button inside its right edge that
// runs an action (a dialog) or drops a pop-up window under the edit (the date edit's calendar).
// The base of the kit's file-name, folder and date edits.
#pragma once

#include <windows.h>

#include <string>
#include <variant>

#include "classlib/actions.h"
#include "classlib/controls.h"
#include "classlib/mask_edit.h"
#include "widgets/kit/kit_speed_button.h"

namespace widgets::kit {

class TCustomComboEdit;

// A value passed between an edit and its pop-up: none (the null value), a text or a number.
using TPopupValue = std::variant<std::monostate, std::string, double>;

// Base of the pop-ups: a bordered tool window that never takes the focus; a left release closes
// it, accepting when the release falls inside.
class TPopupWindow : public classlib::TCustomControl {
public:
    CLASSLIB_CLASS_NAME(TPopupWindow)
    explicit TPopupWindow(TCustomComboEdit* Editor);
    TCustomComboEdit* Editor() const { return editor_; }
    virtual TPopupValue GetValue() = 0;
    virtual void SetValue(const TPopupValue& Value) = 0;
    // Calls OnCloseUp with Accept.
    virtual void CloseUp(bool Accept);
    virtual std::string GetPopupText() { return std::string(); }
    // Shows the window at a screen point without activating it; hides it again.
    void ShowAt(int X, int Y);
    void HidePopup();
    std::function<void(classlib::TObject* Sender, bool Accept)> OnCloseUp;

    void CreateParams(classlib::TCreateParams& Params) override;
    void Dispatch(classlib::TMessage& Message) override;

private:
    TCustomComboEdit* editor_;
};

// The combo edit's button: a speed button with a light edge on its left.
class TEditButton : public TKitSpeedButton {
public:
    CLASSLIB_CLASS_NAME(TEditButton)
    explicit TEditButton(TCustomComboEdit* Editor);
    void Click() override;

protected:
    void Paint() override;
    void MouseDown(classlib::TMouseButton Button, classlib::TShiftState Shift, int X, int Y) override;

private:
    friend class TCustomComboEdit;
    TCustomComboEdit* editor_;
    bool noAction_ = false;  // a press closed the pop-up: its click does nothing
};

enum class TPopupAlign { epaRight, epaLeft };
enum class TGlyphKind { gkCustom, gkDefault, gkDropDown, gkEllipsis };

class TCustomComboEdit : public classlib::TCustomMaskEdit {
public:
    CLASSLIB_CLASS_NAME(TCustomComboEdit)
    explicit TCustomComboEdit(classlib::TComponent* AOwner);
    ~TCustomComboEdit() override;

    TEditButton* Button() const { return button_; }
    classlib::TWinControl* ButtonPanel() const { return panel_; }
    TPopupWindow* Popup() const { return popup_; }
    // Takes the pop-up (owned by the edit from now on; nullptr drops it).
    void SetPopup(TPopupWindow* Value);
    bool PopupVisible() const { return popupVisible_; }

    classlib::TShortCut ClickKey() const { return clickKey_; }
    void SetClickKey(classlib::TShortCut Value) { clickKey_ = Value; }
    // False: the text changes only through the button's action or the pop-up.
    bool DirectInput() const { return directInput_; }
    void SetDirectInput(bool Value);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool Value);
    // Entering the edit from the keyboard selects its text (a mouse press places the caret).
    bool AutoSelect() const { return autoSelect_; }
    void SetAutoSelect(bool Value) { autoSelect_ = Value; }
    // The button works even when ReadOnly.
    bool AlwaysEnable() const { return alwaysEnable_; }
    void SetAlwaysEnable(bool Value) { alwaysEnable_ = Value; }
    TPopupAlign PopupAlign() const { return popupAlign_; }
    void SetPopupAlign(TPopupAlign Value) { popupAlign_ = Value; }
    TGlyphKind GlyphKind() const { return glyphKind_; }
    void SetGlyphKind(TGlyphKind Value);
    HBITMAP Glyph() const { return button_->Glyph(); }
    // Makes the kind gkCustom.
    void SetGlyph(HBITMAP Value);
    int NumGlyphs() const { return button_->NumGlyphs(); }
    void SetNumGlyphs(int Value);
    int ButtonWidth() const { return button_->Width(); }
    // Widths below 2 hide the button; a width at least as wide as the edit is ignored.
    void SetButtonWidth(int Value);
    const std::string& ButtonHint() const { return button_->Hint(); }
    void SetButtonHint(const std::string& Value) { button_->SetHint(Value); }
    classlib::TAlignment Alignment() const { return alignment_; }
    void SetAlignment(classlib::TAlignment Value);
    // Whether ButtonWidth would be written to a stream (it differs from its kind's natural width).
    bool ButtonWidthStored() const;

    classlib::TNotifyEvent OnButtonClick;

    // The button, or ClickKey: OnButtonClick, then the pop-up drops down or closes accepting.
    virtual void ButtonClick();
    void PopupDropDown(bool DisableEdit);
    void PopupCloseUp(bool Accept);

    void CreateParams(classlib::TCreateParams& Params) override;
    void CreateWnd() override;
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
    void Dispatch(classlib::TMessage& Message) override;

protected:
    // The shared default glyph of the kind gkDefault (none here); FreeIt tells the caller to free it.
    virtual HBITMAP GetDefaultBitmap(bool& FreeIt);
    virtual void ShowPopup(POINT Origin);
    virtual void HidePopup();
    virtual bool AcceptPopup(const TPopupValue& Value);
    virtual void AcceptValue(const TPopupValue& Value);
    virtual void SetPopupValue(const TPopupValue& Value);
    virtual TPopupValue GetPopupValue();
    // Text changes while the pop-up is up come here instead of OnChange.
    virtual void PopupChange() {}
    virtual bool GetReadOnly() { return readOnly_; }
    void Change() override;
    void KeyDown(WORD& Key, classlib::TShiftState Shift) override;
    void KeyPress(char& Key) override;
    // The number of images the default glyph has (the date edit's is 2).
    void SetDefaultNumGlyphs(int Value) { defNumGlyphs_ = Value; }

private:
    void RecreateGlyph();
    void UpdateReadOnly();
    void UpdateLayout();
    void MakeCaret();
    static classlib::TOwnedBitmap EllipsisGlyph(int ButtonWidth);

    classlib::TWinControl* panel_ = nullptr;
    TEditButton* button_ = nullptr;
    TPopupWindow* popup_ = nullptr;
    classlib::TShortCut clickKey_ = static_cast<classlib::TShortCut>(VK_DOWN) | classlib::scAlt;
    bool directInput_ = true;
    bool readOnly_ = false;
    bool autoSelect_ = true;
    bool alwaysEnable_ = false;
    TPopupAlign popupAlign_ = TPopupAlign::epaRight;
    TGlyphKind glyphKind_ = TGlyphKind::gkCustom;
    int defNumGlyphs_ = 1;
    bool popupVisible_ = false;
    bool mousePress_ = false;
    bool creating_ = true;
    classlib::TAlignment alignment_ = classlib::TAlignment::taLeftJustify;
    classlib::TOwnedBitmap glyphHolder_;
};

}  // namespace widgets::kit
