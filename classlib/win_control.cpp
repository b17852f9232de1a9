// The windowed control of the class library: window creation, binding, children, painting and the
// message handlers of windows (its focus and keys are in win_control_keys.cpp, its dock site's
// part in docking.cpp).
#include "classlib/win_control.h"

#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "classlib/actions.h"
#include "classlib/control_internals.h"
#include "classlib/conversions.h"
#include "classlib/docking.h"
#include "classlib/exceptions.h"
#include "classlib/format.h"
#include "classlib/gdi_handles.h"
#include "classlib/forms.h"
#include "classlib/menus.h"
#include "classlib/threads.h"

namespace classlib {

using detail::gCaptureControl;
using detail::IsMouseMessage;
using detail::PointOf;

// ---- Windows bound to controls ------------------------------------------------------------------

namespace {

struct TBoundWindows {
    std::mutex Lock;
    std::unordered_map<HWND, TWinControl*> Controls;
};

// Left to the end of the process: windows may still be bound while static objects go.
TBoundWindows& BoundWindows() {
    static TBoundWindows* bound = new TBoundWindows;
    return *bound;
}

}  // namespace

TWinControl* detail::BoundControl(HWND Window) {
    if (ControlAtom == 0) return nullptr;
    {
        TBoundWindows& bound = BoundWindows();
        std::lock_guard<std::mutex> guard(bound.Lock);
        auto it = bound.Controls.find(Window);
        if (it != bound.Controls.end()) return it->second;
    }
    return static_cast<TWinControl*>(GetPropA(Window, MAKEINTATOM(ControlAtom)));
}

namespace {

// Forgets every window still bound to a control that goes (its window went without its last message).
void ForgetControl(TWinControl* Control) {
    TBoundWindows& bound = BoundWindows();
    std::lock_guard<std::mutex> guard(bound.Lock);
    for (auto it = bound.Controls.begin(); it != bound.Controls.end();) {
        it = it->second == Control ? bound.Controls.erase(it) : std::next(it);
    }
}

}  // namespace

void BindControlWindow(HWND Window, TWinControl* Control) {
    SetPropA(Window, MAKEINTATOM(ControlAtom), static_cast<HANDLE>(Control));
    SetPropA(Window, MAKEINTATOM(WindowAtom), static_cast<HANDLE>(Control));
    TBoundWindows& bound = BoundWindows();
    std::lock_guard<std::mutex> guard(bound.Lock);
    bound.Controls[Window] = Control;
}

void UnbindControlWindow(HWND Window) {
    RemovePropA(Window, MAKEINTATOM(ControlAtom));
    RemovePropA(Window, MAKEINTATOM(WindowAtom));
    TBoundWindows& bound = BoundWindows();
    std::lock_guard<std::mutex> guard(bound.Lock);
    bound.Controls.erase(Window);
}

// ---- TWinControl -----------------------------------------------------------------------------

LRESULT CALLBACK InitWndProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    TWinControl* control = CreationControl;
    if (control == nullptr) return DefWindowProcA(Window, Msg, WParam, LParam);
    CreationControl = nullptr;
    control->handle_ = Window;
    SetWindowLongPtrA(Window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWinControl::StdWndProc));
    if ((GetWindowLongPtrA(Window, GWL_STYLE) & WS_CHILD) != 0 && GetWindowLongPtrA(Window, GWLP_ID) == 0)
        SetWindowLongPtrA(Window, GWLP_ID, reinterpret_cast<LONG_PTR>(Window));
    BindControlWindow(Window, control);
    return TWinControl::StdWndProc(Window, Msg, WParam, LParam);
}

LRESULT CALLBACK TWinControl::StdWndProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    TWinControl* control = detail::BoundControl(Window);
    if (control == nullptr) return DefWindowProcA(Window, Msg, WParam, LParam);
    TMessage m{Msg, WParam, LParam, 0};
    control->MainWndProc(m);
    return m.Result;
}

