// The class library's window core: controls, windowed controls and the hint window.
#include "classlib/controls.h"

#include <windowsx.h>

#include <algorithm>
#include <cstring>

#include "classlib/actions.h"
#include "classlib/conversions.h"
#include "classlib/exceptions.h"
#include "classlib/format.h"
#include "classlib/forms.h"

namespace classlib {

TWinControl* CreationControl = nullptr;
ATOM WindowAtom = 0;
ATOM ControlAtom = 0;
std::string WindowAtomString;
std::string ControlAtomString;

namespace {

// The graphic control that holds the mouse (its parent window has the system capture).
TControl* gCaptureControl = nullptr;

std::string Hex8(std::uint64_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    do {
        s.insert(s.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    if (s.size() < 8) s.insert(0, 8 - s.size(), '0');
    return s;
}

bool IsMouseMessage(UINT msg) { return msg >= WM_MOUSEFIRST && msg <= WM_MOUSELAST; }

POINT PointOf(LPARAM l) { return POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)}; }

HCURSOR CursorHandle(TCursor c) {
    switch (c) {
        case crHourGlass: return LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT));
        case crHandPoint: return LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND));
        default: return LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    }
}

}  // namespace

HINSTANCE LibraryInstance() {
    static const char marker = 0;
    static HINSTANCE instance = [] {
        HMODULE h = nullptr;
        if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                &marker, &h))
            h = GetModuleHandleA(nullptr);
        return static_cast<HINSTANCE>(h);
    }();
    return instance;
}

void InitControlAtoms() {
    if (WindowAtom == 0) {
        WindowAtomString = "Vortel" + Hex8(GetCurrentProcessId());
        WindowAtom = GlobalAddAtomA(WindowAtomString.c_str());
        if (WindowAtom == 0) RaiseLastOSError();
    }
    if (ControlAtom == 0) {
        ControlAtomString = "ControlOfs" + Hex8(reinterpret_cast<std::uintptr_t>(LibraryInstance())) +
                            Hex8(GetCurrentThreadId());
        ControlAtom = GlobalAddAtomA(ControlAtomString.c_str());
        if (ControlAtom == 0) RaiseLastOSError();
    }
}

TWinControl* FindControl(HWND Window) {
    if (Window == nullptr || ControlAtom == 0) return nullptr;
    DWORD pid = 0;
    GetWindowThreadProcessId(Window, &pid);
    if (pid != GetCurrentProcessId()) return nullptr;
    return static_cast<TWinControl*>(GetPropA(Window, MAKEINTATOM(ControlAtom)));
}

TControl* FindDragTarget(POINT Pos, bool AllowDisabled) {
    HWND w = WindowFromPoint(Pos);
    TWinControl* c = nullptr;
    while (w != nullptr && (c = FindControl(w)) == nullptr) w = GetParent(w);
    if (c == nullptr) return nullptr;
    TControl* inner = c->ControlAtPos(c->ScreenToClient(Pos), AllowDisabled);
    return inner != nullptr ? inner : c;
}

TShiftState KeysToShiftState(WPARAM Keys) {
    TShiftState s = 0;
    if (Keys & MK_SHIFT) s |= ssShift;
    if (Keys & MK_CONTROL) s |= ssCtrl;
    if (Keys & MK_LBUTTON) s |= ssLeft;
    if (Keys & MK_RBUTTON) s |= ssRight;
    if (Keys & MK_MBUTTON) s |= ssMiddle;
    if (GetKeyState(VK_MENU) < 0) s |= ssAlt;
    return s;
}

TShiftState KeyDataToShiftState(LPARAM KeyData) {
    TShiftState s = 0;
    if (GetKeyState(VK_SHIFT) < 0) s |= ssShift;
    if (GetKeyState(VK_CONTROL) < 0) s |= ssCtrl;
    if (KeyData & (1 << 29)) s |= ssAlt;
    return s;
}

std::string GetShortHint(const std::string& Hint) {
    size_t p = Hint.find('|');
    return p == std::string::npos ? Hint : Hint.substr(0, p);
}

std::string GetLongHint(const std::string& Hint) {
    size_t p = Hint.find('|');
    return p == std::string::npos ? Hint : Hint.substr(p + 1);
}

