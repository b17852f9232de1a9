// The focus and keys of the windowed control: which control takes the focus, the key events
// (with the form's key preview before them) and the focus and key messages of its window.
#include "classlib/win_control.h"

#include <algorithm>

#include "classlib/forms.h"
#include "classlib/threads.h"

namespace classlib {

bool TWinControl::CanFocus() {
    for (TControl* c = this; c != nullptr; c = c->Parent())
        if (!c->Visible() || !c->Enabled()) return false;
    return true;
}

bool TWinControl::Focused() const { return handle_ != nullptr && GetFocus() == handle_; }

void TWinControl::SetFocus() {
    CheckMainThread("TWinControl.SetFocus");
    if (!CanFocus()) throw EInvalidOperation(L"Cannot focus a disabled or invisible window");
    ::SetFocus(Handle());
}

void TWinControl::RemoveFocus() {
    TCustomForm* form = GetParentForm(this);
    if (form != nullptr && form != this) form->DefocusControl(this);
}

void TWinControl::SelectFirst() {
    for (TControl* c : controls_) {
        auto* w = dynamic_cast<TWinControl*>(c);
        if (w != nullptr && w->TabStop() && w->CanFocus()) {
            w->SetFocus();
            return;
        }
    }
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& List) const {
    for (TControl* c : controls_)
        if (auto* w = dynamic_cast<TWinControl*>(c)) {
            List.push_back(w);
            w->GetTabOrderList(List);
        }
}

TWinControl* TWinControl::FindNextControl(TWinControl* Current, bool GoForward, bool CheckTabStop) {
    std::vector<TWinControl*> list;
    GetTabOrderList(list);
    if (list.empty()) return nullptr;
    const auto n = static_cast<std::ptrdiff_t>(list.size());
    auto found = std::find(list.begin(), list.end(), Current);
    const std::ptrdiff_t start = found != list.end() ? found - list.begin() : (GoForward ? n - 1 : 0);
    std::ptrdiff_t i = start;
    do {
        i = GoForward ? (i + 1) % n : (i + n - 1) % n;
        TWinControl* c = list[static_cast<size_t>(i)];
        if (c != Current && c->CanFocus() && (!CheckTabStop || c->TabStop())) return c;
    } while (i != start);
    return nullptr;
}

bool TWinControl::SelectNext(TWinControl* Current, bool GoForward, bool CheckTabStop) {
    TWinControl* next = FindNextControl(Current, GoForward, CheckTabStop);
    if (next == nullptr) return false;
    next->SetFocus();
    return true;
}

void TWinControl::KeyPress(char& Key) {
    if (OnKeyPress) OnKeyPress(this, Key);
}

void TWinControl::KeyDown(WORD& Key, TShiftState Shift) {
    if (OnKeyDown) OnKeyDown(this, Key, Shift);
}

void TWinControl::KeyUp(WORD& Key, TShiftState Shift) {
    if (OnKeyUp) OnKeyUp(this, Key, Shift);
}

void TWinControl::DoEnter() {
    if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
    if (OnExit) OnExit(this);
}

bool TWinControl::DoKeyPress(TMessage& Message) {
    if (HasStyle(csNoStdEvents)) return false;
    TCustomForm* form = GetParentForm(this);
    if (form != nullptr && form != this && form->KeyPreview() && form->DoKeyPress(Message)) return true;
    // The character code is the low word; a layer above may keep more in the upper word.
    WORD code = LOWORD(Message.WParam);
    char ch = static_cast<char>(code);
    KeyPress(ch);
    if (ch == 0) return true;
    if (static_cast<BYTE>(ch) != code)
        Message.WParam = (Message.WParam & ~static_cast<WPARAM>(0xFFFF)) | static_cast<BYTE>(ch);
    return false;
}

bool TWinControl::DoKeyDown(TMessage& Message) {
    if (HasStyle(csNoStdEvents)) return false;
    TCustomForm* form = GetParentForm(this);
    if (form != nullptr && form != this && form->KeyPreview() && form->DoKeyDown(Message)) return true;
    WORD key = LOWORD(Message.WParam);
    KeyDown(key, KeyDataToShiftState(Message.LParam));
    if (key == 0) return true;
    Message.WParam = key;
    return false;
}

void TWinControl::FocusKeyMessage(TMessage& Message) {
    switch (Message.Msg) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            if (!DoKeyDown(Message)) DefaultHandler(Message);
            return;
        case WM_KEYUP:
        case WM_SYSKEYUP: {
            WORD key = LOWORD(Message.WParam);
            if (!HasStyle(csNoStdEvents)) KeyUp(key, KeyDataToShiftState(Message.LParam));
            if (key != 0) DefaultHandler(Message);
            return;
        }
        case WM_CHAR:
            if (!DoKeyPress(Message)) DefaultHandler(Message);
            return;
        case WM_SYSCHAR: {
            // Alt+letter: the controls of the form may take it as their accelerator.
            TCustomForm* form = GetParentForm(this);
            if (form != nullptr && form->Perform(CM_DIALOGCHAR, Message.WParam, Message.LParam) != 0) {
                Message.Result = 0;
                return;
            }
            DefaultHandler(Message);
            return;
        }
        case CM_DIALOGCHAR:
        case CM_DIALOGKEY:
            Broadcast(Message);
            return;
        case WM_SETFOCUS:
            DefaultHandler(Message);
            if (TCustomForm* form = GetParentForm(this); form != nullptr && form != this) form->SetActiveControl(this);
            DoEnter();
            return;
        case WM_KILLFOCUS:
            DefaultHandler(Message);
            DoExit();
            return;
    }
}

}  // namespace classlib
