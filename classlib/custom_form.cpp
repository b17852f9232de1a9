// Forms and frames of the class library.
#include "classlib/custom_form.h"

#include <windowsx.h>

#include <algorithm>
#include <atomic>

#include "classlib/conversions.h"
#include "classlib/format.h"
#include "classlib/forms.h"
#include "classlib/hidden_window.h"
#include "classlib/mdi.h"
#include "classlib/menus.h"
#include "classlib/message_box.h"
#include "classlib/threads.h"

namespace classlib {

namespace {

BOOL CALLBACK DisableWindowProc(HWND Window, LPARAM Data) {
    auto* list = reinterpret_cast<std::pair<HWND, TTaskWindowList*>*>(Data);
    if (Window != list->first && IsWindowVisible(Window) && IsWindowEnabled(Window)) {
        list->second->push_back(Window);
        EnableWindow(Window, FALSE);
    }
    return TRUE;
}

bool ProcessExecute(TControl* Control, TBasicAction* Action) {
    return Control != nullptr && Control->ExecuteAction(Action);
}

bool ProcessUpdate(TControl* Control, TBasicAction* Action) {
    return Control != nullptr && Control->UpdateAction(Action);
}

template <typename F>
bool TraverseClients(TWinControl* Container, F f) {
    for (int i = 0; i < Container->ControlCount(); ++i) {
        TControl* c = Container->Controls(i);
        if (!c->Visible()) continue;
        if (f(c)) return true;
        if (auto* w = dynamic_cast<TWinControl*>(c); w != nullptr && TraverseClients(w, f)) return true;
    }
    return false;
}

void InitiateClients(TWinControl* Container) {
    for (int i = 0; i < Container->ControlCount(); ++i) {
        TControl* c = Container->Controls(i);
        if (!c->Visible()) continue;
        c->InitiateAction();
        if (auto* w = dynamic_cast<TWinControl*>(c)) InitiateClients(w);
    }
}
}  // namespace

TCustomForm* GetParentForm(TControl* Control) {
    if (Control == nullptr) return nullptr;
    TControl* c = Control;
    while (c->Parent() != nullptr) c = c->Parent();
    return dynamic_cast<TCustomForm*>(c);
}

TTaskWindowList DisableTaskWindows(HWND ActiveWindow) {
    TTaskWindowList list;
    std::pair<HWND, TTaskWindowList*> data{ActiveWindow, &list};
    EnumThreadWindows(GetCurrentThreadId(), &DisableWindowProc, reinterpret_cast<LPARAM>(&data));
    return list;
}

void EnableTaskWindows(const TTaskWindowList& List) {
    for (HWND w : List)
        if (IsWindow(w)) EnableWindow(w, TRUE);
}

// ---- TCustomForm -----------------------------------------------------------------------------

TCustomForm::TCustomForm(TComponent* AOwner) : TWinControl(AOwner) {
    SetControlStyle(csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks);
    InitVisible(false);
    UpdateBoundsFields(0, 0, 320, 240);
    SetColor(clBtnFace);
    SetParentFont(false);
    Screen()->AddForm(this);
}

TCustomForm::~TCustomForm() {
    BeforeDestruction();
    if (HasFormState(fsModal)) ExcludeFormState(fsModal);
}

void TCustomForm::AfterConstruction() {
    if (!oldCreateOrder_) DoCreate();
}

void TCustomForm::BeforeDestruction() {
    if (destructionBegun_) return;
    destructionBegun_ = true;
    Destroying();
    if (ScreenExists()) Screen()->RemoveForm(this);
    if (ApplicationExists() && Application()->MainForm() == this) Application()->SetMainForm(nullptr);
    DoDestroy();
}

void TCustomForm::DoCreate() {
    if (!OnCreate) return;
    try {
        OnCreate(this);
    } catch (...) {
        Application()->HandleException(this);
    }
}

void TCustomForm::DoDestroy() {
    if (!OnDestroy) return;
    try {
        OnDestroy(this);
    } catch (...) {
        Application()->HandleException(this);
    }
}

void TCustomForm::DoShow() {
    if (OnShow) OnShow(this);
}

void TCustomForm::DoHide() {
    if (OnHide) OnHide(this);
}

void TCustomForm::Activate() {
    if (activeControl_ != nullptr && activeControl_->HandleAllocated() && activeControl_->CanFocus())
        ::SetFocus(activeControl_->WindowHandle());
    if (OnActivate) OnActivate(this);
}

void TCustomForm::Deactivate() {
    if (OnDeactivate) OnDeactivate(this);
}

void TCustomForm::DoClose(TCloseAction& Action) {
    if (OnClose) OnClose(this, Action);
}

bool TCustomForm::CloseQuery() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    return canClose;
}