void TWinControl::MainWndProc(TMessage& Message) {
    try {
        TWndMethod method = WindowProc();
        method(Message);
    } catch (...) {
        // Nothing crosses the window procedure: the application reports it.
        try {
            Application()->HandleException(this);
        } catch (...) {
        }
    }
}

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {
    brush_.SetColor(Color());
}

void TWinControl::GetChildren(const TGetChildProc& Proc, TComponent* Root) {
    for (TControl* c : std::vector<TControl*>(controls_))
        if (c->Owner() == Root) Proc(c);
}

TWinControl::~TWinControl() {
    Destroying();
    ReleaseDockClients();
    if (CreationControl == this) CreationControl = nullptr;
    if (handle_ != nullptr) {
        try {
            DestroyWindowHandle();
        } catch (...) {
        }
        handle_ = nullptr;
    }
    ForgetControl(this);
    while (!controls_.empty()) {
        TControl* c = controls_.back();
        controls_.pop_back();
        c->parent_ = nullptr;
        delete c;
    }
}

HWND TWinControl::Handle() {
    HandleNeeded();
    return handle_;
}

void TWinControl::HandleNeeded() {
    if (handle_ != nullptr) return;
    if (Parent() != nullptr) Parent()->HandleNeeded();
    CreateHandle();
}

void TWinControl::SetParentWindow(HWND Value) {
    CheckMainThread("TWinControl.SetParentWindow");
    if (parentWindow_ == Value) return;
    parentWindow_ = Value;
    if (handle_ != nullptr && Parent() == nullptr) RecreateWnd();
}

void TWinControl::CreateParams(TCreateParams& Params) {
    Params = TCreateParams{};
    Params.Caption = TextField();
    Params.Style = WS_CHILD | WS_CLIPSIBLINGS;
    if (HasStyle(csAcceptsControls)) {
        Params.Style |= WS_CLIPCHILDREN;
        Params.ExStyle |= WS_EX_CONTROLPARENT;
    }
    if (Visible() && Parent() != nullptr) Params.Style |= WS_VISIBLE;
    if (!Enabled()) Params.Style |= WS_DISABLED;
    if (tabStop_) Params.Style |= WS_TABSTOP;
    Params.X = Left();
    Params.Y = Top();
    Params.Width = Width();
    Params.Height = Height();
    Params.WndParent = Parent() != nullptr ? Parent()->WindowHandle() : parentWindow_;
    Params.WindowClass.style = CS_VREDRAW | CS_HREDRAW | (HasStyle(csDoubleClicks) ? CS_DBLCLKS : 0);
    Params.WindowClass.lpfnWndProc = &DefWindowProcA;
    Params.WindowClass.hCursor = ArrowCursor();
    Params.WindowClass.hbrBackground = nullptr;
    Params.WindowClass.hInstance = LibraryInstance();
    Params.WinClassName = WideToAnsi(ClassName());
}

void TWinControl::CreateSubClass(TCreateParams& Params, const char* ClassName) {
    if (ClassName == nullptr) return;
    HINSTANCE saved = Params.WindowClass.hInstance;
    WNDCLASSA wc{};
    if (!GetClassInfoA(LibraryInstance(), ClassName, &wc) && !GetClassInfoA(nullptr, ClassName, &wc))
        throw EInvalidOperation(Format(L"Window class %s not found", {ClassName}));
    Params.WindowClass = wc;
    Params.WindowClass.hInstance = saved;
    Params.WindowClass.style = (wc.style & ~static_cast<UINT>(CS_OWNDC | CS_CLASSDC | CS_PARENTDC | CS_GLOBALCLASS)) |
                               CS_VREDRAW | CS_HREDRAW;
}

void TWinControl::CreateWindowHandle(const TCreateParams& Params) {
    HWND h = CreateWindowExA(Params.ExStyle, Params.WinClassName.c_str(), Params.Caption.c_str(), Params.Style,
                             Params.X, Params.Y, Params.Width, Params.Height, Params.WndParent, nullptr,
                             Params.WindowClass.hInstance, Params.Param);
    handle_ = h;
}

