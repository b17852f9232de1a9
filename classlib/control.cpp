// The control base of the class library: control atoms, shift states, hints and TControl.
#include "classlib/control.h"

#include <windowsx.h>

#include <algorithm>
#include <map>
#include <cstring>

#include "classlib/actions.h"
#include "classlib/control_internals.h"
#include "classlib/conversions.h"
#include "classlib/docking.h"
#include "classlib/exceptions.h"
#include "classlib/format.h"
#include "classlib/stream_classes.h"
#include "classlib/forms.h"
#include "classlib/menus.h"
#include "classlib/threads.h"

namespace classlib {

TWinControl* CreationControl = nullptr;
ATOM WindowAtom = 0;
ATOM ControlAtom = 0;
std::string WindowAtomString;
std::string ControlAtomString;

namespace detail {
TControl* gCaptureControl = nullptr;
}  // namespace detail

using detail::gCaptureControl;
using detail::IsMouseMessage;
using detail::PointOf;

namespace {

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

}  // namespace

namespace {
std::map<TCursor, HCURSOR>& CursorTable() {
    static std::map<TCursor, HCURSOR> table;
    return table;
}
}  // namespace

void SetCursorHandle(TCursor Cursor, HCURSOR Handle) {
    if (Handle == nullptr)
        CursorTable().erase(Cursor);
    else
        CursorTable()[Cursor] = Handle;
}

HCURSOR CursorHandle(TCursor Cursor) {
    auto found = CursorTable().find(Cursor);
    if (found != CursorTable().end()) return found->second;
    switch (Cursor) {
        case crHourGlass: {
            static const HCURSOR wait = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT));
            return wait;
        }
        case crHandPoint: {
            static const HCURSOR hand = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_HAND));
            return hand;
        }
        default: return ArrowCursor();
    }
}

HCURSOR ArrowCursor() {
    static const HCURSOR arrow = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    return arrow;
}

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
    return detail::BoundControl(Window);
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

// ---- TSizeConstraints ------------------------------------------------------------------------

void TSizeConstraints::Changed() {
    if (OnChange) OnChange(this);
}

// Sets one limit of a pair; the other one of the pair gives way so that the minimum never
// exceeds a set maximum.
void TSizeConstraints::SetLimit(int& Limit, int Value, int& Min, int& Max) {
    Value = std::max(Value, 0);
    if (Limit == Value) return;
    Limit = Value;
    if (Max > 0 && Min > Max) (&Limit == &Min ? Max : Min) = Value;
    Changed();
}

void TSizeConstraints::SetMinWidth(int Value) { SetLimit(minWidth_, Value, minWidth_, maxWidth_); }
void TSizeConstraints::SetMinHeight(int Value) { SetLimit(minHeight_, Value, minHeight_, maxHeight_); }
void TSizeConstraints::SetMaxWidth(int Value) { SetLimit(maxWidth_, Value, minWidth_, maxWidth_); }
void TSizeConstraints::SetMaxHeight(int Value) { SetLimit(maxHeight_, Value, minHeight_, maxHeight_); }

void TSizeConstraints::Assign(TPersistent* Source) {
    auto* other = dynamic_cast<TSizeConstraints*>(Source);
    if (other == nullptr) return TPersistent::Assign(Source);
    minWidth_ = other->minWidth_;
    minHeight_ = other->minHeight_;
    maxWidth_ = other->maxWidth_;
    maxHeight_ = other->maxHeight_;
    Changed();
}

// ---- TControl --------------------------------------------------------------------------------

TControl::TControl(TComponent* AOwner)
    : TComponent(AOwner), font_(std::make_unique<TFont>()), constraints_(std::make_unique<TSizeConstraints>()) {
    static const bool streamClassesRegistered = (RegisterStreamClasses(), true);
    (void)streamClassesRegistered;
    windowProc_ = [this](TMessage& m) { WndProc(m); };
    windowProcId_ = this;
    font_->OnChange = [this](TObject* sender) { FontChanged(sender); };
    // New limits apply to the present size at once.
    constraints_->OnChange = [this](TObject*) { SetBounds(left_, top_, width_, height_); };
}