// ---- TControl --------------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner) : TComponent(AOwner), font_(std::make_unique<TFont>()) {
    windowProc_ = [this](TMessage& m) { WndProc(m); };
    windowProcId_ = this;
    font_->OnChange = [this](TObject* sender) { FontChanged(sender); };
}

TControl::~TControl() {
    Destroying();
    if (gCaptureControl == this) gCaptureControl = nullptr;
    ControlDestroyed(this);
    if (parent_ != nullptr) parent_->RemoveControl(this);
    actionLink_.reset();
    font_->OnChange = nullptr;
}

TWndMethod TControl::OwnWndProc() {
    return [this](TMessage& m) { WndProc(m); };
}

void TControl::SetWindowProc(TWndMethod Method, const void* Id) {
    if (Method) {
        windowProc_ = std::move(Method);
        windowProcId_ = Id;
    } else {
        windowProc_ = OwnWndProc();
        windowProcId_ = this;
    }
}

LRESULT TControl::Perform(UINT Msg, WPARAM WParam, LPARAM LParam) {
    TMessage m{Msg, WParam, LParam, 0};
    // A copy: the method may replace WindowProc while it runs.
    TWndMethod method = windowProc_;
    method(m);
    return m.Result;
}

void TControl::SetParent(TWinControl* AParent) {
    if (parent_ == AParent) return;
    if (AParent == this) throw EInvalidOperation(L"A control cannot have itself as its parent");
    if (parent_ != nullptr) parent_->RemoveControl(this);
    if (AParent != nullptr) AParent->InsertControl(this);
}

void TControl::UpdateBoundsFields(int ALeft, int ATop, int AWidth, int AHeight) {
    left_ = ALeft;
    top_ = ATop;
    width_ = AWidth;
    height_ = AHeight;
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    if (ALeft == left_ && ATop == top_ && AWidth == width_ && AHeight == height_) return;
    bool resized = AWidth != width_ || AHeight != height_;
    InvalidateControl(visible_, false);
    UpdateBoundsFields(ALeft, ATop, AWidth, AHeight);
    InvalidateControl(visible_, (controlStyle_ & csOpaque) != 0);
    RequestAlign();
    if (resized) Resize();
}

RECT TControl::ClientRect() { return RECT{0, 0, width_, height_}; }

void TControl::SetClientWidth(int Value) { SetWidth(width_ - ClientWidth() + Value); }
void TControl::SetClientHeight(int Value) { SetHeight(height_ - ClientHeight() + Value); }

POINT TControl::ClientOrigin() {
    POINT p{left_, top_};
    if (parent_ != nullptr) {
        POINT o = parent_->ClientOrigin();
        p.x += o.x;
        p.y += o.y;
    }
    return p;
}

POINT TControl::ClientToScreen(POINT Point) {
    POINT o = ClientOrigin();
    return POINT{Point.x + o.x, Point.y + o.y};
}

POINT TControl::ScreenToClient(POINT Point) {
    POINT o = ClientOrigin();
    return POINT{Point.x - o.x, Point.y - o.y};
}

void TControl::SetAlign(TAlign Value) {
    if (align_ == Value) return;
    align_ = Value;
    RequestAlign();
}

void TControl::RequestAlign() {
    if (parent_ != nullptr) parent_->AlignControls();
}

void TControl::SetVisible(bool Value) {
    if (visible_ == Value) return;
    VisibleChanging();
    visible_ = Value;
    Perform(CM_VISIBLECHANGED, Value ? 1 : 0, 0);
    InvalidateControl(true, false);
    RequestAlign();
}

void TControl::Show() {
    SetVisible(true);
}

bool TControl::Showing() const { return visible_ && parent_ != nullptr && parent_->Showing(); }

void TControl::SetEnabled(bool Value) {
    if (enabled_ == Value) return;
    enabled_ = Value;
    Perform(CM_ENABLEDCHANGED, 0, 0);
    Invalidate();
}

int TControl::GetTextLen() {
    LRESULT n = Perform(WM_GETTEXTLENGTH, 0, 0);
    return n > 0 ? static_cast<int>(n) : 0;
}

std::string TControl::GetText() {
    int len = GetTextLen();
    std::string buf(static_cast<size_t>(len) + 1, '\0');
    LRESULT n = Perform(WM_GETTEXT, static_cast<WPARAM>(len + 1), reinterpret_cast<LPARAM>(buf.data()));
    // The count the window answers, never past the buffer or its terminator.
    size_t count = n > 0 ? std::min(static_cast<size_t>(n), static_cast<size_t>(len)) : 0;
    buf.resize(strnlen(buf.data(), count));
    return buf;
}