void TWinControl::CreateWnd() {
    CheckMainThread("TWinControl.CreateWnd");
    InitControlAtoms();
    TCreateParams params;
    CreateParams(params);
    if ((params.Style & WS_CHILD) != 0 && params.WndParent == nullptr)
        throw EInvalidOperation(Format(L"Control '%s' has no parent window", {Name()}));
    defWndProc_ = params.WindowClass.lpfnWndProc;
    WNDCLASSA registered{};
    bool isRegistered = GetClassInfoA(params.WindowClass.hInstance, params.WinClassName.c_str(), &registered) != 0;
    if (!isRegistered || registered.lpfnWndProc != &InitWndProc) {
        if (isRegistered) UnregisterClassA(params.WinClassName.c_str(), params.WindowClass.hInstance);
        params.WindowClass.lpfnWndProc = &InitWndProc;
        params.WindowClass.lpszClassName = params.WinClassName.c_str();
        if (RegisterClassA(&params.WindowClass) == 0) RaiseLastOSError();
    }
    CreationControl = this;
    try {
        CreateWindowHandle(params);
    } catch (...) {
        CreationControl = nullptr;
        throw;
    }
    CreationControl = nullptr;
    if (handle_ == nullptr) RaiseLastOSError();
    UpdateBounds();
    Perform(WM_SETFONT, reinterpret_cast<WPARAM>(Font()->Handle()), 0);
}