void TCustomForm::Show() {
    CheckMainThread("TCustomForm.Show");
    SetVisible(true);
    BringToFront();
}

void TCustomForm::ShowForm(bool Activate) {
    if (Visible() && HandleAllocated() && IsWindowVisible(WindowHandle())) return;
    // OnShow runs before the window appears; its failure is reported, the form still shows.
    try {
        DoShow();
    } catch (...) {
        Application()->HandleException(this);
    }
    InitVisible(true);
    Perform(CM_VISIBLECHANGED, 1, 0);
    HandleNeeded();
    ApplyPosition();
    int cmd = Activate ? SW_SHOWNORMAL : SW_SHOWNOACTIVATE;
    if (windowState_ == TWindowState::wsMinimized) cmd = Activate ? SW_SHOWMINIMIZED : SW_SHOWMINNOACTIVE;
    if (windowState_ == TWindowState::wsMaximized) cmd = SW_SHOWMAXIMIZED;
    ShowWindow(WindowHandle(), cmd);
    // A child shown in an MDI client becomes its active child, as a shown form becomes active.
    if (Activate && HasFormState(fsCreatedMDIChild))
        SendMessageA(GetParent(WindowHandle()), WM_MDIACTIVATE, reinterpret_cast<WPARAM>(WindowHandle()), 0);
    IncludeFormState(fsVisible);
}

void TCustomForm::ShowInactive() {
    CheckMainThread("TCustomForm.ShowInactive");
    ShowForm(false);
    BringToFront();
}

void TCustomForm::SetVisible(bool Value) {
    CheckMainThread("TCustomForm.SetVisible");
    if (Value) {
        ShowForm(true);
    } else {
        if (!Visible() && (!HandleAllocated() || !IsWindowVisible(WindowHandle()))) return;
        if (formStyle_ == TFormStyle::fsMDIChild && !HasState(csDestroying))
            throw EInvalidOperation(L"Cannot hide an MDI Child Form");
        try {
            DoHide();
        } catch (...) {
            Application()->HandleException(this);
        }
        InitVisible(false);
        Perform(CM_VISIBLECHANGED, 0, 0);
        if (HandleAllocated()) ShowWindow(WindowHandle(), SW_HIDE);
        ExcludeFormState(fsVisible);
    }
}

void TCustomForm::ApplyPosition() {
    if (positioned_) return;
    positioned_ = true;
    TCustomForm* center = nullptr;
    switch (position_) {
        case TPosition::poMainFormCenter:
            center = ApplicationExists() ? Application()->MainForm() : nullptr;
            break;
        case TPosition::poOwnerFormCenter:
            center = dynamic_cast<TCustomForm*>(Owner());
            break;
        case TPosition::poScreenCenter:
        case TPosition::poDesktopCenter:
            break;
        default:
            return;
    }
    int x, y;
    if (center != nullptr && center != this && center->HandleAllocated()) {
        x = center->Left() + (center->Width() - Width()) / 2;
        y = center->Top() + (center->Height() - Height()) / 2;
    } else {
        x = (Screen()->Width() - Width()) / 2;
        y = (Screen()->Height() - Height()) / 2;
    }
    SetBounds(std::max(0, x), std::max(0, y), Width(), Height());
}

