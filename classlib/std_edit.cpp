// The edit of the class library.
#include "classlib/std_edit.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "classlib/forms.h"
#include "classlib/gdi_handles.h"
#include "classlib/hidden_window.h"

namespace classlib {

// ---- TCustomEdit -----------------------------------------------------------------------------

TCustomEdit::TCustomEdit(TComponent* AOwner) : TWinControl(AOwner) {
    SetControlStyle(csClickEvents | csSetCaption | csDoubleClicks | csFixedHeight);
    SetBounds(0, 0, 121, 25);
    SetTabStop(true);
    SetParentColor(false);
    SetColor(clWindow);
}

void TCustomEdit::SetMaxLength(int Value) {
    if (Value < 0) Value = 0;
    maxLength_ = Value;
    if (HandleAllocated()) SendMessageA(WindowHandle(), EM_LIMITTEXT, static_cast<WPARAM>(Value), 0);
}

void TCustomEdit::SetReadOnly(bool Value) {
    if (readOnly_ == Value) return;
    readOnly_ = Value;
    if (HandleAllocated()) SendMessageA(WindowHandle(), EM_SETREADONLY, Value ? TRUE : FALSE, 0);
}

void TCustomEdit::SetPasswordChar(char Value) {
    if (passwordChar_ == Value) return;
    passwordChar_ = Value;
    if (HandleAllocated()) {
        SendMessageA(WindowHandle(), EM_SETPASSWORDCHAR, static_cast<unsigned char>(Value), 0);
        Invalidate();
    }
}

int TCustomEdit::GetSelStart() {
    DWORD start = 0, end = 0;
    SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(start);
}

void TCustomEdit::SetSelStart(int Value) {
    SendMessageA(Handle(), EM_SETSEL, static_cast<WPARAM>(Value), Value);
}

int TCustomEdit::GetSelLength() {
    DWORD start = 0, end = 0;
    SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    return static_cast<int>(end) - static_cast<int>(start);
}

void TCustomEdit::SetSelLength(int Value) {
    DWORD start = 0, end = 0;
    SendMessageA(Handle(), EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    SendMessageA(Handle(), EM_SETSEL, start, static_cast<LPARAM>(start) + Value);
    SendMessageA(Handle(), EM_SCROLLCARET, 0, 0);
}

std::string TCustomEdit::GetSelText() {
    int start = GetSelStart();
    int length = GetSelLength();
    std::string text = Text();
    if (start < 0 || length <= 0 || static_cast<size_t>(start) >= text.size()) return std::string();
    return text.substr(static_cast<size_t>(start), static_cast<size_t>(length));
}

void TCustomEdit::SetSelText(const std::string& Value) {
    SendMessageA(Handle(), EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(Value.c_str()));
}

void TCustomEdit::SelectAll() {
    SendMessageA(Handle(), EM_SETSEL, 0, -1);
}

void TCustomEdit::CreateParams(TCreateParams& Params) {
    TWinControl::CreateParams(Params);
    CreateSubClass(Params, "EDIT");
    Params.Style |= ES_AUTOHSCROLL | ES_AUTOVSCROLL;
    if (readOnly_) Params.Style |= ES_READONLY;
    if (passwordChar_ != 0) Params.Style |= ES_PASSWORD;
    if (Ctl3D()) {
        Params.Style &= ~static_cast<DWORD>(WS_BORDER);
        Params.ExStyle |= WS_EX_CLIENTEDGE;
    } else {
        Params.Style |= WS_BORDER;
    }
}

void TCustomEdit::CreateWnd() {
    // The system's EN_CHANGE for the initial text is not a change of the control's text.
    creating_ = true;
    try {
        TWinControl::CreateWnd();
    } catch (...) {
        creating_ = false;
        throw;
    }
    creating_ = false;
    SendMessageA(WindowHandle(), EM_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
    if (passwordChar_ != 0)
        SendMessageA(WindowHandle(), EM_SETPASSWORDCHAR, static_cast<unsigned char>(passwordChar_), 0);
}

void TCustomEdit::Change() {
    if (OnChange) OnChange(this);
}

void TCustomEdit::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
    case CN_COMMAND:
        if (NotifyCode(Message) == EN_CHANGE && !creating_) Change();
        break;
    case CM_TEXTCHANGED:
        TWinControl::Dispatch(Message);
        // With a window the system reports the change itself (EN_CHANGE).
        if (!HandleAllocated()) Change();
        return;
    default:
        break;
    }
    TWinControl::Dispatch(Message);
}

}  // namespace classlib