void TWinControl::CreateHandle() {
    if (handle_ != nullptr) return;
    CreateWnd();
    // A window made later than it would have been (its control was hidden) takes the place the
    // z-order asked for meanwhile, or else the one it would have had: a new child window goes
    // below its siblings, so above those that come after it in the list.
    const std::uint8_t pending = std::exchange(pendingZOrder_, std::uint8_t{0});
    if (Parent() != nullptr && pending != 0) {
        SetWindowPos(handle_, pending == 1 ? HWND_TOP : HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    } else if (Parent() != nullptr) {
        const auto& siblings = Parent()->controls_;
        for (auto it = std::find(siblings.begin(), siblings.end(), this); it != siblings.end(); ++it) {
            auto* w = *it != this ? dynamic_cast<TWinControl*>(*it) : nullptr;
            if (w == nullptr || w->handle_ == nullptr) continue;
            HWND above = GetWindow(w->handle_, GW_HWNDPREV);
            if (above != handle_) SetWindowPos(handle_, above != nullptr ? above : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            break;
        }
    }
    // Hidden children get their windows when they are shown or asked for theirs: a window is a
    // round trip to the system for every message it is sent, and most panels start hidden.
    for (TControl* c : std::vector<TControl*>(controls_))
        if (auto* w = dynamic_cast<TWinControl*>(c); w != nullptr && w->Visible()) w->CreateHandle();
    AlignControls();
}

void TWinControl::DestroyHandle() {
    CheckMainThread("TWinControl.DestroyHandle");
    if (handle_ == nullptr) return;
    for (TControl* c : std::vector<TControl*>(controls_))
        if (auto* w = dynamic_cast<TWinControl*>(c)) w->DestroyHandle();
    DestroyWnd();
}

void TWinControl::DestroyWnd() {
    // The text lives in the window; keep it for the next one.
    int len = GetTextLen();
    SetTextField(len < 1 ? std::string() : GetText());
    DestroyWindowHandle();
}

void TWinControl::DestroyWindowHandle() {
    SetControlState(ControlState() | csDestroyingHandle);
    BOOL ok = handle_ != nullptr ? DestroyWindow(handle_) : TRUE;
    DWORD error = ok ? 0 : GetLastError();
    SetControlState(ControlState() & ~static_cast<std::uint32_t>(csDestroyingHandle));
    handle_ = nullptr;
    if (!ok) RaiseLastOSError(error);
}

void TWinControl::RecreateWnd() {
    CheckMainThread("TWinControl.RecreateWnd");
    if (handle_ == nullptr) return;
    bool wasFocused = Focused();
    bool wasVisible = IsWindowVisible(handle_) != 0;
    SetControlState(ControlState() | csRecreating);
    try {
        DestroyHandle();
        CreateHandle();
    } catch (...) {
        SetControlState(ControlState() & ~static_cast<std::uint32_t>(csRecreating));
        throw;
    }
    SetControlState(ControlState() & ~static_cast<std::uint32_t>(csRecreating));
    if (wasVisible && !IsWindowVisible(handle_)) ShowWindow(handle_, Parent() != nullptr ? SW_SHOWNA : SW_SHOW);
    if (wasFocused) ::SetFocus(handle_);
}

void TWinControl::UpdateBounds() {
    if (handle_ == nullptr || IsIconic(handle_)) return;
    RECT r;
    if (!GetWindowRect(handle_, &r)) return;
    if ((GetWindowLongPtrA(handle_, GWL_STYLE) & WS_CHILD) != 0) {
        HWND parent = GetParent(handle_);
        if (parent != nullptr) MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    }
    UpdateBoundsFields(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

TControl* TWinControl::Controls(int Index) const {
    if (Index < 0 || Index >= ControlCount())
        throw EListError(Format(L"List index out of bounds (%d)", {Index}));
    return controls_[static_cast<size_t>(Index)];
}

void TWinControl::InsertControl(TControl* AControl) {
    controls_.push_back(AControl);
    AControl->parent_ = this;
    if (AControl->ParentFont()) AControl->SetParentFont(true);
    if (AControl->ParentColor()) AControl->SetParentColor(true);
    if (AControl->ParentShowHint()) AControl->SetParentShowHint(true);
    if (auto* w = dynamic_cast<TWinControl*>(AControl)) {
        if (handle_ != nullptr && w->Visible()) w->CreateHandle();
    } else {
        AControl->Invalidate();
    }
    Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(AControl), 1);
    AControl->RequestAlign();
}

void TWinControl::RemoveControl(TControl* AControl) {
    auto it = std::find(controls_.begin(), controls_.end(), AControl);
    if (it == controls_.end()) return;
    if (auto* w = dynamic_cast<TWinControl*>(AControl)) {
        if (w->HandleAllocated() && w->Focused()) ::SetFocus(handle_);
        w->DestroyHandle();
    } else {
        AControl->InvalidateControl(AControl->Visible(), false);
    }
    controls_.erase(std::find(controls_.begin(), controls_.end(), AControl));
    AControl->parent_ = nullptr;
    if (!HasState(csDestroying)) {
        Perform(CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(AControl), 0);
        AlignControls();
    }
}

bool TWinControl::ContainsControl(TControl* Control) const {
    for (TControl* c = Control; c != nullptr; c = c->Parent())
        if (c == this) return true;
    return false;
}

TControl* TWinControl::ControlAtPos(POINT Pos, bool AllowDisabled, bool AllowWinControls) {
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
        TControl* c = *it;
        if (!AllowWinControls && dynamic_cast<TWinControl*>(c) != nullptr) continue;
        if (!c->Visible() || (!c->Enabled() && !AllowDisabled)) continue;
        RECT r = c->BoundsRect();
        if (PtInRect(&r, Pos)) return c;
    }
    return nullptr;
}

void TWinControl::Broadcast(TMessage& Message) {
    for (TControl* c : std::vector<TControl*>(controls_)) {
        TWndMethod method = c->WindowProc();
        method(Message);
        if (Message.Result != 0) return;
    }
}

void TWinControl::NotifyControls(UINT Msg) {
    TMessage m{Msg, 0, 0, 0};
    Broadcast(m);
}

void TWinControl::EnableAlign() {
    if (alignDisabled_ > 0) --alignDisabled_;
    if (alignDisabled_ == 0) AlignControls();
}

void TWinControl::AlignControls() {
    if (alignDisabled_ > 0) return;
    bool any = false;
    for (TControl* c : controls_)
        if (c->Align() != TAlign::alNone && c->Visible()) any = true;
    if (!any) {
        if (handle_ != nullptr) AlignClientArea(ClientRect());
        return;
    }
    ++alignDisabled_;
    RECT r{};
    try {
        r = ClientRect();
        for (TAlign a : {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight, TAlign::alClient}) {
            for (TControl* c : std::vector<TControl*>(controls_)) {
                if (c->Align() != a || !c->Visible()) continue;
                int w = r.right - r.left, h = r.bottom - r.top;
                switch (a) {
                    case TAlign::alTop:
                        c->SetBounds(r.left, r.top, w, c->Height());
                        r.top += c->Height();
                        break;
                    case TAlign::alBottom:
                        c->SetBounds(r.left, r.bottom - c->Height(), w, c->Height());
                        r.bottom -= c->Height();
                        break;
                    case TAlign::alLeft:
                        c->SetBounds(r.left, r.top, c->Width(), h);
                        r.left += c->Width();
                        break;
                    case TAlign::alRight:
                        c->SetBounds(r.right - c->Width(), r.top, c->Width(), h);
                        r.right -= c->Width();
                        break;
                    default:
                        c->SetBounds(r.left, r.top, std::max(0, w), std::max(0, h));
                        break;
                }
            }
        }
    } catch (...) {
        --alignDisabled_;
        throw;
    }
    --alignDisabled_;
    if (handle_ != nullptr) AlignClientArea(r);
}

void TWinControl::SetCtl3D(bool Value) {
    if (ctl3D_ == Value) return;
    ctl3D_ = Value;
    Perform(CM_CTL3DCHANGED, 0, 0);
}

void TWinControl::SetParentBackground(bool Value) {
    std::uint32_t style = ControlStyle();
    SetControlStyle(Value ? style | csParentBackground : style & ~static_cast<std::uint32_t>(csParentBackground));
    Invalidate();
}

bool TWinControl::Showing() const { return handle_ != nullptr && IsWindowVisible(handle_) != 0; }

void TWinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    CheckMainThread("TWinControl.SetBounds");
    DoConstrainedResize(AWidth, AHeight);
    if (ALeft == Left() && ATop == Top() && AWidth == Width() && AHeight == Height()) return;
    if (handle_ != nullptr && !IsIconic(handle_)) {
        // The window reports its new bounds back (WM_WINDOWPOSCHANGED, WM_SIZE).
        SetWindowPos(handle_, nullptr, ALeft, ATop, AWidth, AHeight, SWP_NOZORDER | SWP_NOACTIVATE);
        UpdateBounds();
    } else {
        bool resized = AWidth != Width() || AHeight != Height();
        UpdateBoundsFields(ALeft, ATop, AWidth, AHeight);
        if (resized) {
            AlignControls();
            Resize();
        }
    }
    RequestAlign();
}

RECT TWinControl::ClientRect() {
    RECT r{0, 0, 0, 0};
    if (handle_ != nullptr) {
        GetClientRect(handle_, &r);
        return r;
    }
    // Without window: the size less the frame its creation parameters give it.
    TCreateParams params;
    CreateParams(params);
    RECT frame{0, 0, 0, 0};
    AdjustWindowRectEx(&frame, params.Style, FALSE, params.ExStyle);
    r.right = std::max<LONG>(0, Width() - (frame.right - frame.left));
    r.bottom = std::max<LONG>(0, Height() - (frame.bottom - frame.top));
    return r;
}

POINT TWinControl::ClientOrigin() {
    if (handle_ == nullptr) return TControl::ClientOrigin();
    POINT p{0, 0};
    ::ClientToScreen(handle_, &p);
    return p;
}

void TWinControl::SetVisible(bool Value) {
    if (Visible() == Value) return;
    TControl::SetVisible(Value);
    if (!Value) RemoveFocus();
    UpdateShowing();
}

void TWinControl::UpdateShowing() {
    if (Visible()) {
        if (Parent() == nullptr || Parent()->HandleAllocated()) {
            HandleNeeded();
            if (Parent() != nullptr)
                SetWindowPos(handle_, nullptr, 0, 0, 0, 0,
                             SWP_SHOWWINDOW | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER);
            else
                ShowWindow(handle_, SW_SHOW);
            ShowingChanged();
        }
    } else if (handle_ != nullptr) {
        ShowWindow(handle_, SW_HIDE);
        ShowingChanged();
    }
}

void TWinControl::ShowingChanged() {}

void TWinControl::SetEnabled(bool Value) {
    if (Enabled() == Value) return;
    TControl::SetEnabled(Value);
    if (!Value) RemoveFocus();
    if (handle_ != nullptr) EnableWindow(handle_, Value ? TRUE : FALSE);
}

void TWinControl::Invalidate() {
    // A window off the screen is painted whole when it is shown: marking it meanwhile is only a
    // trip to the window server (many while a form is built).
    if (handle_ != nullptr && IsWindowVisible(handle_)) InvalidateRect(handle_, nullptr, HasStyle(csOpaque) ? FALSE : TRUE);
}

void TWinControl::Update() {
    if (handle_ != nullptr) UpdateWindow(handle_);
}

void TWinControl::SetZOrder(bool TopMost) {
    if (Parent() != nullptr) {
        auto& list = Parent()->controls_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        if (TopMost)
            list.push_back(this);
        else
            list.insert(list.begin(), this);
    }
    if (handle_ != nullptr)
        SetWindowPos(handle_, TopMost ? HWND_TOP : HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    else
        pendingZOrder_ = TopMost ? 1 : 2;
}

TControlActionLinkClass TWinControl::GetActionLinkClass() const { return &TWinControlActionLink::ClassRef(); }

void TWinControl::WndProc(TMessage& Message) {
    if (IsMouseMessage(Message.Msg) && Message.Msg != WM_MOUSEWHEEL) {
        // Mouse messages over a graphic child (or held by one) are the child's.
        TControl* target = nullptr;
        POINT p = PointOf(Message.LParam);
        if (gCaptureControl != nullptr && gCaptureControl->Parent() == this)
            target = gCaptureControl;
        else if (GetCapture() == nullptr || GetCapture() == handle_)
            target = ControlAtPos(p, false);
        if (target != nullptr) {
            Message.Result = target->Perform(Message.Msg, Message.WParam,
                                             MAKELPARAM(p.x - target->Left(), p.y - target->Top()));
            return;
        }
    }
    TControl::WndProc(Message);
}

void TWinControl::DoControlMsg(HWND ControlHandle, TMessage& Message, UINT Reflected) {
    TWinControl* c = FindControl(ControlHandle);
    if (c != nullptr && c != this)
        Message.Result = c->Perform(Reflected, Message.WParam, Message.LParam);
    else
        DefaultHandler(Message);
}

namespace {
// The base's own WM_PRINTCLIENT handling: the window's class paints itself into the DC.
void DefaultPrintClient(TWinControl* Control, TMessage& Message) { Control->DefaultHandler(Message); }
TWinControlMessageHandler gPrintClientHandler = &DefaultPrintClient;
}  // namespace

TWinControlMessageHandler FindWinControlHandler(UINT Msg) {
    return Msg == WM_PRINTCLIENT ? gPrintClientHandler : nullptr;
}

TWinControlMessageHandler ReplaceWinControlHandler(UINT Msg, TWinControlMessageHandler Handler) {
    if (Msg != WM_PRINTCLIENT || Handler == nullptr) return nullptr;
    return std::exchange(gPrintClientHandler, Handler);
}

void TWinControl::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
        case WM_PRINTCLIENT:
            gPrintClientHandler(this, Message);
            return;
        case WM_CONTEXTMENU: {
            // The control under the point (a graphic child too), or this one for the menu key;
            // the first one up the parents that has an automatic pop-up menu shows it.
            POINT pos{GET_X_LPARAM(Message.LParam), GET_Y_LPARAM(Message.LParam)};
            bool byKey = pos.x == -1 && pos.y == -1;
            TControl* control = this;
            if (!byKey)
                if (TControl* child = ControlAtPos(ScreenToClient(pos), false)) control = child;
            if (byKey) pos = ClientToScreen(POINT{0, 0});
            for (TControl* c = control; c != nullptr; c = c->Parent()) {
                TPopupMenu* menu = c->PopupMenu();
                if (menu != nullptr && menu->AutoPopup()) {
                    menu->SetPopupComponent(c);
                    menu->Popup(pos.x, pos.y);
                    Message.Result = 0;
                    return;
                }
            }
            DefaultHandler(Message);
            return;
        }
        case WM_PAINT: {
            bool hasGraphic = false;
            for (TControl* c : controls_)
                if (dynamic_cast<TWinControl*>(c) == nullptr) hasGraphic = true;
            if (hasGraphic || HasControlState(csCustomPaint))
                PaintHandler(Message);
            else
                DefaultHandler(Message);
            return;
        }
        case WM_ERASEBKGND: {
            RECT r = ClientRect();
            FillRect(reinterpret_cast<HDC>(Message.WParam), &r, brush_.Handle());
            Message.Result = 1;
            return;
        }
        case WM_COMMAND:
        case WM_HSCROLL:
        case WM_VSCROLL:
        case WM_CTLCOLORMSGBOX:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSCROLLBAR:
        case WM_CTLCOLORSTATIC:
        case WM_CHARTOITEM:
        case WM_VKEYTOITEM:
            if (Message.LParam != 0)
                DoControlMsg(reinterpret_cast<HWND>(Message.LParam), Message, CN_BASE + Message.Msg);
            else
                DefaultHandler(Message);
            return;
        case WM_NOTIFY:
            DoControlMsg(reinterpret_cast<NMHDR*>(Message.LParam)->hwndFrom, Message, CN_NOTIFY);
            return;
        case WM_DRAWITEM: {
            auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(Message.LParam);
            if (dis->CtlType != ODT_MENU)
                DoControlMsg(dis->hwndItem, Message, CN_DRAWITEM);
            else
                DefaultHandler(Message);
            return;
        }
        case WM_MEASUREITEM: {
            auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(Message.LParam);
            if (mis->CtlType != ODT_MENU && handle_ != nullptr)
                DoControlMsg(GetDlgItem(handle_, static_cast<int>(mis->CtlID)), Message, CN_MEASUREITEM);
            else
                DefaultHandler(Message);
            return;
        }
        case WM_DELETEITEM:
            DoControlMsg(reinterpret_cast<DELETEITEMSTRUCT*>(Message.LParam)->hwndItem, Message, CN_DELETEITEM);
            return;
        case WM_COMPAREITEM:
            DoControlMsg(reinterpret_cast<COMPAREITEMSTRUCT*>(Message.LParam)->hwndItem, Message, CN_COMPAREITEM);
            return;
        case CN_CTLCOLORMSGBOX:
        case CN_CTLCOLOREDIT:
        case CN_CTLCOLORLISTBOX:
        case CN_CTLCOLORBTN:
        case CN_CTLCOLORDLG:
        case CN_CTLCOLORSCROLLBAR:
        case CN_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(Message.WParam);
            SetTextColor(dc, ColorToRGB(Font()->Color()));
            SetBkColor(dc, ColorToRGB(brush_.Color()));
            Message.Result = reinterpret_cast<LRESULT>(brush_.Handle());
            return;
        }
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_KEYUP:
        case WM_SYSKEYUP:
        case WM_CHAR:
        case WM_SYSCHAR:
        case CM_DIALOGCHAR:
        case CM_DIALOGKEY:
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
            FocusKeyMessage(Message);
            return;
        case WM_SIZE:
            UpdateBounds();
            DefaultHandler(Message);
            AlignControls();
            Resize();
            return;
        case WM_WINDOWPOSCHANGING: {
            // A size the window is given from outside (the user's frame, the system) keeps to
            // the constraints as well.
            auto* pos = reinterpret_cast<WINDOWPOS*>(Message.LParam);
            if (pos != nullptr && (pos->flags & SWP_NOSIZE) == 0 && !HasState(csReading) && !HasState(csDestroying))
                DoConstrainedResize(pos->cx, pos->cy);
            DefaultHandler(Message);
            return;
        }
        case WM_MOVE:
        case WM_WINDOWPOSCHANGED:
            UpdateBounds();
            DefaultHandler(Message);
            return;
        case WM_SETCURSOR: {
            TCursor c = ScreenExists() ? Screen()->Cursor() : crDefault;
            if (c == crDefault && LOWORD(Message.LParam) == HTCLIENT && reinterpret_cast<HWND>(Message.WParam) == handle_)
                c = Cursor();
            if (c != crDefault) {
                ::SetCursor(CursorHandle(c));
                Message.Result = TRUE;
                return;
            }
            DefaultHandler(Message);
            return;
        }
        case WM_NCDESTROY:
            DefaultHandler(Message);
            if (handle_ != nullptr) UnbindControlWindow(handle_);
            handle_ = nullptr;
            return;
        case CM_RECREATEWND:
            RecreateWnd();
            return;
        case CM_DOCKCLIENT:
        case CM_UNDOCKCLIENT:
            DockSiteMessage(Message);
            return;
        case CM_COLORCHANGED:
            brush_.SetColor(Color());
            NotifyControls(CM_PARENTCOLORCHANGED);
            Invalidate();
            return;
        case CM_FONTCHANGED:
            if (handle_ != nullptr) DefaultHandler(Message);
            if (handle_ != nullptr) Perform(WM_SETFONT, reinterpret_cast<WPARAM>(Font()->Handle()), TRUE);
            NotifyControls(CM_PARENTFONTCHANGED);
            return;
        case CM_SHOWHINTCHANGED:
            NotifyControls(CM_PARENTSHOWHINTCHANGED);
            return;
        default:
            TControl::Dispatch(Message);
    }
}

