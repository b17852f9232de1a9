// MDI frames and children of the class library's forms.
#include "classlib/mdi.h"

#include "classlib/format.h"
#include "classlib/forms.h"
#include "classlib/menus.h"
#include "classlib/threads.h"

namespace classlib {

HWND MDIClientOfMainForm() {
    if (!ApplicationExists()) return nullptr;
    TCustomForm* main = Application()->MainForm();
    return main != nullptr && main->FormStyle() == TFormStyle::fsMDIForm ? main->ClientHandle() : nullptr;
}

TCustomForm* MDIChildOfWindow(HWND Window) {
    auto* form = dynamic_cast<TCustomForm*>(FindControl(Window));
    return form != nullptr && form->FormStyle() == TFormStyle::fsMDIChild ? form : nullptr;
}

// ---- Style -----------------------------------------------------------------------------------

void TCustomForm::SetFormStyle(TFormStyle Value) {
    CheckMainThread("TCustomForm.SetFormStyle");
    if (formStyle_ == Value) return;
    auto isMDI = [](TFormStyle s) { return s == TFormStyle::fsMDIChild || s == TFormStyle::fsMDIForm; };
    if (formStyle_ == TFormStyle::fsMDIForm && MDIChildCount() > 0)
        throw EInvalidOperation(L"Cannot change the style of a form that has MDI children");
    const bool recreate = HandleAllocated() && (isMDI(Value) || isMDI(formStyle_));
    formStyle_ = Value;
    if (recreate) {
        RecreateWnd();
        return;
    }
    if (HandleAllocated())
        SetWindowPos(WindowHandle(), Value == TFormStyle::fsStayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// ---- Windows ---------------------------------------------------------------------------------

void TCustomForm::CreateWindowHandle(const TCreateParams& Params) {
    if (formStyle_ != TFormStyle::fsMDIChild || HasState(csDesigning)) {
        ExcludeFormState(fsCreatedMDIChild);
        TWinControl::CreateWindowHandle(Params);
        return;
    }
    HWND client = MDIClientOfMainForm();
    if (client == nullptr) throw EInvalidOperation(L"Cannot create form. No MDI forms are currently active");
    // The client sends WM_MDICREATE's window its first message, which binds it to this form.
    HWND window = CreateMDIWindowA(Params.WinClassName.c_str(), Params.Caption.c_str(), Params.Style, Params.X,
                                   Params.Y, Params.Width, Params.Height, client, Params.WindowClass.hInstance,
                                   reinterpret_cast<LPARAM>(Params.Param));
    if (window == nullptr) RaiseLastOSError();
    SetWindowHandle(window);
    IncludeFormState(fsCreatedMDIChild);
}

void TCustomForm::DestroyWindowHandle() {
    HWND window = WindowHandle();
    HWND client = window != nullptr && HasFormState(fsCreatedMDIChild) ? GetParent(window) : nullptr;
    ExcludeFormState(fsCreatedMDIChild);
    if (client == nullptr) {
        TWinControl::DestroyWindowHandle();
        return;
    }
    // The client keeps the list of its children (and the window menu): it destroys the window.
    SetControlState(ControlState() | csDestroyingHandle);
    SendMessageA(client, WM_MDIDESTROY, reinterpret_cast<WPARAM>(window), 0);
    SetControlState(ControlState() & ~static_cast<std::uint32_t>(csDestroyingHandle));
    SetWindowHandle(nullptr);
}

void TCustomForm::CreateMDIClient() {
    CLIENTCREATESTRUCT create{};
    create.hWindowMenu = windowMenu_ != nullptr && windowMenu_->Count() > 0 ? windowMenu_->Handle() : nullptr;
    create.idFirstChild = kFirstMDIChildId;
    RECT r = ClientRect();
    clientHandle_ = CreateWindowExA(WS_EX_CLIENTEDGE, "MDICLIENT", nullptr,
                                    WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_HSCROLL | WS_VSCROLL,
                                    r.left, r.top, r.right - r.left, r.bottom - r.top, WindowHandle(), nullptr,
                                    LibraryInstance(), &create);
    if (clientHandle_ == nullptr) RaiseLastOSError();
    AlignControls();
    RefreshMDIMenu();
}

void TCustomForm::AlignClientArea(const RECT& Remainder) {
    if (clientHandle_ == nullptr || !IsWindow(clientHandle_)) return;
    SetWindowPos(clientHandle_, HWND_BOTTOM, Remainder.left, Remainder.top, Remainder.right - Remainder.left,
                 Remainder.bottom - Remainder.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TCustomForm::DefaultHandler(TMessage& Message) {
    if (clientHandle_ != nullptr && HandleAllocated() && Message.Msg != WM_SIZE) {
        if (!IsWindow(clientHandle_)) clientHandle_ = nullptr;  // gone with the old window
        else {
            Message.Result =
                DefFrameProcA(WindowHandle(), clientHandle_, Message.Msg, Message.WParam, Message.LParam);
            return;
        }
    }
    TWinControl::DefaultHandler(Message);
}

void TCustomForm::MDIActivate(TMessage& Message) {
    DefaultHandler(Message);
    HWND self = WindowHandle();
    if (self == nullptr) return;
    if (reinterpret_cast<HWND>(Message.LParam) == self)
        Perform(CM_ACTIVATE, 0, 0);
    else if (reinterpret_cast<HWND>(Message.WParam) == self)
        Perform(CM_DEACTIVATE, 0, 0);
}

// ---- Frame -----------------------------------------------------------------------------------

TCustomForm* TCustomForm::ActiveMDIChild() const {
    if (clientHandle_ == nullptr) return nullptr;
    return MDIChildOfWindow(reinterpret_cast<HWND>(SendMessageA(clientHandle_, WM_MDIGETACTIVE, 0, 0)));
}

int TCustomForm::MDIChildCount() const {
    int n = 0;
    if (clientHandle_ == nullptr || !ScreenExists()) return 0;
    for (int i = 0; i < Screen()->FormCount(); ++i) {
        TCustomForm* f = Screen()->Forms(i);
        if (f->FormStyle() == TFormStyle::fsMDIChild && f->HandleAllocated() && GetParent(f->WindowHandle()) == clientHandle_)
            ++n;
    }
    return n;
}

TCustomForm* TCustomForm::MDIChildren(int Index) const {
    if (clientHandle_ != nullptr && ScreenExists()) {
        int n = 0;
        for (int i = 0; i < Screen()->FormCount(); ++i) {
            TCustomForm* f = Screen()->Forms(i);
            if (f->FormStyle() != TFormStyle::fsMDIChild || !f->HandleAllocated() ||
                GetParent(f->WindowHandle()) != clientHandle_)
                continue;
            if (n++ == Index) return f;
        }
    }
    throw EListError(Format(L"List index out of bounds (%d)", {Index}));
}

void TCustomForm::Cascade() {
    if (clientHandle_ != nullptr) SendMessageA(clientHandle_, WM_MDICASCADE, 0, 0);
}

void TCustomForm::Tile() {
    if (clientHandle_ == nullptr) return;
    WPARAM how = tileMode_ == TTileMode::tbHorizontal ? MDITILE_HORIZONTAL : MDITILE_VERTICAL;
    SendMessageA(clientHandle_, WM_MDITILE, how, 0);
}

void TCustomForm::ArrangeIcons() {
    if (clientHandle_ != nullptr) SendMessageA(clientHandle_, WM_MDIICONARRANGE, 0, 0);
}

void TCustomForm::Next() {
    if (clientHandle_ != nullptr) SendMessageA(clientHandle_, WM_MDINEXT, 0, 0);
}

void TCustomForm::Previous() {
    if (clientHandle_ != nullptr) SendMessageA(clientHandle_, WM_MDINEXT, 0, 1);
}

void TCustomForm::SetWindowMenu(TMenuItem* Value) {
    CheckMainThread("TCustomForm.SetWindowMenu");
    if (windowMenu_ == Value) return;
    windowMenu_ = Value;
    if (Value != nullptr) Value->FreeNotification(this);
    RefreshMDIMenu();
}

void TCustomForm::RefreshMDIMenu() {
    if (clientHandle_ == nullptr || !HandleAllocated()) return;
    HMENU bar = menu_ != nullptr ? menu_->Handle() : nullptr;
    HMENU list = windowMenu_ != nullptr && windowMenu_->Count() > 0 ? windowMenu_->Handle() : nullptr;
    SendMessageA(clientHandle_, WM_MDISETMENU, reinterpret_cast<WPARAM>(bar), reinterpret_cast<LPARAM>(list));
    // The client lists its children again (a rebuilt menu lost them).
    SendMessageA(clientHandle_, WM_MDIREFRESHMENU, 0, 0);
    DrawMenuBar(WindowHandle());
}

}  // namespace classlib
