// The hint window of the class library.
#include "classlib/hint_window.h"

#include "classlib/forms.h"
#include "classlib/conversions.h"
#include "classlib/gdi_handles.h"
#include "classlib/measured_text.h"

namespace classlib {

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
    TWindowDC screen(nullptr);
    TSelectedObject font(screen.Get(), Font()->Handle());
    return HintRectOfLines(LinesExtent(screen.Get(), WrappedLines(screen.Get(), AnsiToWide(AHint), MaxWidth)));
}

RECT THintWindow::HintRectOfLines(SIZE Extent) {
    // The border, and the text's inset on each side: its lines are drawn 2 pixels in (see Paint).
    return RECT{0, 0, Extent.cx + 6, Extent.cy + 6};
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
    const RECT r = ClientRect();
    HDC dc = Canvas()->Handle();
    TSavedDC saved(dc);
    SelectObject(dc, Font()->Handle());
    SetTextColor(dc, ColorToRGB(Screen()->HintFont()->Color()));
    SetBkMode(dc, TRANSPARENT);
    // Laid out as CalcHintRect measured it, so that the text ends within the window.
    DrawLines(dc, 2, 2, WrappedLines(dc, AnsiToWide(Caption()), r.right - 4), HintTextOptions(DrawTextBiDiModeFlagsReadingOnly()));
}

UINT THintWindow::HintTextOptions(UINT DrawTextFlags) { return (DrawTextFlags & DT_RTLREADING) != 0 ? ETO_RTLREADING : 0; }

}  // namespace classlib