void TWinControl::DefaultHandler(TMessage& Message) {
    if (handle_ != nullptr) {
        WNDPROC proc = defWndProc_ != nullptr ? defWndProc_ : &DefWindowProcA;
        Message.Result = CallWindowProcA(proc, handle_, Message.Msg, Message.WParam, Message.LParam);
        return;
    }
    TControl::DefaultHandler(Message);
}

void TWinControl::PaintHandler(TMessage& Message) {
    HDC dc = reinterpret_cast<HDC>(Message.WParam);
    PAINTSTRUCT ps{};
    const bool own = dc == nullptr;
    if (own) dc = BeginPaint(handle_, &ps);
    try {
        PaintWindow(dc);
        PaintControls(dc, nullptr);
    } catch (...) {
        if (own) EndPaint(handle_, &ps);
        throw;
    }
    if (own) EndPaint(handle_, &ps);
    Message.Result = 0;
}

void TWinControl::PaintWindow(HDC DC) {
    TMessage m{WM_PAINT, reinterpret_cast<WPARAM>(DC), 0, 0};
    DefaultHandler(m);
}

void TWinControl::PaintControls(HDC DC, TControl* First) {
    bool started = First == nullptr;
    for (TControl* c : std::vector<TControl*>(controls_)) {
        if (c == First) started = true;
        if (!started || dynamic_cast<TWinControl*>(c) != nullptr || !c->Visible()) continue;
        RECT r = c->BoundsRect();
        if (!RectVisible(DC, &r)) continue;
        TSavedDC saved(DC);
        OffsetViewportOrgEx(DC, c->Left(), c->Top(), nullptr);
        IntersectClipRect(DC, 0, 0, c->Width(), c->Height());
        c->Perform(WM_PAINT, reinterpret_cast<WPARAM>(DC), 0);
    }
}

}  // namespace classlib