void TCustomForm::Close() {
    CheckMainThread("TCustomForm.Close");
    if (HasFormState(fsModal)) {
        modalResult_ = mrCancel;
        return;
    }
    if (!CloseQuery()) return;
    // An MDI child cannot hide: closing minimises it (unless it has no minimise box), as the
    // library this one stands for does; OnClose may choose caFree.
    TCloseAction action = TCloseAction::caHide;
    if (formStyle_ == TFormStyle::fsMDIChild)
        action = (borderIcons_ & biMinimize) != 0 ? TCloseAction::caMinimize : TCloseAction::caNone;
    DoClose(action);
    if (action == TCloseAction::caNone) return;
    if (ApplicationExists() && Application()->MainForm() == this) {
        Application()->Terminate();
        return;
    }
    switch (action) {
        case TCloseAction::caHide: Hide(); break;
        case TCloseAction::caMinimize: SetWindowState(TWindowState::wsMinimized); break;
        case TCloseAction::caFree: Release(); break;
        default: break;
    }
}

void TCustomForm::Release() { PostMessageA(Handle(), CM_RELEASE, 0, 0); }

TModalResult TCustomForm::ShowModal() {
    CheckMainThread("TCustomForm.ShowModal");
    if ((Visible() && HandleAllocated() && IsWindowVisible(WindowHandle())) || !Enabled() ||
        HasFormState(fsModal) || formStyle_ == TFormStyle::fsMDIChild)
        throw EInvalidOperation(L"Cannot make a visible window modal");
    if (GetCapture() != nullptr) SendMessageA(GetCapture(), WM_CANCELMODE, 0, 0);
    ReleaseCapture();
    IncludeFormState(fsModal);
    HWND activeWindow = GetActiveWindow();
    const HWND focused = GetFocus();
    // Owned by the window it asks for, the form stays above it whatever raises that window (a
    // click on it, the window manager).
    const HWND owner = ModalOwnerFor(activeWindow);
    if (activeWindow == nullptr && ApplicationExists() && owner != Application()->Handle()) activeWindow = owner;
    TTaskWindowList disabled = DisableTaskWindows(nullptr);
    TModalResult result = mrNone;
    auto restore = [&] {
        SendMessageA(WindowHandle(), CM_DEACTIVATE, 0, 0);
        // The window asked for is enabled and active again before this one goes: with every other
        // window still disabled, the system would activate none, and the keyboard would reach
        // nothing until a click.
        EnableTaskWindows(disabled);
        if (activeWindow != nullptr && IsWindow(activeWindow) && IsWindowVisible(activeWindow) &&
            IsWindowEnabled(activeWindow)) {
            SetActiveWindow(activeWindow);
            if (focused != nullptr && IsWindow(focused) && (focused == activeWindow || IsChild(activeWindow, focused)) &&
                IsWindowVisible(focused) && IsWindowEnabled(focused))
                ::SetFocus(focused);
        }
        Hide();
        SetOwnerWindow(nullptr);
        ExcludeFormState(fsModal);
    };
    try {
        SetOwnerWindow(owner);
        Show();
        SendMessageA(Handle(), CM_ACTIVATE, 0, 0);
        modalResult_ = mrNone;
        // Timers, posted messages and synchronised calls of worker threads are served by the
        // application's own message handling (HandleMessage).
        do {
            Application()->HandleMessage();
            if (Application()->Terminated())
                modalResult_ = mrCancel;
            else if (modalResult_ != mrNone)
                CloseModal();
        } while (modalResult_ == mrNone);
        result = modalResult_;
    } catch (...) {
        restore();
        throw;
    }
    restore();
    return result;
}

