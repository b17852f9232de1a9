// Push buttons, check boxes and radio buttons of the class library.
#include "classlib/std_buttons.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "classlib/forms.h"
#include "classlib/gdi_handles.h"
#include "classlib/hidden_window.h"

namespace classlib {

// ---- Button action link and TButtonControl ---------------------------------------------------

const TControlActionLinkClassRef& TButtonActionLink::ClassRef() {
    static const TControlActionLinkClassRef ref(
        L"TButtonActionLink", &TWinControlActionLink::ClassRef(),
        [](TControl* client) -> TControlActionLink* { return new TButtonActionLink(client); });
    return ref;
}

TButtonControl* TButtonActionLink::Button() const { return dynamic_cast<TButtonControl*>(Client()); }

bool TButtonActionLink::IsCheckedLinked() {
    TButtonControl* button = Button();
    return TWinControlActionLink::IsCheckedLinked() && button && CustomAction() &&
           button->Checked() == CustomAction()->Checked();
}

void TButtonActionLink::SetChecked(bool Value) {
    if (!IsCheckedLinked()) return;
    TButtonControl* button = Button();
    button->SetClicksDisabled(true);
    try {
        button->SetChecked(Value);
    } catch (...) {
        button->SetClicksDisabled(false);
        throw;
    }
    button->SetClicksDisabled(false);
}

TButtonControl::TButtonControl(TComponent* AOwner) : TWinControl(AOwner) {}

void TButtonControl::SetWordWrap(bool Value) {
    if (wordWrap_ == Value) return;
    wordWrap_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

TControlActionLinkClass TButtonControl::GetActionLinkClass() const { return &TButtonActionLink::ClassRef(); }

void TButtonControl::ActionChange(TObject* Sender, bool CheckDefaults) {
    TWinControl::ActionChange(Sender, CheckDefaults);
    auto* action = dynamic_cast<TCustomAction*>(Sender);
    if (!action) return;
    if (!CheckDefaults || !GetChecked()) {
        // The action's state is taken over, not clicked.
        bool disabled = clicksDisabled_;
        clicksDisabled_ = true;
        try {
            SetChecked(action->Checked());
        } catch (...) {
            clicksDisabled_ = disabled;
            throw;
        }
        clicksDisabled_ = disabled;
    }
}

void TButtonControl::CreateParams(TCreateParams& Params) {
    TWinControl::CreateParams(Params);
    if (wordWrap_) Params.Style |= BS_MULTILINE;
}

// ---- TButton ---------------------------------------------------------------------------------

TButton::TButton(TComponent* AOwner) : TButtonControl(AOwner) {
    SetControlStyle(csSetCaption | csDoubleClicks);
    SetBounds(0, 0, 75, 25);
    SetTabStop(true);
}

void TButton::SetButtonStyle(bool ADefault) {
    if (!HandleAllocated()) return;
    DWORD style = ADefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
    if ((static_cast<DWORD>(GetWindowLongPtrA(WindowHandle(), GWL_STYLE)) & 0x0F) != style)
        SendMessageA(WindowHandle(), BM_SETSTYLE, style, TRUE);
}

void TButton::SetDefault(bool Value) {
    if (default_ == Value) return;
    default_ = Value;
    if (!HandleAllocated()) return;
    TCustomForm* form = GetParentForm(this);
    TWinControl* focused = form ? form->ActiveControl() : nullptr;
    active_ = dynamic_cast<TButton*>(focused) ? focused == this : default_;
    SetButtonStyle(active_);
}

bool TButton::AnswersReturn() {
    // The focused button answers Return; with the focus elsewhere, the default one.
    TCustomForm* form = GetParentForm(this);
    TWinControl* focused = form != nullptr ? form->ActiveControl() : nullptr;
    return dynamic_cast<TButton*>(focused) != nullptr ? focused == this : default_;
}

void TButton::Click() {
    if (TCustomForm* form = GetParentForm(this)) form->SetModalResult(modalResult_);
    TButtonControl::Click();
}

void TButton::CreateParams(TCreateParams& Params) {
    TButtonControl::CreateParams(Params);
    CreateSubClass(Params, "BUTTON");
    Params.Style |= default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}

void TButton::CreateWnd() {
    TButtonControl::CreateWnd();
    active_ = default_;
}

void TButton::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case CN_COMMAND:
        if (NotifyCode(Message) == BN_CLICKED) {
            Click();
            return;
        }
        break;
    case CM_DIALOGKEY:
        if (((Message.WParam == VK_RETURN && AnswersReturn()) || (Message.WParam == VK_ESCAPE && cancel_)) &&
            KeyDataToShiftState(Message.LParam) == 0 && CanFocus()) {
            Click();
            Message.Result = 1;
            return;
        }
        break;
    case CM_DIALOGCHAR:
        if (IsAccel(Message.WParam, Caption()) && CanFocus()) {
            Click();
            Message.Result = 1;
            return;
        }
        break;
    case CM_FOCUSCHANGED: {
        // The default look goes to the focused button, or back to the default one.
        auto* sender = reinterpret_cast<TControl*>(Message.LParam);
        active_ = dynamic_cast<TButton*>(sender) ? sender == this : default_;
        SetButtonStyle(active_);
        break;
    }
    default:
        break;
    }
    TButtonControl::Dispatch(Message);
}