void TControl::SetText(const std::string& Value) {
    if (GetText() == Value) return;
    Perform(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Value.c_str()));
    Perform(CM_TEXTCHANGED, 0, 0);
}

void TControl::SetShowHint(bool Value) {
    parentShowHint_ = false;
    if (showHint_ == Value) return;
    showHint_ = Value;
    Perform(CM_SHOWHINTCHANGED, 0, 0);
}

void TControl::SetParentShowHint(bool Value) {
    parentShowHint_ = Value;
    if (Value && parent_ != nullptr) showHint_ = parent_->ShowHint();
}

void TControl::SetName(const std::wstring& NewName) {
    bool changeText = (controlStyle_ & csSetCaption) != 0 && !HasState(csLoading) && NewName != Name() &&
                      GetText() == WideToAnsi(Name());
    TComponent::SetName(NewName);
    if (changeText) SetText(WideToAnsi(NewName));
}

void TControl::FontChanged(TObject*) {
    if (!HasControlState(csReadingState)) parentFont_ = false;
    Perform(CM_FONTCHANGED, 0, 0);
}

void TControl::SetParentFont(bool Value) {
    parentFont_ = Value;
    if (Value && parent_ != nullptr) {
        // Taking the parent's font is not a change of our own font.
        controlState_ |= csReadingState;
        font_->Assign(parent_->Font());
        controlState_ &= ~static_cast<std::uint32_t>(csReadingState);
    }
}

void TControl::SetColor(TColor Value) {
    parentColor_ = false;
    if (color_ == Value) return;
    color_ = Value;
    Perform(CM_COLORCHANGED, 0, 0);
}

void TControl::SetParentColor(bool Value) {
    parentColor_ = Value;
    if (Value && parent_ != nullptr && color_ != parent_->Color()) {
        color_ = parent_->Color();
        Perform(CM_COLORCHANGED, 0, 0);
    }
}

void TControl::SetBiDiMode(TBiDiMode Value) {
    if (biDiMode_ == Value) return;
    biDiMode_ = Value;
    Perform(CM_BIDIMODECHANGED, 0, 0);
}

bool TControl::UseRightToLeftReading() const {
    return biDiMode_ != TBiDiMode::bdLeftToRight && GetSystemMetrics(SM_MIDEASTENABLED) != 0;
}

bool TControl::UseRightToLeftAlignment() const {
    return biDiMode_ == TBiDiMode::bdRightToLeft && GetSystemMetrics(SM_MIDEASTENABLED) != 0;
}

UINT TControl::DrawTextBiDiModeFlagsReadingOnly() const { return UseRightToLeftReading() ? DT_RTLREADING : 0; }

UINT TControl::DrawTextBiDiModeFlags(UINT Flags) const {
    if (UseRightToLeftAlignment()) {
        if ((Flags & DT_RIGHT) == DT_RIGHT)
            Flags &= ~static_cast<UINT>(DT_RIGHT);
        else if ((Flags & DT_CENTER) == 0)
            Flags |= DT_RIGHT;
    }
    return Flags | DrawTextBiDiModeFlagsReadingOnly();
}

TBasicAction* TControl::Action() const { return actionLink_ ? actionLink_->Action() : nullptr; }

void TControl::SetAction(TBasicAction* Value) {
    if (Value == nullptr) {
        actionLink_.reset();
        return;
    }
    if (actionLink_ && actionLink_->Action() == Value) return;
    if (!actionLink_) actionLink_.reset(GetActionLinkClass()->Create(this));
    actionLink_->SetAction(Value);
    actionLink_->OnChange = [this](TObject* sender) { DoActionChange(sender); };
    ActionChange(Value, HasState(csLoading));
    Value->FreeNotification(this);
}

void TControl::DoActionChange(TObject* Sender) {
    if (Sender != nullptr && Sender == Action()) ActionChange(Sender, false);
}