HWND TCustomForm::ModalOwnerFor(HWND Active) {
    auto shownTopLevel = [this](HWND Window) {
        return Window != nullptr && IsWindow(Window) && IsWindowVisible(Window) &&
               GetWindowThreadProcessId(Window, nullptr) == GetCurrentThreadId() &&
               (GetWindowLongPtrA(Window, GWL_STYLE) & WS_CHILD) == 0 &&
               (!HandleAllocated() || Window != WindowHandle());
    };
    if (shownTopLevel(Active)) return Active;
    if (ApplicationExists()) {
        TCustomForm* main = Application()->MainForm();
        if (main != nullptr && main != this && main->HandleAllocated() && shownTopLevel(main->WindowHandle()))
            return main->WindowHandle();
        return Application()->Handle();
    }
    return nullptr;
}

void TCustomForm::SetOwnerWindow(HWND Owner) {
    ownerWindow_ = Owner;
    if (!HandleAllocated() || Parent() != nullptr || ParentWindow() != nullptr || formStyle_ == TFormStyle::fsMDIChild)
        return;
    const HWND wanted = Owner != nullptr ? Owner : (ApplicationExists() ? Application()->Handle() : nullptr);
    if (GetWindow(WindowHandle(), GW_OWNER) != wanted)
        SetWindowLongPtrW(WindowHandle(), GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(wanted));
}

void TCustomForm::CloseModal() {
    TCloseAction action = TCloseAction::caNone;
    if (CloseQuery()) {
        action = TCloseAction::caHide;
        DoClose(action);
    }
    if (action == TCloseAction::caNone)
        modalResult_ = mrNone;
    else if (action == TCloseAction::caFree)
        Release();
}

void TCustomForm::SetBorderStyle(TFormBorderStyle Value) {
    CheckMainThread("TCustomForm.SetBorderStyle");
    if (borderStyle_ == Value) return;
    borderStyle_ = Value;
    RecreateWnd();
}

void TCustomForm::SetBorderIcons(TBorderIcons Value) {
    if (borderIcons_ == Value) return;
    borderIcons_ = Value;
    RecreateWnd();
}

void TCustomForm::SetWindowState(TWindowState Value) {
    CheckMainThread("TCustomForm.SetWindowState");
    if (windowState_ == Value) return;
    windowState_ = Value;
    if (HandleAllocated() && Visible()) {
        int cmd = Value == TWindowState::wsMinimized ? SW_MINIMIZE
                  : Value == TWindowState::wsMaximized ? SW_MAXIMIZE
                                                       : SW_RESTORE;
        ShowWindow(WindowHandle(), cmd);
    }
}

void TCustomForm::SetAlphaBlend(bool Value) {
    if (alphaBlend_ == Value) return;
    alphaBlend_ = Value;
    ApplyLayered();
}

void TCustomForm::SetAlphaBlendValue(BYTE Value) {
    if (alphaBlendValue_ == Value) return;
    alphaBlendValue_ = Value;
    ApplyLayered();
}

void TCustomForm::SetTransparentColor(bool Value) {
    if (transparentColor_ == Value) return;
    transparentColor_ = Value;
    ApplyLayered();
}

void TCustomForm::SetTransparentColorValue(TColor Value) {
    if (transparentColorValue_ == Value) return;
    transparentColorValue_ = Value;
    ApplyLayered();
}

void TCustomForm::ApplyLayered() {
    if (!HandleAllocated()) return;
    HWND h = WindowHandle();
    LONG_PTR ex = GetWindowLongPtrA(h, GWL_EXSTYLE);
    if (alphaBlend_ || transparentColor_) {
        if ((ex & WS_EX_LAYERED) == 0) SetWindowLongPtrA(h, GWL_EXSTYLE, ex | WS_EX_LAYERED);
        DWORD flags = (alphaBlend_ ? LWA_ALPHA : 0) | (transparentColor_ ? LWA_COLORKEY : 0);
        SetLayeredWindowAttributes(h, ColorToRGB(transparentColorValue_), alphaBlend_ ? alphaBlendValue_ : 255, flags);
    } else if ((ex & WS_EX_LAYERED) != 0) {
        SetWindowLongPtrA(h, GWL_EXSTYLE, ex & ~static_cast<LONG_PTR>(WS_EX_LAYERED));
        RedrawWindow(h, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN);
    }
}

