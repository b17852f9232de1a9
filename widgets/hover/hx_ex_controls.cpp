// The Hover widgets' control bases and shared routines.
#include "widgets/hover/hx_ex_controls.h"

#include <shellapi.h>

#include <type_traits>

#include "classlib/exceptions.h"
#include "classlib/gdi_handles.h"

namespace hover {

using namespace classlib;

const GUID IID_IHxControl = {0x8E6579C3, 0xD683, 0x4562, {0xAF, 0xAB, 0xD2, 0x3C, 0x85, 0x26, 0xE3, 0x86}};
const GUID IID_IHxDenySubclassing = {0x76942BC0, 0x2A6E, 0x4DC4, {0xBF, 0xC9, 0x8E, 0x11, 0x0D, 0xB7, 0xF6, 0x01}};

// ---- Shared routines -------------------------------------------------------------------------

bool IsKeyPressed(int VirtualKey) { return (GetKeyState(VirtualKey) & 0x8000) != 0; }

bool OpenObject(const std::string& Text) {
    HINSTANCE r = ShellExecuteA(nullptr, "open", Text.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(r) > 32;
}

bool CheckWin32(bool Flag) {
    if (!Flag) RaiseLastOSError();
    return Flag;
}

int HxDrawText(TCanvas* Canvas, const char* Text, int Count, RECT& Rect, UINT Flags) {
    return DrawTextA(Canvas->Handle(), Text, Count, &Rect, Flags);
}

int HxDrawText(TCanvas* Canvas, const std::string& Text, RECT& Rect, UINT Flags) {
    return HxDrawText(Canvas, Text.c_str(), static_cast<int>(Text.size()), Rect, Flags & ~static_cast<UINT>(DT_MODIFYSTRING));
}

namespace {
BOOL CALLBACK FindActiveWindow(HWND Window, LPARAM Data) {
    auto* found = reinterpret_cast<bool*>(Data);
    if (Window == GetActiveWindow()) {
        *found = true;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

bool IsForegroundTask() {
    bool found = false;
    EnumThreadWindows(GetCurrentThreadId(), &FindActiveWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

void FollowFont(TFont* TrackFont, TFont* Font, THxTrackFontOptions Options) {
    if ((Options & hoFollowFont) == 0 || TrackFont == nullptr || Font == nullptr) return;
    if ((Options & hoPreserveCharSet) == 0) TrackFont->SetCharset(Font->Charset());
    if ((Options & hoPreserveColor) == 0) TrackFont->SetColor(Font->Color());
    if ((Options & hoPreserveHeight) == 0) TrackFont->SetHeight(Font->Height());
    if ((Options & hoPreserveName) == 0) TrackFont->SetName(Font->Name());
    if ((Options & hoPreservePitch) == 0) TrackFont->SetPitch(Font->Pitch());
    if ((Options & hoPreserveStyle) == 0) TrackFont->SetStyle(Font->Style());
}

// ---- Persistent options ----------------------------------------------------------------------

void THxPersistentProperty::BeginUpdate() {
    if (updateCount_ == 0) SetUpdateState(true);
    ++updateCount_;
}

void THxPersistentProperty::EndUpdate() {
    if (updateCount_ <= 0) return;
    if (--updateCount_ == 0) SetUpdateState(false);
}

void THxPersistentProperty::Changed() {
    if (updateCount_ == 0 && OnChanged) OnChanged(this);
}

void THxPersistentProperty::Changing() {
    if (updateCount_ == 0 && OnChanging) OnChanging(this);
}

void THxPersistentProperty::ChangedProperty(const std::string& PropName) {
    if (OnChangedProperty) OnChangedProperty(this, PropName);
}

void THxPersistentProperty::ChangingProperty(const std::string& PropName) {
    if (OnChangingProperty) OnChangingProperty(this, PropName);
}

void THxPersistentProperty::SetUpdateState(bool Updating) {
    if (Updating)
        Changing();
    else
        Changed();
}

void THxHotTrackOptions::Assign(TPersistent* Source) {
    auto* other = dynamic_cast<THxHotTrackOptions*>(Source);
    if (other == nullptr) {
        THxPersistentProperty::Assign(Source);
        return;
    }
    BeginUpdate();
    SetEnabled(other->Enabled());
    SetColor(other->Color());
    SetFrameVisible(other->FrameVisible());
    SetFrameColor(other->FrameColor());
    EndUpdate();
}

// ---- THxExControl ----------------------------------------------------------------------------

template <class Base>
THxExControl<Base>::THxExControl(TComponent* AOwner) : Base(AOwner) {
    hintColor_ = clDefault;
}

template <class Base>
LRESULT THxExControl<Base>::InheritedMessage(UINT Msg, WPARAM WParam, LPARAM LParam) {
    TMessage m{Msg, WParam, LParam, 0};
    Base::WndProc(m);
    return m.Result;
}

template <class Base>
LRESULT THxExControl<Base>::InheritedNotify(UINT Msg) {
    if (current_ != nullptr && current_->Msg == Msg) return InheritedMessage(Msg, current_->WParam, current_->LParam);
    return InheritedMessage(Msg, 0, 0);
}

template <class Base>
void THxExControl<Base>::WndProc(TMessage& Message) {
    if (!DispatchNotification(Message)) Base::WndProc(Message);
}

template <class Base>
bool THxExControl<Base>::DispatchNotification(TMessage& Message) {
    constexpr bool windowed = std::is_base_of_v<TWinControl, Base>;
    struct Current {
        const TMessage*& slot;
        const TMessage* saved;
        Current(const TMessage*& s, const TMessage* m) : slot(s), saved(s) { slot = m; }
        ~Current() { slot = saved; }
    } current(current_, &Message);
    switch (Message.Msg) {
        case CM_DIALOGCHAR: {
            int key = static_cast<int>(Message.WParam);
            Message.Result = WantKey(key, KeyDataToShiftState(Message.LParam), std::string(1, static_cast<char>(key))) ? 1 : 0;
            return true;
        }
        case CM_FOCUSCHANGED: FocusChanged(reinterpret_cast<TWinControl*>(Message.LParam)); return true;
        case CM_PARENTFONTCHANGED: ParentFontChanged(); return true;
        case CM_PARENTCOLORCHANGED: ParentColorChanged(); return true;
        case CM_HITTEST:
            Message.Result = HitTest(static_cast<short>(LOWORD(Message.LParam)), static_cast<short>(HIWORD(Message.LParam))) ? 1 : 0;
            return true;
        case CM_VISIBLECHANGED: VisibleChanged(); return true;
        case CM_ENABLEDCHANGED: EnabledChanged(); return true;
        case CM_COLORCHANGED: ColorChanged(); return true;
        case CM_FONTCHANGED: FontChanged(); return true;
        case CM_TEXTCHANGED: TextChanged(); return true;
        case CM_MOUSEENTER: MouseEnter(reinterpret_cast<TControl*>(Message.LParam)); return true;
        case CM_MOUSELEAVE: MouseLeave(reinterpret_cast<TControl*>(Message.LParam)); return true;
        case CM_PARENTSHOWHINTCHANGED: ParentShowHintChanged(); return true;
        case CM_HINTSHOW: Message.Result = HintShow(*reinterpret_cast<THintInfo*>(Message.LParam)) ? 1 : 0; return true;
        case CM_DENYSUBCLASSING: Message.Result = DeniesSubclassing() ? 1 : 0; return true;
        default: break;
    }
    if constexpr (windowed) {
        auto* control = reinterpret_cast<TControl*>(Message.WParam);
        switch (Message.Msg) {
            case CM_CURSORCHANGED: CursorChanged(); return true;
            case CM_SHOWINGCHANGED: ShowingChanged(); return true;
            case CM_SHOWHINTCHANGED: ShowHintChanged(); return true;
            case CM_CONTROLLISTCHANGE:
                if (Message.LParam != 0)
                    ControlsListChanging(control, true);
                else
                    ControlsListChanged(control, false);
                return true;
            case CM_CONTROLCHANGE:
                if (Message.LParam != 0)
                    ControlsListChanged(control, true);
                else
                    ControlsListChanging(control, false);
                return true;
            default: break;
        }
    }
    return false;
}

template <class Base>
void THxExControl<Base>::TextChanged() { InheritedNotify(CM_TEXTCHANGED); }

template <class Base>
bool THxExControl<Base>::WantKey(int Key, TShiftState Shift, const std::string& KeyText) {
    (void)KeyText;
    LPARAM keyData = 0;
    if (Shift & ssAlt) keyData |= 0x20000000;
    if (Shift & ssCtrl) keyData |= 0x10000000;
    if (Shift & ssShift) keyData |= 0x08000000;
    return InheritedMessage(CM_DIALOGCHAR, static_cast<WPARAM>(Key & 0xFFFF), keyData) != 0;
}

template <class Base>
bool THxExControl<Base>::HitTest(int X, int Y) {
    return InheritedMessage(CM_HITTEST, 0, MAKELPARAM(X, Y)) != 0;
}

template <class Base>
void THxExControl<Base>::FocusChanged(TWinControl* Control) {
    InheritedMessage(CM_FOCUSCHANGED, 0, reinterpret_cast<LPARAM>(Control));
}

template <class Base>
void THxExControl<Base>::VisibleChanged() { InheritedNotify(CM_VISIBLECHANGED); }
template <class Base>
void THxExControl<Base>::EnabledChanged() { InheritedNotify(CM_ENABLEDCHANGED); }
template <class Base>
void THxExControl<Base>::ColorChanged() { InheritedNotify(CM_COLORCHANGED); }
template <class Base>
void THxExControl<Base>::FontChanged() { InheritedNotify(CM_FONTCHANGED); }
template <class Base>
void THxExControl<Base>::ParentFontChanged() { InheritedNotify(CM_PARENTFONTCHANGED); }
template <class Base>
void THxExControl<Base>::ParentShowHintChanged() { InheritedNotify(CM_PARENTSHOWHINTCHANGED); }
template <class Base>
void THxExControl<Base>::CursorChanged() { InheritedNotify(CM_CURSORCHANGED); }
template <class Base>
void THxExControl<Base>::ShowingChanged() { InheritedNotify(CM_SHOWINGCHANGED); }
template <class Base>
void THxExControl<Base>::ShowHintChanged() { InheritedNotify(CM_SHOWHINTCHANGED); }

// Both list notifications reach these two operations; the defaults pass on the one being handled.
template <class Base>
void THxExControl<Base>::ControlsListChanging(TControl* Control, bool Inserting) {
    if (current_ != nullptr && (current_->Msg == CM_CONTROLLISTCHANGE || current_->Msg == CM_CONTROLCHANGE))
        InheritedNotify(current_->Msg);
    else
        InheritedMessage(CM_CONTROLLISTCHANGE, reinterpret_cast<WPARAM>(Control), Inserting ? 1 : 0);
}

template <class Base>
void THxExControl<Base>::ControlsListChanged(TControl* Control, bool Inserting) {
    ControlsListChanging(Control, Inserting);
}

template <class Base>
void THxExControl<Base>::ParentColorChanged() {
    InheritedNotify(CM_PARENTCOLORCHANGED);
    if (OnParentColorChange) OnParentColorChange(this);
}

template <class Base>
bool THxExControl<Base>::HintShow(THintInfo& HintInfo) {
    if (hintColor_ == clNone) {
        HintInfo.HintColor = Application()->HintColor();
    } else if (hintColor_ == clDefault) {
        if (TWinControl* parent = this->Parent()) {
            THintInfo copy = HintInfo;
            parent->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&copy));
            HintInfo.HintColor = copy.HintColor;
        }
    } else {
        HintInfo.HintColor = hintColor_;
    }
    if (hintWindowClass_ != nullptr) HintInfo.HintWindowClass = hintWindowClass_;
    return InheritedMessage(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&HintInfo)) != 0;
}

template <class Base>
void THxExControl<Base>::MouseEnter(TControl* Control) {
    mouseOver_ = true;
    if (OnMouseEnter) OnMouseEnter(this);
    InheritedMessage(CM_MOUSEENTER, 0, reinterpret_cast<LPARAM>(Control));
}

template <class Base>
void THxExControl<Base>::MouseLeave(TControl* Control) {
    mouseOver_ = false;
    InheritedMessage(CM_MOUSELEAVE, 0, reinterpret_cast<LPARAM>(Control));
    if (OnMouseLeave) OnMouseLeave(this);
}

template class THxExControl<TGraphicControl>;
template class THxExControl<TButton>;

// ---- THxExButton -----------------------------------------------------------------------------

void THxExButton::SetDotNetHighlighting(bool Value) {
    if (dotNetHighlighting_ == Value) return;
    dotNetHighlighting_ = Value;
    if (HandleAllocated()) RedrawWindow(WindowHandle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE);
}

void THxExButton::WndProc(TMessage& Message) {
    switch (Message.Msg) {
        case WM_SIZE:
            TButton::WndProc(Message);
            BoundsChanged();
            return;
        case WM_SETFOCUS:
            FocusSet(reinterpret_cast<HWND>(Message.WParam));
            PaintDotNetFrame(false);
            return;
        case WM_KILLFOCUS:
            FocusKilled(reinterpret_cast<HWND>(Message.WParam));
            PaintDotNetFrame(false);
            return;
        case WM_NCPAINT:
            TButton::WndProc(Message);
            PaintDotNetFrame(false);
            return;
        case WM_ERASEBKGND: {
            HDC dc = reinterpret_cast<HDC>(Message.WParam);
            if (dc == nullptr) break;
            TSavedDC saved(dc);
            TCanvas canvas;
            canvas.SetHandle(dc);
            try {
                Message.Result = DoEraseBackground(&canvas, Message.LParam) ? 1 : 0;
            } catch (...) {
                canvas.SetHandle(nullptr);
                throw;
            }
            canvas.SetHandle(nullptr);
            return;
        }
        case WM_GETDLGCODE: {
            TButton::WndProc(Message);
            TDlgCodes codes = static_cast<TDlgCodes>(Message.Result) | dcNative;
            GetDlgCode(codes);
            if ((codes & dcNative) == 0) Message.Result = static_cast<LRESULT>(codes);
            return;
        }
        case WM_PRINT:
        case WM_PRINTCLIENT: {
            TSavedDC saved(reinterpret_cast<HDC>(Message.WParam));
            TButton::WndProc(Message);
            return;
        }
        default:
            break;
    }
    THxExControl::WndProc(Message);
}

void THxExButton::FocusSet(HWND PreviousWindow) {
    InheritedMessage(WM_SETFOCUS, reinterpret_cast<WPARAM>(PreviousWindow), 0);
}

void THxExButton::FocusKilled(HWND NextWindow) {
    InheritedMessage(WM_KILLFOCUS, reinterpret_cast<WPARAM>(NextWindow), 0);
}

bool THxExButton::DoEraseBackground(TCanvas* Canvas, LPARAM Param) {
    return InheritedMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(Canvas->Handle()), Param) != 0;
}

void THxExButton::MouseEnter(TControl* Control) {
    THxExControl::MouseEnter(Control);
    PaintDotNetFrame(false);
}

void THxExButton::MouseLeave(TControl* Control) {
    THxExControl::MouseLeave(Control);
    PaintDotNetFrame(true);
}

void THxExButton::PaintDotNetFrame(bool AfterLeave) {
    if (!dotNetHighlighting_ || HasState(csDesigning) || !HandleAllocated()) return;
    HWND w = WindowHandle();
    const bool hot = Focused() || MouseOver();
    constexpr COLORREF highlight = 0x733800;
    TWindowDC dc(w, GetWindowDC(w));
    if (!dc) return;
    RECT r;
    GetWindowRect(w, &r);
    OffsetRect(&r, -r.left, -r.top);
    TOwnedBrush outer(CreateSolidBrush(hot ? highlight : 0x808080));
    FrameRect(dc.Get(), &r, outer.Get());
    InflateRect(&r, -1, -1);
    TOwnedBrush inner(CreateSolidBrush(hot ? highlight : ColorToRGB(Color())));
    FrameRect(dc.Get(), &r, inner.Get());
    if (AfterLeave) {
        TOwnedRegion band(CreateRectRgn(0, 0, Width() - 1, Height() - 1));
        TOwnedRegion hole(CreateRectRgn(2, 2, Width() - 3, Height() - 3));
        CombineRgn(band.Get(), band.Get(), hole.Get(), RGN_DIFF);
        InvalidateRgn(w, band.Get(), FALSE);
    }
}

}  // namespace hover