void TControl::ActionChange(TObject* Sender, bool CheckDefaults) {
    auto* action = dynamic_cast<TCustomAction*>(Sender);
    if (action == nullptr) return;
    if (!CheckDefaults || GetText().empty() || GetText() == WideToAnsi(Name())) SetText(action->Caption());
    if (!CheckDefaults || enabled_) SetEnabled(action->Enabled());
    if (!CheckDefaults || helpContext_ == 0) SetHelpContext(action->HelpContext());
    if (!CheckDefaults || hint_.empty()) SetHint(action->Hint());
    if (!CheckDefaults || visible_) SetVisible(action->Visible());
}

void TControl::InitiateAction() {
    if (actionLink_) actionLink_->Update();
}

bool TControl::ExecuteAction(TBasicAction* Action) {
    if (Action != nullptr && Action->HandlesTarget(this)) {
        Action->ExecuteTarget(this);
        return true;
    }
    return false;
}

bool TControl::UpdateAction(TBasicAction* Action) {
    if (Action != nullptr && Action->HandlesTarget(this)) {
        Action->UpdateTarget(this);
        return true;
    }
    return false;
}

void TControl::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == TOperation::opRemove && actionLink_ && AComponent != nullptr &&
        AComponent == actionLink_->Action())
        actionLink_.reset();
}

TControlActionLinkClass TControl::GetActionLinkClass() const { return &TControlActionLink::ClassRef(); }

void TControl::Click() {
    // An own OnClick wins over the action; without one the action's OnExecute stands for it.
    if (OnClick)
        OnClick(this);
    else if (actionLink_ && actionLink_->Action() != nullptr)
        actionLink_->Execute(this);
}

void TControl::DblClick() {
    if (OnDblClick) OnDblClick(this);
}

void TControl::Resize() {
    if (OnResize) OnResize(this);
}

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

void TControl::MouseMove(TShiftState Shift, int X, int Y) {
    if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TControl::InvalidateControl(bool IsVisible, bool IsOpaque) {
    if (!IsVisible || parent_ == nullptr || !parent_->HandleAllocated()) return;
    if (dynamic_cast<TWinControl*>(this) != nullptr) return;
    RECT r = BoundsRect();
    InvalidateRect(parent_->WindowHandle(), &r, IsOpaque ? FALSE : TRUE);
}

void TControl::Invalidate() { InvalidateControl(visible_, (controlStyle_ & csOpaque) != 0); }

void TControl::Update() {
    if (parent_ != nullptr) parent_->Update();
}

void TControl::Repaint() {
    Invalidate();
    Update();
}

void TControl::BringToFront() {
    if (auto* w = dynamic_cast<TWinControl*>(this)) {
        w->SetZOrder(true);
        return;
    }
    if (parent_ == nullptr) return;
    auto& list = parent_->controls_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    list.push_back(this);
    Invalidate();
}

void TControl::SendToBack() {
    if (auto* w = dynamic_cast<TWinControl*>(this)) {
        w->SetZOrder(false);
        return;
    }
    if (parent_ == nullptr) return;
    auto& list = parent_->controls_;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    list.insert(list.begin(), this);
    Invalidate();
}

void TControl::HandleMouseMessage(TMessage& Message) {
    if (ApplicationExists() && Message.Msg != WM_MOUSEWHEEL) Application()->HintMouseMessage(this, Message);
}

void TControl::WndProc(TMessage& Message) {
    if (IsMouseMessage(Message.Msg)) HandleMouseMessage(Message);
    Dispatch(Message);
}

void TControl::Dispatch(TMessage& Message) {
    const bool graphic = dynamic_cast<TWinControl*>(this) == nullptr;
    switch (Message.Msg) {
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            DefaultHandler(Message);
            if ((controlStyle_ & csCaptureMouse) != 0 && graphic && parent_ != nullptr && parent_->HandleAllocated()) {
                SetCapture(parent_->WindowHandle());
                gCaptureControl = this;
            }
            if (Message.Msg == WM_LBUTTONDBLCLK && (controlStyle_ & csDoubleClicks) != 0) DblClick();
            if ((controlStyle_ & csClickEvents) != 0) controlState_ |= csClicked;
            POINT p = PointOf(Message.LParam);
            TShiftState shift = KeysToShiftState(Message.WParam);
            if (Message.Msg == WM_LBUTTONDBLCLK) shift |= ssDouble;
            MouseDown(TMouseButton::mbLeft, shift, p.x, p.y);
            return;
        }
        case WM_LBUTTONUP: {
            DefaultHandler(Message);
            POINT p = PointOf(Message.LParam);
            if (gCaptureControl == this) {
                gCaptureControl = nullptr;
                if (parent_ != nullptr && GetCapture() == parent_->WindowHandle()) ReleaseCapture();
            }
            bool clicked = (controlState_ & csClicked) != 0;
            controlState_ &= ~static_cast<std::uint32_t>(csClicked);
            RECT r = ClientRect();
            if (clicked && PtInRect(&r, p)) Click();
            MouseUp(TMouseButton::mbLeft, KeysToShiftState(Message.WParam), p.x, p.y);
            return;
        }
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN: {
            DefaultHandler(Message);
            POINT p = PointOf(Message.LParam);
            MouseDown(Message.Msg == WM_RBUTTONDOWN ? TMouseButton::mbRight : TMouseButton::mbMiddle,
                      KeysToShiftState(Message.WParam), p.x, p.y);
            return;
        }
        case WM_RBUTTONUP:
        case WM_MBUTTONUP: {
            DefaultHandler(Message);
            POINT p = PointOf(Message.LParam);
            MouseUp(Message.Msg == WM_RBUTTONUP ? TMouseButton::mbRight : TMouseButton::mbMiddle,
                    KeysToShiftState(Message.WParam), p.x, p.y);
            return;
        }
        case WM_MOUSEMOVE: {
            DefaultHandler(Message);
            POINT p = PointOf(Message.LParam);
            MouseMove(KeysToShiftState(Message.WParam), p.x, p.y);
            return;
        }
        case CM_PARENTFONTCHANGED:
            if (parentFont_) SetParentFont(true);
            return;
        case CM_PARENTCOLORCHANGED:
            if (parentColor_) SetParentColor(true);
            return;
        case CM_PARENTSHOWHINTCHANGED:
            if (parentShowHint_) SetParentShowHint(true);
            return;
        default:
            DefaultHandler(Message);
    }
}