void TCustomForm::SetActiveControl(TWinControl* Control) {
    CheckMainThread("TCustomForm.SetActiveControl");
    if (activeControl_ == Control) return;
    if (Control != nullptr && GetParentForm(Control) != this)
        throw EInvalidOperation(L"Invalid active control");
    activeControl_ = Control;
    if (Control != nullptr) Control->FreeNotification(this);
    if (ScreenExists() && Screen()->OnActiveControlChange) {
        TNotifyEvent handler = Screen()->OnActiveControlChange;
        handler(Screen());
    }
    if (Control != nullptr && active_ && Control->HandleAllocated() && !Control->Focused() && Control->CanFocus())
        ::SetFocus(Control->WindowHandle());
}

void TCustomForm::DefocusControl(TWinControl* Control) {
    if (Control == nullptr) return;
    const HWND focus = GetFocus();
    const bool focused = focus != nullptr && Control->HandleAllocated() &&
                         (focus == Control->WindowHandle() || IsChild(Control->WindowHandle(), focus));
    if (activeControl_ != nullptr && Control->ContainsControl(activeControl_)) SetActiveControl(nullptr);
    if (focused && HandleAllocated()) ::SetFocus(WindowHandle());
}

void TCustomForm::SetFocus() {
    if (!CanFocus()) throw EInvalidOperation(L"Cannot focus a disabled or invisible window");
    SetActiveWindow(Handle());
}

void TCustomForm::Notification(TComponent* AComponent, TOperation Operation) {
    TWinControl::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && AComponent != nullptr &&
        AComponent == static_cast<TComponent*>(activeControl_))
        activeControl_ = nullptr;
    if (Operation == TOperation::opRemove && AComponent != nullptr && AComponent == static_cast<TComponent*>(menu_))
        SetMenu(nullptr);
    if (Operation == TOperation::opRemove && AComponent != nullptr &&
        AComponent == static_cast<TComponent*>(windowMenu_))
        SetWindowMenu(nullptr);
}

void TCustomForm::SetMenu(TMainMenu* Value) {
    CheckMainThread("TCustomForm.SetMenu");
    if (menu_ == Value) return;
    if (menu_ != nullptr) menu_->SetWindowHandle(nullptr);
    menu_ = Value;
    if (menu_ != nullptr) menu_->FreeNotification(this);
    if (HandleAllocated()) {
        ::SetMenu(WindowHandle(), menu_ != nullptr ? menu_->Handle() : nullptr);
        if (menu_ != nullptr) menu_->SetWindowHandle(WindowHandle());
        RefreshMDIMenu();
    }
}

void TCustomForm::UpdateActions() {
    if (HasState(csDesigning)) return;
    InitiateAction();
    InitiateClients(this);
}