// ---- TCustomCheckBox -------------------------------------------------------------------------

TCustomCheckBox::TCustomCheckBox(TComponent* AOwner) : TButtonControl(AOwner) {
    SetControlStyle(csSetCaption | csDoubleClicks);
    SetBounds(0, 0, 97, 17);
    SetTabStop(true);
}

void TCustomCheckBox::SetState(TCheckBoxState Value) {
    if (state_ == Value) return;
    state_ = Value;
    if (HandleAllocated()) SendMessageA(WindowHandle(), BM_SETCHECK, static_cast<WPARAM>(state_), 0);
    if (!ClicksDisabled()) Click();
}

void TCustomCheckBox::SetChecked(bool Value) {
    SetState(Value ? TCheckBoxState::cbChecked : TCheckBoxState::cbUnchecked);
}

void TCustomCheckBox::SetAlignment(TLeftRight Value) {
    if (alignment_ == Value) return;
    alignment_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TCustomCheckBox::Toggle() {
    switch (state_) {
    case TCheckBoxState::cbUnchecked:
        SetState(allowGrayed_ ? TCheckBoxState::cbGrayed : TCheckBoxState::cbChecked);
        break;
    case TCheckBoxState::cbChecked:
        SetState(TCheckBoxState::cbUnchecked);
        break;
    case TCheckBoxState::cbGrayed:
        SetState(TCheckBoxState::cbChecked);
        break;
    }
}

void TCustomCheckBox::CreateParams(TCreateParams& Params) {
    TButtonControl::CreateParams(Params);
    CreateSubClass(Params, "BUTTON");
    Params.Style |= BS_3STATE;
    if ((alignment_ == TLeftRight::taLeftJustify) != UseRightToLeftAlignment()) Params.Style |= BS_LEFTTEXT;
}

void TCustomCheckBox::CreateWnd() {
    TButtonControl::CreateWnd();
    SendMessageA(WindowHandle(), BM_SETCHECK, static_cast<WPARAM>(state_), 0);
}

void TCustomCheckBox::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case CN_COMMAND:
        if (NotifyCode(Message) == BN_CLICKED) {
            Toggle();
            return;
        }
        break;
    case CM_DIALOGCHAR:
        if (IsAccel(Message.WParam, Caption()) && CanFocus()) {
            SetFocus();
            if (Focused()) Toggle();
            Message.Result = 1;
            return;
        }
        break;
    default:
        break;
    }
    TButtonControl::Dispatch(Message);
}

// ---- TRadioButton ----------------------------------------------------------------------------

TRadioButton::TRadioButton(TComponent* AOwner) : TButtonControl(AOwner) {
    SetControlStyle(csSetCaption | csDoubleClicks);
    SetBounds(0, 0, 113, 17);
}

void TRadioButton::SetAlignment(TLeftRight Value) {
    if (alignment_ == Value) return;
    alignment_ = Value;
    if (HandleAllocated()) RecreateWnd();
}

void TRadioButton::SetChecked(bool Value) {
    if (checked_ == Value) return;
    checked_ = Value;
    SetTabStop(Value);
    if (HandleAllocated()) SendMessageA(WindowHandle(), BM_SETCHECK, Value ? BST_CHECKED : BST_UNCHECKED, 0);
    if (!Value) return;
    if (TWinControl* parent = Parent()) {
        for (int i = 0; i < parent->ControlCount(); ++i) {
            auto* sibling = dynamic_cast<TRadioButton*>(parent->Controls(i));
            if (!sibling || sibling == this) continue;
            if (auto* action = dynamic_cast<TCustomAction*>(sibling->Action()); action && action->AutoCheck())
                action->SetChecked(false);
            sibling->SetChecked(false);
        }
    }
    if (!ClicksDisabled()) Click();
}

void TRadioButton::CreateParams(TCreateParams& Params) {
    TButtonControl::CreateParams(Params);
    CreateSubClass(Params, "BUTTON");
    Params.Style |= BS_RADIOBUTTON;
    if ((alignment_ == TLeftRight::taLeftJustify) != UseRightToLeftAlignment()) Params.Style |= BS_LEFTTEXT;
}

void TRadioButton::CreateWnd() {
    TButtonControl::CreateWnd();
    SendMessageA(WindowHandle(), BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TRadioButton::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case CN_COMMAND:
        switch (NotifyCode(Message)) {
        case BN_CLICKED:
            SetChecked(true);
            return;
        case BN_DOUBLECLICKED:
            DblClick();
            return;
        default:
            break;
        }
        break;
    case CM_DIALOGCHAR:
        if (IsAccel(Message.WParam, Caption()) && CanFocus()) {
            SetFocus();
            Message.Result = 1;
            return;
        }
        break;
    default:
        break;
    }
    TButtonControl::Dispatch(Message);
}

}  // namespace classlib