TComponent* TControl::GetParentComponent() const { return parent_; }

void TControl::SetParentComponent(TComponent* Value) { SetParent(dynamic_cast<TWinControl*>(Value)); }

TControl::~TControl() {
    Destroying();
    if (gCaptureControl == this) gCaptureControl = nullptr;
    if (TWinControl* site = hostDockSite_; site != nullptr) {
        // A docked control that goes leaves its site as when it is undocked, so a page control's
        // sheet for it goes too (unless the site itself is going).
        const bool siteStays = !site->HasState(csDestroying);
        if (siteStays) {
            site->Perform(CM_UNDOCKCLIENT, 0, reinterpret_cast<LPARAM>(this));
            if (parent_ != nullptr) parent_->RemoveControl(this);
        }
        auto& clients = site->dockClients_;
        clients.erase(std::remove(clients.begin(), clients.end(), this), clients.end());
        hostDockSite_ = nullptr;
        if (siteStays) site->DoRemoveDockClient(this);
    }
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
    CheckMainThread("TControl.SetParent");
    if (parent_ == AParent) return;
    if (AParent == this) throw EInvalidOperation(L"A control cannot have itself as its parent");
    // A window of its own (a form) becomes a child window: made again under its parent.
    if (parent_ == nullptr && AParent != nullptr)
        if (auto* w = dynamic_cast<TWinControl*>(this); w != nullptr && w->HandleAllocated()) w->DestroyHandle();
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
    CheckMainThread("TControl.SetBounds");
    DoConstrainedResize(AWidth, AHeight);
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
    CheckMainThread("TControl.SetAlign");
    if (align_ == Value) return;
    align_ = Value;
    RequestAlign();
}

void TControl::RequestAlign() {
    if (parent_ != nullptr) parent_->AlignControls();
}

void TControl::SetVisible(bool Value) {
    CheckMainThread("TControl.SetVisible");
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
    CheckMainThread("TControl.SetEnabled");
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
    CheckMainThread("TControl.SetText");
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
    CheckMainThread("TControl.SetColor");
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

void TControl::SetAction(TBasicAction* Value) { SetClientAction(this, actionLink_, Value); }

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
    if (Operation == TOperation::opRemove && AComponent != nullptr &&
        AComponent == static_cast<TComponent*>(popupMenu_))
        popupMenu_ = nullptr;
}

void TControl::SetPopupMenu(TPopupMenu* Value) {
    popupMenu_ = Value;
    if (Value != nullptr) Value->FreeNotification(this);
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

void TControl::ConstrainedResize(int& MinWidth, int& MinHeight, int& MaxWidth, int& MaxHeight) {
    if (OnConstrainedResize) OnConstrainedResize(this, MinWidth, MinHeight, MaxWidth, MaxHeight);
}

void TControl::DoConstrainedResize(int& NewWidth, int& NewHeight) {
    int minWidth = constraints_->MinWidth(), minHeight = constraints_->MinHeight();
    int maxWidth = constraints_->MaxWidth(), maxHeight = constraints_->MaxHeight();
    ConstrainedResize(minWidth, minHeight, maxWidth, maxHeight);
    if (maxWidth > 0 && NewWidth > maxWidth)
        NewWidth = maxWidth;
    else if (minWidth > 0 && NewWidth < minWidth)
        NewWidth = minWidth;
    if (maxHeight > 0 && NewHeight > maxHeight)
        NewHeight = maxHeight;
    else if (minHeight > 0 && NewHeight < minHeight)
        NewHeight = minHeight;
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
    if (dynamic_cast<TWinControl*>(this) != nullptr || !IsWindowVisible(parent_->WindowHandle())) return;
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
    if (hostDockSite_ != nullptr && (Message.Msg == WM_SETTEXT || Message.Msg == CM_VISIBLECHANGED))
        SendDockNotification(Message.Msg, Message.WParam, Message.LParam);
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

}  // namespace classlib