void TCustomForm::CreateParams(TCreateParams& Params) {
    TWinControl::CreateParams(Params);
    Params.Style &= ~static_cast<DWORD>(WS_CHILD | WS_GROUP | WS_TABSTOP | WS_VISIBLE);
    Params.Style |= WS_CLIPCHILDREN;
    if (Parent() == nullptr && ParentWindow() == nullptr)
        Params.WndParent = ownerWindow_ != nullptr ? ownerWindow_ : Application()->Handle();
    switch (borderStyle_) {
        case TFormBorderStyle::bsNone:
            Params.Style |= WS_POPUP;
            break;
        case TFormBorderStyle::bsSingle:
        case TFormBorderStyle::bsToolWindow:
            Params.Style |= WS_CAPTION | WS_BORDER;
            break;
        case TFormBorderStyle::bsSizeable:
        case TFormBorderStyle::bsSizeToolWin:
            Params.Style |= WS_CAPTION | WS_THICKFRAME;
            break;
        case TFormBorderStyle::bsDialog:
            Params.Style |= WS_POPUP | WS_CAPTION;
            Params.ExStyle |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
            break;
    }
    if (borderStyle_ == TFormBorderStyle::bsToolWindow || borderStyle_ == TFormBorderStyle::bsSizeToolWin)
        Params.ExStyle |= WS_EX_TOOLWINDOW;
    if (borderStyle_ != TFormBorderStyle::bsNone && (borderIcons_ & biSystemMenu) != 0) {
        Params.Style |= WS_SYSMENU;
        if (borderStyle_ == TFormBorderStyle::bsSingle || borderStyle_ == TFormBorderStyle::bsSizeable) {
            if (borderIcons_ & biMinimize) Params.Style |= WS_MINIMIZEBOX;
            if (borderIcons_ & biMaximize) Params.Style |= WS_MAXIMIZEBOX;
        }
    }
    if (formStyle_ == TFormStyle::fsStayOnTop) Params.ExStyle |= WS_EX_TOPMOST;
    // The main form has the program's task bar button (see TApplication::Run).
    if (ApplicationExists() && Application()->MainForm() == this) Params.ExStyle |= WS_EX_APPWINDOW;
    if (position_ == TPosition::poDefault || position_ == TPosition::poDefaultPosOnly) {
        Params.X = CW_USEDEFAULT;
        Params.Y = CW_USEDEFAULT;
    }
    if (position_ == TPosition::poDefault || position_ == TPosition::poDefaultSizeOnly) {
        Params.Width = CW_USEDEFAULT;
        Params.Height = CW_USEDEFAULT;
    }
    Params.WindowClass.style |= CS_DBLCLKS;
    if (Parent() != nullptr) {
        // A docked form: a child window of its site, without frame or caption of its own.
        Params.Style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (Visible() ? WS_VISIBLE : 0);
        Params.ExStyle &= ~static_cast<DWORD>(WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_TOOLWINDOW |
                                              WS_EX_TOPMOST | WS_EX_APPWINDOW);
        Params.WndParent = Parent()->WindowHandle();
        return;
    }
    if (formStyle_ == TFormStyle::fsMDIChild) {
        // A window of the main form's MDI client, which the client's own procedures serve.
        Params.Style &= ~static_cast<DWORD>(WS_POPUP);
        Params.WndParent = MDIClientOfMainForm();
        Params.WindowClass.lpfnWndProc = &DefMDIChildProcA;
    }
}

void TCustomForm::CreateWnd() {
    TWinControl::CreateWnd();
    if (menu_ != nullptr) {
        ::SetMenu(WindowHandle(), menu_->Handle());
        menu_->SetWindowHandle(WindowHandle());
    }
    if (formStyle_ == TFormStyle::fsMDIForm) CreateMDIClient();
    ApplyLayered();
}

void TCustomForm::DestroyWnd() {
    if (menu_ != nullptr && HandleAllocated()) ::SetMenu(WindowHandle(), nullptr);
    TWinControl::DestroyWnd();
    clientHandle_ = nullptr;  // a child of the window, gone with it
}