void TControl::DefaultHandler(TMessage& Message) {
    switch (Message.Msg) {
        case WM_GETTEXT: {
            auto* buf = reinterpret_cast<char*>(Message.LParam);
            if (buf == nullptr || Message.WParam == 0) {
                Message.Result = 0;
                return;
            }
            size_t n = std::min(text_.size(), static_cast<size_t>(Message.WParam) - 1);
            std::memcpy(buf, text_.data(), n);
            buf[n] = '\0';
            Message.Result = static_cast<LRESULT>(n);
            return;
        }
        case WM_GETTEXTLENGTH:
            Message.Result = static_cast<LRESULT>(text_.size());
            return;
        case WM_SETTEXT: {
            const char* s = reinterpret_cast<const char*>(Message.LParam);
            text_ = s != nullptr ? s : "";
            Message.Result = TRUE;
            return;
        }
        default:
            break;
    }
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
    SetPropA(Window, MAKEINTATOM(ControlAtom), static_cast<HANDLE>(control));
    SetPropA(Window, MAKEINTATOM(WindowAtom), static_cast<HANDLE>(control));
    return TWinControl::StdWndProc(Window, Msg, WParam, LParam);
}

LRESULT CALLBACK TWinControl::StdWndProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam) {
    TWinControl* control = ControlAtom != 0 ? static_cast<TWinControl*>(GetPropA(Window, MAKEINTATOM(ControlAtom)))
                                            : nullptr;
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

TWinControl::~TWinControl() {
    Destroying();
    if (CreationControl == this) CreationControl = nullptr;
    if (handle_ != nullptr) {
        try {
            DestroyWindowHandle();
        } catch (...) {
        }
        handle_ = nullptr;
    }
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
    Params.WindowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
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
    for (TControl* c : std::vector<TControl*>(controls_))
        if (auto* w = dynamic_cast<TWinControl*>(c)) w->CreateHandle();
    AlignControls();
}

void TWinControl::DestroyHandle() {
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
        if (handle_ != nullptr) w->CreateHandle();
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
    if (!any) return;
    ++alignDisabled_;
    try {
        RECT r = ClientRect();
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
}

bool TWinControl::CanFocus() {
    for (TControl* c = this; c != nullptr; c = c->Parent())
        if (!c->Visible() || !c->Enabled()) return false;
    return true;
}

bool TWinControl::Focused() const { return handle_ != nullptr && GetFocus() == handle_; }

void TWinControl::SetFocus() {
    if (!CanFocus()) throw EInvalidOperation(L"Cannot focus a disabled or invisible window");
    ::SetFocus(Handle());
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

bool TWinControl::Showing() const { return handle_ != nullptr && IsWindowVisible(handle_) != 0; }

void TWinControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
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
    if (handle_ != nullptr) EnableWindow(handle_, Value ? TRUE : FALSE);
}

void TWinControl::Invalidate() {
    if (handle_ != nullptr) InvalidateRect(handle_, nullptr, HasStyle(csOpaque) ? FALSE : TRUE);
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

void TWinControl::Dispatch(TMessage& Message) {
    switch (Message.Msg) {
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
        case WM_SIZE:
            UpdateBounds();
            DefaultHandler(Message);
            AlignControls();
            Resize();
            return;
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
            if (handle_ != nullptr) {
                RemovePropA(handle_, MAKEINTATOM(ControlAtom));
                RemovePropA(handle_, MAKEINTATOM(WindowAtom));
            }
            handle_ = nullptr;
            return;
        case CM_RECREATEWND:
            RecreateWnd();
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
        int saved = SaveDC(DC);
        OffsetViewportOrgEx(DC, c->Left(), c->Top(), nullptr);
        IntersectClipRect(DC, 0, 0, c->Width(), c->Height());
        try {
            c->Perform(WM_PAINT, reinterpret_cast<WPARAM>(DC), 0);
        } catch (...) {
            RestoreDC(DC, saved);
            throw;
        }
        RestoreDC(DC, saved);
    }
}

// ---- Canvas, graphic and custom controls -----------------------------------------------------

TControlCanvas::~TControlCanvas() { TControlCanvas::FreeHandle(); }

void TControlCanvas::SetControl(TControl* Value) {
    if (control_ == Value) return;
    FreeHandle();
    control_ = Value;
}

void TControlCanvas::CreateHandle() {
    if (control_ == nullptr) return;
    HWND w = nullptr;
    POINT origin{0, 0};
    if (auto* wc = dynamic_cast<TWinControl*>(control_)) {
        w = wc->Handle();
    } else if (control_->Parent() != nullptr) {
        w = control_->Parent()->Handle();
        origin = POINT{control_->Left(), control_->Top()};
    }
    if (w == nullptr) return;
    HDC dc = GetDCEx(w, nullptr, DCX_CACHE | DCX_CLIPSIBLINGS);
    if (dc == nullptr) return;
    if (origin.x != 0 || origin.y != 0) {
        SetViewportOrgEx(dc, origin.x, origin.y, nullptr);
        IntersectClipRect(dc, 0, 0, control_->Width(), control_->Height());
    }
    window_ = w;
    ownDC_ = dc;
    SetHandle(dc);
}

void TControlCanvas::FreeHandle() {
    if (ownDC_ != nullptr) {
        SetHandle(nullptr);
        ReleaseDC(window_, ownDC_);
        ownDC_ = nullptr;
        window_ = nullptr;
    } else if (HandleAllocated()) {
        SetHandle(nullptr);
    }
}

TGraphicControl::TGraphicControl(TComponent* AOwner)
    : TControl(AOwner), canvas_(std::make_unique<TControlCanvas>()) {
    canvas_->SetControl(this);
}

TGraphicControl::~TGraphicControl() { canvas_->SetControl(nullptr); }

void TGraphicControl::Dispatch(TMessage& Message) {
    if (Message.Msg == WM_PAINT && Message.WParam != 0) {
        canvas_->FreeHandle();
        canvas_->SetHandle(reinterpret_cast<HDC>(Message.WParam));
        try {
            Paint();
        } catch (...) {
            canvas_->SetHandle(nullptr);
            throw;
        }
        canvas_->SetHandle(nullptr);
        return;
    }
    TControl::Dispatch(Message);
}

TCustomControl::TCustomControl(TComponent* AOwner)
    : TWinControl(AOwner), canvas_(std::make_unique<TControlCanvas>()) {
    canvas_->SetControl(this);
}

TCustomControl::~TCustomControl() {
    canvas_->SetControl(nullptr);
}

void TCustomControl::Dispatch(TMessage& Message) {
    if (Message.Msg == WM_PAINT) {
        SetControlState(ControlState() | csCustomPaint);
        try {
            TWinControl::Dispatch(Message);
        } catch (...) {
            SetControlState(ControlState() & ~static_cast<std::uint32_t>(csCustomPaint));
            throw;
        }
        SetControlState(ControlState() & ~static_cast<std::uint32_t>(csCustomPaint));
        return;
    }
    TWinControl::Dispatch(Message);
}

void TCustomControl::Paint() {
    if (OnPaint) OnPaint(this);
}

void TCustomControl::PaintWindow(HDC DC) {
    canvas_->FreeHandle();
    canvas_->SetHandle(DC);
    try {
        Paint();
    } catch (...) {
        canvas_->SetHandle(nullptr);
        throw;
    }
    canvas_->SetHandle(nullptr);
}

// ---- Hint window -----------------------------------------------------------------------------

const THintWindowClassRef& THintWindow::ClassRef() {
    static const THintWindowClassRef ref(L"THintWindow", nullptr,
                                         [](TComponent* owner) -> THintWindow* { return new THintWindow(owner); });
    return ref;
}

THintWindow::THintWindow(TComponent* AOwner) : TCustomControl(AOwner) {
    SetColor(clInfoBk);
    Font()->Assign(Screen()->HintFont());
    SetVisible(false);
    SetControlStyle(ControlStyle() | csOpaque);
}

void THintWindow::CreateParams(TCreateParams& Params) {
    TCustomControl::CreateParams(Params);
    Params.Style = WS_POPUP | WS_BORDER;
    Params.ExStyle = WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
    Params.WindowClass.style |= CS_SAVEBITS;
    Params.WndParent = ApplicationExists() ? Application()->Handle() : nullptr;
}

void THintWindow::ActivateHint(RECT Rect, const std::string& AHint) {
    SetCaption(AHint);
    // Keep the window on the screen.
    int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    int w = Rect.right - Rect.left, h = Rect.bottom - Rect.top;
    if (Rect.left + w > sw) Rect.left = sw - w;
    if (Rect.top + h > sh) Rect.top = sh - h;
    if (Rect.left < 0) Rect.left = 0;
    if (Rect.top < 0) Rect.top = 0;
    SetBounds(Rect.left, Rect.top, w, h);
    SetWindowPos(Handle(), HWND_TOPMOST, Rect.left, Rect.top, w, h, SWP_SHOWWINDOW | SWP_NOACTIVATE);
    TControl::SetVisible(true);
    Invalidate();
}

void THintWindow::ActivateHintData(RECT Rect, const std::string& AHint, void*) { ActivateHint(Rect, AHint); }

RECT THintWindow::CalcHintRect(int MaxWidth, const std::string& AHint, void*) {
    RECT r{0, 0, MaxWidth, 0};
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, Font()->Handle());
    DrawTextA(dc, AHint.c_str(), -1, &r, DT_CALCRECT | DT_LEFT | DT_WORDBREAK | DT_NOPREFIX | DrawTextBiDiModeFlagsReadingOnly());
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    r.right += 6;
    r.bottom += 2;
    return r;
}

void THintWindow::ReleaseHandle() {
    TControl::SetVisible(false);
    DestroyHandle();
}

bool THintWindow::IsHintMsg(const MSG& Msg) {
    switch (Msg.message) {
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_NCLBUTTONDOWN:
        case WM_NCRBUTTONDOWN:
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
        case WM_ACTIVATE:
        case WM_ACTIVATEAPP:
        case WM_NCMOUSEMOVE:
            return true;
        default:
            return false;
    }
}

void THintWindow::Dispatch(TMessage& Message) {
    if (Message.Msg == WM_NCHITTEST) {
        Message.Result = HTTRANSPARENT;
        return;
    }
    TCustomControl::Dispatch(Message);
}

void THintWindow::Paint() {
    RECT r = ClientRect();
    r.left += 2;
    r.top += 2;
    HDC dc = Canvas()->Handle();
    int saved = SaveDC(dc);
    SelectObject(dc, Font()->Handle());
    SetTextColor(dc, ColorToRGB(Screen()->HintFont()->Color()));
    SetBkMode(dc, TRANSPARENT);
    std::string text = Caption();
    DrawTextA(dc, text.c_str(), -1, &r, DT_LEFT | DT_NOPREFIX | DT_WORDBREAK | DrawTextBiDiModeFlagsReadingOnly());
    RestoreDC(dc, saved);
}

}  // namespace classlib
