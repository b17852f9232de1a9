// The class library's buttons over BUTTON windows: the button action link, push button, check box
// and radio button.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "classlib/actions.h"
#include "classlib/controls.h"
#include "classlib/custom_form.h"  // TModalResult
#include "classlib/std_text.h"

namespace classlib {

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
    // Whether Return on the form clicks this button: it has the focus, or it is the default one and
    // no other button has the focus.
    bool AnswersReturn();
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

}  // namespace classlib