void TCustomForm::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case CM_DIALOGKEY:
            // Tab and Shift+Tab move the focus through the form's tab stops (Ctrl+Tab is the
            // controls' own).
            if (Message.WParam == VK_TAB && GetKeyState(VK_CONTROL) >= 0 && GetKeyState(VK_MENU) >= 0) {
                TWinControl* from = nullptr;
                for (HWND w = GetFocus(); w != nullptr && from == nullptr; w = GetParent(w)) from = FindControl(w);
                if (from == nullptr || GetParentForm(from) != this) from = activeControl_;
                SelectNext(from, GetKeyState(VK_SHIFT) >= 0, true);
                Message.Result = 1;
                return;
            }
            break;
        case WM_CLOSE:
            Close();
            return;
        case WM_ACTIVATE:
            DefaultHandler(Message);
            Perform(LOWORD(Message.WParam) != WA_INACTIVE ? CM_ACTIVATE : CM_DEACTIVATE, 0, 0);
            return;
        case CM_ACTIVATE:
            if (!active_) {
                active_ = true;
                IncludeFormState(fsActivated);
                Activate();
                if (ScreenExists() && Screen()->OnActiveFormChange) {
                    TNotifyEvent handler = Screen()->OnActiveFormChange;
                    handler(Screen());
                }
            }
            return;
        case CM_DEACTIVATE:
            if (active_) {
                active_ = false;
                Deactivate();
            }
            return;
        case CM_RELEASE:
            BeforeDestruction();
            delete this;
            return;
        case WM_MDIACTIVATE:
            MDIActivate(Message);
            return;
        case WM_NCDESTROY:
            ExcludeFormState(fsCreatedMDIChild);  // also when the frame's window took it along
            break;
        case WM_SETTEXT:
            TWinControl::Dispatch(Message);
            // The client's window menu lists the child by its new caption.
            if (HasFormState(fsCreatedMDIChild) && HandleAllocated())
                SendMessageA(GetParent(WindowHandle()), WM_MDIREFRESHMENU, 0, 0);
            return;
        case WM_COMMAND:
            // A menu command (no control window); an accelerator's is the same.
            if (Message.LParam == 0 && HIWORD(Message.WParam) <= 1 && menu_ != nullptr &&
                menu_->DispatchCommand(LOWORD(Message.WParam)))
                return;
            break;
        case WM_INITMENUPOPUP:
            if (menu_ != nullptr && menu_->DispatchPopup(reinterpret_cast<HMENU>(Message.WParam))) return;
            break;
        case WM_MENUSELECT:
            if (menu_ != nullptr) {
                std::string hint;
                if (!(HIWORD(Message.WParam) == 0xFFFF && Message.LParam == 0)) {
                    auto menu = reinterpret_cast<HMENU>(Message.LParam);
                    UINT item = LOWORD(Message.WParam);
                    TMenuItem* found = nullptr;
                    if ((HIWORD(Message.WParam) & MF_POPUP) != 0) {
                        HMENU sub = menu != nullptr ? GetSubMenu(menu, static_cast<int>(item)) : nullptr;
                        if (sub != nullptr) found = menu_->FindItem(reinterpret_cast<UINT_PTR>(sub), TFindItemKind::fkHandle);
                    } else {
                        found = menu_->FindItem(item, TFindItemKind::fkCommand);
                    }
                    if (found != nullptr) hint = GetLongHint(found->Hint());
                }
                Application()->SetHint(hint);
            }
            break;
        case WM_MEASUREITEM:
            if (menu_ != nullptr && menu_->MeasureItem(*reinterpret_cast<MEASUREITEMSTRUCT*>(Message.LParam))) {
                Message.Result = TRUE;
                return;
            }
            break;
        case WM_DRAWITEM:
            if (menu_ != nullptr && menu_->DrawItem(*reinterpret_cast<DRAWITEMSTRUCT*>(Message.LParam))) {
                Message.Result = TRUE;
                return;
            }
            break;
        case CM_ACTIONEXECUTE:
        case CM_ACTIONUPDATE: {
            auto* action = reinterpret_cast<TBasicAction*>(Message.LParam);
            auto process = Message.Msg == CM_ACTIONEXECUTE ? &ProcessExecute : &ProcessUpdate;
            bool handled = process(activeControl_, action) || process(this, action) ||
                           TraverseClients(this, [&](TControl* c) { return process(c, action); });
            Message.Result = handled ? 1 : 0;
            return;
        }
        default:
            break;
    }
    TWinControl::Dispatch(Message);
}

// ---- TCustomFrame ----------------------------------------------------------------------------

TCustomFrame::TCustomFrame(TComponent* AOwner) : TWinControl(AOwner) {
    SetControlStyle(csAcceptsControls | csCaptureMouse | csClickEvents | csSetCaption | csDoubleClicks);
    UpdateBoundsFields(0, 0, 320, 240);
}

void TCustomFrame::CreateParams(TCreateParams& Params) {
    TWinControl::CreateParams(Params);
    Params.Style |= WS_CLIPCHILDREN;
}

}  // namespace classlib
